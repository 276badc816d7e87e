#include "scene/BufferManager.h"

#include "core/Categories.h"
#include "core/DestroyHeld.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "render/BackableBuffer.h"
#include "render/BackableVertexFormat.h"
#include "render/RenderDevice.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/Track.h"

#include <algorithm>
#include <cstring>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::String;
using render::BackableBuffer;
using render::BackableVertexFormat;
using render::IndexBuffer;
using render::PixelBuffer;
using render::RenderDevice;
using render::VariableBuffer;
using render::VariableBufferFormat;
using render::VertexBuffer;
using render::VertexFormat;

namespace {

// An object still listed no longer tells the manager of its end.
template <class T> void forget(core::Collection<T*>& objects)
{
    for (int i = 0; i < objects.size(); ++i) {
        objects[i]->setDestroyedListener(nullptr);
    }
}

// Each listed object is held while it is destroyed (it may have no other holder left), and not heard
// of when it is.
template <class T> void destroyListed(core::Collection<T*>& objects)
{
    forget(objects);
    core::destroyHeld(objects);
}

const void* identity(const core::Resource* resource)
{
    return resource == nullptr ? nullptr : dynamic_cast<const void*>(resource);
}

// The buffer's wrapper, or null for a device object (its own root).
BackableBuffer* wrapperOf(IndexBuffer* buffer)
{
    return buffer->getRootIndexBuffer() == buffer ? nullptr : dynamic_cast<BackableBuffer*>(buffer);
}
BackableBuffer* wrapperOf(VertexBuffer* buffer)
{
    return buffer->getRootVertexBuffer() == buffer ? nullptr : dynamic_cast<BackableBuffer*>(buffer);
}
BackableBuffer* wrapperOf(PixelBuffer* buffer)
{
    return buffer->getRootPixelBuffer() == buffer ? nullptr : dynamic_cast<BackableBuffer*>(buffer);
}
BackableBuffer* wrapperOf(VariableBuffer* buffer)
{
    return buffer->getRootVariableBuffer() == buffer ? nullptr : dynamic_cast<BackableBuffer*>(buffer);
}
BackableVertexFormat* wrapperOf(VertexFormat* format)
{
    return format->getRootVertexFormat() == format ? nullptr : dynamic_cast<BackableVertexFormat*>(format);
}

// Index i of an index block of that width.
uint32_t readIndex(const unsigned char* data, int width, int i)
{
    switch (width) {
    case 1:
        return data[i];
    case 2: {
        uint16_t value;
        std::memcpy(&value, data + i * 2, 2);
        return value;
    }
    default: {
        uint32_t value;
        std::memcpy(&value, data + static_cast<std::size_t>(i) * 4, 4);
        return value;
    }
    }
}

void writeIndex(unsigned char* data, int width, int i, uint32_t value)
{
    switch (width) {
    case 1:
        data[i] = static_cast<unsigned char>(value);
        break;
    case 2: {
        const uint16_t narrow = static_cast<uint16_t>(value);
        std::memcpy(data + i * 2, &narrow, 2);
        break;
    }
    default:
        std::memcpy(data + static_cast<std::size_t>(i) * 4, &value, 4);
        break;
    }
}

} // namespace

BufferManager::BufferManager(Engine* engine) : engine_(engine) {}

BufferManager::~BufferManager()
{
    // Whatever is still listed outlives the manager.
    forget(vertexFormats_);
    forget(indexBuffers_);
    forget(vertexBuffers_);
    forget(pixelBuffers_);
    forget(variableBuffers_);
}

bool BufferManager::backed() const
{
    return engine_->isBacked();
}

RenderDevice* BufferManager::device() const
{
    return engine_->getRenderDevice();
}

template <class T> void BufferManager::list(core::Collection<T*>& objects, T* object)
{
    objects.add(object);
    object->setDestroyedListener(this);
}

template <class T> bool BufferManager::unlist(core::Collection<T*>& objects, core::Resource* resource)
{
    // Not retained here: the object may be in the destroy that its last release runs.
    const void* object = identity(resource);
    for (int i = 0; i < objects.size(); ++i) {
        if (identity(objects[i]) == object) {
            objects.erase(objects.begin() + i);
            return true;
        }
    }
    return false;
}

IntrusivePointer<VertexFormat> BufferManager::createVertexFormat()
{
    RenderDevice* renderDevice = device();
    IntrusivePointer<VertexFormat> format;
    if (renderDevice == nullptr || backed()) {
        IntrusivePointer<BackableVertexFormat> wrapper(new BackableVertexFormat());
        wrapper->create();
        if (renderDevice != nullptr) {
            wrapper->setBack(renderDevice->createVertexFormat());
        }
        format = wrapper.get();
    } else {
        format = renderDevice->createVertexFormat();
        if (!format) {
            return nullptr;
        }
        format->create();
    }
    list(vertexFormats_, format.get());
    return format;
}

IntrusivePointer<IndexBuffer> BufferManager::createIndexBuffer(int usage, int access,
                                                               IndexBuffer::IndexFormat indexFormat, int size)
{
    RenderDevice* renderDevice = device();
    IntrusivePointer<IndexBuffer> buffer;
    if (backed()) {
        IntrusivePointer<BackableBuffer> wrapper(new BackableBuffer());
        if (!wrapper->create(usage, access, indexFormat, size)) {
            return nullptr;
        }
        if (renderDevice != nullptr) {
            wrapper->setBack(IntrusivePointer<IndexBuffer>(renderDevice->createIndexBuffer()));
        }
        buffer = wrapper.get();
    } else if (renderDevice != nullptr) {
        buffer = renderDevice->createIndexBuffer();
        if (!buffer) {
            return nullptr;
        }
        buffer->create(usage, access, indexFormat, size);
    }
    if (!buffer) {
        core::Error::nullPointer(String(), true, "unable to create IndexBuffer");
    }
    list(indexBuffers_, buffer.get());
    return buffer;
}

IntrusivePointer<VertexBuffer> BufferManager::createVertexBuffer(int usage, int access,
                                                                 IntrusivePointer<VertexFormat> vertexFormat,
                                                                 int size)
{
    RenderDevice* renderDevice = device();
    IntrusivePointer<VertexBuffer> buffer;
    if (backed()) {
        IntrusivePointer<BackableBuffer> wrapper(new BackableBuffer());
        if (!wrapper->create(usage, access, vertexFormat, size)) {
            return nullptr;
        }
        if (renderDevice != nullptr) {
            wrapper->setBack(IntrusivePointer<VertexBuffer>(renderDevice->createVertexBuffer()));
        }
        buffer = wrapper.get();
    } else if (renderDevice != nullptr) {
        buffer = renderDevice->createVertexBuffer();
        if (!buffer) {
            return nullptr;
        }
        buffer->create(usage, access, vertexFormat, size);
    }
    if (!buffer) {
        core::Error::nullPointer(String(), true, "unable to create VertexBuffer");
    }
    list(vertexBuffers_, buffer.get());
    return buffer;
}

IntrusivePointer<PixelBuffer> BufferManager::createPixelBuffer(int usage, int access, int pixelFormat, int width,
                                                               int height, int depth)
{
    // A box whose bytes do not fit in 32 bits would get a format that states no data: refused as
    // the other kinds refuse a size beyond 2 GB.
    if (backed() && (width < 0 || height < 0 || depth < 0 ||
                     !render::TextureFormat::getPitches(pixelFormat, width, height, depth).fit())) {
        return nullptr;
    }
    IntrusivePointer<render::TextureFormat> format(
        new render::TextureFormat(2, pixelFormat, width, height, depth, 1));
    RenderDevice* renderDevice = device();
    IntrusivePointer<PixelBuffer> buffer;
    if (backed()) {
        IntrusivePointer<BackableBuffer> wrapper(new BackableBuffer());
        if (!wrapper->create(usage, access, format)) {
            return nullptr;
        }
        if (renderDevice != nullptr) {
            wrapper->setBack(IntrusivePointer<PixelBuffer>(renderDevice->createPixelBuffer()), renderDevice);
        }
        buffer = wrapper.get();
    } else if (renderDevice != nullptr) {
        buffer = renderDevice->createPixelBuffer();
        if (!buffer) {
            return nullptr;
        }
        buffer->create(usage, access, format);
    }
    if (!buffer) {
        core::Error::nullPointer(String(), true, "unable to create PixelBuffer");
    }
    list(pixelBuffers_, buffer.get());
    return buffer;
}

IntrusivePointer<VariableBuffer> BufferManager::createVariableBuffer(int usage, int access,
                                                                     IntrusivePointer<VariableBufferFormat> format)
{
    RenderDevice* renderDevice = device();
    IntrusivePointer<VariableBuffer> buffer;
    if (backed()) {
        IntrusivePointer<BackableBuffer> wrapper(new BackableBuffer());
        if (!wrapper->create(usage, access, format)) {
            return nullptr;
        }
        if (renderDevice != nullptr) {
            wrapper->setBack(IntrusivePointer<VariableBuffer>(renderDevice->createVariableBuffer()));
        }
        buffer = wrapper.get();
    } else if (renderDevice != nullptr) {
        buffer = renderDevice->createVariableBuffer();
        if (!buffer) {
            return nullptr;
        }
        buffer->create(usage, access, format);
    }
    if (!buffer) {
        core::Error::nullPointer(String(), true, "unable to create VariableBuffer");
    }
    list(variableBuffers_, buffer.get());
    return buffer;
}

IntrusivePointer<IndexBuffer> BufferManager::cloneIndexBuffer(IntrusivePointer<IndexBuffer> old, int usage,
                                                              int access, IndexBuffer::IndexFormat indexFormat,
                                                              int size)
{
    const int oldSize = old->getSize();
    const int oldWidth = old->getIndexFormat();
    IntrusivePointer<IndexBuffer> buffer = createIndexBuffer(usage, access, indexFormat, size);
    if (!buffer) {
        return buffer;
    }
    const unsigned char* from = old->lock(render::Buffer::Access_READ);
    unsigned char* to = buffer->lock(render::Buffer::Access_WRITE);
    if (from != nullptr && to != nullptr) {
        // Index by index: the two buffers may hold indices of different widths.
        const int count = std::min(size, oldSize);
        for (int i = 0; i < count; ++i) {
            writeIndex(to, indexFormat, i, readIndex(from, oldWidth, i));
        }
    }
    buffer->unlock();
    old->unlock();
    return buffer;
}

IntrusivePointer<Track> BufferManager::createColorTrack()
{
    return new Track(engine_->getVertexFormats().COLOR.get());
}

IntrusivePointer<VertexBuffer> BufferManager::cloneVertexBuffer(IntrusivePointer<VertexBuffer> old, int usage,
                                                                int access,
                                                                IntrusivePointer<VertexFormat> vertexFormat,
                                                                int size)
{
    IntrusivePointer<VertexFormat> oldFormat = old->getVertexFormat();
    const int oldSize = old->getSize();
    IntrusivePointer<VertexBuffer> buffer = createVertexBuffer(usage, access, vertexFormat, size);
    if (!buffer) {
        return buffer;
    }
    const unsigned char* from = old->lock(render::Buffer::Access_READ);
    unsigned char* to = buffer->lock(render::Buffer::Access_WRITE);
    const int count = std::min(size, oldSize);
    if (from != nullptr && to != nullptr && oldFormat && vertexFormat && count >= 1) {
        const int oldStride = oldFormat->getVertexSize();
        const int newStride = vertexFormat->getVertexSize();
        for (int e = 0; e < vertexFormat->getNumElements(); ++e) {
            const int oldElement = oldFormat->findElement(vertexFormat->getElementSemantic(e));
            if (oldElement < 0) {
                continue;
            }
            // As far as both elements go: the old one may be smaller than the new.
            const int bytes = std::min(VertexFormat::getFormatSize(vertexFormat->getElementFormat(e)),
                                       VertexFormat::getFormatSize(oldFormat->getElementFormat(oldElement)));
            const int fromOffset = oldFormat->getElementOffset(oldElement);
            const int toOffset = vertexFormat->getElementOffset(e);
            for (int v = 0; v < count; ++v) {
                std::memcpy(to + static_cast<std::size_t>(v) * newStride + toOffset,
                            from + static_cast<std::size_t>(v) * oldStride + fromOffset, bytes);
            }
        }
    }
    buffer->unlock();
    old->unlock();
    return buffer;
}

void BufferManager::contextActivate(RenderDevice* renderDevice)
{
    core::Log::debug("BufferManager::contextActivate");
    for (int i = 0; i < vertexFormats_.size(); ++i) {
        if (BackableVertexFormat* wrapper = wrapperOf(vertexFormats_[i])) {
            wrapper->setBack(renderDevice->createVertexFormat());
        }
    }
    for (int i = 0; i < indexBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(indexBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<IndexBuffer>(renderDevice->createIndexBuffer()));
        }
    }
    for (int i = 0; i < vertexBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(vertexBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<VertexBuffer>(renderDevice->createVertexBuffer()));
        }
    }
    for (int i = 0; i < pixelBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(pixelBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<PixelBuffer>(renderDevice->createPixelBuffer()), renderDevice);
        }
    }
    for (int i = 0; i < variableBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(variableBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<VariableBuffer>(renderDevice->createVariableBuffer()));
        }
    }
}

void BufferManager::contextDeactivate(RenderDevice*)
{
    core::Log::debug("BufferManager::contextDeactivate");
    for (int i = 0; i < variableBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(variableBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<VariableBuffer>());
        }
    }
    for (int i = 0; i < pixelBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(pixelBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<PixelBuffer>(), nullptr);
        }
    }
    for (int i = 0; i < vertexBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(vertexBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<VertexBuffer>());
        }
    }
    for (int i = 0; i < indexBuffers_.size(); ++i) {
        if (BackableBuffer* wrapper = wrapperOf(indexBuffers_[i])) {
            wrapper->setBack(IntrusivePointer<IndexBuffer>());
        }
    }
    for (int i = 0; i < vertexFormats_.size(); ++i) {
        if (BackableVertexFormat* wrapper = wrapperOf(vertexFormats_[i])) {
            wrapper->setBack(nullptr);
        }
    }
}

void BufferManager::preContextReset(RenderDevice*)
{
    core::Log::debug("BufferManager::preContextReset");
    for (int i = 0; i < variableBuffers_.size(); ++i) {
        variableBuffers_[i]->resetDestroy();
    }
    for (int i = 0; i < pixelBuffers_.size(); ++i) {
        pixelBuffers_[i]->resetDestroy();
    }
    for (int i = 0; i < vertexBuffers_.size(); ++i) {
        vertexBuffers_[i]->resetDestroy();
    }
    for (int i = 0; i < indexBuffers_.size(); ++i) {
        indexBuffers_[i]->resetDestroy();
    }
}

void BufferManager::postContextReset(RenderDevice*)
{
    core::Log::debug("BufferManager::postContextReset");
    for (int i = 0; i < vertexBuffers_.size(); ++i) {
        vertexBuffers_[i]->resetCreate();
    }
    for (int i = 0; i < indexBuffers_.size(); ++i) {
        indexBuffers_[i]->resetCreate();
    }
    for (int i = 0; i < pixelBuffers_.size(); ++i) {
        pixelBuffers_[i]->resetCreate();
    }
    for (int i = 0; i < variableBuffers_.size(); ++i) {
        variableBuffers_[i]->resetCreate();
    }
}

void BufferManager::resourceDestroyed(core::Resource* resource)
{
    if (unlist(indexBuffers_, resource) || unlist(vertexBuffers_, resource) || unlist(pixelBuffers_, resource) ||
        unlist(variableBuffers_, resource)) {
        return;
    }
    unlist(vertexFormats_, resource);
}

void BufferManager::outputVariableBufferFormat(IntrusivePointer<VariableBufferFormat> format)
{
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_SCENE, core::Logger::ALERT,
                                          "VariableBufferFormat:" + format->getName() + " primary:" +
                                              (format->getPrimary() ? 1 : 0) + " dataSize:" +
                                              format->getDataSize() + " numVariables:" + format->getNumVariables());
    for (int i = 0; i < format->getNumVariables(); ++i) {
        outputVariable(format->getVariable(i).get(), "\t");
    }
}

void BufferManager::outputVariable(VariableBufferFormat::Variable* variable, const String& indent)
{
    const int structSize = variable->structVariables.size();
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_SCENE, core::Logger::ALERT,
                                          indent + "Variable:" + variable->name + " format:" + variable->format +
                                              " offset:" + variable->offset + " index:" + variable->index +
                                              " arraySize:" + variable->arraySize + " structSize:" + structSize);
    for (int i = 0; i < structSize; ++i) {
        outputVariable(variable->structVariables[i].get(), indent + "\t");
    }
}

core::Collection<core::Resource*> BufferManager::getResources() const
{
    core::Collection<core::Resource*> listed;
    const auto add = [&listed](const auto& objects) {
        for (int i = 0; i < objects.size(); ++i) {
            listed.add(objects[i]);
        }
    };
    add(vertexFormats_);
    add(indexBuffers_);
    add(vertexBuffers_);
    add(pixelBuffers_);
    add(variableBuffers_);
    return listed;
}

void BufferManager::destroy()
{
    destroyListed(vertexFormats_);
    destroyListed(indexBuffers_);
    destroyListed(vertexBuffers_);
    destroyListed(pixelBuffers_);
    destroyListed(variableBuffers_);
}

} // namespace rezezaz::scene

#include "render/BackableBuffer.h"

#include "core/Exception.h"
#include "render/RenderDevice.h"
#include "render/TextureFormatConversion.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace rezezaz::render {

namespace {

void swapFloats(unsigned char* data, int a, int b)
{
    unsigned char saved[4];
    std::memcpy(saved, data + 4 * a, 4);
    std::memcpy(data + 4 * a, data + 4 * b, 4);
    std::memcpy(data + 4 * b, saved, 4);
}

} // namespace

void BackableBuffer::packVariables(const VariableBufferFormat* format, unsigned char* data)
{
    if (format == nullptr) {
        return;
    }
    for (int i = 0; i < format->getNumVariables(); ++i) {
        const VariableBufferFormat::Variable* variable = format->getVariable(i).get();
        if (variable != nullptr && variable->format < 0) {
            transposeVariable(format, data, i);
        }
    }
}

void BackableBuffer::unpackVariables(const VariableBufferFormat* format, unsigned char* data)
{
    packVariables(format, data);
}

void BackableBuffer::transposeVariable(const VariableBufferFormat* format, unsigned char* data, int index)
{
    if (format == nullptr || data == nullptr || index < 0 || index >= format->getNumVariables()) {
        return;
    }
    const VariableBufferFormat::Variable* variable = format->getVariable(index).get();
    if (variable == nullptr) {
        return;
    }
    const int rows = VariableBufferFormat::getFormatRows(variable->format);
    const int columns = VariableBufferFormat::getFormatColumns(variable->format);
    // Rows are four floats apart whatever the shape; every float swapped must lie within the data.
    int highest = -1;
    for (int j = 0; j < columns; ++j) {
        for (int m = j + 1; m < rows; ++m) {
            highest = std::max({highest, 4 * j + m, 4 * m + j});
        }
    }
    if (highest < 0 || variable->offset < 0 ||
        int64_t(variable->offset) + 4 * (int64_t(highest) + 1) > format->getDataSize()) {
        return;
    }
    unsigned char* matrix = data + variable->offset;
    for (int j = 0; j < columns; ++j) {
        for (int m = j + 1; m < rows; ++m) {
            swapFloats(matrix, 4 * j + m, 4 * m + j);
        }
    }
}

void BackableBuffer::destroy()
{
    if (getKind() == Kind::NONE) {
        back_ = nullptr;
    } else {
        destroyBack();
    }
    std::vector<unsigned char>().swap(data_);
    if (getKind() == Kind::NONE) {
        setDestroyedListener(nullptr);
    }
    BaseRenderResource::destroy();
}

core::Resource* BackableBuffer::resourceThis()
{
    switch (getKind()) {
    case Kind::INDEX:
        return static_cast<IndexBuffer*>(this);
    case Kind::VERTEX:
        return static_cast<VertexBuffer*>(this);
    case Kind::PIXEL:
        return static_cast<PixelBuffer*>(this);
    case Kind::VARIABLE:
        return static_cast<VariableBuffer*>(this);
    case Kind::NONE:
        break;
    }
    return BaseRenderResource::resourceThis();
}

IndexBuffer* BackableBuffer::getRootIndexBuffer()
{
    return getKind() == Kind::INDEX ? dynamic_cast<IndexBuffer*>(back_.get()) : nullptr;
}

VertexBuffer* BackableBuffer::getRootVertexBuffer()
{
    return getKind() == Kind::VERTEX ? dynamic_cast<VertexBuffer*>(back_.get()) : nullptr;
}

PixelBuffer* BackableBuffer::getRootPixelBuffer()
{
    return getKind() == Kind::PIXEL ? dynamic_cast<PixelBuffer*>(back_.get()) : nullptr;
}

VariableBuffer* BackableBuffer::getRootVariableBuffer()
{
    return getKind() == Kind::VARIABLE ? dynamic_cast<VariableBuffer*>(back_.get()) : nullptr;
}

GLTextureMipPixelBuffer* BackableBuffer::castToGLTextureMipPixelBuffer()
{
    return nullptr;
}

GLFBOPixelBuffer* BackableBuffer::castToGLFBOPixelBuffer()
{
    return nullptr;
}

GLBuffer* BackableBuffer::castToGLBuffer()
{
    return nullptr;
}

bool BackableBuffer::store(int usage, int access, int64_t dataSize)
{
    usage_ = usage;
    access_ = access;
    dataSize_ = static_cast<int32_t>(dataSize);
    dirty_ = false;
    if (data_.size() < static_cast<size_t>(dataSize)) {
        data_.resize(static_cast<size_t>(dataSize));
    }
    return true;
}

namespace {

bool validDataSize(int64_t dataSize)
{
    return dataSize >= 0 && dataSize <= INT32_MAX;
}

} // namespace

bool BackableBuffer::create(int usage, int access, IndexFormat indexFormat, int size)
{
    const int64_t dataSize = int64_t(indexFormat) * size;
    if (size < 0 || !validDataSize(dataSize)) {
        return false;
    }
    indexFormat_ = indexFormat;
    size_ = size;
    return store(usage, access, dataSize);
}

bool BackableBuffer::create(int usage, int access, core::IntrusivePointer<VertexFormat> vertexFormat,
                            int size)
{
    if (!vertexFormat || size < 0) {
        return false;
    }
    const int64_t dataSize = int64_t(vertexFormat->getVertexSize()) * size;
    if (!validDataSize(dataSize)) {
        return false;
    }
    vertexFormat_ = vertexFormat;
    size_ = size;
    return store(usage, access, dataSize);
}

bool BackableBuffer::create(int usage, int access, core::IntrusivePointer<TextureFormat> textureFormat)
{
    if (!textureFormat || !validDataSize(textureFormat->zPitch)) {
        return false;
    }
    textureFormat_ = textureFormat;
    return store(usage, access, textureFormat->zPitch);
}

bool BackableBuffer::create(int usage, int access,
                            core::IntrusivePointer<VariableBufferFormat> variableFormat)
{
    if (!variableFormat || !validDataSize(variableFormat->getDataSize())) {
        return false;
    }
    variableFormat_ = variableFormat;
    return store(usage, access, variableFormat->getDataSize());
}

void BackableBuffer::resetCreate()
{
    switch (getKind()) {
    case Kind::INDEX:
        if (IndexBuffer* back = dynamic_cast<IndexBuffer*>(back_.get())) {
            back->resetCreate();
        }
        break;
    case Kind::VERTEX:
        if (VertexBuffer* back = dynamic_cast<VertexBuffer*>(back_.get())) {
            back->resetCreate();
        }
        break;
    case Kind::PIXEL:
        if (PixelBuffer* back = dynamic_cast<PixelBuffer*>(back_.get())) {
            back->resetCreate();
        }
        break;
    case Kind::VARIABLE:
        if (VariableBuffer* back = dynamic_cast<VariableBuffer*>(back_.get())) {
            back->resetCreate();
        }
        break;
    case Kind::NONE:
        break;
    }
}

void BackableBuffer::resetDestroy()
{
    switch (getKind()) {
    case Kind::INDEX:
        if (IndexBuffer* back = dynamic_cast<IndexBuffer*>(back_.get())) {
            back->resetDestroy();
        }
        break;
    case Kind::VERTEX:
        if (VertexBuffer* back = dynamic_cast<VertexBuffer*>(back_.get())) {
            back->resetDestroy();
        }
        break;
    case Kind::PIXEL:
        if (PixelBuffer* back = dynamic_cast<PixelBuffer*>(back_.get())) {
            back->resetDestroy();
        }
        break;
    case Kind::VARIABLE:
        if (VariableBuffer* back = dynamic_cast<VariableBuffer*>(back_.get())) {
            back->resetDestroy();
        }
        break;
    case Kind::NONE:
        break;
    }
}

int BackableBuffer::getUsage() const
{
    return usage_;
}

int BackableBuffer::getAccess() const
{
    return access_ | 4;
}

int BackableBuffer::getDataSize() const
{
    return dataSize_;
}

int BackableBuffer::getSize() const
{
    return size_;
}

IndexBuffer::IndexFormat BackableBuffer::getIndexFormat() const
{
    return static_cast<IndexFormat>(indexFormat_);
}

core::IntrusivePointer<VertexFormat> BackableBuffer::getVertexFormat() const
{
    return vertexFormat_;
}

core::IntrusivePointer<TextureFormat> BackableBuffer::getTextureFormat() const
{
    return textureFormat_;
}

core::IntrusivePointer<VariableBufferFormat> BackableBuffer::getVariableBufferFormat() const
{
    return variableFormat_;
}

unsigned char* BackableBuffer::lock(int)
{
    return data_.empty() ? nullptr : data_.data();
}

bool BackableBuffer::unlock()
{
    dirty_ = true;
    if (back_) {
        writeBack();
    }
    return true;
}

bool BackableBuffer::update(unsigned char* data, int start, int size)
{
    if (start < 0 || size < 0 || int64_t(start) + size > dataSize_ || (data == nullptr && size > 0)) {
        return false;
    }
    dirty_ = true;
    if (size > 0) {
        std::memcpy(data_.data() + start, data, static_cast<size_t>(size));
    }
    if (Buffer* back = kindBack()) {
        sendToBack(back, start, size);
    }
    return true;
}

void BackableBuffer::setBack(core::IntrusivePointer<IndexBuffer> back)
{
    replaceBack(back.get());
    createBack(nullptr);
}

void BackableBuffer::setBack(core::IntrusivePointer<VertexBuffer> back)
{
    replaceBack(back.get());
    createBack(nullptr);
}

void BackableBuffer::setBack(core::IntrusivePointer<PixelBuffer> back, RenderDevice* device)
{
    replaceBack(back.get());
    createBack(device);
}

void BackableBuffer::setBack(core::IntrusivePointer<VariableBuffer> back)
{
    replaceBack(back.get());
    createBack(nullptr);
}

core::IntrusivePointer<Buffer> BackableBuffer::getBack() const
{
    return back_;
}

void BackableBuffer::readBack()
{
    Buffer* back = kindBack();
    if (back == nullptr || data_.empty()) {
        return;
    }
    try {
        unsigned char* source = back->lock(Access_READ);
        if (source == nullptr) {
            return;
        }
        const int count = std::min(dataSize_, back->getDataSize());
        if (count > 0) {
            std::memcpy(data_.data(), source, static_cast<size_t>(count));
        }
        back->unlock();
    } catch (const core::Exception&) {
        // The copy keeps what it had.
    }
}

void BackableBuffer::updateBack(int start, int size)
{
    Buffer* back = kindBack();
    if (back == nullptr || start < 0 || size < 0 || int64_t(start) + size > dataSize_) {
        return;
    }
    sendToBack(back, start, size);
}

bool BackableBuffer::backLaidOutOtherwise() const
{
    if (getKind() != Kind::PIXEL) {
        return false;
    }
    PixelBuffer* back = dynamic_cast<PixelBuffer*>(back_.get());
    core::IntrusivePointer<TextureFormat> backFormat = back != nullptr ? back->getTextureFormat() : nullptr;
    return backFormat && !backFormat->equals(*textureFormat_);
}

void BackableBuffer::sendToBack(Buffer* back, int start, int size)
{
    try {
        if (backLaidOutOtherwise()) {
            // Bytes of the copy's layout would land in the wrong place: the whole copy goes over,
            // converted.
            writeBack();
            return;
        }
        back->update(data_.data() + start, start, size);
    } catch (const core::Exception&) {
        // The copy holds the bytes; the next back gets them.
    }
}

BackableBuffer::Kind BackableBuffer::getKind() const
{
    if (indexFormat_ != 0) {
        return Kind::INDEX;
    }
    if (vertexFormat_) {
        return Kind::VERTEX;
    }
    if (textureFormat_) {
        return Kind::PIXEL;
    }
    if (variableFormat_) {
        return Kind::VARIABLE;
    }
    return Kind::NONE;
}

Buffer* BackableBuffer::kindBack() const
{
    switch (getKind()) {
    case Kind::INDEX:
        return dynamic_cast<IndexBuffer*>(back_.get());
    case Kind::VERTEX:
        return dynamic_cast<VertexBuffer*>(back_.get());
    case Kind::PIXEL:
        return dynamic_cast<PixelBuffer*>(back_.get());
    case Kind::VARIABLE:
        return dynamic_cast<VariableBuffer*>(back_.get());
    case Kind::NONE:
        break;
    }
    return nullptr;
}

void BackableBuffer::createBack(RenderDevice* device)
{
    if (!back_) {
        return;
    }
    switch (getKind()) {
    case Kind::INDEX:
        if (IndexBuffer* back = dynamic_cast<IndexBuffer*>(back_.get())) {
            back->create(usage_, access_, getIndexFormat(), size_);
        }
        break;
    case Kind::VERTEX:
        if (VertexBuffer* back = dynamic_cast<VertexBuffer*>(back_.get())) {
            back->create(usage_, access_, vertexFormat_, size_);
        }
        break;
    case Kind::PIXEL:
        if (PixelBuffer* back = dynamic_cast<PixelBuffer*>(back_.get())) {
            const int pixelFormat = device != nullptr
                                        ? device->getClosePixelFormat(textureFormat_->pixelFormat, usage_)
                                        : textureFormat_->pixelFormat;
            if (core::IntrusivePointer<TextureFormat> format = textureFormat_->withPixelFormat(pixelFormat)) {
                back->create(usage_, access_, format);
            }
        }
        break;
    case Kind::VARIABLE:
        if (VariableBuffer* back = dynamic_cast<VariableBuffer*>(back_.get())) {
            back->create(usage_, access_, variableFormat_);
        }
        break;
    case Kind::NONE:
        break;
    }
    if (dirty_) {
        writeBack();
    }
}

void BackableBuffer::writeBack()
{
    Buffer* back = kindBack();
    if (back == nullptr || data_.empty()) {
        return;
    }
    bool locked = false;
    try {
        unsigned char* target = back->lock(Access_WRITE);
        if (target == nullptr) {
            return;
        }
        locked = true;
        if (getKind() == Kind::PIXEL) {
            core::IntrusivePointer<TextureFormat> backFormat =
                dynamic_cast<PixelBuffer*>(back)->getTextureFormat();
            if (!backFormat) {
                // Without a layout nothing can be placed safely.
            } else if (!backFormat->equals(*textureFormat_)) {
                TextureFormatConversion::convert(data_.data(), textureFormat_.get(), target,
                                                 backFormat.get());
            } else {
                std::memcpy(target, data_.data(),
                            static_cast<size_t>(std::min(dataSize_, back->getDataSize())));
            }
        } else {
            const int count = std::min(dataSize_, back->getDataSize());
            if (count > 0) {
                std::memcpy(target, data_.data(), static_cast<size_t>(count));
            }
        }
        locked = false;
        back->unlock();
    } catch (const core::Exception&) {
        // The copy stays written and goes to the next back. A back left locked by a failed
        // conversion is unlocked, so it can be written again.
        if (locked) {
            try {
                back->unlock();
            } catch (const core::Exception&) {
            }
        }
    }
}

} // namespace rezezaz::render

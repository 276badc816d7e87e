#include "scene/TextureManager.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "render/BackablePixelBufferRenderTarget.h"
#include "render/BackableTexture.h"
#include "render/RenderDevice.h"
#include "render/TextureFormatConversion.h"
#include "scene/Engine.h"

#include <memory>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::String;
using render::BackablePixelBufferRenderTarget;
using render::BackableTexture;
using render::PixelBufferRenderTarget;
using render::RenderDevice;
using render::Texture;
using render::TextureFormat;

namespace {

// Usage 1 (static) with bit 64: mips generated.
constexpr int DEFAULT_USAGE = 65;

BackableTexture* wrapperOf(core::Resource* resource)
{
    Texture* texture = dynamic_cast<Texture*>(resource);
    if (texture == nullptr || texture->getRootTexture() == texture) {
        return nullptr;
    }
    return dynamic_cast<BackableTexture*>(texture);
}

BackablePixelBufferRenderTarget* wrapperOf(PixelBufferRenderTarget* target)
{
    if (target->getRootPixelBufferRenderTarget() == target) {
        return nullptr;
    }
    return dynamic_cast<BackablePixelBufferRenderTarget*>(target);
}

} // namespace

TextureManager::TextureManager(Engine* engine) : ResourceManager(engine) {}

bool TextureManager::keepsBackable() const
{
    return engine_->isBacked();
}

IntrusivePointer<Texture> TextureManager::createTexture(int usage, IntrusivePointer<TextureFormat> format,
                                                        unsigned char** mipDatas)
{
    RenderDevice* device = engine_->getRenderDevice();
    IntrusivePointer<Texture> texture;
    if (keepsBackable()) {
        IntrusivePointer<BackableTexture> wrapper(new BackableTexture());
        wrapper->create(usage, format, mipDatas);
        if (device != nullptr) {
            wrapper->setBack(IntrusivePointer<Texture>(device->createTexture()), device);
        }
        texture = wrapper.get();
    } else if (device != nullptr) {
        texture = device->createTexture();
        if (!BackableTexture::convertCreate(texture, device, usage, format, mipDatas)) {
            core::Error::unknown(core::Categories::REZEZAZ_SCENE, true, "Error in texture convertCreate");
        }
    }
    if (texture) {
        manage(texture.get(), String());
    }
    return texture;
}

IntrusivePointer<Texture> TextureManager::createTexture(IntrusivePointer<TextureFormat> format, unsigned char* data)
{
    return createTexture(DEFAULT_USAGE, format, data);
}

IntrusivePointer<Texture> TextureManager::createTexture(IntrusivePointer<TextureFormat> format,
                                                        unsigned char** mipDatas)
{
    return createTexture(1, format, mipDatas);
}

IntrusivePointer<Texture> TextureManager::createTexture(int usage, IntrusivePointer<TextureFormat> format,
                                                        unsigned char* data)
{
    // No data means no level array at all, not an array that holds a null block.
    unsigned char* levels[1] = {data};
    return createTexture(usage == 0 ? DEFAULT_USAGE : usage, format, data != nullptr ? levels : nullptr);
}

IntrusivePointer<PixelBufferRenderTarget> TextureManager::createPixelBufferRenderTarget()
{
    RenderDevice* device = engine_->getRenderDevice();
    IntrusivePointer<PixelBufferRenderTarget> target;
    if (keepsBackable()) {
        IntrusivePointer<BackablePixelBufferRenderTarget> wrapper(new BackablePixelBufferRenderTarget());
        wrapper->create();
        if (device != nullptr) {
            wrapper->setBack(device->createPixelBufferRenderTarget());
        }
        target = wrapper.get();
    } else if (device != nullptr) {
        target = device->createPixelBufferRenderTarget();
        if (target && !target->create()) {
            target = nullptr;
        }
    }
    if (target) {
        renderTargets_.add(target);
        target->setDestroyedListener(this);
    }
    return target;
}

IntrusivePointer<Texture> TextureManager::findTexture(const String& name)
{
    IntrusivePointer<core::Resource> resource = find(name, nullptr);
    return dynamic_cast<Texture*>(resource.get());
}

bool TextureManager::textureLoad(IntrusivePointer<Texture> texture, TextureFormat* format, unsigned char* data)
{
    const TextureFormat* own = texture ? texture->getFormat() : nullptr;
    if (own == nullptr || format == nullptr) {
        return false;
    }
    if (own->pixelFormat == format->pixelFormat) {
        return texture->load(format, data);
    }
    IntrusivePointer<TextureFormat> converted = format->withPixelFormat(own->pixelFormat);
    if (!converted) {
        return false;
    }
    // Freed on every way out, a raising load included.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[static_cast<std::size_t>(converted->getDataSize())]);
    if (!render::TextureFormatConversion::convert(data, format, buffer.get(), converted.get())) {
        return false;
    }
    return texture->load(converted.get(), buffer.get());
}

void TextureManager::contextActivate(RenderDevice* device)
{
    core::Log::debug("TextureManager::contextActivate");
    for (int i = 0; i < resources_.size(); ++i) {
        if (BackableTexture* wrapper = wrapperOf(resources_[i])) {
            wrapper->setBack(IntrusivePointer<Texture>(device->createTexture()), device);
        }
    }
    for (int i = 0; i < renderTargets_.size(); ++i) {
        if (BackablePixelBufferRenderTarget* wrapper = wrapperOf(renderTargets_[i].get())) {
            wrapper->setBack(device->createPixelBufferRenderTarget());
        }
    }
}

void TextureManager::contextDeactivate(RenderDevice*)
{
    core::Log::debug("TextureManager::contextDeactivate");
    for (int i = 0; i < resources_.size(); ++i) {
        if (BackableTexture* wrapper = wrapperOf(resources_[i])) {
            wrapper->setBack(nullptr, nullptr);
        }
    }
    for (int i = 0; i < renderTargets_.size(); ++i) {
        if (BackablePixelBufferRenderTarget* wrapper = wrapperOf(renderTargets_[i].get())) {
            wrapper->setBack(nullptr);
        }
    }
}

void TextureManager::preContextReset(RenderDevice*)
{
    core::Log::debug("TextureManager::preContextReset");
    for (int i = 0; i < resources_.size(); ++i) {
        if (Texture* texture = dynamic_cast<Texture*>(resources_[i])) {
            texture->resetDestroy();
        }
    }
    for (int i = 0; i < renderTargets_.size(); ++i) {
        renderTargets_[i]->resetDestroy();
    }
}

void TextureManager::postContextReset(RenderDevice*)
{
    core::Log::debug("TextureManager::postContextReset");
    for (int i = 0; i < resources_.size(); ++i) {
        if (Texture* texture = dynamic_cast<Texture*>(resources_[i])) {
            texture->resetCreate();
        }
    }
    for (int i = 0; i < renderTargets_.size(); ++i) {
        renderTargets_[i]->resetCreate();
    }
}

void TextureManager::destroy()
{
    ResourceManager::destroy();
    for (int i = 0; i < renderTargets_.size(); ++i) {
        renderTargets_[i]->setDestroyedListener(nullptr);
        renderTargets_[i]->destroy();
    }
    renderTargets_.clear();
}

void TextureManager::resourceDestroyed(core::Resource* resource)
{
    const void* object = identity(resource);
    for (int i = 0; i < renderTargets_.size(); ++i) {
        if (identity(renderTargets_[i].get()) == object) {
            // The list may hold the last reference of a target that is still in its own destroy.
            IntrusivePointer<PixelBufferRenderTarget> held = renderTargets_[i];
            renderTargets_.erase(renderTargets_.begin() + i);
            return;
        }
    }
    ResourceManager::resourceDestroyed(resource);
}

} // namespace rezezaz::scene

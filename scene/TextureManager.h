#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/PixelBufferRenderTarget.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/ResourceManager.h"

namespace rezezaz::render {
class RenderDevice;
}

namespace rezezaz::scene {

// The resource manager of textures and off-screen render targets. A backed engine gets
// device-independent textures that keep their data and are given a device texture whenever a render
// context exists; otherwise the device's own textures are filled through the conversion routine.
// Owned by the engine; textures are filed in the registry, the targets it made in a list of its own.
class TextureManager : public ResourceManager
{
public:
    explicit TextureManager(Engine* engine);

    // Destroys every texture and then every render target.
    void destroy() override;
    // A render target of the list leaves the list; anything else is unmanaged.
    void resourceDestroyed(core::Resource* resource) override;

    // mipDatas is null or one data block per mip level. Null without a device and a backed engine;
    // raises "Error in texture convertCreate" when a device texture cannot be filled.
    core::IntrusivePointer<render::Texture> createTexture(int usage, core::IntrusivePointer<render::TextureFormat> format,
                                                          unsigned char** mipDatas);
    // Usage 65 (static, mips generated); data may be null.
    core::IntrusivePointer<render::Texture> createTexture(core::IntrusivePointer<render::TextureFormat> format,
                                                          unsigned char* data);
    // Usage 1.
    core::IntrusivePointer<render::Texture> createTexture(core::IntrusivePointer<render::TextureFormat> format,
                                                          unsigned char** mipDatas);
    // Usage 0 counts as 65; data may be null.
    core::IntrusivePointer<render::Texture> createTexture(int usage, core::IntrusivePointer<render::TextureFormat> format,
                                                          unsigned char* data);
    // Null when there is neither a backed engine nor a device, or the device target cannot be made.
    core::IntrusivePointer<render::PixelBufferRenderTarget> createPixelBufferRenderTarget();
    // find(name, null) as a texture.
    core::IntrusivePointer<render::Texture> findTexture(const core::String& name);

    // Loads data, a box of format, into texture, converted first to the texture's pixel format when
    // the two differ. False for a texture or box without a format, or a box the conversion refuses.
    bool textureLoad(core::IntrusivePointer<render::Texture> texture, render::TextureFormat* format,
                     unsigned char* data);

    void contextActivate(render::RenderDevice* device);
    void contextDeactivate(render::RenderDevice* device);
    void preContextReset(render::RenderDevice* device);
    void postContextReset(render::RenderDevice* device);

    const core::Collection<core::IntrusivePointer<render::PixelBufferRenderTarget>>& getRenderTargets() const
    {
        return renderTargets_;
    }

private:
    bool keepsBackable() const;

    core::Collection<core::IntrusivePointer<render::PixelBufferRenderTarget>> renderTargets_;
};

} // namespace rezezaz::scene

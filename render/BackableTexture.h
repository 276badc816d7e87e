#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"

#include <memory>

namespace rezezaz::render {

class RenderDevice;

// The device-independent texture: its format and, unless its usage says the contents live on the
// device only (dynamic or render target), a system-memory copy of mip level 0, so that it can be made
// again on any device after the render context is lost. The device texture behind it (its back) is
// made by convertCreate in a form the device accepts. Made by the texture manager; owns its back, its
// copy and the level buffers it hands out.
class BackableTexture : public BaseRenderResource<Texture>, protected BackHolder<Texture>
{
public:
    // Usage bits this class looks at beyond the texture usages.
    enum
    {
        Usage_DYNAMIC = 4,
        Usage_MIP_LEVELS_GIVEN = 8,
    };

    // Creates back from format and mipDatas in a form the device takes: its closest pixel format,
    // power-of-two sizes when it needs them (the added room zeroed) and, when it cannot generate
    // mips itself, a mip chain prepared in memory. mipDatas holds max(mipMax, 1) level blocks of the
    // format; levels beyond those are box-filtered from the level above. Returns the back's create.
    static bool convertCreate(core::IntrusivePointer<Texture> back, RenderDevice* device, int usage,
                              core::IntrusivePointer<TextureFormat> format, unsigned char** mipDatas);
    // Loads or reads a box through back in the back's pixel format, converting on the way.
    static bool convertLoad(Texture* back, TextureFormat* format, unsigned char* data);
    static bool convertRead(Texture* back, TextureFormat* format, unsigned char* data);

    BackableTexture() = default;

    // Destroys the level buffers and the back, frees the copy, then tells the destroyed-listener.
    void destroy() override;

    // The back's root, null without a back.
    Texture* getRootTexture() override;
    // Keeps usage and a copy of format and, unless usage has the dynamic or render-target bit, a
    // zeroed copy of level 0 that mipDatas[0] (if given) is loaded into. Without bit 8 a format
    // that is not a single level asks for generated mips (bit 0x40). A missing format is refused.
    bool create(int usage, core::IntrusivePointer<TextureFormat> format, unsigned char** mipDatas) override;
    void resetCreate() override;
    void resetDestroy() override;
    int getUsage() const override;
    TextureFormat* getFormat() const override;
    // The buffer of a level (and cube side of a cube map), the same one on every call; null for a
    // negative level or a cube side outside 0 to 5.
    core::IntrusivePointer<PixelBuffer> getMipPixelBuffer(int level, int cubeSide) override;
    // Writes the box to the back and, for level 0, into the copy. A box outside the texture is
    // refused with false and writes nothing.
    bool load(TextureFormat* format, unsigned char* data) override;
    // Reads the box from the back or, without one, from the copy. A box outside the texture is
    // refused with false and reads nothing. A sub-box read from the copy in the texture's own pixel
    // format fills data and answers false.
    bool read(TextureFormat* format, unsigned char* data) override;

    // Destroys a held back that differs from back (its level buffers let go of it first), holds back,
    // creates it from the copy and points every level buffer handed out at the new back's levels.
    virtual void setBack(core::IntrusivePointer<Texture> back, RenderDevice* device);
    virtual core::IntrusivePointer<Texture> getBack() const;

private:
    bool readCopy(const TextureFormat& format, unsigned char* data);

    int32_t usage_ = 0;
    core::IntrusivePointer<TextureFormat> format_;
    std::unique_ptr<unsigned char[]> data_;
    core::Collection<core::IntrusivePointer<PixelBuffer>> mipPixelBuffers_;
};

} // namespace rezezaz::render

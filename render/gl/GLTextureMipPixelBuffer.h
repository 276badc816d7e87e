#pragma once

#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/PixelBuffer.h"
#include "render/TextureFormat.h"

#include <cstdint>

namespace rezezaz::render {

class GLTexture;

// One level (and cube face) of a GL texture as a pixel buffer: written whole through update, read
// and written by the device's pixel copies. It cannot be mapped or created again.
class GLTextureMipPixelBuffer : public BaseRenderResource<PixelBuffer>
{
public:
    GLTextureMipPixelBuffer(GLTexture* texture, int level, int cubeSide);
    ~GLTextureMipPixelBuffer() override;

    // Only tells the listener: the texture object belongs to the texture.
    void destroy() override;
    // The texture is going away.
    void detach() { texture = nullptr; }

    PixelBuffer* getRootPixelBuffer() override { return this; }
    GLTextureMipPixelBuffer* castToGLTextureMipPixelBuffer() override { return this; }
    GLFBOPixelBuffer* castToGLFBOPixelBuffer() override { return nullptr; }
    GLBuffer* castToGLBuffer() override { return nullptr; }
    bool create(int, int, core::IntrusivePointer<TextureFormat>) override { return false; }
    void resetCreate() override {}
    void resetDestroy() override {}
    int getUsage() const override { return usage; }
    int getAccess() const override { return 0; }
    core::IntrusivePointer<TextureFormat> getTextureFormat() const override { return format; }
    int getDataSize() const override { return dataSize; }
    // Texels of the level.
    int getSize() const override;
    unsigned char* lock(int) override { return nullptr; }
    bool unlock() override { return false; }
    // Only a whole level (start 0, size getDataSize()) is written; anything else is refused.
    bool update(unsigned char* data, int start, int size) override;

    // The texture's object; 0 once the texture is gone.
    unsigned int getHandle() const;
    // The texture's target, or the face's for a cube map.
    unsigned int getTarget() const;
    GLTexture* getTexture() const { return texture; }
    int getLevel() const { return static_cast<int>(level); }
    int getCubeSide() const { return static_cast<int>(cubeSide); }

    // The level's pixels into or from data (or the bound pixel pack or unpack buffer object when
    // data is null), in the pixel format of format, which must have the level's size.
    bool readInto(const TextureFormat& format, unsigned char* data);
    bool writeFrom(const TextureFormat& format, const unsigned char* data);

private:
    GLTexture* texture;
    uint32_t level;
    uint32_t cubeSide;
    int usage;
    core::IntrusivePointer<TextureFormat> format;
    int dataSize;
};

} // namespace rezezaz::render

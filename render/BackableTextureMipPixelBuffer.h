#pragma once

#include "core/IntrusivePointer.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/PixelBuffer.h"

namespace rezezaz::render {

class BackableTexture;

// The pixel buffer of one mip level (and cube side) of a backable texture. It follows the texture's
// back: each time the texture gets a device texture it takes that texture's own level buffer and
// forwards to it, and it remembers the level's usage, access and format for the time without one.
// Made and held by its texture, which it does not hold in turn.
class BackableTextureMipPixelBuffer : public BaseRenderResource<PixelBuffer>,
                                      protected BackHolder<PixelBuffer>
{
public:
    BackableTextureMipPixelBuffer(BackableTexture* texture, int level, int cubeSide);

    // Lets go of the back and forgets the texture.
    void destroy() override;

    // The back, null without one.
    PixelBuffer* getRootPixelBuffer() override;
    GLTextureMipPixelBuffer* castToGLTextureMipPixelBuffer() override;
    GLFBOPixelBuffer* castToGLFBOPixelBuffer() override;
    GLBuffer* castToGLBuffer() override;
    // A level is made by its texture: false.
    bool create(int usage, int access, core::IntrusivePointer<TextureFormat> textureFormat) override;
    // Takes the texture's device texture's buffer of this level, if the texture has one.
    void resetCreate() override;
    // Lets go of the back.
    void resetDestroy() override;

    // The back's values, else the ones remembered from the last back.
    int getUsage() const override;
    int getAccess() const override;
    int getDataSize() const override;
    int getSize() const override;
    core::IntrusivePointer<TextureFormat> getTextureFormat() const override;
    // Forwarded to the back; null or false without one.
    unsigned char* lock(int access) override;
    bool unlock() override;
    bool update(unsigned char* data, int start, int size) override;

    virtual void setBack(core::IntrusivePointer<PixelBuffer> back);
    virtual core::IntrusivePointer<PixelBuffer> getBack() const;

private:
    BackableTexture* texture_;
    int32_t level_;
    int32_t cubeSide_;
    int32_t usage_ = 0;
    int32_t access_ = 0;
    core::IntrusivePointer<TextureFormat> format_;
};

} // namespace rezezaz::render

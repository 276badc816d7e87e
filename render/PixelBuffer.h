#pragma once

#include "core/IntrusivePointer.h"
#include "render/Buffer.h"
#include "render/TextureFormat.h"

namespace rezezaz::render {

class GLTextureMipPixelBuffer;
class GLFBOPixelBuffer;
class GLBuffer;

// A box of pixels described by a texture format: a texture's mip level, a frame-buffer attachment or
// a plain pixel buffer.
class PixelBuffer : public Buffer
{
public:
    virtual PixelBuffer* getRootPixelBuffer() = 0;
    virtual bool create(int usage, int access, core::IntrusivePointer<TextureFormat> textureFormat) = 0;
    virtual void resetCreate() = 0;
    virtual void resetDestroy() = 0;
    // Null before create.
    virtual core::IntrusivePointer<TextureFormat> getTextureFormat() const = 0;
    // The object as that OpenGL class, or null when it is not one.
    virtual GLTextureMipPixelBuffer* castToGLTextureMipPixelBuffer() = 0;
    virtual GLFBOPixelBuffer* castToGLFBOPixelBuffer() = 0;
    virtual GLBuffer* castToGLBuffer() = 0;
};

} // namespace rezezaz::render

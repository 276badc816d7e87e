#include "render/gl/GLTextureMipPixelBuffer.h"

#include "render/gl/GLTexture.h"

#include <GL/glew.h>

namespace rezezaz::render {

GLTextureMipPixelBuffer::GLTextureMipPixelBuffer(GLTexture* texture, int level, int cubeSide)
    : texture(texture),
      level(static_cast<uint32_t>(level)),
      cubeSide(static_cast<uint32_t>(cubeSide)),
      usage(texture->getUsage() & 0xF),
      format(new TextureFormat(texture->getFormat(), level)),
      dataSize(format->zPitch)
{
    // One face of a cube map: its bytes are one face's.
    if (texture->getTarget() == GL_TEXTURE_CUBE_MAP) {
        format->zMin = 0;
        format->zMax = 1;
        format->zPitch = format->yPitch;
        dataSize = format->yPitch;
    }
}

GLTextureMipPixelBuffer::~GLTextureMipPixelBuffer() = default;

void GLTextureMipPixelBuffer::destroy()
{
    BaseRenderResource::destroy();
}

int GLTextureMipPixelBuffer::getSize() const
{
    return format->getWidth() * format->getHeight() * format->getDepth();
}

unsigned int GLTextureMipPixelBuffer::getHandle() const
{
    return texture != nullptr ? texture->getHandle() : 0;
}

unsigned int GLTextureMipPixelBuffer::getTarget() const
{
    if (texture == nullptr) {
        return 0;
    }
    const unsigned int target = texture->getTarget();
    return target == GL_TEXTURE_CUBE_MAP ? GLTexture::GLCubeFaces[cubeSide] : target;
}

bool GLTextureMipPixelBuffer::update(unsigned char* data, int start, int size)
{
    if (texture == nullptr || data == nullptr || start != 0 || size != dataSize) {
        return false;
    }
    return writeFrom(*format, data);
}

bool GLTextureMipPixelBuffer::readInto(const TextureFormat& box, unsigned char* data)
{
    if (texture == nullptr) {
        return false;
    }
    TextureFormat level(&box, -1);
    level.mipMin = static_cast<int>(this->level);
    const bool cube = texture->getTarget() == GL_TEXTURE_CUBE_MAP;
    return texture->readLevel(level, cube ? static_cast<int>(cubeSide) : -1, data);
}

bool GLTextureMipPixelBuffer::writeFrom(const TextureFormat& box, const unsigned char* data)
{
    if (texture == nullptr) {
        return false;
    }
    TextureFormat level(&box, -1);
    level.mipMin = static_cast<int>(this->level);
    const bool cube = texture->getTarget() == GL_TEXTURE_CUBE_MAP;
    return texture->writeLevel(level, cube ? static_cast<int>(cubeSide) : -1, data);
}

} // namespace rezezaz::render

#include "render/gl/GLTexture.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "render/RenderCaps.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLTextureMipPixelBuffer.h"

#include <GL/glew.h>

#include <algorithm>

namespace rezezaz::render {

namespace {

const core::String& category()
{
    return core::Categories::REZEZAZ_RENDER;
}

bool powerOf2(int value)
{
    return value > 0 && (value & (value - 1)) == 0;
}

GLenum bindingOf(GLenum target)
{
    switch (target) {
    case GL_TEXTURE_1D:
        return GL_TEXTURE_BINDING_1D;
    case GL_TEXTURE_3D:
        return GL_TEXTURE_BINDING_3D;
    case GL_TEXTURE_CUBE_MAP:
        return GL_TEXTURE_BINDING_CUBE_MAP;
    case GL_TEXTURE_RECTANGLE:
        return GL_TEXTURE_BINDING_RECTANGLE;
    default:
        return GL_TEXTURE_BINDING_2D;
    }
}

// Binds a texture for the length of a scope and puts back what the active unit had bound, so the
// device's record of its units stays true.
class ScopedBind
{
public:
    ScopedBind(GLenum target, GLuint handle) : target(target)
    {
        GLint bound = 0;
        glGetIntegerv(bindingOf(target), &bound);
        previous = static_cast<GLuint>(bound);
        glBindTexture(target, handle);
    }
    ~ScopedBind() { glBindTexture(target, previous); }
    ScopedBind(const ScopedBind&) = delete;
    ScopedBind& operator=(const ScopedBind&) = delete;

private:
    GLenum target;
    GLuint previous = 0;
};

// The layout of the pixels handed over or read back. A depth format names its precision only as the
// texture's own storage: pixels cross over as plain depth components.
GLenum transferFormat(int pixelFormat)
{
    if (TextureFormat::getLayout(pixelFormat) == TextureFormat::Layout_DEPTH) {
        return GL_DEPTH_COMPONENT;
    }
    return GLRenderDevice::getGLFormat(pixelFormat, false);
}

// A format that gives its texels no bytes (a depth format) describes no memory to copy from or into.
bool describesBytes(const TextureFormat& box)
{
    return GLRenderDevice::getGLTextureCompressed(box.pixelFormat) || box.xPitch > 0;
}

// Bytes OpenGL takes for one image (one face or slice) of a compressed level: whole 4x4 blocks, so
// levels narrower than a block still take one.
GLsizei compressedImageSize(int pixelFormat, int width, int height)
{
    const int64_t size = TextureFormat::getPitches(pixelFormat, width, height, 1).slice;
    return size > 0 && size <= INT32_MAX ? static_cast<GLsizei>(size) : 0;
}

RenderCaps capsOf(GLRenderDevice* device)
{
    RenderCaps caps;
    if (device != nullptr) {
        device->getRenderCaps(caps);
    }
    return caps;
}

} // namespace

const unsigned int GLTexture::GLCubeFaces[6] = {GL_TEXTURE_CUBE_MAP_POSITIVE_X, GL_TEXTURE_CUBE_MAP_NEGATIVE_X,
                                                GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y,
                                                GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z};

GLTexture::GLTexture(GLRenderDevice* device) : device(device) {}

GLTexture::~GLTexture()
{
    for (auto& buffer : mipPixelBuffers) {
        if (buffer) {
            static_cast<GLTextureMipPixelBuffer*>(buffer.get())->detach();
        }
    }
}

int GLTexture::getAlignment(int pitch)
{
    if (pitch <= 0) {
        return 1;
    }
    int alignment = 1;
    while (alignment < 8 && pitch % (alignment * 2) == 0) {
        alignment *= 2;
    }
    return alignment;
}

bool GLTexture::sizeSupported(const TextureFormat& format, int usage, bool full, bool rectangle)
{
    const bool sized = powerOf2(format.xMax) && powerOf2(format.yMax) &&
                       (format.dimension == TextureFormat::Dimension_CUBE || powerOf2(format.zMax));
    return sized || full || (rectangle && (usage & Usage_RECTANGLE) != 0);
}

void GLTexture::destroy()
{
    for (auto& buffer : mipPixelBuffers) {
        if (buffer) {
            buffer->destroy();
            static_cast<GLTextureMipPixelBuffer*>(buffer.get())->detach();
        }
    }
    // Without its device or its context the name may be another context's: it is only forgotten.
    if (handle != 0 && device.inContext()) {
        glDeleteTextures(1, &handle);
    }
    handle = 0;
    target = 0;
    levels = 0;
    mipPixelBuffers.clear();
    BaseRenderResource::destroy();
}

bool GLTexture::destroyContext()
{
    for (auto& buffer : mipPixelBuffers) {
        if (buffer) {
            buffer->destroy();
        }
    }
    if (handle != 0 && device.inContext()) {
        glDeleteTextures(1, &handle);
    }
    handle = 0;
    return true;
}

unsigned int GLTexture::getGLTarget() const
{
    switch (format ? format->dimension : 0) {
    case TextureFormat::Dimension_1D:
        return GL_TEXTURE_1D;
    case TextureFormat::Dimension_2D:
        return (usage & Usage_RECTANGLE) != 0 ? GL_TEXTURE_RECTANGLE : GL_TEXTURE_2D;
    case TextureFormat::Dimension_3D:
        return GL_TEXTURE_3D;
    case TextureFormat::Dimension_CUBE:
        return GL_TEXTURE_CUBE_MAP;
    default:
        core::Error::unknown(category(), true, "GLTexture::getGLTarget: Invalid target");
    }
}

bool GLTexture::create(int newUsage, core::IntrusivePointer<TextureFormat> newFormat, unsigned char** mipDatas)
{
    if (!newFormat) {
        core::Error::nullPointer(category(), true, "GLTexture::create: NULL TextureFormat");
    }
    const RenderCaps caps = capsOf(device);
    if (!sizeSupported(*newFormat, newUsage, caps.textureNonPowerOf2, caps.textureNonPowerOf2Restricted)) {
        core::Error::unknown(category(), true, "GLTexture: Cannot load a non power of 2 texture");
    }
    usage = newUsage;
    format = newFormat;
    return createContext(format->mipMax, mipDatas);
}

bool GLTexture::createContext(int mipLevels, unsigned char** mipDatas)
{
    if (handle != 0) {
        destroyContext();
        // The levels of the earlier texture: their formats no longer describe the new one.
        for (auto& buffer : mipPixelBuffers) {
            if (buffer) {
                static_cast<GLTextureMipPixelBuffer*>(buffer.get())->detach();
            }
        }
        mipPixelBuffers.clear();
    }
    levels = 0;
    const GLenum newTarget = getGLTarget();
    target = newTarget;
    textureMatrix = core::math::Matrix4x4();
    ++matrixRevision;
    // What OpenGL would refuse, leaving an error behind, is refused here: a side beyond the device's
    // largest texture, or a pixel code without an OpenGL format or type.
    const int largestSide = capsOf(device).maxTextureSize;
    const int largestAsked = std::max({format->getWidth(), format->getHeight(),
                                       target == GL_TEXTURE_3D ? format->getDepth() : 1});
    const bool compressedCode = GLRenderDevice::getGLTextureCompressed(format->pixelFormat);
    if ((largestSide > 0 && largestAsked > largestSide) || GLRenderDevice::getGLFormat(format->pixelFormat, true) == 0 ||
        transferFormat(format->pixelFormat) == 0 || (!compressedCode && GLRenderDevice::getGLType(format->pixelFormat) == 0)) {
        return false;
    }
    glGenTextures(1, &handle);
    ++revision;
    ScopedBind bind(target, handle);
    // A rectangle texture cannot repeat: it clamps.
    const GLint wrap = target == GL_TEXTURE_RECTANGLE ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    const RenderCaps caps = capsOf(device);
    const int glVersion = device != nullptr ? device->getGLVersion() : 0;
    generateMipmapsLater = (usage & Usage_AUTOGEN_MIPMAP) != 0;
    bool allocateEmpty = true;
    if ((usage & Usage_AUTOGEN_MIPMAP) != 0 && glVersion >= 14 && !caps.textureAutogenMipMaps) {
        glTexParameteri(target, GL_GENERATE_MIPMAP, 1);
        generateMipmapsLater = false;
        allocateEmpty = (usage & Usage_RENDER_TARGET) != 0;
    }

    int count = mipLevels;
    if (count <= 0) {
        count = 0;
        for (int largest = std::max({format->xMax, format->yMax, format->zMax}); largest >= 2; largest >>= 1) {
            ++count;
        }
    }
    if (glVersion >= 12) {
        glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
        // A single-level texture (a 1x1 one counts none) ends at level 0, never below.
        glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, std::max(count - 1, 0));
    }
    count = std::max(count, 1);

    const int pixelFormat = format->pixelFormat;
    const GLenum internalFormat = GLRenderDevice::getGLFormat(pixelFormat, true);
    const GLenum glFormat = transferFormat(pixelFormat);
    const bool compressed = GLRenderDevice::getGLTextureCompressed(pixelFormat);
    const GLenum type = compressed ? 0 : GLRenderDevice::getGLType(pixelFormat);
    if (internalFormat == 0 || glFormat == 0) {
        return false;
    }

    levels = 0;
    for (int i = 0; i < count; ++i) {
        const TextureFormat level(format.get(), i);
        const unsigned char* data =
            mipDatas != nullptr && (i == 0 || i < mipLevels) && describesBytes(level) ? mipDatas[i] : nullptr;
        if (data == nullptr && i > 0 && !allocateEmpty) {
            break;
        }
        if (data != nullptr) {
            glPixelStorei(GL_UNPACK_ALIGNMENT, getAlignment(level.xPitch));
        }
        const GLsizei width = level.getWidth();
        const GLsizei height = level.getHeight();
        const GLsizei depth = level.getDepth();
        GLsizei image = level.yPitch;
        if (compressed) {
            // A level below a block holds fewer bytes than OpenGL reads for it: such a level is made
            // empty rather than read past the caller's data.
            image = compressedImageSize(pixelFormat, width, height);
            if (data != nullptr && level.yPitch < image) {
                data = nullptr;
            }
        }
        const auto ifmt = static_cast<GLint>(internalFormat);
        switch (target) {
        case GL_TEXTURE_1D:
            if (compressed) {
                glCompressedTexImage1D(target, i, internalFormat, width, 0, image, data);
            } else {
                glTexImage1D(target, i, ifmt, width, 0, glFormat, type, data);
            }
            break;
        case GL_TEXTURE_3D:
            if (compressed) {
                glCompressedTexImage3D(target, i, internalFormat, width, height, depth, 0, image * depth, data);
            } else {
                glTexImage3D(target, i, ifmt, width, height, depth, 0, glFormat, type, data);
            }
            break;
        case GL_TEXTURE_CUBE_MAP:
            glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
            glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            for (int f = 0; f < 6; ++f) {
                const unsigned char* face = data != nullptr ? data + f * level.yPitch : nullptr;
                if (compressed) {
                    glCompressedTexImage2D(GLCubeFaces[f], i, internalFormat, width, height, 0, image, face);
                } else {
                    glTexImage2D(GLCubeFaces[f], i, ifmt, width, height, 0, glFormat, type, face);
                }
            }
            break;
        default:
            if (compressed) {
                glCompressedTexImage2D(target, i, internalFormat, width, height, 0, image, data);
            } else {
                glTexImage2D(target, i, ifmt, width, height, 0, glFormat, type, data);
            }
            break;
        }
        ++levels;
    }
    if (target == GL_TEXTURE_RECTANGLE) {
        textureMatrix.data[0] = static_cast<float>(format->getWidth());
        textureMatrix.data[5] = static_cast<float>(format->getHeight());
        textureMatrix.data[10] = static_cast<float>(format->getDepth());
        ++matrixRevision;
    }
    if (mipDatas != nullptr) {
        generateMipLevels();
    }
    if (handle == 0) {
        core::Error::unknown(core::String(), true, "error in createContext");
    }
    return true;
}

bool GLTexture::generateMipLevels()
{
    if (handle == 0 || !generateMipmapsLater) {
        return false;
    }
    if (capsOf(device).textureAutogenMipMaps) {
        ScopedBind bind(target, handle);
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        // Its filters are not what a device last set on it any more.
        ++revision;
        glGenerateMipmap(target);
        return true;
    }
    core::Log::getInstance()->addLogEntry(category(), core::Logger::WARNING, "GLTexture::generateMipMaps: Not implemented");
    return false;
}

core::IntrusivePointer<PixelBuffer> GLTexture::getMipPixelBuffer(int level, int cubeSide)
{
    if (handle == 0 || level < 0 || cubeSide < 0 || cubeSide > 5) {
        return nullptr;
    }
    const int index = target == GL_TEXTURE_CUBE_MAP ? level * 6 + cubeSide : level;
    while (mipPixelBuffers.size() <= index) {
        mipPixelBuffers.add(core::IntrusivePointer<PixelBuffer>());
    }
    if (!mipPixelBuffers[index]) {
        mipPixelBuffers[index] = new GLTextureMipPixelBuffer(this, level, target == GL_TEXTURE_CUBE_MAP ? cubeSide : 0);
    }
    return mipPixelBuffers[index];
}

bool GLTexture::load(TextureFormat* box, unsigned char* data)
{
    if (device != nullptr) {
        device->activate();
    }
    if (handle == 0 || box == nullptr) {
        return false;
    }
    if (data == nullptr) {
        // Only from a bound pixel buffer object, one block for one target.
        GLint unpack = 0;
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpack);
        if (unpack == 0 || target == GL_TEXTURE_CUBE_MAP) {
            return false;
        }
    }
    const int level = box->mipMin;
    if (level < 0 || level >= levels || !describesBytes(*box)) {
        return false;
    }
    // The box must lie within the level.
    const TextureFormat whole(format.get(), level);
    const int depthLimit = target == GL_TEXTURE_CUBE_MAP ? box->zMax : whole.zMax;
    if (box->xMin < 0 || box->yMin < 0 || box->zMin < 0 || box->xMax > whole.xMax || box->yMax > whole.yMax ||
        box->zMax > depthLimit || box->getWidth() <= 0 || box->getHeight() <= 0) {
        return false;
    }
    ScopedBind bind(target, handle);
    glPixelStorei(GL_UNPACK_ALIGNMENT, getAlignment(box->xPitch));
    const bool compressed = GLRenderDevice::getGLTextureCompressed(box->pixelFormat);
    const GLenum glFormat = compressed ? GLRenderDevice::getGLFormat(box->pixelFormat, true)
                                       : transferFormat(box->pixelFormat);
    const GLenum type = compressed ? 0 : GLRenderDevice::getGLType(box->pixelFormat);
    const GLint x = box->xMin;
    const GLint y = box->yMin;
    const GLint z = box->zMin;
    const GLsizei w = box->getWidth();
    const GLsizei h = box->getHeight();
    const GLsizei d = box->getDepth();
    switch (target) {
    case GL_TEXTURE_1D:
        if (compressed) {
            glCompressedTexSubImage1D(target, level, x, w, glFormat, box->yPitch, data);
        } else {
            glTexSubImage1D(target, level, x, w, glFormat, type, data);
        }
        break;
    case GL_TEXTURE_3D:
        if (compressed) {
            glCompressedTexSubImage3D(target, level, x, y, z, w, h, d, glFormat, box->zPitch, data);
        } else {
            glTexSubImage3D(target, level, x, y, z, w, h, d, glFormat, type, data);
        }
        break;
    case GL_TEXTURE_CUBE_MAP:
        for (int f = 0; f < 6; ++f) {
            const unsigned char* face = data + f * box->yPitch;
            if (compressed) {
                glCompressedTexSubImage2D(GLCubeFaces[f], level, x, y, w, h, glFormat, box->yPitch, face);
            } else {
                glTexSubImage2D(GLCubeFaces[f], level, x, y, w, h, glFormat, type, face);
            }
        }
        break;
    default:
        if (compressed) {
            glCompressedTexSubImage2D(target, level, x, y, w, h, glFormat, box->yPitch, data);
        } else {
            glTexSubImage2D(target, level, x, y, w, h, glFormat, type, data);
        }
        break;
    }
    generateMipLevels();
    return true;
}

bool GLTexture::read(TextureFormat* box, unsigned char* data)
{
    if (device != nullptr) {
        device->activate();
    }
    if (handle == 0 || box == nullptr || data == nullptr) {
        return false;
    }
    if (box->xMin != 0 || box->yMin != 0 || box->zMin != 0) {
        core::Error::invalidParameters(category(), true, "can not read sub sections");
    }
    return readLevel(*box, -1, data);
}

bool GLTexture::readLevel(const TextureFormat& box, int face, unsigned char* data)
{
    const int level = box.mipMin;
    if (handle == 0 || level < 0 || level >= levels || !describesBytes(box)) {
        return false;
    }
    // OpenGL writes the whole level: the caller's box must be exactly that big.
    const TextureFormat whole(format.get(), level);
    if (box.getWidth() != whole.getWidth() || box.getHeight() != whole.getHeight() ||
        (target != GL_TEXTURE_CUBE_MAP && box.getDepth() != whole.getDepth())) {
        return false;
    }
    // A compressed level comes back whole, in its own format: whole blocks, never fewer bytes
    // than OpenGL writes.
    const bool compressed = GLRenderDevice::getGLTextureCompressed(box.pixelFormat);
    if ((compressed || GLRenderDevice::getGLTextureCompressed(format->pixelFormat)) &&
        (box.pixelFormat != format->pixelFormat ||
         box.yPitch < compressedImageSize(box.pixelFormat, whole.getWidth(), whole.getHeight()))) {
        return false;
    }
    ScopedBind bind(target, handle);
    glPixelStorei(GL_PACK_ALIGNMENT, getAlignment(box.xPitch));
    const GLenum glFormat = transferFormat(box.pixelFormat);
    const GLenum type = GLRenderDevice::getGLType(box.pixelFormat);
    auto readOne = [&](GLenum where, unsigned char* into) {
        if (compressed) {
            glGetCompressedTexImage(where, level, into);
        } else {
            glGetTexImage(where, level, glFormat, type, into);
        }
    };
    if (target == GL_TEXTURE_CUBE_MAP) {
        for (int f = 0; f < 6; ++f) {
            if (face == -1 || face == f) {
                readOne(GLCubeFaces[f], data == nullptr && face == -1 ? nullptr : data);
                if (face == -1 && data != nullptr) {
                    data += box.yPitch;
                }
            }
        }
    } else {
        readOne(target, data);
    }
    return true;
}

bool GLTexture::writeLevel(const TextureFormat& box, int face, const unsigned char* data)
{
    const int level = box.mipMin;
    if (handle == 0 || level < 0 || level >= levels || !describesBytes(box)) {
        return false;
    }
    const TextureFormat whole(format.get(), level);
    if (box.getWidth() != whole.getWidth() || box.getHeight() != whole.getHeight()) {
        return false;
    }
    if (face < 0 || target != GL_TEXTURE_CUBE_MAP) {
        TextureFormat copy(&box, -1);
        return load(&copy, const_cast<unsigned char*>(data));
    }
    ScopedBind bind(target, handle);
    glPixelStorei(GL_UNPACK_ALIGNMENT, getAlignment(box.xPitch));
    const bool compressed = GLRenderDevice::getGLTextureCompressed(box.pixelFormat);
    if (compressed) {
        glCompressedTexSubImage2D(GLCubeFaces[face], level, 0, 0, box.getWidth(), box.getHeight(),
                                  GLRenderDevice::getGLFormat(box.pixelFormat, true), box.yPitch, data);
    } else {
        glTexSubImage2D(GLCubeFaces[face], level, 0, 0, box.getWidth(), box.getHeight(),
                        transferFormat(box.pixelFormat), GLRenderDevice::getGLType(box.pixelFormat),
                        data);
    }
    generateMipLevels();
    return true;
}

} // namespace rezezaz::render

#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/math/Matrix4x4.h"
#include "render/BaseRenderResource.h"
#include "render/Texture.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLRenderDevice;

// An OpenGL texture object made from a texture format and optional per-level pixels: 1D, 2D,
// rectangle, 3D or cube map. Hands out one pixel buffer per level (and cube face) through which a
// single level is written or read.
class GLTexture final : public BaseRenderResource<Texture>
{
public:
    // Usage bits beyond the buffer usages.
    enum
    {
        Usage_RECTANGLE = 0x10,
    };

    // The faces of a cube map in the order of their data.
    static const unsigned int GLCubeFaces[6];

    explicit GLTexture(GLRenderDevice* device);
    ~GLTexture() override;

    // Destroys the level buffers, deletes the texture object, empties the level cache, then tells
    // the listener.
    void destroy() override;
    bool destroyContext();

    Texture* getRootTexture() override { return this; }
    // Throws Error::unknown for a non-power-of-two size the device cannot draw; false for a pixel
    // format OpenGL has no mapping for.
    bool create(int usage, core::IntrusivePointer<TextureFormat> format, unsigned char** mipDatas) override;
    bool createContext(int mipLevels, unsigned char** mipDatas);
    void resetCreate() override {}
    void resetDestroy() override {}
    int getUsage() const override { return usage; }
    TextureFormat* getFormat() const override { return format.get(); }
    // Null without a texture object; the same buffer for the same level and side every time.
    core::IntrusivePointer<PixelBuffer> getMipPixelBuffer(int level, int cubeSide) override;
    // Writes the box the format describes at its level (all six faces of a cube map).
    bool load(TextureFormat* format, unsigned char* data) override;
    // Reads a whole level (all six faces of a cube map). Throws Error::invalidParameters for a box
    // that does not start at 0; false for a level or size the texture does not have.
    bool read(TextureFormat* format, unsigned char* data) override;
    // Builds the lower levels from level 0 when the texture asks for automatic mipmaps.
    bool generateMipLevels();

    // The target the format's dimension and the usage call for; throws Error::unknown for a
    // dimension outside 1-4.
    unsigned int getGLTarget() const;
    unsigned int getHandle() const { return handle; }
    // Counts the OpenGL textures made for this one, so that a device can tell a texture made
    // again (whose parameters start afresh, perhaps under the same name) from the one it set up.
    uint32_t getRevision() const { return revision; }
    unsigned int getTarget() const { return target; }
    // Number of levels made.
    int getNumLevels() const { return levels; }
    const core::math::Matrix4x4& getTextureMatrix() const { return textureMatrix; }
    void setTextureMatrix(const core::math::Matrix4x4& matrix)
    {
        textureMatrix = matrix;
        ++matrixRevision;
    }
    // Counts the changes of the texture matrix, so that a device can tell it from the one it applied.
    uint32_t getMatrixRevision() const { return matrixRevision; }

    // True when a texture of that format and usage may be made on a device with full
    // non-power-of-two support (full) or rectangle textures only (rectangle).
    static bool sizeSupported(const TextureFormat& format, int usage, bool full, bool rectangle);
    // The largest power of two that divides pitch, at most 8 (1 for a pitch of 0).
    static int getAlignment(int pitch);

    // One face (or all of them, face -1) of a whole level from or into data, or from or into the
    // bound pixel buffer object when data is null. format names the level by its mipMin and must
    // have the level's size.
    bool writeLevel(const TextureFormat& format, int face, const unsigned char* data);
    bool readLevel(const TextureFormat& format, int face, unsigned char* data);

private:
    GLDeviceRef device;
    int usage = 0;
    core::IntrusivePointer<TextureFormat> format;
    uint32_t handle = 0;
    uint32_t revision = 0;
    uint32_t matrixRevision = 0;
    unsigned int target = 0;
    int levels = 0;
    core::math::Matrix4x4 textureMatrix;
    bool generateMipmapsLater = false;
    core::Collection<core::IntrusivePointer<PixelBuffer>> mipPixelBuffers;
};

} // namespace rezezaz::render

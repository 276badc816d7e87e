// DDS levels on an OpenGL texture: OpenGL takes each level as the file holds it, and decodes level 0
// to what the DXT tools decode (nvdecompress, within 1 per channel; 2 for DXT5's alpha).
#include "support/gl/GLDeviceFixture.h"

#include "ImageOracles.h"
#include "content/DDSCodec.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "render/gl/GLTexture.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::render::GLTexture;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::DecodedImage;

const std::string DATA = std::string(PELOTUNE_TEST_DATA) + "/../data/";

using DDSGLTest = gltest::GLDeviceFixture;

TEST_F(DDSGLTest, LevelsReachOpenGLAsTheFileHoldsThem)
{
    struct Case
    {
        const char* name;
        // DXT5's interpolated alpha rounds differently in the two decoders.
        int tolerance;
    };
    for (const Case& c : {Case{"bc1-6x6", 1}, Case{"bc1-36x36", 1}, Case{"bc1-top", 1}, Case{"bc2-20x12", 1},
                          Case{"bc3-36x36", 2}}) {
        const std::string name = c.name;
        SCOPED_TRACE(name);
        const auto file = contenttest::readFile(DATA + name + ".dds");
        ASSERT_FALSE(file.empty());
        DecodedImage image = rezezaz::scene::DDSCodec::read(contenttest::memoryStream(file).get());
        ASSERT_TRUE(image.format);
        std::vector<unsigned char*> levels = image.levelPointers();
        IntrusivePointer<Texture> texture = device->createTexture();
        ASSERT_TRUE(texture->create(1, image.format, levels.data()));
        glBindTexture(GL_TEXTURE_2D, static_cast<GLTexture*>(texture.get())->getHandle());
        for (size_t i = 0; i < image.levels.size(); ++i) {
            GLint bytes = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(i), GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &bytes);
            ASSERT_EQ(bytes, static_cast<GLint>(image.levels[i].size())) << "level " << i;
            std::vector<unsigned char> stored(image.levels[i].size());
            glGetCompressedTexImage(GL_TEXTURE_2D, static_cast<GLint>(i), stored.data());
            EXPECT_EQ(stored, image.levels[i]) << "level " << i;
        }

        // Level 0 decoded by Mesa beside nvdecompress's decoding. The file's first row is the
        // image's top and stays OpenGL's row 0; the oracle's rows come bottom first.
        contenttest::OracleImage oracle;
        ASSERT_TRUE(contenttest::readPlainTGA(contenttest::readFile(DATA + name + ".level0.tga"), oracle));
        const int width = image.format->getWidth();
        const int height = image.format->getHeight();
        ASSERT_EQ(oracle.width, width);
        ASSERT_EQ(oracle.height, height);
        std::vector<unsigned char> decoded(size_t(width) * height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, decoded.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        int worst = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 4; ++x) {
                const int ours = decoded[size_t(y) * width * 4 + x];
                const int theirs = oracle.pixels[size_t(height - 1 - y) * width * 4 + x];
                worst = std::max(worst, std::abs(ours - theirs));
            }
        }
        EXPECT_LE(worst, c.tolerance);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

} // namespace

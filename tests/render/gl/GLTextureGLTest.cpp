// OpenGL textures: 2D, rectangle, cube and DXT1 textures drawn and read back, the sizes and levels
// they are made with, their level buffers, texture-coordinate generation and the texture matrix.
#include "support/gl/GLDrawFixture.h"

#include "render/RenderCaps.h"
#include "render/SamplerState.h"
#include "render/TextureState.h"
#include "render/gl/GLTexture.h"
#include "render/gl/GLTextureMipPixelBuffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

using gltest::thrownText;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Matrix4x4;
using namespace rezezaz::render;

namespace {

constexpr int POSITION = VertexFormat::Semantic_POSITION;
constexpr int TEXCOORD = VertexFormat::Semantic_TEXCOORD;

class GLTextureTest : public gltest::GLDrawFixture
{
protected:
    IntrusivePointer<Texture> makeTexture(int usage, const TextureFormat& format, std::vector<unsigned char*> levels)
    {
        IntrusivePointer<Texture> texture = device->createTexture();
        IntrusivePointer<TextureFormat> copy = new TextureFormat(&format, -1);
        EXPECT_TRUE(texture->create(usage, copy, levels.empty() ? nullptr : levels.data()));
        return texture;
    }

    static GLint parameter(GLTexture* texture, GLenum name)
    {
        GLint value = -100;
        glBindTexture(texture->getTarget(), texture->getHandle());
        glGetTexParameteriv(texture->getTarget(), name, &value);
        glBindTexture(texture->getTarget(), 0);
        return value;
    }

    // Draws a full-screen quad with the texture on unit 0, its coordinates given per corner
    // (texCoordSize floats each; none when 0: the texture state's generation supplies them).
    void drawTextured(Texture* texture, const std::vector<float>& texCoords, int texCoordSize,
                      const TextureState* textureState = nullptr)
    {
        auto format = texCoordSize > 0
                          ? makeFormat({{POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3)},
                                        {TEXCOORD, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, texCoordSize)}})
                          : makeFormat({{POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3)}});
        std::vector<float> vertices;
        const gltest::Quad quad{-1, -1, 1, 1};
        for (int i = 0; i < 4; ++i) {
            float corner[3];
            quad.corner(i, corner);
            vertices.insert(vertices.end(), corner, corner + 3);
            for (int c = 0; c < texCoordSize; ++c) {
                vertices.push_back(texCoords[static_cast<size_t>(i * texCoordSize + c)]);
            }
        }
        auto buffer = makeVertices(format, vertices.data(), 4);
        IntrusivePointer<RenderState> state = device->createRenderState();
        MaterialState material;
        state->setMaterialState(material);
        if (textureState != nullptr) {
            state->setTextureState(Shader::ShaderType_FRAGMENT, 0, *textureState);
        }
        device->setRenderState(state.get());
        states.push_back(state);
        device->setTexture(Shader::ShaderType_FRAGMENT, 0, texture);
        IntrusivePointer<VertexData> vertexData = new VertexData(buffer);
        IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4);
        device->renderPrimitive(vertexData.get(), fan.get());
    }
};

// A 2x2 RGBA image: red, green on the bottom row, blue, white on the top row (OpenGL's rows run
// bottom up).
std::vector<unsigned char> fourColours()
{
    return {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
}

const std::vector<float> unitCorners = {0, 0, 1, 0, 1, 1, 0, 1};

TEST_F(GLTextureTest, TwoDimensionalQuadShowsEachTexel)
{
    auto pixels = fourColours();
    auto texture = makeTexture(1, TextureFormat(2, TextureFormat::Format_RGBA_8, 2, 2, 1, 1), {pixels.data()});
    auto* glTexture = static_cast<GLTexture*>(texture.get());
    EXPECT_EQ(glTexture->getTarget(), unsigned(GL_TEXTURE_2D));
    drawTextured(texture.get(), unitCorners, 2);
    EXPECT_EQ(pixel(80, 180), 0xFF0000u);
    EXPECT_EQ(pixel(240, 180), 0x00FF00u);
    EXPECT_EQ(pixel(80, 60), 0x0000FFu);
    EXPECT_EQ(pixel(240, 60), 0xFFFFFFu);

    // Read back whole; a box that does not start at 0 is refused loudly, one of another size or
    // level quietly.
    std::vector<unsigned char> read(16);
    TextureFormat whole(2, TextureFormat::Format_RGBA_8, 2, 2, 1, 1);
    ASSERT_TRUE(texture->read(&whole, read.data()));
    EXPECT_EQ(read, pixels);
    TextureFormat offset(&whole, -1);
    offset.xMin = 1;
    EXPECT_EQ(thrownText([&] { texture->read(&offset, read.data()); }), "can not read sub sections");
    TextureFormat bigger(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 1);
    std::vector<unsigned char> big(64);
    EXPECT_FALSE(texture->read(&bigger, big.data()));
    TextureFormat smaller(2, TextureFormat::Format_RGBA_8, 1, 1, 1, 1);
    EXPECT_FALSE(texture->read(&smaller, read.data()));
    TextureFormat level3(&whole, 3);
    EXPECT_FALSE(texture->read(&level3, read.data()));

    // A region written through load.
    unsigned char yellow[4] = {255, 255, 0, 255};
    TextureFormat texel(2, TextureFormat::Format_RGBA_8, 1, 1, 1, 1);
    texel.xMin = 1;
    texel.xMax = 2;
    ASSERT_TRUE(texture->load(&texel, yellow));
    ASSERT_TRUE(texture->read(&whole, read.data()));
    EXPECT_EQ(std::memcmp(read.data() + 4, yellow, 4), 0);
    TextureFormat outside(2, TextureFormat::Format_RGBA_8, 3, 3, 1, 1);
    EXPECT_FALSE(texture->load(&outside, big.data()));
}

TEST_F(GLTextureTest, RectangleTextureScalesItsCoordinatesToTexels)
{
    // 3x2 texels: the left column red, the rest green.
    std::vector<unsigned char> pixels;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const unsigned char texel[3] = {static_cast<unsigned char>(x == 0 ? 255 : 0),
                                            static_cast<unsigned char>(x == 0 ? 0 : 255), 0};
            pixels.insert(pixels.end(), texel, texel + 3);
        }
    }
    auto texture = makeTexture(1 | GLTexture::Usage_RECTANGLE, TextureFormat(2, TextureFormat::Format_RGB_8, 3, 2, 1, 1),
                               {pixels.data()});
    auto* glTexture = static_cast<GLTexture*>(texture.get());
    EXPECT_EQ(glTexture->getTarget(), unsigned(GL_TEXTURE_RECTANGLE));
    const Matrix4x4& m = glTexture->getTextureMatrix();
    EXPECT_EQ(m.at(0, 0), 3.0f);
    EXPECT_EQ(m.at(1, 1), 2.0f);
    EXPECT_EQ(m.at(2, 2), 1.0f);
    // Normalised coordinates reach the texels through the texture matrix, with a texture state or
    // without one.
    const TextureState plain;
    for (const TextureState* state : {static_cast<const TextureState*>(nullptr), &plain}) {
        SCOPED_TRACE(state != nullptr ? "with a state" : "without a state");
        device->setDefaultState();
        drawTextured(texture.get(), unitCorners, 2, state);
        EXPECT_EQ(pixel(20, 120), 0xFF0000u);
        EXPECT_EQ(pixel(300, 120), 0x00FF00u);
    }
}

TEST_F(GLTextureTest, UnitWithoutAStateDropsTheMatrixAnEarlierStateLoaded)
{
    auto pixels = fourColours();
    auto texture = makeTexture(1, TextureFormat(2, TextureFormat::Format_RGBA_8, 2, 2, 1, 1), {pixels.data()});
    // Half the coordinates: the bottom left texel fills the screen.
    TextureState halved;
    halved.calculation = TextureState::CalculationType_NORMAL;
    halved.matrix.at(0, 0) = 0.5f;
    halved.matrix.at(1, 1) = 0.5f;
    drawTextured(texture.get(), unitCorners, 2, &halved);
    ASSERT_EQ(pixel(240, 60), 0xFF0000u);

    device->setDefaultState();
    drawTextured(texture.get(), unitCorners, 2);
    EXPECT_EQ(pixel(80, 180), 0xFF0000u);
    EXPECT_EQ(pixel(240, 180), 0x00FF00u);
    EXPECT_EQ(pixel(80, 60), 0x0000FFu);
    EXPECT_EQ(pixel(240, 60), 0xFFFFFFu);
}

TEST_F(GLTextureTest, CubeMapFacesAndTheirLevelBuffers)
{
    // Six faces of 2x2, face f in grey level 40 * (f + 1); two levels.
    TextureFormat format(TextureFormat::Dimension_CUBE, TextureFormat::Format_RGBA_8, 2, 2, 1, 2);
    std::vector<unsigned char> level0;
    std::vector<unsigned char> level1;
    for (int f = 0; f < 6; ++f) {
        const auto grey = static_cast<unsigned char>(40 * (f + 1));
        for (int i = 0; i < 4; ++i) {
            level0.insert(level0.end(), {grey, grey, grey, 255});
        }
        level1.insert(level1.end(), {grey, grey, grey, 255});
    }
    auto texture = makeTexture(1, format, {level0.data(), level1.data()});
    auto* glTexture = static_cast<GLTexture*>(texture.get());
    EXPECT_EQ(glTexture->getTarget(), unsigned(GL_TEXTURE_CUBE_MAP));
    EXPECT_EQ(glTexture->getNumLevels(), 2);

    // Pointing at +X, -Y and +Z.
    struct Case
    {
        float direction[3];
        uint32_t grey;
    } cases[] = {{{1, 0, 0}, 40}, {{0, -1, 0}, 160}, {{0, 0, 1}, 200}};
    for (const Case& c : cases) {
        clear();
        std::vector<float> coords;
        for (int i = 0; i < 4; ++i) {
            coords.insert(coords.end(), c.direction, c.direction + 3);
        }
        drawTextured(texture.get(), coords, 3);
        EXPECT_EQ(pixel(160, 120), c.grey * 0x010101u) << c.grey;
    }

    // Level 1, face 3 (-Y): cached at 9, the same object each time.
    IntrusivePointer<PixelBuffer> buffer = texture->getMipPixelBuffer(1, 3);
    ASSERT_TRUE(buffer);
    GLTextureMipPixelBuffer* level = buffer->castToGLTextureMipPixelBuffer();
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->getTarget(), 0x8518u);
    EXPECT_EQ(level->getHandle(), glTexture->getHandle());
    EXPECT_EQ(texture->getMipPixelBuffer(1, 3).get(), buffer.get());
    EXPECT_NE(texture->getMipPixelBuffer(0, 3).get(), buffer.get());
    EXPECT_EQ(buffer->getDataSize(), 4);
    EXPECT_EQ(buffer->getSize(), 1);
    EXPECT_EQ(buffer->lock(2), nullptr);
    EXPECT_FALSE(buffer->unlock());

    // A whole-level write of one face changes that face only; any other range is refused.
    unsigned char red[4] = {255, 0, 0, 255};
    EXPECT_FALSE(buffer->update(red, 1, 3));
    EXPECT_FALSE(buffer->update(red, 0, 3));
    ASSERT_TRUE(buffer->update(red, 0, 4));
    std::vector<unsigned char> read(24);
    TextureFormat one(&format, 1);
    ASSERT_TRUE(texture->read(&one, read.data()));
    for (int f = 0; f < 6; ++f) {
        const unsigned char grey = static_cast<unsigned char>(40 * (f + 1));
        const unsigned char expected[4] = {f == 3 ? red[0] : grey, f == 3 ? red[1] : grey, f == 3 ? red[2] : grey, 255};
        EXPECT_EQ(std::memcmp(read.data() + 4 * f, expected, 4), 0) << "face " << f;
    }

    // Destroying the texture leaves its level buffers without a texture object.
    texture->destroy();
    EXPECT_EQ(level->getHandle(), 0u);
    EXPECT_FALSE(texture->getMipPixelBuffer(0, 0));
}

TEST_F(GLTextureTest, Dxt1BlockDecodesToItsColour)
{
    // One 4x4 block: colour 0 pure red (5:6:5), colour 1 black, every index 0.
    unsigned char block[8] = {0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};
    TextureFormat format(2, TextureFormat::Format_RGB_DXT1, 4, 4, 1, 1);
    EXPECT_EQ(format.yPitch, 8);
    auto texture = makeTexture(1, format, {block});
    drawTextured(texture.get(), unitCorners, 2);
    EXPECT_EQ(pixel(160, 120), 0xFF0000u);
    std::vector<unsigned char> read(8);
    ASSERT_TRUE(texture->read(&format, read.data()));
    EXPECT_EQ(std::memcmp(read.data(), block, 8), 0);
}

TEST_F(GLTextureTest, CompressedLevelsBelowABlockAreAllMade)
{
    // 8x8 down to 2x2 in DXT1 and DXT5: the last level is smaller than one 4x4 block, yet OpenGL
    // needs a whole block for it. With the levels' data as their formats size it, and without data.
    for (int pixelFormat : {TextureFormat::Format_RGB_DXT1, TextureFormat::Format_RGBA_DXT5}) {
        for (bool withData : {true, false}) {
            SCOPED_TRACE(::testing::Message() << std::hex << pixelFormat << (withData ? " with data" : ""));
            TextureFormat format(2, pixelFormat, 8, 8, 1, 3);
            std::vector<std::vector<unsigned char>> levels;
            std::vector<unsigned char*> pointers;
            for (int i = 0; i < 3 && withData; ++i) {
                TextureFormat level(&format, i);
                levels.emplace_back(static_cast<size_t>(level.yPitch), 0);
                pointers.push_back(levels.back().data());
            }
            auto texture = makeTexture(1, format, pointers);
            auto* glTexture = static_cast<GLTexture*>(texture.get());
            EXPECT_EQ(glTexture->getNumLevels(), 3);
            glBindTexture(GL_TEXTURE_2D, glTexture->getHandle());
            for (int i = 0; i < 3; ++i) {
                GLint levelWidth = 0;
                glGetTexLevelParameteriv(GL_TEXTURE_2D, i, GL_TEXTURE_WIDTH, &levelWidth);
                EXPECT_EQ(levelWidth, 8 >> i) << "level " << i;
            }
            glBindTexture(GL_TEXTURE_2D, 0);
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
    }
}

TEST_F(GLTextureTest, CompressedChainsKeepTheirSmallestLevels)
{
    // A 64x64 chain down to 1x1, each level's blocks filled with a byte pattern of its own: every
    // level, the 2x2 and 1x1 ones too, reads back as given, into exactly its format's bytes.
    for (int pixelFormat : {TextureFormat::Format_RGB_DXT1, TextureFormat::Format_RGBA_DXT5}) {
        SCOPED_TRACE(::testing::Message() << std::hex << pixelFormat);
        const size_t block = pixelFormat == TextureFormat::Format_RGB_DXT1 ? 8 : 16;
        TextureFormat format(2, pixelFormat, 64, 64, 1, 7);
        std::vector<std::vector<unsigned char>> levels;
        std::vector<unsigned char*> pointers;
        for (int i = 0; i < 7; ++i) {
            TextureFormat level(&format, i);
            const size_t blocks = size_t(std::max(1, (level.getWidth() + 3) / 4)) * std::max(1, (level.getHeight() + 3) / 4);
            ASSERT_EQ(size_t(level.zPitch), blocks * block) << "level " << i;
            levels.emplace_back(static_cast<size_t>(level.zPitch));
            for (size_t b = 0; b < levels.back().size(); ++b) {
                levels.back()[b] = static_cast<unsigned char>(b * 13 + i * 41 + 1);
            }
            pointers.push_back(levels.back().data());
        }
        auto texture = makeTexture(1, format, pointers);
        for (int i = 0; i < 7; ++i) {
            TextureFormat level(&format, i);
            std::vector<unsigned char> read(static_cast<size_t>(level.zPitch));
            ASSERT_TRUE(texture->read(&level, read.data())) << "level " << i;
            EXPECT_EQ(read, levels[static_cast<size_t>(i)]) << "level " << i;
        }
        // A box with fewer bytes than the level's blocks is refused, not overrun.
        TextureFormat short2x2(&format, 5);
        short2x2.yPitch = short2x2.zPitch = 2;
        std::vector<unsigned char> two(2);
        EXPECT_FALSE(texture->read(&short2x2, two.data()));
    }
}

TEST_F(GLTextureTest, TexturesOpenGLWouldRefuseAreRefused)
{
    // Too large for the device, or a pixel code OpenGL has no type for: false, and no error left.
    RenderCaps caps;
    device->getRenderCaps(caps);
    struct Case
    {
        int pixelFormat, width, height;
    } cases[] = {{TextureFormat::Format_RGBA_8, caps.maxTextureSize * 2, 1},
                 {TextureFormat::Format_RGBA_8, 1, caps.maxTextureSize * 2},
                 {0x1F08, 4, 4},
                 {0x506, 4, 4},
                 {0xE06, 4, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.pixelFormat << std::dec << " " << c.width << "x" << c.height);
        IntrusivePointer<Texture> texture = device->createTexture();
        EXPECT_FALSE(texture->create(1, new TextureFormat(2, c.pixelFormat, c.width, c.height, 1, 1), nullptr));
        EXPECT_EQ(gltest::takeGLError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(GLTextureTest, NonPowerOfTwoSizesNeedTheDeviceOrARectangle)
{
    struct Case
    {
        int dimension;
        int width, height, depth;
        int usage;
        bool full, rectangle;
        bool accepted;
    } cases[] = {
        {2, 64, 64, 1, 1, false, false, true},
        {2, 100, 64, 1, 1, false, false, false},
        {2, 100, 64, 1, 1, true, false, true},
        {2, 100, 64, 1, 1, false, true, false},
        {2, 100, 64, 1, 1 | 0x10, false, true, true},
        {3, 64, 64, 6, 1, false, false, false},
        // A cube map's depth counts no size.
        {4, 64, 64, 6, 1, false, false, true},
        {4, 64, 48, 6, 1, false, false, false},
    };
    for (const Case& c : cases) {
        TextureFormat format(c.dimension, TextureFormat::Format_RGBA_8, c.width, c.height, c.depth, 1);
        EXPECT_EQ(GLTexture::sizeSupported(format, c.usage, c.full, c.rectangle), c.accepted)
            << c.dimension << ": " << c.width << "x" << c.height << "x" << c.depth << " usage " << c.usage;
    }
    // Mesa draws any size: a 100x64 texture is a plain 2D one unless it asks for a rectangle.
    auto plain = makeTexture(1, TextureFormat(2, TextureFormat::Format_RGBA_8, 100, 64, 1, 1), {});
    EXPECT_EQ(static_cast<GLTexture*>(plain.get())->getTarget(), unsigned(GL_TEXTURE_2D));
    IntrusivePointer<Texture> bad = device->createTexture();
    EXPECT_EQ(thrownText([&] { bad->create(1, new TextureFormat(7, TextureFormat::Format_RGBA_8, 4, 4, 1, 1), nullptr); }),
              "GLTexture::getGLTarget: Invalid target");
}

TEST_F(GLTextureTest, MaxLevelAndUnpackAlignment)
{
    struct Case
    {
        int width, height, mipMax;
        bool data;
        int maxLevel;
        int levels;
    } cases[] = {
        {256, 256, 0, false, 7, 8},
        {256, 256, 1, true, 0, 1},
        {256, 64, 3, false, 2, 3},
        // A 1x1 texture has no level to halve: the maximum level stays 0, not -1.
        {1, 1, 0, false, 0, 1},
        {1, 1, 0, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " mip " << c.mipMax);
        std::vector<unsigned char> pixels(static_cast<size_t>(c.width) * c.height * 4, 0x80);
        auto texture = makeTexture(1, TextureFormat(2, TextureFormat::Format_RGBA_8, c.width, c.height, 1, c.mipMax),
                                   c.data ? std::vector<unsigned char*>{pixels.data()} : std::vector<unsigned char*>{});
        auto* glTexture = static_cast<GLTexture*>(texture.get());
        EXPECT_EQ(parameter(glTexture, GL_TEXTURE_MAX_LEVEL), c.maxLevel);
        EXPECT_EQ(parameter(glTexture, GL_TEXTURE_BASE_LEVEL), 0);
        EXPECT_EQ(glTexture->getNumLevels(), c.levels);
        // Complete: sampling a 1x1 texture gives its texel, not black.
        if (c.data && c.width == 1) {
            drawTextured(texture.get(), unitCorners, 2);
            EXPECT_EQ(pixel(160, 120), 0x808080u);
        }
    }

    struct Alignment
    {
        int pitch;
        int alignment;
    } alignments[] = {{15, 1}, {64, 8}, {6, 2}, {12, 4}, {24, 8}, {0, 1}};
    for (const Alignment& a : alignments) {
        EXPECT_EQ(GLTexture::getAlignment(a.pitch), a.alignment) << a.pitch;
    }
    // RGB rows of 5 texels (15 bytes) arrive unpadded.
    std::vector<unsigned char> rgb(15 * 4);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i);
    }
    IntrusivePointer<Texture> texture = device->createTexture();
    ASSERT_TRUE(texture->create(1, new TextureFormat(2, TextureFormat::Format_RGB_8, 5, 4, 1, 1),
                                std::vector<unsigned char*>{rgb.data()}.data()));
    EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 1);
    std::vector<unsigned char> read(rgb.size());
    TextureFormat whole(2, TextureFormat::Format_RGB_8, 5, 4, 1, 1);
    ASSERT_TRUE(texture->read(&whole, read.data()));
    EXPECT_EQ(read, rgb);
}

TEST_F(GLTextureTest, AutomaticMipmapsFillTheLowerLevels)
{
    std::vector<unsigned char> pixels(4 * 4 * 4, 200);
    auto texture = makeTexture(1 | Texture::Usage_AUTOGEN_MIPMAP, TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 0),
                               {pixels.data()});
    std::vector<unsigned char> read(4, 0);
    TextureFormat base(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 0);
    // 4 halves twice down to 1, so the levels end at 1 (2x2): there is no level 2 to read.
    TextureFormat level2(&base, 2);
    EXPECT_FALSE(texture->read(&level2, read.data()));
    TextureFormat level1(&base, 1);
    std::vector<unsigned char> two(16, 0);
    ASSERT_TRUE(texture->read(&level1, two.data()));
    EXPECT_EQ(two, std::vector<unsigned char>(16, 200));
}

TEST_F(GLTextureTest, GenerationAndTheTextureMatrixPlaceTheImage)
{
    // 2x1: left texel red, right texel green.
    std::vector<unsigned char> pixels = {255, 0, 0, 255, 0, 255, 0, 255};
    auto texture = makeTexture(1, TextureFormat(2, TextureFormat::Format_RGBA_8, 2, 1, 1, 1), {pixels.data()});

    // Object-space generation: s = 0.5 x + 0.5, so the left half of the screen reads the red texel.
    TextureState generated;
    generated.calculation = TextureState::CalculationType_OBJECTSPACE;
    generated.matrix = Matrix4x4(0.5f, 0, 0, 0.5f, 0, 0, 0, 0.5f, 0, 0, 1, 0, 0, 0, 0, 1);
    drawTextured(texture.get(), {}, 0, &generated);
    EXPECT_EQ(pixel(60, 120), 0xFF0000u);
    EXPECT_EQ(pixel(260, 120), 0x00FF00u);

    // The texture matrix mirrors s: the left half now reads the green texel.
    clear();
    TextureState mirrored;
    mirrored.calculation = TextureState::CalculationType_NORMAL;
    mirrored.matrix = Matrix4x4(-1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    drawTextured(texture.get(), unitCorners, 2, &mirrored);
    EXPECT_EQ(pixel(60, 120), 0x00FF00u);
    EXPECT_EQ(pixel(260, 120), 0xFF0000u);
}

} // namespace

namespace {

TEST_F(GLTextureTest, MadeAgainItsLevelBuffersDescribeTheNewSize)
{
    IntrusivePointer<Texture> texture = device->createTexture();
    ASSERT_TRUE(texture->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 4, 4, 1, 1), nullptr));
    IntrusivePointer<PixelBuffer> small = texture->getMipPixelBuffer(0, 0);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->getDataSize(), 4 * 4 * 4);

    ASSERT_TRUE(texture->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 8, 8, 1, 1), nullptr));
    // The earlier level belongs to no texture now; the new one has the new size and takes a whole level.
    EXPECT_EQ(small->castToGLTextureMipPixelBuffer()->getHandle(), 0u);
    IntrusivePointer<PixelBuffer> large = texture->getMipPixelBuffer(0, 0);
    ASSERT_TRUE(large);
    EXPECT_NE(large.get(), small.get());
    EXPECT_EQ(large->getDataSize(), 8 * 8 * 4);
    EXPECT_EQ(large->getSize(), 64);
    std::vector<unsigned char> pixels(8 * 8 * 4, 0x7F);
    EXPECT_TRUE(large->update(pixels.data(), 0, large->getDataSize()));
    std::vector<unsigned char> small4(4 * 4 * 4, 0);
    EXPECT_FALSE(small->update(small4.data(), 0, small->getDataSize()));
    std::vector<unsigned char> read(8 * 8 * 4, 0);
    TextureFormat whole(2, TextureFormat::Format_RGBA_8, 8, 8, 1, 1);
    ASSERT_TRUE(texture->read(&whole, read.data()));
    EXPECT_EQ(read, pixels);

    // Made again in a format OpenGL cannot take: refused, and no level of the earlier one is left
    // to read or write.
    EXPECT_FALSE(texture->create(1, new TextureFormat(2, TextureFormat::Format_YUV_422, 8, 8, 1, 1), nullptr));
    EXPECT_EQ(static_cast<GLTexture*>(texture.get())->getNumLevels(), 0);
    EXPECT_FALSE(texture->read(&whole, read.data()));
    EXPECT_FALSE(texture->load(&whole, pixels.data()));
}

} // namespace

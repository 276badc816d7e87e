// The device draws: a lit, textured, shaded quad compared pixel by pixel; what it does not send
// again; draws it refuses; and the copies between the frame, texture levels and pixel buffers.
#include "support/gl/GLDrawFixture.h"

#include "render/LightState.h"
#include "render/gl/GLSLShaderState.h"
#include "render/gl/GLTexture.h"
#include "render/gl/GLTextureMipPixelBuffer.h"

#include <cstring>
#include <vector>

using gltest::Quad;
using gltest::thrownText;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using namespace rezezaz::render;

namespace {

constexpr int POSITION = VertexFormat::Semantic_POSITION;
constexpr int NORMAL = VertexFormat::Semantic_NORMAL;
constexpr int TEXCOORD = VertexFormat::Semantic_TEXCOORD;
constexpr int FLOAT2 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2);
constexpr int FLOAT3 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3);

class GLDrawTest : public gltest::GLDrawFixture
{
protected:
    IntrusivePointer<VertexData> positions(const Quad& q)
    {
        auto format = makeFormat({{POSITION, 0, FLOAT3}});
        float vertices[12];
        for (int i = 0; i < 4; ++i) {
            q.corner(i, vertices + 3 * i);
        }
        return new VertexData(makeVertices(format, vertices, 4));
    }

    IntrusivePointer<Texture> texture2D(int width, int height, std::vector<unsigned char> pixels)
    {
        IntrusivePointer<Texture> texture = device->createTexture();
        EXPECT_TRUE(texture->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, width, height, 1, 1),
                                    pixels.empty() ? nullptr : std::vector<unsigned char*>{pixels.data()}.data()));
        return texture;
    }

    static GLint arrayBinding()
    {
        GLint binding = 0;
        glGetIntegerv(GL_VERTEX_ARRAY_BUFFER_BINDING, &binding);
        return binding;
    }

    static void expectNear(uint32_t actual, uint32_t expected)
    {
        for (int shift : {16, 8, 0}) {
            EXPECT_NEAR(static_cast<int>((actual >> shift) & 0xFF), static_cast<int>((expected >> shift) & 0xFF), 2)
                << std::hex << actual << " against " << expected;
        }
    }

    IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4);
};

TEST_F(GLDrawTest, LitTexturedShadedQuad)
{
    // Left column white, right column grey 128, modulated by the lit colour.
    auto texture = texture2D(2, 2, {255, 255, 255, 255, 128, 128, 128, 255, 255, 255, 255, 255, 128, 128, 128, 255});
    // Normals: the bottom edge faces the light, the top edge is turned 60 degrees from it, so
    // Gouraud shading runs from full to half light upwards.
    auto format = makeFormat({{POSITION, 0, FLOAT3}, {NORMAL, 0, FLOAT3}, {TEXCOORD, 0, FLOAT2}});
    const float s = 0.8660254f;
    const float vertices[] = {-1, -1, 0, 0, 0, 1, 0, 0, 1, -1, 0, 0, 0, 1, 1, 0,
                              1,  1,  0, 0, s, 0.5f, 1, 1, -1, 1, 0, 0, s, 0.5f, 0, 1};
    IntrusivePointer<VertexData> quad = new VertexData(makeVertices(format, vertices, 4));

    MaterialState material;
    material.light = true;
    material.shade = MaterialState::ShadeType_GOURAUD;
    material.diffuse = Vector4(1, 1, 1, 1);
    setMaterial(material);
    LightState light;
    light.type = LightState::Type_DIRECTION;
    light.direction = Vector3(0, 0, -1);
    light.diffuseColor = Vector4(1.0f, 0.5f, 0.25f, 1);
    light.constantAttenuation = 1;
    device->setLightState(0, light);
    device->setLightEnabled(0, true);
    device->setAmbientColor(Vector4(0, 0, 0, 1));
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, texture.get());
    device->renderPrimitive(quad.get(), fan.get());

    // Lit colour times texel, at the bottom (full light) and near the top (about half).
    struct Case
    {
        int x, y;
        uint32_t expected;
    } cases[] = {
        {40, 239, 0xFF8040}, {280, 239, 0x804020},
        // Row 0 is 1/480 below the top edge: the light is half plus a sliver.
        {40, 0, 0x80401F}, {280, 0, 0x40200F},
        {40, 120, 0xBF5F2F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        expectNear(pixel(c.x, c.y), c.expected);
    }
    device->setLightEnabled(0, false);
    device->endScene();
}

TEST_F(GLDrawTest, UnchangedVertexDataTexturesAndProgramsAreNotSentAgain)
{
    auto first = positions({-1, -1, 1, 1});
    auto second = positions({-1, -1, 1, 1});
    const GLint firstBuffer = static_cast<GLint>(static_cast<GLBuffer*>(first->vertexBuffers[0].get())->getHandle());
    const GLint secondBuffer = static_cast<GLint>(static_cast<GLBuffer*>(second->vertexBuffers[0].get())->getHandle());
    ASSERT_NE(firstBuffer, 0);

    // Each step changes OpenGL behind the device's back, then asks the device again: a device that
    // sends again undoes the change.
    device->renderPrimitive(first.get(), fan.get());
    EXPECT_EQ(arrayBinding(), firstBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(secondBuffer));
    glVertexPointer(3, GL_FLOAT, 12, nullptr);
    device->renderPrimitive(first.get(), fan.get());
    EXPECT_EQ(arrayBinding(), secondBuffer) << "the same vertex data was sent again";
    // A count of 0 sends nothing.
    IntrusivePointer<IndexData> none = new IndexData(IndexData::Primitive_TRIANGLES, nullptr, 0, 0);
    device->renderPrimitive(first.get(), none.get());
    device->renderPrimitive(second.get(), none.get());
    EXPECT_EQ(arrayBinding(), secondBuffer);
    // Other vertex data is sent.
    glVertexPointer(3, GL_FLOAT, 12, nullptr);
    device->renderPrimitive(second.get(), fan.get());
    device->renderPrimitive(first.get(), fan.get());
    EXPECT_EQ(arrayBinding(), firstBuffer);

    auto a = texture2D(1, 1, {255, 0, 0, 255});
    auto b = texture2D(1, 1, {0, 255, 0, 255});
    const auto handleOf = [](const IntrusivePointer<Texture>& t) { return static_cast<GLTexture*>(t.get())->getHandle(); };
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, a.get());
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(handleOf(a)));
    glBindTexture(GL_TEXTURE_2D, handleOf(b));
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, a.get());
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(handleOf(b))) << "the same texture was bound again";
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, b.get());
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, a.get());
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(handleOf(a)));
    // A texture made again has a new object: it is bound again.
    a->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 1, 1, 1, 1), nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, a.get());
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(handleOf(a)));
    // Making another texture leaves the unit's binding as the device knows it.
    auto c = texture2D(1, 1, {0, 0, 255, 255});
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(handleOf(a)));
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, nullptr);

    IntrusivePointer<ShaderState> program = device->createShaderState();
    program->create();
    IntrusivePointer<Shader> vertex = device->createShader();
    vertex->create(Shader::ShaderType_VERTEX, "glsl",
                   "#version 120\nattribute vec3 POSITION;\nvoid main() { gl_Position = vec4(POSITION, 1.0); }\n");
    program->setShader(Shader::ShaderType_VERTEX, vertex);
    ASSERT_TRUE(device->setShaderState(program.get()));
    const GLint handle = static_cast<GLint>(static_cast<GLSLShaderState*>(program.get())->getProgram());
    EXPECT_EQ(integer(GL_CURRENT_PROGRAM), handle);
    glUseProgram(0);
    EXPECT_TRUE(device->setShaderState(program.get()));
    EXPECT_EQ(integer(GL_CURRENT_PROGRAM), 0) << "the same program was made current again";
    device->endScene();
}

TEST_F(GLDrawTest, ChangesThatKeepEveryPointerAreSentAgain)
{
    // Two like calls with a change between them that leaves the same objects in the same places:
    // the second call must send what changed.
    auto quad = positions({-1, -1, 1, 1});
    auto indices = makeIndices(IndexBuffer::IndexFormat_UINT16, {0, 1, 2, 0, 2, 3});
    IntrusivePointer<IndexData> range = new IndexData(IndexData::Primitive_TRIANGLES, indices, 0, 6);
    device->renderPrimitive(quad.get(), range.get());
    {
        SCOPED_TRACE("the vertex buffer made again");
        // Its old object goes, and the arrays with it; the new object likely has the same name.
        VertexBuffer* buffer = quad->vertexBuffers[0].get();
        const float corners[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
        ASSERT_TRUE(buffer->create(1, 2, buffer->getVertexFormat(), 4));
        std::memcpy(buffer->lock(2), corners, sizeof(corners));
        buffer->unlock();
        clear();
        device->renderPrimitive(quad.get(), range.get());
        EXPECT_EQ(arrayBinding(), static_cast<GLint>(static_cast<GLBuffer*>(buffer)->getHandle()));
        EXPECT_NE(pixel(width / 2, height / 2), 0u);
    }
    {
        SCOPED_TRACE("a sampler record first given, with the values the unit's records start with");
        auto texture = texture2D(1, 1, {255, 255, 255, 255});
        device->setSamplerState(0, nullptr);
        device->setTexture(Shader::ShaderType_FRAGMENT, 0, texture.get());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
        SamplerState record;
        device->setSamplerState(0, &record);
        device->setTexture(Shader::ShaderType_FRAGMENT, 0, texture.get());
        GLint wrap = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
        EXPECT_EQ(wrap, GL_REPEAT);
        device->setTexture(Shader::ShaderType_FRAGMENT, 0, nullptr);
        device->setSamplerState(0, nullptr);
    }
    range->indexBuffer = nullptr;
    device->endScene();
}

class GLDrawLocalTest : public GLDrawTest, public ::testing::WithParamInterface<int>
{
protected:
    int options() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Storage, GLDrawLocalTest, ::testing::Values(0, 4));

TEST_P(GLDrawLocalTest, RangesBeyondTheBuffersDrawNothing)
{
    auto quad = positions({-1, -1, 1, 1});
    auto indices = makeIndices(IndexBuffer::IndexFormat_UINT16, {0, 1, 2, 0, 2, 3});
    struct Case
    {
        bool indexed;
        int start, count;
        bool drawn;
    } cases[] = {
        {true, 0, 6, true},  {true, 3, 3, true},   {true, 4, 6, false}, {true, 0, 7, false},
        {true, -1, 3, false}, {false, 0, 4, true}, {false, 2, 4, false}, {false, 1, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.indexed ? "indexed " : "") << c.start << "+" << c.count);
        clear();
        IntrusivePointer<IndexData> range =
            new IndexData(c.indexed ? IndexData::Primitive_TRIANGLES : IndexData::Primitive_TRIANGLE_FAN,
                          c.indexed ? indices : nullptr, c.start, c.count);
        device->renderPrimitive(quad.get(), range.get());
        const auto pixels = frame();
        bool drawn = false;
        for (size_t i = 0; i < pixels.size(); i += 4) {
            drawn = drawn || pixels[i] != 0;
        }
        EXPECT_EQ(drawn, c.drawn);
        range->indexBuffer = nullptr;
    }
}

class GLDrawLocalCopiesTest : public GLDrawTest
{
protected:
    int options() const override { return GLRenderDevice::Option_NO_HARDWARE_BUFFERS; }
};

TEST_F(GLDrawLocalCopiesTest, IndicesPastTheVerticesDrawNothing)
{
    // Four vertices drawn from local copies: a range holding index 4 or 100000 draws nothing (OpenGL
    // would read past the copy), the ranges before it draw; once the buffer's contents change, the
    // new indices count. Buffer objects are bounded by OpenGL itself.
    auto quad = positions({-1, -1, 1, 1});
    auto indices = makeIndices(IndexBuffer::IndexFormat_UINT32, {0, 1, 2, 0, 2, 3, 0, 2, 4, 0, 2, 100000});
    auto drawnWith = [&](int start, int count) {
        clear();
        IntrusivePointer<IndexData> range = new IndexData(IndexData::Primitive_TRIANGLES, indices, start, count);
        device->renderPrimitive(quad.get(), range.get());
        range->indexBuffer = nullptr;
        const auto pixels = frame();
        for (size_t i = 0; i < pixels.size(); i += 4) {
            if (pixels[i] != 0) {
                return true;
            }
        }
        return false;
    };
    struct Case
    {
        int start, count;
        bool drawn;
    } cases[] = {{0, 6, true}, {3, 3, true}, {6, 3, false}, {9, 3, false}, {0, 12, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(drawnWith(c.start, c.count), c.drawn) << c.start << "+" << c.count;
    }
    const uint32_t within[2] = {3, 1};
    ASSERT_TRUE(indices->update(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(within)), 32, 8));
    EXPECT_TRUE(drawnWith(6, 3));
    EXPECT_FALSE(drawnWith(9, 3));
}

TEST_F(GLDrawTest, IndexBuffersAreBoundAgainOnceTheirBindingMayHaveChanged)
{
    // A draw binds its index buffer only when the device does not know it bound already. Between
    // two draws each step changes what OpenGL has bound there behind the draws; the next draw must
    // still read its own indices: the lower right triangle (0 1 2) or the upper left one (0 2 3).
    // (A draw without the right buffer bound reads its offset as an address: nothing, or worse.)
    auto quad = positions({-1, -1, 1, 1});
    enum Drawn { NOTHING, LOWER_RIGHT, UPPER_LEFT };
    const auto drawFrom = [&](const IntrusivePointer<IndexBuffer>& indices) {
        clear();
        IntrusivePointer<IndexData> range = new IndexData(IndexData::Primitive_TRIANGLES, indices, 0, 3);
        device->renderPrimitive(quad.get(), range.get());
        range->indexBuffer = nullptr;
        const bool lowerRight = pixel(width - 4, height - 4) != 0;
        const bool upperLeft = pixel(3, 3) != 0;
        return lowerRight == upperLeft ? NOTHING : lowerRight ? LOWER_RIGHT : UPPER_LEFT;
    };
    IntrusivePointer<IndexBuffer> indices = makeIndices(IndexBuffer::IndexFormat_UINT16, {0, 1, 2});
    ASSERT_NE(static_cast<GLBuffer*>(indices.get())->getHandle(), 0u);
    EXPECT_EQ(drawFrom(indices), LOWER_RIGHT);
    EXPECT_EQ(drawFrom(indices), LOWER_RIGHT);
    {
        SCOPED_TRACE("the buffer's own upload");
        const uint16_t upper[3] = {0, 2, 3};
        std::memcpy(indices->lock(2), upper, sizeof(upper));
        indices->unlock();
        EXPECT_EQ(drawFrom(indices), UPPER_LEFT);
    }
    {
        SCOPED_TRACE("another index buffer made, filled and deleted");
        makeIndices(IndexBuffer::IndexFormat_UINT16, {0, 1, 2});
        EXPECT_EQ(drawFrom(indices), UPPER_LEFT);
    }
    {
        SCOPED_TRACE("bound by others between scenes");
        device->endScene();
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        device->beginScene();
        EXPECT_EQ(drawFrom(indices), UPPER_LEFT);
    }
    device->endScene();
}

TEST_F(GLDrawTest, EndSceneUnbindsEveryUnitAndKeepsTrackOfTheActiveOne)
{
    // The end of a scene passes over units that hold nothing: the units it used must still end
    // unbound and disabled, and the next scene's texture must reach the unit it is set for.
    auto texture = texture2D(1, 1, {255, 255, 255, 255});
    const GLuint handle = static_cast<GLTexture*>(texture.get())->getHandle();
    const std::vector<std::vector<int>> cases = {{0}, {2}, {1, 3}, {3, 0}};
    for (const auto& used : cases) {
        SCOPED_TRACE(testing::PrintToString(used));
        device->beginScene();
        for (int unit : used) {
            device->setTexture(Shader::ShaderType_FRAGMENT, unit, texture.get());
        }
        device->endScene();
        const GLint active = integer(GL_ACTIVE_TEXTURE);
        for (int unit = 0; unit < 4; ++unit) {
            glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
            EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0) << "unit " << unit;
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit " << unit;
        }
        glActiveTexture(static_cast<GLenum>(active));
        EXPECT_EQ(device->getNumUsedTextureUnits(), 0);

        device->beginScene();
        device->setTexture(Shader::ShaderType_FRAGMENT, 1, texture.get());
        EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), GL_TEXTURE1);
        EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(handle));
        device->endScene();
    }
}

TEST_F(GLDrawTest, RefusedDrawsSayWhy)
{
    auto quad = positions({-1, -1, 1, 1});
    EXPECT_EQ(thrownText([&] { device->renderPrimitive(nullptr, fan.get()); }), "VertexData or IndexData is NULL");
    EXPECT_EQ(thrownText([&] { device->renderPrimitive(quad.get(), nullptr); }), "VertexData or IndexData is NULL");
    IntrusivePointer<IndexBuffer> odd = device->createIndexBuffer();
    odd->create(1, 2, static_cast<IndexBuffer::IndexFormat>(3), 3);
    IntrusivePointer<IndexData> indices = new IndexData(IndexData::Primitive_TRIANGLES, odd);
    EXPECT_EQ(thrownText([&] { device->renderPrimitive(quad.get(), indices.get()); }), "getGLIndexType: Invalid type");
}

TEST_F(GLDrawTest, FrameAndPixelBufferCopies)
{
    // Blue, with a red top-left quadrant (160 x 120 pixels).
    device->clear(1, Vector4(0, 0, 1, 1));
    auto format = makeFormat({{POSITION, 0, FLOAT3}, {VertexFormat::Semantic_COLOR, 0, 8}});
    struct
    {
        float p[3];
        uint32_t c;
    } vertices[4] = {{{-1, 0, 0}, 0xFF0000FFu}, {{0, 0, 0}, 0xFF0000FFu}, {{0, 1, 0}, 0xFF0000FFu}, {{-1, 1, 0}, 0xFF0000FFu}};
    IntrusivePointer<VertexData> quad = new VertexData(makeVertices(format, vertices, 4));
    device->renderPrimitive(quad.get(), fan.get());

    // The frame's top-left 128 x 128 pixels into a level of a 128 x 128 texture.
    auto texture = texture2D(128, 128, {});
    IntrusivePointer<PixelBuffer> level = texture->getMipPixelBuffer(0, 0);
    ASSERT_TRUE(device->copyFrameBufferToPixelBuffer(level.get()));
    const auto& flip = static_cast<GLTexture*>(texture.get())->getTextureMatrix();
    EXPECT_EQ(flip.at(1, 1), -1.0f);
    EXPECT_EQ(flip.at(1, 3), 1.0f);
    std::vector<unsigned char> pixels(128 * 128 * 4);
    TextureFormat whole(2, TextureFormat::Format_RGBA_8, 128, 128, 1, 1);
    ASSERT_TRUE(texture->read(&whole, pixels.data()));
    const auto texel = [&](int x, int row) {
        const unsigned char* p = pixels.data() + 4 * (row * 128 + x);
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    };
    // OpenGL's rows run bottom up: row 127 is the frame's top row, row 0 its row 127 (below the
    // red quadrant).
    EXPECT_EQ(texel(0, 127), 0xFF0000u);
    EXPECT_EQ(texel(127, 127), 0xFF0000u);
    EXPECT_EQ(texel(0, 0), 0x0000FFu);

    // Level to pixel buffer and back, through the pack and unpack targets.
    IntrusivePointer<PixelBuffer> buffer = device->createPixelBuffer();
    buffer->create(2, 3, new TextureFormat(2, TextureFormat::Format_RGBA_8, 128, 128, 1, 1));
    EXPECT_NE(static_cast<GLBuffer*>(buffer.get())->getHandle(), 0u);
    ASSERT_TRUE(device->copyPixelBuffer(buffer.get(), level.get()));
    unsigned char* bytes = buffer->lock(3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::memcmp(bytes, pixels.data(), pixels.size()), 0);
    std::memset(bytes, 0x40, pixels.size());
    buffer->unlock();
    ASSERT_TRUE(device->copyPixelBuffer(level.get(), buffer.get()));
    ASSERT_TRUE(texture->read(&whole, pixels.data()));
    EXPECT_EQ(pixels, std::vector<unsigned char>(pixels.size(), 0x40));

    EXPECT_EQ(thrownText([&] { device->copyPixelBuffer(level.get(), level.get()); }),
              "copyPixelBuffer not implemented for these pixel buffer types");
    EXPECT_EQ(thrownText([&] { device->copyPixelBuffer(buffer.get(), buffer.get()); }),
              "copyPixelBuffer not implemented for these pixel buffer types");
    EXPECT_EQ(thrownText([&] { device->copyFrameBufferToPixelBuffer(buffer.get()); }),
              "GLRenderDevice::copyToSurface: unimplemented for pbo");
}

} // namespace

namespace {

TEST_F(GLDrawTest, VertexFormatsKeepTheirListsInStepPastARefusedType)
{
    IntrusivePointer<VertexFormat> format = device->createVertexFormat();
    format->create();
    auto* glFormat = static_cast<GLVertexFormat*>(format.get());
    struct Case
    {
        int semantic;
        int index;
        int format;
        int offset;
        unsigned int glType;
        int glCount;
    } cases[] = {
        {POSITION, 0, FLOAT3, 0, GL_FLOAT, 3},
        {NORMAL, 0, FLOAT3, 12, GL_FLOAT, 3},
        {VertexFormat::Semantic_COLOR, 0, 8, 24, GL_UNSIGNED_BYTE, 4},
        {TEXCOORD, 0, FLOAT2, 28, GL_FLOAT, 2},
    };
    for (const Case& c : cases) {
        format->addElement(c.semantic, c.index, c.format);
    }
    // 16.16 fixed point: recorded, refused by OpenGL, its type left 0.
    EXPECT_EQ(thrownText([&] { format->addElement(TEXCOORD, 1, VertexFormat::makeFormat(VertexFormat::Type_FIXED32, 2)); }),
              "getGLDataType: Invalid data type");
    EXPECT_EQ(format->getVertexSize(), 44);
    ASSERT_EQ(format->getNumElements(), 5);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(format->getElementOffset(i), cases[i].offset) << i;
        EXPECT_EQ(glFormat->getGLDataType(i), cases[i].glType) << i;
        EXPECT_EQ(glFormat->getGLElementCount(i), cases[i].glCount) << i;
    }
    EXPECT_EQ(glFormat->getGLDataType(4), 0u);
    EXPECT_EQ(format->findElement(rezezaz::core::String("TEXCOORD")), 3);
    EXPECT_EQ(format->findElement(VertexFormat::Semantic_BLEND_WEIGHTS), -1);

    // An element after the refused one keeps its own entry, and the device draws past the refused one.
    format->addElement(rezezaz::core::String("weights"), 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 1));
    EXPECT_EQ(format->getElementSemantic(5), VertexFormat::Semantic_UNKNOWN);
    EXPECT_EQ(glFormat->getGLDataType(5), unsigned(GL_FLOAT));
    std::vector<unsigned char> vertices(static_cast<size_t>(format->getVertexSize()) * 4, 0);
    const gltest::Quad quad{-1, -1, 1, 1};
    for (int i = 0; i < 4; ++i) {
        unsigned char* v = vertices.data() + i * format->getVertexSize();
        float corner[3];
        quad.corner(i, corner);
        std::memcpy(v, corner, sizeof(corner));
        const uint32_t yellow = 0xFFFF00FFu;
        std::memcpy(v + 24, &yellow, 4);
    }
    IntrusivePointer<VertexData> data = new VertexData(makeVertices(format, vertices.data(), 4));
    device->renderPrimitive(data.get(), fan.get());
    EXPECT_EQ(pixel(160, 120), 0xFFFF00u);
}

} // namespace

// GLSL shaders and programs: compiled, linked, reflected and drawn through the device, with the
// info log in their errors, the vertex layouts per format and the fallback when a link fails.
#include "support/gl/GLDrawFixture.h"

#include "render/gl/GLSLShader.h"
#include "render/gl/GLSLShaderState.h"
#include "render/gl/GLSLVertexLayout.h"
#include "render/gl/GLTexture.h"
#include "support/LogRecorder.h"

#include <cstring>
#include <map>
#include <string>

using gltest::thrownText;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::math::Matrix4x4;
using namespace rezezaz::render;

namespace {

constexpr int POSITION = VertexFormat::Semantic_POSITION;
constexpr int NORMAL = VertexFormat::Semantic_NORMAL;
constexpr int COLOR = VertexFormat::Semantic_COLOR;
constexpr int TEXCOORD = VertexFormat::Semantic_TEXCOORD;
constexpr int FLOAT2 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2);
constexpr int FLOAT3 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3);

// The kind of pair the engine's diffuse material uses: a transform, one directional light, a
// diffuse colour and a texture.
const char* diffuseVertex = R"(#version 120
attribute vec3 POSITION;
attribute vec3 NORMAL;
attribute vec2 TEXCOORD0;
uniform mat4 worldViewProjection;
uniform vec3 lightDirection;
varying vec2 uv;
varying float lambert;
void main()
{
    uv = TEXCOORD0;
    lambert = max(dot(normalize(NORMAL), -lightDirection), 0.0);
    gl_Position = worldViewProjection * vec4(POSITION, 1.0);
}
)";

const char* diffuseFragment = R"(#version 120
uniform vec4 diffuse;
uniform sampler2D diffuseMap;
varying vec2 uv;
varying float lambert;
void main()
{
    gl_FragColor = vec4(diffuse.rgb * texture2D(diffuseMap, uv).rgb * lambert, 1.0);
}
)";

class GLSLTest : public gltest::GLDrawFixture
{
protected:
    IntrusivePointer<Shader> compile(Shader::ShaderType type, const char* code)
    {
        IntrusivePointer<Shader> shader = device->createShader();
        EXPECT_TRUE(shader->create(type, "glsl", code));
        return shader;
    }

    IntrusivePointer<ShaderState> program(const char* vertex, const char* fragment)
    {
        IntrusivePointer<ShaderState> state = device->createShaderState();
        state->create();
        state->setShader(Shader::ShaderType_VERTEX, compile(Shader::ShaderType_VERTEX, vertex));
        state->setShader(Shader::ShaderType_FRAGMENT, compile(Shader::ShaderType_FRAGMENT, fragment));
        return state;
    }

    // The variables of a format by name.
    static std::map<std::string, VariableBufferFormat::Variable*> byName(const VariableBufferFormat& format)
    {
        std::map<std::string, VariableBufferFormat::Variable*> variables;
        for (int i = 0; i < format.getNumVariables(); ++i) {
            variables[format.getVariable(i)->name.c_str()] = format.getVariable(i).get();
        }
        return variables;
    }

    // Vertex data owns its buffers: one per buffer, kept for the test.
    void drawFan(const IntrusivePointer<VertexBuffer>& buffer)
    {
        IntrusivePointer<VertexData>& vertexData = vertexDatas[buffer.get()];
        if (!vertexData) {
            vertexData = new VertexData(buffer);
        }
        IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4);
        device->renderPrimitive(vertexData.get(), fan.get());
    }

    std::map<VertexBuffer*, IntrusivePointer<VertexData>> vertexDatas;
};

TEST_F(GLSLTest, DiffusePairCompilesLinksReflectsAndDraws)
{
    auto state = program(diffuseVertex, diffuseFragment);
    ASSERT_EQ(state->getNumVariableBuffers(Shader::ShaderType_VERTEX), 1);
    EXPECT_EQ(state->getNumVariableBuffers(Shader::ShaderType_FRAGMENT), 0);
    EXPECT_FALSE(state->getVariableBufferFormat(Shader::ShaderType_FRAGMENT, 0));
    EXPECT_FALSE(state->getVariableBufferFormat(Shader::ShaderType_VERTEX, 1));
    EXPECT_FALSE(state->getVariableBufferFormat(Shader::ShaderType_VERTEX, -1));
    auto format = state->getVariableBufferFormat(Shader::ShaderType_VERTEX, 0);
    ASSERT_TRUE(format);
    EXPECT_TRUE(format->getPrimary());
    auto variables = byName(*format);
    ASSERT_EQ(variables.size(), 4u);
    EXPECT_EQ(variables["worldViewProjection"]->format, 0xD06);
    EXPECT_EQ(variables["lightDirection"]->format, 0x306);
    EXPECT_EQ(variables["diffuse"]->format, 0x406);
    EXPECT_EQ(variables["diffuseMap"]->format, 9);
    EXPECT_EQ(variables["diffuseMap"]->textureUnit, 0);
    // The loose uniforms lie one after the other, each as big as its format (the sampler takes no
    // bytes): 64 + 16 + 16.
    EXPECT_EQ(format->getDataSize(), 96);
    for (auto& [name, variable] : variables) {
        EXPECT_EQ(variable->index, glGetUniformLocation(static_cast<GLSLShaderState*>(state.get())->getProgram(), name.c_str()))
            << name;
        EXPECT_EQ(variable->arraySize, 1) << name;
    }

    // A 2x2 texture, left column white, right column grey 128.
    std::vector<unsigned char> pixels = {255, 255, 255, 255, 128, 128, 128, 255, 255, 255, 255, 255, 128, 128, 128, 255};
    IntrusivePointer<Texture> texture = device->createTexture();
    ASSERT_TRUE(texture->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 2, 2, 1, 1),
                                std::vector<unsigned char*>{pixels.data()}.data()));

    // The variables, written where the format puts them.
    IntrusivePointer<VariableBuffer> uniforms = device->createVariableBuffer();
    uniforms->create(2, 2, format);
    std::vector<unsigned char> bytes(static_cast<size_t>(format->getDataSize()));
    const Matrix4x4 identity;
    const float light[3] = {0, 0, -1};
    const float diffuse[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    std::memcpy(bytes.data() + variables["worldViewProjection"]->offset, identity.data, 64);
    std::memcpy(bytes.data() + variables["lightDirection"]->offset, light, 12);
    std::memcpy(bytes.data() + variables["diffuse"]->offset, diffuse, 16);
    ASSERT_TRUE(uniforms->update(bytes.data(), 0, format->getDataSize()));

    // A quad facing the light: normals toward the viewer.
    auto vertexFormat = makeFormat({{POSITION, 0, FLOAT3}, {NORMAL, 0, FLOAT3}, {TEXCOORD, 0, FLOAT2}});
    const float vertices[] = {-1, -1, 0, 0, 0, 1, 0, 0, 1, -1, 0, 0, 0, 1, 1, 0,
                              1,  1,  0, 0, 0, 1, 1, 1, -1, 1, 0, 0, 0, 1, 0, 1};
    auto buffer = makeVertices(vertexFormat, vertices, 4);

    ASSERT_TRUE(device->setShaderState(state.get()));
    device->setTexture(Shader::ShaderType_FRAGMENT, 0, texture.get());
    device->setBuffer(Shader::ShaderType_VERTEX, 0, uniforms.get());
    drawFan(buffer);
    EXPECT_EQ(pixel(80, 120), 0xFF8000u);
    EXPECT_EQ(pixel(240, 120), 0x804000u);

    // Turned away from the light by half: the lambert factor 0.5 shades it.
    const float halfLight[3] = {0, -0.8660254f, -0.5f};
    ASSERT_TRUE(uniforms->update(reinterpret_cast<unsigned char*>(const_cast<float*>(halfLight)),
                                 variables["lightDirection"]->offset, 12));
    device->setBuffer(Shader::ShaderType_VERTEX, 0, uniforms.get());
    clear();
    drawFan(buffer);
    EXPECT_NEAR(static_cast<int>(pixel(80, 120) >> 16), 128, 1);
    device->endScene();
}

TEST_F(GLSLTest, CompileAndLinkErrorsCarryTheInfoLog)
{
    IntrusivePointer<Shader> broken = device->createShader();
    const std::string compileError =
        thrownText([&] { broken->create(Shader::ShaderType_VERTEX, "glsl", "#version 120\nvoid main() { gl_Position = oops; }\n"); });
    EXPECT_EQ(compileError.rfind("glsl compile error:\n", 0), 0u) << compileError;
    EXPECT_NE(compileError.find("oops"), std::string::npos) << compileError;

    IntrusivePointer<Shader> other = device->createShader();
    EXPECT_FALSE(other->create(static_cast<Shader::ShaderType>(3), "glsl", "void main() {}"));
    EXPECT_EQ(static_cast<GLSLShader*>(other.get())->getHandle(), 0u);

    // A fragment shader reading a varying the vertex shader never declares links with an error.
    IntrusivePointer<ShaderState> state = device->createShaderState();
    state->create();
    auto* glsl = static_cast<GLSLShaderState*>(state.get());
    state->setShader(Shader::ShaderType_VERTEX,
                     compile(Shader::ShaderType_VERTEX, "#version 120\nvoid main() { gl_Position = vec4(0.0); }\n"));
    state->setShader(Shader::ShaderType_FRAGMENT,
                     compile(Shader::ShaderType_FRAGMENT,
                             "#version 120\nvarying vec4 missing;\nvoid main() { gl_FragColor = missing; }\n"));
    const std::string linkError = thrownText([&] { glsl->link(); });
    EXPECT_EQ(linkError.rfind("glsl link error:\n", 0), 0u) << linkError;
    EXPECT_GT(linkError.size(), std::string("glsl link error:\n").size());
}

TEST_F(GLSLTest, FailedLinkFallsBackToTheFixedPipelineUntilAShaderChanges)
{
    IntrusivePointer<ShaderState> state = device->createShaderState();
    state->create();
    // Without shaders: not linked, program 0.
    EXPECT_FALSE(static_cast<GLSLShaderState*>(state.get())->activate());
    EXPECT_EQ(integer(GL_CURRENT_PROGRAM), 0);

    state->setShader(Shader::ShaderType_VERTEX, compile(Shader::ShaderType_VERTEX, "#version 120\nvoid helper() {}\n"));
    EXPECT_FALSE(device->setShaderState(state.get()));
    EXPECT_EQ(integer(GL_CURRENT_PROGRAM), 0);
    EXPECT_EQ(state->getNumVariableBuffers(Shader::ShaderType_VERTEX), 0);
    // The fixed pipeline draws the vertex colour.
    auto format = makeFormat({{POSITION, 0, FLOAT3}, {COLOR, 0, 8}});
    struct
    {
        float p[3];
        uint32_t c;
    } vertices[4] = {{{-1, -1, 0}, 0xFF00FFFFu}, {{1, -1, 0}, 0xFF00FFFFu}, {{1, 1, 0}, 0xFF00FFFFu}, {{-1, 1, 0}, 0xFF00FFFFu}};
    auto buffer = makeVertices(format, vertices, 4);
    drawFan(buffer);
    EXPECT_EQ(pixel(160, 120), 0xFF00FFu);
    // Not tried again until a shader changes; then it links.
    EXPECT_FALSE(device->setShaderState(state.get()));
    state->setShader(Shader::ShaderType_VERTEX,
                     compile(Shader::ShaderType_VERTEX, "#version 120\nattribute vec3 POSITION;\nattribute vec4 COLOR;\n"
                                                        "varying vec4 c;\nvoid main() { c = COLOR.bgra; gl_Position = vec4(POSITION, 1.0); }\n"));
    state->setShader(Shader::ShaderType_FRAGMENT,
                     compile(Shader::ShaderType_FRAGMENT, "#version 120\nvarying vec4 c;\nvoid main() { gl_FragColor = c; }\n"));
    ASSERT_TRUE(device->setShaderState(state.get()));
    EXPECT_NE(integer(GL_CURRENT_PROGRAM), 0);
    // The same buffers drawn by the program: its attributes are set, the colour normalised.
    clear();
    drawFan(buffer);
    EXPECT_EQ(pixel(160, 120), 0xFF00FFu);
    // And back to the fixed pipeline with the same buffers: its arrays are set again.
    device->setShaderState(nullptr);
    clear();
    drawFan(buffer);
    EXPECT_EQ(pixel(160, 120), 0xFF00FFu);
}

TEST_F(GLSLTest, UniformBlocksAreReflectedAndDrawnFromABufferObject)
{
    auto state = program("#version 140\nin vec3 POSITION;\nvoid main() { gl_Position = vec4(POSITION, 1.0); }\n",
                         "#version 140\nuniform Tint { vec4 tint; vec4 extra; };\nuniform vec4 base;\nout vec4 colour;\n"
                         "void main() { colour = base + tint + extra * 0.0; }\n");
    ASSERT_EQ(state->getNumVariableBuffers(Shader::ShaderType_VERTEX), 2);
    auto primary = state->getVariableBufferFormat(Shader::ShaderType_VERTEX, 0);
    auto block = state->getVariableBufferFormat(Shader::ShaderType_VERTEX, 1);
    ASSERT_TRUE(primary && block);
    EXPECT_TRUE(primary->getPrimary());
    ASSERT_EQ(primary->getNumVariables(), 1);
    EXPECT_STREQ(primary->getVariable(0)->name.c_str(), "base");
    EXPECT_FALSE(block->getPrimary());
    EXPECT_STREQ(block->getName().c_str(), "Tint");
    EXPECT_EQ(block->getDataSize(), 32);
    auto members = byName(*block);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members["tint"]->offset, 0);
    EXPECT_EQ(members["extra"]->offset, 16);

    // The block in a buffer object, the loose uniform set one by one.
    IntrusivePointer<VariableBuffer> tint = device->createVariableBuffer();
    tint->create(2, 2, block);
    EXPECT_NE(static_cast<GLBuffer*>(tint.get())->getHandle(), 0u);
    const float tintValue[8] = {0, 1, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(tint->update(reinterpret_cast<unsigned char*>(const_cast<float*>(tintValue)), 0, 32));
    IntrusivePointer<VariableBuffer> base = device->createVariableBuffer();
    base->create(2, 2, primary);
    EXPECT_EQ(static_cast<GLBuffer*>(base.get())->getHandle(), 0u);
    const float baseValue[4] = {1, 0, 0, 1};
    ASSERT_TRUE(base->update(reinterpret_cast<unsigned char*>(const_cast<float*>(baseValue)), 0, 16));

    ASSERT_TRUE(device->setShaderState(state.get()));
    device->setBuffer(Shader::ShaderType_VERTEX, 0, base.get());
    device->setBuffer(Shader::ShaderType_VERTEX, 1, tint.get());
    auto format = makeFormat({{POSITION, 0, FLOAT3}});
    const float quad[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    drawFan(makeVertices(format, quad, 4));
    EXPECT_EQ(pixel(160, 120), 0xFFFF00u);
    device->endScene();
}

TEST_F(GLSLTest, LayoutsFindAttributesByNameAndFallBackToFixedSlots)
{
    auto state = program("#version 120\nattribute vec3 POSITION;\nattribute vec2 TEXCOORD1;\nvarying vec2 t;\n"
                         "void main() { t = TEXCOORD1; gl_Position = vec4(POSITION, 1.0); }\n",
                         "#version 120\nvarying vec2 t;\nvoid main() { gl_FragColor = vec4(t, 0.0, 1.0); }\n");
    auto* glsl = static_cast<GLSLShaderState*>(state.get());
    ASSERT_TRUE(glsl->activate());
    rezezaz::core::Log::getInstance()->setCategoryReportingLevel(rezezaz::core::Categories::REZEZAZ_RENDER,
                                                                 rezezaz::core::Logger::ALL);
    support::LogRecorder log;
    auto format = makeFormat({{POSITION, 0, FLOAT3}, {NORMAL, 0, FLOAT3}, {TEXCOORD, 1, FLOAT2}, {TEXCOORD, 0, FLOAT2}});
    auto* glFormat = static_cast<GLVertexFormat*>(format.get());
    GLSLVertexLayout* layout = glsl->findVertexLayout(glFormat);
    ASSERT_EQ(layout->getNumLocations(), 4);
    const GLuint handle = glsl->getProgram();
    EXPECT_EQ(layout->getLocation(0), glGetAttribLocation(handle, "POSITION"));
    // Not declared: the fixed slots of the normal and the first texture coordinate.
    EXPECT_EQ(layout->getLocation(1), 2);
    EXPECT_EQ(layout->getLocation(2), glGetAttribLocation(handle, "TEXCOORD1"));
    EXPECT_EQ(layout->getLocation(3), 5);
    const auto alert = rezezaz::core::Logger::ALERT;
    EXPECT_TRUE(log.has("rezezaz.render", alert, "Semantic name:NORMAL found location:2"));
    EXPECT_TRUE(log.has("rezezaz.render", alert, "Semantic name:TEXCOORD found location:5"));
    EXPECT_EQ(glsl->findVertexLayout(glFormat), layout);

    // Destroying a format drops its layouts; the formats after it move down with theirs.
    auto second = makeFormat({{POSITION, 0, FLOAT3}});
    auto* glSecond = static_cast<GLVertexFormat*>(second.get());
    EXPECT_EQ(glSecond->getDeviceIndex(), glFormat->getDeviceIndex() + 1);
    GLSLVertexLayout* secondLayout = glsl->findVertexLayout(glSecond);
    const int formats = device->getNumVertexFormats();
    const int firstIndex = glFormat->getDeviceIndex();
    format->destroy();
    EXPECT_EQ(device->getNumVertexFormats(), formats - 1);
    EXPECT_EQ(glSecond->getDeviceIndex(), firstIndex);
    EXPECT_EQ(glsl->findVertexLayout(glSecond), secondLayout);
    // Destroying the program unregisters it.
    const int programs = device->getNumShaderStates();
    state->destroy();
    EXPECT_EQ(device->getNumShaderStates(), programs - 1);
}

TEST_F(GLSLTest, CreatedTwiceAFormatOrProgramIsListedOnce)
{
    // A destroyed format or program left in the device's lists would be reached after it is gone.
    const int formats = device->getNumVertexFormats();
    auto twice = makeFormat({{POSITION, 0, FLOAT3}});
    twice->create();
    auto after = makeFormat({{POSITION, 0, FLOAT3}});
    EXPECT_EQ(device->getNumVertexFormats(), formats + 2);
    EXPECT_EQ(static_cast<GLVertexFormat*>(after.get())->getDeviceIndex(), formats + 1);
    twice->destroy();
    twice = nullptr;
    EXPECT_EQ(device->getNumVertexFormats(), formats + 1);
    EXPECT_EQ(static_cast<GLVertexFormat*>(after.get())->getDeviceIndex(), formats);

    const int programs = device->getNumShaderStates();
    IntrusivePointer<ShaderState> state = device->createShaderState();
    state->create();
    state->create();
    EXPECT_EQ(device->getNumShaderStates(), programs + 1);
    state->destroy();
    state = nullptr;
    EXPECT_EQ(device->getNumShaderStates(), programs);
    // Dropping a format's layouts now asks only the programs that are alive.
    after->destroy();
    EXPECT_EQ(device->getNumVertexFormats(), formats);
}

TEST_F(GLSLTest, ReflectionOfAFloatAVectorAndASampler)
{
    auto state = program("#version 120\nattribute vec3 POSITION;\nvoid main() { gl_Position = vec4(POSITION, 1.0); }\n",
                         "#version 120\nuniform float a;\nuniform vec4 b;\nuniform sampler2D s;\n"
                         "void main() { gl_FragColor = b * a + texture2D(s, vec2(0.5)); }\n");
    auto format = state->getVariableBufferFormat(Shader::ShaderType_VERTEX, 0);
    ASSERT_TRUE(format);
    auto variables = byName(*format);
    ASSERT_EQ(variables.size(), 3u);
    EXPECT_EQ(variables["a"]->format, 0x106);
    EXPECT_EQ(variables["b"]->format, 0x406);
    EXPECT_EQ(variables["s"]->format, 9);
    EXPECT_EQ(variables["s"]->textureUnit, 0);
    // Whatever order OpenGL reports them in, the two values take 16 bytes each and the sampler none.
    EXPECT_EQ(format->getDataSize(), 32);
    std::vector<int> offsets;
    for (auto& [name, variable] : variables) {
        offsets.push_back(variable->offset);
    }
    std::sort(offsets.begin(), offsets.end());
    EXPECT_EQ(offsets.front(), 0);
    EXPECT_LE(offsets.back(), 32);
}

} // namespace

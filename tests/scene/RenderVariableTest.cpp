#include "MaterialFixture.h"

#include "core/SharedPointer.h"
#include "core/math/Matrix4x4.h"
#include "scene/material/AmbientVariable.h"
#include "scene/material/FogColorVariable.h"
#include "scene/material/FogDensityVariable.h"
#include "scene/material/FogDistanceVariable.h"
#include "scene/material/LightDiffuseVariable.h"
#include "scene/material/LightPositionVariable.h"
#include "scene/material/LightSpecularVariable.h"
#include "scene/material/LightViewPositionVariable.h"
#include "scene/material/MVPMatrixVariable.h"
#include "scene/material/MaterialAmbientVariable.h"
#include "scene/material/MaterialDiffuseVariable.h"
#include "scene/material/MaterialLightVariable.h"
#include "scene/material/MaterialShininessVariable.h"
#include "scene/material/MaterialSpecularVariable.h"
#include "scene/material/MaterialTrackColorVariable.h"
#include "scene/material/ModelMatrixVariable.h"
#include "scene/material/NormalMatrixVariable.h"
#include "scene/material/PointSizeVariable.h"
#include "scene/material/RenderPass.h"
#include "scene/material/ScalarVariable.h"
#include "scene/material/SceneParameters.h"
#include "scene/material/TextureMatrixVariable.h"
#include "scene/material/TextureSetVariable.h"
#include "scene/material/ViewportVariable.h"
#include "support/AllocationCounter.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingTexture.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::SharedPointer;
using rezezaz::core::math::Matrix4x4;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using rezezaz::render::SamplerState;
using rezezaz::render::Shader;
using rezezaz::render::TextureState;
using namespace rezezaz::scene::material;

std::vector<float> floats(const Matrix4x4& m)
{
    return std::vector<float>(m.data, m.data + 16);
}

// A variable writing into a buffer of marker bytes at an offset that is not a multiple of 16, and
// what it wrote: the floats up to the first untouched word.
class Written
{
public:
    Written(RenderVariable& variable, SceneParameters* parameters)
    {
        std::memset(bytes, MARKER, sizeof bytes);
        variable.update(bytes + OFFSET, parameters);
    }

    std::vector<float> values() const
    {
        std::vector<float> result;
        for (int at = OFFSET; at + 4 <= static_cast<int>(sizeof bytes) && !untouched(at); at += 4) {
            float value = 0.0f;
            std::memcpy(&value, bytes + at, sizeof value);
            result.push_back(value);
        }
        return result;
    }

private:
    bool untouched(int at) const
    {
        return bytes[at] == MARKER && bytes[at + 1] == MARKER && bytes[at + 2] == MARKER && bytes[at + 3] == MARKER;
    }

    static constexpr unsigned char MARKER = 0xCD;
    static constexpr int OFFSET = 4;
    unsigned char bytes[96];
};

class RenderVariableTest : public scenetest::MaterialFixture
{
protected:
    RenderVariableTest()
    {
        attachDevice();
        parameters->viewport.width = 640;
        parameters->viewport.height = 480;
        parameters->projectionMatrix = Matrix4x4(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
        // A quarter turn about z, then a shift.
        parameters->viewMatrix = Matrix4x4(0, -1, 0, 1, 1, 0, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1);
        parameters->modelMatrix = Matrix4x4(1, 0, 0, 4, 0, 1, 0, 5, 0, 0, 1, 6, 0, 0, 0, 1);
        parameters->materialState.light = true;
        parameters->materialState.trackColor = false;
        parameters->materialState.ambient = Vector4(0.5f, 0.6f, 0.7f, 0.8f);
        parameters->materialState.diffuse = Vector4(0.9f, 0.8f, 0.7f, 0.6f);
        parameters->materialState.specular = Vector4(0.2f, 0.3f, 0.4f, 0.5f);
        parameters->materialState.shininess = 12.0f;
        parameters->geometryState.size = 7.5f;
        parameters->fogState.density = 0.25f;
        parameters->fogState.nearDistance = 10.0f;
        parameters->fogState.farDistance = 50.0f;
        parameters->fogState.color = Vector4(0.1f, 0.2f, 0.3f, 0.4f);
        parameters->lightState.diffuseColor = Vector4(1.0f, 0.9f, 0.8f, 1.0f);
        parameters->lightState.specularColor = Vector4(0.3f, 0.3f, 0.3f, 1.0f);
        parameters->lightState.direction = Vector3(1.0f, 0.0f, 0.0f);
        parameters->ambientColor = Vector4(0.05f, 0.06f, 0.07f, 0.08f);
    }

    IntrusivePointer<SceneParameters> parameters{new SceneParameters()};
};

struct Case
{
    const char* name;
    std::function<RenderVariable*()> make;
    int format;
    std::vector<float> written;
};

std::vector<Case> everyVariable()
{
    // Projection x view x model, and the view's quarter turn alone, in reading order.
    const Matrix4x4 mvp(0, -2, 0, -8, 2, 0, 0, 12, 0, 0, 2, 18, 0, 0, 0, 1);
    const Matrix4x4 quarterTurn(0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    const Matrix4x4 model(1, 0, 0, 4, 0, 1, 0, 5, 0, 0, 1, 6, 0, 0, 0, 1);
    return {
        {"Viewport", [] { return new ViewportVariable(); }, 0x0406, {0, 0, 640, 480}},
        {"PointSize", [] { return new PointSizeVariable(); }, 0x0106, {7.5f}},
        {"TextureSet unlinked", [] { return new TextureSetVariable("tex"); }, 0x0106, {}},
        {"TextureMatrix unlinked", [] { return new TextureMatrixVariable("tex"); }, 0x0D06, {}},
        {"FogDensity", [] { return new FogDensityVariable(); }, 0x0106, {0.25f}},
        {"FogDistance", [] { return new FogDistanceVariable(); }, 0x0206, {10, 50}},
        {"FogColor", [] { return new FogColorVariable(); }, 0x0406, {0.1f, 0.2f, 0.3f, 0.4f}},
        {"MaterialAmbient", [] { return new MaterialAmbientVariable(); }, 0x0406, {0.5f, 0.6f, 0.7f, 0.8f}},
        {"MaterialDiffuse", [] { return new MaterialDiffuseVariable(); }, 0x0406, {0.9f, 0.8f, 0.7f, 0.6f}},
        {"MaterialSpecular", [] { return new MaterialSpecularVariable(); }, 0x0406, {0.2f, 0.3f, 0.4f, 0.5f}},
        {"MaterialShininess", [] { return new MaterialShininessVariable(); }, 0x0106, {12}},
        {"MaterialLight", [] { return new MaterialLightVariable(); }, 0x0106, {1}},
        {"MaterialTrackColor", [] { return new MaterialTrackColorVariable(); }, 0x0106, {0}},
        {"Ambient", [] { return new AmbientVariable(); }, 0x0406, {0.05f, 0.06f, 0.07f, 0.08f}},
        {"LightDiffuse", [] { return new LightDiffuseVariable(); }, 0x0406, {1, 0.9f, 0.8f, 1}},
        {"LightSpecular", [] { return new LightSpecularVariable(); }, 0x0406, {0.3f, 0.3f, 0.3f, 1}},
        {"LightPosition", [] { return new LightPositionVariable(); }, 0x0406, {1, 0, 0, 0}},
        {"LightViewPosition", [] { return new LightViewPositionVariable(); }, 0x0406, {0, 1, 0, 0}},
        {"ModelMatrix", [] { return new ModelMatrixVariable(); }, 0x0D06, floats(model)},
        {"NormalMatrix", [] { return new NormalMatrixVariable(); }, 0x0D06, floats(quarterTurn)},
        {"MVPMatrix", [] { return new MVPMatrixVariable(); }, 0x40000D06, floats(mvp)},
        {"Scalar", [] { return new ScalarVariable(3.25f); }, 0x0106, {3.25f}},
    };
}

TEST_F(RenderVariableTest, EachVariableHasItsFormatAndWritesItsValue)
{
    for (const Case& c : everyVariable()) {
        SharedPointer<RenderVariable> variable(c.make());
        EXPECT_EQ(variable->getFormat(), c.format) << c.name;
        EXPECT_EQ(Written(*variable, parameters.get()).values(), c.written) << c.name;
    }
}

TEST_F(RenderVariableTest, TheSwitchesWriteExactlyZeroOrOne)
{
    MaterialLightVariable light;
    MaterialTrackColorVariable track;
    parameters->materialState.light = false;
    parameters->materialState.trackColor = true;
    EXPECT_EQ(Written(light, parameters.get()).values(), std::vector<float>{0.0f});
    EXPECT_EQ(Written(track, parameters.get()).values(), std::vector<float>{1.0f});
}

TEST_F(RenderVariableTest, TheNormalMatrixKeepsOnlyTheInverseTransposeOfRotationAndScale)
{
    NormalMatrixVariable normal;
    parameters->viewMatrix = Matrix4x4();
    parameters->modelMatrix = Matrix4x4(1, 0, 0, 4, 0, 1, 0, 5, 0, 0, 1, 6, 0, 0, 0, 1);
    EXPECT_EQ(Written(normal, parameters.get()).values(), floats(Matrix4x4()));

    parameters->modelMatrix = Matrix4x4(2, 0, 0, 4, 0, 4, 0, 5, 0, 0, 1, 6, 0, 0, 0, 1);
    EXPECT_EQ(Written(normal, parameters.get()).values(),
              floats(Matrix4x4(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)));
}

TEST_F(RenderVariableTest, TextureVariablesFollowTheUnitTheyLinkedTo)
{
    IntrusivePointer<support::RecordingRenderState> state = new support::RecordingRenderState(calls, "state");
    IntrusivePointer<RenderPass> pass = new RenderPass(materials(), state.get(), nullptr);
    IntrusivePointer<support::RecordingTexture> texture = new support::RecordingTexture(calls, "image");
    pass->setTextureLocationName(Shader::ShaderType_FRAGMENT, 0, "bare");
    pass->setTextureLocationName(Shader::ShaderType_FRAGMENT, 2, "tex");
    TextureState stage;
    stage.matrix = Matrix4x4(1, 0, 0, 0.5f, 0, 1, 0, 0.25f, 0, 0, 1, 0, 0, 0, 0, 1);
    pass->setTexture(Shader::ShaderType_FRAGMENT, 2, texture.get(), SamplerState(), stage);
    parameters->renderPass = pass.get();

    TextureSetVariable set("tex");
    TextureMatrixVariable matrix("tex");
    TextureMatrixVariable bare("bare");
    set.linked(pass.get());
    matrix.linked(pass.get());
    bare.linked(pass.get());
    EXPECT_EQ(set.getShaderType(), Shader::ShaderType_FRAGMENT);
    EXPECT_EQ(set.getTextureIndex(), 2);
    EXPECT_EQ(set.getFormat(), 0x0106);
    EXPECT_EQ(matrix.getFormat(), 0x30D06);
    EXPECT_EQ(bare.getFormat(), 0x10D06);

    EXPECT_EQ(Written(set, parameters.get()).values(), std::vector<float>{1.0f});
    EXPECT_EQ(Written(matrix, parameters.get()).values(), floats(stage.matrix));
    EXPECT_EQ(Written(bare, parameters.get()).values(), floats(Matrix4x4()));

    pass->setTexture(Shader::ShaderType_FRAGMENT, 2, nullptr, SamplerState(), TextureState());
    EXPECT_EQ(Written(set, parameters.get()).values(), std::vector<float>{0.0f});

    // A name that matches no unit leaves the variable unlinked.
    TextureSetVariable missing("missing");
    missing.linked(pass.get());
    EXPECT_EQ(missing.getTextureIndex(), -1);
    EXPECT_EQ(Written(missing, parameters.get()).values(), std::vector<float>{});
}

TEST_F(RenderVariableTest, UpdatingAllocatesNothing)
{
    IntrusivePointer<support::RecordingRenderState> state = new support::RecordingRenderState(calls, "state");
    IntrusivePointer<RenderPass> pass = new RenderPass(materials(), state.get(), nullptr);
    pass->setTextureLocationName(Shader::ShaderType_FRAGMENT, 0, "tex");
    parameters->renderPass = pass.get();
    std::vector<SharedPointer<RenderVariable>> variables;
    for (const Case& c : everyVariable()) {
        variables.push_back(SharedPointer<RenderVariable>(c.make()));
        variables.back()->linked(pass.get());
    }
    unsigned char data[64];

    const int64_t before = support::allocationCount();
    for (int round = 0; round < 3; ++round) {
        for (const SharedPointer<RenderVariable>& variable : variables) {
            variable->update(data, parameters.get());
        }
    }
    EXPECT_EQ(support::allocationCount() - before, 0);
}

} // namespace

#include "render/BackableShader.h"
#include "render/BackableShaderState.h"

#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "core/ResourceDestroyedListener.h"
#include "core/String.h"
#include "support/CallLog.h"
#include "support/RecordingRenderDevice.h"
#include "support/RecordingShader.h"
#include "support/RecordingShaderState.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rezezaz::render {
namespace {

using core::IntrusivePointer;
using core::String;
using support::CallLog;
using support::RecordingShader;
using support::RecordingShaderState;
using Calls = std::vector<std::string>;

class DestroyRecorder : public core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(core::Resource* resource) override { told.push_back(resource); }
    std::vector<core::Resource*> told;
};

class BackableShaderTest : public ::testing::Test
{
protected:
    IntrusivePointer<RecordingShader> newBack(const char* label)
    {
        return IntrusivePointer<RecordingShader>(new RecordingShader(log, label));
    }

    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    support::RecordingRenderDevice device{log};
    IntrusivePointer<BackableShader> shader{new BackableShader()};
};

TEST_F(BackableShaderTest, TheFirstSupportedProfileWithCodeThatCompilesIsUsed)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> profiles;
        std::vector<std::string> codes;
        Calls calls;
        const char* profile; // null: no back afterwards
    };
    const Case cases[] = {
        {"unsupported, then empty code, then code",
         {"hlsl", "glsl", "glsl"},
         {"float4 main()", "", "void main() {}"},
         {"back.create(1,glsl,void main() {})"},
         "glsl"},
        {"a refused compile tries the next",
         {"glsl", "glsl"},
         {"refused", "second"},
         {"back.create(1,glsl,refused)", "back.create(1,glsl,second)"},
         "glsl"},
        {"an engine error tries the next",
         {"glsl", "glsl"},
         {"raising", "x"},
         {"back.create(1,glsl,raising)", "back.create(1,glsl,x)"},
         "glsl"},
        {"the only profile raises", {"glsl"}, {"raising"}, {"back.create(1,glsl,raising)"}, nullptr},
        {"no supported profile", {"cg"}, {"code"}, {}, nullptr},
        {"no profiles at all", {}, {}, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log->take();
        std::vector<String> profiles, codes;
        for (size_t i = 0; i < c.profiles.size(); ++i) {
            profiles.emplace_back(c.profiles[i].c_str());
            codes.emplace_back(c.codes[i].c_str());
        }
        IntrusivePointer<BackableShader> shader(new BackableShader());
        ASSERT_TRUE(shader->create(Shader::ShaderType_FRAGMENT, profiles.data(), codes.data(),
                                   static_cast<int>(profiles.size())));
        IntrusivePointer<RecordingShader> back = newBack("back");
        EXPECT_NO_THROW(shader->setBack(back, &device));
        EXPECT_EQ(log->take(), c.calls);
        EXPECT_EQ(shader->getShaderType(), Shader::ShaderType_FRAGMENT);
        if (c.profile != nullptr) {
            EXPECT_EQ(shader->getBack(), back);
            EXPECT_EQ(shader->getRootShader(), back.get());
            EXPECT_STREQ(shader->getProfile().c_str(), c.profile);
        } else {
            // Let go, not destroyed.
            EXPECT_EQ(shader->getBack(), nullptr);
            EXPECT_EQ(shader->getRootShader(), nullptr);
            EXPECT_EQ(shader->getProfile().length(), 0);
        }
    }
}

TEST_F(BackableShaderTest, TheCodeIsCompiledAgainOnEveryNewBack)
{
    ASSERT_TRUE(shader->create(Shader::ShaderType_VERTEX, String("glsl"), String("void main() {}")));
    IntrusivePointer<RecordingShader> first = newBack("first");
    shader->setBack(first, &device);
    shader->setBack(first, &device);
    EXPECT_EQ(log->take(),
              (Calls{"first.create(0,glsl,void main() {})", "first.create(0,glsl,void main() {})"}));

    IntrusivePointer<RecordingShader> second = newBack("second");
    shader->setBack(second, &device);
    EXPECT_EQ(log->take(), (Calls{"first.destroy()", "second.create(0,glsl,void main() {})"}));

    shader->setBack(nullptr, nullptr);
    EXPECT_EQ(log->take(), Calls{"second.destroy()"});
    EXPECT_EQ(shader->getProfile().length(), 0);

    // The device's own shaders go through the same profile loop without a wrapper.
    const String profile("glsl");
    const String code("x");
    EXPECT_TRUE(
        BackableShader::convertCreate(second, &device, Shader::ShaderType_GEOMETRY, &profile, &code, 1));
    EXPECT_FALSE(
        BackableShader::convertCreate(nullptr, &device, Shader::ShaderType_GEOMETRY, &profile, &code, 1));
    EXPECT_EQ(log->take(), Calls{"second.create(2,glsl,x)"});
    EXPECT_FALSE(shader->create(Shader::ShaderType_VERTEX, nullptr, nullptr, 2));
    EXPECT_FALSE(shader->create(Shader::ShaderType_VERTEX, &profile, &code, -1));
}

TEST_F(BackableShaderTest, DestroyDestroysTheBackAndForgetsTheCode)
{
    ASSERT_TRUE(shader->create(Shader::ShaderType_VERTEX, String("glsl"), String("code")));
    IntrusivePointer<RecordingShader> back = newBack("back");
    shader->setBack(back, &device);
    log->take();
    DestroyRecorder recorder;
    shader->setDestroyedListener(&recorder);
    shader->destroy();
    EXPECT_EQ(log->take(), Calls{"back.destroy()"});
    EXPECT_EQ(recorder.told, std::vector<core::Resource*>{shader->resourceThis()});
    // Nothing left to compile.
    IntrusivePointer<RecordingShader> later = newBack("later");
    shader->setBack(later, &device);
    EXPECT_TRUE(log->calls.empty());
    EXPECT_EQ(shader->getBack(), nullptr);
}

class BackableShaderStateTest : public BackableShaderTest
{
protected:
    IntrusivePointer<Shader> named(const char* name)
    {
        IntrusivePointer<BackableShader> result(new BackableShader());
        result->setName(String(name));
        return result;
    }

    IntrusivePointer<BackableShaderState> state{new BackableShaderState()};
};

TEST_F(BackableShaderStateTest, EveryShaderSlotIsReplayedOntoEachNewBack)
{
    IntrusivePointer<Shader> geometry = named("geometry");
    state->setShader(Shader::ShaderType_GEOMETRY, geometry);
    EXPECT_EQ(state->getShader(Shader::ShaderType_GEOMETRY), geometry);
    EXPECT_EQ(state->getShader(Shader::ShaderType_VERTEX), nullptr);
    EXPECT_EQ(state->getShader(static_cast<Shader::ShaderType>(3)), nullptr);
    EXPECT_EQ(state->getRootShaderState(), nullptr);
    EXPECT_EQ(state->getNumVariableBuffers(Shader::ShaderType_VERTEX), 0);
    EXPECT_EQ(state->getVariableBufferFormat(Shader::ShaderType_VERTEX, 0), nullptr);
    EXPECT_TRUE(state->create());

    IntrusivePointer<RecordingShaderState> first(new RecordingShaderState(log, "first"));
    state->setBack(first);
    EXPECT_EQ(log->take(), (Calls{"first.create()", "first.setShader(0,null)", "first.setShader(1,null)",
                                  "first.setShader(2,geometry)"}));
    EXPECT_EQ(state->getRootShaderState(), first.get());

    // A shader set while backed goes on to the back; the back answers the variable questions.
    state->setShader(Shader::ShaderType_VERTEX, named("vertex"));
    EXPECT_EQ(log->take(), Calls{"first.setShader(0,vertex)"});
    first->variableFormat = new VariableBufferFormat(true, String(), 16, 0);
    EXPECT_EQ(state->getNumVariableBuffers(Shader::ShaderType_VERTEX), 1);
    EXPECT_EQ(state->getVariableBufferFormat(Shader::ShaderType_VERTEX, 0), first->variableFormat);

    IntrusivePointer<RecordingShaderState> second(new RecordingShaderState(log, "second"));
    state->setBack(second);
    EXPECT_EQ(log->take(), (Calls{"first.destroy()", "second.create()", "second.setShader(0,vertex)",
                                  "second.setShader(1,null)", "second.setShader(2,geometry)"}));

    // Replacing a shader lets go of the old one.
    state->setShader(Shader::ShaderType_GEOMETRY, nullptr);
    EXPECT_EQ(state->getShader(Shader::ShaderType_GEOMETRY), nullptr);
    log->take();

    DestroyRecorder recorder;
    state->setDestroyedListener(&recorder);
    state->destroy();
    EXPECT_EQ(log->take(), Calls{"second.destroy()"});
    EXPECT_EQ(recorder.told.size(), 1u);
    EXPECT_EQ(state->getShader(Shader::ShaderType_VERTEX), nullptr);
}

} // namespace
} // namespace rezezaz::render

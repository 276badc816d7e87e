// A backable render state across the loss of its render context: the records set once reach the
// device state of a second context and are applied there as before.
#include "support/gl/GLDeviceFixture.h"

#include "render/BackableRenderState.h"

using rezezaz::core::IntrusivePointer;
using namespace rezezaz::render;

namespace {

class BackableRenderStateGLTest : public gltest::GLDeviceFixture
{
protected:
    static void expectApplied()
    {
        EXPECT_TRUE(enabled(GL_BLEND));
        EXPECT_EQ(integer(GL_BLEND_SRC), static_cast<GLint>(GL_SRC_ALPHA));
        EXPECT_EQ(integer(GL_BLEND_DST), static_cast<GLint>(GL_ONE_MINUS_SRC_ALPHA));
        GLboolean depthWrite = GL_TRUE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
        EXPECT_EQ(depthWrite, GL_FALSE);
        EXPECT_EQ(integer(GL_DEPTH_FUNC), static_cast<GLint>(GL_GREATER));
    }
};

TEST_F(BackableRenderStateGLTest, RecordsSurviveALostContextAndApplyOnTheNextDevice)
{
    IntrusivePointer<BackableRenderState> state(new BackableRenderState());
    BlendState blend;
    blend.source = BlendState::Operation_SRC_ALPHA;
    blend.dest = BlendState::Operation_ONE_MINUS_SRC_ALPHA;
    state->setBlendState(blend);
    DepthState depth;
    depth.test = DepthState::DepthTest_GREATER;
    depth.write = false;
    state->setDepthState(depth);

    // Without a back the device has nothing to apply.
    EXPECT_FALSE(device->setRenderState(state.get()));
    state->setBack(device->createRenderState());
    ASSERT_TRUE(device->setRenderState(state.get()));
    expectApplied();

    // The context goes: its state with it. A new window target and device make a new context.
    state->setBack(nullptr);
    device->destroy();
    device = nullptr;
    target = nullptr;
    Window second = x.createWindow(width, height);
    WindowRenderTargetFormat format;
    format.threadCount = 1;
    target = new_GLXRenderTarget(nullptr, second, &format);
    device = static_cast<GLRenderDevice*>(new_GLRenderDevice());
    ASSERT_TRUE(device->create(target.get(), 0));
    EXPECT_FALSE(enabled(GL_BLEND));

    state->setBack(device->createRenderState());
    ASSERT_TRUE(device->setRenderState(state.get()));
    expectApplied();
    BlendState out;
    ASSERT_TRUE(state->getBlendState(out));
    EXPECT_EQ(out.dest, BlendState::Operation_ONE_MINUS_SRC_ALPHA);
}

} // namespace

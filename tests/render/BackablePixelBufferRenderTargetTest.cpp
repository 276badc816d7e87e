#include "render/BackablePixelBufferRenderTarget.h"

#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "core/ResourceDestroyedListener.h"
#include "core/String.h"
#include "support/CallLog.h"
#include "support/RecordingBuffer.h"
#include "support/RecordingPixelBufferRenderTarget.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rezezaz::render {
namespace {

using core::IntrusivePointer;
using support::CallLog;
using support::RecordingBuffer;
using support::RecordingPixelBufferRenderTarget;
using Calls = std::vector<std::string>;

class DestroyRecorder : public core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(core::Resource* resource) override { told.push_back(resource); }
    std::vector<core::Resource*> told;
};

class BackablePixelBufferRenderTargetTest : public ::testing::Test
{
protected:
    IntrusivePointer<PixelBuffer> buffer(const char* name)
    {
        IntrusivePointer<RecordingBuffer> result(new RecordingBuffer(log, name));
        result->setName(core::String(name));
        return IntrusivePointer<PixelBuffer>(result.get());
    }
    IntrusivePointer<RecordingPixelBufferRenderTarget> newBack(const char* label)
    {
        return IntrusivePointer<RecordingPixelBufferRenderTarget>(
            new RecordingPixelBufferRenderTarget(log, label));
    }

    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    IntrusivePointer<BackablePixelBufferRenderTarget> target{new BackablePixelBufferRenderTarget()};
};

TEST_F(BackablePixelBufferRenderTargetTest, AttachmentsMadeWithoutABackAreReplayedInOrder)
{
    // Without a back nothing is valid or sized, and create has nothing to fail.
    EXPECT_FALSE(target->isValid());
    EXPECT_FALSE(target->isPrimary());
    EXPECT_EQ(target->getWidth(), 0);
    EXPECT_EQ(target->getHeight(), 0);
    EXPECT_EQ(target->getRootRenderTarget(), nullptr);
    EXPECT_EQ(target->getRootPixelBufferRenderTarget(), nullptr);
    EXPECT_TRUE(target->create());

    IntrusivePointer<PixelBuffer> color = buffer("color");
    IntrusivePointer<PixelBuffer> depth = buffer("depth");
    EXPECT_TRUE(target->attach(color, PixelBufferRenderTarget::Attachment_COLOR));
    EXPECT_TRUE(target->attach(depth, PixelBufferRenderTarget::Attachment_DEPTH));

    IntrusivePointer<RecordingPixelBufferRenderTarget> first = newBack("first");
    target->setBack(first);
    EXPECT_EQ(log->take(), (Calls{"first.create()", "first.attach(color,1)", "first.attach(depth,0)"}));
    EXPECT_TRUE(target->isValid());
    EXPECT_EQ(target->getWidth(), 64);
    EXPECT_EQ(target->getHeight(), 32);
    EXPECT_EQ(target->getRootPixelBufferRenderTarget(), first.get());
    EXPECT_EQ(target->getAdaptorInfo(), nullptr);

    // Changes while backed go on, and the back's answers come back.
    first->attachResult = false;
    IntrusivePointer<PixelBuffer> extra = buffer("extra");
    EXPECT_FALSE(target->attach(extra, PixelBufferRenderTarget::Attachment_COLOR));
    EXPECT_TRUE(target->remove(color));
    target->resetDestroy();
    target->resetCreate();
    EXPECT_EQ(log->take(), (Calls{"first.attach(extra,1)", "first.remove(color)", "first.resetDestroy()",
                                  "first.resetCreate()"}));

    // A new device target: the old one goes, the new one gets what is attached now.
    IntrusivePointer<RecordingPixelBufferRenderTarget> second = newBack("second");
    target->setBack(second);
    EXPECT_EQ(log->take(), (Calls{"first.destroy()", "second.create()", "second.attach(depth,0)",
                                  "second.attach(extra,1)"}));
    target->setBack(second);
    EXPECT_EQ(log->take(), (Calls{"second.create()", "second.attach(depth,0)", "second.attach(extra,1)"}));
    target->setBack(nullptr);
    EXPECT_EQ(log->take(), Calls{"second.destroy()"});
    EXPECT_FALSE(target->isValid());
}

TEST_F(BackablePixelBufferRenderTargetTest, RemoveTakesOnlyTheFirstAttachmentOfThatBuffer)
{
    IntrusivePointer<RecordingPixelBufferRenderTarget> back = newBack("back");
    target->setBack(back);
    IntrusivePointer<PixelBuffer> twice = buffer("twice");
    IntrusivePointer<PixelBuffer> other = buffer("other");
    target->attach(twice, PixelBufferRenderTarget::Attachment_COLOR);
    target->attach(other, PixelBufferRenderTarget::Attachment_COLOR);
    target->attach(twice, PixelBufferRenderTarget::Attachment_DEPTH);
    log->take();

    // A buffer never attached: false, and the back hears nothing.
    EXPECT_FALSE(target->remove(buffer("stranger")));
    EXPECT_TRUE(log->calls.empty());

    EXPECT_TRUE(target->remove(twice));
    target->setBack(back);
    EXPECT_EQ(log->take(),
              (Calls{"back.remove(twice)", "back.create()", "back.attach(other,1)", "back.attach(twice,0)"}));
}

TEST_F(BackablePixelBufferRenderTargetTest, DestroyDestroysTheBackAndTellsTheListener)
{
    IntrusivePointer<RecordingPixelBufferRenderTarget> back = newBack("back");
    target->setBack(back);
    log->take();
    DestroyRecorder recorder;
    target->setDestroyedListener(&recorder);
    target->destroy();
    EXPECT_EQ(log->take(), Calls{"back.destroy()"});
    EXPECT_EQ(recorder.told, std::vector<core::Resource*>{target->resourceThis()});
    EXPECT_EQ(target->getBack(), nullptr);
}

} // namespace
} // namespace rezezaz::render

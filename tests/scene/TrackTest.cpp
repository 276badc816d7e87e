#include "MeshFixture.h"

#include "scene/Sequence.h"
#include "scene/Track.h"

using namespace scenetest;
using rezezaz::scene::Sequence;
using rezezaz::scene::Track;

namespace {

class TrackTest : public MeshFixture
{
protected:
    // A track on the engine's transform format with keys at the given times.
    Pointer<Track> track(const std::vector<float>& keyTimes)
    {
        Pointer<Track> t(new Track(engine->getVertexFormats().POSITION_SEMANTIC7_SEMANTIC6.get()));
        std::vector<unsigned char> record(static_cast<size_t>(t->format->getVertexSize()));
        for (float time : keyTimes) {
            t->addKeyFrame(time, record.data());
        }
        return t;
    }
};

TEST_F(TrackTest, KeyFramesAtTimeFollowTheHint)
{
    struct Case
    {
        const char* name;
        std::vector<float> times;
        float time;
        int hint;
        int key1;
        int key2;
        float fraction;
        int hintAfter;
    };
    const std::vector<Case> cases = {
        {"forward from the first key", {0, 1, 2}, 1.5f, 0, 1, 2, 0.5f, 1},
        {"forward again from the hint left", {0, 1, 2}, 1.5f, 1, 1, 2, 0.5f, 1},
        {"after the last key", {0, 1, 2}, 5.0f, 0, 2, 2, 0.0f, 2},
        {"backward from the last key", {0, 1, 2}, 0.5f, 2, 0, 1, 0.5f, 0},
        {"a negative hint starts at 0", {0, 1, 2}, 1.5f, -3, 1, 2, 0.5f, 1},
        {"a hint of n starts at 0", {0, 1, 2}, 0.5f, 3, 0, 1, 0.5f, 0},
        {"on a key searching forward", {0, 1, 2}, 1.0f, 0, 0, 1, 1.0f, 0},
        {"on a key searching backward", {0, 1, 2}, 1.0f, 1, 1, 2, 0.0f, 1},
        {"before the first key", {1, 2, 3}, 0.0f, 0, 0, 1, -1.0f, 0},
        {"one key", {4}, 9.0f, 0, 0, 0, 0.0f, 0},
        // Out of order: the span is measured to the length, which is the later key here.
        {"unordered keys reaching the length", {0, 2, 1}, 3.0f, 0, 2, 2, 0.0f, 2},
        {"unordered keys from the largest", {0, 2, 1}, 2.0f, 1, 1, 2, 0.0f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pointer<Track> t = track(c.times);
        int key1 = -1;
        int key2 = -1;
        int hint = c.hint;
        const float fraction = t->getKeyFramesAtTime(c.time, key1, key2, hint);
        EXPECT_EQ(key1, c.key1);
        EXPECT_EQ(key2, c.key2);
        EXPECT_FLOAT_EQ(fraction, c.fraction);
        EXPECT_EQ(hint, c.hintAfter);
    }
}

TEST_F(TrackTest, WithoutKeysNothingIsChosenAndNaNStaysInsideTheKeys)
{
    Pointer<Track> empty = track({});
    int key1 = 7;
    int key2 = 8;
    int hint = 0;
    EXPECT_EQ(empty->getKeyFramesAtTime(1.0f, key1, key2, hint), 0.0f);
    EXPECT_EQ(key1, 7);
    EXPECT_EQ(key2, 8);

    Pointer<Track> t = track({0, 1, 2});
    t->getKeyFramesAtTime(std::nanf(""), key1, key2, hint);
    EXPECT_GE(key1, 0);
    EXPECT_LT(key2, 3);
}

TEST_F(TrackTest, KeysAreStoredAndANullRecordStillAddsOne)
{
    Pointer<Track> t(new Track(engine->getVertexFormats().COLOR.get()));
    const float red[4] = {1, 0, 0, 1};
    EXPECT_EQ(t->addKeyFrame(0.5f, red), 0);
    EXPECT_EQ(t->addKeyFrame(2.0f, nullptr), 1);
    EXPECT_EQ(t->getSize(), 2);
    EXPECT_EQ(t->getDataSize(), 32);
    EXPECT_EQ(t->length, 2.0f);

    // The accessor follows the grown data, so the caller fills the second record through it.
    const rezezaz::render::VertexBufferAccessor& a = t->getAccessor();
    ASSERT_NE(a.floatData, nullptr);
    EXPECT_EQ(a.vertexSize, 4);
    a.floatData[a.vertexSize + 1] = 0.25f;
    float record[4] = {};
    ASSERT_TRUE(t->getKeyFrame(record, 1));
    EXPECT_EQ(record[1], 0.25f);
    ASSERT_TRUE(t->getKeyFrame(record, 0));
    EXPECT_EQ(record[0], 1.0f);
    EXPECT_FALSE(t->getKeyFrame(record, 2));
    EXPECT_FALSE(t->getKeyFrame(record, -1));

    // As a buffer: dynamic, read and write, the data whatever the lock, no updates.
    EXPECT_EQ(t->getUsage(), 4);
    EXPECT_EQ(t->getAccess(), 3);
    EXPECT_EQ(t->lock(1), a.data);
    EXPECT_TRUE(t->unlock());
    EXPECT_FALSE(t->update(nullptr, 0, 0));
}

TEST_F(TrackTest, ColorTracksAndFixedPointTracks)
{
    Pointer<Track> colour = buffers()->createColorTrack();
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->format.get(), engine->getVertexFormats().COLOR.get());

    Pointer<VertexFormat> fixedFormat = buffers()->createVertexFormat();
    fixedFormat->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FIXED32, 3));
    Pointer<Track> t(new Track(fixedFormat.get()));
    const int32_t record[3] = {65536, -32768, 3 << 16};
    t->addKeyFrame(1.0f, record);
    const rezezaz::render::VertexBufferAccessor& a = t->getAccessor();
    EXPECT_TRUE(a.fixed);
    ASSERT_NE(a.fixedData, nullptr);
    EXPECT_EQ(a.fixedData[1], -32768);
    EXPECT_EQ(a.floatData, nullptr);
}

TEST_F(TrackTest, CompileTakesTheLargestTimeNeverBelowZero)
{
    Pointer<Track> negative = track({-3, -1});
    negative->compile();
    EXPECT_EQ(negative->length, 0.0f);
    Pointer<Track> t = track({0, 4, 2});
    t->length = 9.0f;
    t->compile();
    EXPECT_EQ(t->length, 4.0f);
}

TEST_F(TrackTest, SequenceLengthOverAddRemoveAndCompile)
{
    Pointer<Sequence> sequence(new Sequence());
    sequence->addTrack(track({0, 2}).get());
    sequence->addTrack(track({0, 1}).get());
    sequence->addTrack(nullptr);
    EXPECT_EQ(sequence->getNumTracks(), 3);
    EXPECT_EQ(sequence->length, 2.0f);

    sequence->removeTrack(0);
    EXPECT_EQ(sequence->getNumTracks(), 2);
    EXPECT_EQ(sequence->length, 2.0f);
    EXPECT_EQ(sequence->getTrack(0)->length, 1.0f);

    // Outside the list nothing happens.
    sequence->removeTrack(2);
    sequence->removeTrack(-1);
    EXPECT_EQ(sequence->getNumTracks(), 2);

    sequence->compile();
    EXPECT_EQ(sequence->length, 1.0f);
    EXPECT_EQ(sequence->getTrack(5), nullptr);
}

} // namespace

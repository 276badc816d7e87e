#include "render/RenderStateRecords.h"

#include <gtest/gtest.h>

#include <climits>

namespace rezezaz::render {
namespace {

// Every staged operation goes through the one bounds check: a stage it refuses is neither kept nor
// read, and no list grows for it.
TEST(RenderStateRecordsTest, AStageOutsideTheListsIsRefusedByEveryOperation)
{
    struct Case
    {
        int list;
        int stage;
        bool kept;
    };
    const Case cases[] = {
        {0, 0, true},        {1, 3, true},   {-1, 0, false},      {2, 0, false},
        {INT_MIN, 0, false}, {0, -1, false}, {1, INT_MIN, false},
    };
    RenderStateRecords records(2);
    for (const Case& c : cases) {
        TextureState state;
        state.texCoordIndex = 9;
        EXPECT_EQ(records.set(c.list, c.stage, state), c.kept) << c.list << "," << c.stage;
        TextureState out;
        EXPECT_EQ(records.get(c.list, c.stage, out), c.kept) << c.list << "," << c.stage;
        EXPECT_EQ(out.texCoordIndex, c.kept ? 9 : TextureState().texCoordIndex);
        EXPECT_EQ(records.find<TextureState>(c.list, c.stage) != nullptr, c.kept) << c.list << "," << c.stage;
    }
    EXPECT_EQ(records.count<TextureState>(0), 1);
    EXPECT_EQ(records.count<TextureState>(1), 4);
    EXPECT_EQ(records.count<TextureState>(-1), 0);
    EXPECT_EQ(records.count<TextureState>(2), 0);
    // Sampler and texture states have lists of their own.
    EXPECT_EQ(records.count<SamplerState>(1), 0);
    SamplerState sampler;
    EXPECT_FALSE(records.get(1, 3, sampler));

    records.clear();
    EXPECT_EQ(records.count<TextureState>(1), 0);
    EXPECT_EQ(records.find<TextureState>(0, 0), nullptr);
}

} // namespace
} // namespace rezezaz::render

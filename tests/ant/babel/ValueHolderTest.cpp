// The value holders the decoders are built from.

#include "ant/babel/AccumValue.h"
#include "ant/babel/OverflowValue.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vbabel::data;

namespace {

TEST(ValueHolder, AccumValueGivesTheDeltaSinceThePreviousReading)
{
    struct Case
    {
        const char* name;
        int range;
        std::vector<int> readings, deltas;
    };
    const Case cases[] = {
        // The first update yields the raw reading: the previous one starts at 0.
        {"plain", 0, {5, 9, 9, 3}, {5, 4, 0, -6}},
        {"16-bit", 65536, {0xFFF0, 0x0010, 0x0010, 0xFFFF}, {0xFFF0, 0x20, 0, 0xFFEF}},
        {"8-bit", 256, {250, 4, 5}, {250, 10, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AccumValue<int> value(c.range);
        std::vector<int> deltas;
        for (int r : c.readings) {
            value.update(r);
            deltas.push_back(value.value());
        }
        EXPECT_EQ(deltas, c.deltas);
    }
}

TEST(ValueHolder, OverflowValueAddsTheRangeAtEachWrap)
{
    OverflowValue<int> ticks(256);
    std::vector<int> values;
    for (int r : {250, 253, 2, 2, 255, 0})
        values.push_back((ticks.update(r), ticks.value()));
    EXPECT_EQ(values, (std::vector<int>{250, 253, 258, 258, 511, 512}));
}

} // namespace

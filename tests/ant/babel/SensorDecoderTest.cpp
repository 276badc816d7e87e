// Heart-rate, speed and cadence sensors: deltas of counters that wrap, rates without a time step, and
// the combined sensor's pages without a page number.

#include "Pages.h"

#include <gtest/gtest.h>

using namespace vbabel::data;
using namespace vbabel::data::test;

namespace {

Message timedPage(int number, int time, int count)
{
    return page({number, 0, 0, 0, time & 0xFF, time >> 8, count & 0xFF, count >> 8});
}

struct RateCase
{
    const char* name;
    Decoder decoder;
    int timeId, countId, rateId;
};

const RateCase kRateCases[] = {
    {"speed", Decoder::Speed, 10, 11, 12},
    {"cadence", Decoder::Cadence, 13, 14, 15},
};

TEST(SensorDecoder, CountersThatWrapGiveTheTrueRate)
{
    for (const RateCase& c : kRateCases) {
        SCOPED_TRACE(c.name);
        auto decoder = makeDecoder(c.decoder);
        feed(*decoder, timedPage(0x80, 0xFE00, 0xFFFF));
        feed(*decoder, timedPage(0x00, 0x0200, 0x0001));
        EXPECT_EQ(readInt(*decoder, c.timeId).value, 1024);
        EXPECT_EQ(readInt(*decoder, c.countId).value, 2);
        EXPECT_FLOAT_EQ(static_cast<float>(readFloat(*decoder, c.rateId).value), 120.0f);
    }
}

TEST(SensorDecoder, MessageWithoutATimeStepKeepsThePreviousRate)
{
    for (const RateCase& c : kRateCases) {
        SCOPED_TRACE(c.name);
        auto decoder = makeDecoder(c.decoder);
        feed(*decoder, timedPage(0x00, 0x1000, 10));
        feed(*decoder, timedPage(0x00, 0x1400, 12));
        EXPECT_TRUE(feed(*decoder, timedPage(0x00, 0x1400, 13)));
        EXPECT_EQ(readInt(*decoder, c.timeId).value, 0);
        EXPECT_EQ(readInt(*decoder, c.countId).value, 1);
        EXPECT_FLOAT_EQ(static_cast<float>(readFloat(*decoder, c.rateId).value), 120.0f);
    }
}

TEST(SensorDecoder, LargestCountInTheShortestTimeIsComputedWithoutOverflow)
{
    for (const RateCase& c : kRateCases) {
        SCOPED_TRACE(c.name);
        auto decoder = makeDecoder(c.decoder);
        feed(*decoder, timedPage(0x00, 0x0000, 0x0000));
        feed(*decoder, timedPage(0x00, 0x0001, 0xFFFF));
        EXPECT_FLOAT_EQ(static_cast<float>(readFloat(*decoder, c.rateId).value), 65535.0f * 61440.0f);
    }
}

TEST(SensorDecoder, HeartBeatCountAndEventTimeWrap)
{
    SportHeartrateData decoder;
    EXPECT_TRUE(feed(decoder, page({0x04, 0, 0, 0, 0x00, 0xFE, 254, 70})));
    EXPECT_TRUE(feed(decoder, page({0x84, 0, 0, 0, 0x00, 0x02, 1, 71})));
    EXPECT_EQ(readInt(decoder, 7).value, 1024);
    EXPECT_EQ(readInt(decoder, 8).value, 3);
    EXPECT_EQ(readInt(decoder, 9).value, 71);
}

TEST(SensorDecoder, CommonPagesGoToTheBaseAndNotToTheSensorPart)
{
    SportSpeedData decoder;
    EXPECT_TRUE(feed(decoder, page({0x50, 0xFF, 0xFF, 3, 0x01, 0x00, 0x02, 0x00})));
    EXPECT_EQ(decoder.receivedFields(), 0x1C);
    EXPECT_FALSE(readInt(decoder, 10).served);
}

// The combined sensor's byte 0 is the low byte of the cadence time, so it may read like a common page.
TEST(SensorDecoder, CombinedSensorDecodesEveryMessageAsSpeedAndCadence)
{
    SportSpeedCadenceData decoder;
    EXPECT_TRUE(feed(decoder, page({0x00, 0x04, 0x05, 0x00, 0x00, 0x10, 0x20, 0x00})));
    EXPECT_TRUE(feed(decoder, page({0x50, 0x05, 0x06, 0x00, 0x00, 0x14, 0x23, 0x00})));
    EXPECT_EQ(readInt(decoder, 13).value, 0x150);
    EXPECT_EQ(readInt(decoder, 14).value, 1);
    EXPECT_EQ(readInt(decoder, 11).value, 3);
    EXPECT_FALSE(readInt(decoder, 2).served);
    EXPECT_EQ(decoder.receivedFields(), 0xFC00);
}

} // namespace

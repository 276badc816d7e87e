// The power decoder's torque, power and calibration pages: the first-page rule, counters that wrap,
// intervals that yield nothing, and calibration pages that update fields without being reported.

#include "Pages.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vbabel::data;
using namespace vbabel::data::test;

namespace {

Message torquePage(int events, int ticks, int period, int torque)
{
    return page({0x12, events, ticks, 0, period & 0xFF, period >> 8, torque & 0xFF, torque >> 8});
}

struct Torque
{
    Reading power, revolutions, torque, cadence;
};

Torque readTorque(SportData& decoder)
{
    return {readFloat(decoder, 18), readInt(decoder, 19), readFloat(decoder, 20), readFloat(decoder, 15)};
}

TEST(PowerDecoder, FirstTorquePageOnlySetsTheStartAndTheSecondGivesTorqueCadenceAndPower)
{
    SportTorqueData decoder;
    EXPECT_TRUE(feed(decoder, torquePage(1, 10, 5000, 200)));
    Torque first = readTorque(decoder);
    EXPECT_TRUE(first.revolutions.served);
    EXPECT_EQ(first.revolutions.value, 0);
    // The page has arrived, so power and torque are served, but nothing was computed from it.
    EXPECT_EQ(first.power.value, 0);
    EXPECT_EQ(first.torque.value, 0);
    EXPECT_FALSE(first.cadence.served);
    EXPECT_EQ(decoder.receivedFields(), 0x1C0000);

    EXPECT_TRUE(feed(decoder, torquePage(2, 11, 5000 + 1024, 200 + 320)));
    Torque second = readTorque(decoder);
    EXPECT_FLOAT_EQ(static_cast<float>(second.torque.value), 10.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(second.cadence.value), 120.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(second.power.value), static_cast<float>(3.14159 * 10 * 120 / 30));
    EXPECT_EQ(second.revolutions.value, 1);
    // The cadence bits of the torque part are not announced by the power decoder.
    EXPECT_EQ(decoder.receivedFields() & 0xE000, 0);
}

// Pages after the two above whose interval yields no new values: the previous ones stay readable.
TEST(PowerDecoder, IntervalsWithoutEventsOrTimeKeepThePreviousValues)
{
    struct Case
    {
        const char* name;
        Message third;
    };
    const Case cases[] = {
        {"event count unchanged", torquePage(2, 12, 6024 + 1024, 520 + 320)},
        {"period unchanged", torquePage(3, 12, 6024, 520 + 320)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SportTorqueData decoder;
        feed(decoder, torquePage(1, 10, 5000, 200));
        feed(decoder, torquePage(2, 11, 6024, 520));
        EXPECT_TRUE(feed(decoder, c.third));
        Torque t = readTorque(decoder);
        EXPECT_FLOAT_EQ(static_cast<float>(t.torque.value), 10.0f);
        EXPECT_FLOAT_EQ(static_cast<float>(t.cadence.value), 120.0f);
        EXPECT_FLOAT_EQ(static_cast<float>(t.power.value), static_cast<float>(3.14159 * 10 * 120 / 30));
        EXPECT_EQ(t.revolutions.value, 2);
    }
}

// The event count is an 8-bit counter: the page on which it wraps from 255 to 0 counts its one
// event like any other, and gives that interval's torque, cadence and power.
TEST(PowerDecoder, EventCountThatWrapsGivesTheNewIntervalsValues)
{
    SportTorqueData decoder;
    feed(decoder, torquePage(253, 0, 0, 0));
    int period = 0;
    int torque = 0;
    const int events[] = {254, 255, 0, 1};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(events[i]);
        period += 1024;          // half a second: 120 rpm for one event
        torque += 320 * (i + 1); // 10, 20, 30, 40 N m
        EXPECT_TRUE(feed(decoder, torquePage(events[i], i + 1, period, torque)));
        Torque t = readTorque(decoder);
        EXPECT_FLOAT_EQ(static_cast<float>(t.torque.value), 10.0f * static_cast<float>(i + 1));
        EXPECT_FLOAT_EQ(static_cast<float>(t.cadence.value), 120.0f);
        // 128 pi times torque ticks over period ticks.
        EXPECT_NEAR(t.power.value, 128 * 3.14159 * 320 * (i + 1) / 1024, 0.01);
    }
}

// Period and torque are 16-bit counters: a wrap between two pages still gives the true interval.
TEST(PowerDecoder, PeriodAndTorqueCountersThatWrapGiveTheTrueDeltas)
{
    struct Case
    {
        const char* name;
        int period0, torque0;
    };
    const Case cases[] = {
        {"period wraps", 0xFF00, 0x1000},
        {"torque wraps", 0x1000, 0xFFC0},
        {"both wrap", 0xFFFF, 0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SportTorqueData decoder;
        feed(decoder, torquePage(7, 0, c.period0, c.torque0));
        feed(decoder, torquePage(8, 1, (c.period0 + 1024) & 0xFFFF, (c.torque0 + 320) & 0xFFFF));
        Torque t = readTorque(decoder);
        EXPECT_FLOAT_EQ(static_cast<float>(t.torque.value), 10.0f);
        EXPECT_FLOAT_EQ(static_cast<float>(t.cadence.value), 120.0f);
        EXPECT_GT(t.power.value, 0);
    }
}

TEST(PowerDecoder, CrankRevolutionsSinceTheFirstPageCountEveryWrapAsAFullTurnOfTheCounter)
{
    SportTorqueData decoder;
    const int ticks[] = {250, 253, 2, 200, 3};
    const int expected[] = {0, 3, 8, 206, 265};
    for (int i = 0; i < 5; ++i) {
        feed(decoder, torquePage(i + 1, ticks[i], 1000 * (i + 1), 100 * (i + 1)));
        EXPECT_EQ(readInt(decoder, 19).value, expected[i]) << "ticks " << ticks[i];
    }
}

TEST(PowerDecoder, AccumulatedPowerWrapsAndInstantaneousPowerIsServedWithoutAMaskBitOfItsOwn)
{
    SportTorqueData decoder;
    EXPECT_FALSE(readInt(decoder, 17).served);
    EXPECT_TRUE(feed(decoder, page({0x10, 200, 0xFF, 90, 0xF0, 0xFF, 0x2C, 0x01})));
    EXPECT_TRUE(feed(decoder, page({0x10, 201, 0xFF, 90, 0x10, 0x00, 0xFA, 0x00})));
    EXPECT_EQ(readInt(decoder, 16).value, 0x20);
    EXPECT_EQ(readInt(decoder, 17).value, 250);
    EXPECT_EQ(decoder.receivedFields(), 0x10000);
}

TEST(PowerDecoder, CalibrationPagesUpdateSupportAndOffsetButAreNotReported)
{
    SportTorqueData decoder;
    EXPECT_FALSE(feed(decoder, page({0x01, 0x12, 0x02, 0, 0, 0x10, 0x00, 0})));
    EXPECT_EQ(readInt(decoder, 21).value, 0);
    EXPECT_EQ(readInt(decoder, 22).value, 2);
    EXPECT_EQ(readInt(decoder, 23).value, 16);

    // 0xFFFF: no offset in this page; the support byte still counts.
    EXPECT_FALSE(feed(decoder, page({0x01, 0x12, 0x01, 0, 0, 0xFF, 0xFF, 0})));
    EXPECT_EQ(readInt(decoder, 21).value, 1);
    EXPECT_EQ(readInt(decoder, 23).value, 16);

    EXPECT_FALSE(feed(decoder, page({0x01, 0xAC, 0, 0, 0, 0, 0x00, 0x80})));
    EXPECT_EQ(readInt(decoder, 23).value, -32768);

    // Another calibration answer touches neither.
    EXPECT_FALSE(feed(decoder, page({0x01, 0xAF, 0x03, 0, 0, 0x01, 0x00, 0})));
    EXPECT_EQ(readInt(decoder, 21).value, 1);
    EXPECT_EQ(readInt(decoder, 23).value, -32768);
    EXPECT_EQ(decoder.receivedFields(), 0xE00000);
}

TEST(PowerDecoder, OffsetOfNoValueBeforeAnyOtherLeavesTheFieldUnserved)
{
    SportTorqueData decoder;
    feed(decoder, page({0x01, 0x12, 0x00, 0, 0, 0xFF, 0xFF, 0}));
    EXPECT_FALSE(readInt(decoder, 23).served);
    EXPECT_EQ(decoder.receivedFields(), 0x600000);
}

TEST(PowerDecoder, PagesItDoesNotKnowAreNotReported)
{
    SportTorqueData decoder;
    for (int number : {0x00, 0x02, 0x11, 0x13, 0x20, 0x53, 0xF0, 0xFF})
        EXPECT_FALSE(feed(decoder, page({number, 1, 2, 3, 4, 5, 6, 7}))) << "page " << number;
    EXPECT_EQ(decoder.receivedFields(), 0);
}

} // namespace

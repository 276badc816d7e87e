// Every field id from crafted pages: which decoder serves it, through which overload, and that nothing
// is served (and nothing written) before its page arrived.

#include "Pages.h"

#include <gtest/gtest.h>

#include <set>

using namespace vbabel::data::test;

namespace {

struct FieldCase
{
    int id;
    bool isFloat;
    Decoder decoder;
    std::vector<Message> pages;
    double expected;
    bool reported;     // what broadcastReceived answers for the last page
    bool servedBefore; // the maker's fields are served (as 0) before their page
};

const double kPower = 3.14159 * 10 * 120 / 30;

// Two torque pages one event apart: period delta 1024 (1/2048 s), torque delta 320 (1/32 N m).
const std::vector<Message> kTorquePages = {page({0x12, 1, 10, 0, 0x00, 0x00, 0x00, 0x00}),
                                           page({0x12, 2, 11, 0, 0x00, 0x04, 0x40, 0x01})};

std::vector<FieldCase> fieldCases()
{
    const Message manufacturer = page({0x50, 0xFF, 0xFF, 7, 0x34, 0x12, 0x78, 0x56});
    const Message product = page({0x51, 0xFF, 0xFF, 9, 0x01, 0x02, 0x03, 0x84});
    const std::vector<Message> heart = {page({0x04, 0, 0, 0, 0x00, 0x04, 10, 72}),
                                        page({0x84, 0, 0, 0, 0x00, 0x08, 11, 75})};
    const std::vector<Message> wheel = {page({0x00, 0, 0, 0, 0x00, 0x04, 0x0A, 0x00}),
                                        page({0x00, 0, 0, 0, 0x00, 0x08, 0x0C, 0x00})};
    const std::vector<Message> combined = {page({0x00, 0x04, 0x05, 0x00, 0x00, 0x10, 0x20, 0x00}),
                                           page({0x00, 0x06, 0x06, 0x00, 0x00, 0x14, 0x23, 0x00})};
    const std::vector<Message> powerPages = {page({0x10, 1, 0xFF, 90, 0x10, 0x00, 0xFA, 0x00}),
                                             page({0x10, 2, 0xFF, 90, 0x20, 0x01, 0x2C, 0x01})};
    const Message support = page({0x01, 0x12, 0x03, 0, 0, 0x10, 0x00, 0});
    const Message strain = page({0xF0, 0xE8, 0x00, 0x00, 0x80, 0, 0, 0});
    const Message bootload = page({0x10, 0x34, 0x12, 64, 0xC0, 0x02, 0x01, 5});

    return {
        {1, true, Decoder::Speed, {page({0x52, 0, 0, 0, 0, 0, 0x80, 0x03})}, 3.5, true, false},
        {2, false, Decoder::Heartrate, {manufacturer}, 7, true, false},
        {3, false, Decoder::Heartrate, {manufacturer}, 0x1234, true, false},
        {4, false, Decoder::Power, {manufacturer}, 0x5678, true, false},
        {5, false, Decoder::Cadence, {product}, 9, true, false},
        {6, false, Decoder::PowerMeter, {product}, static_cast<int>(0x84030201u), true, false},
        {7, false, Decoder::Heartrate, heart, 1024, true, false},
        {8, false, Decoder::Heartrate, heart, 1, true, false},
        {9, false, Decoder::Heartrate, heart, 75, true, false},
        {10, false, Decoder::Speed, wheel, 1024, true, false},
        {11, false, Decoder::Speed, wheel, 2, true, false},
        {12, true, Decoder::Speed, wheel, 120, true, false},
        {10, false, Decoder::SpeedCadence, combined, 1024, true, false},
        {12, true, Decoder::SpeedCadence, combined, 3 * 61440.0 / 1024, true, false},
        {13, false, Decoder::Cadence, wheel, 1024, true, false},
        {14, false, Decoder::Cadence, wheel, 2, true, false},
        {15, true, Decoder::Cadence, wheel, 120, true, false},
        {13, false, Decoder::SpeedCadence, combined, 0x200, true, false},
        {14, false, Decoder::SpeedCadence, combined, 1, true, false},
        {15, true, Decoder::SpeedCadence, combined, 61440.0 / 0x200, true, false},
        {13, false, Decoder::Power, kTorquePages, 0, true, false},
        {14, false, Decoder::Power, kTorquePages, 0, true, false},
        {15, true, Decoder::Power, kTorquePages, 120, true, false},
        {16, false, Decoder::Power, powerPages, 0x110, true, false},
        {17, false, Decoder::Power, powerPages, 300, true, false},
        {18, true, Decoder::Power, kTorquePages, kPower, true, false},
        {19, false, Decoder::Power, kTorquePages, 1, true, false},
        {20, true, Decoder::Power, kTorquePages, 10, true, false},
        {15, true, Decoder::PowerMeter, kTorquePages, 120, true, false},
        {18, true, Decoder::PowerMeter, kTorquePages, kPower, true, false},
        {21, false, Decoder::Power, {support}, 1, false, false},
        {22, false, Decoder::Power, {support}, 2, false, false},
        {23, false, Decoder::Power, {support}, 16, false, false},
        {23, false, Decoder::PowerMeter, {page({0x01, 0xAC, 0, 0, 0, 0, 0xF0, 0xFF})}, -16, false, false},
        {24, false, Decoder::PowerMeter, {strain}, 0x0F, true, true},
        {25, false, Decoder::PowerMeter, {strain}, -8388608, true, true},
        {26, false, Decoder::Bootload, {bootload}, 0x1234, true, true},
        {27, true, Decoder::Bootload, {bootload}, 64 * 9 / 640.0, true, true},
        {28, false, Decoder::Bootload, {bootload}, 49152, true, true},
        {29, false, Decoder::Bootload, {bootload}, 0x0102, true, true},
        {30, false, Decoder::Bootload, {bootload}, 5, true, true},
    };
}

TEST(FieldTable, EachFieldIsServedByItsOverloadOnceItsPageArrived)
{
    for (const FieldCase& c : fieldCases()) {
        SCOPED_TRACE(testing::Message() << "field " << c.id << " of " << decoderName(c.decoder));
        auto decoder = makeDecoder(c.decoder);
        auto read = [&](bool asFloat) {
            return asFloat ? readFloat(*decoder, c.id) : readInt(*decoder, c.id);
        };

        Reading before = read(c.isFloat);
        EXPECT_EQ(before.served, c.servedBefore);
        EXPECT_TRUE(before.untouched);
        if (c.servedBefore) {
            EXPECT_EQ(before.value, 0);
        }

        EXPECT_EQ(feed(*decoder, c.pages), c.reported);

        Reading after = read(c.isFloat);
        ASSERT_TRUE(after.served);
        if (c.isFloat) {
            EXPECT_FLOAT_EQ(static_cast<float>(after.value), static_cast<float>(c.expected));
        } else {
            EXPECT_EQ(after.value, c.expected);
        }

        Reading wrongType = read(!c.isFloat);
        EXPECT_FALSE(wrongType.served);
        EXPECT_TRUE(wrongType.untouched);
    }
}

// After a decoder has seen every kind of page it understands, it answers exactly its own ids.
TEST(FieldTable, EachDecoderServesExactlyItsOwnIds)
{
    const std::vector<Message> common = {page({0x50, 0, 0, 1, 2, 0, 3, 0}), page({0x51, 0, 0, 4, 5, 0, 0, 0}),
                                         page({0x52, 0, 0, 0, 0, 0, 0x40, 0x02})};
    std::vector<Message> power = common;
    power.insert(power.end(), {page({0x10, 1, 0, 0, 0x10, 0, 0x20, 0}), kTorquePages[0], kTorquePages[1],
                               page({0x01, 0x12, 0x01, 0, 0, 0x05, 0x00, 0})});
    std::vector<Message> powerMeter = power;
    powerMeter.push_back(page({0xF0, 0x20, 1, 0, 0}));
    std::vector<Message> sensor = common;
    sensor.insert(sensor.end(),
                  {page({0x01, 0, 0, 0, 0x00, 0x04, 1, 60}), page({0x02, 0, 0, 0, 0x00, 0x08, 2, 61})});

    auto ids = [](int first, int last, std::set<int> more = {}) {
        for (int id = first; id <= last; ++id)
            more.insert(id);
        return more;
    };
    struct Case
    {
        Decoder decoder;
        std::vector<Message> pages;
        std::set<int> served;
        int mask;
    };
    const Case cases[] = {
        {Decoder::Power, power, ids(13, 23, ids(1, 6)), 0xFD007E},
        {Decoder::Heartrate, sensor, ids(1, 9), 0x3FE},
        {Decoder::Speed, sensor, ids(10, 12, ids(1, 6)), 0x1C7E},
        {Decoder::Cadence, sensor, ids(13, 15, ids(1, 6)), 0xE07E},
        // Combined sensors send no common pages: every message is speed and cadence.
        {Decoder::SpeedCadence, sensor, ids(10, 15), 0xFC00},
        {Decoder::PowerMeter, powerMeter, ids(13, 25, ids(1, 6)), 0x3FD007E},
        {Decoder::Bootload, {page({0x10, 1, 2, 3, 4, 5, 6, 7})}, ids(26, 30), 0x7C000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(decoderName(c.decoder));
        auto decoder = makeDecoder(c.decoder);
        int previousMask = 0;
        for (const Message& m : c.pages) {
            feed(*decoder, m);
            // The mask is cumulative: a later page never clears an earlier page's bits.
            int mask = decoder->receivedFields();
            EXPECT_EQ(mask & previousMask, previousMask);
            previousMask = mask;
        }
        EXPECT_EQ(decoder->receivedFields(), c.mask);

        std::set<int> served;
        for (int id = -1; id <= 32; ++id) {
            Reading f = readFloat(*decoder, id);
            Reading i = readInt(*decoder, id);
            EXPECT_TRUE(f.untouched && i.untouched) << "id " << id;
            EXPECT_FALSE(f.served && i.served) << "id " << id << " served as both types";
            if (f.served || i.served)
                served.insert(id);
        }
        EXPECT_EQ(served, c.served);
    }
}

} // namespace

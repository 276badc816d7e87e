// The power meter's own pages: strain and reed bits, the bootload page, and how the normal-mode
// decoder shares pages between the power pages and the strain page.

#include "../babel/Pages.h"

#include <gtest/gtest.h>

using namespace vbabel::data::test;
using vant::data::VelonixPowerMeterBootloadData;
using vant::data::VelonixPowerMeterData;
using vant::data::VelonixStrainData;

namespace {

TEST(VelonixData, StrainPageGivesReedBitsAndASigned24BitReading)
{
    struct Case
    {
        int reedByte, b2, b3, b4;
        int reedBits, strain;
    };
    const Case cases[] = {
        {0xE8, 0x00, 0x00, 0x80, 0x0F, -8388608}, {0x20, 0xFF, 0xFF, 0x7F, 0x01, 8388607},
        {0x10, 0xFF, 0xFF, 0xFF, 0x10, -1},       {0xC0, 0x01, 0x02, 0x03, 0x06, 0x030201},
        {0x07, 0x00, 0x00, 0x00, 0x00, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "reed byte " << c.reedByte);
        VelonixStrainData strain;
        EXPECT_TRUE(feed(strain, page({0xF0, c.reedByte, c.b2, c.b3, c.b4})));
        EXPECT_EQ(readInt(strain, 24).value, c.reedBits);
        EXPECT_EQ(readInt(strain, 25).value, c.strain);
        EXPECT_EQ(strain.receivedFields(), 0x3000000);
    }
}

TEST(VelonixData, PowerMeterHandsPowerPagesToThePowerPartAndStrainPagesToTheStrainPart)
{
    VelonixPowerMeterData meter;
    EXPECT_EQ(readInt(meter, 25).value, 0);
    EXPECT_EQ(meter.receivedFields(), 0);

    EXPECT_TRUE(feed(meter, page({0x10, 1, 0xFF, 90, 0x10, 0x00, 0xFA, 0x00})));
    EXPECT_EQ(readInt(meter, 17).value, 250);
    EXPECT_TRUE(feed(meter, page({0xF0, 0x20, 0x05, 0x00, 0x00})));
    EXPECT_EQ(readInt(meter, 25).value, 5);
    EXPECT_EQ(meter.receivedFields(), 0x3010000);

    EXPECT_FALSE(feed(meter, page({0x01, 0x12, 0x01, 0, 0, 0x08, 0x00, 0})));
    EXPECT_EQ(readInt(meter, 23).value, 8);
    EXPECT_FALSE(feed(meter, page({0xF1, 0x20, 0x07, 0x00, 0x00})));
    EXPECT_EQ(readInt(meter, 25).value, 5);
}

TEST(VelonixData, BootloadDecoderTakesOnlyPage0x10)
{
    VelonixPowerMeterBootloadData bootload;
    EXPECT_FALSE(feed(bootload, page({0x12, 0x34, 0x12, 64, 0xC0, 0x02, 0x01, 5})));
    EXPECT_FALSE(feed(bootload, page({0x50, 0x34, 0x12, 64, 0xC0, 0x02, 0x01, 5})));
    EXPECT_EQ(readInt(bootload, 28).value, 0);
    EXPECT_EQ(bootload.receivedFields(), 0);

    EXPECT_TRUE(feed(bootload, page({0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
    EXPECT_EQ(readInt(bootload, 26).value, 0xFFFF);
    EXPECT_FLOAT_EQ(static_cast<float>(readFloat(bootload, 27).value), 255 * 9 / 640.0f);
    EXPECT_EQ(readInt(bootload, 28).value, 0xFF00);
    EXPECT_EQ(readInt(bootload, 29).value, 0xFFFF);
    EXPECT_EQ(readInt(bootload, 30).value, 0xFF);
}

} // namespace

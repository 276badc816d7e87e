#include "app/Info.h"
#include "app/FactoryZero.h"

#include "MeterBench.h"

#include <QGroupBox>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using apptest::FixedFields;
using apptest::MeterBench;
using support::Bytes;

// The ANT+ requests for the calibration-passed page the meter received.
int calibrationPassRequests(const MeterBench& b)
{
    int count = 0;
    for (const Bytes& message : b.meter.acknowledgedReceived()) {
        if (!message.empty() && message[0] == 0x46) {
            ++count;
        }
    }
    return count;
}

TEST(InfoTest, ShowsEachFieldInItsFormatOnceTheDecoderHasIt)
{
    struct Case
    {
        const char* what;
        std::map<int, float> floats;
        std::map<int, int> ints;
        std::vector<std::pair<const char*, const char*>> shown;
    };
    const Case cases[] = {
        {"nothing decoded yet",
         {},
         {},
         {{"batteryLevelValue", "--"}, {"meterIdValue", "--"}, {"autozeroValue", "--"}}},
        {"battery to four digits",
         {{1, 3.14159f}},
         {},
         {{"batteryLevelValue", "3.142"}, {"hardwareRevValue", "--"}}},
        {"a whole battery voltage", {{1, 12.0f}}, {}, {{"batteryLevelValue", "12"}}},
        {"serial split into meter and spider numbers",
         {},
         {{6, 4660 << 16 | 22136}},
         {{"meterIdValue", "22136"}, {"spiderSerialValue", "4660"}}},
        {"serial with the top bit set",
         {},
         {{6, static_cast<int>(0xFFFE0001u)}},
         {{"meterIdValue", "1"}, {"spiderSerialValue", "65534"}}},
        {"product pages",
         {},
         {{2, 44}, {3, 255}, {4, 5}, {5, 30}},
         {{"hardwareRevValue", "44"},
          {"manufactValue", "255"},
          {"modelNumValue", "5"},
          {"softwareRevValue", "30"}}},
        {"autozero on", {}, {{22, 2}}, {{"autozeroValue", "On"}}},
        {"autozero off", {}, {{22, 0}}, {{"autozeroValue", "Off"}}},
        {"negative zero offset", {}, {{23, -35}}, {{"zeroOffsetValue", "-35"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterBench b;
        b.device =
            new vant::device::VelonixPowerMeterDevice(MeterBench::kMeterNumber, b.manager.get(), 0, false);
        auto* fields = new FixedFields;
        fields->floats = c.floats;
        fields->ints = c.ints;
        b.device->sportData.reset(fields);
        Info page(b.device.get(), b.window.get());
        page.dataReceived(b.device.get(), 0);
        for (const auto& [label, text] : c.shown) {
            EXPECT_EQ(MeterBench::text(&page, label), text) << label;
        }
    }
}

// The meter answers the page's calibration request with its auto-zero status, which follows its
// autozero setting (register 0x39 bit 0).
TEST(InfoTest, ShowsTheAutozeroStatusTheMeterSends)
{
    const std::pair<unsigned char, const char*> cases[] = {{0x09, "On"}, {0x08, "Off"}};
    for (const auto& [setting, shown] : cases) {
        SCOPED_TRACE(shown);
        MeterBench b;
        b.firmware.setRegisters(0x39, {setting});
        b.openMeter();
        auto* page = b.push(new Info(b.device.get(), b.window.get()));
        EXPECT_TRUE(b.runUntil([&] { return MeterBench::text(page, "autozeroValue") != "--"; }, 10000));
        EXPECT_EQ(MeterBench::text(page, "autozeroValue"), shown);
    }
}

TEST(InfoTest, AsksForThePowerBalanceOnceAfterTheModelAndClosesItsBoxWithTheReply)
{
    MeterBench b;
    b.firmware.setRegisters(0x39, {0x09});
    b.firmware.calibration.value = 37;
    b.openMeter();
    auto* page = b.push(new Info(b.device.get(), b.window.get()));
    EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Reading Power Balance..."});
    EXPECT_TRUE(b.runUntil([&] { return calibrationPassRequests(b) == 1; }, 1000));

    ASSERT_TRUE(b.runUntil([&] { return b.logged("Info::pedalBalanceReceived pedal:1") == 1; }));
    EXPECT_FALSE(MeterBench::busy());
    EXPECT_EQ(MeterBench::text(page, "pedalBalanceValue"), "On");
    EXPECT_TRUE(b.runUntil([&] { return calibrationPassRequests(b) == 2; }, 1000));
    b.run(10000);
    EXPECT_EQ(b.logged("Info::pedalBalanceReceived pedal:1"), 1);
    EXPECT_EQ(MeterBench::text(page, "batteryLevelValue"), "3.5");
    EXPECT_EQ(MeterBench::text(page, "hardwareRevValue"), "44");
    EXPECT_EQ(MeterBench::text(page, "modelNumValue"), "5");
    EXPECT_EQ(MeterBench::text(page, "softwareRevValue"), "30");
    EXPECT_EQ(MeterBench::text(page, "meterIdValue"), QString::number(123456789u & 0xFFFF));
    EXPECT_EQ(MeterBench::text(page, "spiderSerialValue"), QString::number(123456789u >> 16));
    EXPECT_EQ(MeterBench::text(page, "zeroOffsetValue"), "37");

    // Shown again over a page that covered it: a new calibration request, no box, no new query.
    b.push(new QWidget);
    b.window->backClicked();
    MeterBench::flush();
    ASSERT_EQ(b.currentPage(), page);
    EXPECT_FALSE(MeterBench::busy());
    b.run(10000);
    EXPECT_EQ(calibrationPassRequests(b), 3);
    EXPECT_EQ(b.logged("Info::pedalBalanceReceived pedal:1"), 1);
}

TEST(InfoTest, OnlyTheHiddenSequenceRevealsFactoryZero)
{
    // The four labels by the letters a (autozero), l and r (zero offset caption and value), p (power
    // balance).
    struct Case
    {
        const char* clicks;
        bool revealed;
    };
    const Case cases[] = {
        {"aplrrapl", true}, {"apllrrrapapl", true}, // wrong clicks between the right ones don't start it over
        {"aplrrap", false}, {"lpralpar", false},    {"aaaappppllllrrrr", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clicks);
        MeterBench b;
        b.device =
            new vant::device::VelonixPowerMeterDevice(MeterBench::kMeterNumber, b.manager.get(), 0, false);
        auto* page = b.push(new Info(b.device.get(), b.window.get()));
        for (const char* click = c.clicks; *click != '\0'; ++click) {
            const char* label = *click == 'a'   ? "autozeroText"
                                : *click == 'l' ? "zeroOffsetText"
                                : *click == 'r' ? "zeroOffsetValue"
                                                : "pedalBalanceText";
            QTest::mouseClick(page->findChild<QLabel*>(label), Qt::LeftButton);
        }
        auto* button = MeterBench::button(page, "factoryZeroButton");
        EXPECT_EQ(button->isVisible(), c.revealed);
        if (c.revealed) {
            EXPECT_EQ(b.logged("Info::mFactoryZeroCount:8"), 1);
            // The count starts again; the button stays.
            QTest::mouseClick(page->findChild<QLabel*>("autozeroText"), Qt::LeftButton);
            EXPECT_EQ(b.logged("Info::mFactoryZeroCount:1"), 2);
            EXPECT_TRUE(button->isVisible());

            button->click();
            MeterBench::flush();
            EXPECT_NE(qobject_cast<FactoryZero*>(b.currentPage()), nullptr);
        }
    }
}

} // namespace

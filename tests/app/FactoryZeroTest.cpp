#include "app/FactoryZero.h"

#include "MeterBench.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using apptest::MeterBench;
using support::Bytes;

Bytes offsetBytes(int offset)
{
    return {static_cast<unsigned char>(offset & 0xFF), static_cast<unsigned char>((offset >> 8) & 0xFF)};
}

// The page's log lines, in order.
std::vector<std::string> pageLog(const MeterBench& b)
{
    std::vector<std::string> lines;
    for (const std::string& line : b.log.listener.texts()) {
        if (line.rfind("FactoryZero", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// A meter with these offsets, opened, its FactoryZero page shown and both offsets read.
struct ZeroBench : MeterBench
{
    ZeroBench(int user, int factory)
    {
        firmware.setRegisters(0x32, offsetBytes(user));
        firmware.setRegisters(0x30, offsetBytes(factory));
        openMeter();
        page = push(new FactoryZero(device.get(), window.get()));
        EXPECT_EQ(busyTexts(), QStringList{"Reading Offset"});
        EXPECT_TRUE(runUntil([&] {
            return logged("FactoryZeroActivity.offsetReceived offset=" + std::to_string(factory) +
                          " factory=1") == 1;
        }));
        EXPECT_FALSE(busy());
    }

    FactoryZero* page = nullptr;
};

TEST(FactoryZeroTest, OpeningReadsTheUserThenTheFactoryOffsetBehindOneBox)
{
    ZeroBench b(120, -20);
    EXPECT_EQ(MeterBench::text(b.page, "userOffsetValue"), "120");
    EXPECT_EQ(MeterBench::text(b.page, "factoryOffsetValue"), "-20");
    EXPECT_EQ(pageLog(b),
              (std::vector<std::string>{"FactoryZeroActivity.offsetReceived offset=120 factory=0",
                                        "FactoryZeroActivity.offsetReceived offset=-20 factory=1"}));
}

TEST(FactoryZeroTest, SetZeroShowsTheResultInNewtonMetresAndReadsTheUserOffsetAgain)
{
    struct Case
    {
        bool passes;
        int value;
        const char* title;
        const char* text;
    };
    const Case cases[] = {
        {true, 16, "Passed", "Returned Value: 16\n[0.50 Nm]"},
        {true, -32, "Passed", "Returned Value: -32\n[-1.00 Nm]"},
        {false, 5, "Failed", "Returned Value: 5\n[0.16 Nm]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ZeroBench b(120, 1000);
        b.firmware.calibration.passes = c.passes;
        b.firmware.calibration.value = c.value;
        b.firmware.setRegisters(0x32, offsetBytes(7));
        b.answerer.press(c.title, "OK");
        MeterBench::button(b.page, "setZeroButton")->click();
        EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Zeroing"});
        ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes(c.title).empty(); }));
        EXPECT_EQ(b.answerer.boxes(c.title)[0].text, c.text);
        ASSERT_TRUE(b.runUntil([&] { return MeterBench::text(b.page, "userOffsetValue") == "7"; }));
        b.run(5000);
        EXPECT_EQ(MeterBench::text(b.page, "factoryOffsetValue"), "1000");
        EXPECT_EQ(b.logged("FactoryZeroActivity.offsetReceived offset=1000 factory=1"), 1);
        EXPECT_FALSE(MeterBench::busy());
    }
}

TEST(FactoryZeroTest, FactoryZeroFoldsTheUserOffsetIntoTheFactoryOffsetAndCalibratesAgain)
{
    // A failed calibration does not stop it, and ends with a message; a passed one shows nothing.
    for (const bool passes : {false, true}) {
        SCOPED_TRACE(passes ? "calibrations pass" : "calibrations fail");
        ZeroBench b(120, 1000);
        b.firmware.calibration.passes = passes;
        MeterBench::button(b.page, "factoryZeroButton")->click();
        const std::vector<QString> boxes = b.busyTextsUntil(
            [&] { return b.logged("FactoryZero.factoryZeroStep=3") == 1 && !MeterBench::busy(); });
        EXPECT_EQ(boxes,
                  (std::vector<QString>{"Performing factory zero\nStep 1: Calibrating",
                                        "Performing factory zero\nStep 2: Updating Offset",
                                        "Performing factory zero\nStep 3: Recalibrating", "Reading Offset"}));
        EXPECT_EQ(b.firmware.registers(0x30, 2), offsetBytes(1120));
        EXPECT_EQ(MeterBench::text(b.page, "factoryOffsetValue"), "1120");
        EXPECT_EQ(MeterBench::text(b.page, "userOffsetValue"), "120");
        std::vector<std::string> expected = {
            "FactoryZeroActivity.offsetReceived offset=120 factory=0",
            "FactoryZeroActivity.offsetReceived offset=1000 factory=1",
            "FactoryZero.calibrateReceived passed=" + std::to_string(passes) + " result=0",
            "FactoryZero.factoryZeroStep=1",
            "FactoryZero.settingFactoryOffset=1120",
            "FactoryZeroActivity.offsetChanged factory=1",
            "FactoryZeroActivity.offsetReceived offset=1120 factory=1",
            "FactoryZeroController::factoryZeroStep=2",
            "FactoryZero.calibrateReceived passed=" + std::to_string(passes) + " result=0",
            "FactoryZero.factoryZeroStep=3",
            "FactoryZeroActivity.offsetReceived offset=120 factory=0",
        };
        if (!passes) {
            expected.insert(expected.end() - 1, "FactoryZero.factoryZero a calibration failed");
        }
        EXPECT_EQ(pageLog(b), expected);
        EXPECT_TRUE(b.answerer.boxes("Passed").empty());
        b.answerer.poll();
        ASSERT_EQ(b.answerer.boxes("Failed").size(), passes ? 0u : 1u);
        if (!passes) {
            EXPECT_EQ(b.answerer.boxes("Failed")[0].text, "Factory zero failed: the power meter did not pass "
                                                          "its calibration.\nReturned Value: 0\n[0.00 Nm]");
        }
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

TEST(FactoryZeroTest, OffsetsTheRegisterCantHoldAreNotWrittenAndAreReadAgain)
{
    ZeroBench b(30000, 10000);
    MeterBench::button(b.page, "factoryZeroButton")->click();
    ASSERT_TRUE(b.runUntil([&] { return b.logged("FactoryZero.factoryZeroStep=1") == 1; }));
    ASSERT_TRUE(b.runUntil(
        [&] { return b.logged("FactoryZeroActivity.offsetReceived offset=10000 factory=1") == 2; }));
    b.run(5000);
    EXPECT_FALSE(MeterBench::busy());
    EXPECT_EQ(b.firmware.registers(0x30, 2), offsetBytes(10000));
    EXPECT_EQ(b.logged("FactoryZero.settingFactoryOffset=40000"), 0);
    EXPECT_EQ(b.logged("FactoryZeroActivity.offsetChanged factory=1"), 0);
}

TEST(FactoryZeroTest, OffsetsNeverReadAreNotWritten)
{
    MeterBench b;
    b.firmware.setRegisters(0x30, offsetBytes(-20));
    b.openMeter();
    // Not shown: nothing read, both offsets still "--".
    FactoryZero page(b.device.get(), b.window.get());
    page.factoryZero();
    page.calibrateReceived(b.device.get(), true, 0);
    EXPECT_EQ(MeterBench::busyTexts(), QStringList{"Reading Offset"});
    b.run(10000);
    EXPECT_EQ(b.firmware.registers(0x30, 2), offsetBytes(-20));
    EXPECT_EQ(b.logged("FactoryZero.settingFactoryOffset=0"), 0);
    // A factory offset reply now is no step 2 of a factory zero.
    page.offsetReceived(b.device.get(), -20, true);
    EXPECT_EQ(b.logged("FactoryZeroController::factoryZeroStep=2"), 0);
    EXPECT_FALSE(MeterBench::busy());
}

} // namespace

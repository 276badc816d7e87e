// One session as a user has it: the program finds the stick, a search lists the two meters in range,
// one is opened by its number, its live values move, it is zeroed, its chainring is changed, and the
// stick is pulled out at the end.
#include "WindowRig.h"

#include "support/SimulatedMeterFirmware.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QProgressDialog>

#include <gtest/gtest.h>

#include <cmath>

using apptest::WindowRig;

namespace {

// The meters' firmware, made anew for every stick that opens.
struct MeterFirmwares
{
    void runOn(support::SimulatedStickRadio& stick)
    {
        for (int number : {1111, 2222}) {
            support::SimulatedPowerMeter& meter = stick.addMeter(number);
            auto& firmware = all.emplace_back(std::make_unique<support::SimulatedMeterFirmware>(meter));
            // A KV7 meter (model 5) set up at the factory for a 38T ring, fitted by the user with a 36T.
            firmware->setRegisters(0x42, {'A', 3, 38, 'A', 3, 38});
            firmware->setRegisters(0x60, {'A', 3, 36, 'A', 3, 36});
            firmware->calibration.value = 37;
            meters[number] = &meter;
            firmwares[number] = firmware.get();
        }
    }

    std::vector<std::unique_ptr<support::SimulatedMeterFirmware>> all;
    std::map<int, support::SimulatedPowerMeter*> meters;
    std::map<int, support::SimulatedMeterFirmware*> firmwares;
};

bool busy()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QProgressDialog*>(widget) != nullptr && widget->isVisible()) {
            return true;
        }
    }
    return false;
}

TEST(EndToEndTest, SearchOpenWatchZeroChangeTheRingAndPullTheStick)
{
    MeterFirmwares meters;
    WindowRig rig;
    rig.bench.plug(0x1008);
    rig.bench.meters = [&](support::SimulatedStickRadio& stick) { meters.runOn(stick); };
    for (const char* title : {"Congratulations!", "KV7 Detected", "Notice", "Passed", "Failed"}) {
        rig.boxes.press(title, "OK");
    }
    rig.start();
    EXPECT_EQ(rig.button("ANTButton")->text(), "ANT+ Dongle Type: AP2");

    // Search: both meters are listed once the two passes are over.
    rig.button("searchButton")->click();
    ASSERT_TRUE(rig.runUntil([&] { return rig.count("Pelotune::searchFinished canceled:0") == 2; }));
    std::vector<int> listed = rig.listed();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<int>{1111, 2222}));

    // Open 2222 by its number.
    rig.button("enterIDButton")->click();
    auto* dialog = rig.window->findChild<QInputDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->setIntValue(2222);
    dialog->accept();
    ASSERT_TRUE(rig.runUntil([&] { return rig.stack()->count() == 3; }, 300));
    ASSERT_EQ(rig.currentPageClass(), "Sensor");
    QWidget* sensor = rig.currentPage();
    auto value = [&](const char* name) { return sensor->findChild<QLabel*>(name)->text(); };

    // Its first connection settles: the busy box goes, the ring the user fitted is selected.
    ASSERT_TRUE(rig.runUntil([&] { return !rig.boxes.boxes("KV7 Detected").empty() && !busy(); }, 600));
    auto* combo = sensor->findChild<QComboBox*>("velcoriaCombo");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "Z-Mesh 36T");

    // Live power and cadence follow the meter.
    ASSERT_TRUE(rig.runUntil([&] { return value("wattsValue") == "200 W"; }, 300))
        << value("wattsValue").toStdString();
    meters.meters[2222]->readings.power = 310;
    meters.meters[2222]->readings.cadence = 100;
    EXPECT_TRUE(rig.runUntil([&] { return value("wattsValue") == "310 W"; }, 300))
        << value("wattsValue").toStdString();
    EXPECT_TRUE(rig.runUntil([&] { return value("cadenceValue") == "100 rpm"; }, 300))
        << value("cadenceValue").toStdString();

    // Zero it.
    auto* zero = sensor->findChild<QPushButton*>("setzeroButton");
    ASSERT_NE(zero, nullptr);
    zero->click();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.boxes.boxes("Passed").empty(); }, 300));
    EXPECT_EQ(rig.boxes.boxes("Passed")[0].text, "Returned Value: 37\n[1.16 Nm]");

    // Change its ring to the 34T: the ring is written and the slope rescaled from the factory's.
    combo->setCurrentIndex(combo->findText("Z-Mesh 34T"));
    ASSERT_TRUE(rig.runUntil([&] { return rig.logged("Sensor:slopeChanged:0"); }, 600));
    support::SimulatedMeterFirmware& firmware = *meters.firmwares[2222];
    EXPECT_EQ(firmware.registers(0x60, 3), (support::Bytes{'A', 3, 34}));
    const support::Bytes slope = firmware.registers(0x09, 3);
    const double written = ((slope[0] << 16) | (slope[1] << 8) | slope[2]) / 65536.0;
    EXPECT_NEAR(written, 12.0 * 0.944, 2.0 / 65536);
    EXPECT_FALSE(busy());

    // Pull the stick: back to the menu, the meter's page gone, nothing left running.
    QPointer<QWidget> page = sensor;
    rig.bench.pull(0x1008);
    ASSERT_TRUE(rig.runUntil([&] { return rig.stack()->count() == 2; }, 30));
    rig.tick(3);
    EXPECT_EQ(rig.stack()->currentIndex(), 0);
    EXPECT_EQ(rig.button("ANTButton")->text(), "ANT+ Dongle Type: None");
    EXPECT_FALSE(rig.button("searchButton")->isEnabled());
    EXPECT_TRUE(page.isNull());
    EXPECT_TRUE(rig.boxes.boxes("Disconnected").empty());
}

} // namespace

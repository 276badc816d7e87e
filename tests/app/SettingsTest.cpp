#include "app/Settings.h"

#include "MeterBench.h"

#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using apptest::FixedFields;
using apptest::MeterBench;
using support::Bytes;

// The page's log lines of one kind ("Received" replies, "Changed" confirmations), in order.
std::vector<std::string> logged(const MeterBench& b, const std::string& kind)
{
    std::vector<std::string> found;
    for (const std::string& line : b.log.listener.texts()) {
        if (line.rfind("Settings::", 0) == 0 && line.find(kind) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

std::vector<QMessageBox*> boxesTitled(QWidget* page, const QString& title)
{
    std::vector<QMessageBox*> found;
    for (QMessageBox* box : page->findChildren<QMessageBox*>()) {
        if (box->windowTitle() == title) {
            found.push_back(box);
        }
    }
    return found;
}

TEST(SettingsTest, FirstPassReadsTheSettingsTheMetersDirectionsAllow)
{
    struct Case
    {
        const char* what;
        int hardware, software;
        std::vector<std::string> replies;
        bool cadenceButton;
        const char* torque;
        const char* cadence;
        const char* balance;
        const char* powerControl;
        bool powerControlButton;
    };
    const Case cases[] = {
        {"separate torque and cadence directions",
         44,
         30,
         {"Settings::autozeroReceived:1", "Settings::torqueDirectionReceived forward:1",
          "Settings::cadenceDirectionReceived forward:0", "Settings::pedalBalanceReceived pedal:1",
          "Settings::modeReceived mode:48"},
         true,
         "Forward",
         "Reverse",
         "Enabled",
         "Enabled",
         true},
        {"one combined direction",
         8,
         25,
         {"Settings::autozeroReceived:1", "Settings::directionReceived forware:0",
          "Settings::modeReceived mode:48"},
         false,
         "Reverse",
         "--",
         "--",
         "--",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterBench b;
        b.meter.product.hardwareRevision = c.hardware;
        b.meter.product.softwareRevision = c.software;
        b.meter.product.model = 2;
        b.firmware.setRegisters(0x39, {0x09});
        b.firmware.setRegisters(0x1E, {0x00});
        b.firmware.setRegisters(0x3E, {48});
        b.openMeter();
        auto* page = b.push(new Settings(b.device.get(), b.window.get()));
        EXPECT_EQ(MeterBench::button(page, "cadenceDirButton")->isEnabled(), c.cadenceButton);
        EXPECT_FALSE(MeterBench::button(page, "gamButton")->isEnabled());

        // Nothing is sent before a second has passed.
        const std::size_t before = b.meter.acknowledgedReceived().size();
        b.run(900);
        EXPECT_EQ(b.meter.acknowledgedReceived().size(), before);

        ASSERT_TRUE(b.runUntil([&] { return b.logged("Settings::modeReceived mode:48") == 1; }, 60000));
        b.run(3000);
        EXPECT_EQ(logged(b, "Received"), c.replies);
        EXPECT_EQ(MeterBench::text(page, "autozeroValue"), "Enabled");
        EXPECT_EQ(MeterBench::text(page, "torqueDirValue"), c.torque);
        EXPECT_EQ(MeterBench::text(page, "cadenceDirValue"), c.cadence);
        EXPECT_EQ(MeterBench::text(page, "pedalBalValue"), c.balance);
        EXPECT_EQ(MeterBench::text(page, "gamValue"), c.powerControl);
        EXPECT_EQ(MeterBench::button(page, "gamButton")->isEnabled(), c.powerControlButton);
        EXPECT_FALSE(MeterBench::busy());
    }
}

TEST(SettingsTest, EveryToggleChangesItsRegisterAndIsReadBack)
{
    struct Case
    {
        const char* button;
        const char* box;
        const char* changed;
        int location;
        int mask;
        int after;
        const char* label;
        const char* shown;
        const char* reread;
        int hardware = 44;
        int software = 30;
    };
    // From 0x39 = 0x01 (autozero on, cadence direction reverse, balance off), 0x1E = 0 (forward on
    // this hardware, whose bit reads the other way round) and PowerControl off. The early hardware
    // with its one combined direction reads 0x1E = 0 as reverse.
    const Case cases[] = {
        {"autozeroButton", "Toggling Autozero...", "Settings::autozeroChanged", 0x39, 0x03, 0x00,
         "autozeroValue", "Disabled", "Settings::autozeroReceived:0"},
        {"torqueDirButton", "Toggling Torque Direction...", "Settings::torqueDirectionChanged", 0x1E, 0x40,
         0x40, "torqueDirValue", "Reverse", "Settings::torqueDirectionReceived forward:0"},
        {"torqueDirButton", "Toggling Direction...", "Settings::directionChanged", 0x1E, 0x40, 0x40,
         "torqueDirValue", "Forward", "Settings::directionReceived forware:1", 8, 25},
        {"cadenceDirButton", "Toggling Cadence Direction...", "Settings::cadenceDirectionChanged", 0x39, 0x80,
         0x80, "cadenceDirValue", "Forward", "Settings::cadenceDirectionReceived forward:1"},
        {"pedalBalButton", "Toggling Power Balance...", "Settings::pedalBalanceChanged", 0x39, 0x08, 0x08,
         "pedalBalValue", "Enabled", "Settings::pedalBalanceReceived pedal:1"},
        {"gamButton", "Toggling SRM PowerControl...", "Settings::modeChanged", 0x3E, 0xFF, 48, "gamValue",
         "Enabled", "Settings::modeReceived mode:48"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        MeterBench b;
        b.meter.product.hardwareRevision = c.hardware;
        b.meter.product.softwareRevision = c.software;
        b.meter.product.model = 2;
        b.firmware.setRegisters(0x39, {0x01});
        b.firmware.setRegisters(0x1E, {0x00});
        b.firmware.setRegisters(0x3E, {0});
        b.openMeter();
        auto* page = b.push(new Settings(b.device.get(), b.window.get()));
        ASSERT_TRUE(b.runUntil([&] { return b.logged("Settings::modeReceived mode:0") == 1; }, 60000));
        b.run(2000);
        const int untouched = b.firmware.registers(c.location, 1)[0] & ~c.mask;

        MeterBench::button(page, c.button)->click();
        EXPECT_EQ(MeterBench::busyTexts(), QStringList{c.box});
        ASSERT_TRUE(b.runUntil([&] { return b.logged(c.reread) == 1; }, 30000));
        EXPECT_EQ(b.logged(c.changed), 1);
        EXPECT_EQ(b.firmware.registers(c.location, 1)[0], untouched | c.after);
        EXPECT_EQ(MeterBench::text(page, c.label), c.shown);
        EXPECT_FALSE(MeterBench::busy());
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

// A toggle pressed before its own setting was read reads it first and writes nothing: the value the
// page assumed would otherwise be written back (for autozero, losing coasting zero). Once read, the
// same toggle changes it.
TEST(SettingsTest, TogglingASettingBeforeItIsReadReadsItFirst)
{
    struct Case
    {
        const char* button;
        const char* reading;
        Bytes settings, direction; // 0x39 and 0x1E as the meter starts
        const char* received;
        int reads; // how often it has been read once the first pass is over
        const char* changed;
        int location;
        const char* label;
        const char* shown;
        Bytes after;
        const char* reread;
        const char* shownAfter;
    };
    const Case cases[] = {
        // Autozero and coasting zero on: the toggle turns autozero off and leaves coasting zero on.
        {"autozeroButton",
         "Reading Autozero...",
         {0x03},
         {0x00},
         "Settings::autozeroReceived:3",
         1,
         "Settings::autozeroChanged",
         0x39,
         "autozeroValue",
         "Enabled",
         {0x02},
         "Settings::autozeroReceived:2",
         "Disabled"},
        // 0x39 = 0x08: power balance on, cadence direction reverse; 0x1E = 0x40: torque reverse.
        {"torqueDirButton",
         "Reading Torque Direction...",
         {0x08},
         {0x40},
         "Settings::torqueDirectionReceived forward:0",
         2,
         "Settings::torqueDirectionChanged",
         0x1E,
         "torqueDirValue",
         "Reverse",
         {0x00},
         "Settings::torqueDirectionReceived forward:1",
         "Forward"},
        {"cadenceDirButton",
         "Reading Cadence Direction...",
         {0x08},
         {0x40},
         "Settings::cadenceDirectionReceived forward:0",
         2,
         "Settings::cadenceDirectionChanged",
         0x39,
         "cadenceDirValue",
         "Reverse",
         {0x88},
         "Settings::cadenceDirectionReceived forward:1",
         "Forward"},
        {"pedalBalButton",
         "Reading Power Balance...",
         {0x08},
         {0x40},
         "Settings::pedalBalanceReceived pedal:1",
         1,
         "Settings::pedalBalanceChanged",
         0x39,
         "pedalBalValue",
         "Enabled",
         {0x00},
         "Settings::pedalBalanceReceived pedal:0",
         "Disabled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        MeterBench b;
        b.meter.product.hardwareRevision = 44;
        b.meter.product.softwareRevision = 30;
        b.meter.product.model = 2;
        b.firmware.setRegisters(0x39, c.settings);
        b.firmware.setRegisters(0x1E, c.direction);
        b.firmware.setRegisters(0x3E, {0});
        b.openMeter();
        auto* page = b.push(new Settings(b.device.get(), b.window.get()));
        MeterBench::button(page, c.button)->click();
        EXPECT_EQ(MeterBench::busyTexts(), QStringList{c.reading});
        ASSERT_TRUE(b.runUntil([&] { return b.logged("Settings::modeReceived mode:0") == 1; }, 60000));
        b.run(2000);
        EXPECT_EQ(b.logged(c.received), c.reads);
        EXPECT_EQ(b.logged(c.changed), 0);
        const Bytes& before = c.location == 0x39 ? c.settings : c.direction;
        EXPECT_EQ(b.firmware.registers(c.location, 1), before) << "nothing was written";
        EXPECT_EQ(MeterBench::text(page, c.label), c.shown);

        MeterBench::button(page, c.button)->click();
        ASSERT_TRUE(b.runUntil([&] { return b.logged(c.reread) == 1 && !MeterBench::busy(); }, 30000));
        EXPECT_EQ(b.firmware.registers(c.location, 1), c.after);
        EXPECT_EQ(MeterBench::text(page, c.label), c.shownAfter);
    }
}

TEST(SettingsTest, ResetAllChangesOneSettingPerPassUntilComplete)
{
    struct Case
    {
        const char* what;
        int model;
        Bytes settings, direction, mode;
        std::vector<std::string> changes;
        Bytes settingsAfter, directionAfter, modeAfter;
    };
    const Case cases[] = {
        {"everything away from its default",
         2,
         {0x00},
         {0x40},
         {48},
         {"Settings::autozeroChanged", "Settings::torqueDirectionChanged",
          "Settings::cadenceDirectionChanged", "Settings::pedalBalanceChanged", "Settings::modeChanged"},
         {0x89},
         {0x00},
         {0}},
        {"coasting zero only counts as a default", 2, {0x8A}, {0x00}, {0}, {}, {0x8A}, {0x00}, {0}},
        {"a meter without power balance keeps it off", 1, {0x81}, {0x00}, {0}, {}, {0x81}, {0x00}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterBench b;
        b.meter.product.model = c.model;
        b.firmware.setRegisters(0x39, c.settings);
        b.firmware.setRegisters(0x1E, c.direction);
        b.firmware.setRegisters(0x3E, c.mode);
        b.openMeter();
        auto* page = b.push(new Settings(b.device.get(), b.window.get()));
        ASSERT_TRUE(b.runUntil(
            [&] { return b.logged("Settings::modeReceived mode:" + std::to_string(c.mode[0])) == 1; },
            60000));
        b.run(2000);
        const std::size_t sent = b.meter.acknowledgedReceived().size();

        b.answerer.press("Complete", "OK");
        MeterBench::button(page, "resetButton")->click();
        ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes("Complete").empty(); }, 120000));
        EXPECT_EQ(b.answerer.boxes("Complete")[0].text, "All values are now set to default.");
        EXPECT_EQ(logged(b, "Changed"), c.changes);
        if (c.changes.empty()) {
            EXPECT_EQ(b.meter.acknowledgedReceived().size(), sent);
        }
        EXPECT_EQ(b.firmware.registers(0x39, 1), c.settingsAfter);
        EXPECT_EQ(b.firmware.registers(0x1E, 1), c.directionAfter);
        EXPECT_EQ(b.firmware.registers(0x3E, 1), c.modeAfter);
        if (c.model == 1) {
            EXPECT_EQ(MeterBench::text(page, "pedalBalValue"), "--");
            EXPECT_FALSE(MeterBench::button(page, "pedalBalButton")->isEnabled());
        }
        b.run(3000);
        EXPECT_EQ(b.answerer.boxes("Complete").size(), 1u);
        EXPECT_FALSE(MeterBench::busy());
    }
}

TEST(SettingsTest, CadenceDirectionAnEarlyMeterCannotWriteIsNeitherToggledNorWaitedFor)
{
    // Hardware 8 below software 28 reads its cadence direction but refuses to write it. Everything
    // starts away from its default, cadence direction reverse.
    struct Case
    {
        const char* button;
        std::vector<std::string> changes;
        Bytes settingsAfter, directionAfter, modeAfter;
        bool complete;
    };
    const Case cases[] = {
        {"cadenceDirButton", {}, {0x00}, {0x00}, {48}, false},
        {"resetButton",
         {"Settings::autozeroChanged", "Settings::torqueDirectionChanged", "Settings::pedalBalanceChanged",
          "Settings::modeChanged"},
         {0x09},
         {0x40},
         {0},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        MeterBench b;
        b.meter.product.hardwareRevision = 8;
        b.meter.product.softwareRevision = 19;
        b.meter.product.model = 2;
        b.firmware.setRegisters(0x39, {0x00});
        b.firmware.setRegisters(0x1E, {0x00});
        b.firmware.setRegisters(0x3E, {48});
        b.openMeter();
        auto* page = b.push(new Settings(b.device.get(), b.window.get()));
        ASSERT_TRUE(b.runUntil([&] { return b.logged("Settings::modeReceived mode:48") == 1; }, 60000));
        b.run(2000);
        ASSERT_EQ(b.logged("Settings::cadenceDirectionReceived forward:0"), 1);
        const std::size_t sent = b.meter.acknowledgedReceived().size();

        b.answerer.press("Complete", "OK");
        MeterBench::button(page, c.button)->click();
        if (c.complete) {
            ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes("Complete").empty(); }, 120000));
        } else {
            EXPECT_FALSE(MeterBench::busy());
            b.run(5000);
            EXPECT_EQ(b.meter.acknowledgedReceived().size(), sent);
        }
        EXPECT_EQ(logged(b, "Changed"), c.changes);
        EXPECT_EQ(b.firmware.registers(0x39, 1), c.settingsAfter);
        EXPECT_EQ(b.firmware.registers(0x1E, 1), c.directionAfter);
        EXPECT_EQ(b.firmware.registers(0x3E, 1), c.modeAfter);
        EXPECT_EQ(MeterBench::text(page, "cadenceDirValue"), "Reverse");
        b.run(3000);
        EXPECT_FALSE(MeterBench::busy());
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

TEST(SettingsTest, ResetBeforeAnythingIsReadChangesNothing)
{
    MeterBench b;
    b.firmware.setRegisters(0x39, {0x00});
    b.firmware.setRegisters(0x1E, {0x40});
    b.firmware.setRegisters(0x3E, {48});
    b.openMeter();
    auto* page = new Settings(b.device.get(), b.window.get());
    const std::size_t sent = b.meter.acknowledgedReceived().size();
    page->resetDefaults();
    ASSERT_EQ(boxesTitled(page, "Complete").size(), 1u);
    b.run(3000);
    EXPECT_EQ(b.meter.acknowledgedReceived().size(), sent);
    EXPECT_EQ(b.firmware.registers(0x39, 1), Bytes{0x00});
    delete page;
}

TEST(SettingsTest, PowerControlIsOfferedByFamilyAndRevisionWithOneNotice)
{
    struct Case
    {
        int hardware, software;
        bool offered;
        bool notice;
    };
    const Case cases[] = {
        {8, 28, false, false},  {8, 29, true, false},  {44, 12, false, true},  {44, 15, true, false},
        {44, 16, false, false}, {44, 19, true, false}, {60, 40, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hardware) + "/" + std::to_string(c.software));
        MeterBench b;
        b.device =
            new vant::device::VelonixPowerMeterDevice(MeterBench::kMeterNumber, b.manager.get(), 0, false);
        auto* fields = new FixedFields;
        fields->ints = {{2, c.hardware}, {4, 2}, {5, c.software}};
        b.device->sportData.reset(fields);
        auto* page = new Settings(b.device.get(), b.window.get());

        page->modeReceived(b.device.get(), 48);
        EXPECT_EQ(MeterBench::button(page, "gamButton")->isEnabled(), c.offered);
        EXPECT_EQ(MeterBench::text(page, "gamValue"), c.offered ? "Enabled" : "--");
        // A later reply only shows the mode.
        page->modeReceived(b.device.get(), 0);
        EXPECT_EQ(MeterBench::button(page, "gamButton")->isEnabled(), c.offered);
        EXPECT_EQ(MeterBench::text(page, "gamValue"), "Disabled");
        EXPECT_EQ(boxesTitled(page, "Notice").size(), c.notice ? 1u : 0u);
        if (c.notice) {
            EXPECT_EQ(boxesTitled(page, "Notice")[0]->text(),
                      "Please update your firmware to enable SRM PowerControl");
        }
        delete page;
    }
}

TEST(SettingsTest, HidingStopsTheChainAndShowingResumesItWhereItWas)
{
    MeterBench b;
    b.meter.product.model = 2;
    b.firmware.setRegisters(0x39, {0x00});
    b.firmware.setRegisters(0x1E, {0x00});
    b.firmware.setRegisters(0x3E, {48});
    b.openMeter();
    auto* page = b.push(new Settings(b.device.get(), b.window.get()));
    ASSERT_TRUE(b.runUntil([&] { return b.logged("Settings::autozeroReceived:0") == 1; }, 30000));

    // Another page on top: the first pass stops after the read under way.
    b.push(new QWidget);
    b.run(8000);
    EXPECT_EQ(b.logged("Settings::modeReceived mode:48"), 0);
    const std::size_t sent = b.meter.acknowledgedReceived().size();
    b.run(3000);
    EXPECT_EQ(b.meter.acknowledgedReceived().size(), sent);

    // Back: autozero is read again a second later and the pass goes on to its end.
    b.window->backClicked();
    b.flush();
    ASSERT_EQ(b.currentPage(), page);
    ASSERT_TRUE(b.runUntil([&] { return b.logged("Settings::modeReceived mode:48") == 1; }, 60000));
    EXPECT_EQ(b.logged("Settings::autozeroReceived:0"), 2);
    EXPECT_EQ(MeterBench::text(page, "gamValue"), "Enabled");

    // A reset hidden after its first change resumes when shown again.
    b.run(2000);
    b.answerer.press("Complete", "OK");
    MeterBench::button(page, "resetButton")->click();
    ASSERT_TRUE(b.runUntil([&] { return b.logged("Settings::autozeroReceived:1") >= 1; }, 30000));
    b.push(new QWidget);
    b.run(8000);
    EXPECT_TRUE(b.answerer.boxes("Complete").empty());
    EXPECT_EQ(b.firmware.registers(0x3E, 1), Bytes{48});
    b.window->backClicked();
    b.flush();
    ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes("Complete").empty(); }, 120000));
    EXPECT_EQ(b.firmware.registers(0x39, 1), Bytes{0x89});
    EXPECT_EQ(b.firmware.registers(0x3E, 1), Bytes{0});
}

TEST(SettingsTest, CombinedDirectionReplyMeansNothingWhereTheMeterHasBothDirections)
{
    MeterBench b;
    b.device = new vant::device::VelonixPowerMeterDevice(MeterBench::kMeterNumber, b.manager.get(), 0, false);
    auto* fields = new FixedFields;
    fields->ints = {{2, 44}, {4, 2}, {5, 30}};
    b.device->sportData.reset(fields);
    Settings page(b.device.get(), b.window.get());
    page.directionReceived(b.device.get(), false);
    EXPECT_EQ(MeterBench::text(&page, "torqueDirValue"), "--");
    for (QTimer* timer : page.findChildren<QTimer*>()) {
        EXPECT_FALSE(timer->isActive());
    }
    // Nor does the torque direction it did not read make a reset toggle it.
    page.resetDefaults();
    EXPECT_EQ(boxesTitled(&page, "Complete").size(), 1u);
}

} // namespace

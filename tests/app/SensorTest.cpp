#include "app/Sensor.h"
#include "app/Slope.h"
#include "app/UnfinishedRingChange.h"

#include "MeterBench.h"
#include "Screenshot.h"

#include "ant/AntRadioManager.h"
#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "ant/search/SportDeviceSearch.h"
#include "ant/search/SportDeviceSearchListener.h"
#include "app/Pelotune.h"
#include "core/IntrusivePointer.h"
#include "support/LogCapture.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedPowerMeter.h"
#include "support/SimulatedStickRadio.h"
#include "support/TemporaryFolder.h"
#include "support/qt/ModalBoxAnswerer.h"
#include "support/qt/UrlRecorder.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using apptest::FixedFields;
using apptest::MeterBench;
using apptest::slopeOf;
using support::Bytes;
using vant::device::VelonixPowerMeterDevice;

// Long enough in the stick's time for every request of a verification and its answers.
constexpr int kVerificationMs = 40000;

// The main window and the simulated meter of the shared bench, with the Sensor page of that meter on
// the window's page stack. The page's clock is the stick's time.
struct Bench : MeterBench
{
    Bench()
    {
        for (const char* title :
             {"Congratulations!", "KV7 Detected", "BLE Update", "Disconnected", "Passed", "Failed"}) {
            answerer.press(title, "OK");
        }
    }

    // The page reads `now` until the window that owns it is gone.
    ~Bench() override { window.reset(); }

    // Opens the meter as the main window does: a search by its number leaves channel 0 open on it.
    void openMeter() { openChannel(); }

    // The page, pushed on the window as the window pushes it (shown at once).
    void showSensor()
    {
        sensor = new Sensor(device.get(), window.get(), [this] { return now; });
        window->addStackedWidget(sensor);
    }

    // The page alone, not shown: it hears only what the test calls.
    void makeHiddenSensor()
    {
        device = new VelonixPowerMeterDevice(kMeterNumber, manager.get(), 0, false);
        sensor = new Sensor(device.get(), window.get(), [this] { return now; });
    }

    void tick() override
    {
        manager->update(kTick);
        now += kTick;
        QCoreApplication::processEvents();
        answerer.poll();
    }

    // Runs through the first verification of a shown page, up to the accepted cadence mode.
    void verify()
    {
        ASSERT_TRUE(runUntil([&] { return logged("Sensor::cadenceModeChanged") > 0; }, kVerificationMs));
        run(kVerificationMs / 2); // what the meter still answers after it
    }

    QString text(const char* name) const { return MeterBench::text(sensor, name); }
    QPushButton* button(const char* name) const { return MeterBench::button(sensor, name); }
    QComboBox* combo() const { return sensor->findChild<QComboBox*>("velcoriaCombo"); }

    QStringList comboTexts() const
    {
        QStringList texts;
        for (int i = 0; i < combo()->count(); ++i) {
            texts << combo()->itemText(i);
        }
        return texts;
    }

    // The running watchdog of the page, or null.
    QTimer* watchdog() const
    {
        for (QTimer* timer : sensor->findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
            if (timer->isActive() && timer != silenceCheck()) {
                return timer;
            }
        }
        return nullptr;
    }

    // The page's check for a meter that went silent.
    QTimer* silenceCheck() const { return sensor->findChild<QTimer*>("silenceCheck"); }

    bool busy() const
    {
        for (QProgressDialog* box : sensor->findChildren<QProgressDialog*>()) {
            if (box->isVisible()) {
                return true;
            }
        }
        return false;
    }

    // The acknowledged messages the meter received that start with these bytes.
    int received(const Bytes& start) const
    {
        const auto& messages = meter.acknowledgedReceived();
        return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](const Bytes& m) {
            return m.size() >= start.size() && std::equal(start.begin(), start.end(), m.begin());
        }));
    }

    int stackCount() const { return stack()->count(); }

    void writeChainringData(const std::string& json)
    {
        ASSERT_TRUE(support::writeFile(dataFolder.file("chainringData.json"), json));
    }

    // A KV7 meter (rings of kChainrings) whose factory ring is `factory` (make, model, teeth) and user
    // ring `user`, with factory slope 20.0, through its first verification.
    void connectKv7(const Bytes& user, const Bytes& factory = {'A', 3, 38});

    // The meter connects again after the window went back to the list: as the window does, the
    // device object of the lost connection is destroyed (with whatever writes it still held) and a
    // new one is made, with a new page, through its first verification.
    void reconnect()
    {
        if (device) {
            device->destroy();
            device = nullptr;
        }
        const int verified = logged("Sensor::cadenceModeChanged");
        openMeter();
        showSensor();
        ASSERT_TRUE(
            runUntil([&] { return logged("Sensor::cadenceModeChanged") > verified; }, kVerificationMs));
    }

    UnfinishedRingChange unfinished() const
    {
        return UnfinishedRingChange(QString::fromStdString(dataFolder.path()));
    }
    bool changeKept() const
    {
        UnfinishedRingChange::Change change;
        return unfinished().find(meter.product.serialNumber, change);
    }

    // Pictures of the window with each box of `title` over it, as `name`.png, where pictures are
    // wanted (the first one taken is kept).
    void screenBoxes(const QString& title, const std::string& name)
    {
        answerer.beforeAnswer = [this, title, name](QWidget* box) {
            if (box->windowTitle() == title) {
                apptest::Screenshot::screen(window.get(), QString::fromStdString(name));
            }
        };
    }

    Sensor* sensor = nullptr; // owned by the window
    std::int64_t now = 50000000;
};

// KV7 rings with their factors; the factory ring is mostly the 38T with factor 1.0. The KV7 entry
// lists its members in the other order, one factor is a JSON number, and a table of another kind
// is skipped.
const char* const kChainrings = R"([
  {"data": "calibrations", "values": [
    {"marlet": "KV5", "calibrations": ["Z-Mesh 36T", "A3", "7.5", "Other", "00", "1.0"]},
    {"calibrations": ["Z-Mesh 34T", "A3", "0.95", "Z-Mesh 38T", "A3", 1.0, "Z-Mesh 53T", "B7", "1.3",
                      "Z-Mesh 30T", "A3", "0", "Z-Mesh 46T", "A3", "inf", "Other", "00", "1.0"],
     "marlet": "KV7"}]},
  {"data": "chainrings", "values": {"A3": "VelonixZ-Mesh", "B7": "Brindle7", "00": "Unknown"}},
  {"data": "bikes", "values": []}
])";

void Bench::connectKv7(const Bytes& user, const Bytes& factory)
{
    writeChainringData(kChainrings);
    meter.product.model = 5;
    firmware.setRegisters(0x39, {0x09});
    firmware.setRegisters(0x3D, {0, 0});
    firmware.setRegisters(0x60, user);
    firmware.setRegisters(0x42, factory);
    firmware.setRegisters(0x21, {0x14, 0x00, 0x00});
    openMeter();
    showSensor();
    verify();
}

TEST(SensorTest, ShowsTheMetersNumberRevisionAndLiveValues)
{
    Bench b;
    b.meter.readings.power = 200;
    b.meter.readings.cadence = 90;
    b.meter.product.softwareRevision = 30;
    b.openMeter();
    b.showSensor();
    EXPECT_EQ(b.text("idValue"), "4321");
    // Nothing measured yet: no value is shown as if it were 0.
    for (const char* name : {"wattsValue", "cadenceValue", "torqueValue", "versionValue"}) {
        EXPECT_EQ(b.text(name), "--") << name;
    }
    apptest::Screenshot::screen(b.window.get(), "sensor-before-data");

    ASSERT_TRUE(b.runUntil(
        [&] {
            return b.text("wattsValue") == "200 W" && b.text("cadenceValue") == "90 rpm" &&
                   b.text("versionValue") == "30";
        },
        20000));
    const int revolutions = b.text("revsValue").toInt();

    b.meter.readings.power = 310;
    b.meter.readings.cadence = 75;
    ASSERT_TRUE(b.runUntil(
        [&] { return b.text("wattsValue") == "310 W" && b.text("cadenceValue") == "75 rpm"; }, 20000));
    EXPECT_GT(b.text("revsValue").toInt(), revolutions);
    EXPECT_NE(b.text("torqueValue"), "0 Nm");
}

TEST(SensorTest, UnchangedValuesShowZeroOnlyAfterAChangeAndFiveSecondsWithoutOne)
{
    Bench b;
    b.makeHiddenSensor();
    auto* fields = new FixedFields;
    b.device->sportData.reset(fields);

    struct Step
    {
        const char* what;
        int advanceMs;
        float power, cadence, torque;
        int revolutions;
        const char *watts, *rpm, *nm, *revs;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Step steps[] = {
        {"first data, truncated toward zero", 0, 249.9f, 90.6f, -0.5f, 10, "249 W", "90 rpm", "0 Nm", "10"},
        {"never stale before a change", 6000, 249.9f, 90.6f, -0.5f, 10, "249 W", "90 rpm", "0 Nm", "10"},
        {"a change", 0, 249.9f, 90.6f, 12.7f, 11, "249 W", "90 rpm", "12 Nm", "11"},
        {"5000 ms without change", 5000, 249.9f, 90.6f, 12.7f, 11, "249 W", "90 rpm", "12 Nm", "11"},
        {"5001 ms without change", 1, 249.9f, 90.6f, 12.7f, 11, "0 W", "0 rpm", "0 Nm", "11"},
        {"the next change is live", 1000, 251.2f, 90.6f, 12.7f, 11, "251 W", "90 rpm", "12 Nm", "11"},
        {"values no int holds", 0, nan, 1e30f, -1e30f, 12, "0 W", "0 rpm", "0 Nm", "12"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        b.now += step.advanceMs;
        fields->floats = {{18, step.power}, {15, step.cadence}, {20, step.torque}};
        fields->ints = {{19, step.revolutions}};
        b.sensor->dataReceived(b.device.get(), 0x1C0000);
        EXPECT_EQ(b.text("wattsValue"), step.watts);
        EXPECT_EQ(b.text("cadenceValue"), step.rpm);
        EXPECT_EQ(b.text("torqueValue"), step.nm);
        EXPECT_EQ(b.text("revsValue"), step.revs);
    }
}

TEST(SensorTest, ProductPagesSettleTheRevisionAndTheButtonsOnce)
{
    struct Case
    {
        const char* what;
        int hardware, software, model;
        const char* diagnostics;
        bool diagnosticsEnabled;
        const char* firmware;
    };
    const Case cases[] = {
        {"revision 17 of the early family", 8, 17, 2, "Unavailable, Requires SW>17", false,
         "Waiting for data..."},
        {"revision 18", 8, 18, 2, "Diagnostics", true, "Waiting for data..."},
        {"revision 17 of a later family", 44, 17, 2, "Diagnostics", true, "Waiting for data..."},
        {"the lumora model", 44, 30, 7, "Diagnostics", true, "Unavailable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.makeHiddenSensor();
        auto* fields = new FixedFields;
        b.device->sportData.reset(fields);
        fields->ints = {{2, c.hardware}, {4, c.model}, {5, c.software}};

        // Manufacturer data before any revision is left for later.
        b.sensor->dataReceived(b.device.get(), 0x04);
        EXPECT_EQ(b.text("versionValue"), "--");
        EXPECT_EQ(b.button("settingsButton")->text(), "Waiting for data...");
        EXPECT_FALSE(b.button("settingsButton")->isEnabled());

        b.sensor->dataReceived(b.device.get(), 0x24);
        EXPECT_EQ(b.text("versionValue"), QString::number(c.software));
        EXPECT_EQ(b.button("settingsButton")->text(), "Settings");
        EXPECT_TRUE(b.button("settingsButton")->isEnabled());
        EXPECT_EQ(b.button("diagnosticsButton")->text(), c.diagnostics);
        EXPECT_EQ(b.button("diagnosticsButton")->isEnabled(), c.diagnosticsEnabled);
        EXPECT_EQ(b.button("firmwareButton")->text(), c.firmware);
        EXPECT_FALSE(b.button("firmwareButton")->isEnabled());

        // Later pages change neither.
        fields->ints[5] = 99;
        fields->ints[4] = 5;
        b.sensor->dataReceived(b.device.get(), 0x24);
        EXPECT_EQ(b.text("versionValue"), QString::number(c.software));
        EXPECT_EQ(b.button("diagnosticsButton")->text(), c.diagnostics);
    }
}

TEST(SensorTest, BootloaderVersionEnablesFirmwareOnlyWhenItIsReal)
{
    struct Case
    {
        int version;
        bool enabled;
    };
    for (const Case& c : {Case{0x0105, true}, Case{0, false}, Case{0xFFFF, false}}) {
        SCOPED_TRACE(c.version);
        Bench b;
        b.makeHiddenSensor();
        b.sensor->bootloadReceived(b.device.get(), c.version);
        EXPECT_EQ(b.button("firmwareButton")->text(), "Firmware");
        EXPECT_EQ(b.button("firmwareButton")->isEnabled(), c.enabled);
    }
}

TEST(SensorTest, FirstConnectionTurnsPowerBalanceOnAndEnforcesTheCadenceMode)
{
    struct Case
    {
        const char* what;
        int model;
        int balanceRegister;
        Bytes cadenceMode;
        int balanceAfter;
        Bytes cadenceModeAfter;
        bool congratulated;
    };
    const Case cases[] = {
        {"power balance off is turned on", 2, 0x01, {0, 0}, 0x09, {0, 0}, true},
        {"type 1 keeps power balance off", 1, 0x81, {0, 0}, 0x81, {0, 0}, false},
        {"power balance on, mode 48 accepted", 2, 0x09, {0, 48}, 0x09, {0, 48}, false},
        {"cadence 1 is reset", 2, 0x09, {1, 0}, 0x09, {0, 0}, false},
        {"mode 16 is reset", 2, 0x09, {0, 16}, 0x09, {0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.meter.product.model = c.model;
        b.firmware.setRegisters(0x39, {static_cast<unsigned char>(c.balanceRegister)});
        b.firmware.setRegisters(0x3D, c.cadenceMode);
        b.openMeter();
        b.showSensor();
        EXPECT_TRUE(b.busy());
        ASSERT_NE(b.watchdog(), nullptr);
        EXPECT_EQ(b.watchdog()->interval(), 20000);

        b.verify();
        EXPECT_EQ(b.firmware.registers(0x39, 1), Bytes{static_cast<unsigned char>(c.balanceAfter)});
        EXPECT_EQ(b.firmware.registers(0x3D, 2), c.cadenceModeAfter);
        EXPECT_EQ(b.answerer.boxes("Congratulations!").size(), c.congratulated ? 1u : 0u);
        EXPECT_GE(b.received({0xF0, 0x03, 0xFF, 0xDC, 0x02}), 1); // the bootloader's version
        EXPECT_EQ(b.button("firmwareButton")->text(), "Firmware");
        EXPECT_TRUE(b.button("firmwareButton")->isEnabled());
        EXPECT_FALSE(b.busy());
        EXPECT_EQ(b.watchdog(), nullptr);
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

TEST(SensorTest, LaterShowsPutBackTheLastAcceptedCadenceMode)
{
    Bench b;
    b.meter.product.model = 2;
    b.firmware.setRegisters(0x39, {0x09});
    b.firmware.setRegisters(0x3D, {0, 48});
    b.openMeter();
    b.showSensor();
    b.verify();
    EXPECT_EQ(b.firmware.registers(0x3D, 2), (Bytes{0, 48}));
    const int bootloaderQueries = b.received({0xF0, 0x03, 0xFF, 0xDC, 0x02});

    // The firmware page goes over it and back: the page stops listening meanwhile.
    b.firmware.setRegisters(0x3D, {1, 48});
    b.answerer.press("Warning", "I Understand");
    b.button("firmwareButton")->click();
    ASSERT_EQ(b.stackCount(), 4);
    EXPECT_EQ(b.watchdog(), nullptr);
    b.run(kVerificationMs);
    EXPECT_EQ(b.firmware.registers(0x3D, 2), (Bytes{1, 48}));
    // The firmware page asks for the bootloader's version itself.
    const int queriesBeforeBack = b.received({0xF0, 0x03, 0xFF, 0xDC, 0x02});
    EXPECT_EQ(queriesBeforeBack, bootloaderQueries + 1);
    b.window->backClicked();
    ASSERT_EQ(b.stackCount(), 3);
    ASSERT_NE(b.watchdog(), nullptr);
    EXPECT_EQ(b.watchdog()->interval(), 5000);
    EXPECT_TRUE(b.busy());
    b.run(kVerificationMs);
    EXPECT_EQ(b.firmware.registers(0x3D, 2), (Bytes{0, 48}));
    EXPECT_FALSE(b.busy());
    EXPECT_EQ(b.watchdog(), nullptr);
    EXPECT_EQ(b.logged("Sensor::showEvent doQueryCadenceMode"), 1);
    // A later show only verifies.
    EXPECT_EQ(b.received({0xF0, 0x03, 0xFF, 0xDC, 0x02}), queriesBeforeBack);
}

TEST(SensorTest, MinimisingAndRestoringTheWindowIsNoNavigation)
{
    Bench b;
    b.meter.product.model = 2;
    b.firmware.setRegisters(0x39, {0x01});
    b.openMeter();
    b.showSensor();

    // Minimised during the first connection: the page goes on with it.
    b.window->showMinimized();
    QCoreApplication::processEvents();
    b.verify();
    EXPECT_EQ(b.firmware.registers(0x39, 1), Bytes{0x09});
    EXPECT_EQ(b.received({0xF0, 0x03, 0xFF, 0xDC, 0x02}), 1);
    EXPECT_EQ(b.button("firmwareButton")->text(), "Firmware");
    EXPECT_TRUE(b.button("firmwareButton")->isEnabled());

    // Restored: nothing is verified again, and the page still hears the meter once per page.
    b.window->showNormal();
    QCoreApplication::processEvents();
    b.run(kVerificationMs);
    EXPECT_EQ(b.logged("Sensor::showEvent firstConnection waiting for SportManufacturer"), 1);
    EXPECT_EQ(b.logged("Sensor::showEvent doQueryCadenceMode"), 0);
    EXPECT_EQ(b.logged("Sensor::cadenceModeChanged"), 1);
    EXPECT_FALSE(b.busy());
    EXPECT_EQ(b.watchdog(), nullptr);
    b.meter.readings.power = 321;
    ASSERT_TRUE(b.runUntil([&] { return b.text("wattsValue") == "321 W"; }, 5000));
}

TEST(SensorTest, LumoraMeterGetsBleBackOnAndRestarts)
{
    struct Case
    {
        const char* what;
        int flags;
        int flagsAfter;
        bool fixed;
    };
    const Case cases[] = {
        {"BLE disabled: the whole byte is cleared", 0x06, 0x00, true},
        {"BLE enabled: left alone", 0x02, 0x02, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.meter.product.model = 7;
        b.firmware.setRegisters(0x39, {0x09});
        b.firmware.setRegisters(0x7F, {static_cast<unsigned char>(c.flags)});
        b.openMeter();
        b.showSensor();
        if (c.fixed) {
            ASSERT_TRUE(
                b.runUntil([&] { return !b.answerer.boxes("Disconnected").empty(); }, kVerificationMs));
            ASSERT_EQ(b.answerer.boxes("BLE Update").size(), 1u);
            EXPECT_EQ(b.answerer.boxes("BLE Update")[0].text,
                      "<p>BLE was turned off.</p><p>Pelotune has now set BLE to on.</p>");
            EXPECT_EQ(b.received({0xF0, 0x08}), 1); // to sleep, to restart with BLE on
            // The write's confirmation is logged like any other register's.
            EXPECT_EQ(b.logged("Sensor::registerChanged location:127 length:1"), 1);
            EXPECT_EQ(b.logged("Sensor::registerChanged production flags updated"), 1);
            // Back to the list of meters once the window's back timer ran.
            EXPECT_TRUE(QTest::qWaitFor([&] { return b.stackCount() == 2; }, 10000));
        } else {
            b.verify();
            EXPECT_TRUE(b.answerer.boxes("BLE Update").empty());
            EXPECT_TRUE(b.answerer.boxes("Disconnected").empty());
            EXPECT_EQ(b.received({0xF0, 0x08}), 0);
            EXPECT_EQ(b.button("firmwareButton")->text(), "Unavailable");
            EXPECT_FALSE(b.button("firmwareButton")->isEnabled());
        }
        EXPECT_EQ(b.firmware.registers(0x7F, 1), Bytes{static_cast<unsigned char>(c.flagsAfter)});
        EXPECT_EQ(b.received({0xF0, 0x03}), 0); // this model is never asked for its bootloader
    }
}

TEST(SensorTest, WatchdogForcesTheCadenceModeThenGivesUp)
{
    for (bool answers : {true, false}) {
        SCOPED_TRACE(answers ? "the meter answers the forced write" : "the meter is silent");
        Bench b;
        b.meter.product.model = 2;
        b.firmware.setRegisters(0x39, {0x09});
        b.firmware.setRegisters(0x3D, {1, 2});
        b.openMeter();
        b.meter.setSilent(!answers);
        b.showSensor();

        QTimer* first = b.watchdog();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->interval(), 20000);
        first->start(0); // its time is up
        QCoreApplication::processEvents();
        EXPECT_EQ(b.logged("Sensor::forceCadenceMode timeout forcing proper cadence"), 1);
        QTimer* second = b.watchdog();
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(second->interval(), 5000);

        if (answers) {
            b.verify();
            EXPECT_EQ(b.watchdog(), nullptr);
            EXPECT_EQ(b.firmware.registers(0x3D, 2), (Bytes{0, 0}));
            EXPECT_TRUE(b.answerer.boxes("Disconnected").empty());
            EXPECT_EQ(b.stackCount(), 3);
        } else {
            second->start(0);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !b.answerer.boxes("Disconnected").empty(); }, 10000));
            EXPECT_EQ(b.answerer.boxes("Disconnected").at(0).text,
                      "<p>The power meter appears to have disconnected.</p><p>Pelotune will close the "
                      "connection.</p>");
            EXPECT_TRUE(QTest::qWaitFor([&] { return b.stackCount() == 2; }, 10000));
        }
    }
}

TEST(SensorTest, AMeterThatFallsSilentIsTakenAsLostAfterTheWatchdogTime)
{
    Bench b;
    b.meter.product.model = 2;
    b.firmware.setRegisters(0x39, {0x09});
    b.openMeter();
    b.showSensor();
    b.verify();
    ASSERT_EQ(b.text("wattsValue"), "200 W");
    ASSERT_TRUE(b.silenceCheck()->isActive());

    // Under another page the meter's data still counts: a meter that talks is not lost.
    b.window->addStackedWidget(new QWidget);
    EXPECT_FALSE(b.silenceCheck()->isActive());
    for (int i = 0; i < 6; ++i) {
        b.run(1000);
        QTest::qWait(300);
    }
    EXPECT_TRUE(b.answerer.boxes("Disconnected").empty());
    b.window->backClicked();
    b.run(kVerificationMs / 4);
    EXPECT_FALSE(b.busy());
    ASSERT_TRUE(b.silenceCheck()->isActive());

    // The meter's channel stays open when it goes out of range: only its silence tells.
    b.meter.setSilent(true);
    b.run(4000);
    QTest::qWait(1500); // a check of the page's runs meanwhile
    EXPECT_TRUE(b.answerer.boxes("Disconnected").empty());
    EXPECT_EQ(b.text("wattsValue"), "200 W");
    EXPECT_EQ(b.stackCount(), 3);

    b.run(1100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !b.answerer.boxes("Disconnected").empty(); }, 5000));
    EXPECT_EQ(b.text("wattsValue"), "0 W");
    EXPECT_EQ(b.text("cadenceValue"), "0 rpm");
    EXPECT_EQ(b.text("torqueValue"), "0 Nm");
    EXPECT_TRUE(QTest::qWaitFor([&] { return b.stackCount() == 2; }, 10000));
    EXPECT_EQ(b.answerer.boxes("Disconnected").size(), 1u);
}

// The meter goes silent while another of its pages is shown: the connection's watchdog takes it as
// lost all the same, the page's busy box closes, and a ring change whose slope never landed says so.
TEST(SensorTest, AMeterThatFallsSilentUnderAnotherPageIsTakenAsLost)
{
    Bench b;
    b.connectKv7({'A', 3, 38});
    b.answerer.press("Notice", "OK");
    b.button("slopeButton")->click();
    ASSERT_TRUE(
        b.runUntil([&] { return b.logged("Slope::querySlope factory:0") == 1 && !MeterBench::busy(); }));
    MeterBench::button(b.currentPage(), "calibrationTablesButton")->click();
    MeterBench::flush();
    ASSERT_STREQ(b.currentPage()->metaObject()->className(), "Tables");
    ASSERT_TRUE(b.runUntil([&] { return !MeterBench::busy(); }));
    auto* next = b.currentPage()->findChild<QComboBox*>("newChainringsCombo");
    next->setCurrentIndex(next->findText("Z-Mesh 34T"));
    MeterBench::button(b.currentPage(), "acceptButton")->click();

    // The ring lands, then the meter goes before the slope does.
    ASSERT_TRUE(b.runUntil([&] { return b.logged("Tables::registerChanged location:96 length:3") == 1; }));
    b.meter.setSilent(true);
    ASSERT_TRUE(b.runUntil([&] { return MeterBench::busyTexts() == QStringList{"Setting Slope..."}; }));

    b.run(5100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !b.answerer.boxes("Disconnected").empty(); }, 5000));
    EXPECT_FALSE(MeterBench::busy());
    EXPECT_EQ(b.logged("Slope::meterLost the power meter was lost before its new slope was confirmed"), 1);
    EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 34}));
    EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 12.5f, 2.0f / 65536);
    EXPECT_TRUE(QTest::qWaitFor([&] { return b.stackCount() == 2; }, 10000));
    EXPECT_EQ(b.answerer.boxes("Disconnected").size(), 1u);
    // Kept for the meter's next connection.
    UnfinishedRingChange::Change change;
    ASSERT_TRUE(b.unfinished().find(b.meter.product.serialNumber, change));
    EXPECT_EQ(change.ring, "Z-Mesh 34T");
    EXPECT_EQ((Bytes{static_cast<unsigned char>(change.make), static_cast<unsigned char>(change.model),
                     static_cast<unsigned char>(change.teeth)}),
              (Bytes{'A', 3, 34}));
    EXPECT_NEAR(change.slope, 19.0f, 1e-4f);
}

TEST(SensorTest, SilenceIsCountedAlsoWhenTheClockIsSetBack)
{
    Bench b;
    b.meter.product.model = 2;
    b.firmware.setRegisters(0x39, {0x09});
    b.openMeter();
    b.showSensor();
    b.verify();

    b.meter.setSilent(true);
    b.now -= 3600 * 1000;
    QTest::qWait(1200); // a check of the page's runs meanwhile
    b.run(5100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !b.answerer.boxes("Disconnected").empty(); }, 5000));
}

// The window's thread busy past the limit (a slow machine loading the calibration view) pumps nothing
// meanwhile: that is no silence of the meter, while a meter silent afterwards is still taken as lost.
TEST(SensorTest, AThreadBusyPastTheLimitIsNoSilenceOfTheMeter)
{
    Bench b;
    b.meter.product.model = 2;
    b.firmware.setRegisters(0x39, {0x09});
    b.openMeter();
    b.showSensor();
    b.verify();

    b.now += 6000;
    QThread::msleep(2100);
    QTest::qWait(20); // the check that comes late runs before anything is pumped
    b.run(1500);
    EXPECT_TRUE(b.answerer.boxes("Disconnected").empty());

    b.meter.setSilent(true);
    b.run(5100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !b.answerer.boxes("Disconnected").empty(); }, 5000));
}

// A KV7 meter at the 38T, user slope 12.5 and factory slope 20.0 for its factory 38T, is changed to
// the 34T (factor 0.95: slope 19.0) by one of the two roads, and lost after the k-th acknowledged
// message of the change, for every k the change sends. It then connects again.
enum class Road
{
    RingList, // the Sensor page's ring list
    Tables    // Slope -> Calibration Tables -> Accept
};

struct RingCut
{
    int cut; // acknowledged messages the meter takes before it is lost; -1: never lost
    const char* name;
    bool ringLanded;  // the meter holds the 34T when it is lost
    bool slopeLanded; // ... and slope 19.0
    bool kept;        // the change is kept as unfinished when the meter is lost
    bool offered;     // its next connection offers to finish it
};

// The factory slope read (the new slope is known before the ring goes out), unlock, ring, closing
// unlock (the ring confirmed), unlock, slope, closing unlock (the slope confirmed).
const RingCut kRingListCuts[] = {
    {0, "Nothing", false, false, false, false},    {1, "FactorySlopeAsked", false, false, false, false},
    {2, "Unlock", false, false, true, false},      {3, "Ring", true, false, true, true},
    {4, "RingConfirmed", true, false, true, true}, {5, "SlopeUnlock", true, false, true, true},
    {6, "Slope", true, true, true, false},         {7, "SlopeConfirmed", true, true, false, false},
    {-1, "Never", true, true, false, false},
};

// Unlock, ring, closing unlock (the ring confirmed, the Slope page shown again), unlock, slope,
// closing unlock (the slope confirmed), the user slope read back.
const RingCut kTablesCuts[] = {
    {0, "Nothing", false, false, true, false},
    {1, "Unlock", false, false, true, false},
    {2, "Ring", true, false, true, true},
    {3, "RingConfirmed", true, false, true, true},
    {4, "SlopeUnlock", true, false, true, true},
    {5, "Slope", true, true, true, false},
    {6, "SlopeConfirmed", true, true, false, false},
    {7, "SlopeReadBack", true, true, false, false},
    {-1, "Never", true, true, false, false},
};

void PrintTo(const RingCut& c, std::ostream* out)
{
    *out << (c.cut < 0 ? std::string("never cut") : "cut after message " + std::to_string(c.cut));
}

std::string cutName(const ::testing::TestParamInfo<RingCut>& info)
{
    return info.param.cut < 0 ? std::string(info.param.name)
                              : "After" + std::to_string(info.param.cut) + info.param.name;
}

void cutAndConnectAgain(Road road, const RingCut& c, int messages)
{
    Bench b;
    b.connectKv7({'A', 3, 38});
    ASSERT_EQ(b.combo()->currentText(), "Z-Mesh 38T");
    b.answerer.press("Notice", "OK");
    b.answerer.press("Unfinished Chainring Change", "OK");
    if (road == Road::Tables) {
        b.button("slopeButton")->click();
        ASSERT_TRUE(
            b.runUntil([&] { return b.logged("Slope::querySlope factory:0") == 1 && !MeterBench::busy(); }));
        MeterBench::button(b.currentPage(), "calibrationTablesButton")->click();
        MeterBench::flush();
        ASSERT_STREQ(b.currentPage()->metaObject()->className(), "Tables");
        ASSERT_TRUE(b.runUntil([&] { return !MeterBench::busy(); }));
        auto* next = b.currentPage()->findChild<QComboBox*>("newChainringsCombo");
        next->setCurrentIndex(next->findText("Z-Mesh 34T"));
        ASSERT_EQ(MeterBench::text(b.currentPage(), "newSlopeValue"), "19.00 (-5.0%)");
    }

    const std::size_t before = b.meter.acknowledgedReceived().size();
    auto taken = [&] { return static_cast<int>(b.meter.acknowledgedReceived().size() - before); };
    if (c.cut >= 0) {
        b.meter.silenceAfterAcknowledged(c.cut);
    }
    if (road == Road::RingList) {
        b.combo()->setCurrentIndex(b.combo()->findText("Z-Mesh 34T"));
    } else {
        MeterBench::button(b.currentPage(), "acceptButton")->click();
    }

    if (c.cut < 0) {
        ASSERT_TRUE(b.runUntil([&] {
            return road == Road::RingList
                       ? b.logged("Sensor:slopeChanged:0") == 1 && !b.busy()
                       : b.logged("Slope::slopeChanged factory:0") == 1 && !MeterBench::busy();
        }));
        b.run(3000);
        EXPECT_EQ(taken(), messages) << "every message of the change has its cut";
        b.window->allBack();
        MeterBench::flush();
    } else {
        ASSERT_TRUE(b.runUntil([&] { return b.meter.silent(); }));
        EXPECT_EQ(taken(), c.cut);
        b.run(5100);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !b.answerer.boxes("Disconnected").empty(); }, 5000));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.stackCount() == 2; }, 10000));
    EXPECT_FALSE(MeterBench::busy());
    EXPECT_EQ(b.firmware.registers(0x60, 3), c.ringLanded ? (Bytes{'A', 3, 34}) : (Bytes{'A', 3, 38}));
    EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), c.slopeLanded ? 19.0f : 12.5f, 2.0f / 65536);
    EXPECT_EQ(b.changeKept(), c.kept);

    b.meter.setSilent(false);
    b.reconnect();
    ASSERT_TRUE(b.runUntil([&] { return !b.changeKept() && !b.busy(); }, kVerificationMs));
    b.run(3000);

    ASSERT_EQ(b.answerer.boxes("Unfinished Chainring Change").size(), c.offered ? 1u : 0u);
    if (c.offered) {
        EXPECT_EQ(b.answerer.boxes("Unfinished Chainring Change")[0].text,
                  "The change to the chainring Z-Mesh 34T was cut short: the power meter has the new ring "
                  "but not its slope.\n\nFinish the change now?");
    }
    // The ring and the slope belong together: the new ones, or the old ones.
    EXPECT_EQ(b.firmware.registers(0x60, 3), c.ringLanded ? (Bytes{'A', 3, 34}) : (Bytes{'A', 3, 38}));
    EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), c.ringLanded ? 19.0f : 12.5f, 2.0f / 65536);
    EXPECT_EQ(b.combo()->currentText(), c.ringLanded ? "Z-Mesh 34T" : "Z-Mesh 38T");
    EXPECT_EQ(b.answerer.boxes("Disconnected").size(), c.cut >= 0 ? 1u : 0u);
    EXPECT_EQ(b.firmware.lockedWrites(), 0);
    Slope::startSetSlope = 0.0f;
}

class RingListCut : public ::testing::TestWithParam<RingCut>
{
};

TEST_P(RingListCut, EndsWithTheRingAndItsSlopeAfterTheNextConnection)
{
    cutAndConnectAgain(Road::RingList, GetParam(), static_cast<int>(std::size(kRingListCuts)) - 2);
}

INSTANTIATE_TEST_SUITE_P(Sensor, RingListCut, ::testing::ValuesIn(kRingListCuts), cutName);

class TablesAcceptCut : public ::testing::TestWithParam<RingCut>
{
};

TEST_P(TablesAcceptCut, EndsWithTheRingAndItsSlopeAfterTheNextConnection)
{
    cutAndConnectAgain(Road::Tables, GetParam(), static_cast<int>(std::size(kTablesCuts)) - 2);
}

INSTANTIATE_TEST_SUITE_P(Sensor, TablesAcceptCut, ::testing::ValuesIn(kTablesCuts), cutName);

// What an earlier version kept (the ring's name and its slope, written once the ring was confirmed)
// is looked at against the meter's ring and slope the same way.
TEST(SensorTest, ChangesKeptByAnEarlierVersionAreFinishedOrForgottenAlike)
{
    struct Case
    {
        const char* what;
        const char* slopeKept;
        Bytes ring;
        float slope;
        bool offered;
        float slopeAfter;
    };
    const Case cases[] = {
        {"its ring without its slope", "19", {'A', 3, 34}, 12.5f, true, 19.0f},
        {"its ring and its slope", "19", {'A', 3, 34}, 19.0f, false, 19.0f},
        {"its ring, the slope still to work out", "0", {'A', 3, 34}, 12.5f, true, 19.0f},
        {"another ring", "19", {'A', 3, 38}, 12.5f, false, 12.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        ASSERT_TRUE(support::writeFile(b.dataFolder.file("settings.ini"),
                                       std::string("[unfinishedRingChange]\n123456789\\ring=Z-Mesh 34T\n"
                                                   "123456789\\slope=") +
                                           c.slopeKept + "\n"));
        ASSERT_TRUE(b.changeKept());
        b.answerer.press("Unfinished Chainring Change", "OK");
        b.firmware.setRegisters(0x09, apptest::slopeBytes(c.slope));
        b.connectKv7(c.ring);
        ASSERT_TRUE(b.runUntil([&] { return !b.changeKept() && !b.busy(); }, kVerificationMs));
        b.run(3000);
        EXPECT_EQ(b.answerer.boxes("Unfinished Chainring Change").size(), c.offered ? 1u : 0u);
        EXPECT_EQ(b.firmware.registers(0x60, 3), c.ring);
        EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), c.slopeAfter, 2.0f / 65536);
    }
}

TEST(SensorTest, ZeroCalibrationShowsTheReturnedValue)
{
    struct Case
    {
        bool passes;
        int value;
        const char* title;
        const char* text;
    };
    const Case cases[] = {
        {true, 200, "Passed", "Returned Value: 200\n[6.25 Nm]"},
        {false, -64, "Failed", "Returned Value: -64\n[-2.00 Nm]"},
    };
    Bench b;
    b.meter.product.model = 2;
    b.firmware.setRegisters(0x39, {0x09});
    b.openMeter();
    b.showSensor();
    b.verify();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        b.firmware.calibration.passes = c.passes;
        b.firmware.calibration.value = c.value;
        b.button("setzeroButton")->click();
        EXPECT_TRUE(b.busy());
        ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes(c.title).empty(); }, 10000));
        EXPECT_EQ(b.answerer.boxes(c.title).at(0).text, c.text);
        EXPECT_FALSE(b.busy());
    }
}

TEST(SensorTest, FirstConnectionOffersTheKv7RingsAndSelectsTheMetersRing)
{
    struct Case
    {
        const char* what;
        Bytes user;
        const char* selected;
    };
    const Case cases[] = {
        {"a ring of the table", {'A', 3, 34}, "Z-Mesh 34T"},
        {"no ring", {0, 0, 0}, "Other"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.connectKv7(c.user);

        EXPECT_EQ(b.comboTexts(), (QStringList{"Z-Mesh 34T", "Z-Mesh 38T", "Z-Mesh 53T", "Z-Mesh 30T",
                                               "Z-Mesh 46T", "Other"}));
        EXPECT_EQ(b.combo()->currentText(), c.selected);
        EXPECT_TRUE(b.sensor->findChild<QGroupBox*>("velcoriaBox")->isVisible());
        EXPECT_EQ(b.answerer.boxes("KV7 Detected").size(), 1u);
        EXPECT_EQ(b.logged("Sensor::parseChainringData unknown data type found"), 1);
        EXPECT_EQ(b.logged("Sensor::registerReceived factory chainring code=A3 translates to=VelonixZ-Mesh"),
                  1);
        EXPECT_TRUE(b.answerer.boxes("Notice").empty());

        // A later show reads the rings again and asks nothing.
        b.sensor->hide();
        b.sensor->show();
        b.run(kVerificationMs);
        EXPECT_EQ(b.combo()->currentText(), c.selected);
        EXPECT_EQ(b.comboTexts().size(), 6);
        EXPECT_TRUE(b.answerer.boxes("Notice").empty());
        EXPECT_EQ(b.answerer.boxes("KV7 Detected").size(), 1u);
        EXPECT_FALSE(b.busy());

        b.window->findChild<QPushButton*>("helpButton")->click();
        ASSERT_EQ(b.urls.urls().size(), 1u);
        EXPECT_TRUE(b.urls.urls()[0].toString().endsWith("/sensorKV7.html"));
    }
}

TEST(SensorTest, ChangingTheChainringWritesItAndRescalesTheSlopeWithinItsRange)
{
    struct Case
    {
        const char* what;
        const char* ring;
        const char* answer;
        Bytes factory;
        Bytes userRingAfter;
        float userSlopeAfter; // the meter's user slope starts at 12.5
        const char* selectedAfter;
    };
    const Case cases[] = {
        {"0.95 over 1.0 of slope 20", "Z-Mesh 34T", "OK", {'A', 3, 38}, {0x41, 3, 34}, 19.0f, "Z-Mesh 34T"},
        {"a rescaled slope above the range",
         "Z-Mesh 53T",
         "OK",
         {'A', 3, 38},
         {0x42, 7, 53},
         25.0f,
         "Z-Mesh 53T"},
        // A factor that gives no slope leaves ring and slope as they are.
        {"a rescaled slope below the range",
         "Z-Mesh 30T",
         "OK",
         {'A', 3, 38},
         {'A', 3, 38},
         12.5f,
         "Z-Mesh 38T"},
        {"an infinite factor", "Z-Mesh 46T", "OK", {'A', 3, 38}, {'A', 3, 38}, 12.5f, "Z-Mesh 38T"},
        {"factory ring not offered", "Z-Mesh 34T", "OK", {'A', 3, 44}, {0x41, 3, 34}, 20.0f, "Z-Mesh 34T"},
        {"factory ring of factor 0", "Z-Mesh 34T", "OK", {'A', 3, 30}, {0x41, 3, 34}, 20.0f, "Z-Mesh 34T"},
        {"an unknown ring keeps the slope", "Other", "OK", {'A', 3, 38}, {0, 0, 0}, 12.5f, "Other"},
        {"cancelled", "Z-Mesh 34T", "Cancel", {'A', 3, 38}, {'A', 3, 38}, 12.5f, "Z-Mesh 38T"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.connectKv7({'A', 3, 38}, c.factory);
        ASSERT_EQ(b.combo()->currentText(), "Z-Mesh 38T");
        b.answerer.press("Notice", c.answer);

        b.combo()->setCurrentIndex(b.combo()->findText(c.ring));
        b.run(kVerificationMs);

        ASSERT_EQ(b.answerer.boxes("Notice").size(), 1u);
        const QString question = b.answerer.boxes("Notice")[0].text;
        if (QString(c.ring) == "Other") {
            EXPECT_TRUE(question.startsWith("<p>You are switching to an unknown chainring.</p>"))
                << question.toStdString();
        } else {
            EXPECT_EQ(question, QString("You are switching from chainring Z-Mesh 38T to ") + c.ring +
                                    ".\n\nAre you sure?");
        }
        EXPECT_EQ(b.firmware.registers(0x60, 3), c.userRingAfter);
        EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), c.userSlopeAfter, 2.0f / 65536);
        EXPECT_EQ(b.combo()->currentText(), c.selectedAfter);
        EXPECT_FALSE(b.busy());
        EXPECT_EQ(b.firmware.lockedWrites(), 0);

        // Choosing the ring that is already set asks nothing.
        b.combo()->setCurrentIndex(b.combo()->findText(c.selectedAfter));
        QCoreApplication::processEvents();
        EXPECT_EQ(b.answerer.boxes("Notice").size(), 1u);
    }
}

// A data file whose KV7 table holds `rings` (the JSON items of its triples) before the 38T of factor
// 1.0 and "Other".
std::string kv7Table(const std::string& rings)
{
    return R"([{"data": "calibrations", "values": [{"marlet": "KV7", "calibrations": [)" + rings +
           R"(, "Z-Mesh 38T", "A3", "1.0", "Other", "00", "1.0"]}]},
               {"data": "chainrings", "values": {"A3": "VelonixZ-Mesh"}}])";
}

// The meter's factory ring is the 38T (factor 1.0) and its factory slope 20.0: the 34T's factor gives
// the new slope. Only a finite factor above 0 whose slope lies within 10 % of the range is used.
TEST(SensorTest, ARingWhoseFactorGivesNoSlopeIsNeverWritten)
{
    struct Case
    {
        const char* factor;        // the 34T's factor as the data file writes it
        const char* factoryFactor; // the 38T's
        float slopeAfter;          // 0: refused, ring and slope stay
    };
    const Case cases[] = {
        {R"("0")", R"("1.0")", 0},
        {"0", R"("1.0")", 0},
        {R"("-0.95")", R"("1.0")", 0},
        {R"("1e-30")", R"("1.0")", 0},
        {R"("abc")", R"("1.0")", 0},
        {R"("")", R"("1.0")", 0},
        {"null", R"("1.0")", 0},
        {R"("0x1")", R"("1.0")", 0},
        {R"("0,95")", R"("1.0")", 0},
        {"[0.95]", R"("1.0")", 0},
        {"{}", R"("1.0")", 0},
        {R"("1e30")", R"("1.0")", 0},
        {R"("-0.95")", R"("-1.0")", 0},
        {R"("0.13")", R"("1.0")", 0},
        {R"("1.4")", R"("1.0")", 0},
        {R"("0.14")", R"("1.0")", 3.0f},
        {R"("1.37")", R"("1.0")", 25.0f},
        {"0.95", R"("1.0")", 19.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.factor) + " over " + c.factoryFactor);
        Bench b;
        b.screenBoxes("Failed", std::string(c.factor) == R"("1.4")" ? "sensor-ring-slope-out-of-range"
                                                                    : "sensor-ring-factor-refused");
        b.connectKv7({'A', 3, 38});
        b.writeChainringData(
            R"([{"data": "calibrations", "values": [{"marlet": "KV7", "calibrations": ["Z-Mesh 34T", "A3", )" +
            std::string(c.factor) + R"(, "Z-Mesh 38T", "A3", )" + c.factoryFactor +
            R"(, "Other", "00", "1.0"]}]}, {"data": "chainrings", "values": {"A3": "VelonixZ-Mesh"}}])");
        // A later show reads the data file again.
        b.sensor->hide();
        b.sensor->show();
        b.run(kVerificationMs);
        b.answerer.press("Notice", "OK");
        b.combo()->setCurrentIndex(b.combo()->findText("Z-Mesh 34T"));
        b.run(kVerificationMs);

        EXPECT_FALSE(b.busy());
        if (c.slopeAfter == 0) {
            EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 38}));
            EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 12.5f, 2.0f / 65536);
            EXPECT_EQ(b.combo()->currentText(), "Z-Mesh 38T");
            ASSERT_EQ(b.answerer.boxes("Failed").size(), 1u);
            const auto box = b.answerer.boxes("Failed")[0];
            EXPECT_TRUE(box.text.contains("chainring Z-Mesh 34T")) << box.text.toStdString();
            EXPECT_TRUE(box.text.contains("Your chainring and slope were not changed"))
                << box.text.toStdString();
            EXPECT_FALSE(b.changeKept());
        } else {
            EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 34}));
            EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), c.slopeAfter, 2.0f / 65536);
            EXPECT_TRUE(b.answerer.boxes("Failed").empty());
        }
        EXPECT_EQ(b.firmware.lockedWrites(), 0);
    }
}

// A ring whose code or name gives no register byte is refused, and the box names the field.
TEST(SensorTest, ARingWhoseCodeOrTeethTheReaderCannotParseIsNeverWritten)
{
    struct Case
    {
        const char* name;
        const char* code;
        const char* blamed;
    };
    const Case cases[] = {
        {"Z-Mesh 34T", "A3x", "has a code (A3x)"},   {"Z-Mesh 34T", "a3", "has a code (a3)"},
        {"Z-Mesh 34T", "3", "has a code (3)"},       {"Z-Mesh 34T", "", "has a code ()"},
        {"Z-Mesh 34T", "A256", "has a code (A256)"}, {"Z-Mesh abT", "A3", "has no teeth count"},
        {"Z", "A3", "has no teeth count"},           {"Z-Mesh -5T", "A3", "has no teeth count"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.code);
        Bench b;
        b.screenBoxes("Failed", std::string(c.blamed).find("code") != std::string::npos
                                    ? "sensor-ring-code-refused"
                                    : "sensor-ring-teeth-refused");
        b.connectKv7({'A', 3, 38});
        b.writeChainringData(kv7Table(std::string("\"") + c.name + "\", \"" + c.code + "\", \"0.95\""));
        b.sensor->hide();
        b.sensor->show();
        b.run(kVerificationMs);
        b.answerer.press("Notice", "OK");
        b.combo()->setCurrentIndex(b.combo()->findText(c.name));
        b.run(kVerificationMs);

        EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 38}));
        EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 12.5f, 2.0f / 65536);
        EXPECT_EQ(b.combo()->currentText(), "Z-Mesh 38T");
        ASSERT_EQ(b.answerer.boxes("Failed").size(), 1u);
        const QString text = b.answerer.boxes("Failed")[0].text;
        EXPECT_TRUE(text.startsWith(QString("The chainring ") + c.name + " " + c.blamed))
            << text.toStdString();
        EXPECT_FALSE(b.changeKept());
        EXPECT_FALSE(b.busy());
    }
}

// A settings file that can't be written keeps no change cut short: nothing goes to the meter.
TEST(SensorTest, ARingChangeThatCannotBeKeptIsNotMade)
{
    Bench b;
    b.screenBoxes("Failed", "sensor-settings-unwritable");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(b.dataFolder.file("settings.ini"))));
    b.connectKv7({'A', 3, 38});
    b.answerer.press("Notice", "OK");
    b.combo()->setCurrentIndex(b.combo()->findText("Z-Mesh 34T"));
    b.run(kVerificationMs);

    EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 38}));
    EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 12.5f, 2.0f / 65536);
    EXPECT_EQ(b.combo()->currentText(), "Z-Mesh 38T");
    ASSERT_EQ(b.answerer.boxes("Failed").size(), 1u);
    const QString text = b.answerer.boxes("Failed")[0].text;
    EXPECT_TRUE(text.startsWith("The chainring change cannot be made safely: the settings file " +
                                QString::fromStdString(b.dataFolder.file("settings.ini")) +
                                " cannot be written"))
        << text.toStdString();
    EXPECT_EQ(b.received({0x4D}), 0) << "no unlock went out";
    EXPECT_FALSE(b.busy());
}

// A change kept with a slope no page writes has its slope worked out afresh, from the factory slope
// 20.0 and the 34T's factor 0.95.
TEST(SensorTest, AKeptSlopeOutsideTheRangeIsWorkedOutAfresh)
{
    const char* const slopes[] = {"100", "255.99", "0.001", "2.9", "25.5", "1e-45", "1e30", "-3", "nan"};
    for (const char* kept : slopes) {
        SCOPED_TRACE(kept);
        Bench b;
        ASSERT_TRUE(
            support::writeFile(b.dataFolder.file("settings.ini"),
                               std::string("[unfinishedRingChange]\n123456789\\ring=Z-Mesh 34T\n"
                                           "123456789\\make=65\n123456789\\model=3\n123456789\\teeth=34\n"
                                           "123456789\\slope=") +
                                   kept + "\n"));
        b.answerer.press("Unfinished Chainring Change", "OK");
        b.connectKv7({'A', 3, 34});
        ASSERT_TRUE(b.runUntil([&] { return !b.changeKept() && !b.busy(); }, kVerificationMs));
        EXPECT_EQ(b.answerer.boxes("Unfinished Chainring Change").size(), 1u);
        EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 19.0f, 2.0f / 65536);
        EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 34}));
    }
}

// The meter's device refuses a slope it can't send (here: its connection closed meanwhile): the busy
// box goes and a box says so, the change stays kept.
TEST(SensorTest, ASlopeTheDeviceRefusesClosesTheBusyBoxAndSaysSo)
{
    Bench b;
    ASSERT_TRUE(support::writeFile(b.dataFolder.file("settings.ini"),
                                   "[unfinishedRingChange]\n123456789\\ring=Z-Mesh 34T\n123456789\\make=65\n"
                                   "123456789\\model=3\n123456789\\teeth=34\n123456789\\slope=19\n"));
    b.connectKv7({'A', 3, 34});
    ASSERT_TRUE(b.runUntil([&] { return !b.answerer.boxes("Unfinished Chainring Change").empty(); },
                           kVerificationMs));
    QMessageBox* offer = nullptr;
    for (QMessageBox* box : b.sensor->findChildren<QMessageBox*>()) {
        if (box->windowTitle() == "Unfinished Chainring Change" && box->isVisible()) {
            offer = box;
        }
    }
    ASSERT_NE(offer, nullptr);
    // The page stops hearing the meter, whose channel is gone.
    b.device->removePowerMeterDeviceListener(b.sensor);
    b.device->destroy();
    offer->button(QMessageBox::Ok)->click();
    b.run(1000);

    EXPECT_FALSE(b.busy());
    ASSERT_EQ(b.answerer.boxes("Failed").size(), 1u);
    EXPECT_TRUE(b.answerer.boxes("Failed")[0].text.startsWith(
        "The slope 19.00 could not be sent to the power meter."));
    EXPECT_TRUE(b.changeKept());
}

// At the next connection the meter's ring is looked at against the old ring and the new one.
TEST(SensorTest, AMeterHoldingNeitherRingOfAChangeCutShortKeepsTheChangeAndSaysSo)
{
    struct Case
    {
        const char* what;
        Bytes ring;
        bool offered;
        bool neither;
        bool keptAfter;
    };
    const Case cases[] = {
        {"the new ring", {'A', 3, 34}, true, false, false},
        {"the old ring", {'A', 3, 38}, false, false, false},
        {"neither", {'A', 3, 30}, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        ASSERT_TRUE(support::writeFile(
            b.dataFolder.file("settings.ini"),
            "[unfinishedRingChange]\n123456789\\ring=Z-Mesh 34T\n123456789\\make=65\n123456789\\model=3\n"
            "123456789\\teeth=34\n123456789\\slope=19\n123456789\\oldMake=65\n123456789\\oldModel=3\n"
            "123456789\\oldTeeth=38\n"));
        b.answerer.press("Unfinished Chainring Change", c.neither ? "OK" : "Cancel");
        b.connectKv7(c.ring);
        b.run(kVerificationMs);

        const auto boxes = b.answerer.boxes("Unfinished Chainring Change");
        ASSERT_EQ(boxes.size(), c.offered || c.neither ? 1u : 0u);
        if (c.neither) {
            EXPECT_TRUE(boxes[0].text.contains("the power meter now holds a ring that is neither"))
                << boxes[0].text.toStdString();
            EXPECT_TRUE(boxes[0].plain);
        }
        EXPECT_EQ(b.changeKept(), c.keptAfter || c.offered);
        EXPECT_EQ(b.firmware.registers(0x60, 3), c.ring);
        EXPECT_NEAR(slopeOf(b.firmware.registers(0x09, 3)), 12.5f, 2.0f / 65536);
    }
}

// Names from the data file and the settings file are shown as they stand, never as markup: in the
// question, in the busy boxes and in the offer of a change cut short.
TEST(SensorTest, NamesFromFilesAreShownAsPlainText)
{
    const QString name = "Z-Mesh 34T<h1>Z</h1><a href='http://x'>x</a><img src='x'>";
    {
        Bench b;
        b.connectKv7({'A', 3, 38});
        b.writeChainringData(kv7Table("\"" + name.toStdString() + "\", \"A3\", \"0.95\""));
        b.sensor->hide();
        b.sensor->show();
        b.run(kVerificationMs);
        b.answerer.press("Notice", "OK");
        b.combo()->setCurrentIndex(b.combo()->findText(name));
        QStringList busyTexts;
        ASSERT_TRUE(b.runUntil(
            [&] {
                for (QProgressDialog* progress : b.sensor->findChildren<QProgressDialog*>()) {
                    for (QLabel* label : progress->findChildren<QLabel*>()) {
                        if (progress->isVisible() && label->text().contains(name) &&
                            !busyTexts.contains(label->text())) {
                            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
                            busyTexts << label->text();
                        }
                    }
                }
                return b.logged("Sensor:slopeChanged:0") == 1 && !b.busy();
            },
            kVerificationMs));
        EXPECT_FALSE(busyTexts.isEmpty());
        ASSERT_EQ(b.answerer.boxes("Notice").size(), 1u);
        EXPECT_TRUE(b.answerer.boxes("Notice")[0].plain);
        EXPECT_TRUE(b.answerer.boxes("Notice")[0].text.contains(name));
        EXPECT_EQ(b.firmware.registers(0x60, 3), (Bytes{'A', 3, 34}));
    }

    // One bench at a time: the offer of a change cut short.
    Bench later;
    ASSERT_TRUE(
        support::writeFile(later.dataFolder.file("settings.ini"),
                           "[unfinishedRingChange]\n123456789\\ring=<b>Z-Mesh 34T</b>\n123456789\\make=65\n"
                           "123456789\\model=3\n123456789\\teeth=34\n123456789\\slope=19\n"));
    later.answerer.press("Unfinished Chainring Change", "Cancel");
    later.connectKv7({'A', 3, 34});
    later.run(kVerificationMs);
    ASSERT_EQ(later.answerer.boxes("Unfinished Chainring Change").size(), 1u);
    EXPECT_TRUE(later.answerer.boxes("Unfinished Chainring Change")[0].plain);
    EXPECT_TRUE(later.answerer.boxes("Unfinished Chainring Change")[0].text.contains("<b>Z-Mesh 34T</b>"));
}

} // namespace

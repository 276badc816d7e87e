// The pages' blocking boxes run an event loop of their own, in which the window's pump goes on:
// pulling the stick while one is up takes the meter's pages down under the box. The box outlives its
// page, the user answers it, and the program goes on.
#include "WindowRig.h"

#include "app/Diagnostics.h"
#include "app/Sensor.h"
#include "app/Slope.h"
#include "firmware/Firmware.h"
#include "support/SimulatedMeterFirmware.h"

#include <QElapsedTimer>
#include <QInputDialog>
#include <QPointer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using apptest::WindowRig;

namespace {

constexpr int METER = 3300;

// A window whose stick has one meter in range, opened by its number; the meter's firmware is made
// anew for each stick that opens.
struct OpenMeter
{
    explicit OpenMeter(int model, int productionFlags)
    {
        rig.bench.plug(0x1008);
        rig.bench.meters = [this, model, productionFlags](support::SimulatedStickRadio& stick) {
            support::SimulatedPowerMeter& meter = stick.addMeter(METER);
            meter.product.model = model;
            auto& firmware = firmwares.emplace_back(std::make_unique<support::SimulatedMeterFirmware>(meter));
            firmware->setRegisters(0x39, {0x09});
            firmware->setRegisters(0x7F, {static_cast<unsigned char>(productionFlags)});
        };
        // "Stick Lost" tells of the pulled stick over the box the user still has to answer.
        for (const char* title : {"Congratulations!", "KV7 Detected", "Stick Lost"}) {
            rig.boxes.press(title, "OK");
        }
        rig.boxes.press("Warning", "I Understand");
        rig.start();
        rig.button("enterIDButton")->click();
        auto* dialog = rig.window->findChild<QInputDialog*>();
        dialog->setIntValue(METER);
        dialog->accept();
    }

    // The Sensor page once the window pushed it, else null.
    Sensor* sensor()
    {
        if (!rig.runUntil([&] { return rig.stack()->count() == 3; }, 300)) {
            return nullptr;
        }
        return qobject_cast<Sensor*>(rig.currentPage());
    }

    // Answers the box titled `title` with `button` only once the window has taken the meter's pages
    // down (or after ten seconds, so that a window that never does ends the test).
    void answerOnceThePagesAreGone(const QString& title, const QString& button)
    {
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        auto* watcher = new QTimer(rig.window.get());
        QObject::connect(watcher, &QTimer::timeout, [this, title, button, clock, watcher] {
            if (rig.stack()->count() == 2 || clock->elapsed() > 10000) {
                answeredWithPagesGone = rig.stack()->count() == 2;
                rig.boxes.press(title, button);
                watcher->deleteLater();
            }
        });
        watcher->start(5);
    }

    // Declared first: the meters on the window's sticks use them until the window goes.
    std::vector<std::unique_ptr<support::SimulatedMeterFirmware>> firmwares;
    WindowRig rig;
    bool answeredWithPagesGone = false;
};

// Every box of a page that blocks (a message box or input dialog run with its own loop).
TEST(BlockingBoxTest, PullingTheStickUnderABlockingBoxLeavesTheBoxToTheUser)
{
    struct Case
    {
        const char* title;
        const char* answer;
        int model;
        int productionFlags;
        // The Sensor page's button that opens the page of the box; none for the Sensor page's own.
        const char* pageButton;
        // Logged once the page is where the box comes up.
        const char* ready;
        // Opens the box as its page does, outside the pump (the watchdog's timer, for one).
        std::function<void(QWidget*)> open;
    };
    const Case cases[] = {
        {"Disconnected", "OK", 2, 0x00, nullptr, "Sensor::cadenceModeChanged",
         [](QWidget* page) { qobject_cast<Sensor*>(page)->disconnected(); }},
        // The production flags are fixed; the box comes with the cadence mode's confirmation.
        {"BLE Update", "OK", 7, 0x06, nullptr, "Sensor::registerChanged production flags updated",
         [](QWidget* page) { qobject_cast<Sensor*>(page)->cadenceModeChanged(nullptr); }},
        {"Enter Slope", "OK", 2, 0x00, "slopeButton", "Slope::slopeReceived slope12.500000 factory:0",
         [](QWidget* page) { qobject_cast<Slope*>(page)->enterSlope(); }},
        {"Reset Slope", "OK", 2, 0x00, "slopeButton", "Slope::slopeReceived slope12.500000 factory:0",
         [](QWidget* page) { qobject_cast<Slope*>(page)->resetSlope(); }},
        {"Send Diagnostics", "OK", 2, 0x00, "diagnosticsButton", "Sensor::cadenceModeChanged",
         [](QWidget* page) { qobject_cast<Diagnostics*>(page)->sendDiagnostics(); }},
        {"Firmware Release Notes", "OK", 2, 0x00, "firmwareButton", "Sensor::cadenceModeChanged",
         [](QWidget* page) { qobject_cast<Firmware*>(page)->releaseNotesClicked(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        OpenMeter open(c.model, c.productionFlags);
        WindowRig& rig = open.rig;
        QPointer<Sensor> sensor = open.sensor();
        ASSERT_FALSE(sensor.isNull());
        if (c.pageButton) {
            ASSERT_TRUE(rig.runUntil([&] { return rig.logged("Sensor::cadenceModeChanged"); }, 600));
            sensor->findChild<QPushButton*>(c.pageButton)->click();
            ASSERT_EQ(rig.stack()->count(), 4);
        }
        QPointer<QWidget> page = rig.currentPage();
        ASSERT_TRUE(rig.runUntil([&] { return rig.logged(c.ready); }, 600));

        rig.bench.pull(0x1008);
        open.answerOnceThePagesAreGone(c.title, c.answer);
        c.open(page.data());
        WindowRig::flush();

        EXPECT_TRUE(open.answeredWithPagesGone);
        EXPECT_TRUE(page.isNull());
        EXPECT_TRUE(sensor.isNull());
        ASSERT_EQ(rig.boxes.boxes(c.title).size(), 1u);
        EXPECT_EQ(rig.stack()->count(), 2);
        EXPECT_EQ(rig.stack()->currentIndex(), 0);
        EXPECT_EQ(rig.button("ANTButton")->text(), "ANT+ Dongle Type: None");

        // The window goes on: the stick comes back and is used again.
        rig.bench.plug(0x1008);
        rig.window->checkForUsbDevice();
        EXPECT_TRUE(rig.button("searchButton")->isEnabled());
    }
}

} // namespace

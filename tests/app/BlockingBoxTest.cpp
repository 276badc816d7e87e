// The Sensor page's blocking boxes ("Disconnected", "BLE Update") run an event loop of their own, in
// which the window's pump goes on: pulling the stick while one is up takes the meter's pages down
// under the box. The box outlives its page, the user answers it, and the program goes on.
#include "WindowRig.h"

#include "app/Sensor.h"
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
        for (const char* title : {"Congratulations!", "KV7 Detected"}) {
            rig.boxes.press(title, "OK");
        }
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

    // Answers the box titled `title` only once the window has taken the meter's pages down (or after
    // ten seconds, so that a window that never does ends the test).
    void answerOnceThePagesAreGone(const QString& title)
    {
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        auto* watcher = new QTimer(rig.window.get());
        QObject::connect(watcher, &QTimer::timeout, [this, title, clock, watcher] {
            if (rig.stack()->count() == 2 || clock->elapsed() > 10000) {
                answeredWithPagesGone = rig.stack()->count() == 2;
                rig.boxes.press(title, "OK");
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

TEST(BlockingBoxTest, PullingTheStickUnderABlockingBoxLeavesTheBoxToTheUser)
{
    struct Case
    {
        const char* title;
        int model;
        int productionFlags;
        // Logged once the page is where the box comes up.
        const char* ready;
        // Opens the box as its page does, outside the pump (the watchdog's timer, for one).
        std::function<void(Sensor*)> open;
    };
    const Case cases[] = {
        {"Disconnected", 2, 0x00, "Sensor::cadenceModeChanged", [](Sensor* page) { page->disconnected(); }},
        // The production flags are fixed; the box comes with the cadence mode's confirmation.
        {"BLE Update", 7, 0x06, "Sensor::registerChanged production flags updated",
         [](Sensor* page) { page->cadenceModeChanged(nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        OpenMeter open(c.model, c.productionFlags);
        WindowRig& rig = open.rig;
        QPointer<Sensor> page = open.sensor();
        ASSERT_FALSE(page.isNull());
        ASSERT_TRUE(rig.runUntil([&] { return rig.logged(c.ready); }, 600));

        rig.bench.pull(0x1008);
        open.answerOnceThePagesAreGone(c.title);
        c.open(page.data());
        WindowRig::flush();

        EXPECT_TRUE(open.answeredWithPagesGone);
        EXPECT_TRUE(page.isNull());
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

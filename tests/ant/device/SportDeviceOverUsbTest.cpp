#include "ant/device/SportDevice.h"

#include "MeterRig.h"
#include "ant/AntChannel.h"
#include "ant/AntManagerListener.h"
#include "ant/AntRadioManager.h"
#include "ant/PCAntRadio.h"
#include "ant/search/SportDeviceSearch.h"
#include "core/IntrusivePointer.h"
#include "support/LibusbStandIn.h"
#include "support/SimulatedAntChip.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>

// The search and the device on the whole stack the program runs: the USB radio, its connector and
// reader thread, over the libusb stand-in with the simulated stick behind it.
namespace vant::device {
namespace {

using rezezaz::core::IntrusivePointer;
using support::LibusbStandIn;
using support::SimulatedAntChip;
using support::SimulatedStick;
using vant::ant::AntChannel;
using vant::search::SportDeviceSearch;
using vant::test::DeviceRecorder;
using vant::test::SearchRecorder;

constexpr int kVendor = 0x0FCF;
constexpr int kProduct = 0x1008;
constexpr int kTick = 33;

// Plays the main window: pumps the manager every tick, holds the manager, the search and the
// device, and takes them all down when the stick goes.
class Window : public vant::ant::AntManagerListener
{
public:
    explicit Window(SimulatedStick& stick) : mStick(stick) {}

    bool setUp()
    {
        manager =
            new vant::ant::AntRadioManager(vant::ant::new_PCAntRadio(57600, kVendor, kProduct), nullptr);
        if (!manager->create()) {
            return false;
        }
        manager->addManagerListener(this);
        search = new SportDeviceSearch(manager.get());
        search->addSportDeviceSearchListener(&searchEvents);
        return true;
    }

    void stateChanged(bool up) override
    {
        if (up) {
            return;
        }
        ++losses;
        if (search) {
            search->cancel();
            search->removeSportDeviceSearchListener(&searchEvents);
            search->destroy();
            search = nullptr;
        }
        if (device) {
            device->destroy();
            device = nullptr;
        }
        // The window's references are the last: the manager lives on only while it needs itself.
        manager->removeManagerListener(this);
        manager->destroy();
        manager = nullptr;
    }

    // One tick of the pump: the stick's time and the manager's move on together. Then what the
    // reader thread brings in is handled before time moves again, so that no answer is late in
    // virtual time however slowly the thread runs.
    void tick()
    {
        mStick.ant().advance(kTick);
        manager->update(kTick);
        for (int round = 0; manager && round < 100; ++round) {
            waitForReader();
            if (!manager) {
                return;
            }
            manager->update(0);
            if (mStick.pendingTransfers() == 0 || mStick.unplugged()) {
                return;
            }
        }
    }

    // Ticks until `done` holds, for at most `limitMs` of virtual time.
    bool runUntil(const std::function<bool()>& done, int limitMs)
    {
        for (int elapsed = 0; !done(); elapsed += kTick) {
            if (elapsed >= limitMs || !manager) {
                return done();
            }
            tick();
        }
        return true;
    }

    IntrusivePointer<vant::ant::AntRadioManager> manager;
    IntrusivePointer<SportDeviceSearch> search;
    IntrusivePointer<SportDevice> device;
    SearchRecorder searchEvents;
    DeviceRecorder deviceEvents;
    int losses = 0;

private:
    // Until the reader thread has taken everything the stick queued; a generous deadline only
    // catches a reader that hangs.
    void waitForReader()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        // A pulled stick's queue is never read again.
        while (mStick.pendingTransfers() > 0 && !mStick.unplugged()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the reader thread stopped";
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::this_thread::yield();
    }

    SimulatedStick& mStick;
};

TEST(SportDeviceOverUsbTest, ScanOpenAndReceiveThenTheStickIsPulledOut)
{
    LibusbStandIn& usb = LibusbStandIn::instance();
    usb.reset();
    SimulatedStick& stick = usb.addDevice(kVendor, kProduct);
    stick.ant().addMeter(31488);
    stick.ant().addMeter(4660);
    {
        Window window(stick);
        ASSERT_TRUE(window.setUp());

        // The list search: a scan of 16 s that finds both meters.
        ASSERT_TRUE(window.search->search(16, -1, -1, -1, -1, -1, false));
        ASSERT_TRUE(window.runUntil([&] { return !window.searchEvents.finished.empty(); }, 20000));
        EXPECT_EQ(window.searchEvents.numbers(), (std::set<int>{31488, 4660}));
        EXPECT_EQ(window.searchEvents.finished, std::vector<bool>{false});
        EXPECT_GT(usb.completions(LIBUSB_TRANSFER_COMPLETED), 100) << "the answers came through the reader";
        for (int number = 0; number < 4; ++number) {
            EXPECT_EQ(stick.ant().channelState(number), SimulatedAntChip::ChannelState::Unassigned);
        }

        // Opening one of them by number, and the device on the channel that found it.
        window.searchEvents = SearchRecorder();
        ASSERT_TRUE(window.search->search(6, 31488, -1, -1, -1, -1, false));
        ASSERT_TRUE(window.runUntil([&] { return !window.searchEvents.finished.empty(); }, 10000));
        ASSERT_EQ(window.searchEvents.found, (std::vector<std::pair<int, int>>{{31488, 0}}));
        window.device = new SportDevice(31488, 11, window.manager.get(), 0);
        window.device->addSportDeviceListener(&window.deviceEvents);
        ASSERT_TRUE(window.runUntil([&] { return window.deviceEvents.masks.size() >= 4; }, 5000));
        int power = 0;
        EXPECT_TRUE(window.device->sportData->getField(&power, 17));
        EXPECT_EQ(power, stick.ant().meter(0).readings.power);

        // Pulled out: the window takes everything down from inside the manager's own update.
        stick.unplug();
        ASSERT_TRUE(window.runUntil([&] { return window.losses > 0; }, 60000));
        EXPECT_EQ(window.losses, 1);
        EXPECT_EQ(window.manager, nullptr);
        EXPECT_EQ(window.deviceEvents.closedCount, 1);
        EXPECT_EQ(window.searchEvents.finished.size(), 1u)
            << "a search taken down with its stick says no more";
    }
    EXPECT_EQ(usb.unbalanced(), "");
}

} // namespace
} // namespace vant::device

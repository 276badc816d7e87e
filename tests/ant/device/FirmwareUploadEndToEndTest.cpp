#include "ant/device/VelonixPowerMeterDevice.h"

#include "MeterRig.h"
#include "ant/AntChannel.h"
#include "ant/AntRadioManager.h"
#include "ant/PCAntRadio.h"
#include "ant/search/SportDeviceSearch.h"
#include "core/IntrusivePointer.h"
#include "support/LibusbStandIn.h"
#include "support/SimulatedAntChip.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedPowerMeter.h"
#include "support/UploadRecorder.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>
#include <vector>

// A whole firmware update on the stack the program runs: the USB radio with its connector and reader
// thread, over the libusb stand-in with the simulated stick and meter behind it.
namespace vant::device {
namespace {

using rezezaz::core::IntrusivePointer;
using support::Bytes;
using support::LibusbStandIn;
using support::SimulatedMeterFirmware;
using support::SimulatedPowerMeter;
using support::SimulatedStick;
using support::UploadRecorder;
using vant::search::SportDeviceSearch;
using vant::test::SearchRecorder;

constexpr int kVendor = 0x0FCF;
constexpr int kProduct = 0x1008;
constexpr int kTick = 33;
constexpr int kMeter = 2718;
constexpr int kImageSize = 0x10000;
constexpr int kApplicationStart = 0x8000;
constexpr int kVectorsSize = 32;

// Plays the main window's pump: every tick the stick's time and the manager's move on together, and
// what the reader thread brings in is handled before time moves again, so that no answer is late in
// virtual time however slowly the thread runs.
class Pump
{
public:
    explicit Pump(SimulatedStick& stick) : mStick(stick) {}

    ~Pump()
    {
        if (manager) {
            manager->destroy();
        }
    }

    bool open()
    {
        manager =
            new vant::ant::AntRadioManager(vant::ant::new_PCAntRadio(57600, kVendor, kProduct), nullptr);
        return manager->create();
    }

    void tick()
    {
        ++updates;
        mStick.ant().advance(kTick);
        manager->update(kTick);
        for (int round = 0; round < 100; ++round) {
            waitForReader();
            ++updates;
            manager->update(0);
            if (mStick.pendingTransfers() == 0) {
                return;
            }
        }
    }

    bool runUntil(const std::function<bool()>& done, int limitMs)
    {
        for (int elapsed = 0; !done(); elapsed += kTick) {
            if (elapsed >= limitMs) {
                return false;
            }
            tick();
        }
        return true;
    }

    // Finds the meter by number as the main window does, on the application's radio settings; true
    // when channel 0 was left open on it.
    bool find(int number)
    {
        SearchRecorder events;
        IntrusivePointer<SportDeviceSearch> search = new SportDeviceSearch(manager.get());
        search->addSportDeviceSearchListener(&events);
        const bool started = search->search(6, number, -1, -1, -1, -1, false);
        const bool ended = started && runUntil([&] { return !events.finished.empty(); }, 10000);
        search->destroy();
        return ended && events.found.size() == 1;
    }

    IntrusivePointer<vant::ant::AntRadioManager> manager;
    int updates = 0;

private:
    // Until the reader thread has taken everything the stick queued; a generous deadline only
    // catches a reader that hangs.
    void waitForReader()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (mStick.pendingTransfers() > 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the reader thread stopped";
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::this_thread::yield();
    }

    SimulatedStick& mStick;
};

// A firmware image as a build leaves it: code from the application's start, a blank gap, a table,
// a few stray bytes in otherwise blank blocks, and the interrupt vectors at the top.
Bytes firmwareImage()
{
    Bytes image(kImageSize, 0xFF);
    std::mt19937 random(7);
    const auto fill = [&](int from, int length) {
        for (int at = from; at < from + length; ++at) {
            image[static_cast<size_t>(at)] = static_cast<unsigned char>(random());
        }
    };
    fill(kApplicationStart, 5000);
    fill(0xA000, 600);
    image[0xB123] = 0x00;
    image[0xB7FF] = 0x42;
    fill(kImageSize - kVectorsSize, kVectorsSize);
    return image;
}

// The application area the bootloader should end with, worked out apart from the library: the image
// below the moved vectors, the vectors just below the CRC, and the CRC by the meter's own reckoning.
int field(VelonixPowerMeterDevice& device, int id)
{
    int value = 0;
    device.sportData->getField(&value, id);
    return value;
}

TEST(FirmwareUploadEndToEndTest, UpdateThroughTheUsbStickThenTheMeterRunsTheNewFirmware)
{
    LibusbStandIn& usb = LibusbStandIn::instance();
    usb.reset();
    SimulatedStick& stick = usb.addDevice(kVendor, kProduct);
    SimulatedPowerMeter& meter = stick.ant().addMeter(kMeter);
    SimulatedMeterFirmware firmware(meter);
    const int oldRevision = meter.product.softwareRevision;
    ASSERT_NE(oldRevision, firmware.bootloader.softwareRevisionAfterUpdate);
    {
        Pump pump(stick);
        ASSERT_TRUE(pump.open());
        ASSERT_TRUE(pump.find(kMeter));
        UploadRecorder events;
        IntrusivePointer<VelonixPowerMeterDevice> device =
            new VelonixPowerMeterDevice(kMeter, pump.manager.get(), 0, false);
        device->addPowerMeterDeviceListener(&events);

        // The firmware page: switch, wait for the bootloader's page, upload.
        device->changeBootload();
        ASSERT_TRUE(pump.runUntil([&] { return events.changedCount > 0; }, 30000));
        ASSERT_TRUE(pump.runUntil([&] { return field(*device, 28) != 0; }, 5000));
        const int bootloaderStart = field(*device, 28);
        EXPECT_EQ(bootloaderStart, firmware.bootloader.startAddress);
        Bytes image = firmwareImage();
        device->bootloadData(0, bootloaderStart, image.data());
        ASSERT_TRUE(pump.runUntil([&] { return !events.finished.empty(); }, 120000));

        EXPECT_EQ(events.finished, std::vector<bool>{true});
        EXPECT_FALSE(events.progress.empty());
        EXPECT_EQ(firmware.refusedMessages(), 0);
        EXPECT_GT(usb.completions(LIBUSB_TRANSFER_COMPLETED), 100) << "the answers came through the reader";

        // The finish reaches the meter, which restarts its application, now the new one; the page
        // then goes back and the meter is found again on its own settings.
        ASSERT_TRUE(pump.runUntil([&] { return !firmware.inBootloader(); }, 10000));
        EXPECT_EQ(
            Bytes(firmware.flash().begin() + kApplicationStart, firmware.flash().begin() + bootloaderStart),
            SimulatedMeterFirmware::applicationAreaAfterUpload(image, bootloaderStart));
        device->destroy();
        device = nullptr;
        ASSERT_TRUE(pump.runUntil(
            [&] {
                return pump.manager->getChannel(0, -1)->getState() == vant::ant::AntChannel::STATE_UNASSIGNED;
            },
            5000));
        ASSERT_TRUE(pump.find(kMeter));
        device = new VelonixPowerMeterDevice(kMeter, pump.manager.get(), 0, false);
        ASSERT_TRUE(pump.runUntil([&] { return field(*device, 5) != 0; }, 20000));
        EXPECT_EQ(field(*device, 5), firmware.bootloader.softwareRevisionAfterUpdate);
        EXPECT_FALSE(device->getBootload());
        device->destroy();
    }
    EXPECT_EQ(usb.unbalanced(), "");
}

} // namespace
} // namespace vant::device

#pragma once

// What the upload benchmarks share: their images, and a meter in its bootloader behind a simulated
// stick that a benchmark pumps as the main window does (update(33), 33 ms of the stick's time each).

#include "ant/AntRadioManager.h"
#include "ant/search/SportDeviceSearch.h"
#include "ant/search/SportDeviceSearchListener.h"
#include "core/IntrusivePointer.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedStickRadio.h"

#include <functional>
#include <random>
#include <cmath>
#include <utility>

namespace uploadbench {

constexpr int kTick = 33;
constexpr int kMeter = 1001;

// The floors an upload of n sections cannot beat. Every section starts with an acknowledged
// positioning message, which goes out only in a slot of the bootloader's channel (3136/32768 s,
// 95.7 ms); the erase and the final CRC page add a slot each. The slot floor is the protocol's own;
// the tick floor rounds each slot up to the whole pump ticks (3, 99 ms) after which the host learns
// that its message went out, which is the pump's design.
constexpr double kSlotMs = 3136.0 * 1000.0 / 32768.0;
inline double slotFloorMs(long sections)
{
    return (static_cast<double>(sections) + 2.0) * kSlotMs;
}
inline double tickFloorMs(long sections)
{
    return (static_cast<double>(sections) + 2.0) * std::ceil(kSlotMs / kTick) * kTick;
}

// Every byte of the 32 KB above 0x8000 holds code, up to the image's end.
inline support::Bytes fullImage()
{
    support::Bytes image(0x10000, 0xFF);
    std::mt19937 random(1);
    for (int at = 0x8000; at < 0x10000; ++at) {
        image[static_cast<size_t>(at)] = static_cast<unsigned char>(random() & 0x7F);
    }
    return image;
}

// Code in one 64-byte block of every four below a bootloader at 0xC000, so that no two blocks join
// into one section.
inline support::Bytes sparseImage()
{
    support::Bytes image(0x10000, 0xFF);
    std::mt19937 random(2);
    for (int block = 0x8000; block < 0xC000; block += 4 * 64) {
        for (int at = block; at < block + 64; ++at) {
            image[static_cast<size_t>(at)] = static_cast<unsigned char>(random() & 0x7F);
        }
    }
    for (int at = 0x10000 - 32; at < 0x10000; ++at) {
        image[static_cast<size_t>(at)] = static_cast<unsigned char>(at);
    }
    return image;
}

// A created manager on a simulated stick, and behind it meter kMeter waiting in its bootloader.
class BootloaderMeter
{
public:
    // `afterUpdate` runs after every manager update.
    explicit BootloaderMeter(int bootloaderStart, std::function<void()> afterUpdate = {})
        // The manager is created before the meter is added.
        : radio(new support::SimulatedStickRadio()), manager(new vant::ant::AntRadioManager(radio.get(), nullptr)),
          meter((manager->create(), radio->addMeter(kMeter))), firmware(meter), afterUpdate(std::move(afterUpdate))
    {
        firmware.bootloader.startAddress = bootloaderStart;
        firmware.enterBootloader();
    }

    ~BootloaderMeter() { manager->destroy(); }

    BootloaderMeter(const BootloaderMeter&) = delete;
    BootloaderMeter& operator=(const BootloaderMeter&) = delete;

    // Updates the manager until `done` holds, `limit` times at the most; the updates it took.
    long runUntil(const std::function<bool()>& done, long limit)
    {
        long updates = 0;
        while (!done() && updates < limit) {
            manager->update(kTick);
            if (afterUpdate) {
                afterUpdate();
            }
            ++updates;
        }
        return updates;
    }

    // Searches for the meter on the bootloader's channel, which leaves channel 0 open on it; true when
    // it was found.
    bool find()
    {
        struct SearchEnd : vant::search::SportDeviceSearchListener
        {
            void deviceFound(int, int) override { found = true; }
            void searchFinished(bool) override { ended = true; }
            bool found = false;
            bool ended = false;
        } search;
        rezezaz::core::IntrusivePointer<vant::search::SportDeviceSearch> searching =
            new vant::search::SportDeviceSearch(manager.get());
        searching->addSportDeviceSearchListener(&search);
        searching->search(6, kMeter, 11, 3136, 70, 0, false);
        runUntil([&] { return search.ended; }, 1000);
        searching->destroy();
        return search.found;
    }

    rezezaz::core::IntrusivePointer<support::SimulatedStickRadio> radio;
    rezezaz::core::IntrusivePointer<vant::ant::AntRadioManager> manager;
    support::SimulatedPowerMeter& meter;
    support::SimulatedMeterFirmware firmware;

private:
    std::function<void()> afterUpdate;
};

} // namespace uploadbench

#pragma once

#include "ant/AntChannel.h"
#include "ant/AntRadioManager.h"
#include "ant/device/SportDevice.h"
#include "ant/device/SportDeviceListener.h"
#include "ant/search/SportDeviceSearch.h"
#include "ant/search/SportDeviceSearchListener.h"
#include "core/IntrusivePointer.h"
#include "support/SimulatedStickRadio.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vant::test {

// Notes whether a search found something and whether it ended.
class SearchRecorderBase : public vant::search::SportDeviceSearchListener
{
public:
    void deviceFound(int, int) override { found = true; }
    void searchFinished(bool) override { ended = true; }
    bool found = false;
    bool ended = false;
};

// A manager on a simulated stick, pumped the way the main window pumps it: update(33), with 33 ms of
// the stick's virtual time passing in each call.
class MeterRig
{
public:
    static constexpr int kTick = 33;

    explicit MeterRig(int product = 0x1008) : radio(new support::SimulatedStickRadio(product))
    {
        manager = new vant::ant::AntRadioManager(radio.get(), nullptr);
        EXPECT_TRUE(manager->create());
    }

    ~MeterRig()
    {
        if (manager) {
            manager->destroy();
        }
    }

    MeterRig(const MeterRig&) = delete;
    MeterRig& operator=(const MeterRig&) = delete;

    void addMeterNumbers(std::initializer_list<int> numbers)
    {
        for (int number : numbers) {
            radio->addMeter(number);
        }
    }

    // Pumps for `ms` of virtual time.
    void run(int ms)
    {
        for (int elapsed = 0; elapsed < ms; elapsed += kTick) {
            manager->update(kTick);
        }
    }

    // Pumps until `done` holds, for at most `limitMs` of virtual time; false when it never did.
    bool runUntil(const std::function<bool()>& done, int limitMs)
    {
        for (int elapsed = 0; !done(); elapsed += kTick) {
            if (elapsed >= limitMs) {
                return false;
            }
            manager->update(kTick);
        }
        return true;
    }

    // Opens meter `number` as the main window does: a search by number that leaves channel 0 open and
    // identified on it. False when the search did not end on it.
    bool openByNumber(int number)
    {
        SearchRecorderBase found;
        rezezaz::core::IntrusivePointer<vant::search::SportDeviceSearch> search =
            new vant::search::SportDeviceSearch(manager.get());
        search->addSportDeviceSearchListener(&found);
        const bool started = search->search(6, number, -1, -1, -1, -1, false);
        const bool ended = started && runUntil([&] { return found.ended; }, 10000);
        search->destroy();
        return ended && found.found && channelState(0) == vant::ant::AntChannel::STATE_OPEN;
    }

    // The state of the channel in slot `number`, -1 for an empty slot.
    int channelState(int number)
    {
        vant::ant::AntChannel* channel = manager->getChannel(number, -1);
        return channel ? channel->getState() : -1;
    }

    // What the host sent with this id since the last clearSent().
    std::vector<support::Bytes> sent(int id) const
    {
        std::vector<support::Bytes> payloads;
        for (const auto& message : radio->sent()) {
            if (message.id == id) {
                payloads.push_back(message.payload);
            }
        }
        return payloads;
    }

    rezezaz::core::IntrusivePointer<support::SimulatedStickRadio> radio;
    rezezaz::core::IntrusivePointer<vant::ant::AntRadioManager> manager;
};

// Records what a search reports.
class SearchRecorder : public vant::search::SportDeviceSearchListener
{
public:
    void deviceFound(int deviceNumber, int channel) override
    {
        found.emplace_back(deviceNumber, channel);
        if (onFound) {
            onFound(deviceNumber, channel);
        }
    }
    void searchFinished(bool cancelled) override
    {
        finished.push_back(cancelled);
        if (onFinished) {
            onFinished(cancelled);
        }
    }

    // The device numbers reported, each once.
    std::set<int> numbers() const
    {
        std::set<int> result;
        for (const auto& entry : found) {
            result.insert(entry.first);
        }
        return result;
    }
    // The channels reported on, each once.
    std::set<int> channels() const
    {
        std::set<int> result;
        for (const auto& entry : found) {
            result.insert(entry.second);
        }
        return result;
    }

    std::vector<std::pair<int, int>> found; // device number, channel
    std::vector<bool> finished;             // the `cancelled` of each end
    std::function<void(int, int)> onFound;
    std::function<void(bool)> onFinished;
};

// Records what a device reports.
class DeviceRecorder : public vant::device::SportDeviceListener
{
public:
    struct Calibration
    {
        bool passed;
        int value;
        bool operator==(const Calibration& other) const
        {
            return passed == other.passed && value == other.value;
        }
    };

    void opened(vant::device::SportDevice*) override { ++openedCount; }
    void closed(vant::device::SportDevice* device) override
    {
        ++closedCount;
        if (onClosed) {
            onClosed(device);
        }
    }
    void dataReceived(vant::device::SportDevice*, int fields) override { masks.push_back(fields); }
    void calibrateReceived(vant::device::SportDevice*, bool passed, int value) override
    {
        calibrations.push_back({passed, value});
    }

    int openedCount = 0;
    int closedCount = 0;
    std::vector<int> masks;
    std::vector<Calibration> calibrations;
    std::function<void(vant::device::SportDevice*)> onClosed;
};

inline std::ostream& operator<<(std::ostream& out, const DeviceRecorder::Calibration& c)
{
    return out << (c.passed ? "passed " : "failed ") << c.value;
}

} // namespace vant::test

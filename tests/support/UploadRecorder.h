#pragma once

#include "ant/device/VelonixPowerMeterDeviceListener.h"

#include <vector>

namespace support {

// Records what a power meter reports of the switch into its bootloader and of an upload; the other
// callbacks are counted only where an upload must not cause them. Used by the device tests and the
// upload benchmark.
class UploadRecorder : public vant::device::VelonixPowerMeterDeviceListener
{
public:
    using Device = vant::device::VelonixPowerMeterDevice;

    void opened(vant::device::SportDevice*) override {}
    void closed(vant::device::SportDevice*) override { ++closedCount; }
    void dataReceived(vant::device::SportDevice*, int) override { ++dataCount; }
    void calibrateReceived(vant::device::SportDevice*, bool, int) override {}
    void autozeroChanged(Device*) override {}
    void autozeroReceived(Device*, int) override {}
    void cadenceChanged(Device*) override {}
    void cadenceReceived(Device*, int) override {}
    void modeChanged(Device*) override {}
    void modeReceived(Device*, int) override {}
    void cadenceModeChanged(Device*) override {}
    void cadenceModeReceived(Device*, int, int) override {}
    void slopeChanged(Device*, bool) override {}
    void slopeReceived(Device*, float, bool) override {}
    void offsetChanged(Device*, bool) override {}
    void offsetReceived(Device*, int, bool) override {}
    void directionChanged(Device*) override {}
    void directionReceived(Device*, bool) override {}
    void cadenceDirectionChanged(Device*) override {}
    void cadenceDirectionReceived(Device*, bool) override {}
    void torqueDirectionChanged(Device*) override {}
    void torqueDirectionReceived(Device*, bool) override {}
    void bootloadReceived(Device*, int version) override { versions.push_back(version); }
    void bootloadChanged(Device*) override { ++changedCount; }
    void bootloadProgress(Device*, int percent) override { progress.push_back(percent); }
    void bootloadFinished(Device*, bool success) override { finished.push_back(success); }
    void sleepStarted(Device*) override {}

    int closedCount = 0;
    int dataCount = 0;
    int changedCount = 0;
    std::vector<int> versions;
    std::vector<int> progress;
    std::vector<bool> finished;
};

} // namespace support

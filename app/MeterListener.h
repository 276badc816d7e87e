#pragma once

#include "ant/device/VelonixPowerMeterDeviceListener.h"

namespace vant::device {
class SportDevice;
class VelonixPowerMeterDevice;
} // namespace vant::device

// A listener of a power meter that ignores every callback: the app's listeners derive from it and
// override only the callbacks they act on. A plain class, so that a QObject or QWidget may take it
// as its second base.
class MeterListener : public vant::device::VelonixPowerMeterDeviceListener
{
public:
    // vant::device::SportDeviceListener
    void opened(vant::device::SportDevice* device) override;
    void closed(vant::device::SportDevice* device) override;
    void dataReceived(vant::device::SportDevice* device, int fields) override;
    void calibrateReceived(vant::device::SportDevice* device, bool passed, int value) override;

    // vant::device::VelonixPowerMeterDeviceListener
    void autozeroChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void autozeroReceived(vant::device::VelonixPowerMeterDevice* device, int autozero) override;
    void cadenceChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceReceived(vant::device::VelonixPowerMeterDevice* device, int cadence) override;
    void modeChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void modeReceived(vant::device::VelonixPowerMeterDevice* device, int mode) override;
    void cadenceModeChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceModeReceived(vant::device::VelonixPowerMeterDevice* device, int cadence, int mode) override;
    void slopeChanged(vant::device::VelonixPowerMeterDevice* device, bool factory) override;
    void slopeReceived(vant::device::VelonixPowerMeterDevice* device, float slope, bool factory) override;
    void offsetChanged(vant::device::VelonixPowerMeterDevice* device, bool factory) override;
    void offsetReceived(vant::device::VelonixPowerMeterDevice* device, int offset, bool factory) override;
    void directionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void directionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void cadenceDirectionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void torqueDirectionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void torqueDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void bootloadReceived(vant::device::VelonixPowerMeterDevice* device, int version) override;
    void bootloadChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void bootloadProgress(vant::device::VelonixPowerMeterDevice* device, int percent) override;
    void bootloadFinished(vant::device::VelonixPowerMeterDevice* device, bool success) override;
    void sleepStarted(vant::device::VelonixPowerMeterDevice* device) override;

protected:
    // Listeners are never deleted through this class.
    ~MeterListener() = default;
};

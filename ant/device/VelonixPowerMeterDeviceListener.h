#pragma once

#include "ant/device/SportDeviceListener.h"

namespace vant::device {

class VelonixPowerMeterDevice;

// Told by a VelonixPowerMeterDevice how its commands end: a "Received" callback answers a read, a
// "Changed" callback ends a write sequence. Registered with addPowerMeterDeviceListener; not owned.
// Every listener of a meter implements each callback, those of SportDeviceListener too, and leaves
// empty the ones it does not need; only the power-balance and raw-register callbacks have empty
// bodies here.
class VelonixPowerMeterDeviceListener : public SportDeviceListener
{
public:
    virtual void autozeroChanged(VelonixPowerMeterDevice* device) = 0;
    // Bits 0-1 of register 0x39.
    virtual void autozeroReceived(VelonixPowerMeterDevice* device, int autozero) = 0;
    virtual void cadenceChanged(VelonixPowerMeterDevice* device) = 0;
    virtual void cadenceReceived(VelonixPowerMeterDevice* device, int cadence) = 0;
    virtual void modeChanged(VelonixPowerMeterDevice* device) = 0;
    virtual void modeReceived(VelonixPowerMeterDevice* device, int mode) = 0;
    virtual void cadenceModeChanged(VelonixPowerMeterDevice* device) = 0;
    virtual void cadenceModeReceived(VelonixPowerMeterDevice* device, int cadence, int mode) = 0;
    virtual void slopeChanged(VelonixPowerMeterDevice* device, bool factory) = 0;
    virtual void slopeReceived(VelonixPowerMeterDevice* device, float slope, bool factory) = 0;
    virtual void offsetChanged(VelonixPowerMeterDevice* device, bool factory) = 0;
    virtual void offsetReceived(VelonixPowerMeterDevice* device, int offset, bool factory) = 0;
    virtual void directionChanged(VelonixPowerMeterDevice* device) = 0;
    virtual void directionReceived(VelonixPowerMeterDevice* device, bool direction) = 0;
    virtual void cadenceDirectionChanged(VelonixPowerMeterDevice* device) = 0;
    virtual void cadenceDirectionReceived(VelonixPowerMeterDevice* device, bool direction) = 0;
    virtual void torqueDirectionChanged(VelonixPowerMeterDevice* device) = 0;
    virtual void torqueDirectionReceived(VelonixPowerMeterDevice* device, bool direction) = 0;
    virtual void pedalBalanceChanged(VelonixPowerMeterDevice*) {}
    virtual void pedalBalanceReceived(VelonixPowerMeterDevice*, bool) {}
    virtual void registerChanged(VelonixPowerMeterDevice*, int, int) {}
    // `data` holds `length` bytes of the register starting at `location`; valid during the call only.
    virtual void registerReceived(VelonixPowerMeterDevice*, int, int, unsigned char*) {}
    // The bootloader's version, answering doQueryBootload().
    virtual void bootloadReceived(VelonixPowerMeterDevice* device, int version) = 0;
    // The meter runs its bootloader and the device follows it (after changeBootload()).
    virtual void bootloadChanged(VelonixPowerMeterDevice* device) = 0;
    // Share of the upload's sections sent so far.
    virtual void bootloadProgress(VelonixPowerMeterDevice* device, int percent) = 0;
    virtual void bootloadFinished(VelonixPowerMeterDevice* device, bool success) = 0;
    virtual void sleepStarted(VelonixPowerMeterDevice* device) = 0;

protected:
    ~VelonixPowerMeterDeviceListener() = default;
};

} // namespace vant::device

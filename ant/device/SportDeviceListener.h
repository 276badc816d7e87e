#pragma once

namespace vant::device {

class SportDevice;

// Told by a SportDevice what becomes of it: decoded data, calibration answers and its end. Registered
// with addSportDeviceListener; the device does not own it, and a listener may remove itself (or let go
// of the device) inside any callback.
class SportDeviceListener
{
public:
    // Declared for listeners that want it; the library does not call it.
    virtual void opened(SportDevice* device) = 0;
    // The device let go of its channel (from destroy()); no further callbacks follow.
    virtual void closed(SportDevice* device) = 0;
    // A broadcast was decoded; `fields` is the decoder's mask of every page received so far.
    virtual void dataReceived(SportDevice* device, int fields) = 0;
    // The answer to requestCalibrate(): passed or failed, and the reported value.
    virtual void calibrateReceived(SportDevice* device, bool passed, int value) = 0;

protected:
    // Listeners are never deleted through this interface.
    ~SportDeviceListener() = default;
};

} // namespace vant::device

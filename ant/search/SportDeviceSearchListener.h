#pragma once

namespace vant::search {

// Told by a SportDeviceSearch which devices it sees and when it is over. Registered with
// addSportDeviceSearchListener; the search does not own it, and a listener may remove itself inside
// any callback.
class SportDeviceSearchListener
{
public:
    // A device seen on `channel`. A scan reports every message it hears, so the same device comes
    // again and again; the listener filters repeats.
    virtual void deviceFound(int deviceNumber, int channel) = 0;
    // The search is over: `cancelled` when cancel() ended it.
    virtual void searchFinished(bool cancelled) = 0;

protected:
    // Listeners are never deleted through this interface.
    ~SportDeviceSearchListener() = default;
};

} // namespace vant::search

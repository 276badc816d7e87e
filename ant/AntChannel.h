#pragma once

#include "core/Interface.h"

namespace vant::ant {

class AntChannelListener;

// One of the stick's ANT channels (0 to 3) as its users see it. Users set the device id, search time,
// period and frequency, then ask for a target state; the channel walks the stick there one response
// at a time and reports to its listeners. Counted; the manager owns it, users that keep it retain it.
class AntChannel : public rezezaz::core::Interface
{
public:
    // State codes (getState()). Targets use codes 0 to 4 with the same meaning.
    static constexpr int STATE_RADIO_DOWN = 0;
    static constexpr int STATE_UNASSIGNED = 1;  // also while the configuration is under way
    static constexpr int STATE_ASSIGNED = 2;    // assigned, closed
    static constexpr int STATE_OPEN = 3;        // open, device identified
    static constexpr int STATE_SCANNING = 4;    // open in receive scan mode (channel 0 only)
    static constexpr int STATE_SEARCHING = 5;   // open, searching
    static constexpr int STATE_IDENTIFYING = 6; // open, the device's id has been asked for

    // The device to look for (0 = any); also set from the stick's channel-id reply.
    virtual void setId(int device, int type, int transmission) = 0;
    virtual int getNumber() = 0;
    virtual int getDeviceId() = 0;
    virtual int getDeviceType() = 0;
    virtual int getTransmissionType() = 0;
    // Search time, period (1/32768 s) and frequency (MHz above 2400) take effect at the next
    // assignment.
    virtual void setSearchTime(float seconds) = 0;
    virtual float getSearchTime() = 0;
    virtual void setPeriod(int period) = 0;
    virtual int getPeriod() = 0;
    virtual void setFrequency(int frequency) = 0;
    virtual int getFrequency() = 0;
    virtual int getState() = 0;
    // Each sets a target (assign 2, open 3, close 2, unassign 1); false when it already was the
    // target.
    virtual bool assign() = 0;
    virtual bool open() = 0;
    virtual bool close() = 0;
    virtual bool unassign() = 0;
    // Opens an assigned channel again.
    virtual bool reopen() = 0;
    // Receive scan mode; channel 0 only (false elsewhere).
    virtual bool openScan() = 0;
    // 8 data bytes each.
    virtual void sendBroadcastData(unsigned char* data) = 0;
    virtual void sendAcknowledgedData(unsigned char* data) = 0;
    // `length` bytes (above 0), sent as packets of 8.
    virtual void sendBurstData(unsigned char* data, int length) = 0;
    // Not owned; a listener already present is not added twice.
    virtual void addChannelListener(AntChannelListener* listener) = 0;
    virtual void removeChannelListener(AntChannelListener* listener) = 0;
};

} // namespace vant::ant

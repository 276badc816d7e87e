#pragma once

#include "ant/AntRadio.h"
#include "core/Object.h"
#include "support/SimulatedAntChip.h"

#include <deque>
#include <functional>
#include <vector>

namespace support {

// An AntRadio over a simulated stick, for tests of the manager and everything above it without USB
// or threads. The stick's answers wait in a queue like the framer's; each update() first lets the
// virtual time run on by the update step (33 ms, one tick of the main window's pump, unless set
// otherwise), then hands on at most one message. Time can also be moved with advance(). Counted like
// every radio; the chip and its meters live as long as the radio.
class SimulatedStickRadio : public rezezaz::core::Object, public vant::ant::AntRadio
{
public:
    struct Message
    {
        unsigned char id;
        Bytes payload;
    };

    // The product id decides the kind of stick, as with a real one: 0x1004 is an AP1 stick.
    explicit SimulatedStickRadio(int product = 0x1008);

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    // Opens the stick unless it is unplugged; tells the listener the stick is down first, as a
    // real radio does, and up when it opened.
    bool create() override;
    // Tells the listener the stick is down and closes it; what was waiting is dropped.
    void destroy() override;
    bool start() override;
    void stop() override;
    int version() override;
    int apVersion() override;
    bool state() override;
    void sendMessage(int id, unsigned char* payload, int length) override;
    void update() override;
    void setListener(vant::ant::AntRadioListener* listener) override;

    SimulatedAntChip& chip() { return mChip; }
    SimulatedPowerMeter& addMeter(int deviceNumber) { return mChip.addMeter(deviceNumber); }
    void advance(int ms) { mChip.advance(ms); }
    void setUpdateStep(int ms) { mUpdateStep = ms; }

    // The stick is pulled out: nothing more is sent or received, and the next update reports the
    // loss once. A pulled stick does not open again.
    void unplug();

    // Everything the host sent while the stick was open, in order.
    const std::vector<Message>& sent() const { return mSent; }
    void clearSent() { mSent.clear(); }
    // Answers not yet handed on.
    std::size_t pending() const { return mToHost.size(); }

    // Faults on chosen messages. `toHost` sees each answer as the stick queues it: it may change the
    // message, and returns how many copies of it reach the host (0 loses it, 2 sends it twice).
    // `write` sees each message the host writes: returning false makes the write fail on its way,
    // so the stick never hears it.
    std::function<int(Message&)> toHost;
    std::function<bool(const Message&)> write;
    // Writes that failed so, in order.
    const std::vector<Message>& failedWrites() const { return mFailedWrites; }

private:
    int mProduct;
    int mUpdateStep = 33;
    bool mOpen = false;
    bool mConnected = false;
    bool mUnplugged = false;
    vant::ant::AntRadioListener* mListener = nullptr;
    SimulatedAntChip mChip;
    std::deque<Message> mToHost;
    std::vector<Message> mSent;
    std::vector<Message> mFailedWrites;
};

} // namespace support

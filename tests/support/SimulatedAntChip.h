#pragma once

#include "support/SimulatedPowerMeter.h"
#include "support/SimulatedStick.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace support {

// The ANT side of a simulated stick: network keys, eight channels, search, scan mode and tracking
// of the simulated power meters it hosts, all on a virtual clock that moves only with advance().
// It takes the host's messages (as a StickMessageHandler behind the libusb stand-in, or directly
// from SimulatedStickRadio) and answers through its sink as a stick does: a channel response for
// each command, events, the meters' broadcasts at their slots, channel ids, transfer results.
// Owns its meters. Used from one thread at a time: the one that writes to the stick and advances it.
//
// How it plays the radio side:
// - An open channel searches for a meter on its network key, period and frequency whose channel id
//   matches (0 = any number, type or transmission type); a meter another channel has found is left
//   to that channel, so wildcard channels pair with different meters. It finds the meter at the
//   meter's next broadcast, or reports search time-out (event 1) and channel closed (event 7) after
//   search timeout x 2.5 s (0 times out at once, 255 never). Once found, the channel keeps to that
//   meter until it closes, and its channel id reply names the meter.
// - A tracked meter that stays silent, or moves to another network key, period or frequency (as one
//   that restarts in its bootloader does), costs one "receive failed" (event 2) per missed slot;
//   after MISSES_BEFORE_SEARCH of them the channel searches again (event 8 on AP2 sticks), and it
//   finds the meter again only where the channel's settings match it.
// - Scan mode (channel 0) hears every matching meter, with no period test and no time-out.
// - With extended messages on (a stick-wide setting, as 0x66 is), data messages carry 0x80 and the
//   sender's device number, device type and transmission type after the eight data bytes.
// - Acknowledged data goes out in the tracked meter's next slot, after its broadcast; a burst from
//   the host is handed to the meter when its last packet arrives. Either ends with event 5, or
//   event 6 when the channel tracks no meter, the meter does not hear it, a burst packet is out of
//   sequence, or failTransfers or failBursts says so. A second acknowledged message while one waits is
//   answered with code 0x1F.
class SimulatedAntChip : public StickMessageHandler
{
public:
    // AP2 sticks know scan mode and extended messages and report the return to search (event 8);
    // AP1 sticks refuse the first two as invalid messages and go back to search without a word.
    enum class Kind
    {
        AP1,
        AP2
    };

    // Channel states as the stick sees them.
    enum class ChannelState
    {
        Unassigned,
        Assigned,
        Searching,
        Tracking,
        Scanning
    };

    using Sink = std::function<void(unsigned char id, const Bytes& payload)>;

    static constexpr int CHANNELS = 8;
    static constexpr int NETWORKS = 8;
    // A tracking channel that misses this many messages in a row goes back to search.
    static constexpr int MISSES_BEFORE_SEARCH = 8;

    explicit SimulatedAntChip(Sink sink, Kind kind = Kind::AP2);
    ~SimulatedAntChip() override;

    Kind kind() const { return mKind; }

    // Meters come into range at once; the first broadcasts within one period.
    SimulatedPowerMeter& addMeter(int deviceNumber);
    std::size_t meterCount() const { return mMeters.size(); }
    SimulatedPowerMeter& meter(std::size_t index) { return *mMeters.at(index).meter; }

    // Lets virtual time pass: meters broadcast, searches time out, silent meters are missed.
    void advance(int ms);
    std::int64_t nowMs() const;

    // The next `count` acknowledged or burst transfers from the host end with "transfer failed"
    // (event 6) instead of reaching the meter.
    void failTransfers(int count) { mFailTransfers = count; }
    // The same for the next `count` bursts alone; acknowledged messages still go through.
    void failBursts(int count) { mFailBursts = count; }

    ChannelState channelState(int channel) const;
    // The device number a channel tracks or last tracked since it was opened; 0 when none.
    int trackedDevice(int channel) const;
    bool extendedMessages() const { return mExtended; }
    Bytes networkKey(int network) const;

    // Host to stick.
    void messageReceived(SimulatedStick& stick, unsigned char id, const Bytes& payload) override;
    void receive(unsigned char id, const Bytes& payload);

private:
    struct HostedMeter
    {
        std::unique_ptr<SimulatedPowerMeter> meter;
        std::int64_t nextSlot; // in 1/32768 s
    };

    struct Channel
    {
        ChannelState state = ChannelState::Unassigned;
        int type = 0;
        int network = 0;
        int deviceNumber = 0;
        int deviceType = 0;
        int transmissionType = 0;
        int searchTimeout = 12; // units of 2.5 s; 255 never times out
        int period = 8192;
        int frequency = 66;
        SimulatedPowerMeter* paired = nullptr; // the meter found since opening
        std::int64_t searchDeadline = 0;       // in 1/32768 s
        int missed = 0;
        bool ackPending = false;
        Bytes ack;
        bool burstActive = false;
        bool burstDiscarding = false;
        int burstSequence = 0;
        Bytes burst;
    };

    void respond(int channel, unsigned char id, unsigned char code);
    void event(int channel, unsigned char code);
    void send(unsigned char id, const Bytes& payload);
    void powerUp();

    void assign(const Bytes& p);
    void unassign(int channel);
    void configure(unsigned char id, const Bytes& p);
    void open(int channel);
    void close(int channel);
    void openScan();
    void requestMessage(const Bytes& p);
    void acknowledged(const Bytes& p);
    void burstPacket(const Bytes& p);
    void finishBurst(int channel);

    // The slot of one meter at time mNow; and the search deadline of one channel.
    void meterSlot(HostedMeter& hosted);
    void searchTimedOut(int channel);
    // A tracking channel did not hear its meter in the meter's slot.
    void missed(int channel);
    bool matches(const Channel& channel, const SimulatedPowerMeter& meter, bool scan) const;
    bool trackedElsewhere(int channel, const SimulatedPowerMeter* meter) const;
    void deliver(int channel, const SimulatedPowerMeter& meter, const SimulatedPowerMeter::Transmission& t);
    void startSearch(int channel);

    Sink mSink;
    Kind mKind;
    std::int64_t mNow = 0; // in 1/32768 s
    std::int64_t mNowMsTotal = 0;
    bool mExtended = false;
    int mFailTransfers = 0;
    int mFailBursts = 0;
    std::array<Bytes, NETWORKS> mKeys;
    std::array<Channel, CHANNELS> mChannels;
    std::vector<HostedMeter> mMeters;
};

} // namespace support

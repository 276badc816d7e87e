#include "support/SimulatedAntChip.h"

#include "ant/AntMessageIds.h"

#include <limits>

namespace support {

namespace {

using namespace vant::ant;

constexpr int kNeverTimesOut = 255;
// Search time-out units of 2.5 s in clock ticks of 1/32768 s.
constexpr std::int64_t kTicksPerTimeoutUnit = 81920;
constexpr std::int64_t kTicksPerSecond = 32768;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

bool isOpen(SimulatedAntChip::ChannelState state)
{
    return state == SimulatedAntChip::ChannelState::Searching ||
           state == SimulatedAntChip::ChannelState::Tracking ||
           state == SimulatedAntChip::ChannelState::Scanning;
}

} // namespace

SimulatedAntChip::SimulatedAntChip(Sink sink, Kind kind) : mSink(std::move(sink)), mKind(kind)
{
    powerUp();
}

SimulatedAntChip::~SimulatedAntChip() = default;

void SimulatedAntChip::powerUp()
{
    mExtended = false;
    for (Bytes& key : mKeys) {
        key.assign(8, 0);
    }
    for (Channel& channel : mChannels) {
        channel = Channel();
    }
}

SimulatedPowerMeter& SimulatedAntChip::addMeter(int deviceNumber)
{
    auto meter = std::make_unique<SimulatedPowerMeter>(deviceNumber);
    // Meters added together broadcast at different moments of the period, as real ones do.
    const std::int64_t offset = 1 + static_cast<std::int64_t>(mMeters.size() % 5) * meter->period / 5;
    mMeters.push_back({std::move(meter), mNow + offset});
    return *mMeters.back().meter;
}

std::int64_t SimulatedAntChip::nowMs() const
{
    return mNowMsTotal;
}

void SimulatedAntChip::advance(int ms)
{
    if (ms <= 0) {
        return;
    }
    mNowMsTotal += ms;
    const std::int64_t target = mNowMsTotal * kTicksPerSecond / 1000;
    while (true) {
        // The earliest thing due by the target time; at equal times meters go before deadlines,
        // so a meter that broadcasts as the search ends is still found.
        std::int64_t when = target + 1;
        int meterIndex = -1;
        int channelIndex = -1;
        for (std::size_t i = 0; i < mMeters.size(); ++i) {
            if (mMeters[i].nextSlot < when) {
                when = mMeters[i].nextSlot;
                meterIndex = static_cast<int>(i);
            }
        }
        for (int c = 0; c < CHANNELS; ++c) {
            const Channel& channel = mChannels[static_cast<std::size_t>(c)];
            if (channel.state == ChannelState::Searching && channel.searchDeadline < when) {
                when = channel.searchDeadline;
                meterIndex = -1;
                channelIndex = c;
            }
        }
        if (meterIndex < 0 && channelIndex < 0) {
            break;
        }
        mNow = when;
        if (meterIndex >= 0) {
            meterSlot(mMeters[static_cast<std::size_t>(meterIndex)]);
        } else {
            searchTimedOut(channelIndex);
        }
    }
    mNow = target;
}

SimulatedAntChip::ChannelState SimulatedAntChip::channelState(int channel) const
{
    return mChannels.at(static_cast<std::size_t>(channel)).state;
}

int SimulatedAntChip::trackedDevice(int channel) const
{
    const SimulatedPowerMeter* paired = mChannels.at(static_cast<std::size_t>(channel)).paired;
    return paired ? paired->deviceNumber : 0;
}

Bytes SimulatedAntChip::networkKey(int network) const
{
    return mKeys.at(static_cast<std::size_t>(network));
}

void SimulatedAntChip::messageReceived(SimulatedStick&, unsigned char id, const Bytes& payload)
{
    receive(id, payload);
}

void SimulatedAntChip::send(unsigned char id, const Bytes& payload)
{
    if (mSink) {
        mSink(id, payload);
    }
}

void SimulatedAntChip::respond(int channel, unsigned char id, unsigned char code)
{
    send(kChannelResponse, {static_cast<unsigned char>(channel), id, code});
}

void SimulatedAntChip::event(int channel, unsigned char code)
{
    send(kChannelResponse, {static_cast<unsigned char>(channel), kEventMessage, code});
}

void SimulatedAntChip::receive(unsigned char id, const Bytes& p)
{
    // Every command names its channel (or network) in its first byte; a message too short for its
    // kind, or for a channel the stick does not have, is refused as invalid.
    const int first = p.empty() ? 0 : p[0];
    auto needs = [&](std::size_t length) {
        if (p.size() < length || (id != kSetNetworkKey && id != kBurstData && first >= CHANNELS)) {
            respond(first, id, kInvalidMessage);
            return false;
        }
        return true;
    };

    switch (id) {
    case kSetNetworkKey:
        if (needs(9)) {
            if (first >= NETWORKS) {
                respond(first, id, kInvalidNetworkNumber);
            } else {
                mKeys[static_cast<std::size_t>(first)].assign(p.begin() + 1, p.begin() + 9);
                respond(first, id, kResponseNoError);
            }
        }
        break;
    case kAssignChannel:
        if (needs(3)) {
            assign(p);
        }
        break;
    case kUnassignChannel:
        if (needs(1)) {
            unassign(first);
        }
        break;
    case kChannelId:
        if (needs(5)) {
            configure(id, p);
        }
        break;
    case kSetChannelPeriod:
        if (needs(3)) {
            configure(id, p);
        }
        break;
    case kSetSearchTimeout:
    case kSetChannelFrequency:
        if (needs(2)) {
            configure(id, p);
        }
        break;
    case kRxExtMesgsEnable:
        if (needs(2)) {
            if (mKind == Kind::AP1) {
                respond(first, id, kInvalidMessage);
            } else {
                mExtended = p[1] != 0;
                respond(first, id, kResponseNoError);
            }
        }
        break;
    case kOpenChannel:
        if (needs(1)) {
            open(first);
        }
        break;
    case kCloseChannel:
        if (needs(1)) {
            close(first);
        }
        break;
    case kOpenRxScanMode:
        openScan();
        break;
    case kRequestMessage:
        if (needs(2)) {
            requestMessage(p);
        }
        break;
    case kAcknowledgedData:
        if (needs(9)) {
            acknowledged(p);
        }
        break;
    case kBurstData:
        if (needs(9)) {
            burstPacket(p);
        }
        break;
    case kResetSystem:
        powerUp();
        send(kStartup, {0x20});
        break;
    case kBroadcastData:
        // A receiving channel has nothing to send its broadcasts to.
        break;
    default:
        respond(first, id, kInvalidMessage);
        break;
    }
}

void SimulatedAntChip::assign(const Bytes& p)
{
    Channel& channel = mChannels[p[0]];
    if (channel.state != ChannelState::Unassigned) {
        respond(p[0], kAssignChannel, kChannelInWrongState);
        return;
    }
    if (p[2] >= NETWORKS) {
        respond(p[0], kAssignChannel, kInvalidNetworkNumber);
        return;
    }
    channel.state = ChannelState::Assigned;
    channel.type = p[1];
    channel.network = p[2];
    respond(p[0], kAssignChannel, kResponseNoError);
}

void SimulatedAntChip::unassign(int number)
{
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    if (channel.state != ChannelState::Assigned) {
        respond(number, kUnassignChannel, kChannelInWrongState);
        return;
    }
    channel.state = ChannelState::Unassigned;
    respond(number, kUnassignChannel, kResponseNoError);
}

void SimulatedAntChip::configure(unsigned char id, const Bytes& p)
{
    Channel& channel = mChannels[p[0]];
    if (channel.state == ChannelState::Unassigned) {
        respond(p[0], id, kChannelInWrongState);
        return;
    }
    switch (id) {
    case kChannelId:
        channel.deviceNumber = p[1] | p[2] << 8;
        channel.deviceType = p[3];
        channel.transmissionType = p[4];
        break;
    case kSetSearchTimeout:
        channel.searchTimeout = p[1];
        break;
    case kSetChannelPeriod:
        channel.period = p[1] | p[2] << 8;
        break;
    default:
        channel.frequency = p[1];
        break;
    }
    respond(p[0], id, kResponseNoError);
}

void SimulatedAntChip::open(int number)
{
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    if (channel.state != ChannelState::Assigned) {
        respond(number, kOpenChannel, kChannelInWrongState);
        return;
    }
    respond(number, kOpenChannel, kResponseNoError);
    channel.paired = nullptr;
    startSearch(number);
}

void SimulatedAntChip::startSearch(int number)
{
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    channel.state = ChannelState::Searching;
    channel.missed = 0;
    channel.searchDeadline = channel.searchTimeout == kNeverTimesOut
                                 ? kNever
                                 : mNow + channel.searchTimeout * kTicksPerTimeoutUnit;
}

void SimulatedAntChip::close(int number)
{
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    if (!isOpen(channel.state)) {
        respond(number, kCloseChannel, kChannelNotOpened);
        return;
    }
    respond(number, kCloseChannel, kResponseNoError);
    channel.state = ChannelState::Assigned;
    channel.paired = nullptr;
    channel.ackPending = false;
    channel.burstActive = false;
    channel.burstDiscarding = false;
    event(number, kEventChannelClosed);
}

void SimulatedAntChip::openScan()
{
    // Scan mode runs on channel 0, whatever the filler byte says.
    if (mKind == Kind::AP1) {
        respond(0, kOpenRxScanMode, kInvalidMessage);
        return;
    }
    Channel& channel = mChannels[0];
    if (channel.state != ChannelState::Assigned) {
        respond(0, kOpenRxScanMode, kChannelInWrongState);
        return;
    }
    channel.state = ChannelState::Scanning;
    channel.paired = nullptr;
    respond(0, kOpenRxScanMode, kResponseNoError);
}

void SimulatedAntChip::requestMessage(const Bytes& p)
{
    if (p[1] != kChannelId) {
        respond(p[0], kRequestMessage, kInvalidMessage);
        return;
    }
    const Channel& channel = mChannels[p[0]];
    if (channel.paired) {
        const SimulatedPowerMeter& m = *channel.paired;
        send(kChannelId,
             {p[0], static_cast<unsigned char>(m.deviceNumber & 0xFF),
              static_cast<unsigned char>((m.deviceNumber >> 8) & 0xFF),
              static_cast<unsigned char>(m.deviceType), static_cast<unsigned char>(m.transmissionType)});
    } else {
        send(kChannelId, {p[0], static_cast<unsigned char>(channel.deviceNumber & 0xFF),
                          static_cast<unsigned char>((channel.deviceNumber >> 8) & 0xFF),
                          static_cast<unsigned char>(channel.deviceType),
                          static_cast<unsigned char>(channel.transmissionType)});
    }
}

void SimulatedAntChip::acknowledged(const Bytes& p)
{
    Channel& channel = mChannels[p[0]];
    if (!isOpen(channel.state)) {
        respond(p[0], kAcknowledgedData, kChannelInWrongState);
        return;
    }
    if (channel.ackPending) {
        respond(p[0], kAcknowledgedData, kTransferInProgress);
        return;
    }
    if (channel.state != ChannelState::Tracking) {
        // Nobody to acknowledge it.
        event(p[0], kEventTransferFailed);
        return;
    }
    // It goes out in the meter's next slot.
    channel.ackPending = true;
    channel.ack.assign(p.begin() + 1, p.begin() + 9);
}

void SimulatedAntChip::burstPacket(const Bytes& p)
{
    const int number = p[0] & 0x1F;
    const int sequence = (p[0] >> 5) & 0x03;
    const bool last = (p[0] & 0x80) != 0;
    if (number >= CHANNELS) {
        respond(p[0], kBurstData, kInvalidMessage);
        return;
    }
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    if (sequence == 0) {
        channel.burstActive = true;
        channel.burstDiscarding = false;
        channel.burst.clear();
    } else if (!channel.burstActive || sequence != channel.burstSequence % 3 + 1) {
        // A packet out of sequence fails the burst once; the rest of it is dropped up to its last
        // packet.
        if (!channel.burstDiscarding) {
            event(number, kEventTransferFailed);
        }
        channel.burstActive = false;
        channel.burstDiscarding = !last;
        return;
    }
    channel.burstSequence = sequence;
    channel.burst.insert(channel.burst.end(), p.begin() + 1, p.begin() + 9);
    if (last) {
        channel.burstActive = false;
        finishBurst(number);
    }
}

void SimulatedAntChip::finishBurst(int number)
{
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    const bool reachable = channel.state == ChannelState::Tracking && !channel.paired->silent() &&
                           matches(channel, *channel.paired, false);
    if (!reachable || mFailTransfers > 0 || mFailBursts > 0) {
        if (reachable) {
            if (mFailTransfers > 0) {
                --mFailTransfers;
            } else {
                --mFailBursts;
            }
        }
        event(number, kEventTransferFailed);
        return;
    }
    channel.paired->receiveBurst(channel.burst);
    event(number, kEventTransferCompleted);
}

bool SimulatedAntChip::matches(const Channel& channel, const SimulatedPowerMeter& meter, bool scan) const
{
    const int type = channel.deviceType & 0x7F; // without the pairing bit
    return mKeys[static_cast<std::size_t>(channel.network)] == meter.networkKey &&
           channel.frequency == meter.frequency && (scan || channel.period == meter.period) &&
           (channel.deviceNumber == 0 || channel.deviceNumber == meter.deviceNumber) &&
           (type == 0 || type == meter.deviceType) &&
           (channel.transmissionType == 0 || channel.transmissionType == meter.transmissionType);
}

bool SimulatedAntChip::trackedElsewhere(int number, const SimulatedPowerMeter* meter) const
{
    for (int c = 0; c < CHANNELS; ++c) {
        if (c != number && mChannels[static_cast<std::size_t>(c)].paired == meter) {
            return true;
        }
    }
    return false;
}

void SimulatedAntChip::meterSlot(HostedMeter& hosted)
{
    SimulatedPowerMeter& meter = *hosted.meter;
    hosted.nextSlot += meter.period > 0 ? meter.period : 1;
    meter.beginSlot(mNow * 1000 / kTicksPerSecond);

    const bool silent = meter.silent();
    SimulatedPowerMeter::Transmission transmission{SimulatedPowerMeter::Kind::Broadcast, {}};
    if (!silent) {
        transmission = meter.nextTransmission(mNowMsTotal);
    }
    for (int c = 0; c < CHANNELS; ++c) {
        Channel& channel = mChannels[static_cast<std::size_t>(c)];
        switch (channel.state) {
        case ChannelState::Scanning:
            if (!silent && matches(channel, meter, true)) {
                deliver(c, meter, transmission);
            }
            break;
        case ChannelState::Searching:
            // A channel that found a meter searches for that one again after losing it.
            if (!silent && matches(channel, meter, false) &&
                (channel.paired ? channel.paired == &meter : !trackedElsewhere(c, &meter))) {
                channel.state = ChannelState::Tracking;
                channel.paired = &meter;
                channel.missed = 0;
                deliver(c, meter, transmission);
            }
            break;
        case ChannelState::Tracking:
            if (channel.paired != &meter) {
                break;
            }
            // A meter that went quiet, or moved to other radio settings, is not heard.
            if (silent || !matches(channel, meter, false)) {
                missed(c);
                break;
            }
            channel.missed = 0;
            deliver(c, meter, transmission);
            if (channel.ackPending) {
                channel.ackPending = false;
                if (mFailTransfers > 0) {
                    --mFailTransfers;
                    event(c, kEventTransferFailed);
                } else {
                    meter.receiveAcknowledged(channel.ack);
                    event(c, kEventTransferCompleted);
                }
            }
            break;
        default:
            break;
        }
    }
}

void SimulatedAntChip::missed(int number)
{
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    event(number, kEventReceiveFailed);
    if (++channel.missed < MISSES_BEFORE_SEARCH) {
        return;
    }
    if (channel.ackPending) {
        channel.ackPending = false;
        event(number, kEventTransferFailed);
    }
    startSearch(number);
    if (mKind == Kind::AP2) {
        event(number, kEventReceiveFailedGoToSearch);
    }
}

void SimulatedAntChip::searchTimedOut(int number)
{
    Channel& channel = mChannels[static_cast<std::size_t>(number)];
    channel.state = ChannelState::Assigned;
    channel.paired = nullptr;
    event(number, kEventSearchTimeout);
    event(number, kEventChannelClosed);
}

void SimulatedAntChip::deliver(int number, const SimulatedPowerMeter& meter,
                               const SimulatedPowerMeter::Transmission& t)
{
    Bytes extension;
    if (mExtended) {
        extension = {0x80, static_cast<unsigned char>(meter.deviceNumber & 0xFF),
                     static_cast<unsigned char>((meter.deviceNumber >> 8) & 0xFF),
                     static_cast<unsigned char>(meter.deviceType),
                     static_cast<unsigned char>(meter.transmissionType)};
    }
    auto message = [&](unsigned char first, std::size_t at) {
        Bytes payload{first};
        payload.insert(payload.end(), t.data.begin() + static_cast<long>(at),
                       t.data.begin() + static_cast<long>(at + 8));
        payload.insert(payload.end(), extension.begin(), extension.end());
        return payload;
    };
    const auto channelByte = static_cast<unsigned char>(number);
    switch (t.kind) {
    case SimulatedPowerMeter::Kind::Broadcast:
        send(kBroadcastData, message(channelByte, 0));
        break;
    case SimulatedPowerMeter::Kind::Acknowledged:
        send(kAcknowledgedData, message(channelByte, 0));
        break;
    case SimulatedPowerMeter::Kind::Burst: {
        // Sequence 0 for the first packet, then 1, 2, 3, 1, 2, 3 ...; bit 7 marks the last.
        const std::size_t packets = t.data.size() / 8;
        for (std::size_t i = 0; i < packets; ++i) {
            const unsigned sequence = i == 0 ? 0 : static_cast<unsigned>((i - 1) % 3 + 1);
            const unsigned last = i + 1 == packets ? 0x80 : 0;
            send(kBurstData, message(static_cast<unsigned char>(last | sequence << 5 | channelByte), i * 8));
        }
        break;
    }
    }
}

} // namespace support

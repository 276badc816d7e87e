#include "ant/AntRadioManager.h"

#include "ant/AntManagerListener.h"
#include "ant/AntMessageIds.h"
#include "ant/AntRadioChannel.h"
#include "ant/SimulatedAntRadio.h"
#include "core/CLocaleScope.h"
#include "core/Log.h"
#include "core/String.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace vant::ant {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;

namespace {

// A data message with more payload than this carries extended bytes.
constexpr int kPlainDataLength = 13;

constexpr int kBurstPacketSize = 8;
constexpr int kLastPacket = 4;

unsigned char low(int value)
{
    return static_cast<unsigned char>(value & 0xFF);
}

unsigned char high(int value)
{
    return static_cast<unsigned char>((value >> 8) & 0xFF);
}

// Calls `call` on each listener of a snapshot of `listeners` that is still registered when its turn
// comes, so that a listener may add or remove listeners (itself included) during the call.
template <class Listener, class Call>
void notifyEach(const rezezaz::core::Collection<Listener*>& listeners, Call call)
{
    const rezezaz::core::Collection<Listener*> snapshot = listeners;
    for (Listener* listener : snapshot) {
        if (listeners.findIndex(listener) >= 0) {
            call(listener);
        }
    }
}

} // namespace

const unsigned char AntRadioManager::DEFAULT_NETWORK_KEY[8] = {0xB9, 0xA5, 0x21, 0xFB,
                                                               0xBD, 0x72, 0xC3, 0x45};

AntRadioManager::AntRadioManager(AntRadio* radio, const unsigned char* key)
    : mRadio(radio ? radio : new SimulatedAntRadio())
{
    std::memcpy(mNetworkKey, key ? key : DEFAULT_NETWORK_KEY, sizeof mNetworkKey);
    mRadio->setListener(this);
}

AntRadioManager::~AntRadioManager()
{
    // Released here, while the manager is whole: a channel's last release unassigns it through us.
    for (int slot = CHANNEL_COUNT - 1; slot >= 0; --slot) {
        mChannels[slot] = nullptr;
    }
    if (mRadio) {
        IntrusivePointer<AntRadio> radio = mRadio;
        mRadio = nullptr;
        radio->setListener(nullptr);
    }
}

bool AntRadioManager::create()
{
    if (!mRadio) {
        return false;
    }
    IntrusivePointer<AntRadio> radio = mRadio;
    return radio->create();
}

void AntRadioManager::destroy()
{
    if (!mRadio) {
        return;
    }
    // Cleared first, so that whatever the radio reports while closing finds no radio to send to.
    IntrusivePointer<AntRadio> radio = mRadio;
    mRadio = nullptr;
    radio->destroy();
    radio->setListener(nullptr);
}

bool AntRadioManager::state()
{
    return mRadio && mRadio->state();
}

int AntRadioManager::version()
{
    return mRadio ? mRadio->version() : 0;
}

int AntRadioManager::apVersion()
{
    return mRadio ? mRadio->apVersion() : 0;
}

AntChannel* AntRadioManager::getChannel(int number, int network)
{
    if (number < 0 || number >= CHANNEL_COUNT) {
        return nullptr;
    }
    if (network < 0 || (mChannels[number] && mChannelNetworks[number] == network)) {
        return mChannels[number].get();
    }
    // The old channel unassigns itself on the stick when its last reference goes.
    mChannels[number] = nullptr;
    mChannels[number] = new AntRadioChannel(this, number, network == 1 ? 1 : 0);
    mChannelNetworks[number] = network;
    if (state()) {
        mChannels[number]->updateState(1, 1);
    }
    return mChannels[number].get();
}

void AntRadioManager::logf(Logger::Level level, const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    {
        // Numbers in log lines are written as the core writes them, whatever the user's locale.
        rezezaz::core::CLocaleScope cLocale;
        std::vsnprintf(text, sizeof text, format, arguments);
    }
    va_end(arguments);
    rezezaz::core::Log::getInstance()->addLogEntry(rezezaz::core::String(), level,
                                                   rezezaz::core::String(text));
}

void AntRadioManager::log(const char* text)
{
    logf(Logger::ALERT, "%s", text);
}

void AntRadioManager::addManagerListener(AntManagerListener* listener)
{
    if (mListeners.findIndex(listener) < 0) {
        mListeners.add(listener);
    }
}

void AntRadioManager::removeManagerListener(AntManagerListener* listener)
{
    mListeners.remove(listener);
}

void AntRadioManager::update(int ms)
{
    // A loss reported inside the call may lead our owner to drop its last reference to us (and to
    // the radio): both stay alive until the call is over.
    IntrusivePointer<AntRadioManager> self(this);
    if (mRadio) {
        IntrusivePointer<AntRadio> radio = mRadio;
        radio->update();
    }
    for (int slot = 0; slot < CHANNEL_COUNT; ++slot) {
        IntrusivePointer<AntRadioChannel> channel = mChannels[slot];
        if (channel) {
            channel->update(ms);
        }
    }
}

void AntRadioManager::stateChanged(bool connected)
{
    logf(Logger::DEBUG, "AntRadioManager::stateChanged:%d", connected ? 1 : 0);
    if (connected) {
        static const unsigned char publicKey[8] = {};
        ANT_SetNetworkKey(1, mNetworkKey);
        ANT_SetNetworkKey(0, publicKey);
    }
    for (int slot = 0; slot < CHANNEL_COUNT; ++slot) {
        IntrusivePointer<AntRadioChannel> channel = mChannels[slot];
        if (!channel) {
            continue;
        }
        channel->clearChannelListeners();
        if (connected && channel->getState() == 0) {
            channel->updateState(1, 1);
        } else if (!connected && channel->getState() != 0) {
            channel->updateState(0, 0);
        }
    }
    notifyEach(mListeners, [connected](AntManagerListener* listener) { listener->stateChanged(connected); });
}

int AntRadioManager::minimumPayload(int id)
{
    switch (id) {
    case kChannelResponse:
        return 3; // channel, message id, code
    case kChannelId:
        return 5; // channel, device number (2 bytes), device type, transmission type
    default:
        return 1; // the channel byte at least
    }
}

AntRadioChannel* AntRadioManager::channelFor(unsigned char channelByte)
{
    const int number = channelByte & 0x1F;
    return number < CHANNEL_COUNT ? mChannels[number].get() : nullptr;
}

void AntRadioManager::messageReceived(int id, unsigned char* received, int length)
{
    if (id < kVersion || id > kExtBurstData) {
        return;
    }
    // A message too short for what its id carries would be read from the zero padding below, as
    // a channel response with code 0 or a channel id naming device 0: it is dropped.
    if (length < minimumPayload(id)) {
        logf(Logger::WARNING, "AntRadioManager::messageReceived dropped message 0x%02X of %d bytes", id,
             length);
        return;
    }
    // Readers take up to 12 bytes whatever the message's length: they get a zero-padded copy.
    unsigned char payload[RECEIVE_BUFFER_SIZE] = {};
    if (received && length > 0) {
        std::memcpy(payload, received, static_cast<size_t>(std::min(length, RECEIVE_BUFFER_SIZE)));
    }
    IntrusivePointer<AntRadioChannel> channel = channelFor(payload[0]);
    const bool extended = length > kPlainDataLength;

    int event = 0;
    switch (id) {
    case kVersion:
        notifyEach(mListeners,
                   [&payload](AntManagerListener* listener) { listener->versionReceived(payload); });
        return;
    case kCapabilities:
        notifyEach(mListeners,
                   [&payload](AntManagerListener* listener) { listener->capabilitiesReceived(payload); });
        return;
    case kChannelResponse:
        dispatchChannelResponse(channel.get(), payload);
        return;
    case kChannelId:
        if (channel) {
            channel->setId(payload[1] + 256 * payload[2], payload[3], payload[4]);
        }
        return;
    case kBroadcastData:
        event = extended ? kExtBroadcastData : kEventBroadcast;
        break;
    case kAcknowledgedData:
        event = extended ? kExtAcknowledgedData : kEventAcknowledged;
        break;
    case kBurstData:
        event = extended ? kExtBurstData : kEventBurst;
        break;
    case kExtBroadcastData:
    case kExtAcknowledgedData:
    case kExtBurstData:
        event = id;
        break;
    default:
        return;
    }
    if (channel) {
        channel->channelEvent(kEventMessage, event, payload);
    }
}

void AntRadioManager::dispatchChannelResponse(AntRadioChannel* channel, unsigned char* payload)
{
    const int messageId = payload[1];
    const int code = payload[2];
    if (code == kEventTransferCompleted) {
        if (mBurstLength != 0) {
            mBurstLength = 0;
            if (channel) {
                channel->notifyBurstComplete();
            }
            return;
        }
        mAckLength = 0;
    } else if (code == kEventTransferFailed || code == kTransferInProgress) {
        if (mBurstLength != 0) {
            mBurstLength = 0;
            if (channel) {
                channel->notifyBurstFailed();
            }
            return;
        }
        if (mAckLength != 0) {
            // Sent from a copy: the radio may answer at once and the answer may replace it.
            unsigned char ack[sizeof mAck];
            std::memcpy(ack, mAck, sizeof ack);
            if (mRadio) {
                IntrusivePointer<AntRadio> radio = mRadio;
                radio->sendMessage(kAcknowledgedData, ack, mAckLength);
            }
            return;
        }
    }
    if (channel) {
        channel->channelEvent(messageId, code, payload);
    }
}

void AntRadioManager::sendScratch(int id, int length)
{
    if (mRadio) {
        IntrusivePointer<AntRadio> radio = mRadio;
        radio->sendMessage(id, mScratch, length);
    }
}

void AntRadioManager::sendMessage(int id, unsigned char* payload, int length)
{
    if (id == kAcknowledgedData) {
        mAckLength = std::clamp(length, 0, static_cast<int>(sizeof mAck));
        std::memset(mAck, 0, sizeof mAck);
        if (payload && mAckLength > 0) {
            std::memcpy(mAck, payload, static_cast<size_t>(mAckLength));
        }
    }
    if (mRadio) {
        IntrusivePointer<AntRadio> radio = mRadio;
        radio->sendMessage(id, payload, length);
    }
}

void AntRadioManager::ANT_ResetSystem()
{
    logf(Logger::DEBUG, "ANT_ResetSystem");
    mScratch[0] = 0;
    sendScratch(kResetSystem, 1);
}

void AntRadioManager::ANT_SetNetworkKey(int network, const unsigned char* key)
{
    logf(Logger::DEBUG, "ANT_SetNetworkKey");
    mScratch[0] = low(network);
    std::memcpy(mScratch + 1, key, 8);
    sendScratch(kSetNetworkKey, 9);
}

void AntRadioManager::ANT_AssignChannel(int channel, int type, int network)
{
    logf(Logger::DEBUG, "ANT_AssignChannel");
    mScratch[0] = low(channel);
    mScratch[1] = low(type);
    mScratch[2] = low(network);
    sendScratch(kAssignChannel, 3);
}

void AntRadioManager::ANT_UnassignChannel(int channel)
{
    logf(Logger::DEBUG, "ANT_UnassignChannel");
    mScratch[0] = low(channel);
    sendScratch(kUnassignChannel, 1);
}

void AntRadioManager::ANT_SetChannelId(int channel, int device, int type, int transmission)
{
    logf(Logger::DEBUG, "ANT_SetChannelId");
    mScratch[0] = low(channel);
    mScratch[1] = low(device);
    mScratch[2] = high(device);
    mScratch[3] = low(type);
    mScratch[4] = low(transmission);
    sendScratch(kSetChannelId, 5);
}

void AntRadioManager::ANT_SetChannelSearchTimeout(int channel, int timeout)
{
    logf(Logger::DEBUG, "ANT_SetChannelSearchTimeout");
    mScratch[0] = low(channel);
    mScratch[1] = low(timeout);
    sendScratch(kSetSearchTimeout, 2);
}

void AntRadioManager::ANT_SetChannelPeriod(int channel, int period)
{
    logf(Logger::DEBUG, "ANT_SetChannelPeriod");
    mScratch[0] = low(channel);
    mScratch[1] = low(period);
    mScratch[2] = high(period);
    sendScratch(kSetChannelPeriod, 3);
}

void AntRadioManager::ANT_SetChannelFrequency(int channel, int frequency)
{
    logf(Logger::DEBUG, "ANT_SetChannelFrequency");
    mScratch[0] = low(channel);
    mScratch[1] = low(frequency);
    sendScratch(kSetChannelFrequency, 2);
}

void AntRadioManager::ANT_RxExtMesgsEnable(int channel, bool enable)
{
    logf(Logger::DEBUG, "ANT_RxExtMesgsEnable");
    mScratch[0] = low(channel);
    mScratch[1] = enable ? 1 : 0;
    sendScratch(kRxExtMesgsEnable, 2);
}

void AntRadioManager::ANT_Open(int channel)
{
    logf(Logger::DEBUG, "ANT_Open");
    mScratch[0] = low(channel);
    sendScratch(kOpenChannel, 1);
}

void AntRadioManager::ANT_Close(int channel)
{
    logf(Logger::DEBUG, "ANT_Close");
    mScratch[0] = low(channel);
    sendScratch(kCloseChannel, 1);
}

void AntRadioManager::ANT_OpenRxScanMode()
{
    logf(Logger::DEBUG, "ANT_OpenRxScanMode");
    mScratch[0] = 0;
    sendScratch(kOpenRxScanMode, 1);
}

void AntRadioManager::ANT_RequestMessage(int channel, int id)
{
    logf(Logger::DEBUG, "ANT_RequestMessage");
    mScratch[0] = low(channel);
    mScratch[1] = low(id);
    sendScratch(kRequestMessage, 2);
}

void AntRadioManager::ANT_SendBroadcastData(int channel, unsigned char* data)
{
    logf(Logger::DEBUG, "ANT_SendBroadcastData");
    mScratch[0] = low(channel);
    std::memcpy(mScratch + 1, data, 8);
    sendScratch(kBroadcastData, 9);
}

void AntRadioManager::ANT_SendAcknowledgedData(int channel, unsigned char* data)
{
    logf(Logger::DEBUG, "ANT_SendAcknowledgedData");
    mScratch[0] = low(channel);
    std::memcpy(mScratch + 1, data, 8);
    std::memcpy(mAck, mScratch, sizeof mAck);
    mAckLength = 9;
    sendScratch(kAcknowledgedData, 9);
}

void AntRadioManager::ANT_SendBurstTransferPacket(int channel, unsigned char* data)
{
    mScratch[0] = low(channel);
    std::memcpy(mScratch + 1, data, 8);
    sendScratch(kBurstData, 9);
}

void AntRadioManager::ANT_SendBurstData(int channel, unsigned char* data, int length)
{
    logf(Logger::DEBUG, "ANT_SendBurstData");
    if (length <= 0 || !data) {
        logf(Logger::ERROR, "ANT_SendBurstData refused a burst of %d bytes", length);
        return;
    }
    const int capacity = (length + kBurstPacketSize - 1) / kBurstPacketSize * kBurstPacketSize;
    if (mBurstCapacity < length) {
        mBurstBuffer.reset(new unsigned char[static_cast<size_t>(capacity)]);
        mBurstCapacity = capacity;
    }
    std::memcpy(mBurstBuffer.get(), data, static_cast<size_t>(length));
    // The last packet's padding is zero, not what an earlier, longer burst left there.
    std::memset(mBurstBuffer.get() + length, 0, static_cast<size_t>(mBurstCapacity - length));
    mBurstLength = length;
    mBurstSent = 0;
    mBurstChannel = channel;
    ANT_SendBurstDataSection();
}

void AntRadioManager::ANT_SendBurstDataSection()
{
    mBurstSectionLength = mBurstLength - mBurstSent;
    mBurstOffset = 0;
    mBurstSequence = 0;
    const int length = mBurstLength;
    while (sendBurstPacket()) {
        // The stick's answer may have ended or replaced the burst while a packet was going out.
        if (mBurstLength != length) {
            return;
        }
    }
    mBurstSent += mBurstSectionLength;
}

bool AntRadioManager::sendBurstPacket()
{
    const int percent =
        static_cast<int>((static_cast<int64_t>(mBurstSent) + mBurstOffset) * 100 / mBurstLength);
    if (mBurstChannel >= 0 && mBurstChannel < CHANNEL_COUNT) {
        IntrusivePointer<AntRadioChannel> channel = mChannels[mBurstChannel];
        if (channel) {
            channel->notifyBurstProgress(percent);
        }
    }
    if (mBurstLength == 0) {
        return false; // ended by a listener
    }
    const bool last = mBurstOffset >= mBurstSectionLength - kBurstPacketSize;
    if (last) {
        mBurstSequence |= kLastPacket;
    }
    mScratch[0] = static_cast<unsigned char>(mBurstSequence * 32 + mBurstChannel);
    std::memcpy(mScratch + 1, mBurstBuffer.get() + mBurstSent + mBurstOffset, kBurstPacketSize);
    sendScratch(kBurstData, 9);
    if (last) {
        return false;
    }
    mBurstSequence = mBurstSequence == 3 ? 1 : mBurstSequence + 1;
    mBurstOffset += kBurstPacketSize;
    return true;
}

void AntRadioManager::ANT_UpdateBurstData()
{
    if (mBurstLength == 0 || (mBurstSequence & kLastPacket) != 0) {
        return;
    }
    sendBurstPacket();
}

} // namespace vant::ant

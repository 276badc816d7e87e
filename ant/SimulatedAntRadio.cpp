#include "ant/SimulatedAntRadio.h"

#include "ant/AntMessageIds.h"
#include "ant/AntRadioListener.h"
#include "core/Log.h"
#include "core/String.h"

#include <algorithm>
#include <cstring>

namespace vant::ant {

namespace {

constexpr int kBroadcastEvery = 20;

void logAlert(const char* text)
{
    rezezaz::core::Logger* logger = rezezaz::core::Log::getInstance();
    const rezezaz::core::String category("vant.ant");
    if (logger->getMasterCategoryReportingLevel(category) >= rezezaz::core::Logger::ALERT) {
        logger->addLogEntry(category, rezezaz::core::Logger::ALERT, rezezaz::core::String(text));
    }
}

} // namespace

SimulatedAntRadio::SimulatedAntRadio() = default;

bool SimulatedAntRadio::create()
{
    if (mListener) {
        mListener->stateChanged(true);
    }
    return true;
}

void SimulatedAntRadio::destroy() {}

bool SimulatedAntRadio::start()
{
    return true;
}

void SimulatedAntRadio::stop() {}

int SimulatedAntRadio::version()
{
    return 1;
}

int SimulatedAntRadio::apVersion()
{
    return 2;
}

bool SimulatedAntRadio::state()
{
    return true;
}

void SimulatedAntRadio::sendMessage(int id, unsigned char* payload, int length)
{
    if (!mListener) {
        return;
    }
    SentMessage sent;
    sent.id = id;
    if (payload && length > 0) {
        std::memcpy(sent.payload, payload, static_cast<size_t>(std::min(length, SentMessage::PayloadSize)));
    }
    mSent.add(sent);
}

void SimulatedAntRadio::update()
{
    ++mUpdateCount;
    if (mUpdateCount % kBroadcastEvery == 0 && mListener) {
        unsigned char broadcast[2] = {0x00, 0x51};
        mListener->messageReceived(kBroadcastData, broadcast, 2);
    }

    if (mListener && mSent.size() > 0) {
        // Copied out first: answering may make the listener send the next message.
        const SentMessage sent = mSent[0];
        mSent.erase(mSent.begin());
        answer(sent);
    }
}

void SimulatedAntRadio::answer(const SentMessage& sent)
{
    const unsigned char channel = sent.payload[0];
    const int id = sent.id;
    mReply[0] = channel;

    if (id == kRxExtMesgsEnable || id == kOpenRxScanMode) {
        mReply[1] = static_cast<unsigned char>(id);
        mReply[2] = kInvalidMessage;
        reply(kChannelResponse, 3);
    } else if (id == kAcknowledgedData) {
        mReply[1] = kEventMessage;
        mReply[2] = kEventTransferCompleted;
        reply(kChannelResponse, 3);
        if (sent.payload[1] == 0xF0 && (sent.payload[2] == 0x03 || sent.payload[2] == 0x04)) {
            // A register read is answered by as many zero bytes as it asked for, as far as the
            // scratch holds them.
            const int count = std::min<int>(sent.payload[5], static_cast<int>(sizeof mReply) - 1);
            mReply[0] = channel;
            std::memset(mReply + 1, 0, static_cast<size_t>(count));
            reply(kBurstData, count + 1);
        } else if (sent.payload[1] == 0x01) {
            mReply[0] = channel;
            mReply[1] = 0x01;
            reply(kAcknowledgedData, 2);
        }
    } else if ((id >= kChannelResponse && id <= kRequestMessage) || id == kChannelId) {
        mReply[1] = static_cast<unsigned char>(id);
        mReply[2] = kEventTransferCompleted;
        reply(kChannelResponse, 3);
        mReply[0] = channel;
        if (id == kRequestMessage && sent.payload[1] == kChannelId) {
            // Device number 31488 (low byte first), device type 11, transmission type 0.
            mReply[1] = 0x00;
            mReply[2] = 0x7B;
            mReply[3] = 0x0B;
            mReply[4] = 0x00;
            reply(kChannelId, 5);
        } else if (id == kCloseChannel) {
            mReply[1] = kEventMessage;
            mReply[2] = kEventChannelClosed;
            reply(kChannelResponse, 3);
        } else if (id == kOpenChannel) {
            reply(kBroadcastData, 1);
            logAlert("BROADCASTING SOME DATA");
        }
    }
}

void SimulatedAntRadio::reply(int id, int length)
{
    // The listener may detach itself while handling an earlier answer.
    if (mListener) {
        mListener->messageReceived(id, mReply, length);
    }
}

void SimulatedAntRadio::setListener(AntRadioListener* listener)
{
    mListener = listener;
}

} // namespace vant::ant

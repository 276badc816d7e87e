#include "ant/AntRadioChannel.h"

#include "ant/AntChannelListener.h"
#include "ant/AntMessageIds.h"
#include "ant/AntRadioManager.h"
#include "core/IntrusivePointer.h"

namespace vant::ant {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;

namespace {

// The channel byte of a burst's first packet: sequence bits 0 and no last-packet bit.
constexpr unsigned char kFirstBurstPacketMax = 0x1F;

// AP1 sticks never report that a device went silent; after this long without an event following a
// receive failure the channel counts as searching again.
constexpr int kSilentReceiveFailureMs = 500;

constexpr int kApVersion1 = 1;

// A command of the channel's set-up that the stick has not answered within this much stick time is
// sent again, at most kStepResends times; then the step has failed. A write that never reached the
// stick is caught the same way.
constexpr int kStepLimitMs = 3000;
constexpr int kStepResends = 2;

// The search time in the stick's units of 2.5 s, truncated and kept to the one byte it is sent in.
int searchTimeoutUnits(float seconds)
{
    const float units = seconds / 2.5f;
    if (!(units > 0.0f)) {
        return 0;
    }
    if (units >= 255.0f) {
        return 255;
    }
    return static_cast<int>(units);
}

} // namespace

AntRadioChannel::AntRadioChannel(AntRadioManager* manager, int number, int network)
    : mNumber(number), mNetwork(network), mManager(manager)
{}

void AntRadioChannel::destroy()
{
    if (mTarget != STATE_UNASSIGNED) {
        mManager->logf(Logger::ALERT, "AntRadioChannel::unassign");
        updateState(mState, STATE_UNASSIGNED);
    }
}

template <class Call> void AntRadioChannel::notify(Call call)
{
    const rezezaz::core::Collection<AntChannelListener*> snapshot = mListeners;
    for (AntChannelListener* listener : snapshot) {
        if (mListeners.findIndex(listener) >= 0) {
            call(listener);
        }
    }
}

void AntRadioChannel::setId(int device, int type, int transmission)
{
    mManager->logf(Logger::ALERT, "AntRadioChannel:setId :%d,%d,%d,%d\n", mNumber, device, type,
                   transmission);
    mDeviceNumber = device;
    mDeviceType = type;
    mTransmissionType = transmission;
    if (mState == STATE_IDENTIFYING) {
        updateState(STATE_OPEN, mTarget);
        notify([this](AntChannelListener* listener) { listener->searchFinished(this); });
    }
}

int AntRadioChannel::getNumber()
{
    return mNumber;
}

int AntRadioChannel::getDeviceId()
{
    return mDeviceNumber;
}

int AntRadioChannel::getDeviceType()
{
    return mDeviceType;
}

int AntRadioChannel::getTransmissionType()
{
    return mTransmissionType;
}

void AntRadioChannel::setSearchTime(float seconds)
{
    mSearchTime = seconds;
}

float AntRadioChannel::getSearchTime()
{
    return mSearchTime;
}

void AntRadioChannel::setPeriod(int period)
{
    mPeriod = period;
}

int AntRadioChannel::getPeriod()
{
    return mPeriod;
}

void AntRadioChannel::setFrequency(int frequency)
{
    mFrequency = frequency;
}

int AntRadioChannel::getFrequency()
{
    return mFrequency;
}

int AntRadioChannel::getState()
{
    return mState;
}

bool AntRadioChannel::assign()
{
    if (mTarget == STATE_ASSIGNED) {
        return false;
    }
    mManager->logf(Logger::ALERT, "AntRadioChannel::assign");
    return updateState(mState, STATE_ASSIGNED);
}

bool AntRadioChannel::open()
{
    if (mTarget == STATE_OPEN) {
        return false;
    }
    mManager->logf(Logger::ALERT, "AntRadioChannel::open");
    return updateState(mState, STATE_OPEN);
}

bool AntRadioChannel::close()
{
    if (mTarget == STATE_ASSIGNED) {
        return false;
    }
    mManager->logf(Logger::ALERT, "AntRadioChannel::close");
    return updateState(mState, STATE_ASSIGNED);
}

bool AntRadioChannel::unassign()
{
    if (mTarget == STATE_UNASSIGNED) {
        return false;
    }
    mManager->logf(Logger::ALERT, "AntRadioChannel::unassign");
    return updateState(mState, STATE_UNASSIGNED);
}

bool AntRadioChannel::reopen()
{
    mManager->logf(Logger::ALERT, "AntRadioChannel::reopen");
    return updateState(STATE_ASSIGNED, STATE_OPEN);
}

bool AntRadioChannel::openScan()
{
    if (mNumber != 0) {
        mManager->logf(Logger::ERROR, "can't open scan mode on non 0 channel");
        return false;
    }
    if (mTarget == STATE_SCANNING) {
        return false;
    }
    mManager->logf(Logger::ALERT, "AntRadioChannel::openScan");
    return updateState(mState, STATE_SCANNING);
}

void AntRadioChannel::sendBroadcastData(unsigned char* data)
{
    mManager->ANT_SendBroadcastData(mNumber, data);
}

void AntRadioChannel::sendAcknowledgedData(unsigned char* data)
{
    mManager->ANT_SendAcknowledgedData(mNumber, data);
}

void AntRadioChannel::sendBurstData(unsigned char* data, int length)
{
    mManager->ANT_SendBurstData(mNumber, data, length);
}

void AntRadioChannel::addChannelListener(AntChannelListener* listener)
{
    if (mListeners.findIndex(listener) < 0) {
        mListeners.add(listener);
    }
}

void AntRadioChannel::removeChannelListener(AntChannelListener* listener)
{
    mListeners.remove(listener);
}

void AntRadioChannel::clearChannelListeners()
{
    mListeners.clear();
}

void AntRadioChannel::notifyBurstProgress(int percent)
{
    notify([this, percent](AntChannelListener* listener) { listener->burstProgress(this, percent); });
}

void AntRadioChannel::notifyBurstComplete()
{
    notify([this](AntChannelListener* listener) { listener->burstComplete(this); });
}

void AntRadioChannel::notifyBurstFailed()
{
    notify([this](AntChannelListener* listener) { listener->burstFailed(this); });
}

void AntRadioChannel::logUpdateState(int state, int target)
{
    mManager->logf(Logger::ALERT, "AntRadioChannel::updateState: %d,%d,%d,%d,%d\n", mNumber, mState, mTarget,
                   state, target);
}

bool AntRadioChannel::updateState(int state, int target)
{
    if (state == mState && target == mTarget) {
        return true;
    }
    if (state == STATE_RADIO_DOWN && target > STATE_UNASSIGNED) {
        return false;
    }
    logUpdateState(state, target);
    const int oldState = mState;
    mState = state;
    mTarget = target;
    if (state != oldState) {
        // The channel moved on: whatever step it waited for is over.
        mAwaiting = 0;
    }

    if (state != target && state != STATE_RADIO_DOWN) {
        if (target == STATE_UNASSIGNED) {
            if (state == STATE_ASSIGNED) {
                sendStep(kUnassignChannel);
            } else if (state >= STATE_OPEN) {
                sendStep(kCloseChannel);
            }
        } else if (target == STATE_ASSIGNED) {
            if (state == STATE_UNASSIGNED) {
                sendStep(kAssignChannel);
            } else if (state >= STATE_OPEN) {
                sendStep(kCloseChannel);
            }
        } else if (target == STATE_OPEN || target == STATE_SCANNING) {
            if (state == STATE_UNASSIGNED) {
                sendStep(kAssignChannel);
            } else if (state == STATE_ASSIGNED) {
                sendStep(target == STATE_OPEN ? kOpenChannel : kOpenRxScanMode);
            }
        }
    }

    if (state != oldState) {
        notify([this, oldState, state](AntChannelListener* listener) {
            listener->stateChanged(this, oldState, state);
        });
    }
    return true;
}

void AntRadioChannel::channelEvent(int messageId, int code, unsigned char* payload)
{
    // A listener may release the channel from inside any callback below.
    IntrusivePointer<AntRadioChannel> self(this);

    if (code == kInvalidMessage) {
        if (messageId == mAwaiting) {
            mAwaiting = 0;
        }
        handleInvalidMessage(messageId);
        return;
    }
    if (messageId == kEventMessage) {
        handleEvent(code, payload);
        return;
    }
    // The stick answered the step the channel waited for (a close ends with the closed event).
    if (messageId == mAwaiting && messageId != kCloseChannel) {
        mAwaiting = 0;
    }
    if (messageId == kUnassignChannel && code != kResponseNoError && mState > STATE_ASSIGNED) {
        // Refused because the channel is still open (an unassign that overtook the open): it is
        // not unassigned, and the unassign goes out again once the channel reports closed.
        return;
    }
    handleResponse(messageId);
}

void AntRadioChannel::handleInvalidMessage(int messageId)
{
    const bool opening = mTarget == STATE_OPEN || mTarget == STATE_SCANNING;
    if (messageId == kRxExtMesgsEnable) {
        // The last step of the set-up: a stick without extended messages has still assigned the
        // channel, which goes on to its target, or is unassigned again when the set-up was called off.
        if (opening || mState == STATE_UNASSIGNED) {
            updateState(STATE_ASSIGNED, mTarget);
        }
        return;
    }
    if (!opening) {
        return;
    }
    updateState(mState, STATE_ASSIGNED);
    notify([this, messageId](AntChannelListener* listener) { listener->invalidMessage(this, messageId); });
}

void AntRadioChannel::handleResponse(int messageId)
{
    switch (messageId) {
    case kAssignChannel:
        sendStep(kSetChannelId);
        break;
    case kSetChannelId:
        sendStep(kSetSearchTimeout);
        break;
    case kSetSearchTimeout:
        sendStep(kSetChannelPeriod);
        break;
    case kSetChannelPeriod:
        sendStep(kSetChannelFrequency);
        break;
    case kSetChannelFrequency:
        sendStep(kRxExtMesgsEnable);
        break;
    case kRxExtMesgsEnable:
        updateState(STATE_ASSIGNED, mTarget);
        break;
    case kOpenChannel:
        updateState(STATE_SEARCHING, mTarget);
        break;
    case kOpenRxScanMode:
        updateState(STATE_SCANNING, mTarget);
        break;
    case kUnassignChannel:
        updateState(STATE_UNASSIGNED, mTarget);
        break;
    default:
        break;
    }
}

void AntRadioChannel::handleEvent(int code, unsigned char* payload)
{
    if (code != kEventReceiveFailed) {
        mLastReceiveFailure = 0;
    }
    switch (code) {
    case kEventReceiveFailed:
        mLastReceiveFailure = mClock;
        break;
    case kEventSearchTimeout: {
        if (mTarget == STATE_UNASSIGNED) {
            // A channel on its way to unassigned (a search called off while it opened) stays so.
            updateState(STATE_ASSIGNED, STATE_UNASSIGNED);
        } else if (mState != STATE_ASSIGNED || mTarget != STATE_ASSIGNED) {
            logUpdateState(STATE_ASSIGNED, STATE_ASSIGNED);
            const int oldState = mState;
            mState = STATE_ASSIGNED;
            mTarget = STATE_ASSIGNED;
            if (oldState != STATE_ASSIGNED) {
                notify([this, oldState](AntChannelListener* listener) {
                    listener->stateChanged(this, oldState, STATE_ASSIGNED);
                });
            }
        }
        notify([this](AntChannelListener* listener) { listener->searchTimeout(this); });
        break;
    }
    case kEventTransferCompleted:
        notify([this](AntChannelListener* listener) { listener->transmitComplete(this); });
        break;
    case kEventChannelClosed:
        updateState(STATE_ASSIGNED, mTarget);
        mDeviceNumber = 0;
        mDeviceType = 0;
        mTransmissionType = 0;
        break;
    case kEventReceiveFailedGoToSearch:
        updateState(STATE_SEARCHING, mTarget);
        break;
    case kEventBroadcast:
        handleBroadcast(payload, false);
        break;
    case kEventExtBroadcast:
        handleBroadcast(payload, true);
        break;
    case kEventAcknowledged:
        notify([this, payload](AntChannelListener* listener) { listener->acknowledgedData(this, payload); });
        break;
    case kEventExtAcknowledged:
        notify(
            [this, payload](AntChannelListener* listener) { listener->extAcknowledgedData(this, payload); });
        break;
    case kEventBurst:
        if (payload[0] <= kFirstBurstPacketMax) {
            notify([this, payload](AntChannelListener* listener) { listener->burstData(this, payload); });
        }
        break;
    case kEventExtBurst:
        if (payload[0] <= kFirstBurstPacketMax) {
            notify([this, payload](AntChannelListener* listener) { listener->extBurstData(this, payload); });
        }
        break;
    default:
        break;
    }
}

void AntRadioChannel::sendStep(int command)
{
    if (command != mAwaiting) {
        mResends = 0;
    }
    mAwaiting = command;
    mAwaitingSince = mClock;
    switch (command) {
    case kAssignChannel:
        mManager->ANT_AssignChannel(mNumber, 0, mNetwork);
        break;
    case kUnassignChannel:
        mManager->ANT_UnassignChannel(mNumber);
        break;
    case kSetChannelId:
        mManager->ANT_SetChannelId(mNumber, mDeviceNumber, mDeviceType, mTransmissionType);
        break;
    case kSetSearchTimeout:
        mManager->ANT_SetChannelSearchTimeout(mNumber, searchTimeoutUnits(mSearchTime));
        break;
    case kSetChannelPeriod:
        mManager->ANT_SetChannelPeriod(mNumber, mPeriod);
        break;
    case kSetChannelFrequency:
        mManager->ANT_SetChannelFrequency(mNumber, mFrequency);
        break;
    case kRxExtMesgsEnable:
        mManager->ANT_RxExtMesgsEnable(mNumber, mTarget == STATE_SCANNING);
        break;
    case kOpenChannel:
        mManager->ANT_Open(mNumber);
        break;
    case kOpenRxScanMode:
        mManager->ANT_OpenRxScanMode();
        break;
    case kCloseChannel:
        mManager->ANT_Close(mNumber);
        break;
    case kRequestMessage:
        mManager->ANT_RequestMessage(mNumber, kChannelId);
        break;
    default:
        mAwaiting = 0;
        break;
    }
}

void AntRadioChannel::stepTimedOut()
{
    const int command = mAwaiting;
    if (mResends < kStepResends) {
        ++mResends;
        mManager->logf(Logger::WARNING, "AntRadioChannel: channel %d had no answer to 0x%02X, sending it again",
                       mNumber, command);
        sendStep(command);
        return;
    }
    mManager->logf(Logger::ERROR, "AntRadioChannel: channel %d had no answer to 0x%02X, giving up", mNumber,
                   command);
    mAwaiting = 0;
    mResends = 0;
    if (command == kCloseChannel) {
        // A stick that does not say the channel closed is taken at its word.
        handleEvent(kEventChannelClosed, nullptr);
        return;
    }
    if (command == kUnassignChannel) {
        updateState(STATE_UNASSIGNED, mTarget);
        return;
    }
    const bool opening = mTarget == STATE_OPEN || mTarget == STATE_SCANNING;
    if (mState >= STATE_OPEN) {
        // Found but not identified: the channel is closed again.
        updateState(mState, STATE_ASSIGNED);
    } else if (mTarget != mState) {
        // The set-up stops where the stick left it.
        logUpdateState(mState, mState);
        mTarget = mState;
    }
    if (opening) {
        notify([this, command](AntChannelListener* listener) { listener->invalidMessage(this, command); });
    }
}

void AntRadioChannel::handleBroadcast(unsigned char* payload, bool extended)
{
    if (mState == STATE_SEARCHING && mTarget == STATE_OPEN) {
        // The first broadcast of a search: learn who sent it before passing data on.
        updateState(STATE_IDENTIFYING, STATE_OPEN);
        sendStep(kRequestMessage);
        return;
    }
    if (extended) {
        notify([this, payload](AntChannelListener* listener) { listener->extBroadcastData(this, payload); });
    } else {
        notify([this, payload](AntChannelListener* listener) { listener->broadcastData(this, payload); });
    }
}

void AntRadioChannel::update(int ms)
{
    IntrusivePointer<AntRadioChannel> self(this);

    // Wraps instead of overflowing on a very long run.
    mClock = static_cast<int>(static_cast<unsigned>(mClock) + static_cast<unsigned>(ms));
    if (mManager->apVersion() == kApVersion1 && mLastReceiveFailure != 0 &&
        mLastReceiveFailure + kSilentReceiveFailureMs < mClock) {
        mManager->logf(Logger::ALERT, "Simulating RX_FAIL_GO_TO_SEARCH");
        mLastReceiveFailure = 0;
        updateState(STATE_SEARCHING, mTarget);
    }
    if (mAwaiting != 0 && mClock - mAwaitingSince > kStepLimitMs) {
        stepTimedOut();
    }
    notify([this, ms](AntChannelListener* listener) { listener->update(this, ms); });
}

} // namespace vant::ant

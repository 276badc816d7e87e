#include "ant/search/SportDeviceSearch.h"

#include "ant/AntChannel.h"
#include "ant/AntManager.h"
#include "ant/search/SportDeviceSearchListener.h"

namespace vant::search {

using rezezaz::core::Logger;
using vant::ant::AntChannel;

namespace {

// What a negative argument of search() stands for.
constexpr int kDefaultDeviceType = 11; // bicycle power
constexpr int kDefaultPeriod = 8182;   // about 4 Hz
constexpr int kDefaultFrequency = 57;  // 2457 MHz
constexpr int kDefaultNetwork = 1;     // the network the manager loads with its key

constexpr int kLastChannel = 3;
constexpr int kCancelled = -1; // device number after cancel()

int orDefault(int value, int fallback)
{
    return value < 0 ? fallback : value;
}

} // namespace

SportDeviceSearch::SportDeviceSearch(vant::ant::AntManager* manager) : mManager(manager) {}

SportDeviceSearch::~SportDeviceSearch() = default;

template <class Call> void SportDeviceSearch::forEachListener(Call call)
{
    const rezezaz::core::Collection<SportDeviceSearchListener*> snapshot = mListeners;
    for (SportDeviceSearchListener* listener : snapshot) {
        if (mListeners.findIndex(listener) >= 0) {
            call(listener);
        }
    }
}

bool SportDeviceSearch::isCurrent(AntChannel* channel) const
{
    return channel != nullptr && channel == mCurrent.get();
}

void SportDeviceSearch::dropCurrent()
{
    if (mCurrent) {
        rezezaz::core::IntrusivePointer<AntChannel> channel = mCurrent;
        mCurrent = nullptr;
        channel->removeChannelListener(this);
    }
}

void SportDeviceSearch::destroy()
{
    ++mRun;
    if (!mManager) {
        return;
    }
    dropCurrent();
    mSettingUp = nullptr;
    for (int number = 0; number <= kLastChannel; ++number) {
        if (AntChannel* channel = mManager->getChannel(number, -1)) {
            channel->removeChannelListener(this);
        }
    }
    mScanning = false;
    mManager = nullptr;
}

void SportDeviceSearch::addSportDeviceSearchListener(SportDeviceSearchListener* listener)
{
    if (mListeners.findIndex(listener) < 0) {
        mListeners.add(listener);
    }
}

void SportDeviceSearch::removeSportDeviceSearchListener(SportDeviceSearchListener* listener)
{
    mListeners.remove(listener);
}

bool SportDeviceSearch::search(int seconds, int deviceNumber, int deviceType, int period, int frequency,
                               int network, bool stepwise)
{
    if (!mManager) {
        return false;
    }
    mManager->logf(Logger::DEBUG, "SportDeviceSearch::search");
    ++mRun;
    // A channel of an earlier search that has not ended yet is no longer followed.
    dropCurrent();
    mSettingUp = nullptr;
    mClosing = false;
    mNextSearchChannel = 0;
    mRemainingTime = static_cast<float>(seconds);
    mDeviceNumber = orDefault(deviceNumber, 0);
    mDeviceType = orDefault(deviceType, kDefaultDeviceType);
    mPeriod = orDefault(period, kDefaultPeriod);
    mFrequency = orDefault(frequency, kDefaultFrequency);
    mNetwork = orDefault(network, kDefaultNetwork);

    if (mDeviceNumber > 0 || stepwise) {
        mScanning = false;
        searchStep();
        return true;
    }

    AntChannel* channel = mManager->getChannel(0, mNetwork);
    if (!channel) {
        mScanning = false;
        return false;
    }
    mCurrent = channel;
    channel->addChannelListener(this);
    channel->setPeriod(mPeriod);
    channel->setFrequency(mFrequency);
    channel->setId(mDeviceNumber, mDeviceType, 0);
    // In scan mode the search's own countdown ends it, not the channel's.
    channel->setSearchTime(0);
    mScanning = true;
    channel->openScan();
    return true;
}

void SportDeviceSearch::cancel()
{
    if (!mManager) {
        return;
    }
    mManager->logf(Logger::DEBUG, "SportDeviceSearch::cancel");
    ++mRun;
    mDeviceNumber = kCancelled;
    // A scan stops counting down here, so that it can't start the closing a second time.
    mScanning = false;
    mClosing = true;
    // A channel still unassigned here is being set up for the search: it is assigned and opened
    // once the stick has answered, unless it is told otherwise.
    mSettingUp = mCurrent && mCurrent->getState() == AntChannel::STATE_UNASSIGNED ? mCurrent : nullptr;
    mNextCloseChannel = 0;
    closeStep();
}

void SportDeviceSearch::searchStep()
{
    mManager->logf(Logger::DEBUG, "SportDeviceSearch::searchStep");
    const int lastChannel = mDeviceNumber == 0 ? kLastChannel : 0;
    if (mNextSearchChannel > lastChannel) {
        startClosing();
        return;
    }
    AntChannel* channel = mManager->getChannel(mNextSearchChannel, mNetwork);
    if (!channel) {
        return;
    }
    mCurrent = channel;
    ++mNextSearchChannel;
    channel->addChannelListener(this);
    channel->setPeriod(mPeriod);
    channel->setFrequency(mFrequency);
    channel->setId(mDeviceNumber, mDeviceType, 0);
    // Any device: the time is shared among the four channels.
    channel->setSearchTime(mDeviceNumber > 0 ? mRemainingTime : mRemainingTime / 4.0f);
    channel->open();
}

void SportDeviceSearch::startClosing()
{
    mClosing = true;
    dropCurrent();
    mNextCloseChannel = 0;
    closeStep();
}

void SportDeviceSearch::closeStep()
{
    for (;;) {
        mManager->logf(Logger::DEBUG, "SportDeviceSearch: closeStep");
        dropCurrent();
        const int lastChannel = mDeviceNumber <= 0 ? kLastChannel : 0;
        if (mNextCloseChannel > lastChannel) {
            const bool cancelled = mDeviceNumber == kCancelled;
            // A listener may start the next search from here: nothing of this one is touched after.
            forEachListener(
                [cancelled](SportDeviceSearchListener* listener) { listener->searchFinished(cancelled); });
            return;
        }
        AntChannel* channel = mManager->getChannel(mNextCloseChannel, mNetwork);
        ++mNextCloseChannel;
        if (!channel) {
            mSettingUp = nullptr;
            return;
        }
        const bool settingUp = channel == mSettingUp.get();
        if (settingUp) {
            mSettingUp = nullptr;
        }
        if (channel->getState() != AntChannel::STATE_UNASSIGNED || settingUp) {
            // Its move to unassigned, reported through stateChanged, takes the closing on. A channel
            // being set up gets there at the end of its configuration, which now ends in unassigning,
            // whether or not the stick takes extended messages. It is waited for although it reads
            // unassigned: a search started as this one ends would otherwise cross its set-up.
            mCurrent = channel;
            channel->addChannelListener(this);
            if (channel->unassign() || channel->getState() != AntChannel::STATE_UNASSIGNED) {
                return;
            }
        }
    }
}

void SportDeviceSearch::stateChanged(AntChannel* channel, int, int newState)
{
    if (isCurrent(channel) && newState == AntChannel::STATE_UNASSIGNED) {
        closeStep();
    }
}

void SportDeviceSearch::searchFinished(AntChannel* channel)
{
    // A channel being closed may still identify the device it was searching for: not a find.
    if (!isCurrent(channel) || mClosing) {
        return;
    }
    mManager->logf(Logger::DEBUG, "SportDeviceSearch::searchFinished");
    const int deviceNumber = channel->getDeviceId();
    const int number = channel->getNumber();
    const int run = mRun;
    forEachListener([deviceNumber, number](SportDeviceSearchListener* listener) {
        listener->deviceFound(deviceNumber, number);
    });
    if (run != mRun) {
        // A listener cancelled, destroyed or restarted the search.
        return;
    }
    // The channel stays open on its device either way; the search no longer follows it.
    dropCurrent();
    if (mDeviceNumber == 0) {
        searchStep();
        return;
    }
    forEachListener([](SportDeviceSearchListener* listener) { listener->searchFinished(false); });
}

void SportDeviceSearch::searchTimeout(AntChannel* channel)
{
    if (!isCurrent(channel)) {
        return;
    }
    mManager->logf(Logger::DEBUG, "SportDeviceSearch::searchTimeout");
    if (mClosing) {
        // The time-out overtook the unassign and left the channel assigned: unassign it again.
        channel->unassign();
        return;
    }
    searchStep();
}

void SportDeviceSearch::invalidMessage(AntChannel* channel, int)
{
    if (!isCurrent(channel) || mClosing) {
        return;
    }
    // A stick without scan mode refuses it; the channel has given up its open, and the search goes on
    // channel by channel, starting with this one.
    mManager->logf(Logger::ALERT, "switching to AP1 style searching");
    mScanning = false;
    searchStep();
}

void SportDeviceSearch::extBroadcastData(AntChannel* channel, unsigned char* payload)
{
    // Once the search is over, the scan channel's last messages are not reported.
    if (!isCurrent(channel) || mClosing) {
        return;
    }
    // Extended data: the sender's device number follows the flag byte, low byte first.
    const int deviceNumber = payload[10] | (payload[11] << 8);
    const int number = channel->getNumber();
    forEachListener([deviceNumber, number](SportDeviceSearchListener* listener) {
        listener->deviceFound(deviceNumber, number);
    });
}

void SportDeviceSearch::update(AntChannel* channel, int ms)
{
    if (!mScanning || !isCurrent(channel) || mRemainingTime <= 0.0f) {
        return;
    }
    mRemainingTime -= static_cast<float>(ms) / 1000.0f;
    if (mRemainingTime <= 0.0f) {
        mRemainingTime = 0.0f;
        mScanning = false;
        startClosing();
    }
}

void SportDeviceSearch::broadcastData(AntChannel*, unsigned char*) {}

void SportDeviceSearch::acknowledgedData(AntChannel*, unsigned char*) {}

void SportDeviceSearch::burstData(AntChannel*, unsigned char*) {}

void SportDeviceSearch::extAcknowledgedData(AntChannel*, unsigned char*) {}

void SportDeviceSearch::extBurstData(AntChannel*, unsigned char*) {}

void SportDeviceSearch::transmitComplete(AntChannel*) {}

void SportDeviceSearch::burstProgress(AntChannel*, int) {}

void SportDeviceSearch::burstComplete(AntChannel*) {}

void SportDeviceSearch::burstFailed(AntChannel*) {}

} // namespace vant::search

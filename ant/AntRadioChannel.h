#pragma once

#include "ant/AntChannel.h"
#include "core/Collection.h"
#include "core/Object.h"

namespace vant::ant {

class AntChannelListener;
class AntRadioManager;

// One of the stick's channels (0 to 3), owned by the manager's slot. It walks the stick to the target
// its users ask for, one configuration message per response, follows the stick's events, identifies
// the device it found and hands data, transfer results and a periodic tick to its listeners. When its
// last reference goes it unassigns the channel on the stick. GUI thread only.
class AntRadioChannel : public rezezaz::core::Object, public AntChannel
{
public:
    // State 0 and target 0. `manager` is not owned; it outlives its channels' use.
    AntRadioChannel(AntRadioManager* manager, int number, int network);

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    // Unassigns the channel on the stick unless that already is the target.
    void destroy() override;

    // AntChannel
    void setId(int device, int type, int transmission) override;
    int getNumber() override;
    int getDeviceId() override;
    int getDeviceType() override;
    int getTransmissionType() override;
    void setSearchTime(float seconds) override;
    float getSearchTime() override;
    void setPeriod(int period) override;
    int getPeriod() override;
    void setFrequency(int frequency) override;
    int getFrequency() override;
    int getState() override;
    bool assign() override;
    bool open() override;
    bool close() override;
    bool unassign() override;
    bool reopen() override;
    bool openScan() override;
    void sendBroadcastData(unsigned char* data) override;
    void sendAcknowledgedData(unsigned char* data) override;
    void sendBurstData(unsigned char* data, int length) override;
    void addChannelListener(AntChannelListener* listener) override;
    void removeChannelListener(AntChannelListener* listener) override;

    // Called by the manager.
    int getTarget() const { return mTarget; }
    // Moves to `state` with `target`, sending the one command the pair calls for. False (and no
    // change) when asked for a target above 1 while the radio is down.
    bool updateState(int state, int target);
    // A response of the stick to command `messageId` (1: an event) with `code`; payload as received.
    void channelEvent(int messageId, int code, unsigned char* payload);
    void update(int ms);
    void clearChannelListeners();
    void notifyBurstProgress(int percent);
    void notifyBurstComplete();
    void notifyBurstFailed();

private:
    // Calls `call` on each listener of a snapshot that is still registered when its turn comes.
    template <class Call> void notify(Call call);
    void logUpdateState(int state, int target);
    void handleEvent(int code, unsigned char* payload);
    void handleResponse(int messageId);
    void handleInvalidMessage(int messageId);
    // A broadcast (plain or extended) that either identifies the device or goes to the listeners.
    void handleBroadcast(unsigned char* payload, bool extended);
    // Sends `command` of the set-up (or the close, unassign or channel-id request) and waits for its
    // answer: unanswered within the step's limit it is sent again a bounded number of times, and
    // then the step has failed (stepTimedOut).
    void sendStep(int command);
    void stepTimedOut();

    int mState = 0;
    int mTarget = 0;
    int mNumber;
    int mDeviceNumber = 0;
    int mDeviceType = 0;
    int mTransmissionType = 0;
    int mNetwork;
    float mSearchTime = 6.0f;
    int mPeriod = 8182;
    int mFrequency = 57;
    int mClock = 0;
    int mLastReceiveFailure = 0; // the clock at the last receive failure; 0 = none
    int mAwaiting = 0;           // the command whose answer the channel waits for; 0 = none
    int mAwaitingSince = 0;      // the clock when it was last sent
    int mResends = 0;            // how often it was sent again
    AntRadioManager* mManager;
    rezezaz::core::Collection<AntChannelListener*> mListeners;
};

} // namespace vant::ant

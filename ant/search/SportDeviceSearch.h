#pragma once

#include "ant/AntChannelListener.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"

namespace vant::ant {
class AntChannel;
class AntManager;
} // namespace vant::ant

namespace vant::search {

class SportDeviceSearchListener;

// Finds ANT+ sensors on the four channels of a manager, either with channel 0 in receive scan mode
// for a given time or channel by channel with each channel's own search time-out, and reports every
// device number it sees. When it ends it unassigns the channels it may have used, except after
// finding a device asked for by number: that channel stays open and identified for the device object
// the caller then creates on it. Counted: the application holds it; it holds the manager.
class SportDeviceSearch : public rezezaz::core::Object, public vant::ant::AntChannelListener
{
public:
    explicit SportDeviceSearch(vant::ant::AntManager* manager);
    ~SportDeviceSearch() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    // Leaves channels 0 to 3 and lets go of the manager; the search can't be used afterwards.
    void destroy() override;

    void stateChanged(vant::ant::AntChannel* channel, int oldState, int newState) override;
    void searchFinished(vant::ant::AntChannel* channel) override;
    void searchTimeout(vant::ant::AntChannel* channel) override;
    void broadcastData(vant::ant::AntChannel* channel, unsigned char* payload) override;
    void acknowledgedData(vant::ant::AntChannel* channel, unsigned char* payload) override;
    void burstData(vant::ant::AntChannel* channel, unsigned char* payload) override;
    void extBroadcastData(vant::ant::AntChannel* channel, unsigned char* payload) override;
    void extAcknowledgedData(vant::ant::AntChannel* channel, unsigned char* payload) override;
    void extBurstData(vant::ant::AntChannel* channel, unsigned char* payload) override;
    void transmitComplete(vant::ant::AntChannel* channel) override;
    void burstProgress(vant::ant::AntChannel* channel, int percent) override;
    void burstComplete(vant::ant::AntChannel* channel) override;
    void burstFailed(vant::ant::AntChannel* channel) override;
    void invalidMessage(vant::ant::AntChannel* channel, int messageId) override;
    void update(vant::ant::AntChannel* channel, int ms) override;

    // Not owned; a listener already present is not added twice.
    void addSportDeviceSearchListener(SportDeviceSearchListener* listener);
    void removeSportDeviceSearchListener(SportDeviceSearchListener* listener);

    // Starts a search of `seconds`. A device number above 0 (or `stepwise`) searches channel by
    // channel: only channel 0 for a given number, channels 0 to 3 with a quarter of the time each for
    // any device; otherwise channel 0 scans for the whole time. Negative arguments take the defaults:
    // any device, type 11, period 8182, frequency 57, network 1. False when there is no manager or no
    // channel to search on.
    bool search(int seconds, int deviceNumber, int deviceType, int period, int frequency, int network,
                bool stepwise);
    // Ends the search at once: unassigns channels 0 to 3, then `searchFinished(true)`.
    void cancel();

private:
    // Opens the next channel of a stepwise search, or starts closing after the last one.
    void searchStep();
    // Unassigns the next channel that isn't yet, or reports the end after the last one.
    void closeStep();
    // Starts unassigning from channel 0.
    void startClosing();
    // Stops following the current channel.
    void dropCurrent();
    // Calls `call` on each listener still registered when its turn comes.
    template <class Call> void forEachListener(Call call);
    // Callbacks of other channels the search once listened to (a channel found earlier, one that
    // timed out) are not about the step under way.
    bool isCurrent(vant::ant::AntChannel* channel) const;

    rezezaz::core::Collection<SportDeviceSearchListener*> mListeners; // not owned
    rezezaz::core::IntrusivePointer<vant::ant::AntManager> mManager;  // null after destroy()
    rezezaz::core::IntrusivePointer<vant::ant::AntChannel> mCurrent;
    // The channel that cancel() found still being set up; closing waits for it as well.
    rezezaz::core::IntrusivePointer<vant::ant::AntChannel> mSettingUp;
    bool mScanning = false;
    bool mClosing = false; // unassigning the channels; the search is over
    int mRun = 0;          // counts search(), cancel() and destroy(), to notice one made in a callback
    int mNextSearchChannel = 0;
    int mNextCloseChannel = 0;
    float mRemainingTime = 30.0f; // seconds
    int mDeviceNumber = 0;        // 0 any device, -1 after cancel()
    int mDeviceType = 0;
    int mPeriod = 0;
    int mFrequency = 0;
    int mNetwork = 0;
};

} // namespace vant::search

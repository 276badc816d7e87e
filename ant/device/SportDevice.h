#pragma once

#include "ant/AntChannelListener.h"
#include "ant/babel/SportData.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"

#include <memory>

namespace vant::ant {
class AntChannel;
class AntManager;
} // namespace vant::ant

namespace vant::device {

class SportDeviceListener;

// One ANT+ sensor on a channel that a search has left open and identified on it. It decodes the
// sensor's broadcasts with the decoder of its device type, carries the ANT+ calibration exchange and
// tells its listeners. It goes away (destroy(), then `closed`) when its owner says so or when its
// channel loses the sensor. Counted: the application holds it; it holds its manager and its channel.
class SportDevice : public rezezaz::core::Object, public vant::ant::AntChannelListener
{
public:
    // Binds to the channel that slot `channel` holds now; it neither configures nor opens it. A slot
    // without a channel leaves the device without one: it then receives and sends nothing.
    SportDevice(int deviceNumber, int deviceType, vant::ant::AntManager* manager, int channel);
    ~SportDevice() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    // Runs once: lets go of the channel (unassigning it), tells every listener `closed` and forgets
    // them. The decoder and the manager stay until the destructor.
    void destroy() override;

    // Hardware revision and model number from the common pages; 0 until they arrive or without a
    // decoder.
    virtual int getManufacturerVersion();
    virtual int getManufacturerModel();
    // The sensor's ANT device number, as the search found it.
    int getDeviceNumber() const { return mDeviceNumber; }

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

    // Each returns true when it consumed the message. `data` is the channel payload (byte 0 the
    // channel, bytes 1 to 8 the page), `length` 9.
    virtual bool handleBroadcastData(vant::ant::AntChannel* channel, unsigned char* data, int length);
    virtual bool handleAcknowledgedData(vant::ant::AntChannel* channel, unsigned char* data, int length);
    virtual bool handleBurstData(vant::ant::AntChannel* channel, unsigned char* data, int length);

    // Appends; a listener added twice is called twice.
    void addSportDeviceListener(SportDeviceListener* listener);

    // Asks the sensor to zero itself (ANT+ manual zero); the answer comes as calibrateReceived.
    void requestCalibrate();
    // Asks the sensor to send its calibration-passed page once. Its answer is reported only while a
    // requestCalibrate() is still unanswered.
    void requestCalibratePass();

    // The decoder chosen by the device type (null for a type without one). Callers read decoded
    // values through its getField.
    std::unique_ptr<vbabel::data::SportData> sportData;

protected:
    // Calls `call` on each listener that is still registered when its turn comes, so that listeners
    // may leave (or others join) during the calls.
    template <class Call> void forEachListener(Call call)
    {
        const rezezaz::core::Collection<SportDeviceListener*> snapshot = mListeners;
        for (SportDeviceListener* listener : snapshot) {
            if (mListeners.findIndex(listener) >= 0) {
                call(listener);
            }
        }
    }

    bool mAlive = true;
    int mDeviceNumber;
    int mDeviceType;
    rezezaz::core::IntrusivePointer<vant::ant::AntManager> mManager;
    int mChannelNumber;
    rezezaz::core::IntrusivePointer<vant::ant::AntChannel> mChannel; // null once destroyed
    rezezaz::core::Collection<SportDeviceListener*> mListeners;      // not owned
    bool mCalibrationPending = false;
};

} // namespace vant::device

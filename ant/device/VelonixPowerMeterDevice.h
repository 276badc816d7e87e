#pragma once

#include "ant/device/PowerMeterModel.h"
#include "ant/device/SportDevice.h"
#include "core/Collection.h"
#include "core/Logger.h"

#include <cstdint>
#include <deque>

namespace vant::device {

class VelonixPowerMeterDeviceListener;

// The maker's crank power meter as a SportDevice. Besides its broadcast pages it speaks the maker's
// command protocol: 8-byte acknowledged messages starting with 0xF0 read and write the meter's
// registers (reads are answered by a burst), and every write sequence is guarded by the unlock
// message. One setting is driven at a time; each step is sent when the previous command message has
// been transmitted, and listeners learn the results. The same object uploads new firmware through
// the meter's bootloader (the upload section below). Counted like its base.
class VelonixPowerMeterDevice : public SportDevice
{
public:
    // `bootload` true: the meter already runs its bootloader.
    VelonixPowerMeterDevice(int deviceNumber, vant::ant::AntManager* manager, int channel, bool bootload);
    ~VelonixPowerMeterDevice() override;

    int32_t retain() override { return SportDevice::retain(); }
    int32_t release() override { return SportDevice::release(); }
    void destroy() override;

    // Hardware revision: the common page's when received, else the bootloader's, else 0.
    int getManufacturerVersion() override;

    void stateChanged(vant::ant::AntChannel* channel, int oldState, int newState) override;
    void transmitComplete(vant::ant::AntChannel* channel) override;
    void update(vant::ant::AntChannel* channel, int ms) override;
    bool handleBroadcastData(vant::ant::AntChannel* channel, unsigned char* data, int length) override;
    bool handleAcknowledgedData(vant::ant::AntChannel* channel, unsigned char* data, int length) override;
    bool handleBurstData(vant::ant::AntChannel* channel, unsigned char* data, int length) override;

    // Also registers it as a SportDeviceListener. A listener added twice is called twice.
    void addPowerMeterDeviceListener(VelonixPowerMeterDeviceListener* listener);
    // Removes its first occurrence from both lists.
    void removePowerMeterDeviceListener(VelonixPowerMeterDeviceListener* listener);

    // Reads: sent at once, answered by the matching "Received" callback; resent every 3 s until then.
    void doQueryAutozero();
    void doQuerySlope(bool factory);
    void doQueryOffset(bool factory);
    void doQueryTorqueDirection();
    // Refused (with a warning) on hardware 7 to 9 with software revision 20 to 28.
    void doQueryCadenceDirection();
    void doQueryPedalBalance();
    void doQueryDirection();
    void doQueryCadence();
    void doQueryMode();
    void doQueryCadenceMode();
    // `location` 1 to 255 and `length` 1 to 8; anything else is refused with an error log.
    void queryRegister(int location, int length);

    // Writes: queued behind the unlock message, ended by the matching "Changed" callback.
    // Only bits 0-1 of `flags` are written.
    void setAutozero(int flags);
    // Refused with an error log outside 0 to 256 (the register holds slope x 65536 in 3 bytes).
    // True when the write is under way; false when it is refused (also without a channel or while
    // an upload runs).
    bool setSlope(float slope, bool factory);
    // Refused with an error log outside the signed 16-bit range.
    void setOffset(int offset, bool factory);
    void setTorqueDirection(bool direction);
    // Needs hardware 42 to 46 or software revision 28 or above (29 or above on hardware 7 to 9).
    void setCadenceDirection(bool direction);
    // Whether setCadenceDirection would write on this meter rather than refuse.
    bool cadenceDirectionWritable();
    void setPedalBalance(bool balance);
    void setDirection(bool direction);
    // Cadence and mode are single bytes: refused with an error log outside 0 to 255.
    void setCadence(int cadence);
    void setMode(int mode);
    void setCadenceMode(int cadence, int mode);
    // `length` 1 to 3 bytes of `data` from `location` 0 to 255; anything else (or null data) is
    // refused with an error log.
    void setRegister(int location, int length, unsigned char* data);

    // Asks the bootloader's version (answered by bootloadReceived).
    void doQueryBootload();
    // Puts the meter to sleep (answered by sleepStarted).
    void startSleep();
    // Sends the unlock message (`lock` false) or the lock message (`lock` true).
    void powerMeterLock(bool lock);

    // 1 for hardware 42 to 46, 0 for 7 to 9, else 2.
    int getPowerMeterDeviceFamily();
    // What the pages ask of the meter's model, from its manufacturer model number (a meter of the
    // common kind until the manufacturer page arrived).
    PowerMeterModel getPowerMeterModel();
    // The model's type: the manufacturer model number AND 0x3F.
    int getPowerMeterType();
    int getStrainGaugeCount();
    // 1 for hardware 7 to 9 with software revision 20 to 28, else 2.
    int getDirectionCapability();
    // True while the device decodes the bootloader's page.
    bool getBootload();

    // ---- Firmware upload (implemented in VelonixPowerMeterDeviceBootload.cpp) ----

    // Switches the meter into its bootloader and follows it onto the bootloader's channel settings;
    // ends with bootloadChanged.
    void changeBootload();
    // Uploads the 64 KB memory image `image` (index = meter address) to a meter in bootload mode;
    // `blStart` is the bootloader's start address (decoder field 28); `crc` is not used. Progress
    // comes as bootloadProgress, the end as bootloadFinished.
    void bootloadData(int crc, int blStart, unsigned char* image);
    // Sends the finish message and reports success.
    void bootloadFinished();
    // CRC-16/MODBUS: initial value 0xFFFF, reflected polynomial 0xA001, no final XOR.
    static unsigned short crc16(unsigned char* data, unsigned short length);

    void burstProgress(vant::ant::AntChannel* channel, int percent) override;
    void burstComplete(vant::ant::AntChannel* channel) override;
    void burstFailed(vant::ant::AntChannel* channel) override;

protected:
    // Called by the command side:
    // stateChanged, with a state below 3 or 5, while the switch step is 2 or 3.
    void followBootloadSwitch();
    // stateChanged, with state 3, while the switch step is 4.
    void finishBootloadSwitch();
    // The end of every transmitComplete, whatever the marker was.
    void uploadTransmitComplete();
    // handleBroadcastData in bootload mode, before the page is decoded.
    void checkUploadCrc();

    // Switch into the bootloader: 0 none, 1 unlock sent, 2 F0 09 sent, 3 unassigned, 4 reopened.
    int mBootloadStep = 0;
    // 0 idle, 1 first erase sent, 2 positioning or waiting for a CRC match, 3 burst under way. Every
    // command operation does nothing while it is 1 or more.
    int mUploadState = 0;
    int mRetryCount = 0;
    int mExpectedCrc = -1;
    int mCrcPosition = 0;
    int mSectionIndex = 0;
    int mSectionCount = 0;
    int mSections[1024][2] = {};
    // The last mismatch logged, so that the same pair is not logged again.
    int mLoggedFailExpected = -1;
    int mLoggedFailReported = -1;
    unsigned char mImage[0x10000] = {};
    unsigned char mSent[0x10000] = {};

    // The CRC the bootloader reports once everything in the sent copy has been written.
    int uploadSentCrc() const;
    // Positions the current section: an erase of no segments at its start.
    void sendUploadPosition();
    // The erase message for `segments` 512-byte segments from `address`.
    void sendUploadErase(int address, int segments);

    // ---- End of the firmware upload ----

    // True when a channel is held and no upload runs: the condition for every command.
    bool canCommand() const;
    // Hands an 8-byte command message to the channel and sets the last-sent marker.
    void sendCommand(unsigned char* message);
    // Calls `call` on each power-meter listener still registered when its turn comes.
    template <class Call> void forEachPowerMeterListener(Call call)
    {
        const rezezaz::core::Collection<VelonixPowerMeterDeviceListener*> snapshot = mPowerMeterListeners;
        for (VelonixPowerMeterDeviceListener* listener : snapshot) {
            if (mPowerMeterListeners.findIndex(listener) >= 0) {
                call(listener);
            }
        }
    }
    // The manager's logf, when there is a manager.
    void logf(rezezaz::core::Logger::Level level, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;

private:
    // Hardware revision and software revision (0 when not received).
    int softwareRevision();
    bool isEarlyHardware();

    bool cadenceDirectionReadable();

    // One read asked of the meter: what it asked, and the answer handler that turns the reply's
    // bytes into the listener call (or, for a bit setting's own read, into the setting's write).
    // The meter's reply carries no register number, so only one read is in flight at a time: the
    // head of the queue; the next is sent once it is answered or has timed out.
    struct ReadRequest;
    using ReadAnswer = bool (VelonixPowerMeterDevice::*)(const ReadRequest& request, const unsigned char* data);
    struct ReadRequest
    {
        int location;       // the register read; 0 for the bootloader-version query
        int length;         // bytes read
        bool factory;       // slope and offset: which of the two
        bool forSetting;    // the read step of the running bit setting
        ReadAnswer answer;
        const char* name;   // for the log

        bool operator==(const ReadRequest& other) const
        {
            return location == other.location && length == other.length && factory == other.factory &&
                   forSetting == other.forSetting && answer == other.answer;
        }
    };
    // Queues a read unless the same one is already waiting; sends it when none is in flight.
    void queueRead(const ReadRequest& request);
    // Sends the head of the queue.
    void sendHeadRead();
    // After an answer, a time-out or a completed command message: the next read, when one waits
    // and none is in flight.
    void sendNextRead();

    bool answerAutozero(const ReadRequest& request, const unsigned char* data);
    bool answerSlope(const ReadRequest& request, const unsigned char* data);
    bool answerOffset(const ReadRequest& request, const unsigned char* data);
    bool answerCadence(const ReadRequest& request, const unsigned char* data);
    bool answerMode(const ReadRequest& request, const unsigned char* data);
    bool answerCadenceMode(const ReadRequest& request, const unsigned char* data);
    bool answerDirection(const ReadRequest& request, const unsigned char* data);
    bool answerTorqueDirection(const ReadRequest& request, const unsigned char* data);
    bool answerCadenceDirection(const ReadRequest& request, const unsigned char* data);
    bool answerPedalBalance(const ReadRequest& request, const unsigned char* data);
    bool answerRegister(const ReadRequest& request, const unsigned char* data);
    bool answerBootloadVersion(const ReadRequest& request, const unsigned char* data);
    // The read step of the running bit setting, when `request` is it.
    bool settingRead(const ReadRequest& request) const { return request.forSetting && mBitStep == 2; }

    void sendRead(int location, int length);
    void sendWrite(int location, int length, const unsigned char* data);
    // Sends the unlock message when commands may run.
    void unlock();
    // Ends a write sequence with the unlock message; the step becomes 3 whether sent or not.
    void closeSequence(int& step);
    // When the last command message has completed: the next step of the first pending item.
    void serveCommandItems();

    rezezaz::core::Collection<VelonixPowerMeterDeviceListener*> mPowerMeterListeners; // not owned

    // 0xF0 after a command message is handed to the channel, 0 once transmitComplete took it.
    int mMarker = 0;

    // Reads asked and not yet answered; the head is in flight while mReadInFlight is set.
    std::deque<ReadRequest> mReads;
    bool mReadInFlight = false;
    // The head's message has been transmitted: a reply before that cannot be its answer.
    bool mReadTransmitted = false;
    // The bootloader-version query's own steps: 1 unlock sent, 2 query sent, 3 closing unlock sent.
    int mBootloadQueryStep = 0;

    // Write items: 0 idle, 1 unlock sent, 2 write sent, 3 closing unlock sent.
    int mCadence = 0;
    int mCadenceStep = 0;
    int mMode = 0;
    int mModeStep = 0;
    float mSlope = 0.0f;
    bool mSlopeFactory = false;
    int mSlopeStep = 0;
    int mOffset = 0;
    bool mOffsetFactory = false;
    int mOffsetStep = 0;
    int mRegisterLocation = 0;
    int mRegisterLength = 0;
    unsigned char mRegisterData[16] = {};
    int mRegisterStep = 0;

    // Bit setting: no kind flag set means direction. 0 idle, 1 unlock sent, 2 read sent, 3 write sent.
    bool mBitAutozero = false;
    bool mBitTorqueDirection = false;
    bool mBitCadenceDirection = false;
    bool mBitPedalBalance = false;
    int mBitValue = 0;
    int mBitStep = 0;

    int mSleepStep = 0;

    // Sum of the update times, and when the read in flight was sent (or the last one answered).
    int64_t mClock = 0;
    int64_t mReadSentTime = 0;
};

} // namespace vant::device

// The power meter's firmware upload: following the meter into its bootloader, then sending the image
// section by section, each positioned by an acknowledged message and written by a burst, with the CRC
// that the bootloader broadcasts telling when the erase and the last section have landed.
#include "ant/AntChannel.h"
#include "ant/AntManager.h"
#include "ant/data/VelonixPowerMeterBootloadData.h"
#include "ant/device/BootloadImage.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "ant/device/VelonixPowerMeterDeviceListener.h"

#include <cstring>
#include <memory>

namespace vant::device {

using rezezaz::core::Logger;

namespace {

// The bootloader's channel settings.
constexpr int kBootloadNetwork = 0;
constexpr int kBootloadDeviceType = 11;
constexpr int kBootloadPeriod = 3136;
constexpr int kBootloadFrequency = 70;

// Field of the bootload decoder: the CRC the bootloader computed over its application area.
constexpr int kCrcField = 26;

constexpr unsigned char kEraseMessage = 0x11;
constexpr unsigned char kFinishMessage = 0x12;
constexpr int kSegmentSize = 512;

// Failed bursts of one section that are sent again before the upload gives up.
constexpr int kBurstRetries = 10;

// Upload states.
constexpr int kIdle = 0;
constexpr int kErasing = 1;
constexpr int kPositioning = 2;
constexpr int kBursting = 3;

// Bootload switch steps.
constexpr int kSwitchCommandSent = 2;
constexpr int kSwitchUnassigning = 3;
constexpr int kSwitchReopened = 4;

} // namespace

void VelonixPowerMeterDevice::changeBootload()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::changeBootload");
    mBootloadStep = 1;
    powerMeterLock(false);
}

void VelonixPowerMeterDevice::followBootloadSwitch()
{
    if (!mChannel) {
        return;
    }
    if (mBootloadStep == kSwitchCommandSent) {
        // The meter restarts into its bootloader: let go of the application's channel settings.
        logf(Logger::ALERT, "VelonixPowerMeterDevice: unassigning after entering bootload");
        mBootloadStep = kSwitchUnassigning;
        mChannel->unassign();
        return;
    }
    if (mBootloadStep != kSwitchUnassigning || !mManager) {
        return;
    }
    logf(Logger::ALERT, "VelonixPowerMeterDevice: reopening after entering bootload");
    mChannel->removeChannelListener(this);
    // The old channel goes before the new one is opened, so that nothing it still sends reaches the
    // stick after the new assignment.
    mChannel = mManager->getChannel(mChannelNumber, kBootloadNetwork);
    mBootloadStep = kSwitchReopened;
    if (!mChannel) {
        return;
    }
    mChannel->addChannelListener(this);
    mChannel->setId(mDeviceNumber, kBootloadDeviceType, 0);
    mChannel->setPeriod(kBootloadPeriod);
    mChannel->setFrequency(kBootloadFrequency);
    mChannel->open();
}

void VelonixPowerMeterDevice::finishBootloadSwitch()
{
    logf(Logger::ALERT, "Connected to bootload velonix power meter");
    sportData = std::make_unique<vant::data::VelonixPowerMeterBootloadData>();
    mBootloadStep = 0;
    forEachPowerMeterListener(
        [this](VelonixPowerMeterDeviceListener* listener) { listener->bootloadChanged(this); });
}

unsigned short VelonixPowerMeterDevice::crc16(unsigned char* data, unsigned short length)
{
    return crc16Modbus(data, length);
}

void VelonixPowerMeterDevice::bootloadData(int, int blStart, unsigned char* image)
{
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::bootloadData");
    // Refused before anything is touched: a start outside this range would put the moved vectors or
    // the CRC outside the image, or have the CRC run over the image's end.
    const char* refusal = nullptr;
    if (!image) {
        refusal = "VelonixPowerMeterDevice::bootloadData refused: no image";
    } else if (!validBootloaderStart(blStart)) {
        refusal = "VelonixPowerMeterDevice::bootloadData refused: bootloader start address out of range";
    } else if (!mChannel) {
        refusal = "VelonixPowerMeterDevice::bootloadData refused: no channel";
    }
    if (refusal) {
        logf(Logger::ERROR, "%s (start address:%d)", refusal, blStart);
        forEachPowerMeterListener(
            [this](VelonixPowerMeterDeviceListener* listener) { listener->bootloadFinished(this, false); });
        return;
    }
    static_assert(sizeof mSections / sizeof mSections[0] >= BOOTLOAD_MAX_SECTIONS);
    static_assert(sizeof mImage == BOOTLOAD_IMAGE_SIZE && sizeof mSent == BOOTLOAD_IMAGE_SIZE);

    mExpectedCrc = -1;
    mCrcPosition = blStart - 2;
    mLoggedFailExpected = -1;
    mLoggedFailReported = -1;
    std::memset(mSent, 0xFF, sizeof mSent);
    layOutBootloadImage(image, blStart, mImage);

    mSectionCount = findBootloadSections(mImage, blStart, mSections);
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: numRanges:%d", mSectionCount);
    mSectionCount = mergeBootloadSections(mSections, mSectionCount);
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: after merge numRanges:%d", mSectionCount);

    mSectionIndex = 0;
    mRetryCount = 0;
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::bootloadEraseSegment:%d,%d", BOOTLOAD_APPLICATION_START,
         blStart);
    mUploadState = kErasing;
    sendUploadErase(BOOTLOAD_APPLICATION_START, (blStart - BOOTLOAD_APPLICATION_START) / kSegmentSize);
}

void VelonixPowerMeterDevice::bootloadFinished()
{
    if (mChannel) {
        unsigned char finish[8] = {kFinishMessage, 0, 0, 0, 0, 0, 0, 0};
        mChannel->sendAcknowledgedData(finish);
    }
    logf(Logger::ALERT, "bootload succeeded");
    mUploadState = kIdle;
    forEachPowerMeterListener(
        [this](VelonixPowerMeterDeviceListener* listener) { listener->bootloadFinished(this, true); });
}

void VelonixPowerMeterDevice::uploadTransmitComplete()
{
    if (mUploadState == kErasing) {
        // The erase is on its way; the bootloader reports the blank area's CRC once it is done.
        mUploadState = kPositioning;
        mExpectedCrc = uploadSentCrc();
    } else if (mUploadState == kPositioning) {
        mUploadState = kBursting;
        logf(Logger::DEBUG, "VelonixPowerMeterDevice::bootloadBurst");
        const int start = mSections[mSectionIndex][0];
        const int end = mSections[mSectionIndex][1];
        std::memcpy(mSent + start, mImage + start, static_cast<size_t>(end - start));
        mExpectedCrc = uploadSentCrc();
        logf(Logger::DEBUG, "sending section:%d of:%d", mSectionIndex, mSectionCount);
        if (mChannel) {
            mChannel->sendBurstData(mImage + start, end - start);
        }
    }
}

void VelonixPowerMeterDevice::checkUploadCrc()
{
    int reported = 0;
    if (!sportData || !sportData->getField(&reported, kCrcField)) {
        return;
    }
    if (reported != mExpectedCrc) {
        if (reported != mLoggedFailReported || mExpectedCrc != mLoggedFailExpected) {
            logf(Logger::DEBUG, "VelonixPowerMeterDevice: CRC fail:%d - %d BL:%d", mExpectedCrc, reported,
                 mUploadState);
            mLoggedFailExpected = mExpectedCrc;
            mLoggedFailReported = reported;
        }
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: CRC match:%d - %d BL:%d", mExpectedCrc, reported,
         mUploadState);
    if (mUploadState == kIdle) {
        return;
    }
    if (mSectionIndex >= mSectionCount) {
        // The last section has landed.
        mExpectedCrc = -1;
        bootloadFinished();
        return;
    }
    if (mUploadState == kPositioning) {
        // The erase is done: position the first section. Nothing is expected until its burst.
        mExpectedCrc = -1;
        sendUploadPosition();
    }
}

void VelonixPowerMeterDevice::burstProgress(vant::ant::AntChannel*, int)
{
    if (mUploadState == kIdle || mSectionCount == 0) {
        return;
    }
    const int percent = mSectionIndex * 100 / mSectionCount;
    forEachPowerMeterListener([this, percent](VelonixPowerMeterDeviceListener* listener) {
        listener->bootloadProgress(this, percent);
    });
}

void VelonixPowerMeterDevice::burstComplete(vant::ant::AntChannel*)
{
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::burstComplete");
    // Only a section's burst moves the upload on.
    if (mUploadState != kBursting) {
        return;
    }
    mRetryCount = 0;
    ++mSectionIndex;
    if (mSectionIndex >= mSectionCount) {
        // The final CRC match finishes the upload.
        return;
    }
    // Until the next section's burst, no CRC may count as a match: the bootloader may still report
    // the one just reached, and a match would position the next section a second time.
    mExpectedCrc = -1;
    mUploadState = kPositioning;
    sendUploadPosition();
}

void VelonixPowerMeterDevice::burstFailed(vant::ant::AntChannel*)
{
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::burstFailed");
    if (mUploadState != kBursting) {
        return;
    }
    // The section did not land, so the CRC expected with it is not due.
    mExpectedCrc = -1;
    if (mRetryCount < kBurstRetries) {
        ++mRetryCount;
        mUploadState = kPositioning;
        sendUploadPosition();
        return;
    }
    mRetryCount = 0;
    logf(Logger::WARNING, "bootload failed");
    forEachPowerMeterListener(
        [this](VelonixPowerMeterDeviceListener* listener) { listener->bootloadFinished(this, false); });
}

int VelonixPowerMeterDevice::uploadSentCrc() const
{
    return bootloadApplicationCrc(mSent, mCrcPosition + 2);
}

void VelonixPowerMeterDevice::sendUploadPosition()
{
    const int start = mSections[mSectionIndex][0];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::bootloadEraseSegment:%d,%d", start, start);
    // An erase of no segments only sets where the next burst is written.
    sendUploadErase(start, start == 0 ? 1 : 0);
}

void VelonixPowerMeterDevice::sendUploadErase(int address, int segments)
{
    if (!mChannel) {
        return;
    }
    const auto low = static_cast<unsigned char>(address & 0xFF);
    const auto high = static_cast<unsigned char>((address >> 8) & 0xFF);
    unsigned char message[8] = {kEraseMessage,
                                low,
                                high,
                                static_cast<unsigned char>(segments),
                                static_cast<unsigned char>(~low),
                                static_cast<unsigned char>(~high),
                                0,
                                0};
    mChannel->sendAcknowledgedData(message);
}

} // namespace vant::device

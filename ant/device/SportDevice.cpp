#include "ant/device/SportDevice.h"

#include "ant/AntChannel.h"
#include "ant/AntManager.h"
#include "ant/babel/SportCadenceData.h"
#include "ant/babel/SportHeartrateData.h"
#include "ant/babel/SportSpeedCadenceData.h"
#include "ant/babel/SportSpeedData.h"
#include "ant/babel/SportTorqueData.h"
#include "ant/device/SportDeviceListener.h"

namespace vant::device {

using rezezaz::core::Logger;
using vant::ant::AntChannel;

namespace {

// ANT+ device types that have a decoder.
constexpr int kPowerType = 11;
constexpr int kHeartrateType = 120;
constexpr int kSpeedCadenceType = 121;
constexpr int kCadenceType = 122;
constexpr int kSpeedType = 123;

// Calibration page: data-page byte 0, and byte 1 for the two answers.
constexpr unsigned char kCalibrationPage = 0x01;
constexpr unsigned char kCalibrationPassed = 0xAC;
constexpr unsigned char kCalibrationFailed = 0xAF;

std::unique_ptr<vbabel::data::SportData> decoderFor(int deviceType)
{
    switch (deviceType) {
    case kPowerType:
        return std::make_unique<vbabel::data::SportTorqueData>();
    case kHeartrateType:
        return std::make_unique<vbabel::data::SportHeartrateData>();
    case kSpeedCadenceType:
        return std::make_unique<vbabel::data::SportSpeedCadenceData>();
    case kCadenceType:
        return std::make_unique<vbabel::data::SportCadenceData>();
    case kSpeedType:
        return std::make_unique<vbabel::data::SportSpeedData>();
    default:
        return nullptr;
    }
}

} // namespace

SportDevice::SportDevice(int deviceNumber, int deviceType, vant::ant::AntManager* manager, int channel)
    : sportData(decoderFor(deviceType)), mDeviceNumber(deviceNumber), mDeviceType(deviceType),
      mManager(manager), mChannelNumber(channel)
{
    if (mManager) {
        mChannel = mManager->getChannel(channel, -1);
    }
    if (mChannel) {
        mChannel->addChannelListener(this);
    }
}

SportDevice::~SportDevice() = default;

void SportDevice::destroy()
{
    if (!mAlive) {
        return;
    }
    mAlive = false;
    if (mChannel) {
        // Taken out of the member first: unassigning may call back into this object.
        rezezaz::core::IntrusivePointer<AntChannel> channel = mChannel;
        mChannel = nullptr;
        channel->removeChannelListener(this);
        channel->unassign();
    }
    forEachListener([this](SportDeviceListener* listener) { listener->closed(this); });
    mListeners.clear();
}

int SportDevice::getManufacturerVersion()
{
    int version = 0;
    if (sportData) {
        sportData->getField(&version, 2);
    }
    return version;
}

int SportDevice::getManufacturerModel()
{
    int model = 0;
    if (sportData) {
        sportData->getField(&model, 4);
    }
    return model;
}

void SportDevice::stateChanged(AntChannel*, int, int newState)
{
    // Below open, or searching again: the sensor is gone from this channel.
    if (newState < AntChannel::STATE_OPEN || newState == AntChannel::STATE_SEARCHING) {
        // The owner may let go of this device from its `closed` callback.
        rezezaz::core::IntrusivePointer<SportDevice> self(this);
        destroy();
    }
}

void SportDevice::searchFinished(AntChannel*) {}

void SportDevice::searchTimeout(AntChannel*) {}

void SportDevice::broadcastData(AntChannel* channel, unsigned char* payload)
{
    // A calibration answer may come as a broadcast.
    if (!handleAcknowledgedData(channel, payload, 9)) {
        handleBroadcastData(channel, payload, 9);
    }
}

void SportDevice::acknowledgedData(AntChannel* channel, unsigned char* payload)
{
    if (mManager) {
        mManager->logf(Logger::DEBUG, "SportDevice:acknowledgedData");
    }
    handleAcknowledgedData(channel, payload, 9);
}

void SportDevice::burstData(AntChannel* channel, unsigned char* payload)
{
    handleBurstData(channel, payload, 9);
}

void SportDevice::extBroadcastData(AntChannel*, unsigned char*) {}

void SportDevice::extAcknowledgedData(AntChannel*, unsigned char*) {}

void SportDevice::extBurstData(AntChannel*, unsigned char*) {}

void SportDevice::transmitComplete(AntChannel*) {}

void SportDevice::burstProgress(AntChannel*, int) {}

void SportDevice::burstComplete(AntChannel*) {}

void SportDevice::burstFailed(AntChannel*) {}

void SportDevice::invalidMessage(AntChannel*, int) {}

void SportDevice::update(AntChannel*, int) {}

bool SportDevice::handleBroadcastData(AntChannel*, unsigned char* data, int)
{
    if (!sportData || !sportData->broadcastReceived(data)) {
        return false;
    }
    const int fields = sportData->receivedFields();
    forEachListener([this, fields](SportDeviceListener* listener) { listener->dataReceived(this, fields); });
    return true;
}

bool SportDevice::handleAcknowledgedData(AntChannel*, unsigned char* data, int)
{
    const unsigned char page = data[1];
    const unsigned char answer = data[2];
    if (page != kCalibrationPage || !mCalibrationPending ||
        (answer != kCalibrationPassed && answer != kCalibrationFailed)) {
        return false;
    }
    if (mManager) {
        mManager->logf(Logger::DEBUG, "SportDevice:handleAcknowledgedData handled");
    }
    const bool passed = answer == kCalibrationPassed;
    // Data-page bytes 6 (low) and 7 (high), a signed 16-bit number.
    const int value = static_cast<int16_t>(static_cast<uint16_t>(data[7] | (data[8] << 8)));
    // Cleared before the listeners hear of it, so that one of them may ask again.
    mCalibrationPending = false;
    forEachListener([this, passed, value](SportDeviceListener* listener) {
        listener->calibrateReceived(this, passed, value);
    });
    return true;
}

bool SportDevice::handleBurstData(AntChannel*, unsigned char*, int)
{
    return false;
}

void SportDevice::addSportDeviceListener(SportDeviceListener* listener)
{
    mListeners.add(listener);
}

void SportDevice::requestCalibrate()
{
    if (mManager) {
        mManager->logf(Logger::DEBUG, "SportDevice::requestCalibrate");
    }
    if (!mChannel) {
        return;
    }
    mCalibrationPending = true;
    unsigned char request[8] = {0x01, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    mChannel->sendAcknowledgedData(request);
}

void SportDevice::requestCalibratePass()
{
    if (mManager) {
        mManager->logf(Logger::DEBUG, "SportDevice::requestCalibratePass");
    }
    if (!mChannel) {
        return;
    }
    unsigned char request[8] = {0x46, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xAC, 0x01};
    mChannel->sendAcknowledgedData(request);
}

} // namespace vant::device

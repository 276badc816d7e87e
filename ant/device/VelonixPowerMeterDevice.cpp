#include "ant/device/VelonixPowerMeterDevice.h"

#include "ant/AntChannel.h"
#include "ant/AntManager.h"
#include "ant/data/VelonixPowerMeterBootloadData.h"
#include "ant/data/VelonixPowerMeterData.h"
#include "ant/device/VelonixPowerMeterDeviceListener.h"
#include "ant/device/VelonixUnlockCode.h"
#include "core/CLocaleScope.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vant::device {

using rezezaz::core::Logger;
using vant::ant::AntChannel;

namespace {

constexpr int kCommandMarker = 0xF0;

// Command codes (message byte 1).
constexpr unsigned char kBootloadQuery = 0x03;
constexpr unsigned char kRead = 0x04;
constexpr unsigned char kWrite = 0x05;
constexpr unsigned char kSleep = 0x08;
constexpr unsigned char kBootloadSwitch = 0x09;
constexpr unsigned char kLock = 0x52;

// Registers.
constexpr int kUserSlope = 0x09;
constexpr int kFactorySlope = 0x21;
constexpr int kUserOffset = 0x32;
constexpr int kFactoryOffset = 0x30;
constexpr int kSettings = 0x39;  // autozero bits 0-1, power balance bit 3, cadence direction bit 7
constexpr int kDirection = 0x1E; // direction and torque direction in bit 6
constexpr int kCadence = 0x3D;
constexpr int kMode = 0x3E;

constexpr unsigned char kAutozeroBits = 0x03;
constexpr unsigned char kPowerBalanceBit = 0x08;
constexpr unsigned char kDirectionBit = 0x40;
constexpr unsigned char kCadenceDirectionBit = 0x80;

// Register reads are answered within this many milliseconds of update time, or sent again.
constexpr int64_t kReadTimeout = 3000;

// A burst packet as handed on by the channel: the channel number, then the 8 page bytes.
constexpr int kPacketLength = 9;

// Decoder fields.
constexpr int kHardwareRevision = 2;
constexpr int kSoftwareRevision = 5;
constexpr int kBootloadCrc = 26;
constexpr int kBootloadHardwareRevision = 30;

bool inRange(int value, int low, int high)
{
    return value >= low && value <= high;
}

// Replaces the bits of `mask` in `byte` with those of `bits`.
unsigned char withBits(unsigned char byte, unsigned char mask, unsigned char bits)
{
    return static_cast<unsigned char>((byte & ~mask) | (bits & mask));
}

} // namespace

VelonixPowerMeterDevice::VelonixPowerMeterDevice(int deviceNumber, vant::ant::AntManager* manager,
                                                 int channel, bool bootload)
    : SportDevice(deviceNumber, 0, manager, channel)
{
    if (bootload) {
        logf(Logger::ALERT, "Connected to bootload velonix power meter");
        sportData = std::make_unique<vant::data::VelonixPowerMeterBootloadData>();
    } else {
        logf(Logger::ALERT, "Connected to velonix power meter");
        sportData = std::make_unique<vant::data::VelonixPowerMeterData>();
    }
}

VelonixPowerMeterDevice::~VelonixPowerMeterDevice() = default;

void VelonixPowerMeterDevice::destroy()
{
    SportDevice::destroy();
}

void VelonixPowerMeterDevice::logf(Logger::Level level, const char* format, ...)
{
    if (!mManager) {
        return;
    }
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    {
        // Numbers in log lines are written as the core writes them, whatever the user's locale.
        rezezaz::core::CLocaleScope cLocale;
        std::vsnprintf(text, sizeof text, format, arguments);
    }
    va_end(arguments);
    mManager->logf(level, "%s", text);
}

// ---- Accessors ----

int VelonixPowerMeterDevice::getManufacturerVersion()
{
    if (!sportData) {
        return 0;
    }
    int version = 0;
    sportData->getField(&version, kHardwareRevision);
    if (version == 0) {
        sportData->getField(&version, kBootloadHardwareRevision);
    }
    return version;
}

int VelonixPowerMeterDevice::softwareRevision()
{
    int revision = 0;
    if (sportData) {
        sportData->getField(&revision, kSoftwareRevision);
    }
    return revision;
}

bool VelonixPowerMeterDevice::isEarlyHardware()
{
    return inRange(getManufacturerVersion(), 7, 9);
}

int VelonixPowerMeterDevice::getPowerMeterDeviceFamily()
{
    const int hardware = getManufacturerVersion();
    if (inRange(hardware, 42, 46)) {
        return 1;
    }
    return inRange(hardware, 7, 9) ? 0 : 2;
}

PowerMeterModel VelonixPowerMeterDevice::getPowerMeterModel()
{
    return PowerMeterModel::of(getManufacturerModel());
}

int VelonixPowerMeterDevice::getPowerMeterType()
{
    return getPowerMeterModel().type;
}

int VelonixPowerMeterDevice::getStrainGaugeCount()
{
    return getPowerMeterModel().strainGauges;
}

int VelonixPowerMeterDevice::getDirectionCapability()
{
    return isEarlyHardware() && inRange(softwareRevision(), 20, 28) ? 1 : 2;
}

bool VelonixPowerMeterDevice::getBootload()
{
    int crc = 0;
    return sportData && sportData->getField(&crc, kBootloadCrc);
}

bool VelonixPowerMeterDevice::cadenceDirectionReadable()
{
    return !(isEarlyHardware() && inRange(softwareRevision(), 20, 28));
}

bool VelonixPowerMeterDevice::cadenceDirectionWritable()
{
    // Never where the read step of the setting would be refused.
    return (inRange(getManufacturerVersion(), 42, 46) || softwareRevision() >= 28) &&
           cadenceDirectionReadable();
}

// ---- Listeners ----

void VelonixPowerMeterDevice::addPowerMeterDeviceListener(VelonixPowerMeterDeviceListener* listener)
{
    addSportDeviceListener(listener);
    mPowerMeterListeners.add(listener);
}

void VelonixPowerMeterDevice::removePowerMeterDeviceListener(VelonixPowerMeterDeviceListener* listener)
{
    mListeners.remove(static_cast<SportDeviceListener*>(listener));
    mPowerMeterListeners.remove(listener);
}

// ---- Sending ----

bool VelonixPowerMeterDevice::canCommand() const
{
    return mChannel && mUploadState < 1;
}

void VelonixPowerMeterDevice::sendCommand(unsigned char* message)
{
    if (!mChannel) {
        return;
    }
    mChannel->sendAcknowledgedData(message);
    mMarker = kCommandMarker;
}

void VelonixPowerMeterDevice::powerMeterLock(bool lock)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::powerMeterLock");
    unsigned char message[8] = {kCommandMarker, kLock, 0, 0, 0, 0, 0, 0};
    if (!lock) {
        std::memcpy(message + 2, kVelonixUnlockCode, sizeof kVelonixUnlockCode);
    }
    sendCommand(message);
}

void VelonixPowerMeterDevice::unlock()
{
    if (canCommand()) {
        powerMeterLock(false);
    }
}

void VelonixPowerMeterDevice::sendRead(int location, int length)
{
    unsigned char message[8] = {kCommandMarker,
                                kRead,
                                0,
                                static_cast<unsigned char>(location),
                                static_cast<unsigned char>(length),
                                0,
                                0,
                                0};
    sendCommand(message);
}

void VelonixPowerMeterDevice::sendWrite(int location, int length, const unsigned char* data)
{
    unsigned char message[8] = {kCommandMarker, kWrite, 0, static_cast<unsigned char>(location),
                                static_cast<unsigned char>(length)};
    // At most 3 data bytes fit behind the header.
    for (int i = 0; i < length && i < 3; ++i) {
        message[5 + i] = data[i];
    }
    sendCommand(message);
}

void VelonixPowerMeterDevice::closeSequence(int& step)
{
    if (canCommand()) {
        powerMeterLock(false);
    }
    step = 3;
}

// ---- Reads ----

void VelonixPowerMeterDevice::doQueryAutozero()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryAutozero");
    queueRead({kSettings, 1, false, false, &VelonixPowerMeterDevice::answerAutozero, "autozero"});
}

void VelonixPowerMeterDevice::doQuerySlope(bool factory)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::querySlope");
    queueRead({factory ? kFactorySlope : kUserSlope, 3, factory, false, &VelonixPowerMeterDevice::answerSlope,
               "slope"});
}

void VelonixPowerMeterDevice::doQueryOffset(bool factory)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryOffset factory:%d", factory ? 1 : 0);
    queueRead({factory ? kFactoryOffset : kUserOffset, 2, factory, false, &VelonixPowerMeterDevice::answerOffset,
               "offset"});
}

void VelonixPowerMeterDevice::doQueryTorqueDirection()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryTorqueDirection");
    queueRead({kDirection, 1, false, false, &VelonixPowerMeterDevice::answerTorqueDirection, "torque direction"});
}

void VelonixPowerMeterDevice::doQueryCadenceDirection()
{
    if (!canCommand()) {
        return;
    }
    if (!cadenceDirectionReadable()) {
        logf(Logger::WARNING,
             "VelonixPowerMeterDevice::doQueryCadenceDirection is only available for Tenvaris with "
             "firmware > 2.8 and all Solvane");
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryCadenceDirection");
    queueRead({kSettings, 1, false, false, &VelonixPowerMeterDevice::answerCadenceDirection,
               "cadence direction"});
}

void VelonixPowerMeterDevice::doQueryPedalBalance()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryPedalBalance");
    queueRead({kSettings, 1, false, false, &VelonixPowerMeterDevice::answerPedalBalance, "power balance"});
}

void VelonixPowerMeterDevice::doQueryDirection()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryDirection");
    queueRead({kDirection, 1, false, false, &VelonixPowerMeterDevice::answerDirection, "direction"});
}

void VelonixPowerMeterDevice::doQueryCadence()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryCadence");
    queueRead({kCadence, 1, false, false, &VelonixPowerMeterDevice::answerCadence, "cadence"});
}

void VelonixPowerMeterDevice::doQueryMode()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryMode");
    queueRead({kMode, 1, false, false, &VelonixPowerMeterDevice::answerMode, "mode"});
}

void VelonixPowerMeterDevice::doQueryCadenceMode()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryCadenceMode");
    queueRead({kCadence, 2, false, false, &VelonixPowerMeterDevice::answerCadenceMode, "cadence mode"});
}

void VelonixPowerMeterDevice::queryRegister(int location, int length)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryRegister location:%d length:%d", location, length);
    // One 8-byte packet carries the reply; location 0 stands for "no register read pending".
    if (!inRange(location, 1, 0xFF) || !inRange(length, 1, 8)) {
        logf(Logger::ERROR,
             "VelonixPowerMeterDevice::queryRegister refused: location 1 to 255, length 1 to 8");
        return;
    }
    queueRead({location, length, false, false, &VelonixPowerMeterDevice::answerRegister, "register"});
}

// ---- Writes ----

void VelonixPowerMeterDevice::setAutozero(int flags)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setAutozero");
    mBitAutozero = true;
    mBitTorqueDirection = mBitCadenceDirection = mBitPedalBalance = false;
    mBitValue = flags;
    mBitStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setTorqueDirection(bool direction)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setTorqueDirection");
    mBitTorqueDirection = true;
    mBitAutozero = mBitCadenceDirection = mBitPedalBalance = false;
    mBitValue = direction ? 1 : 0;
    mBitStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setCadenceDirection(bool direction)
{
    if (!canCommand()) {
        return;
    }
    if (!cadenceDirectionWritable()) {
        logf(Logger::WARNING,
             "VelonixPowerMeterDevice::setQueryCadenceDirection is only available for Tenvaris with "
             "firmware > 2.8 and all Solvane");
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setCadenceDirection");
    mBitCadenceDirection = true;
    mBitAutozero = mBitTorqueDirection = mBitPedalBalance = false;
    mBitValue = direction ? 1 : 0;
    mBitStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setPedalBalance(bool balance)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setPedalBalance");
    mBitPedalBalance = true;
    mBitAutozero = mBitTorqueDirection = mBitCadenceDirection = false;
    mBitValue = balance ? 1 : 0;
    mBitStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setDirection(bool direction)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setDirection");
    mBitAutozero = mBitTorqueDirection = mBitCadenceDirection = mBitPedalBalance = false;
    mBitValue = direction ? 1 : 0;
    mBitStep = 1;
    unlock();
}

bool VelonixPowerMeterDevice::setSlope(float slope, bool factory)
{
    if (!canCommand()) {
        return false;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setSlope");
    // The register holds slope x 65536 in three bytes.
    if (!std::isfinite(slope) || slope < 0.0f || slope >= 256.0f) {
        logf(Logger::ERROR, "VelonixPowerMeterDevice::setSlope refused: %f is outside 0 to 256", slope);
        return false;
    }
    mSlope = slope;
    mSlopeFactory = factory;
    mSlopeStep = 1;
    unlock();
    return true;
}

void VelonixPowerMeterDevice::setOffset(int offset, bool factory)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setOffset offset:%d, factory:%d", offset, factory ? 1 : 0);
    if (!inRange(offset, -32768, 32767)) {
        logf(Logger::ERROR, "VelonixPowerMeterDevice::setOffset refused: %d is outside -32768 to 32767",
             offset);
        return;
    }
    mOffset = offset;
    mOffsetFactory = factory;
    mOffsetStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setCadence(int cadence)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setCadence");
    if (!inRange(cadence, 0, 0xFF)) {
        logf(Logger::ERROR, "VelonixPowerMeterDevice::setCadence refused: %d is outside 0 to 255", cadence);
        return;
    }
    mCadence = cadence;
    mCadenceStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setMode(int mode)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setMode");
    if (!inRange(mode, 0, 0xFF)) {
        logf(Logger::ERROR, "VelonixPowerMeterDevice::setMode refused: %d is outside 0 to 255", mode);
        return;
    }
    mMode = mode;
    mModeStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setCadenceMode(int cadence, int mode)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setCadenceMode");
    if (!inRange(cadence, 0, 0xFF) || !inRange(mode, 0, 0xFF)) {
        logf(Logger::ERROR, "VelonixPowerMeterDevice::setCadenceMode refused: %d, %d are outside 0 to 255",
             cadence, mode);
        return;
    }
    mCadence = cadence;
    mMode = mode;
    mCadenceStep = 1;
    mModeStep = 1;
    unlock();
}

void VelonixPowerMeterDevice::setRegister(int location, int length, unsigned char* data)
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::setRegister location:%d, length:%d", location, length);
    // One write message carries at most 3 data bytes.
    if (!inRange(location, 0, 0xFF) || !inRange(length, 1, 3) || !data) {
        logf(
            Logger::ERROR,
            "VelonixPowerMeterDevice::setRegister refused: location 0 to 255, length 1 to 3 and data needed");
        return;
    }
    mRegisterLocation = location;
    mRegisterLength = length;
    std::memset(mRegisterData, 0, sizeof mRegisterData);
    std::memcpy(mRegisterData, data, static_cast<size_t>(length));
    mRegisterStep = 1;
    unlock();
}

// ---- Other queued commands ----

void VelonixPowerMeterDevice::doQueryBootload()
{
    if (!canCommand()) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::queryBootload");
    queueRead({0, 2, false, false, &VelonixPowerMeterDevice::answerBootloadVersion, "bootloader version"});
}

void VelonixPowerMeterDevice::startSleep()
{
    if (!mChannel || mSleepStep != 0) {
        return;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice::startSleep");
    mSleepStep = 1;
    unlock();
}

// ---- Channel events ----

void VelonixPowerMeterDevice::transmitComplete(AntChannel*)
{
    logf(Logger::DEBUG, "VelonixPowerMeterDevice:transmitComplete");
    if (mReadInFlight) {
        mReadTransmitted = true;
    }
    serveCommandItems();
    uploadTransmitComplete();
    sendNextRead();
}

void VelonixPowerMeterDevice::serveCommandItems()
{
    if (mMarker == kCommandMarker) {
        mMarker = 0;
        if (mCadenceStep != 0) {
            if (mCadenceStep == 1) {
                if (mModeStep == 1) {
                    const unsigned char values[2] = {static_cast<unsigned char>(mCadence),
                                                     static_cast<unsigned char>(mMode)};
                    sendWrite(kCadence, 2, values);
                    mModeStep = 2;
                } else {
                    const unsigned char value = static_cast<unsigned char>(mCadence);
                    sendWrite(kCadence, 1, &value);
                }
                mCadenceStep = 2;
            } else if (mCadenceStep == 2) {
                const bool withMode = mModeStep == 2;
                closeSequence(mCadenceStep);
                if (withMode) {
                    mModeStep = 3;
                }
            } else if (mCadenceStep == 3) {
                mCadenceStep = 0;
                if (mModeStep == 3) {
                    mModeStep = 0;
                    forEachPowerMeterListener([this](VelonixPowerMeterDeviceListener* listener) {
                        listener->cadenceModeChanged(this);
                    });
                } else {
                    forEachPowerMeterListener([this](VelonixPowerMeterDeviceListener* listener) {
                        listener->cadenceChanged(this);
                    });
                }
            }
        } else if (mModeStep != 0) {
            if (mModeStep == 1) {
                const unsigned char value = static_cast<unsigned char>(mMode);
                sendWrite(kMode, 1, &value);
                mModeStep = 2;
            } else if (mModeStep == 2) {
                closeSequence(mModeStep);
            } else if (mModeStep == 3) {
                mModeStep = 0;
                forEachPowerMeterListener(
                    [this](VelonixPowerMeterDeviceListener* listener) { listener->modeChanged(this); });
            }
        } else if (mSlopeStep != 0) {
            if (mSlopeStep == 1) {
                const int raw = static_cast<int>(mSlope * 65536.0f);
                const unsigned char bytes[3] = {static_cast<unsigned char>(raw >> 16),
                                                static_cast<unsigned char>(raw >> 8),
                                                static_cast<unsigned char>(raw)};
                logf(Logger::DEBUG, "VelonixPowerMeterDevice: raw slope setting bytes:%d,%d,%d", bytes[0],
                     bytes[1], bytes[2]);
                sendWrite(mSlopeFactory ? kFactorySlope : kUserSlope, 3, bytes);
                mSlopeStep = 2;
            } else if (mSlopeStep == 2) {
                closeSequence(mSlopeStep);
            } else if (mSlopeStep == 3) {
                mSlopeStep = 0;
                const bool factory = mSlopeFactory;
                forEachPowerMeterListener([this, factory](VelonixPowerMeterDeviceListener* listener) {
                    listener->slopeChanged(this, factory);
                });
            }
        } else if (mOffsetStep != 0) {
            if (mOffsetStep == 1) {
                const unsigned char bytes[2] = {static_cast<unsigned char>(mOffset),
                                                static_cast<unsigned char>(mOffset >> 8)};
                logf(Logger::ALERT, "VelonixPowerMeterDevice: offset setting bytes:%d,%d factory:%d",
                     bytes[0], bytes[1], mOffsetFactory ? 1 : 0);
                sendWrite(mOffsetFactory ? kFactoryOffset : kUserOffset, 2, bytes);
                mOffsetStep = 2;
            } else if (mOffsetStep == 2) {
                closeSequence(mOffsetStep);
            } else if (mOffsetStep == 3) {
                mOffsetStep = 0;
                const bool factory = mOffsetFactory;
                forEachPowerMeterListener([this, factory](VelonixPowerMeterDeviceListener* listener) {
                    listener->offsetChanged(this, factory);
                });
            }
        } else if (mBitStep != 0) {
            if (mBitStep == 1) {
                mBitStep = 2;
                // The setting's own read, answered by the write of its bits.
                if (mBitAutozero) {
                    queueRead({kSettings, 1, false, true, &VelonixPowerMeterDevice::answerAutozero, "autozero"});
                } else if (mBitCadenceDirection) {
                    queueRead({kSettings, 1, false, true, &VelonixPowerMeterDevice::answerCadenceDirection,
                               "cadence direction"});
                } else if (mBitTorqueDirection) {
                    queueRead({kDirection, 1, false, true, &VelonixPowerMeterDevice::answerTorqueDirection,
                               "torque direction"});
                } else if (mBitPedalBalance) {
                    queueRead({kSettings, 1, false, true, &VelonixPowerMeterDevice::answerPedalBalance,
                               "power balance"});
                } else {
                    queueRead(
                        {kDirection, 1, false, true, &VelonixPowerMeterDevice::answerDirection, "direction"});
                }
            } else if (mBitStep == 3) {
                // Cleared before the listeners hear of it, so that one of them may start the next
                // setting from its callback.
                const bool autozero = mBitAutozero;
                const bool cadenceDirection = mBitCadenceDirection;
                const bool torqueDirection = mBitTorqueDirection;
                const bool pedalBalance = mBitPedalBalance;
                mBitAutozero = mBitCadenceDirection = mBitTorqueDirection = mBitPedalBalance = false;
                mBitValue = 0;
                mBitStep = 0;
                forEachPowerMeterListener([&](VelonixPowerMeterDeviceListener* listener) {
                    if (autozero) {
                        listener->autozeroChanged(this);
                    } else if (cadenceDirection) {
                        listener->cadenceDirectionChanged(this);
                    } else if (torqueDirection) {
                        listener->torqueDirectionChanged(this);
                    } else if (pedalBalance) {
                        listener->pedalBalanceChanged(this);
                    } else {
                        listener->directionChanged(this);
                    }
                });
            }
        } else if (mRegisterStep != 0) {
            if (mRegisterStep == 1) {
                sendWrite(mRegisterLocation, mRegisterLength, mRegisterData);
                mRegisterStep = 2;
            } else if (mRegisterStep == 2) {
                closeSequence(mRegisterStep);
            } else if (mRegisterStep == 3) {
                mRegisterStep = 0;
                const int location = mRegisterLocation;
                const int length = mRegisterLength;
                forEachPowerMeterListener(
                    [this, location, length](VelonixPowerMeterDeviceListener* listener) {
                        listener->registerChanged(this, location, length);
                    });
            }
        } else if (mBootloadStep != 0) {
            if (mBootloadStep == 1) {
                unsigned char message[8] = {kCommandMarker, kBootloadSwitch, 0, 0, 0, 0, 0, 0};
                sendCommand(message);
                mBootloadStep = 2;
            }
        } else if (mBootloadQueryStep != 0) {
            if (mBootloadQueryStep == 1) {
                unsigned char message[8] = {kCommandMarker, kBootloadQuery, 0xFF, 0xDC, 0x02, 0, 0, 0};
                sendCommand(message);
                mBootloadQueryStep = 2;
            } else if (mBootloadQueryStep == 2) {
                closeSequence(mBootloadQueryStep);
            }
        } else if (mSleepStep != 0) {
            if (mSleepStep == 1) {
                unsigned char message[8] = {kCommandMarker, kSleep, 0, 0, 0, 0, 0, 0};
                sendCommand(message);
                mSleepStep = 2;
            } else if (mSleepStep == 2) {
                closeSequence(mSleepStep);
            } else if (mSleepStep == 3) {
                mSleepStep = 0;
                forEachPowerMeterListener(
                    [this](VelonixPowerMeterDeviceListener* listener) { listener->sleepStarted(this); });
            }
        }
    }
}

void VelonixPowerMeterDevice::stateChanged(AntChannel*, int oldState, int newState)
{
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: stateChanged:%d,%d", oldState, newState);
    // Unlike other sensors the meter stays when its channel loses it: the application notices the
    // silence.
    if (newState < AntChannel::STATE_OPEN || newState == AntChannel::STATE_SEARCHING) {
        if (mBootloadStep == 4) {
            logf(Logger::DEBUG, "VelonixPowerMeterDevice: ignoring other state changes");
        } else if (mBootloadStep == 2 || mBootloadStep == 3) {
            followBootloadSwitch();
        }
    } else if (newState == AntChannel::STATE_OPEN) {
        if (mCadenceStep >= 1 || mModeStep >= 1 || mSlopeStep >= 1 || mOffsetStep >= 1 ||
            mRegisterStep >= 1 || mBitStep >= 1 || mSleepStep >= 1) {
            logf(Logger::ALERT, "VelonixPowerMeterDevice: reopening: %d,%d,%d,%d,%d,%d", mCadenceStep,
                 mModeStep, mSlopeStep, mOffsetStep, mBitStep, mSleepStep);
            // As a completion, but for the command items only: an upload moves on only when its own
            // messages complete.
            serveCommandItems();
        }
        if (mBootloadStep == 4) {
            finishBootloadSwitch();
        }
    }
}

void VelonixPowerMeterDevice::update(AntChannel*, int ms)
{
    mClock += ms;
    if (mUploadState >= 1 || mClock - mReadSentTime <= kReadTimeout) {
        return;
    }
    if (mReadInFlight) {
        logf(Logger::ALERT, "Burst receive timeout, resending");
        // The unanswered read goes behind the others, so that one read the meter never answers
        // does not hold up the rest; alone, it is simply sent again.
        ReadRequest timedOut = mReads.front();
        mReads.pop_front();
        mReads.push_back(timedOut);
        mReadInFlight = false;
        sendHeadRead();
    } else {
        // A read left waiting behind a command message that never completed.
        sendNextRead();
    }
}

void VelonixPowerMeterDevice::queueRead(const ReadRequest& request)
{
    for (const ReadRequest& waiting : mReads) {
        if (waiting == request) {
            // Its answer reaches every listener: asking again adds nothing.
            return;
        }
    }
    mReads.push_back(request);
    if (!mReadInFlight) {
        sendHeadRead();
    }
}

void VelonixPowerMeterDevice::sendHeadRead()
{
    while (!mReads.empty() && !mReadInFlight) {
        const ReadRequest& head = mReads.front();
        if (head.answer == &VelonixPowerMeterDevice::answerCadenceDirection && !cadenceDirectionReadable()) {
            logf(Logger::WARNING,
                 "VelonixPowerMeterDevice::doQueryCadenceDirection is only available for Tenvaris with "
                 "firmware > 2.8 and all Solvane");
            mReads.pop_front();
            continue;
        }
        mReadInFlight = true;
        mReadTransmitted = false;
        mReadSentTime = mClock;
        if (head.answer == &VelonixPowerMeterDevice::answerBootloadVersion) {
            // Guarded like a write: the query goes out behind the unlock message.
            mBootloadQueryStep = 1;
            unlock();
        } else {
            sendRead(head.location, head.length);
        }
    }
}

void VelonixPowerMeterDevice::sendNextRead()
{
    // Not behind a command message still on its way (a setting's write sent by the last answer):
    // the next read waits for its completion.
    if (!mReadInFlight && !mReads.empty() && canCommand() &&
        (mMarker != kCommandMarker || mClock - mReadSentTime > kReadTimeout)) {
        sendHeadRead();
    }
}

bool VelonixPowerMeterDevice::handleAcknowledgedData(AntChannel* channel, unsigned char* data, int length)
{
    if (!SportDevice::handleAcknowledgedData(channel, data, length)) {
        return false;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice:handleAcknowledgedData handled by SportDevice");
    return true;
}

bool VelonixPowerMeterDevice::handleBroadcastData(AntChannel* channel, unsigned char* data, int length)
{
    if (getBootload()) {
        checkUploadCrc();
    }
    return SportDevice::handleBroadcastData(channel, data, length);
}

bool VelonixPowerMeterDevice::handleBurstData(AntChannel*, unsigned char* data, int length)
{
    if (!data || length < kPacketLength) {
        return false;
    }
    logf(Logger::DEBUG, "VelonixPowerMeterDevice:handleBurstData:%d", data[0]);
    // The bootloader-version query is on its way once its own message (step 2) has completed.
    const bool transmitted =
        mReadInFlight && (mReads.front().answer == &VelonixPowerMeterDevice::answerBootloadVersion
                              ? mBootloadQueryStep == 3
                              : mReadTransmitted);
    if (!transmitted) {
        // A reply sent twice, or one to a read that timed out: no read of ours asked for it.
        logf(Logger::WARNING, "VelonixPowerMeterDevice: reply with no read waiting dropped: %d,%d,%d", data[1],
             data[2], data[3]);
        return false;
    }
    const ReadRequest request = mReads.front();
    mReads.pop_front();
    mReadInFlight = false;
    mReadSentTime = mClock;
    const bool consumed = (this->*request.answer)(request, data);
    sendNextRead();
    return consumed;
}

bool VelonixPowerMeterDevice::answerAutozero(const ReadRequest& request, const unsigned char* data)
{
    const unsigned char first = data[1];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: autozero direction reading byte data[1]=%d", first);
    if (settingRead(request) && mBitAutozero) {
        const unsigned char byte = withBits(first, kAutozeroBits, static_cast<unsigned char>(mBitValue));
        sendWrite(kSettings, 1, &byte);
        mBitStep = 3;
        return true;
    }
    const int autozero = first & kAutozeroBits;
    forEachPowerMeterListener([this, autozero](VelonixPowerMeterDeviceListener* listener) {
        listener->autozeroReceived(this, autozero);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerSlope(const ReadRequest& request, const unsigned char* data)
{
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: raw slope reading bytes data[1,2,3]:%d,%d,%d", data[1],
         data[2], data[3]);
    if ((data[1] & data[2]) == 0xFF) {
        return false;
    }
    const float slope = static_cast<float>(data[1] << 16 | data[2] << 8 | data[3]) / 65536.0f;
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: raw slope value:%f", static_cast<double>(slope));
    const bool factory = request.factory;
    forEachPowerMeterListener([this, slope, factory](VelonixPowerMeterDeviceListener* listener) {
        listener->slopeReceived(this, slope, factory);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerOffset(const ReadRequest& request, const unsigned char* data)
{
    const bool factory = request.factory;
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: offset reading bytes data[1,2]:%d,%d factory:%d", data[1],
         data[2], factory ? 1 : 0);
    const int offset = static_cast<int16_t>(static_cast<uint16_t>(data[1] | data[2] << 8));
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: offset value:%d", offset);
    forEachPowerMeterListener([this, offset, factory](VelonixPowerMeterDeviceListener* listener) {
        listener->offsetReceived(this, offset, factory);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerCadence(const ReadRequest&, const unsigned char* data)
{
    const int cadence = data[1];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: cadence reading byte data[1]=%d", cadence);
    forEachPowerMeterListener([this, cadence](VelonixPowerMeterDeviceListener* listener) {
        listener->cadenceReceived(this, cadence);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerMode(const ReadRequest&, const unsigned char* data)
{
    const int mode = data[1];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: mode reading byte data[1]=%d", mode);
    forEachPowerMeterListener(
        [this, mode](VelonixPowerMeterDeviceListener* listener) { listener->modeReceived(this, mode); });
    return true;
}

bool VelonixPowerMeterDevice::answerCadenceMode(const ReadRequest&, const unsigned char* data)
{
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: cadence mode reading bytes data[1,2]=%d,%d", data[1], data[2]);
    const int cadence = data[1];
    const int mode = data[2];
    forEachPowerMeterListener([this, cadence, mode](VelonixPowerMeterDeviceListener* listener) {
        listener->cadenceModeReceived(this, cadence, mode);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerDirection(const ReadRequest& request, const unsigned char* data)
{
    const unsigned char first = data[1];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: direction reading byte data[1]=%d", first);
    if (settingRead(request) && !mBitAutozero && !mBitCadenceDirection && !mBitTorqueDirection &&
        !mBitPedalBalance) {
        const unsigned char byte = withBits(first, kDirectionBit, mBitValue ? kDirectionBit : 0);
        sendWrite(kDirection, 1, &byte);
        mBitStep = 3;
        return true;
    }
    const bool direction = (first & kDirectionBit) != 0;
    forEachPowerMeterListener([this, direction](VelonixPowerMeterDeviceListener* listener) {
        listener->directionReceived(this, direction);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerTorqueDirection(const ReadRequest& request, const unsigned char* data)
{
    const unsigned char first = data[1];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: torque direction reading byte data[1]=%d", first);
    // The register bit reads the other way round on every hardware but the earliest.
    const bool inverted = !isEarlyHardware();
    if (settingRead(request) && mBitTorqueDirection) {
        const bool bit = (mBitValue != 0) != inverted;
        const unsigned char byte = withBits(first, kDirectionBit, bit ? kDirectionBit : 0);
        sendWrite(kDirection, 1, &byte);
        mBitStep = 3;
        return true;
    }
    const bool direction = ((first & kDirectionBit) != 0) != inverted;
    forEachPowerMeterListener([this, direction](VelonixPowerMeterDeviceListener* listener) {
        listener->torqueDirectionReceived(this, direction);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerCadenceDirection(const ReadRequest& request, const unsigned char* data)
{
    const unsigned char first = data[1];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: cadence direction reading byte data[1]=%d", first);
    if (settingRead(request) && mBitCadenceDirection) {
        const unsigned char byte = withBits(first, kCadenceDirectionBit, mBitValue ? kCadenceDirectionBit : 0);
        sendWrite(kSettings, 1, &byte);
        mBitStep = 3;
        return true;
    }
    const bool direction = (first & kCadenceDirectionBit) != 0;
    forEachPowerMeterListener([this, direction](VelonixPowerMeterDeviceListener* listener) {
        listener->cadenceDirectionReceived(this, direction);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerPedalBalance(const ReadRequest& request, const unsigned char* data)
{
    const unsigned char first = data[1];
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: pedal balance reading byte data[1]=%d", first);
    if (settingRead(request) && mBitPedalBalance) {
        const unsigned char byte = withBits(first, kPowerBalanceBit, mBitValue ? kPowerBalanceBit : 0);
        sendWrite(kSettings, 1, &byte);
        mBitStep = 3;
        return true;
    }
    const bool balance = (first & kPowerBalanceBit) != 0;
    forEachPowerMeterListener([this, balance](VelonixPowerMeterDeviceListener* listener) {
        listener->pedalBalanceReceived(this, balance);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerRegister(const ReadRequest& request, const unsigned char* data)
{
    const int location = request.location;
    const int length = request.length;
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: register starting at:%d and reading length:%d bytes ", location,
         length);
    // Listeners get the register's bytes: those after the channel byte.
    unsigned char bytes[8];
    std::memcpy(bytes, data + 1, sizeof bytes);
    forEachPowerMeterListener([this, location, length, &bytes](VelonixPowerMeterDeviceListener* listener) {
        listener->registerReceived(this, location, length, bytes);
    });
    return true;
}

bool VelonixPowerMeterDevice::answerBootloadVersion(const ReadRequest&, const unsigned char* data)
{
    mBootloadQueryStep = 0;
    logf(Logger::DEBUG, "VelonixPowerMeterDevice: bootload reading bytes data[1,2]=%d,%d", data[1], data[2]);
    const int version = data[2] << 8 | data[1];
    forEachPowerMeterListener([this, version](VelonixPowerMeterDeviceListener* listener) {
        listener->bootloadReceived(this, version);
    });
    return true;
}

} // namespace vant::device

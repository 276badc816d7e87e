#include "support/SimulatedMeterFirmware.h"

#include "ant/device/VelonixUnlockCode.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace support {

namespace {

constexpr unsigned char kCommandPage = 0xF0;
constexpr unsigned char kRead = 0x04;
constexpr unsigned char kWrite = 0x05;
constexpr unsigned char kUnlock = 0x52;
constexpr unsigned char kSleep = 0x08;
constexpr unsigned char kBootloaderSwitch = 0x09;
constexpr unsigned char kBootloaderVersion = 0x03;

constexpr unsigned char kCalibrationPage = 0x01;
constexpr unsigned char kCalibrationRequest = 0xAA;
constexpr unsigned char kCalibrationPassed = 0xAC;
constexpr unsigned char kCalibrationFailed = 0xAF;
constexpr unsigned char kRequestPage = 0x46;
constexpr unsigned char kAutozeroStatus = 0x12;

constexpr unsigned char kErase = 0x11;
constexpr unsigned char kFinish = 0x12;
constexpr unsigned char kBootloaderPage = 0x10;

// A read is answered with at least two packets: a burst of one never reaches the host's listeners.
constexpr std::size_t kMinimumReply = 16;
constexpr std::size_t kLargestRead = 16;
constexpr std::size_t kLargestWrite = 3;

unsigned char lo(int value)
{
    return static_cast<unsigned char>(value & 0xFF);
}

unsigned char hi(int value)
{
    return static_cast<unsigned char>((value >> 8) & 0xFF);
}

} // namespace

SimulatedMeterFirmware::SimulatedMeterFirmware(SimulatedPowerMeter& meter) : mMeter(meter)
{
    std::copy(std::begin(vant::device::kVelonixUnlockCode), std::end(vant::device::kVelonixUnlockCode),
              unlockCode.begin());
    setRegisters(0x09, {0x0C, 0x80, 0x00});
    setRegisters(0x21, {0x0C, 0x00, 0x00});
    setRegisters(0x32, {lo(16), hi(16)});
    setRegisters(0x30, {lo(-20), hi(-20)});
    setRegisters(0x39, {0x01});
    setRegisters(0x1E, {0x00});
    setRegisters(0x3D, {1, 2});
    setRegisters(0x60, {'S', 1, 53, 'S', 1, 39});
    setRegisters(0x42, {'C', 2, 50, 'C', 2, 34});
    setRegisters(0x7F, {0x00});

    // An older firmware fills the application area, so that a write without an erase shows.
    mFlash.fill(0xFF);
    for (int address = APPLICATION_START; address < bootloader.startAddress; ++address) {
        mFlash[static_cast<std::size_t>(address)] = static_cast<unsigned char>((address * 7 + 3) & 0xFF);
    }
    storeCrc();
    mApplicationRadio = {meter.networkKey, meter.period, meter.frequency};
    meter.addHandler(this);
}

Bytes SimulatedMeterFirmware::registers(int location, int length) const
{
    if (location < 0 || length < 0 || location + length > REGISTER_COUNT) {
        throw std::out_of_range("no such registers");
    }
    return Bytes(mRegisters.begin() + location, mRegisters.begin() + location + length);
}

void SimulatedMeterFirmware::setRegisters(int location, const Bytes& bytes)
{
    if (location < 0 || location + static_cast<int>(bytes.size()) > REGISTER_COUNT) {
        throw std::out_of_range("no such registers");
    }
    std::copy(bytes.begin(), bytes.end(), mRegisters.begin() + location);
}

int SimulatedMeterFirmware::crc16(const unsigned char* data, std::size_t length)
{
    unsigned crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
    }
    return static_cast<int>(crc);
}

Bytes SimulatedMeterFirmware::applicationAreaAfterUpload(const Bytes& image, int bootloaderStart)
{
    constexpr int vectorsSize = 32;
    Bytes flash(FLASH_SIZE, 0xFF);
    const int crcPosition = bootloaderStart - 2;
    std::copy(image.begin() + APPLICATION_START, image.begin() + crcPosition - vectorsSize,
              flash.begin() + APPLICATION_START);
    std::copy(image.end() - vectorsSize, image.end(), flash.begin() + crcPosition - vectorsSize);
    const int crc =
        crc16(flash.data() + APPLICATION_START, static_cast<std::size_t>(crcPosition - APPLICATION_START));
    flash[static_cast<std::size_t>(crcPosition)] = static_cast<unsigned char>(crc & 0xFF);
    flash[static_cast<std::size_t>(crcPosition + 1)] = static_cast<unsigned char>(crc >> 8);
    return Bytes(flash.begin() + APPLICATION_START, flash.begin() + bootloaderStart);
}

int SimulatedMeterFirmware::flashCrc() const
{
    // Every page carries it: worked out again only after the flash or the start address changed.
    if (mCrc < 0 || mCrcStart != bootloader.startAddress) {
        const int end = std::clamp(bootloader.startAddress - 2, APPLICATION_START, FLASH_SIZE);
        mCrc = crc16(mFlash.data() + APPLICATION_START, static_cast<std::size_t>(end - APPLICATION_START));
        mCrcStart = bootloader.startAddress;
    }
    return mCrc;
}

void SimulatedMeterFirmware::storeCrc()
{
    const int crc = flashCrc();
    const auto at = static_cast<std::size_t>(bootloader.startAddress - 2);
    mFlash.at(at) = lo(crc);
    mFlash.at(at + 1) = hi(crc);
    mCrc = -1;
}

bool SimulatedMeterFirmware::inApplicationArea(int address) const
{
    return address >= APPLICATION_START && address < bootloader.startAddress && address < FLASH_SIZE;
}

void SimulatedMeterFirmware::enterBootloader()
{
    if (mMode != Mode::StartingBootloader) {
        mApplicationRadio = {mMeter.networkKey, mMeter.period, mMeter.frequency};
    }
    mMode = Mode::Bootloader;
    mDueMs = -1;
    mLocked = true;
    mPosition = APPLICATION_START;
    mMeter.networkKey.assign(8, 0);
    mMeter.period = BOOTLOADER_PERIOD;
    mMeter.frequency = BOOTLOADER_FREQUENCY;
    mMeter.setSilent(false);
}

void SimulatedMeterFirmware::startBootloader()
{
    mApplicationRadio = {mMeter.networkKey, mMeter.period, mMeter.frequency};
    mMode = Mode::StartingBootloader;
    mDueMs = mMeter.nowMs() + bootloader.appearAfterMs;
    mMeter.setSilent(true);
}

void SimulatedMeterFirmware::slotStarted(SimulatedPowerMeter& meter, std::int64_t nowMs)
{
    switch (mMode) {
    case Mode::Running:
        if (mDueMs >= 0 && nowMs >= mDueMs) {
            mMode = Mode::Asleep;
            mDueMs = -1;
            mLocked = true;
            meter.setSilent(true);
        }
        break;
    case Mode::Asleep:
        // Woken (by pedalling) when the test lets it speak again.
        if (!meter.silent()) {
            mMode = Mode::Running;
        }
        break;
    case Mode::StartingBootloader:
        if (nowMs >= mDueMs) {
            enterBootloader();
        }
        break;
    case Mode::Restarting:
        if (nowMs >= mDueMs) {
            mMode = Mode::Running;
            mDueMs = -1;
            mLocked = true;
            meter.networkKey = mApplicationRadio.networkKey;
            meter.period = mApplicationRadio.period;
            meter.frequency = mApplicationRadio.frequency;
            meter.product.softwareRevision = bootloader.softwareRevisionAfterUpdate;
            meter.setSilent(false);
        }
        break;
    case Mode::Bootloader:
        break;
    }
}

bool SimulatedMeterFirmware::acknowledgedReceived(SimulatedPowerMeter& meter, const Bytes& data)
{
    if (data.size() < 8) {
        return false;
    }
    if (mMode == Mode::Bootloader) {
        return bootloaderMessage(data);
    }
    if (mMode != Mode::Running) {
        return false;
    }
    if (data[0] == kCommandPage) {
        return command(meter, data);
    }
    return calibrationRequest(meter, data);
}

bool SimulatedMeterFirmware::guarded()
{
    if (mLocked) {
        ++mLockedWrites;
        return false;
    }
    return true;
}

void SimulatedMeterFirmware::answerRead(SimulatedPowerMeter& meter, const Bytes& bytes)
{
    Bytes reply = bytes;
    reply.resize(std::max(kMinimumReply, (reply.size() + 7) / 8 * 8), 0);
    meter.sendBurst(reply);
}

bool SimulatedMeterFirmware::command(SimulatedPowerMeter& meter, const Bytes& data)
{
    const int location = data[3];
    const std::size_t length = data[4];
    const bool inFile = data[2] == 0 && location + static_cast<int>(length) <= REGISTER_COUNT;
    switch (data[1]) {
    case kRead:
        if (!inFile || length < 1 || length > kLargestRead) {
            ++mRefused;
            break;
        }
        answerRead(meter, registers(location, static_cast<int>(length)));
        break;
    case kWrite:
        if (!inFile || length < 1 || length > kLargestWrite) {
            ++mRefused;
            break;
        }
        if (guarded()) {
            setRegisters(location, Bytes(data.begin() + 5, data.begin() + 5 + static_cast<long>(length)));
        }
        break;
    case kUnlock:
        // The code first: a meter whose code is all zeros takes the lock message as its unlock.
        if (std::equal(unlockCode.begin(), unlockCode.end(), data.begin() + 2)) {
            mLocked = false;
        } else {
            if (std::any_of(data.begin() + 2, data.begin() + 7, [](unsigned char b) { return b != 0; })) {
                ++mRefused; // a wrong code
            }
            mLocked = true;
        }
        break;
    case kSleep:
        if (guarded()) {
            mDueMs = meter.nowMs() + sleepAfterMs;
        }
        break;
    case kBootloaderSwitch:
        if (guarded()) {
            startBootloader();
        }
        break;
    case kBootloaderVersion:
        if (data[2] != 0xFF || data[3] != 0xDC || data[4] != 0x02) {
            ++mRefused;
            break;
        }
        if (guarded()) {
            answerRead(meter, {lo(bootloader.version), hi(bootloader.version)});
        }
        break;
    default:
        ++mRefused;
        break;
    }
    return true;
}

bool SimulatedMeterFirmware::calibrationRequest(SimulatedPowerMeter& meter, const Bytes& data)
{
    auto page = [&](unsigned char outcome) {
        return Bytes{kCalibrationPage,     outcome, 0xFF, 0xFF, 0xFF, 0xFF, lo(calibration.value),
                     hi(calibration.value)};
    };
    if (data[0] == kCalibrationPage && data[1] == kCalibrationRequest) {
        meter.queuePage(page(calibration.passes ? kCalibrationPassed : kCalibrationFailed));
        return true;
    }
    if (data[0] == kRequestPage && data[6] == kCalibrationPassed && data[7] == 0x01) {
        // Byte 5: bits 0-6 how many times, bit 7 acknowledged rather than broadcast.
        const int times = std::max(1, data[5] & 0x7F);
        const bool acknowledged = (data[5] & 0x80) != 0;
        // First the auto-zero status: supported (bit 0), and on (bit 1) as the autozero setting says.
        const unsigned char autozero = static_cast<unsigned char>(0x01 | ((mRegisters[0x39] & 0x01) << 1));
        const Bytes status{kCalibrationPage,      kAutozeroStatus,       autozero, 0xFF, 0xFF,
                           lo(calibration.value), hi(calibration.value), 0xFF};
        acknowledged ? meter.sendAcknowledged(status) : meter.queuePage(status);
        for (int i = 0; i < times; ++i) {
            if (acknowledged) {
                meter.sendAcknowledged(page(kCalibrationPassed));
            } else {
                meter.queuePage(page(kCalibrationPassed));
            }
        }
        return true;
    }
    return false;
}

bool SimulatedMeterFirmware::bootloaderMessage(const Bytes& data)
{
    if (data[0] == kErase) {
        if (data[4] != static_cast<unsigned char>(~data[1]) ||
            data[5] != static_cast<unsigned char>(~data[2])) {
            ++mRefused;
            return true;
        }
        const int address = data[1] | data[2] << 8;
        const int end = address + data[3] * SEGMENT_SIZE;
        for (int a = address; a < end; ++a) {
            if (inApplicationArea(a)) {
                mFlash[static_cast<std::size_t>(a)] = 0xFF;
            }
        }
        mCrc = -1;
        mPosition = address;
        return true;
    }
    if (data[0] == kFinish) {
        // The bootloader starts the application only when the stored CRC vouches for it.
        const std::size_t at = static_cast<std::size_t>(bootloader.startAddress - 2);
        const int stored = mFlash.at(at) | mFlash.at(at + 1) << 8;
        if (stored == flashCrc()) {
            mMode = Mode::Restarting;
            mDueMs = mMeter.nowMs() + bootloader.restartAfterMs;
            mMeter.setSilent(true);
        }
        return true;
    }
    return false;
}

void SimulatedMeterFirmware::programme(const Bytes& data)
{
    for (std::size_t i = 0; i < data.size(); ++i) {
        const int address = mPosition + static_cast<int>(i);
        if (inApplicationArea(address)) {
            // Programming clears bits; only an erase sets them again.
            mFlash[static_cast<std::size_t>(address)] &= data[i];
        }
    }
    mPosition += static_cast<int>(data.size());
    mCrc = -1;
}

bool SimulatedMeterFirmware::burstReceived(SimulatedPowerMeter&, const Bytes& data)
{
    if (mMode != Mode::Bootloader) {
        return false;
    }
    programme(data);
    return true;
}

bool SimulatedMeterFirmware::pageToBroadcast(SimulatedPowerMeter& meter, Bytes& page)
{
    if (mMode != Mode::Bootloader) {
        return false;
    }
    const int crc = flashCrc() ^ (bootloader.wrongCrc ? 0x5A5A : 0);
    const long reading = std::lround(std::clamp(meter.readings.battery * 640.0f / 9.0f, 0.0f, 255.0f));
    page = {kBootloaderPage,
            lo(crc),
            hi(crc),
            static_cast<unsigned char>(reading),
            hi(bootloader.startAddress),
            lo(bootloader.version),
            hi(bootloader.version),
            lo(meter.product.hardwareRevision)};
    return true;
}

} // namespace support

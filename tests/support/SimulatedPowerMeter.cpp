#include "support/SimulatedPowerMeter.h"

#include <algorithm>
#include <cmath>

namespace support {

namespace {

constexpr double kPi = 3.14159265358979;
// A common page every eighth slot, the others power and torque by turns.
constexpr int kCommonPageEvery = 8;
const unsigned char kCommonPages[] = {0x50, 0x51, 0x52, 0xF0};

unsigned char lo(unsigned value)
{
    return static_cast<unsigned char>(value & 0xFF);
}

unsigned char hi(unsigned value)
{
    return static_cast<unsigned char>((value >> 8) & 0xFF);
}

} // namespace

const Bytes SimulatedPowerMeter::ANT_PLUS_KEY = {0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45};

bool MeterCommandHandler::acknowledgedReceived(SimulatedPowerMeter&, const Bytes&)
{
    return false;
}

bool MeterCommandHandler::burstReceived(SimulatedPowerMeter&, const Bytes&)
{
    return false;
}

bool MeterCommandHandler::pageToBroadcast(SimulatedPowerMeter&, Bytes&)
{
    return false;
}

void MeterCommandHandler::slotStarted(SimulatedPowerMeter&, std::int64_t) {}

SimulatedPowerMeter::SimulatedPowerMeter(int number) : deviceNumber(number) {}

void SimulatedPowerMeter::queuePage(const Bytes& page)
{
    Bytes data = page;
    data.resize(8, 0);
    mReplies.push_back({Kind::Broadcast, data});
}

void SimulatedPowerMeter::sendAcknowledged(const Bytes& page)
{
    Bytes data = page;
    data.resize(8, 0);
    mReplies.push_back({Kind::Acknowledged, data});
}

void SimulatedPowerMeter::sendBurst(const Bytes& data)
{
    Bytes padded = data;
    padded.resize(std::max<std::size_t>(8, (data.size() + 7) / 8 * 8), 0);
    mReplies.push_back({Kind::Burst, padded});
}

void SimulatedPowerMeter::silenceAfterAcknowledged(int count)
{
    mSilenceAfter = count < 0 ? -1 : count;
    if (mSilenceAfter == 0) {
        mSilenceAfter = -1;
        mSilent = true;
        mReplies.clear();
    }
}

void SimulatedPowerMeter::addHandler(MeterCommandHandler* handler)
{
    mHandlers.push_back(handler);
}

void SimulatedPowerMeter::beginSlot(std::int64_t slotMs)
{
    mNowMs = slotMs;
    for (MeterCommandHandler* handler : mHandlers) {
        handler->slotStarted(*this, slotMs);
    }
}

SimulatedPowerMeter::Transmission SimulatedPowerMeter::nextTransmission(std::int64_t nowMs)
{
    if (!mReplies.empty()) {
        Transmission next = mReplies.front();
        mReplies.pop_front();
        return next;
    }
    for (MeterCommandHandler* handler : mHandlers) {
        Bytes page;
        if (handler->pageToBroadcast(*this, page)) {
            page.resize(8, 0);
            return {Kind::Broadcast, page};
        }
    }
    return {Kind::Broadcast, regularPage(nowMs)};
}

void SimulatedPowerMeter::receiveAcknowledged(const Bytes& data)
{
    mAcknowledged.push_back(data);
    for (MeterCommandHandler* handler : mHandlers) {
        if (handler->acknowledgedReceived(*this, data)) {
            break;
        }
    }
    if (mSilenceAfter > 0) {
        silenceAfterAcknowledged(mSilenceAfter - 1);
    }
}

void SimulatedPowerMeter::receiveBurst(const Bytes& data)
{
    mBursts.push_back(data);
    for (MeterCommandHandler* handler : mHandlers) {
        if (handler->burstReceived(*this, data)) {
            return;
        }
    }
}

Bytes SimulatedPowerMeter::regularPage(std::int64_t nowMs)
{
    const int n = mPageCount++;
    if (n % kCommonPageEvery == kCommonPageEvery - 1) {
        switch (kCommonPages[(n / kCommonPageEvery) % 4]) {
        case 0x50:
            return manufacturerPage();
        case 0x51:
            return productPage();
        case 0x52:
            return batteryPage(nowMs);
        default:
            return strainPage();
        }
    }
    return n % 2 == 0 ? powerPage() : torquePage();
}

Bytes SimulatedPowerMeter::powerPage()
{
    const unsigned power = static_cast<unsigned>(std::clamp(readings.power, 0, 0xFFFF));
    mPowerEvents = (mPowerEvents + 1) & 0xFF;
    mAccumulatedPower = (mAccumulatedPower + power) & 0xFFFF;
    const unsigned cadence = static_cast<unsigned>(std::clamp(readings.cadence, 0, 0xFE));
    return {0x10,      lo(mPowerEvents), 0xFF, lo(cadence), lo(mAccumulatedPower), hi(mAccumulatedPower),
            lo(power), hi(power)};
}

Bytes SimulatedPowerMeter::torquePage()
{
    if (readings.torque) {
        // One event a page, one second long whatever the cadence, so that the torque reads exactly.
        mTorqueEvents = (mTorqueEvents + 1) & 0xFF;
        mCrankTicks = (mCrankTicks + 1) & 0xFF;
        mCrankPeriod = std::fmod(mCrankPeriod + 2048.0, 65536.0);
        mTorque = std::fmod(mTorque + 65536.0 + *readings.torque * 32.0, 65536.0);
    } else if (readings.cadence > 0) {
        // One crank revolution per page while pedalling; a coasting crank repeats the counters.
        const double torque = std::max(readings.power, 0) * 30.0 / (kPi * readings.cadence); // N·m
        mTorqueEvents = (mTorqueEvents + 1) & 0xFF;
        mCrankTicks = (mCrankTicks + 1) & 0xFF;
        mCrankPeriod = std::fmod(mCrankPeriod + 122880.0 / readings.cadence, 65536.0);
        mTorque = std::fmod(mTorque + torque * 32.0, 65536.0);
    }
    const unsigned period = static_cast<unsigned>(std::lround(mCrankPeriod)) & 0xFFFF;
    const unsigned torque = static_cast<unsigned>(std::lround(mTorque)) & 0xFFFF;
    const unsigned cadence = static_cast<unsigned>(std::clamp(readings.cadence, 0, 0xFE));
    return {0x12,       lo(mTorqueEvents), lo(mCrankTicks), lo(cadence),
            lo(period), hi(period),        lo(torque),      hi(torque)};
}

Bytes SimulatedPowerMeter::manufacturerPage() const
{
    const unsigned id = static_cast<unsigned>(product.manufacturerId);
    const unsigned model = static_cast<unsigned>(product.model);
    return {0x50,   0xFF,   0xFF,      lo(static_cast<unsigned>(product.hardwareRevision)),
            lo(id), hi(id), lo(model), hi(model)};
}

Bytes SimulatedPowerMeter::productPage() const
{
    const std::uint32_t serial = product.serialNumber;
    return {0x51,
            0xFF,
            0xFF,
            lo(static_cast<unsigned>(product.softwareRevision)),
            static_cast<unsigned char>(serial & 0xFF),
            static_cast<unsigned char>((serial >> 8) & 0xFF),
            static_cast<unsigned char>((serial >> 16) & 0xFF),
            static_cast<unsigned char>((serial >> 24) & 0xFF)};
}

Bytes SimulatedPowerMeter::batteryPage(std::int64_t nowMs) const
{
    // Operating time in units of 2 s (bit 7 of byte 7), battery status "good" (2).
    const unsigned seconds2 = static_cast<unsigned>((nowMs / 2000) & 0xFFFFFF);
    const float volts = std::clamp(readings.battery, 0.0f, 15.99f);
    const unsigned coarse = static_cast<unsigned>(volts);
    const unsigned fraction = static_cast<unsigned>((volts - static_cast<float>(coarse)) * 256.0f);
    return {0x52,         0xFF,
            0xFF,         lo(seconds2),
            hi(seconds2), static_cast<unsigned char>((seconds2 >> 16) & 0xFF),
            lo(fraction), static_cast<unsigned char>(0x80 | (2 << 4) | (coarse & 0x0F))};
}

Bytes SimulatedPowerMeter::strainPage() const
{
    // Reed bits 0-2 travel in bits 5-7 of byte 1, bits 3-4 in place.
    const unsigned reed = static_cast<unsigned>(readings.reedBits) & 0x1F;
    const unsigned reedByte = ((reed & 0x07) << 5) | (reed & 0x18);
    const unsigned strain = static_cast<unsigned>(readings.strain) & 0xFFFFFF;
    return {0xF0, lo(reedByte), lo(strain), hi(strain), static_cast<unsigned char>((strain >> 16) & 0xFF),
            0x00, 0x00,         0x00};
}

} // namespace support

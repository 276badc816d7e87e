#pragma once

#include "ant/device/PowerMeterModel.h"
#include "support/SimulatedStick.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace support {

class SimulatedPowerMeter;

// What a meter does with data the host addresses to it: the meter's own command protocol (register
// reads and writes, calibration, the bootloader) is built as handlers. The meter offers each message
// to its handlers in the order they were added until one takes it; a handler answers through the
// meter's queuePage, sendAcknowledged and sendBurst. Not owned by the meter.
class MeterCommandHandler
{
public:
    virtual ~MeterCommandHandler() = default;
    // An acknowledged message (8 data bytes) reached the meter. True when this handler took it.
    virtual bool acknowledgedReceived(SimulatedPowerMeter& meter, const Bytes& data);
    // A whole burst reached the meter, its packets' data bytes in order. True when taken.
    virtual bool burstReceived(SimulatedPowerMeter& meter, const Bytes& data);
    // Lets a handler broadcast its own page (8 bytes) in place of the meter's regular one, as a
    // meter running its bootloader does. True when it filled `page`.
    virtual bool pageToBroadcast(SimulatedPowerMeter& meter, Bytes& page);
    // Called at the start of every slot of the meter, silent or not, before it sends anything: the
    // place for what a meter does in its own time (falling asleep, restarting). `nowMs` is the slot's
    // time on the stick's clock.
    virtual void slotStarted(SimulatedPowerMeter& meter, std::int64_t nowMs);
};

// A crank power meter in range of a simulated stick. On every slot of its period (8182/32768 s,
// about 4 Hz) it sends one message: a reply queued by a handler or a test if there is one, otherwise
// its next regular page: 0x10 and 0x12 by turns with advancing, wrapping counters, and every eighth
// slot one of 0x50, 0x51, 0x52 and the maker's strain page 0xF0 in turn. Hosted and driven by a
// SimulatedAntChip, which owns it; tests change its readings and settings between slots.
class SimulatedPowerMeter
{
public:
    // The ANT+ network key, on which the meters broadcast unless told otherwise.
    static const Bytes ANT_PLUS_KEY;

    enum class Kind
    {
        Broadcast,
        Acknowledged,
        Burst
    };

    // One message of the meter: a broadcast or acknowledged page of 8 bytes, or a burst's data.
    struct Transmission
    {
        Kind kind;
        Bytes data;
    };

    // What it measures; read at each page.
    struct Readings
    {
        int power = 200;      // W
        int cadence = 90;     // rpm; 0 stops the crank events
        float battery = 3.5f; // V
        int strain = 0;       // signed 24-bit raw reading
        int reedBits = 0;     // bit i for strain gauge i, 5 bits
        // While set, the torque (N·m, a multiple of 1/32) each page 0x12 carries, one event a page,
        // in place of the torque that power and cadence make: a weight hanging on the level arm.
        std::optional<double> torque;
    };

    // What it says of itself in pages 0x50 and 0x51.
    struct Product
    {
        int hardwareRevision = 44;
        int manufacturerId = 255;
        int model = static_cast<int>(vant::device::PowerMeterType::KV7);
        int softwareRevision = 30;
        std::uint32_t serialNumber = 123456789;
    };

    explicit SimulatedPowerMeter(int deviceNumber);

    // Channel id and radio settings; a stick finds the meter only where they match its channel.
    int deviceNumber = 0;
    int deviceType = 11;
    int transmissionType = 5;
    int period = 8182;  // in 1/32768 s
    int frequency = 57; // MHz above 2400
    Bytes networkKey = ANT_PLUS_KEY;

    Readings readings;
    Product product;

    // A silent meter keeps its slots but sends nothing in them, as one that went out of range.
    void setSilent(bool silent) { mSilent = silent; }
    bool silent() const { return mSilent; }
    // Falls silent, as a meter that goes out of range in the middle of an exchange, once `count` more
    // acknowledged messages have reached it: the last of them is still taken and acknowledged, the
    // replies queued by then are lost. 0 falls silent at once; a negative count calls it off.
    // setSilent(false) brings the meter back.
    void silenceAfterAcknowledged(int count);

    // Replies, sent one per slot in place of the regular pages, in the order queued.
    void queuePage(const Bytes& page);
    void sendAcknowledged(const Bytes& page);
    // Data of any length; sent as one burst, padded with zeros to whole packets of 8 bytes.
    void sendBurst(const Bytes& data);
    std::size_t queuedReplies() const { return mReplies.size(); }

    void addHandler(MeterCommandHandler* handler);

    // What the host addressed to the meter, in order of arrival.
    const std::vector<Bytes>& acknowledgedReceived() const { return mAcknowledged; }
    const std::vector<Bytes>& burstsReceived() const { return mBursts; }

    // Counters of the regular pages sent so far.
    int pagesSent() const { return mPageCount; }

    // The time of the meter's latest slot on the stick's clock.
    std::int64_t nowMs() const { return mNowMs; }

    // Called by the stick at the start of each slot, silent or not: the handlers' slotStarted.
    void beginSlot(std::int64_t slotMs);
    // Called by the stick at each slot it speaks in: the message of this slot. `nowMs` is the
    // stick's clock.
    Transmission nextTransmission(std::int64_t nowMs);
    // Called by the stick when a transfer from the host has reached the meter.
    void receiveAcknowledged(const Bytes& data);
    void receiveBurst(const Bytes& data);

private:
    Bytes regularPage(std::int64_t nowMs);
    Bytes powerPage();
    Bytes torquePage();
    Bytes manufacturerPage() const;
    Bytes productPage() const;
    Bytes batteryPage(std::int64_t nowMs) const;
    Bytes strainPage() const;

    bool mSilent = false;
    int mSilenceAfter = -1; // acknowledged messages still to take before falling silent; -1 for none
    std::int64_t mNowMs = 0;
    std::deque<Transmission> mReplies;
    std::vector<MeterCommandHandler*> mHandlers;
    std::vector<Bytes> mAcknowledged;
    std::vector<Bytes> mBursts;

    int mPageCount = 0;
    // Page 0x10
    unsigned mPowerEvents = 0;
    unsigned mAccumulatedPower = 0;
    // Page 0x12: kept exact and rounded at each page, so the averages do not drift.
    unsigned mTorqueEvents = 0;
    unsigned mCrankTicks = 0;
    double mCrankPeriod = 0; // 1/2048 s
    double mTorque = 0;      // 1/32 N·m
};

} // namespace support

#include "support/SimulatedMeterFirmware.h"

#include "../RecordingRadioListener.h"
#include "core/IntrusivePointer.h"
#include "support/SimulatedStickRadio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// The simulated meter's own protocol checked byte by byte, with the host played by hand: the device
// and upload tests stand on these answers, so they must be the meter's and not the device code's.
namespace support {
namespace {

using vant::ant::test::RadioEvent;
using vant::ant::test::RecordingRadioListener;
using Events = std::vector<RadioEvent>;

constexpr int kMeter = 31488;
const SimulatedMeterFirmware::UnlockCode kCode = {0x3A, 0x91, 0x07, 0xC4, 0x5E};
const Bytes kUnlock = {0xF0, 0x52, 0x3A, 0x91, 0x07, 0xC4, 0x5E, 0x00};
const Bytes kLock = {0xF0, 0x52, 0, 0, 0, 0, 0, 0};

Bytes write(int location, const Bytes& data)
{
    Bytes message = {0xF0, 0x05, 0x00, static_cast<unsigned char>(location),
                     static_cast<unsigned char>(data.size())};
    message.insert(message.end(), data.begin(), data.end());
    message.resize(8, 0);
    return message;
}

Bytes read(int location, int length)
{
    return {0xF0, 0x04, 0x00, static_cast<unsigned char>(location), static_cast<unsigned char>(length),
            0,    0,    0};
}

Bytes erase(int address, int segments)
{
    return {0x11,
            static_cast<unsigned char>(address & 0xFF),
            static_cast<unsigned char>(address >> 8),
            static_cast<unsigned char>(segments),
            static_cast<unsigned char>(~address & 0xFF),
            static_cast<unsigned char>((~address >> 8) & 0xFF),
            0,
            0};
}

// A burst as the stick hands it on: the first byte of each packet and the data bytes in order.
struct Burst
{
    std::vector<int> firstBytes;
    Bytes data;
};

Burst burstIn(const Events& events)
{
    Burst burst;
    for (const RadioEvent& e : events) {
        if (e.kind == RadioEvent::Message && e.id == 0x50) {
            burst.firstBytes.push_back(e.payload[0]);
            burst.data.insert(burst.data.end(), e.payload.begin() + 1, e.payload.end());
        }
    }
    return burst;
}

std::vector<Bytes> pagesIn(const Events& events, int id = 0x4E)
{
    std::vector<Bytes> pages;
    for (const RadioEvent& e : events) {
        if (e.kind == RadioEvent::Message && e.id == id) {
            pages.emplace_back(e.payload.begin() + 1, e.payload.begin() + 9);
        }
    }
    return pages;
}

int countEvents(const Events& events, int channel, int code)
{
    int n = 0;
    for (const RadioEvent& e : events) {
        n += e.kind == RadioEvent::Message && e.id == 0x40 && e.payload[0] == channel && e.payload[1] == 1 &&
             e.payload[2] == code;
    }
    return n;
}

class SimulatedMeterFirmwareTest : public ::testing::Test
{
protected:
    static constexpr int kBootloaderChannel = 1;

    SimulatedMeterFirmwareTest()
        : radio(new SimulatedStickRadio()), meter(radio->addMeter(kMeter)), firmware(meter)
    {
        firmware.unlockCode = kCode;
        radio->setListener(&host);
        radio->create();
        send(0x46, {1, 0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45});
        send(0x46, {0, 0, 0, 0, 0, 0, 0, 0, 0});
        open(0, 1, 8182, 57);
        after(300);
    }

    void send(int id, Bytes payload)
    {
        radio->sendMessage(id, payload.data(), static_cast<int>(payload.size()));
    }

    Events drain()
    {
        radio->setUpdateStep(0);
        while (radio->pending() > 0) {
            radio->update();
        }
        return host.take();
    }

    Events after(int ms)
    {
        radio->advance(ms);
        return drain();
    }

    // A receive channel for the meter's number on the given settings, never timing out.
    void open(int channel, int network, int period, int frequency)
    {
        const auto c = static_cast<unsigned char>(channel);
        send(0x42, {c, 0x00, static_cast<unsigned char>(network)});
        send(0x51, {c, kMeter & 0xFF, kMeter >> 8, 11, 0});
        send(0x44, {c, 255});
        send(0x43, {c, static_cast<unsigned char>(period & 0xFF), static_cast<unsigned char>(period >> 8)});
        send(0x45, {c, static_cast<unsigned char>(frequency)});
        send(0x4B, {c});
        drain();
    }

    // Closes the ANT+ channel (so that it lets go of the meter) and opens one on the bootloader's
    // settings.
    void openBootloaderChannel()
    {
        send(0x4C, {0});
        drain();
        open(kBootloaderChannel, 0, SimulatedMeterFirmware::BOOTLOADER_PERIOD,
             SimulatedMeterFirmware::BOOTLOADER_FREQUENCY);
    }

    // Sends an acknowledged message and lets time pass until the stick reports its end (event 5 or 6);
    // returns everything the stick said meanwhile.
    Events acknowledged(const Bytes& data, int channel = 0)
    {
        Bytes payload = {static_cast<unsigned char>(channel)};
        payload.insert(payload.end(), data.begin(), data.end());
        send(0x4F, payload);
        Events events;
        for (int waited = 0; waited < 3000; waited += 10) {
            const Events more = after(10);
            events.insert(events.end(), more.begin(), more.end());
            if (countEvents(more, channel, 5) + countEvents(more, channel, 6) > 0) {
                return events;
            }
        }
        ADD_FAILURE() << "no end of transfer";
        return events;
    }

    // Sends data as one burst from the host on the channel.
    Events burst(const Bytes& data, int channel)
    {
        const std::size_t packets = (data.size() + 7) / 8;
        for (std::size_t i = 0; i < packets; ++i) {
            const int sequence = i == 0 ? 0 : static_cast<int>((i - 1) % 3 + 1);
            Bytes payload = {
                static_cast<unsigned char>((i + 1 == packets ? 0x80 : 0) | sequence << 5 | channel)};
            for (std::size_t b = i * 8; b < i * 8 + 8; ++b) {
                payload.push_back(b < data.size() ? data[b] : 0);
            }
            send(0x50, payload);
        }
        return drain();
    }

    // The bootloader pages heard on its channel in the next `ms`.
    std::vector<Bytes> bootloaderPages(int ms)
    {
        std::vector<Bytes> pages;
        for (const RadioEvent& e : after(ms)) {
            if (e.kind == RadioEvent::Message && e.id == 0x4E && e.payload[0] == kBootloaderChannel) {
                pages.emplace_back(e.payload.begin() + 1, e.payload.begin() + 9);
            }
        }
        return pages;
    }

    int flashCrcByHand() const
    {
        const auto& flash = firmware.flash();
        return SimulatedMeterFirmware::crc16(
            flash.data() + 0x8000, static_cast<std::size_t>(firmware.bootloader.startAddress - 2 - 0x8000));
    }

    // A meter in its bootloader, found on the bootloader's channel.
    void inBootloader()
    {
        firmware.enterBootloader();
        openBootloaderChannel();
        ASSERT_FALSE(bootloaderPages(200).empty());
    }

    RecordingRadioListener host;
    rezezaz::core::IntrusivePointer<SimulatedStickRadio> radio;
    SimulatedPowerMeter& meter;
    SimulatedMeterFirmware firmware;
};

TEST_F(SimulatedMeterFirmwareTest, WritesTakeEffectOnlyBehindTheUnlockCodeAndLockedOnesAreCounted)
{
    struct Case
    {
        const char* name;
        std::vector<Bytes> messages;
        Bytes slope; // register 0x09 afterwards
        int lockedWrites;
        int refused;
    };
    const Bytes kept = {0x0C, 0x80, 0x00};
    const Bytes changed = {0x0D, 0x40, 0x00};
    const Case cases[] = {
        {"no unlock", {write(0x09, changed)}, kept, 1, 0},
        {"unlock, write, closing unlock", {kUnlock, write(0x09, changed), kUnlock}, changed, 0, 0},
        {"a second sequence",
         {kUnlock, write(0x09, kept), kUnlock, kUnlock, write(0x09, changed)},
         changed,
         0,
         0},
        {"locked again", {kUnlock, kLock, write(0x09, changed)}, kept, 1, 0},
        {"wrong code", {{0xF0, 0x52, 0x3A, 0x91, 0x07, 0xC4, 0x5F, 0}, write(0x09, changed)}, kept, 1, 1},
        {"wrong code after the right one",
         {kUnlock, {0xF0, 0x52, 1, 2, 3, 4, 5, 0}, write(0x09, changed)},
         kept,
         1,
         1},
        {"four bytes", {kUnlock, {0xF0, 0x05, 0x00, 0x09, 0x04, 0x0D, 0x40, 0x00}}, kept, 0, 1},
        {"past the last register", {kUnlock, write(0xFF, {1, 2})}, kept, 0, 1},
        {"high address byte", {kUnlock, {0xF0, 0x05, 0x01, 0x09, 0x03, 0x0D, 0x40, 0x00}}, kept, 0, 1},
        {"sleep, switch and version query while locked",
         {{0xF0, 0x08, 0, 0, 0, 0, 0, 0},
          {0xF0, 0x09, 0, 0, 0, 0, 0, 0},
          {0xF0, 0x03, 0xFF, 0xDC, 0x02, 0, 0, 0}},
         kept,
         3,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        firmware.lock();
        firmware.setRegisters(0x09, kept);
        const int lockedBefore = firmware.lockedWrites();
        const int refusedBefore = firmware.refusedMessages();
        for (const Bytes& message : c.messages) {
            EXPECT_EQ(countEvents(acknowledged(message), 0, 5), 1);
        }
        EXPECT_EQ(firmware.registers(0x09, 3), c.slope);
        EXPECT_EQ(firmware.lockedWrites() - lockedBefore, c.lockedWrites);
        EXPECT_EQ(firmware.refusedMessages() - refusedBefore, c.refused);
        EXPECT_FALSE(firmware.asleep());
        EXPECT_FALSE(firmware.inBootloader());
        after(1500); // any reply goes out
    }

    // Writes touch exactly the bytes named: cadence and mode together, one byte of a chainring.
    firmware.lock();
    acknowledged(kUnlock);
    acknowledged(write(0x3D, {3, 4}));
    acknowledged(write(0x61, {9}));
    EXPECT_EQ(firmware.registers(0x3C, 4), (Bytes{0, 3, 4, 0}));
    EXPECT_EQ(firmware.registers(0x60, 6), (Bytes{'S', 9, 53, 'S', 1, 39}));
}

TEST_F(SimulatedMeterFirmwareTest, ReadsAreAnsweredInTheNextSlotAsBurstsOfAtLeastTwoPackets)
{
    struct Case
    {
        const char* name;
        Bytes request;
        Bytes expected; // the first bytes of the reply; empty when none is sent
        bool unlocked;
    };
    const Case cases[] = {
        {"user slope", read(0x09, 3), {0x0C, 0x80, 0x00, 0}, false},
        {"factory slope", read(0x21, 3), {0x0C, 0x00, 0x00, 0}, false},
        {"factory offset", read(0x30, 2), {0xEC, 0xFF, 0}, false},
        {"cadence and mode", read(0x3D, 2), {1, 2, 0}, false},
        {"both chainrings", read(0x60, 6), {'S', 1, 53, 'S', 1, 39, 0}, false},
        {"eight bytes", read(0x42, 8), {'C', 2, 50, 'C', 2, 34, 0, 0}, false},
        {"bootloader version", {0xF0, 0x03, 0xFF, 0xDC, 0x02, 0, 0, 0}, {0x05, 0x01, 0}, true},
        {"nothing to read", read(0x09, 0), {}, false},
        {"past the last register", read(0xFE, 3), {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        firmware.lock();
        if (c.unlocked) {
            acknowledged(kUnlock);
        }
        const Events ack = acknowledged(c.request);
        EXPECT_EQ(burstIn(ack).data, Bytes{}) << "the reply waits for the next slot";
        const Burst reply = burstIn(after(260));
        if (c.expected.empty()) {
            EXPECT_TRUE(reply.data.empty());
            continue;
        }
        // Packets 0, 1 and 2 | last: the first one reaches the device's listeners.
        EXPECT_EQ(reply.firstBytes, (std::vector<int>{0x00, 0xA0}));
        ASSERT_EQ(reply.data.size(), 16u);
        EXPECT_EQ(Bytes(reply.data.begin(), reply.data.begin() + static_cast<long>(c.expected.size())),
                  c.expected);
        EXPECT_EQ(Bytes(reply.data.begin() + 8, reply.data.end()), Bytes(8, 0));
        EXPECT_TRUE(firmware.locked() != c.unlocked);
    }
}

TEST_F(SimulatedMeterFirmwareTest, CalibrationRequestsAreAnsweredWithTheCalibrationPage)
{
    struct Case
    {
        const char* name;
        bool passes;
        int value;
        Bytes request;
        int answerId; // 0x4E broadcast, 0x4F acknowledged
        // The calibration pages sent, in order.
        std::vector<Bytes> answers;
    };
    const Bytes zero = {0x01, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes pass = {0x46, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xAC, 0x01};
    // A request for the calibration page is answered first with the auto-zero status (supported, and
    // on as register 0x39 says), then with the page as many times as asked.
    const Case cases[] = {
        {"passed", true, 16, zero, 0x4E, {{0x01, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x00}}},
        {"failed", false, -1, zero, 0x4E, {{0x01, 0xAF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}},
        {"pass asked once",
         false,
         -300,
         pass,
         0x4E,
         {{0x01, 0x12, 0x03, 0xFF, 0xFF, 0xD4, 0xFE, 0xFF}, {0x01, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0xD4, 0xFE}}},
        {"pass asked twice, acknowledged",
         true,
         2,
         {0x46, 0xFF, 0xFF, 0xFF, 0xFF, 0x82, 0xAC, 0x01},
         0x4F,
         {{0x01, 0x12, 0x03, 0xFF, 0xFF, 0x02, 0x00, 0xFF},
          {0x01, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00},
          {0x01, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        firmware.calibration.passes = c.passes;
        firmware.calibration.value = c.value;
        acknowledged(c.request);
        std::vector<Bytes> answers;
        for (const Bytes& page : pagesIn(after(1000), c.answerId)) {
            if (page[0] == 0x01) {
                answers.push_back(page);
            }
        }
        EXPECT_EQ(answers, c.answers);
    }
    EXPECT_EQ(firmware.refusedMessages(), 0);
}

TEST_F(SimulatedMeterFirmwareTest, SleepLetsTheClosingUnlockThroughThenFallsSilentUntilWoken)
{
    acknowledged(kUnlock);
    acknowledged({0xF0, 0x08, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(countEvents(acknowledged(kUnlock), 0, 5), 1);
    EXPECT_FALSE(firmware.asleep());

    const Events silence = after(3000);
    EXPECT_TRUE(firmware.asleep());
    EXPECT_TRUE(meter.silent());
    EXPECT_GE(countEvents(silence, 0, 2), 6) << "receive failed in each missed slot";

    meter.setSilent(false);
    after(300);
    EXPECT_FALSE(firmware.asleep());
    EXPECT_TRUE(firmware.locked()) << "it woke from a restart";
}

// A meter lost in the middle of an exchange: the message that cuts it is taken and acknowledged, its
// answer and everything after it are lost, until it is back.
TEST_F(SimulatedMeterFirmwareTest, CutAfterTheKthAcknowledgedMessageTakesThatOneAndNothingMore)
{
    meter.silenceAfterAcknowledged(3);
    EXPECT_EQ(countEvents(acknowledged(kUnlock), 0, 5), 1);
    EXPECT_EQ(countEvents(acknowledged(write(0x09, {0x0D, 0x40, 0x00})), 0, 5), 1);
    EXPECT_FALSE(meter.silent());
    EXPECT_EQ(countEvents(acknowledged(read(0x60, 3)), 0, 5), 1);
    EXPECT_TRUE(meter.silent());
    EXPECT_TRUE(burstIn(after(1000)).data.empty()) << "the read's reply is lost with the meter";
    EXPECT_EQ(countEvents(acknowledged(write(0x09, {0x0C, 0x80, 0x00})), 0, 6), 1);
    EXPECT_EQ(firmware.registers(0x09, 3), (Bytes{0x0D, 0x40, 0x00}));

    // Back: it answers again, and a cut called off never comes.
    meter.silenceAfterAcknowledged(1);
    meter.silenceAfterAcknowledged(-1);
    meter.setSilent(false);
    after(1000);
    acknowledged(read(0x60, 3));
    EXPECT_EQ(burstIn(after(260)).data.size(), 16u);
    EXPECT_FALSE(meter.silent());

    // 0: silent at once.
    meter.silenceAfterAcknowledged(0);
    EXPECT_TRUE(meter.silent());
    EXPECT_EQ(countEvents(acknowledged(kUnlock), 0, 6), 1);
}

TEST_F(SimulatedMeterFirmwareTest, SwitchSilencesTheMeterThenItsBootloaderBroadcastsOnItsOwnSettings)
{
    meter.product.hardwareRevision = 44;
    meter.readings.battery = 3.0f;
    acknowledged(kUnlock);
    acknowledged({0xF0, 0x09, 0, 0, 0, 0, 0, 0});

    // Silent for the second the bootloader takes: the ANT+ channel misses it and searches again, and
    // never finds it on the ANT+ settings.
    EXPECT_EQ(pagesIn(after(950)), std::vector<Bytes>{});
    EXPECT_FALSE(firmware.inBootloader());
    const Events back = after(5000);
    EXPECT_TRUE(firmware.inBootloader());
    EXPECT_EQ(pagesIn(back), std::vector<Bytes>{});
    EXPECT_EQ(countEvents(back, 0, 8), 1);
    EXPECT_EQ(radio->chip().channelState(0), SimulatedAntChip::ChannelState::Searching);

    openBootloaderChannel();
    const std::vector<Bytes> pages = bootloaderPages(1000);
    // One page each period of 3136/32768 s.
    ASSERT_NEAR(static_cast<double>(pages.size()), 1000 * 32768.0 / 3136 / 1000, 1);
    const int crc = flashCrcByHand();
    EXPECT_EQ(pages.back(), (Bytes{0x10, static_cast<unsigned char>(crc & 0xFF),
                                   static_cast<unsigned char>(crc >> 8), 213, 0xC0, 0x05, 0x01, 44}));
}

TEST_F(SimulatedMeterFirmwareTest, CrcIsModbusOverTheApplicationAreaUpToTheStoredCrc)
{
    const unsigned char check[] = "123456789";
    EXPECT_EQ(SimulatedMeterFirmware::crc16(check, 9), 0x4B37);
    EXPECT_EQ(SimulatedMeterFirmware::crc16(check, 0), 0xFFFF);
    const unsigned char one[] = {0x01};
    EXPECT_EQ(SimulatedMeterFirmware::crc16(one, 1), 0x807E);

    // The older firmware's stored CRC vouches for it.
    const auto& flash = firmware.flash();
    EXPECT_EQ(flash[0xBFFE] | flash[0xBFFF] << 8, flashCrcByHand());
    EXPECT_NE(flash[0x8000], 0xFF);
}

TEST_F(SimulatedMeterFirmwareTest, BootloaderErasesPositionsAndProgrammesOnlyItsApplicationArea)
{
    inBootloader();
    const auto& flash = firmware.flash();
    auto pageCrc = [&] {
        const Bytes page = bootloaderPages(200).back();
        return page[1] | page[2] << 8;
    };

    // Complement bytes that do not check: nothing happens.
    for (int wrong : {4, 5}) {
        SCOPED_TRACE(wrong);
        Bytes bad = erase(0x8000, 0x20);
        bad[static_cast<std::size_t>(wrong)] ^= 0x01;
        acknowledged(bad, kBootloaderChannel);
        EXPECT_NE(flash[0x8000], 0xFF);
    }
    EXPECT_EQ(firmware.refusedMessages(), 2);

    EXPECT_EQ(erase(0x8000, 0x20), (Bytes{0x11, 0x00, 0x80, 0x20, 0xFF, 0x7F, 0, 0}));
    acknowledged(erase(0x8000, 0x20), kBootloaderChannel);
    for (int a = 0x8000; a < 0xC000; ++a) {
        ASSERT_EQ(flash[static_cast<std::size_t>(a)], 0xFF) << a;
    }
    const Bytes erased(0x4000 - 2, 0xFF);
    EXPECT_EQ(pageCrc(), SimulatedMeterFirmware::crc16(erased.data(), erased.size()));

    // A position message erases nothing; the burst lands there and the position moves past it.
    Bytes block(64);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<unsigned char>(i * 3);
    }
    acknowledged(erase(0x8040, 0), kBootloaderChannel);
    EXPECT_EQ(countEvents(burst(block, kBootloaderChannel), kBootloaderChannel, 5), 1);
    EXPECT_EQ(Bytes(flash.begin() + 0x8040, flash.begin() + 0x8080), block);
    EXPECT_EQ(flash[0x803F], 0xFF);
    EXPECT_EQ(flash[0x8080], 0xFF);
    EXPECT_EQ(firmware.writePosition(), 0x8080);
    EXPECT_EQ(pageCrc(), flashCrcByHand());
    EXPECT_NE(pageCrc(), SimulatedMeterFirmware::crc16(erased.data(), erased.size()));

    // Programming again only clears bits.
    acknowledged(erase(0x8040, 0), kBootloaderChannel);
    burst(Bytes(8, 0xF0), kBootloaderChannel);
    EXPECT_EQ(flash[0x8041], 0x03 & 0xF0);

    // The stored CRC at the top: the burst's padding would reach into the bootloader, which is kept.
    acknowledged(erase(0xBFFE, 0), kBootloaderChannel);
    burst({0x12, 0x34}, kBootloaderChannel);
    EXPECT_EQ(flash[0xBFFE], 0x12);
    EXPECT_EQ(flash[0xBFFF], 0x34);
    for (int a = 0xC000; a < 0xC008; ++a) {
        EXPECT_EQ(flash[static_cast<std::size_t>(a)], 0xFF) << a;
    }
    // Erasing from below the application area, or into the bootloader, stops at its edges.
    acknowledged(erase(0x7E00, 2), kBootloaderChannel);
    EXPECT_EQ(flash[0x8040], 0xFF);
    acknowledged(erase(0xBE00, 4), kBootloaderChannel);
    EXPECT_EQ(flash[0xBFFE], 0xFF);
}

TEST_F(SimulatedMeterFirmwareTest, FinishRestartsTheApplicationWithTheNewVersionOnlyWhenTheStoredCrcHolds)
{
    inBootloader();
    firmware.bootloader.softwareRevisionAfterUpdate = 42;

    // Erased, the stored CRC is gone: the bootloader stays.
    acknowledged(erase(0x8000, 0x20), kBootloaderChannel);
    acknowledged({0x12, 0, 0, 0, 0, 0, 0, 0}, kBootloaderChannel);
    after(3000);
    EXPECT_TRUE(firmware.inBootloader());
    EXPECT_FALSE(bootloaderPages(500).empty());

    const int crc = flashCrcByHand();
    acknowledged(erase(0xBFFE, 0), kBootloaderChannel);
    burst({static_cast<unsigned char>(crc & 0xFF), static_cast<unsigned char>(crc >> 8)}, kBootloaderChannel);
    acknowledged({0x12, 0, 0, 0, 0, 0, 0, 0}, kBootloaderChannel);
    EXPECT_FALSE(firmware.inBootloader());
    EXPECT_EQ(bootloaderPages(900), std::vector<Bytes>{}) << "silent while it restarts";

    // Back on the ANT+ settings, as the application, with the new version in page 0x51.
    send(0x4C, {kBootloaderChannel});
    open(2, 1, 8182, 57);
    std::vector<Bytes> productPages;
    for (const RadioEvent& e : after(10000)) {
        if (e.kind == RadioEvent::Message && e.id == 0x4E && e.payload[0] == 2 && e.payload[1] == 0x51) {
            productPages.emplace_back(e.payload.begin() + 1, e.payload.end());
        }
    }
    ASSERT_FALSE(productPages.empty());
    EXPECT_EQ(productPages.back()[3], 42);
    EXPECT_TRUE(firmware.locked());
}

TEST_F(SimulatedMeterFirmwareTest, FaultsOnDemand)
{
    // A bootloader that takes longer to appear.
    firmware.bootloader.appearAfterMs = 8000;
    acknowledged(kUnlock);
    acknowledged({0xF0, 0x09, 0, 0, 0, 0, 0, 0});
    openBootloaderChannel();
    EXPECT_EQ(bootloaderPages(7900), std::vector<Bytes>{});
    EXPECT_FALSE(bootloaderPages(600).empty());

    // Failed bursts never reach the flash; acknowledged messages still go through.
    radio->chip().failBursts(2);
    acknowledged(erase(0x8000, 0x20), kBootloaderChannel);
    const Bytes block(64, 0x5A);
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        acknowledged(erase(0x8000, 0), kBootloaderChannel);
        const Events events = burst(block, kBootloaderChannel);
        EXPECT_EQ(countEvents(events, kBootloaderChannel, attempt < 2 ? 6 : 5), 1);
        EXPECT_EQ(firmware.flash()[0x8000], attempt < 2 ? 0xFF : 0x5A);
    }

    // A CRC that never matches the flash.
    firmware.bootloader.wrongCrc = true;
    for (const Bytes& page : bootloaderPages(500)) {
        EXPECT_NE(page[1] | page[2] << 8, flashCrcByHand());
    }
}

} // namespace
} // namespace support

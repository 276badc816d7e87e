#include "support/SimulatedStickRadio.h"

#include "../RecordingRadioListener.h"
#include "ant/data/VelonixPowerMeterData.h"
#include "core/IntrusivePointer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

// The simulated stick checked against the ANT protocol at the message level: the host side is
// played by hand, so a wrong byte in the double shows here and not as a puzzling failure in the
// manager, channel, device or search tests that stand on it.
namespace support {
namespace {

using vant::ant::test::RadioEvent;
using vant::ant::test::RecordingRadioListener;
using Events = std::vector<RadioEvent>;

constexpr unsigned char ANT_PLUS = 1;

RadioEvent response(int channel, int id, int code)
{
    return RadioEvent::message(0x40, {static_cast<unsigned char>(channel), static_cast<unsigned char>(id),
                                      static_cast<unsigned char>(code)});
}

RadioEvent event(int channel, int code)
{
    return response(channel, 0x01, code);
}

// What a receive channel is set up with before it opens.
struct ChannelSetup
{
    int channel = 0;
    int network = ANT_PLUS;
    int device = 0;
    int type = 11;
    int transmission = 0;
    int period = 8182;
    int frequency = 57;
    int searchTimeout = 2; // 5 s
    bool extended = false;
};

class SimulatedStickRadioTest : public ::testing::Test
{
protected:
    explicit SimulatedStickRadioTest(int product = 0x1008) { restart(product); }

    // A new stick, opened, with network 1 on the ANT+ key and network 0 on the zero key, as the
    // manager loads them.
    void restart(int product = 0x1008)
    {
        radio = new SimulatedStickRadio(product);
        radio->setListener(&host);
        radio->create();
        send(0x46, {1, 0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45});
        send(0x46, {0, 0, 0, 0, 0, 0, 0, 0, 0});
        drain();
    }

    void send(int id, Bytes payload)
    {
        radio->sendMessage(id, payload.data(), static_cast<int>(payload.size()));
    }

    // Everything the stick has to say at this moment, handed on without letting time pass.
    Events drain()
    {
        radio->setUpdateStep(0);
        while (radio->pending() > 0) {
            radio->update();
        }
        radio->setUpdateStep(33);
        return host.take();
    }

    // Lets time pass, then collects what the stick said meanwhile.
    Events after(int ms)
    {
        radio->advance(ms);
        return drain();
    }

    // Assigns and configures a channel; every command must be accepted.
    void configure(const ChannelSetup& s)
    {
        const auto c = static_cast<unsigned char>(s.channel);
        send(0x42, {c, 0x00, static_cast<unsigned char>(s.network)});
        send(0x51, {c, static_cast<unsigned char>(s.device & 0xFF), static_cast<unsigned char>(s.device >> 8),
                    static_cast<unsigned char>(s.type), static_cast<unsigned char>(s.transmission)});
        send(0x44, {c, static_cast<unsigned char>(s.searchTimeout)});
        send(0x43,
             {c, static_cast<unsigned char>(s.period & 0xFF), static_cast<unsigned char>(s.period >> 8)});
        send(0x45, {c, static_cast<unsigned char>(s.frequency)});
        send(0x66, {c, static_cast<unsigned char>(s.extended ? 1 : 0)});
        // An AP1 stick knows no extended messages.
        const int extendedAnswer = radio->chip().kind() == SimulatedAntChip::Kind::AP1 ? 0x28 : 0;
        EXPECT_EQ(drain(),
                  (Events{response(c, 0x42, 0), response(c, 0x51, 0), response(c, 0x44, 0),
                          response(c, 0x43, 0), response(c, 0x45, 0), response(c, 0x66, extendedAnswer)}));
    }

    void open(const ChannelSetup& s)
    {
        configure(s);
        send(0x4B, {static_cast<unsigned char>(s.channel)});
        EXPECT_EQ(drain(), Events{response(s.channel, 0x4B, 0)});
    }

    // Opens a channel and lets it find its meter; the first broadcast is taken.
    void track(const ChannelSetup& s)
    {
        open(s);
        const Events found = after(260);
        ASSERT_FALSE(found.empty());
        ASSERT_EQ(found[0].id, 0x4E) << found[0];
    }

    // The radio tells its listener when it goes, so the listener outlives it.
    RecordingRadioListener host;
    rezezaz::core::IntrusivePointer<SimulatedStickRadio> radio;
};

std::vector<RadioEvent> withId(const Events& events, int id)
{
    std::vector<RadioEvent> matching;
    for (const RadioEvent& e : events) {
        if (e.kind == RadioEvent::Message && e.id == id) {
            matching.push_back(e);
        }
    }
    return matching;
}

TEST_F(SimulatedStickRadioTest, AnswersEachCommandWithTheResponseItsChannelStateCallsFor)
{
    struct Step
    {
        int id;
        Bytes payload;
        RadioEvent answer;
    };
    // One stick walked through them in order; each row starts where the one before left it.
    const Step steps[] = {
        {0x46, {8, 1, 2, 3, 4, 5, 6, 7, 8}, response(8, 0x46, 0x29)}, // no network 8
        {0x46, {1, 0xB9, 0xA5}, response(1, 0x46, 0x28)},             // key cut short
        {0x51, {2, 0, 0, 11, 0}, response(2, 0x51, 0x15)},            // channel not assigned
        {0x4B, {2}, response(2, 0x4B, 0x15)},
        {0x42, {2, 0x00, 1}, response(2, 0x42, 0)},
        {0x42, {2, 0x00, 1}, response(2, 0x42, 0x15)}, // assigned already
        {0x42, {8, 0x00, 1}, response(8, 0x42, 0x28)}, // no channel 8
        {0x42, {3, 0x00, 9}, response(3, 0x42, 0x29)},
        {0x51, {2, 0x39, 0x30, 11, 0}, response(2, 0x51, 0)},
        {0x44, {2, 4}, response(2, 0x44, 0)},
        {0x43, {2, 0xF6, 0x1F}, response(2, 0x43, 0)},
        {0x45, {2}, response(2, 0x45, 0x28)},
        {0x45, {2, 57}, response(2, 0x45, 0)},
        {0x66, {2, 1}, response(2, 0x66, 0)},
        {0x4C, {2}, response(2, 0x4C, 0x16)}, // not open
        {0x4D, {2, 0x51}, RadioEvent::message(0x51, {2, 0x39, 0x30, 11, 0})},
        {0x4D, {2, 0x99}, response(2, 0x4D, 0x28)},
        {0x47, {2}, response(2, 0x47, 0x28)}, // no such command
        {0x41, {2}, response(2, 0x41, 0)},
        {0x41, {2}, response(2, 0x41, 0x15)},
        {0x42, {0, 0x00, 0}, response(0, 0x42, 0)},
        {0x5B, {0}, response(0, 0x5B, 0)},
        {0x41, {0}, response(0, 0x41, 0x15)}, // open in scan mode
    };
    for (const Step& step : steps) {
        send(step.id, step.payload);
        EXPECT_EQ(drain(), Events{step.answer}) << "after message 0x" << std::hex << step.id;
    }
    EXPECT_EQ(radio->chip().channelState(0), SimulatedAntChip::ChannelState::Scanning);
    EXPECT_EQ(radio->chip().extendedMessages(), true);
    EXPECT_EQ(radio->chip().networkKey(1), SimulatedPowerMeter::ANT_PLUS_KEY);
}

TEST_F(SimulatedStickRadioTest, SearchFindsOnlyAMeterWhoseNetworkPeriodFrequencyAndIdMatch)
{
    struct Case
    {
        const char* name;
        ChannelSetup setup;
        bool found;
    };
    auto with = [](auto change) {
        ChannelSetup s;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"any device", ChannelSetup(), true},
        {"its number", with([](ChannelSetup& s) { s.device = 31488; }), true},
        {"its transmission type", with([](ChannelSetup& s) { s.transmission = 5; }), true},
        {"any type", with([](ChannelSetup& s) { s.type = 0; }), true},
        {"type with the pairing bit", with([](ChannelSetup& s) { s.type = 0x80 | 11; }), true},
        {"another number", with([](ChannelSetup& s) { s.device = 1234; }), false},
        {"another type", with([](ChannelSetup& s) { s.type = 120; }), false},
        {"another transmission type", with([](ChannelSetup& s) { s.transmission = 1; }), false},
        {"another network key", with([](ChannelSetup& s) { s.network = 0; }), false},
        {"another period", with([](ChannelSetup& s) { s.period = 8192; }), false},
        {"another frequency", with([](ChannelSetup& s) { s.frequency = 66; }), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        radio->addMeter(31488);
        open(c.setup);

        // The search time-out is 2 x 2.5 s: found within the first period, or silent until then.
        Events events = after(4990);
        if (c.found) {
            ASSERT_FALSE(events.empty());
            EXPECT_EQ(events[0].id, 0x4E);
            EXPECT_EQ(events[0].payload.size(), 9u);
            EXPECT_EQ(radio->chip().channelState(0), SimulatedAntChip::ChannelState::Tracking);
            send(0x4D, {0, 0x51});
            EXPECT_EQ(drain(), Events{RadioEvent::message(0x51, {0, 0x00, 0x7B, 11, 5})});
        } else {
            EXPECT_EQ(events, Events{});
            EXPECT_EQ(after(20), (Events{event(0, 1), event(0, 7)}));
            EXPECT_EQ(radio->chip().channelState(0), SimulatedAntChip::ChannelState::Assigned);
            EXPECT_EQ(after(10000), Events{});
        }
    }
}

TEST_F(SimulatedStickRadioTest, WildcardChannelsPairWithDifferentMetersAndTheSpareOneTimesOut)
{
    for (int number : {100, 200, 300}) {
        radio->addMeter(number);
    }
    for (int c = 0; c < 4; ++c) {
        ChannelSetup s;
        s.channel = c;
        open(s);
    }
    after(6000);
    std::set<int> tracked;
    for (int c = 0; c < 3; ++c) {
        tracked.insert(radio->chip().trackedDevice(c));
    }
    EXPECT_EQ(tracked, (std::set<int>{100, 200, 300}));
    EXPECT_EQ(radio->chip().channelState(3), SimulatedAntChip::ChannelState::Assigned);

    // The channel id of a found meter replaces the wildcards until the channel closes.
    send(0x4D, {1, 0x51});
    const Events reply = drain();
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0].payload[1] | reply[0].payload[2] << 8, radio->chip().trackedDevice(1));
    send(0x4C, {1});
    EXPECT_EQ(drain(), (Events{response(1, 0x4C, 0), event(1, 7)}));
    send(0x4D, {1, 0x51});
    EXPECT_EQ(drain(), Events{RadioEvent::message(0x51, {1, 0, 0, 11, 0})});
}

TEST_F(SimulatedStickRadioTest, ExtendedMessagesCarryTheSendersIdInScanModeAndOnlyWhenEnabled)
{
    for (int number : {0x0102, 0x0304, 0x0506}) {
        radio->addMeter(number);
    }
    ChannelSetup scan;
    scan.type = 11;
    scan.searchTimeout = 0; // scan mode never times out
    scan.extended = true;
    configure(scan);
    send(0x5B, {0});
    EXPECT_EQ(drain(), Events{response(0, 0x5B, 0)});

    const Events events = after(30000);
    std::set<int> senders;
    for (const RadioEvent& e : events) {
        ASSERT_EQ(e.id, 0x4E) << e;
        ASSERT_EQ(e.payload.size(), 14u) << e;
        EXPECT_EQ(e.payload[0], 0);
        EXPECT_EQ(e.payload[9], 0x80);
        EXPECT_EQ(e.payload[12], 11);
        EXPECT_EQ(e.payload[13], 5);
        senders.insert(e.payload[10] | e.payload[11] << 8);
    }
    EXPECT_EQ(senders, (std::set<int>{0x0102, 0x0304, 0x0506}));
    // Three meters at 32768/8182 Hz each for 30 s.
    EXPECT_NEAR(static_cast<double>(events.size()), 3 * 30 * 32768.0 / 8182, 3);

    // Turned off, the same channel gets plain broadcasts.
    send(0x66, {0, 0});
    drain();
    for (const RadioEvent& e : after(1000)) {
        EXPECT_EQ(e.payload.size(), 9u) << e;
    }
}

TEST_F(SimulatedStickRadioTest, AcknowledgedDataGoesOutInTheMetersNextSlotAndReportsItsOutcome)
{
    SimulatedPowerMeter& meter = radio->addMeter(31488);
    track(ChannelSetup());
    const Bytes calibrate = {0x01, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Bytes message = {0};
    message.insert(message.end(), calibrate.begin(), calibrate.end());

    send(0x4F, message);
    EXPECT_EQ(drain(), Events{});
    send(0x4F, message);
    EXPECT_EQ(drain(), Events{response(0, 0x4F, 0x1F)}) << "one transfer at a time";
    Events slot = after(250);
    ASSERT_EQ(slot.size(), 2u);
    EXPECT_EQ(slot[0].id, 0x4E);
    EXPECT_EQ(slot[1], event(0, 5));
    EXPECT_EQ(meter.acknowledgedReceived(), std::vector<Bytes>{calibrate});

    radio->chip().failTransfers(1);
    send(0x4F, message);
    slot = after(250);
    ASSERT_EQ(slot.size(), 2u);
    EXPECT_EQ(slot[1], event(0, 6));
    EXPECT_EQ(meter.acknowledgedReceived().size(), 1u) << "a failed transfer never reached the meter";

    // Nobody to send it to: a channel still searching fails it, a closed channel refuses it.
    ChannelSetup other;
    other.channel = 1;
    other.device = 999;
    open(other);
    message[0] = 1;
    send(0x4F, message);
    EXPECT_EQ(drain(), Events{event(1, 6)});
    send(0x4C, {1});
    drain();
    send(0x4F, message);
    EXPECT_EQ(drain(), Events{response(1, 0x4F, 0x15)});
}

TEST_F(SimulatedStickRadioTest, HostBurstIsReassembledForTheMeterOrFailsOnASequenceGap)
{
    SimulatedPowerMeter& meter = radio->addMeter(31488);
    ChannelSetup s;
    s.channel = 2;
    track(s);
    auto packet = [](int first, int fill) {
        return Bytes{static_cast<unsigned char>(first), static_cast<unsigned char>(fill), 1, 2, 3, 4, 5, 6,
                     static_cast<unsigned char>(fill)};
    };
    auto data = [](std::initializer_list<int> fills) {
        Bytes all;
        for (int fill : fills) {
            all.insert(all.end(), {static_cast<unsigned char>(fill), 1, 2, 3, 4, 5, 6,
                                   static_cast<unsigned char>(fill)});
        }
        return all;
    };

    struct Case
    {
        const char* name;
        std::vector<int> firstBytes; // sequence and channel of each packet
        int event;
        Bytes received; // empty: the meter got nothing
    };
    const Case cases[] = {
        {"one packet", {0x82}, 5, data({0})},
        {"five packets", {0x02, 0x22, 0x42, 0x62, 0xA2}, 5, data({0, 1, 2, 3, 4})},
        {"sequence 2 after 0", {0x02, 0x42, 0x62, 0xA2}, 6, {}},
        {"no first packet", {0x22, 0xC2}, 6, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = meter.burstsReceived().size();
        for (std::size_t i = 0; i < c.firstBytes.size(); ++i) {
            send(0x50, packet(c.firstBytes[i], static_cast<int>(i)));
        }
        EXPECT_EQ(drain(), Events{event(2, c.event)});
        if (c.received.empty()) {
            EXPECT_EQ(meter.burstsReceived().size(), before);
        } else {
            ASSERT_EQ(meter.burstsReceived().size(), before + 1);
            EXPECT_EQ(meter.burstsReceived().back(), c.received);
        }
    }

    radio->chip().failTransfers(1);
    send(0x50, packet(0x82, 0));
    EXPECT_EQ(drain(), Events{event(2, 6)});
}

// Answers a register read the way the meter's command protocol will: with a burst, after which
// the meter broadcasts as before.
class RegisterReader : public MeterCommandHandler
{
public:
    bool acknowledgedReceived(SimulatedPowerMeter& meter, const Bytes& data) override
    {
        if (data[0] != 0xF0 || data[1] != 0x04) {
            return false;
        }
        meter.sendBurst(Bytes{0x04, data[3], 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88});
        meter.sendAcknowledged({0xF0, 0x04, 0xAC});
        return true;
    }
};

TEST_F(SimulatedStickRadioTest, MeterRepliesGoOutAsBurstsAndAcknowledgedMessagesInItsSlots)
{
    SimulatedPowerMeter& meter = radio->addMeter(31488);
    RegisterReader reader;
    meter.addHandler(&reader);
    ChannelSetup s;
    s.channel = 1;
    track(s);

    send(0x4F, {1, 0xF0, 0x04, 0x00, 0x21, 0x03, 0, 0, 0});
    Events slot = after(250);
    ASSERT_EQ(slot.size(), 2u);
    EXPECT_EQ(slot[1], event(1, 5));

    EXPECT_EQ(after(250),
              (Events{RadioEvent::message(0x50, {0x01, 0x04, 0x21, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}),
                      RadioEvent::message(0x50, {0xA1, 0x77, 0x88, 0, 0, 0, 0, 0, 0})}));
    EXPECT_EQ(after(250), Events{RadioEvent::message(0x4F, {0x01, 0xF0, 0x04, 0xAC, 0, 0, 0, 0, 0})});
    slot = after(250);
    ASSERT_EQ(slot.size(), 1u);
    EXPECT_EQ(slot[0].id, 0x4E);

    // Anything the handlers leave is still recorded.
    send(0x4F, {1, 0x46, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xAC, 0x01});
    after(250);
    EXPECT_EQ(meter.acknowledgedReceived().back(), (Bytes{0x46, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xAC, 0x01}));
    EXPECT_EQ(meter.queuedReplies(), 0u);
}

// A meter that falls silent, on each kind of stick.
class SilentMeterTest : public SimulatedStickRadioTest, public ::testing::WithParamInterface<int>
{
protected:
    SilentMeterTest() : SimulatedStickRadioTest(GetParam()) {}
};

TEST_P(SilentMeterTest, IsMissedThenSearchedForThenGivenUp)
{
    const bool ap2 = GetParam() != 0x1004;
    SimulatedPowerMeter& meter = radio->addMeter(31488);
    track(ChannelSetup());

    meter.setSilent(true);
    Events expected(SimulatedAntChip::MISSES_BEFORE_SEARCH, event(0, 2));
    if (ap2) {
        expected.push_back(event(0, 8));
    }
    EXPECT_EQ(after(8 * 250), expected);
    EXPECT_EQ(radio->chip().channelState(0), SimulatedAntChip::ChannelState::Searching);
    // The search runs for the channel's time-out, 5 s, counted from the return to search.
    EXPECT_EQ(after(4950), Events{});
    EXPECT_EQ(after(100), (Events{event(0, 1), event(0, 7)}));

    // Back in range, the meter is found by the next search.
    meter.setSilent(false);
    send(0x4B, {0});
    drain();
    const Events found = after(250);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, 0x4E);
}

TEST_P(SilentMeterTest, ThatSpeaksAgainDuringTheSearchIsTrackedAgain)
{
    SimulatedPowerMeter& meter = radio->addMeter(31488);
    radio->addMeter(4242); // matches the wildcard too, but the channel looks for its own meter
    track(ChannelSetup());
    const int paired = radio->chip().trackedDevice(0);
    ASSERT_NE(paired, 0);
    SimulatedPowerMeter& mine = paired == 31488 ? meter : radio->chip().meter(1);

    mine.setSilent(true);
    after(9 * 250);
    mine.setSilent(false);
    const Events events = after(1000);
    EXPECT_EQ(withId(events, 0x40), Events{});
    EXPECT_EQ(withId(events, 0x4E).size(), 4u);
    EXPECT_EQ(radio->chip().trackedDevice(0), paired);
}

INSTANTIATE_TEST_SUITE_P(StickKinds, SilentMeterTest, ::testing::Values(0x1008, 0x1004),
                         [](const auto& info) { return info.param == 0x1004 ? "AP1" : "AP2"; });

TEST_F(SimulatedStickRadioTest, AnAp1StickRefusesScanModeAndExtendedMessages)
{
    restart(0x1004);
    EXPECT_EQ(radio->apVersion(), 1);
    radio->destroy();
    EXPECT_EQ(radio->apVersion(), 0) << "closed";
    radio->create();
    host.take();
    send(0x42, {0, 0x00, 1});
    send(0x66, {0, 1});
    send(0x5B, {0});
    EXPECT_EQ(drain(), (Events{response(0, 0x42, 0), response(0, 0x66, 0x28), response(0, 0x5B, 0x28)}));
}

TEST_F(SimulatedStickRadioTest, UnplugIsReportedOnceAndEndsAllTraffic)
{
    radio->addMeter(31488);
    track(ChannelSetup());
    radio->advance(1000); // broadcasts waiting to be handed on

    radio->unplug();
    radio->update();
    EXPECT_EQ(host.take(), Events{RadioEvent::down()});
    EXPECT_FALSE(radio->state());
    send(0x4C, {0});
    for (int i = 0; i < 100; ++i) {
        radio->update();
    }
    EXPECT_EQ(host.take(), Events{});
    EXPECT_FALSE(radio->create());
    EXPECT_EQ(host.take(), Events{RadioEvent::down()});
}

TEST_F(SimulatedStickRadioTest, UpdateLetsTheUpdateStepPassAndHandsOnOneMessage)
{
    radio->addMeter(31488);
    open(ChannelSetup());
    radio->advance(1000);
    // The slots at 0, 250, 500, 750 and 1000 ms.
    ASSERT_EQ(radio->pending(), 5u);
    radio->setUpdateStep(10);
    for (int i = 0; i < 5; ++i) {
        radio->update();
        EXPECT_EQ(host.take().size(), 1u);
    }
    EXPECT_EQ(radio->chip().nowMs(), 1050);
    EXPECT_EQ(radio->pending(), 0u);
}

// Reads the meter's broadcasts as a device would, with the decoders of its pages.
TEST_F(SimulatedStickRadioTest, MeterPagesDecodeToItsReadings)
{
    SimulatedPowerMeter& meter = radio->addMeter(31488);
    meter.readings.power = 250;
    meter.readings.cadence = 95;
    meter.readings.battery = 3.75f;
    meter.readings.strain = -1000;
    meter.readings.reedBits = 0x15;
    meter.product.serialNumber = 0xA1B2C3D4;
    track(ChannelSetup());

    vant::data::VelonixPowerMeterData decoder;
    std::set<int> pages;
    // 20 s: every page comes at least twice, and no counter has wrapped yet.
    for (const RadioEvent& e : after(20000)) {
        ASSERT_EQ(e.id, 0x4E) << e;
        Bytes payload = e.payload;
        pages.insert(payload[1]);
        decoder.broadcastReceived(payload.data());
    }
    EXPECT_EQ(pages, (std::set<int>{0x10, 0x12, 0x50, 0x51, 0x52, 0xF0}));

    struct IntField
    {
        int id;
        int value;
    };
    const IntField ints[] = {{2, 44},   {3, 255},  {4, 5},     {5, 30},    {6, static_cast<int>(0xA1B2C3D4)},
                             {16, 250}, {17, 250}, {24, 0x15}, {25, -1000}};
    for (const IntField& f : ints) {
        int value = 0;
        EXPECT_TRUE(decoder.getField(&value, f.id)) << "field " << f.id;
        EXPECT_EQ(value, f.value) << "field " << f.id;
    }
    struct FloatField
    {
        int id;
        double value;
        double tolerance;
    };
    const double torque = 250 * 30.0 / (3.14159265358979 * 95);
    const FloatField floats[] = {{1, 3.75, 0.004}, {15, 95, 0.1}, {18, 250, 0.5}, {20, torque, 0.05}};
    for (const FloatField& f : floats) {
        float value = 0;
        EXPECT_TRUE(decoder.getField(&value, f.id)) << "field " << f.id;
        EXPECT_NEAR(value, f.value, f.tolerance) << "field " << f.id;
    }
}

TEST_F(SimulatedStickRadioTest, MeterCountersAdvanceEveryPageAndWrap)
{
    SimulatedPowerMeter& meter = radio->addMeter(31488);
    meter.readings.power = 250;
    meter.readings.cadence = 95;
    track(ChannelSetup());

    // Per page: event count +1 (mod 256); power sum +250, crank period +122880/95 and torque sum
    // +32 x 25.13 N·m (mod 65536), the last two rounded.
    Bytes previous10, previous12;
    int wraps = 0;
    auto word = [](const Bytes& p, int at) {
        return p[static_cast<std::size_t>(at)] | p[static_cast<std::size_t>(at) + 1] << 8;
    };
    auto delta16 = [&](const Bytes& now, const Bytes& before, int at) {
        return (word(now, at) - word(before, at)) & 0xFFFF;
    };
    // 6 minutes: the 8-bit counts wrap about twice, the 16-bit sums more often.
    for (const RadioEvent& e : after(360000)) {
        const Bytes& p = e.payload;
        if (p[1] == 0x10) {
            if (!previous10.empty()) {
                EXPECT_EQ((p[2] - previous10[2]) & 0xFF, 1);
                EXPECT_EQ(delta16(p, previous10, 5), 250);
                wraps += word(p, 5) < word(previous10, 5) ? 1 : 0;
            }
            previous10 = p;
        } else if (p[1] == 0x12) {
            if (!previous12.empty()) {
                EXPECT_EQ((p[2] - previous12[2]) & 0xFF, 1);
                EXPECT_EQ((p[3] - previous12[3]) & 0xFF, 1);
                EXPECT_NEAR(delta16(p, previous12, 5), 1293.5, 1);
                EXPECT_NEAR(delta16(p, previous12, 7), 804.2, 1);
                wraps += p[2] < previous12[2] ? 1 : 0;
            }
            previous12 = p;
        }
    }
    EXPECT_GE(wraps, 4);
}

} // namespace
} // namespace support

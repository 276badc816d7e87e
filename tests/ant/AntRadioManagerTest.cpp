#include "ant/AntRadioManager.h"

#include "RecordingAntRadio.h"
#include "RecordingChannelListener.h"
#include "ant/AntChannel.h"
#include "ant/AntManagerListener.h"
#include "ant/AntRadioChannel.h"
#include "core/IntrusivePointer.h"
#include "support/LogRecorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using support::LogRecorder;
using vant::ant::AntChannel;
using vant::ant::AntManagerListener;
using vant::ant::AntRadioManager;
using vant::ant::test::RecordingAntRadio;
using vant::ant::test::RecordingChannelListener;
using vant::ant::test::SentMessage;

namespace {

using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;
using Sent = std::vector<SentMessage>;

class RecordingManagerListener : public AntManagerListener
{
public:
    void stateChanged(bool up) override { lines.push_back(up ? "up" : "down"); }
    void capabilitiesReceived(unsigned char* payload) override
    {
        lines.push_back("capabilities " + bytes(payload));
    }
    void versionReceived(unsigned char* payload) override { lines.push_back("version " + bytes(payload)); }

    static std::string bytes(const unsigned char* payload)
    {
        std::string text;
        for (int i = 0; i < 4; ++i) {
            text += (i ? " " : "") + std::to_string(payload[i]);
        }
        return text;
    }

    Lines lines;
};

// A manager on a recording radio.
class AntRadioManagerTest : public ::testing::Test
{
protected:
    explicit AntRadioManagerTest(const unsigned char* key = nullptr)
        : radio(new RecordingAntRadio()), manager(new AntRadioManager(radio.get(), key))
    {
        manager->addManagerListener(&managerListener);
    }

    // Brings the radio up and forgets what that sent.
    void up()
    {
        radio->report(true);
        radio->take();
        managerListener.lines.clear();
    }

    IntrusivePointer<RecordingAntRadio> radio;
    IntrusivePointer<AntRadioManager> manager;
    RecordingManagerListener managerListener;
};

TEST_F(AntRadioManagerTest, RadioUpLoadsTheKeysClearsChannelListenersAndStartsChannels)
{
    AntChannel* early = manager->getChannel(0, 1);
    RecordingChannelListener listener;
    early->addChannelListener(&listener);
    EXPECT_EQ(early->getState(), 0);

    radio->report(true);
    EXPECT_EQ(radio->take(), (Sent{{0x46, {1, 0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45}},
                                   {0x46, {0, 0, 0, 0, 0, 0, 0, 0, 0}}}));
    EXPECT_EQ(early->getState(), 1);
    EXPECT_EQ(managerListener.lines, Lines{"up"});

    // A channel made while the radio is up starts unassigned at once.
    EXPECT_EQ(manager->getChannel(3, 0)->getState(), 1);

    // The listener was dropped before the move and hears nothing afterwards.
    early->open();
    radio->report(0x40, {0, 0x01, 0x05});
    EXPECT_TRUE(listener.lines.empty());
    EXPECT_EQ(radio->take(), (Sent{{0x42, {0, 0, 1}}}));

    radio->report(false);
    EXPECT_EQ(early->getState(), 0);
    EXPECT_EQ(manager->getChannel(3, -1)->getState(), 0);
    EXPECT_TRUE(radio->take().empty());
    EXPECT_EQ(managerListener.lines, (Lines{"up", "down"}));

    // Every time the radio comes up the keys go out again.
    radio->report(true);
    EXPECT_EQ(radio->take().size(), 2u);
    EXPECT_EQ(early->getState(), 1);
}

class AntRadioManagerKeyTest : public AntRadioManagerTest
{
protected:
    static constexpr unsigned char key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    AntRadioManagerKeyTest() : AntRadioManagerTest(key) {}
};

TEST_F(AntRadioManagerKeyTest, GivenKeyGoesToNetworkOne)
{
    radio->report(true);
    EXPECT_EQ(radio->take(),
              (Sent{{0x46, {1, 1, 2, 3, 4, 5, 6, 7, 8}}, {0x46, {0, 0, 0, 0, 0, 0, 0, 0, 0}}}));
}

TEST_F(AntRadioManagerTest, GetChannelKeepsOrReplacesTheSlotsChannelByNetwork)
{
    up();
    EXPECT_EQ(manager->getChannel(2, -1), nullptr);
    for (int number : {-1, 4, 100}) {
        EXPECT_EQ(manager->getChannel(number, 1), nullptr) << number;
        EXPECT_EQ(manager->getChannel(number, -1), nullptr) << number;
    }

    AntChannel* first = manager->getChannel(2, 1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getNumber(), 2);
    EXPECT_EQ(manager->getChannel(2, 1), first);
    EXPECT_EQ(manager->getChannel(2, -1), first);

    // Assigned on the stick, then replaced by a channel for network 0: the old one unassigns itself.
    first->assign();
    radio->report(0x40, {2, 0x66, 0});
    EXPECT_EQ(first->getState(), 2);
    radio->take();

    AntChannel* second = manager->getChannel(2, 0);
    EXPECT_EQ(radio->take(), (Sent{{0x41, {2}}}));
    EXPECT_EQ(second->getState(), 1);
    EXPECT_EQ(manager->getChannel(2, -1), second);

    // Any value other than 1 assigns on network 0.
    manager->getChannel(1, 5)->assign();
    EXPECT_EQ(radio->take(), (Sent{{0x42, {1, 0, 0}}}));
    manager->getChannel(1, 1)->assign();
    EXPECT_EQ(radio->take(), (Sent{{0x42, {1, 0, 1}}}));
}

TEST_F(AntRadioManagerTest, RoutesMessagesByIdAndChannel)
{
    up();
    RecordingChannelListener listeners[4];
    for (int n : {0, 2, 3}) {
        manager->getChannel(n, 1)->addChannelListener(&listeners[n]);
    }
    const Bytes data = {2, 0x10, 1, 2, 3, 4, 5, 6, 7};
    Bytes extended = data;
    extended.insert(extended.end(), {0x80, 0x34, 0x12, 0x0B, 0x05});

    struct Case
    {
        const char* what;
        int id;
        Bytes payload;
        int channel; // whose listener hears it; -1: none
        Lines heard;
    };
    const Case cases[] = {
        {"broadcast", 0x4E, data, 2, {"broadcast 02 10 01 02 03 04 05 06 07"}},
        {"broadcast with extended bytes", 0x4E, extended, 2, {"extBroadcast 02 10 01 02 03 04 05 06 07"}},
        {"acknowledged", 0x4F, data, 2, {"acknowledged 02 10 01 02 03 04 05 06 07"}},
        {"acknowledged with extended bytes",
         0x4F,
         extended,
         2,
         {"extAcknowledged 02 10 01 02 03 04 05 06 07"}},
        {"burst", 0x50, data, 2, {"burst 02 10 01 02 03 04 05 06 07"}},
        {"burst with extended bytes", 0x50, extended, 2, {"extBurst 02 10 01 02 03 04 05 06 07"}},
        {"extended broadcast id", 0x5D, data, 2, {"extBroadcast 02 10 01 02 03 04 05 06 07"}},
        {"extended acknowledged id", 0x5E, data, 2, {"extAcknowledged 02 10 01 02 03 04 05 06 07"}},
        {"extended burst id", 0x5F, data, 2, {"extBurst 02 10 01 02 03 04 05 06 07"}},
        {"13 payload bytes are still plain", 0x4E, Bytes(13, 0), 0, {"broadcast 00 00 00 00 00 00 00 00 00"}},
        {"sequence bits leave the channel number", 0x50, {0x23, 9}, 3, {}},
        {"short broadcast is padded with zeros",
         0x4E,
         {3, 0x51},
         3,
         {"broadcast 03 51 00 00 00 00 00 00 00"}},
        {"empty slot", 0x4E, {1, 0x10}, -1, {}},
        {"channel number above 3", 0x4E, {5, 0x10}, -1, {}},
        {"id below the range", 0x3D, data, -1, {}},
        {"id above the range", 0x60, data, -1, {}},
        {"unhandled id in the range", 0x52, data, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        radio->report(c.id, c.payload);
        for (int n : {0, 2, 3}) {
            EXPECT_EQ(listeners[n].take(), n == c.channel ? c.heard : Lines{}) << "channel " << n;
        }
        EXPECT_TRUE(managerListener.lines.empty());
    }

    // The stick's own messages go to the manager's listeners, whatever the first byte says.
    radio->report(0x3E, {'A', 'P', '2'});
    radio->report(0x54, {8, 3, 0x0A, 0x05});
    EXPECT_EQ(managerListener.lines, (Lines{"version 65 80 50 0", "capabilities 8 3 10 5"}));

    // The channel-id reply identifies the channel's device.
    radio->report(0x51, {2, 0x00, 0x7B, 0x0B, 0x05});
    AntChannel* channel = manager->getChannel(2, -1);
    EXPECT_EQ(channel->getDeviceId(), 31488);
    EXPECT_EQ(channel->getDeviceType(), 11);
    EXPECT_EQ(channel->getTransmissionType(), 5);
}

TEST_F(AntRadioManagerTest, DropsMessagesTooShortForTheirId)
{
    up();
    RecordingChannelListener listener;
    AntChannel* channel = manager->getChannel(0, 1);
    channel->addChannelListener(&listener);
    channel->setId(2222, 11, 5);
    listener.take();

    struct Case
    {
        const char* what;
        int id;
        Bytes payload;
    };
    const Case cases[] = {
        {"channel id without payload", 0x51, {}},
        {"channel id with the channel byte only", 0x51, {0}},
        {"channel id without its transmission type", 0x51, {0, 0x57, 0x04, 0x0B}},
        {"response without its code", 0x40, {0, 0x42}},
        {"response with the channel byte only", 0x40, {0}},
        {"broadcast without payload", 0x4E, {}},
        {"version without payload", 0x3E, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogRecorder log;
        radio->report(c.id, c.payload);
        EXPECT_EQ(channel->getDeviceId(), 2222);
        EXPECT_EQ(channel->getDeviceType(), 11);
        EXPECT_TRUE(radio->take().empty());
        EXPECT_TRUE(listener.take().empty());
        EXPECT_TRUE(managerListener.lines.empty());
        char line[80];
        std::snprintf(line, sizeof line, "AntRadioManager::messageReceived dropped message 0x%02X of %d bytes",
                      c.id, static_cast<int>(c.payload.size()));
        EXPECT_TRUE(log.has("", rezezaz::core::Logger::WARNING, line));
    }

    // Long enough, the same ids are read.
    radio->report(0x51, {0, 0x57, 0x04, 0x0B, 0x05});
    EXPECT_EQ(channel->getDeviceId(), 1111);
}

TEST_F(AntRadioManagerTest, ListenersReadTwelveBytesOfAShortExtendedMessage)
{
    up();
    RecordingChannelListener listener(12);
    manager->getChannel(0, 1)->addChannelListener(&listener);
    radio->report(0x5D, {0, 1});
    EXPECT_EQ(listener.take(), Lines{"extBroadcast 00 01 00 00 00 00 00 00 00 00 00 00"});
}

TEST_F(AntRadioManagerTest, SendsABurstPacketByPacketAndReportsItsEnd)
{
    up();
    struct Case
    {
        const char* what;
        int channel;
        int length;
        std::vector<int> firstBytes;
        Lines progress;
    };
    const Case cases[] = {
        {"20 bytes on channel 1", 1, 20, {0x01, 0x21, 0xC1}, {"progress 0", "progress 40", "progress 80"}},
        {"one packet", 0, 8, {0x80}, {"progress 0"}},
        {"one short packet", 2, 3, {0x82}, {"progress 0"}},
        {"sequence wraps from 3 to 1",
         3,
         48,
         {0x03, 0x23, 0x43, 0x63, 0x23, 0xC3},
         {"progress 0", "progress 16", "progress 33", "progress 50", "progress 66", "progress 83"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingChannelListener listener;
        AntChannel* channel = manager->getChannel(c.channel, 1);
        channel->addChannelListener(&listener);
        Bytes data(static_cast<size_t>(c.length));
        for (int i = 0; i < c.length; ++i) {
            data[static_cast<size_t>(i)] = static_cast<unsigned char>(i + 1);
        }
        channel->sendBurstData(data.data(), c.length);

        const Sent sent = radio->take();
        ASSERT_EQ(sent.size(), c.firstBytes.size());
        for (size_t p = 0; p < sent.size(); ++p) {
            EXPECT_EQ(sent[p].id, 0x50);
            ASSERT_EQ(sent[p].payload.size(), 9u);
            EXPECT_EQ(sent[p].payload[0], c.firstBytes[p]) << "packet " << p;
            for (size_t b = 0; b < 8; ++b) {
                const size_t at = p * 8 + b;
                EXPECT_EQ(sent[p].payload[b + 1], at < data.size() ? data[at] : 0) << "packet " << p;
            }
        }
        EXPECT_EQ(listener.take(), c.progress);

        // The completion ends the burst; it is not a transfer of an acknowledged message.
        radio->report(0x40, {static_cast<unsigned char>(c.channel), 0x01, 0x05});
        EXPECT_EQ(listener.take(), Lines{"burstComplete"});
        radio->report(0x40, {static_cast<unsigned char>(c.channel), 0x01, 0x05});
        EXPECT_EQ(listener.take(), Lines{"transmitComplete"});
        channel->removeChannelListener(&listener);
    }
}

TEST_F(AntRadioManagerTest, FailedBurstIsReportedOnceAndNotResent)
{
    up();
    RecordingChannelListener listener;
    AntChannel* channel = manager->getChannel(1, 1);
    channel->addChannelListener(&listener);
    unsigned char data[16] = {};
    for (int code : {6, 31}) {
        SCOPED_TRACE(code);
        channel->sendBurstData(data, 16);
        radio->take();
        listener.take();
        radio->report(0x40, {1, 0x01, static_cast<unsigned char>(code)});
        radio->report(0x40, {1, 0x01, static_cast<unsigned char>(code)});
        EXPECT_EQ(listener.take(), Lines{"burstFailed"});
        EXPECT_TRUE(radio->take().empty());
    }
}

TEST_F(AntRadioManagerTest, RefusesAnEmptyBurst)
{
    up();
    RecordingChannelListener listener;
    AntChannel* channel = manager->getChannel(1, 1);
    channel->addChannelListener(&listener);
    unsigned char data[8] = {};
    for (int length : {0, -8}) {
        channel->sendBurstData(data, length);
    }
    EXPECT_TRUE(radio->take().empty());
    EXPECT_TRUE(listener.take().empty());

    // Nothing is pending: a completion is an ordinary transfer event.
    radio->report(0x40, {1, 0x01, 0x05});
    EXPECT_EQ(listener.take(), Lines{"transmitComplete"});
}

TEST_F(AntRadioManagerTest, PadsAShortBurstWithZerosNotAnEarlierBurstsBytes)
{
    up();
    AntChannel* channel = manager->getChannel(0, 1);
    Bytes longer(24, 0xEE);
    channel->sendBurstData(longer.data(), 24);
    radio->report(0x40, {0, 0x01, 0x05});
    radio->take();

    unsigned char shorter[3] = {1, 2, 3};
    channel->sendBurstData(shorter, 3);
    EXPECT_EQ(radio->take(), (Sent{{0x50, {0x80, 1, 2, 3, 0, 0, 0, 0, 0}}}));
}

TEST_F(AntRadioManagerTest, ResendsAFailedAcknowledgedMessageUntilItCompletes)
{
    up();
    RecordingChannelListener listener;
    AntChannel* channel = manager->getChannel(1, 1);
    channel->addChannelListener(&listener);
    unsigned char data[8] = {0x01, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    channel->sendAcknowledgedData(data);
    const SentMessage ack{0x4F, {1, 0x01, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    EXPECT_EQ(radio->take(), Sent{ack});

    // The caller's buffer may change meanwhile: the resend is of what was sent.
    data[1] = 0;
    for (int i = 0; i < 3; ++i) {
        radio->report(0x40, {1, 0x01, 0x06});
        EXPECT_EQ(radio->take(), Sent{ack}) << "failure " << i;
    }
    radio->report(0x40, {1, 0x01, 0x1F});
    EXPECT_EQ(radio->take(), Sent{ack});
    EXPECT_TRUE(listener.take().empty());

    radio->report(0x40, {1, 0x01, 0x05});
    EXPECT_EQ(listener.take(), Lines{"transmitComplete"});

    // Completed: a later failure report resends nothing.
    radio->report(0x40, {1, 0x01, 0x06});
    EXPECT_TRUE(radio->take().empty());
}

TEST_F(AntRadioManagerTest, DestroyClosesTheRadioAndLetsGoOfIt)
{
    up();
    AntChannel* channel = manager->getChannel(0, 1);
    manager->destroy();
    EXPECT_EQ(radio->destroys, 1);
    EXPECT_EQ(radio->listener, nullptr);
    EXPECT_FALSE(manager->state());
    EXPECT_FALSE(manager->create());

    // The channels stay; what they would send goes nowhere.
    EXPECT_EQ(manager->getChannel(0, -1), channel);
    channel->assign();
    EXPECT_TRUE(radio->take().empty());
    manager->destroy();
    EXPECT_EQ(radio->destroys, 1);
}

// Drops the manager's owners' references and destroys it when the stick goes away.
class DroppingManagerListener : public AntManagerListener
{
public:
    void stateChanged(bool up) override
    {
        if (!up && manager) {
            IntrusivePointer<AntRadioManager> last = manager;
            manager = nullptr;
            last->destroy();
        }
    }

    IntrusivePointer<AntRadioManager> manager;
};

TEST(AntRadioManagerLifetimeTest, LossReportedInsideUpdateMayDestroyTheManager)
{
    // The radio and the manager are held only by each other's users: the manager by the listener,
    // the radio by the manager.
    RecordingAntRadio* radio = new RecordingAntRadio();
    IntrusivePointer<AntRadioManager> manager(new AntRadioManager(radio, nullptr));
    DroppingManagerListener listener;
    listener.manager = manager;
    manager->addManagerListener(&listener);
    manager->create();
    manager->getChannel(0, 1)->open();
    radio->onUpdate = [radio] { radio->report(false); };

    manager->update(100);
    EXPECT_EQ(listener.manager, nullptr);
    EXPECT_EQ(manager->getChannel(0, -1)->getState(), 0);
}

// Removes another listener, or itself, when told something.
class RemovingManagerListener : public AntManagerListener
{
public:
    void stateChanged(bool) override
    {
        ++calls;
        if (manager && victim) {
            manager->removeManagerListener(victim);
        }
    }

    AntRadioManager* manager = nullptr;
    AntManagerListener* victim = nullptr;
    int calls = 0;
};

TEST_F(AntRadioManagerTest, ListenerRemovedDuringACallIsNotCalled)
{
    RemovingManagerListener first;
    RemovingManagerListener second;
    RemovingManagerListener third;
    manager->addManagerListener(&first);
    manager->addManagerListener(&first);
    manager->addManagerListener(&second);
    manager->addManagerListener(&third);
    first.manager = manager.get();
    first.victim = &second;
    third.manager = manager.get();
    third.victim = &third;

    radio->report(true);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 0);
    EXPECT_EQ(third.calls, 1);

    radio->report(false);
    EXPECT_EQ(first.calls, 2);
    EXPECT_EQ(third.calls, 1);
}

TEST_F(AntRadioManagerTest, LogfCutsLongText)
{
    LogRecorder log;
    const std::string longText(2000, 'x');
    manager->log(longText.c_str());
    manager->logf(rezezaz::core::Logger::DEBUG, "%d-%s", 7, "a");
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[0].text, std::string(1023, 'x'));
    EXPECT_EQ(log.entries[0].level, rezezaz::core::Logger::ALERT);
    EXPECT_TRUE(log.has("", rezezaz::core::Logger::DEBUG, "7-a"));
}

TEST(AntRadioManagerSimulatedTest, WithoutARadioFindsTheSimulatedMeter)
{
    LogRecorder log;
    IntrusivePointer<AntRadioManager> manager(new AntRadioManager(nullptr, nullptr));
    EXPECT_TRUE(manager->create());
    EXPECT_TRUE(manager->state());
    EXPECT_EQ(manager->version(), 1);

    RecordingChannelListener listener;
    AntChannel* channel = manager->getChannel(0, 1);
    channel->addChannelListener(&listener);
    EXPECT_TRUE(channel->open());

    // Keys, assignment, five configuration steps, opening, the first broadcast and the id request:
    // one answer per update.
    int updates = 0;
    while (channel->getState() != 3 && updates < 50) {
        manager->update(250);
        ++updates;
    }
    ASSERT_EQ(channel->getState(), 3);
    EXPECT_LT(updates, 20);
    EXPECT_EQ(channel->getDeviceId(), 31488);
    EXPECT_EQ(channel->getDeviceType(), 11);
    EXPECT_EQ(channel->getTransmissionType(), 0);
    EXPECT_EQ(listener.take(), (Lines{"state 1 2", "state 2 5", "state 5 6", "state 6 3", "searchFinished"}));
    // The stick refused extended messages, and the channel opened all the same.
    EXPECT_TRUE(log.has("", rezezaz::core::Logger::DEBUG, "ANT_RxExtMesgsEnable"));
    EXPECT_TRUE(log.has("", rezezaz::core::Logger::DEBUG, "ANT_Open"));

    // The stick's periodic broadcast now reaches the listener.
    for (int i = 0; i < 20; ++i) {
        manager->update(250);
    }
    EXPECT_EQ(listener.take(), Lines{"broadcast 00 51 00 00 00 00 00 00 00"});
}

} // namespace

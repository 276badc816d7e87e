#include "ant/AntRadioChannel.h"

#include "RecordingAntRadio.h"
#include "RecordingChannelListener.h"
#include "ant/AntRadioManager.h"
#include "core/IntrusivePointer.h"
#include "support/LogRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;
using support::LogRecorder;
using vant::ant::AntChannel;
using vant::ant::AntRadioChannel;
using vant::ant::AntRadioManager;
using vant::ant::test::RecordingAntRadio;
using vant::ant::test::RecordingChannelListener;
using vant::ant::test::SentMessage;

namespace {

using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;
using Sent = std::vector<SentMessage>;

constexpr int kAp1 = 1;

// A manager whose radio is up, and one of its channels with a recording listener.
class AntRadioChannelTest : public ::testing::Test
{
protected:
    AntRadioChannelTest() : radio(new RecordingAntRadio()), manager(new AntRadioManager(radio.get(), nullptr))
    {
        manager->create();
        radio->take();
    }

    AntRadioChannel* channel(int number)
    {
        AntRadioChannel* c = static_cast<AntRadioChannel*>(manager->getChannel(number, 1));
        c->addChannelListener(&listener);
        return c;
    }

    // The stick's response to `command` on channel `number`.
    void respond(int number, int command, int code = 0)
    {
        radio->report(0x40, {static_cast<unsigned char>(number), static_cast<unsigned char>(command),
                             static_cast<unsigned char>(code)});
    }
    void event(int number, int code) { respond(number, 0x01, code); }

    // Walks `c` through assignment, configuration and opening to searching (state 5).
    void openToSearching(AntRadioChannel* c)
    {
        c->open();
        for (int command : {0x42, 0x51, 0x44, 0x43, 0x45, 0x66, 0x4B}) {
            respond(c->getNumber(), command);
        }
        radio->take();
        listener.take();
    }

    // Then through the first broadcast and the channel-id reply to open and identified (state 3).
    void openToIdentified(AntRadioChannel* c)
    {
        openToSearching(c);
        const auto n = static_cast<unsigned char>(c->getNumber());
        radio->report(0x4E, {n, 0x10, 0, 0, 0, 0, 0, 0, 0});
        radio->report(0x51, {n, 0x00, 0x7B, 0x0B, 0x00});
        radio->take();
        listener.take();
    }

    IntrusivePointer<RecordingAntRadio> radio;
    IntrusivePointer<AntRadioManager> manager;
    RecordingChannelListener listener;
};

TEST_F(AntRadioChannelTest, SendsTheOneCommandEachStateAndTargetCallFor)
{
    struct Case
    {
        int state;
        int target;
        Sent sent;
    };
    const Case cases[] = {
        {1, 1, {}},
        {2, 1, {{0x41, {1}}}},
        {3, 1, {{0x4C, {1}}}},
        {4, 1, {{0x4C, {1}}}},
        {5, 1, {{0x4C, {1}}}},
        {6, 1, {{0x4C, {1}}}},
        {1, 2, {{0x42, {1, 0, 1}}}},
        {2, 2, {}},
        {3, 2, {{0x4C, {1}}}},
        {6, 2, {{0x4C, {1}}}},
        {1, 3, {{0x42, {1, 0, 1}}}},
        {2, 3, {{0x4B, {1}}}},
        {3, 3, {}},
        {5, 3, {}},
        {6, 3, {}},
        {1, 4, {{0x42, {1, 0, 1}}}},
        {2, 4, {{0x5B, {0}}}},
        {4, 4, {}},
        {3, 0, {}},
        {0, 1, {}},
        {0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << " target " << c.target);
        // From a state and target that differ from the case's, so the move always happens.
        AntRadioChannel* ch = channel(1);
        ch->updateState(c.state == 1 ? 2 : 1, c.target == 1 ? 2 : 1);
        radio->take();
        listener.take();

        EXPECT_TRUE(ch->updateState(c.state, c.target));
        EXPECT_EQ(radio->take(), c.sent);
        EXPECT_EQ(ch->getState(), c.state);
        EXPECT_EQ(ch->getTarget(), c.target);
        const int old = c.state == 1 ? 2 : 1;
        EXPECT_EQ(listener.take(), Lines{"state " + std::to_string(old) + " " + std::to_string(c.state)});
    }
}

TEST_F(AntRadioChannelTest, RadioDownRefusesTargetsAboveUnassigned)
{
    AntRadioChannel* ch = channel(2);
    radio->report(false);
    ch->addChannelListener(&listener);
    EXPECT_EQ(ch->getState(), 0);

    EXPECT_FALSE(ch->open());
    EXPECT_FALSE(ch->updateState(0, 2));
    EXPECT_EQ(ch->getState(), 0);
    EXPECT_EQ(ch->getTarget(), 0);
    EXPECT_TRUE(radio->take().empty());
    EXPECT_TRUE(listener.take().empty());

    // Asking for the values it already has changes nothing and succeeds.
    EXPECT_TRUE(ch->updateState(0, 0));
}

TEST_F(AntRadioChannelTest, OpeningWalksTheConfigurationOneResponseAtATime)
{
    AntRadioChannel* ch = channel(2);
    ch->setId(1234, 11, 5);
    ch->setSearchTime(16.0f);
    ch->setPeriod(8070);
    ch->setFrequency(66);

    EXPECT_TRUE(ch->open());
    EXPECT_FALSE(ch->open());
    EXPECT_EQ(radio->take(), (Sent{{0x42, {2, 0, 1}}}));

    struct Step
    {
        int respondTo;
        int code;
        Sent next;
    };
    // The stick's response code does not stop the walk, apart from 0x28.
    const Step steps[] = {
        {0x42, 0, {{0x51, {2, 0xD2, 0x04, 11, 5}}}},
        {0x51, 0x15, {{0x44, {2, 6}}}},
        {0x44, 0, {{0x43, {2, 0x86, 0x1F}}}},
        {0x43, 0, {{0x45, {2, 66}}}},
        {0x45, 0, {{0x66, {2, 0}}}},
        {0x66, 0, {{0x4B, {2}}}},
        {0x4B, 0, {}},
        // Responses to commands outside the walk change nothing.
        {0x46, 0, {}},
        {0x4C, 0, {}},
        {0x4D, 0, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "response to 0x" << std::hex << step.respondTo);
        respond(2, step.respondTo, step.code);
        EXPECT_EQ(radio->take(), step.next);
    }
    EXPECT_EQ(ch->getState(), 5);
    EXPECT_EQ(listener.take(), (Lines{"state 1 2", "state 2 5"}));
}

TEST_F(AntRadioChannelTest, SearchTimeGoesOutInUnitsOfTwoAndAHalfSeconds)
{
    const std::pair<float, int> cases[] = {{6.0f, 2},  {16.0f, 6},    {2.4f, 0},   {0.0f, 0},
                                           {-5.0f, 0}, {637.5f, 255}, {1e30f, 255}};
    for (const auto& [seconds, units] : cases) {
        SCOPED_TRACE(seconds);
        AntRadioChannel* ch = channel(0);
        ch->setSearchTime(seconds);
        EXPECT_EQ(ch->getSearchTime(), seconds);
        ch->assign();
        respond(0, 0x42);
        respond(0, 0x51);
        EXPECT_EQ(radio->take().back(), (SentMessage{0x44, {0, static_cast<unsigned char>(units)}}));
        // Reassigned from scratch for the next case.
        manager->getChannel(0, 0);
        radio->take();
    }
}

TEST_F(AntRadioChannelTest, ScanModeOpensOnChannelZeroOnly)
{
    LogRecorder log;
    AntRadioChannel* other = channel(1);
    EXPECT_FALSE(other->openScan());
    EXPECT_TRUE(log.has("", Logger::ERROR, "can't open scan mode on non 0 channel"));
    EXPECT_TRUE(radio->take().empty());

    AntRadioChannel* ch = channel(0);
    EXPECT_TRUE(ch->openScan());
    EXPECT_FALSE(ch->openScan());
    for (int command : {0x42, 0x51, 0x44, 0x43}) {
        respond(0, command);
    }
    radio->take();
    respond(0, 0x45);
    EXPECT_EQ(radio->take(), (Sent{{0x66, {0, 1}}}));
    respond(0, 0x66);
    EXPECT_EQ(radio->take(), (Sent{{0x5B, {0}}}));
    respond(0, 0x5B);
    EXPECT_EQ(ch->getState(), 4);
    EXPECT_EQ(listener.take(), (Lines{"state 1 2", "state 2 4"}));

    // Extended broadcasts of every meter in range reach the listeners.
    radio->report(0x4E, {0, 0x10, 1, 2, 3, 4, 5, 6, 7, 0x80, 0x34, 0x12, 0x0B, 0x05});
    EXPECT_EQ(listener.take(), Lines{"extBroadcast 00 10 01 02 03 04 05 06 07"});
}

TEST_F(AntRadioChannelTest, InvalidMessageResponseWhileOpening)
{
    struct Case
    {
        const char* what;
        bool scan;
        int refused;
        Sent sent;
        Lines heard;
        int state;
        int target;
    };
    const Case cases[] = {
        {"extended messages refused: opens anyway", false, 0x66, {{0x4B, {0}}}, {"state 1 2"}, 2, 3},
        {"scan mode refused: gives up", true, 0x5B, {}, {"invalid 91"}, 2, 2},
        {"open refused: gives up", false, 0x4B, {}, {"invalid 75"}, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AntRadioChannel* ch = channel(0);
        c.scan ? ch->openScan() : ch->open();
        for (int command : {0x42, 0x51, 0x44, 0x43, 0x45}) {
            respond(0, command);
        }
        if (c.refused != 0x66) {
            respond(0, 0x66);
        }
        radio->take();
        listener.take();

        respond(0, c.refused, 0x28);
        EXPECT_EQ(radio->take(), c.sent);
        EXPECT_EQ(listener.take(), c.heard);
        EXPECT_EQ(ch->getState(), c.state);
        EXPECT_EQ(ch->getTarget(), c.target);
        manager->getChannel(0, 0);
        radio->take();
    }

    // With a target other than open or scan the response is ignored.
    AntRadioChannel* ch = channel(3);
    ch->assign();
    radio->take();
    listener.take();
    respond(3, 0x42, 0x28);
    EXPECT_TRUE(radio->take().empty());
    EXPECT_TRUE(listener.take().empty());
    EXPECT_EQ(ch->getTarget(), 2);
}

TEST_F(AntRadioChannelTest, IdentifiesTheDeviceBeforePassingItsBroadcastsOn)
{
    AntRadioChannel* ch = channel(1);
    openToSearching(ch);

    // The first broadcast asks who sent it and goes nowhere.
    radio->report(0x4E, {1, 0x10, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(ch->getState(), 6);
    EXPECT_EQ(radio->take(), (Sent{{0x4D, {1, 0x51}}}));
    EXPECT_EQ(listener.take(), Lines{"state 5 6"});

    radio->report(0x51, {1, 0x00, 0x7B, 0x0B, 0x00});
    EXPECT_EQ(ch->getState(), 3);
    EXPECT_EQ(ch->getTarget(), 3);
    EXPECT_EQ(ch->getDeviceId(), 31488);
    EXPECT_EQ(listener.take(), (Lines{"state 6 3", "searchFinished"}));

    radio->report(0x4E, {1, 0x12, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(listener.take(), Lines{"broadcast 01 12 01 02 03 04 05 06 07"});
    EXPECT_TRUE(radio->take().empty());

    // A channel id set by the user while not identifying finishes nothing.
    ch->setId(5, 11, 0);
    EXPECT_TRUE(listener.take().empty());
}

TEST_F(AntRadioChannelTest, FollowsTheSticksEvents)
{
    struct Case
    {
        const char* what;
        int event;
        Sent sent;
        Lines heard;
        int state;
        int target;
    };
    const Case cases[] = {
        {"search time-out", 1, {}, {"state 3 2", "searchTimeout"}, 2, 2},
        {"closed while meant to be open: opens again", 7, {{0x4B, {1}}}, {"state 3 2"}, 2, 3},
        {"back to search", 8, {}, {"state 3 5"}, 5, 3},
        {"transfer completed", 5, {}, {"transmitComplete"}, 3, 3},
        {"receive failure alone", 2, {}, {}, 3, 3},
        {"unknown event", 0x30, {}, {}, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AntRadioChannel* ch = channel(1);
        openToIdentified(ch);
        ASSERT_EQ(ch->getState(), 3);

        event(1, c.event);
        EXPECT_EQ(radio->take(), c.sent);
        EXPECT_EQ(listener.take(), c.heard);
        EXPECT_EQ(ch->getState(), c.state);
        EXPECT_EQ(ch->getTarget(), c.target);
        manager->getChannel(1, 0);
        radio->take();
    }
}

TEST_F(AntRadioChannelTest, ClosedAfterATimeOutOrACloseStaysClosedAndForgetsTheDevice)
{
    AntRadioChannel* ch = channel(1);
    openToIdentified(ch);
    event(1, 1);
    listener.take();
    event(1, 7);
    EXPECT_TRUE(radio->take().empty());
    EXPECT_EQ(ch->getDeviceId(), 0);
    EXPECT_EQ(ch->getDeviceType(), 0);
    // A second time-out changes no state but is still reported.
    event(1, 1);
    EXPECT_EQ(listener.take(), Lines{"searchTimeout"});

    AntRadioChannel* other = channel(2);
    openToIdentified(other);
    EXPECT_TRUE(other->close());
    EXPECT_FALSE(other->close());
    EXPECT_EQ(radio->take(), (Sent{{0x4C, {2}}}));
    event(2, 7);
    EXPECT_EQ(other->getState(), 2);
    EXPECT_TRUE(radio->take().empty());
    EXPECT_TRUE(other->unassign());
    EXPECT_EQ(radio->take(), (Sent{{0x41, {2}}}));
    respond(2, 0x41);
    EXPECT_EQ(other->getState(), 1);

    // Reopening an assigned channel opens it on the stick.
    AntRadioChannel* third = channel(3);
    third->assign();
    for (int command : {0x42, 0x51, 0x44, 0x43, 0x45, 0x66}) {
        respond(3, command);
    }
    radio->take();
    EXPECT_TRUE(third->reopen());
    EXPECT_EQ(radio->take(), (Sent{{0x4B, {3}}}));
}

TEST_F(AntRadioChannelTest, PassesOnlyTheFirstPacketOfAReceivedBurst)
{
    AntRadioChannel* ch = channel(2);
    openToIdentified(ch);
    const unsigned char firstBytes[] = {0x02, 0x22, 0x42, 0x62, 0xA2, 0x82};
    for (unsigned char first : firstBytes) {
        radio->report(0x50, {first, 1, 2, 3, 4, 5, 6, 7, 8});
        Bytes extended = {first, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 0x34, 0x12, 0x0B, 0x05};
        radio->report(0x50, extended);
    }
    EXPECT_EQ(listener.take(),
              (Lines{"burst 02 01 02 03 04 05 06 07 08", "extBurst 02 01 02 03 04 05 06 07 08"}));
}

TEST_F(AntRadioChannelTest, OnAp1SticksSilenceAfterAReceiveFailureMeansSearchingAgain)
{
    struct Case
    {
        const char* what;
        int ap;
        bool eventBetween;
        int state;
    };
    const Case cases[] = {
        {"AP1 stick, silence", kAp1, false, 5},
        {"AP1 stick, another event in between", kAp1, true, 3},
        {"AP2 stick reports it itself", 2, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogRecorder log;
        radio->ap = c.ap;
        AntRadioChannel* ch = channel(0);
        openToIdentified(ch);
        manager->update(1000);

        event(0, 2);
        manager->update(300);
        if (c.eventBetween) {
            radio->report(0x4E, {0, 0x10, 0, 0, 0, 0, 0, 0, 0});
        }
        manager->update(300);
        EXPECT_EQ(ch->getState(), c.state);
        EXPECT_EQ(log.has("", Logger::ALERT, "Simulating RX_FAIL_GO_TO_SEARCH"), c.state == 5);
        manager->getChannel(0, 0);
        radio->take();
    }
}

TEST_F(AntRadioChannelTest, TicksItsListenersOnEveryUpdate)
{
    listener.recordUpdates = true;
    channel(0);
    channel(3);
    manager->update(250);
    EXPECT_EQ(listener.take(), (Lines{"update 250", "update 250"}));
}

TEST_F(AntRadioChannelTest, ReleasedWhileTellingItsListenersIsKeptUntilItReturns)
{
    AntRadioChannel* ch = channel(1);
    openToIdentified(ch);
    // A device that holds the channel and lets it go when the channel closes, while the manager's
    // slot moves on to a new channel.
    IntrusivePointer<AntRadioChannel> held(ch);
    RecordingChannelListener second;
    ch->addChannelListener(&second);
    listener.onEvent = [&](AntChannel* c, const std::string& line) {
        if (line == "state 3 2") {
            c->removeChannelListener(&listener);
            held = nullptr;
            manager->getChannel(1, 0);
        }
    };
    event(1, 7);
    // The second listener still heard it; the old channel unassigned itself on the way out.
    EXPECT_EQ(second.take(), Lines{"state 3 2"});
    const Sent sent = radio->take();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), (SentMessage{0x41, {1}}));
}

TEST_F(AntRadioChannelTest, ListenerRemovedByAnotherDuringACallIsSkipped)
{
    AntRadioChannel* ch = channel(0);
    RecordingChannelListener second;
    ch->addChannelListener(&second);
    ch->addChannelListener(&second);
    listener.onEvent = [&](AntChannel* c, const std::string&) { c->removeChannelListener(&second); };
    radio->report(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(listener.take().size(), 1u);
    EXPECT_TRUE(second.take().empty());
}

} // namespace

#include "ant/search/SportDeviceSearch.h"

#include "../device/MeterRig.h"
#include "ant/AntChannel.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace vant::search {
namespace {

using rezezaz::core::IntrusivePointer;
using support::Bytes;
using support::SimulatedAntChip;
using vant::ant::AntChannel;
using vant::test::MeterRig;
using vant::test::SearchRecorder;

constexpr int kUnassigned = AntChannel::STATE_UNASSIGNED;

class SportDeviceSearchTest : public ::testing::Test
{
protected:
    explicit SportDeviceSearchTest(int product = 0x1008) : rig(product)
    {
        search = new SportDeviceSearch(rig.manager.get());
        search->addSportDeviceSearchListener(&listener);
    }

    ~SportDeviceSearchTest() override { search->destroy(); }

    bool finished() const { return !listener.finished.empty(); }

    // Every slot holds a channel that is unassigned, on the stick as well.
    void expectAllUnassigned()
    {
        for (int number = 0; number < 4; ++number) {
            EXPECT_EQ(rig.channelState(number), kUnassigned) << "channel " << number;
            EXPECT_EQ(rig.radio->chip().channelState(number), SimulatedAntChip::ChannelState::Unassigned)
                << "channel " << number;
        }
    }

    MeterRig rig;
    SearchRecorder listener;
    IntrusivePointer<SportDeviceSearch> search;
};

TEST_F(SportDeviceSearchTest, ScanOfSixteenSecondsFindsEveryMeterThenUnassignsTheChannels)
{
    rig.addMeterNumbers({31488, 1234, 777});
    rig.radio->clearSent();

    ASSERT_TRUE(search->search(16, 0, -1, -1, -1, -1, false));

    // Channel 0 scans for power meters on the ANT+ network, with no search time of its own.
    AntChannel* channel = rig.manager->getChannel(0, -1);
    ASSERT_NE(channel, nullptr);
    rig.run(1000);
    EXPECT_EQ(rig.sent(0x42), (std::vector<Bytes>{{0, 0, 1}}));
    EXPECT_EQ(rig.sent(0x51), (std::vector<Bytes>{{0, 0, 0, 11, 0}}));
    EXPECT_EQ(rig.sent(0x44), (std::vector<Bytes>{{0, 0}}));
    EXPECT_EQ(rig.sent(0x43), (std::vector<Bytes>{{0, 0xF6, 0x1F}}));
    EXPECT_EQ(rig.sent(0x45), (std::vector<Bytes>{{0, 57}}));
    EXPECT_EQ(rig.sent(0x66), (std::vector<Bytes>{{0, 1}}));
    EXPECT_EQ(rig.sent(0x5B).size(), 1u);
    EXPECT_EQ(channel->getState(), AntChannel::STATE_SCANNING);

    // The scan runs its whole time on the pump's clock, whatever it finds meanwhile.
    rig.run(14900);
    EXPECT_FALSE(finished());
    EXPECT_EQ(channel->getState(), AntChannel::STATE_SCANNING);
    EXPECT_EQ(listener.numbers(), (std::set<int>{31488, 1234, 777}));
    EXPECT_EQ(listener.channels(), std::set<int>{0});

    ASSERT_TRUE(rig.runUntil([&] { return finished(); }, 2000));
    EXPECT_EQ(listener.finished, std::vector<bool>{false});
    expectAllUnassigned();

    // Nothing more comes once it has ended.
    const size_t foundAtEnd = listener.found.size();
    rig.run(2000);
    EXPECT_EQ(listener.finished.size(), 1u);
    EXPECT_EQ(listener.found.size(), foundAtEnd);
}

TEST_F(SportDeviceSearchTest, StepwiseSearchGivesEachChannelAQuarterAndLeavesNoChannelBehind)
{
    rig.addMeterNumbers({4100, 4200});

    ASSERT_TRUE(search->search(16, -1, -1, -1, -1, -1, true));
    ASSERT_TRUE(rig.runUntil([&] { return finished(); }, 30000));

    // Two channels paired with a meter each; the two others searched in vain.
    EXPECT_EQ(listener.numbers(), (std::set<int>{4100, 4200}));
    EXPECT_EQ(listener.channels(), (std::set<int>{0, 1}));
    EXPECT_EQ(listener.found.size(), 2u);
    for (int number = 0; number < 4; ++number) {
        EXPECT_EQ(rig.manager->getChannel(number, -1)->getSearchTime(), 4.0f) << "channel " << number;
    }
    // 4 s in units of 2.5 s.
    for (const Bytes& timeout : rig.sent(0x44)) {
        EXPECT_EQ(timeout[1], 1);
    }
    EXPECT_EQ(rig.sent(0x4B).size(), 4u);
    EXPECT_EQ(listener.finished, std::vector<bool>{false});
    expectAllUnassigned();
}

TEST_F(SportDeviceSearchTest, ChannelFoundEarlierIsNotTakenForTheOneSearchingNow)
{
    support::SimulatedPowerMeter& meter = rig.radio->addMeter(4100);
    ASSERT_TRUE(search->search(16, 0, -1, -1, -1, -1, true));
    ASSERT_TRUE(rig.runUntil([&] { return !listener.found.empty(); }, 5000));

    // Channel 0 loses its meter and finds it again while a later channel searches: that is no find
    // of the later channel, nor the end of its search.
    meter.setSilent(true);
    rig.run(3000);
    meter.setSilent(false);
    ASSERT_TRUE(rig.runUntil([&] { return finished(); }, 30000));

    EXPECT_EQ(listener.found, (std::vector<std::pair<int, int>>{{4100, 0}}));
    EXPECT_EQ(listener.finished, std::vector<bool>{false});
    EXPECT_EQ(rig.sent(0x4B).size(), 4u);
    expectAllUnassigned();
}

TEST_F(SportDeviceSearchTest, SearchByNumberEndsOnTheFoundChannelAndLeavesItOpen)
{
    rig.addMeterNumbers({1234, 999});

    ASSERT_TRUE(search->search(6, 1234, -1, -1, -1, -1, false));
    ASSERT_TRUE(rig.runUntil([&] { return finished(); }, 10000));

    EXPECT_EQ(listener.found, (std::vector<std::pair<int, int>>{{1234, 0}}));
    EXPECT_EQ(listener.finished, std::vector<bool>{false});
    EXPECT_EQ(rig.channelState(0), AntChannel::STATE_OPEN);
    EXPECT_EQ(rig.radio->chip().trackedDevice(0), 1234);
    // Only channel 0 was used.
    for (const Bytes& assign : rig.sent(0x42)) {
        EXPECT_EQ(assign[0], 0);
    }

    // The channel is left to the device object: the search no longer follows it.
    rig.run(3000);
    EXPECT_EQ(listener.found.size(), 1u);
    EXPECT_EQ(listener.finished.size(), 1u);
    EXPECT_EQ(rig.channelState(0), AntChannel::STATE_OPEN);
}

TEST_F(SportDeviceSearchTest, SearchForAnAbsentNumberTimesOutAndUnassignsChannelZero)
{
    rig.addMeterNumbers({999});

    ASSERT_TRUE(search->search(6, 1234, -1, -1, -1, -1, false));
    ASSERT_TRUE(rig.runUntil([&] { return finished(); }, 15000));

    EXPECT_TRUE(listener.found.empty());
    EXPECT_EQ(listener.finished, std::vector<bool>{false});
    EXPECT_EQ(rig.channelState(0), kUnassigned);
    EXPECT_EQ(rig.channelState(1), -1) << "no other channel was touched";
}

// A stick that loses an answer of the channel's set-up, sends it for another channel, or never gets
// the command (a failed write), once or every time. The search never waits for ever: a step that
// goes unanswered is sent again, and a step the stick never answers ends the search as not found.
TEST(SportDeviceSearchFaults, SetUpStepsWithoutAnswerAreSentAgainAndThenEndTheSearch)
{
    enum class Fault
    {
        Lost,
        OtherChannel,
        WriteFailed
    };
    struct Case
    {
        const char* what;
        Fault fault;
    };
    const Case faults[] = {
        {"answer lost", Fault::Lost},
        {"answer for another channel", Fault::OtherChannel},
        {"write failed", Fault::WriteFailed},
    };
    // The set-up's commands; the channel-id request is answered by the channel id itself.
    const int commands[] = {0x42, 0x51, 0x44, 0x43, 0x45, 0x66, 0x4B, 0x4D};

    for (const Case& c : faults) {
        for (int command : commands) {
            for (int times : {1, 1000}) {
                SCOPED_TRACE(std::string(c.what) + " of command " + std::to_string(command) + ", " +
                             std::to_string(times) + " time(s)");
                // Declared first: the stick asks it until the rig is gone.
                int left = times;
                MeterRig rig;
                rig.addMeterNumbers({1234});
                // The stick's answer to `command`: its response, or for the request the channel id.
                auto answers = [command](const support::SimulatedStickRadio::Message& m) {
                    return command == 0x4D ? m.id == 0x51 : m.id == 0x40 && m.payload.size() > 1 &&
                                                                m.payload[1] == command;
                };
                if (c.fault == Fault::WriteFailed) {
                    rig.radio->write = [&](const support::SimulatedStickRadio::Message& m) {
                        if (m.id == command && left > 0) {
                            --left;
                            return false;
                        }
                        return true;
                    };
                } else {
                    const bool lose = c.fault == Fault::Lost;
                    rig.radio->toHost = [&, lose](support::SimulatedStickRadio::Message& m) {
                        if (!answers(m) || left <= 0) {
                            return 1;
                        }
                        --left;
                        if (lose) {
                            return 0;
                        }
                        m.payload[0] = 3;
                        return 1;
                    };
                }

                SearchRecorder listener;
                IntrusivePointer<SportDeviceSearch> search = new SportDeviceSearch(rig.manager.get());
                search->addSportDeviceSearchListener(&listener);
                ASSERT_TRUE(search->search(6, 1234, -1, -1, -1, -1, false));
                ASSERT_TRUE(rig.runUntil([&] { return !listener.finished.empty(); }, 30000));
                EXPECT_EQ(listener.finished, std::vector<bool>{false});
                if (times == 1) {
                    // Sent again, the step went through and the meter was found.
                    EXPECT_EQ(listener.found, (std::vector<std::pair<int, int>>{{1234, 0}}));
                    EXPECT_EQ(rig.channelState(0), AntChannel::STATE_OPEN);
                } else {
                    EXPECT_TRUE(listener.found.empty());
                    EXPECT_NE(rig.channelState(0), AntChannel::STATE_OPEN);
                    // The stick works again: so does the next search.
                    left = 0;
                    listener.found.clear();
                    listener.finished.clear();
                    ASSERT_TRUE(search->search(6, 1234, -1, -1, -1, -1, false));
                    ASSERT_TRUE(rig.runUntil([&] { return !listener.finished.empty(); }, 30000));
                    EXPECT_EQ(listener.found, (std::vector<std::pair<int, int>>{{1234, 0}}));
                }
                search->destroy();
                rig.radio->write = nullptr;
                rig.radio->toHost = nullptr;
            }
        }
    }
}

TEST_F(SportDeviceSearchTest, CancelEndsEverySearchOnceWithAllChannelsUnassigned)
{
    struct Case
    {
        const char* name;
        int deviceNumber;
        bool stepwise;
        int cancelAfterMs;
    };
    const Case cases[] = {
        {"scan", 0, false, 3000},
        {"scan still being set up", 0, false, 0},
        {"scan about to run out", 0, false, 15900},
        {"stepwise, on the second channel", 0, true, 5000},
        {"by number, while searching", 4321, false, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterRig caseRig;
        caseRig.addMeterNumbers({1234});
        SearchRecorder caseListener;
        IntrusivePointer<SportDeviceSearch> caseSearch = new SportDeviceSearch(caseRig.manager.get());
        caseSearch->addSportDeviceSearchListener(&caseListener);

        ASSERT_TRUE(caseSearch->search(16, c.deviceNumber, -1, -1, -1, -1, c.stepwise));
        caseRig.run(c.cancelAfterMs);
        const size_t foundBeforeCancel = caseListener.found.size();
        caseSearch->cancel();
        ASSERT_TRUE(caseRig.runUntil([&] { return !caseListener.finished.empty(); }, 5000));
        caseRig.run(20000);

        EXPECT_EQ(caseListener.finished, std::vector<bool>{true});
        EXPECT_EQ(caseListener.found.size(), foundBeforeCancel) << "reports after the cancel";
        for (int number = 0; number < 4; ++number) {
            EXPECT_EQ(caseRig.channelState(number), kUnassigned) << "channel " << number;
            EXPECT_EQ(caseRig.radio->chip().channelState(number), SimulatedAntChip::ChannelState::Unassigned)
                << "channel " << number;
        }
        caseSearch->destroy();
    }
}

TEST(SportDeviceSearchCancel, CancelAtAnyPointOfTheSetUpEndsTheSearchOnEitherKindOfStick)
{
    // Each pump tick hands on one answer of the stick, so cancelling after n ticks cancels at the
    // n-th step of the channel's set-up (assign, id, time-out, period, frequency, extended messages,
    // open), including the step an AP1 stick refuses.
    for (int product : {0x1008, 0x1004}) {
        for (bool stepwise : {false, true}) {
            for (int ticks = 0; ticks <= 16; ++ticks) {
                SCOPED_TRACE("product " + std::to_string(product) + (stepwise ? ", stepwise" : ", scan") +
                             ", cancelled after " + std::to_string(ticks) + " ticks");
                MeterRig rig(product);
                SearchRecorder listener;
                IntrusivePointer<SportDeviceSearch> search = new SportDeviceSearch(rig.manager.get());
                search->addSportDeviceSearchListener(&listener);

                ASSERT_TRUE(search->search(16, 0, -1, -1, -1, -1, stepwise));
                rig.run(ticks * MeterRig::kTick);
                search->cancel();
                ASSERT_TRUE(rig.runUntil([&] { return !listener.finished.empty(); }, 5000));
                rig.run(5000);

                EXPECT_EQ(listener.finished, std::vector<bool>{true});
                for (int number = 0; number < 4; ++number) {
                    EXPECT_LE(rig.channelState(number), kUnassigned) << "channel " << number;
                    EXPECT_EQ(rig.radio->chip().channelState(number),
                              SimulatedAntChip::ChannelState::Unassigned)
                        << "channel " << number;
                }

                // The stick is free for the next search, which finds its meter.
                rig.addMeterNumbers({2468});
                listener.finished.clear();
                ASSERT_TRUE(search->search(6, 2468, -1, -1, -1, -1, false));
                ASSERT_TRUE(rig.runUntil([&] { return !listener.finished.empty(); }, 10000));
                EXPECT_EQ(listener.finished, std::vector<bool>{false});
                EXPECT_EQ(rig.radio->chip().trackedDevice(0), 2468);
                search->destroy();
            }
        }
    }
}

TEST(SportDeviceSearchCancel, MeterOpenedFromTheCancelAtAnyPointOfTheSetUpIsOpened)
{
    // The main window's way: told that the list search was cancelled, it opens the chosen meter
    // by number from inside the callback, whatever state channel 0 was left in.
    for (int product : {0x1008, 0x1004}) {
        for (int ticks = 0; ticks <= 16; ++ticks) {
            SCOPED_TRACE("product " + std::to_string(product) + ", cancelled after " + std::to_string(ticks) +
                         " ticks");
            MeterRig rig(product);
            rig.addMeterNumbers({2468});
            SearchRecorder listener;
            IntrusivePointer<SportDeviceSearch> search = new SportDeviceSearch(rig.manager.get());
            search->addSportDeviceSearchListener(&listener);
            listener.onFinished = [&](bool cancelled) {
                if (cancelled) {
                    EXPECT_TRUE(search->search(6, 2468, -1, -1, -1, -1, false));
                }
            };

            ASSERT_TRUE(search->search(16, 0, -1, -1, -1, -1, false));
            rig.run(ticks * MeterRig::kTick);
            search->cancel();
            ASSERT_TRUE(rig.runUntil([&] { return listener.finished.size() == 2; }, 15000));

            EXPECT_EQ(listener.finished, (std::vector<bool>{true, false}));
            ASSERT_FALSE(listener.found.empty());
            EXPECT_EQ(listener.found.back(), (std::pair<int, int>{2468, 0}));
            EXPECT_EQ(rig.channelState(0), AntChannel::STATE_OPEN);
            EXPECT_EQ(rig.radio->chip().trackedDevice(0), 2468);
            search->destroy();
        }
    }
}

TEST_F(SportDeviceSearchTest, ListenerThatCancelsToOpenAFoundMeterGetsItOpened)
{
    // The main window's way: cancel the list search on a chosen meter, then, told that the search
    // was cancelled, open that meter by number from inside the callback.
    rig.addMeterNumbers({2222, 3333});
    listener.onFinished = [&](bool cancelled) {
        if (cancelled) {
            search->removeSportDeviceSearchListener(&listener);
            EXPECT_TRUE(search->search(6, 3333, -1, -1, -1, -1, false));
            search->addSportDeviceSearchListener(&listener);
        }
    };

    ASSERT_TRUE(search->search(16, 0, -1, -1, -1, -1, false));
    ASSERT_TRUE(rig.runUntil([&] { return listener.numbers().count(3333) > 0; }, 16000));
    search->cancel();
    ASSERT_TRUE(rig.runUntil([&] { return listener.finished.size() == 2; }, 12000));

    EXPECT_EQ(listener.finished, (std::vector<bool>{true, false}));
    EXPECT_EQ(listener.found.back(), (std::pair<int, int>{3333, 0}));
    EXPECT_EQ(rig.channelState(0), AntChannel::STATE_OPEN);
    EXPECT_EQ(rig.radio->chip().trackedDevice(0), 3333);
}

TEST_F(SportDeviceSearchTest, DestroyedSearchHearsNothingMoreAndStartsNoOther)
{
    rig.addMeterNumbers({1234});
    ASSERT_TRUE(search->search(16, 0, -1, -1, -1, -1, false));
    ASSERT_TRUE(rig.runUntil([&] { return !listener.found.empty(); }, 5000));

    search->destroy();
    const size_t found = listener.found.size();
    rig.run(20000);

    EXPECT_EQ(listener.found.size(), found);
    EXPECT_TRUE(listener.finished.empty());
    EXPECT_FALSE(search->search(16, 0, -1, -1, -1, -1, false));
    search->cancel();
    EXPECT_TRUE(listener.finished.empty());
}

class Ap1SportDeviceSearchTest : public SportDeviceSearchTest
{
protected:
    Ap1SportDeviceSearchTest() : SportDeviceSearchTest(0x1004) {}
};

TEST_F(Ap1SportDeviceSearchTest, RefusedScanTurnsIntoAStepwiseSearchWithoutTellingTheListeners)
{
    rig.addMeterNumbers({5555});

    ASSERT_TRUE(search->search(16, 0, -1, -1, -1, -1, false));
    ASSERT_TRUE(rig.runUntil([&] { return finished(); }, 30000));

    EXPECT_EQ(listener.numbers(), std::set<int>{5555});
    EXPECT_EQ(listener.finished, std::vector<bool>{false});
    // Every channel was opened for a search of its own.
    EXPECT_EQ(rig.sent(0x4B).size(), 4u);
    expectAllUnassigned();
}

TEST(SportDeviceSearchWithoutRadio, RefusesToSearchWithoutAManager)
{
    SearchRecorder listener;
    IntrusivePointer<SportDeviceSearch> search = new SportDeviceSearch(nullptr);
    search->addSportDeviceSearchListener(&listener);

    EXPECT_FALSE(search->search(16, 0, -1, -1, -1, -1, false));
    EXPECT_FALSE(search->search(6, 1234, -1, -1, -1, -1, false));
    search->cancel();
    EXPECT_TRUE(listener.finished.empty());
}

} // namespace
} // namespace vant::search

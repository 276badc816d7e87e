#include "ant/SimulatedAntRadio.h"

#include "RecordingRadioListener.h"
#include "core/IntrusivePointer.h"
#include "support/LogRecorder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using support::LogRecorder;
using vant::ant::SimulatedAntRadio;
using vant::ant::test::RadioEvent;
using vant::ant::test::RecordingRadioListener;

namespace {

using Bytes = std::vector<unsigned char>;

RadioEvent msg(int id, Bytes payload)
{
    return RadioEvent::message(id, std::move(payload));
}

// A burst answer: the channel byte, then `zeros` zero bytes.
Bytes burst(unsigned char channel, int zeros)
{
    Bytes bytes(static_cast<size_t>(zeros) + 1, 0);
    bytes[0] = channel;
    return bytes;
}

class SimulatedAntRadioTest : public ::testing::Test
{
protected:
    SimulatedAntRadioTest() : radio(new SimulatedAntRadio()) { radio->setListener(&listener); }

    // Sends from a heap copy of exactly the payload's size, so a read past its end is caught.
    void send(int id, const Bytes& payload)
    {
        std::unique_ptr<unsigned char[]> copy(new unsigned char[payload.size()]);
        std::copy(payload.begin(), payload.end(), copy.get());
        radio->sendMessage(id, copy.get(), static_cast<int>(payload.size()));
    }

    RecordingRadioListener listener;
    rezezaz::core::IntrusivePointer<SimulatedAntRadio> radio;
};

TEST_F(SimulatedAntRadioTest, AnswersEachMessageAsStickAndMeterWould)
{
    struct Case
    {
        const char* what;
        int id;
        Bytes payload;
        std::vector<RadioEvent> answers;
    };
    const Case cases[] = {
        {"extended messages refused", 0x66, {1, 1}, {msg(0x40, {1, 0x66, 0x28})}},
        {"scan mode refused", 0x5B, {0}, {msg(0x40, {0, 0x5B, 0x28})}},
        {"reset is the lowest command id", 0x40, {0}, {msg(0x40, {0, 0x40, 5})}},
        {"unassign", 0x41, {3}, {msg(0x40, {3, 0x41, 5})}},
        {"assign", 0x42, {2, 0, 1}, {msg(0x40, {2, 0x42, 5})}},
        {"network key", 0x46, {1, 1, 2, 3, 4, 5, 6, 7, 8}, {msg(0x40, {1, 0x46, 5})}},
        {"channel id", 0x51, {1, 0, 0, 11, 0}, {msg(0x40, {1, 0x51, 5})}},
        {"request for the channel id",
         0x4D,
         {3, 0x51},
         {msg(0x40, {3, 0x4D, 5}), msg(0x51, {3, 0x00, 0x7B, 0x0B, 0x00})}},
        {"request for anything else", 0x4D, {0, 0x54}, {msg(0x40, {0, 0x4D, 5})}},
        {"close", 0x4C, {1}, {msg(0x40, {1, 0x4C, 5}), msg(0x40, {1, 0x01, 0x07})}},
        {"open", 0x4B, {2}, {msg(0x40, {2, 0x4B, 5}), msg(0x4E, {2})}},
        {"register read",
         0x4F,
         {1, 0xF0, 0x04, 0x00, 0x12, 3, 0, 0, 0},
         {msg(0x40, {1, 0x01, 0x05}), msg(0x50, {1, 0, 0, 0})}},
        {"command 3 is answered like a read",
         0x4F,
         {0, 0xF0, 0x03, 0x00, 0x10, 5, 0, 0, 0},
         {msg(0x40, {0, 0x01, 0x05}), msg(0x50, {0, 0, 0, 0, 0, 0})}},
        {"read longer than the scratch is cut to it",
         0x4F,
         {1, 0xF0, 0x04, 0x00, 0x12, 200, 0, 0, 0},
         {msg(0x40, {1, 0x01, 0x05}), msg(0x50, burst(1, 15))}},
        {"register write only completes",
         0x4F,
         {1, 0xF0, 0x05, 0x00, 0x12, 1, 2, 3, 0},
         {msg(0x40, {1, 0x01, 0x05})}},
        {"page 1 is echoed",
         0x4F,
         {2, 0x01, 0xAA, 0, 0, 0, 0, 0, 0},
         {msg(0x40, {2, 0x01, 0x05}), msg(0x4F, {2, 0x01})}},
        {"short acknowledged message reads no further", 0x4F, {1, 0xF0}, {msg(0x40, {1, 0x01, 0x05})}},
        {"broadcast", 0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {}},
        {"burst packet", 0x50, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {}},
        {"id above the commands", 0x5C, {0}, {}},
        {"empty payload", 0x4A, {}, {msg(0x40, {0, 0x4A, 5})}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A fresh radio each time, so that no case meets the periodic broadcast.
        radio = new SimulatedAntRadio();
        radio->setListener(&listener);
        send(c.id, c.payload);
        radio->update();
        EXPECT_EQ(listener.take(), c.answers);
    }
}

TEST_F(SimulatedAntRadioTest, AnswersOneMessagePerUpdateOldestFirst)
{
    send(0x42, {0, 0, 1});
    send(0x4C, {1});
    send(0x41, {2});

    radio->update();
    EXPECT_EQ(listener.take(), (std::vector<RadioEvent>{msg(0x40, {0, 0x42, 5})}));
    radio->update();
    EXPECT_EQ(listener.take(),
              (std::vector<RadioEvent>{msg(0x40, {1, 0x4C, 5}), msg(0x40, {1, 0x01, 0x07})}));
    radio->update();
    EXPECT_EQ(listener.take(), (std::vector<RadioEvent>{msg(0x40, {2, 0x41, 5})}));
    radio->update();
    EXPECT_TRUE(listener.take().empty());
}

TEST_F(SimulatedAntRadioTest, WithoutListenerDropsWhatItIsSentAndReportsNothing)
{
    radio->setListener(nullptr);
    EXPECT_TRUE(radio->create());
    send(0x42, {0, 0, 1});
    for (int i = 0; i < 20; ++i) {
        radio->update();
    }

    // Attached again, it answers only what it is sent from now on.
    radio->setListener(&listener);
    send(0x41, {0});
    radio->update();
    EXPECT_EQ(listener.take(), (std::vector<RadioEvent>{msg(0x40, {0, 0x41, 5})}));
}

TEST_F(SimulatedAntRadioTest, ReportsBroadcastOnEveryTwentiethUpdateBeforeTheAnswer)
{
    for (int i = 1; i < 20; ++i) {
        radio->update();
    }
    EXPECT_TRUE(listener.take().empty());

    send(0x44, {0, 2});
    radio->update();
    EXPECT_EQ(listener.take(), (std::vector<RadioEvent>{msg(0x4E, {0x00, 0x51}), msg(0x40, {0, 0x44, 5})}));

    for (int i = 21; i < 40; ++i) {
        radio->update();
    }
    EXPECT_TRUE(listener.take().empty());
    radio->update();
    EXPECT_EQ(listener.take(), (std::vector<RadioEvent>{msg(0x4E, {0x00, 0x51})}));
}

// Plays the radio manager and a channel: sends each command from inside the callback that carries the
// answer to the previous one, as they do, and keeps the answers of each step apart.
class WalkingListener : public RecordingRadioListener
{
public:
    struct Step
    {
        const char* what;
        int id;
        Bytes payload;
        std::vector<RadioEvent> answers;
    };

    WalkingListener(SimulatedAntRadio& radio, std::vector<Step> steps) : radio(radio), steps(std::move(steps))
    {}

    void start() { sendStep(); }

    void messageReceived(int id, unsigned char* payload, int length) override
    {
        RecordingRadioListener::messageReceived(id, payload, length);
        received.back().push_back(events.back());
        if (received.back().size() == steps[received.size() - 1].answers.size() &&
            received.size() < steps.size()) {
            sendStep();
        }
    }

    SimulatedAntRadio& radio;
    std::vector<Step> steps;
    std::vector<std::vector<RadioEvent>> received;

private:
    void sendStep()
    {
        const Step& step = steps[received.size()];
        received.emplace_back();
        Bytes payload = step.payload;
        radio.sendMessage(step.id, payload.data(), static_cast<int>(payload.size()));
    }
};

TEST(SimulatedAntRadioWalkTest, TakesAChannelFromAssignmentToAFoundMeterAndBack)
{
    const Bytes key = {0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45};
    Bytes keyMessage = {1};
    keyMessage.insert(keyMessage.end(), key.begin(), key.end());
    const std::vector<WalkingListener::Step> steps = {
        {"network 1 key", 0x46, keyMessage, {msg(0x40, {1, 0x46, 5})}},
        {"network 0 key", 0x46, Bytes(9, 0), {msg(0x40, {0, 0x46, 5})}},
        {"assign", 0x42, {1, 0, 1}, {msg(0x40, {1, 0x42, 5})}},
        {"any device", 0x51, {1, 0, 0, 0, 0}, {msg(0x40, {1, 0x51, 5})}},
        {"search time-out", 0x44, {1, 2}, {msg(0x40, {1, 0x44, 5})}},
        {"period 8182", 0x43, {1, 0xF6, 0x1F}, {msg(0x40, {1, 0x43, 5})}},
        {"frequency 57", 0x45, {1, 57}, {msg(0x40, {1, 0x45, 5})}},
        {"extended messages", 0x66, {1, 0}, {msg(0x40, {1, 0x66, 0x28})}},
        {"open", 0x4B, {1}, {msg(0x40, {1, 0x4B, 5}), msg(0x4E, {1})}},
        {"who is it", 0x4D, {1, 0x51}, {msg(0x40, {1, 0x4D, 5}), msg(0x51, {1, 0x00, 0x7B, 0x0B, 0x00})}},
        {"read slope",
         0x4F,
         {1, 0xF0, 0x04, 0x00, 0x10, 3, 0, 0, 0},
         {msg(0x40, {1, 1, 5}), msg(0x50, {1, 0, 0, 0})}},
        {"close", 0x4C, {1}, {msg(0x40, {1, 0x4C, 5}), msg(0x40, {1, 1, 7})}},
        {"unassign", 0x41, {1}, {msg(0x40, {1, 0x41, 5})}},
    };

    LogRecorder log;
    rezezaz::core::IntrusivePointer<SimulatedAntRadio> radio(new SimulatedAntRadio());
    WalkingListener walker(*radio, steps);
    radio->setListener(&walker);

    ASSERT_TRUE(radio->create());
    EXPECT_EQ(walker.take(), std::vector<RadioEvent>{RadioEvent::up()});
    walker.start();
    for (size_t i = 0; i < steps.size(); ++i) {
        radio->update();
    }

    ASSERT_EQ(walker.received.size(), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].what);
        EXPECT_EQ(walker.received[i], steps[i].answers);
    }

    const Bytes& id = walker.received[9][1].payload;
    EXPECT_EQ(id[1] + 256 * id[2], 31488);
    EXPECT_EQ(id[3], 11);
    EXPECT_TRUE(log.has("vant.ant", rezezaz::core::Logger::ALERT, "BROADCASTING SOME DATA"));

    radio->update();
    EXPECT_EQ(walker.received.size(), steps.size()) << "nothing is left to answer";
}

} // namespace

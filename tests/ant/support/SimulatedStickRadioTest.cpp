#include "support/SimulatedStickRadio.h"

#include "../RecordingRadioListener.h"

#include <gtest/gtest.h>

namespace support {
namespace {

using vant::ant::test::RadioEvent;
using vant::ant::test::RecordingRadioListener;

// A radio on a simulated stick with a recording listener, opened; the host side is played by hand.
class StickRadioTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        radio->retain();
        radio->setListener(&host);
        ASSERT_TRUE(radio->create());
        host.take();
    }
    void TearDown() override { radio->release(); }

    void send(int id, Bytes payload)
    {
        radio->sendMessage(id, payload.data(), static_cast<int>(payload.size()));
    }

    // Hands on everything the stick has to say now, without letting time pass.
    std::vector<RadioEvent> drain()
    {
        radio->setUpdateStep(0);
        while (radio->pending() > 0) {
            radio->update();
        }
        radio->setUpdateStep(33);
        return host.take();
    }

    // Assigns and configures a receive channel on network 1 (the ANT+ key) as the channel layer does.
    void configure(int channel, int device, int searchTimeout)
    {
        const auto c = static_cast<unsigned char>(channel);
        send(0x46, {1, 0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45});
        send(0x42, {c, 0x00, 1});
        send(0x51,
             {c, static_cast<unsigned char>(device & 0xFF), static_cast<unsigned char>(device >> 8), 11, 0});
        send(0x44, {c, static_cast<unsigned char>(searchTimeout)});
        send(0x43, {c, 0xF6, 0x1F});
        send(0x45, {c, 57});
        send(0x66, {c, 0});
        drain();
    }

    SimulatedStickRadio* radio = new SimulatedStickRadio();
    RecordingRadioListener host;
};

TEST_F(StickRadioTest, FindsAMeterAndPassesItsBroadcasts)
{
    radio->addMeter(31488);
    configure(0, 0, 2);
    send(0x4B, {0});
    EXPECT_EQ(drain(), (std::vector<RadioEvent>{RadioEvent::message(0x40, {0, 0x4B, 0})}));

    radio->advance(200);
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, 0x4E);
    EXPECT_EQ(events[0].payload.size(), 9u);

    send(0x4D, {0, 0x51});
    EXPECT_EQ(drain(), (std::vector<RadioEvent>{RadioEvent::message(0x51, {0, 0x00, 0x7B, 11, 5})}));
}

} // namespace
} // namespace support

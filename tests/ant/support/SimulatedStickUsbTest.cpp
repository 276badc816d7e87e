#include "ant/PCAntRadio.h"

#include "../RecordingRadioListener.h"
#include "core/IntrusivePointer.h"
#include "support/LibusbStandIn.h"
#include "support/SimulatedAntChip.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// The simulated stick's ANT side behind the libusb stand-in: the host's frames are parsed into
// commands and the answers travel back as frames through the connector's reader thread.
namespace support {
namespace {

using vant::ant::test::RadioEvent;
using vant::ant::test::RecordingRadioListener;
using Events = std::vector<RadioEvent>;

TEST(SimulatedStickUsbTest, AnswersTheRealRadioThroughFramesAndTheReaderThread)
{
    LibusbStandIn& usb = LibusbStandIn::instance();
    usb.reset();
    SimulatedStick& stick = usb.addDevice(0x0FCF, 0x1008);
    SimulatedPowerMeter& meter = stick.ant().addMeter(0x1234);
    {
        RecordingRadioListener host;
        rezezaz::core::IntrusivePointer<vant::ant::AntRadio> radio =
            vant::ant::new_PCAntRadio(57600, 0x0FCF, 0x1008);
        radio->setListener(&host);
        ASSERT_TRUE(radio->create());
        EXPECT_EQ(host.take(), (Events{RadioEvent::down(), RadioEvent::up()}));

        auto send = [&](int id, Bytes payload) {
            radio->sendMessage(id, payload.data(), static_cast<int>(payload.size()));
        };
        // Pumps the radio until `count` messages have come; the reader delivers in its own time.
        auto receive = [&](std::size_t count) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (host.events.size() < count && std::chrono::steady_clock::now() < giveUp) {
                radio->update();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return host.take();
        };

        send(0x46, {1, 0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45});
        send(0x42, {0, 0x00, 1});
        send(0x51, {0, 0, 0, 11, 0});
        send(0x44, {0, 0});
        send(0x43, {0, 0xF6, 0x1F});
        send(0x45, {0, 57});
        send(0x66, {0, 1});
        send(0x5B, {0});
        const Events responses = receive(8);
        ASSERT_EQ(responses.size(), 8u);
        for (const RadioEvent& e : responses) {
            EXPECT_EQ(e.id, 0x40);
            EXPECT_EQ(e.payload.at(2), 0) << e;
        }

        // The longest message the stick sends, an extended broadcast, arrives whole.
        stick.ant().advance(300);
        const Events broadcasts = receive(2);
        ASSERT_EQ(broadcasts.size(), 2u);
        for (const RadioEvent& e : broadcasts) {
            ASSERT_EQ(e.payload.size(), 14u) << e;
            EXPECT_EQ(e.payload[9], 0x80);
            EXPECT_EQ(e.payload[10] | e.payload[11] << 8, 0x1234);
        }
        EXPECT_EQ(meter.pagesSent(), 2);
        radio->destroy();
    }
    EXPECT_EQ(usb.unbalanced(), "");
}

} // namespace
} // namespace support

#include "ant/PCAntRadio.h"

#include "RecordingRadioListener.h"
#include "core/IntrusivePointer.h"
#include "support/LibusbStandIn.h"
#include "support/LogRecorder.h"
#include "support/SimulatedStick.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vant::ant {
namespace {

using support::Bytes;
using support::LibusbStandIn;
using support::LogRecorder;
using support::SimulatedStick;
using test::RadioEvent;
using test::RecordingRadioListener;
using Events = std::vector<RadioEvent>;

constexpr int kVendor = 0x0FCF;
constexpr int kProduct = 0x1008;
constexpr int kBaud = 57600;

LibusbStandIn& usb()
{
    return LibusbStandIn::instance();
}

// Behaves like the manager when the stick comes up: it sends the network key at once, so the stick
// must be fully open by the time it hears of it.
class KeyLoadingListener : public RecordingRadioListener
{
public:
    void stateChanged(bool connected) override
    {
        RecordingRadioListener::stateChanged(connected);
        if (connected && radio) {
            unsigned char key[9] = {1, 1, 2, 3, 4, 5, 6, 7, 8};
            radio->sendMessage(0x46, key, 9);
        }
    }
    AntRadio* radio = nullptr;
};

class PCAntRadioTest : public ::testing::Test
{
protected:
    PCAntRadioTest() { usb().reset(); }
    ~PCAntRadioTest() override
    {
        radio = nullptr;
        EXPECT_EQ(usb().unbalanced(), "");
    }

    void makeRadio(int product = kProduct)
    {
        radio = new_PCAntRadio(kBaud, kVendor, product);
        radio->setListener(&listener);
    }

    // The radio's lines in its own category.
    std::vector<std::string> radioLog() const
    {
        std::vector<std::string> lines;
        for (const LogRecorder::Entry& entry : log.entries) {
            if (entry.categoryName == "vant.ant") {
                lines.push_back(std::to_string(entry.level) + " " + entry.text);
            }
        }
        return lines;
    }

    // Calls update() until `done` holds, failing if any one call hands on more than one event. The
    // reader thread delivers in its own time, so this waits without any bound on speed beyond a
    // generous deadline that only a hung reader reaches.
    void pumpUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the radio never got there";
            const size_t before = listener.events.size();
            radio->update();
            ASSERT_LE(listener.events.size() - before, 1u) << "more than one event from one update";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    LogRecorder log;
    KeyLoadingListener listener;
    rezezaz::core::IntrusivePointer<AntRadio> radio;
};

TEST_F(PCAntRadioTest, CreateClosesAnyEarlierConnectionThenOpensTheStick)
{
    usb().addDevice(0x1234, 0x0001);
    SimulatedStick& stick = usb().addDevice(kVendor, kProduct);
    makeRadio();
    listener.radio = radio.get();

    ASSERT_TRUE(radio->create());
    EXPECT_EQ(listener.take(), (Events{RadioEvent::down(), RadioEvent::up()}));
    EXPECT_TRUE(radio->state());
    EXPECT_EQ(usb().calls("libusb_claim_interface"), 1);
    // Written from inside stateChanged(true): the stick was open before the listener heard of it.
    ASSERT_EQ(stick.messages().size(), 1u);
    EXPECT_EQ(stick.messages()[0].id, 0x46);

    // Creating again closes the stick first, then opens it afresh.
    ASSERT_TRUE(radio->create());
    EXPECT_EQ(listener.take(), (Events{RadioEvent::down(), RadioEvent::up()}));
    EXPECT_EQ(usb().calls("libusb_release_interface"), 1);
    EXPECT_EQ(usb().calls("libusb_claim_interface"), 2);

    radio->destroy();
    EXPECT_EQ(listener.take(), (Events{RadioEvent::down()}));
    EXPECT_FALSE(radio->state());
    EXPECT_TRUE(radioLog().empty());
}

TEST_F(PCAntRadioTest, FailedCreateLogsReportsDownAndCanBeRetried)
{
    // The ids in hex, as the udev rule has them; a stick out of reach is told apart from none.
    const std::string notFound =
        "1 PCAntRadio::create Unable to find device with vendor=0x0FCF and product=0x1008";
    const std::string openFailed =
        "1 PCAntRadio::create Unable to open device with vendor=0x0FCF and product=0x1008 with error:";
    struct Case
    {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"no device at all", [] {}, {notFound}},
        {"only the other stick", [] { usb().addDevice(kVendor, 0x1009); }, {notFound}},
        {"stick without permission to open it",
         [] { usb().addDevice(kVendor, kProduct).openError = LIBUSB_ERROR_ACCESS; },
         {openFailed + "LIBUSB_ERROR_ACCESS"}},
        {"no stick, another device without permission",
         [] { usb().addDevice(0x046D, 0xC52B).openError = LIBUSB_ERROR_ACCESS; },
         {notFound}},
        {"USB library does not start",
         [] {
             usb().addDevice(kVendor, kProduct);
             usb().failInit(LIBUSB_ERROR_NO_MEM);
         },
         {"1 PCAntRadio::create Unable to create UsbxConnector"}},
        {"stick held by another program",
         [] { usb().addDevice(kVendor, kProduct).claimError = LIBUSB_ERROR_BUSY; },
         {openFailed + "LIBUSB_ERROR_BUSY"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        radio = nullptr;
        usb().reset();
        log.entries.clear();
        listener.take();
        c.arrange();
        makeRadio();

        EXPECT_FALSE(radio->create());
        EXPECT_EQ(listener.take(), Events{RadioEvent::down()});
        EXPECT_EQ(radioLog(), c.log);
        EXPECT_FALSE(radio->state());
        EXPECT_EQ(radio->apVersion(), 0);
        EXPECT_EQ(usb().unbalanced(), "");

        // The radio stays closed and opens once the stick is there.
        usb().reset();
        usb().addDevice(kVendor, kProduct);
        EXPECT_TRUE(radio->create());
        EXPECT_EQ(listener.take(), (Events{RadioEvent::down(), RadioEvent::up()}));
        radio->destroy();
    }
}

TEST_F(PCAntRadioTest, VersionIsTheProductAndApVersionTheStickKindWhileOpen)
{
    struct Case
    {
        int product;
        int apVersion;
    };
    const Case cases[] = {
        {0x1004, 1}, {0x1005, 0}, {0x1006, 0}, {0x1007, 0},
        {0x1008, 2}, {0x1009, 2}, {0x1003, 0}, {0x100A, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product);
        usb().reset();
        usb().addDevice(kVendor, c.product);
        makeRadio(c.product);

        EXPECT_EQ(radio->apVersion(), 0) << "closed";
        EXPECT_EQ(radio->version(), c.product);
        ASSERT_TRUE(radio->create());
        EXPECT_EQ(radio->apVersion(), c.apVersion);
        EXPECT_EQ(radio->version(), c.product);
        radio->destroy();
        EXPECT_EQ(radio->apVersion(), 0) << "closed again";
    }
}

TEST_F(PCAntRadioTest, UpdateHandsOnOneReceivedMessageAtATimeAndDropsErrorReports)
{
    SimulatedStick& stick = usb().addDevice(kVendor, kProduct);
    makeRadio();
    ASSERT_TRUE(radio->create());
    listener.take();

    Bytes corrupt = SimulatedStick::frame(0x4E, {0, 1, 2, 3, 4, 5, 6, 7, 8});
    corrupt.back() ^= 0xFF;
    Bytes all = SimulatedStick::frame(0x40, {0, 0x42, 0});
    all.insert(all.end(), corrupt.begin(), corrupt.end());
    const Bytes burst = SimulatedStick::frame(0x50, {0, 9, 8, 7, 6, 5, 4, 3, 2});
    all.insert(all.end(), burst.begin(), burst.end());
    // The longest payload a frame can bring.
    Bytes longest(41);
    for (size_t i = 0; i < longest.size(); ++i) {
        longest[i] = static_cast<unsigned char>(i + 1);
    }
    const Bytes last = SimulatedStick::frame(0x3E, longest);
    all.insert(all.end(), last.begin(), last.end());
    stick.sendBytes(all);

    pumpUntil([&] { return listener.events.size() >= 3; });
    EXPECT_EQ(listener.take(), (Events{RadioEvent::message(0x40, {0, 0x42, 0}),
                                       RadioEvent::message(0x50, {0, 9, 8, 7, 6, 5, 4, 3, 2}),
                                       RadioEvent::message(0x3E, longest)}));
    radio->update();
    EXPECT_TRUE(listener.take().empty());
}

TEST_F(PCAntRadioTest, SendsEachMessageAsOneFrameAndRefusesWhatCannotBeFramed)
{
    SimulatedStick& stick = usb().addDevice(kVendor, kProduct);
    makeRadio();

    unsigned char payload[42] = {1, 0xF0, 0x04, 0x00, 0x10, 3, 0, 0, 0};
    radio->sendMessage(0x4F, payload, 9); // closed: goes nowhere
    ASSERT_TRUE(radio->create());
    radio->sendMessage(0x4F, payload, 9);
    radio->sendMessage(0x4F, payload, 42);
    radio->sendMessage(0x4F, payload, -1);
    radio->sendMessage(0x4A, nullptr, 0);

    Bytes acknowledged = SimulatedStick::frame(0x4F, Bytes(payload, payload + 9));
    acknowledged.insert(acknowledged.end(), {0, 0});
    Bytes reset = SimulatedStick::frame(0x4A, {});
    reset.insert(reset.end(), {0, 0});
    EXPECT_EQ(stick.writes(), (std::vector<Bytes>{acknowledged, reset}));
}

TEST_F(PCAntRadioTest, LosingTheStickIsReportedOnceByUpdate)
{
    SimulatedStick& stick = usb().addDevice(kVendor, kProduct);
    makeRadio();
    ASSERT_TRUE(radio->create());
    listener.take();

    stick.unplug();
    pumpUntil([&] { return !listener.events.empty(); });
    EXPECT_EQ(listener.take(), Events{RadioEvent::down()});
    EXPECT_FALSE(radio->state());
    for (int i = 0; i < 5; ++i) {
        radio->update();
    }
    EXPECT_TRUE(listener.take().empty());

    // A write to the lost stick fails below the radio; a stick plugged in again can be opened.
    unsigned char close[1] = {0};
    radio->sendMessage(0x4C, close, 1);
    usb().addDevice(kVendor, kProduct);
    EXPECT_TRUE(radio->create());
    EXPECT_EQ(listener.take(), (Events{RadioEvent::down(), RadioEvent::up()}));
}

} // namespace
} // namespace vant::ant

#include "ant/UsbxConnector.h"

#include "ant/AntMessageFramer.h"
#include "core/Log.h"
#include "support/LibusbStandIn.h"
#include "support/LogRecorder.h"
#include "support/SimulatedStick.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vant::ant {
namespace {

using support::Bytes;
using support::LibusbStandIn;
using support::LogRecorder;
using support::SimulatedStick;

const int VENDOR = 0x0FCF;
const int PRODUCT = 0x1008;

// Waits for a condition that another thread brings about; false if it never came.
bool eventually(const std::function<bool()>& condition)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// One stick behind the stand-in, a connector and its framer, and what they logged.
class Rig
{
public:
    Rig() : usb(LibusbStandIn::instance())
    {
        usb.reset();
        stick = &usb.addDevice(VENDOR, PRODUCT);
        connector = std::make_unique<UsbxConnector>();
        framer = std::make_unique<AntMessageFramer>(connector.get());
    }

    // Everything up to open, as the radio does it.
    void prepare()
    {
        ASSERT_TRUE(connector->init(57600));
        const int index = connector->findDeviceByIds(VENDOR, PRODUCT);
        ASSERT_GE(index, 0);
        connector->setDeviceNumber(index);
        connector->setAntFramer(framer.get());
    }

    bool readerRunning() const
    {
        rezezaz::core::PosixThread* thread = connector->getThread();
        return thread != nullptr && thread->isRunning();
    }

    // The connector's lines (debug level, no category) since the last clear.
    std::vector<std::string> lines()
    {
        std::vector<std::string> texts;
        rezezaz::core::Log::getInstance()->lock();
        for (const LogRecorder::Entry& entry : log.entries) {
            if (entry.categoryName.empty() && entry.level == rezezaz::core::Logger::DEBUG) {
                texts.push_back(entry.text);
            }
        }
        rezezaz::core::Log::getInstance()->unlock();
        return texts;
    }

    int count(const std::string& line)
    {
        int n = 0;
        for (const std::string& text : lines()) {
            n += text == line ? 1 : 0;
        }
        return n;
    }

    void clearLog()
    {
        rezezaz::core::Log::getInstance()->lock();
        log.entries.clear();
        rezezaz::core::Log::getInstance()->unlock();
    }

    // The next n messages the reader queues, as id followed by payload.
    std::vector<Bytes> receive(std::size_t n)
    {
        std::vector<Bytes> messages;
        eventually([&] {
            unsigned char out[42];
            const unsigned short result = framer->getMessage(out, 41);
            if (result <= 41) {
                messages.emplace_back(out, out + 1 + result);
            }
            return messages.size() >= n;
        });
        return messages;
    }

    LogRecorder log;
    LibusbStandIn& usb;
    SimulatedStick* stick;
    std::unique_ptr<UsbxConnector> connector;
    std::unique_ptr<AntMessageFramer> framer;
};

const char* const TERMINATED = "UsbxConnector::run thread terminated";

TEST(UsbxConnectorTest, FindsTheFirstMatchingDeviceAndLogsTheOnesItCannotRead)
{
    Rig rig;
    rig.usb.reset();
    rig.usb.addDevice(0x046D, 0xC52B);
    rig.usb.addDevice(VENDOR, PRODUCT).openError = LIBUSB_ERROR_ACCESS;
    rig.usb.addDevice(VENDOR, 0x1009).descriptorError = LIBUSB_ERROR_IO;
    rig.usb.addDevice(VENDOR, PRODUCT);
    rig.usb.addDevice(VENDOR, PRODUCT);
    ASSERT_TRUE(rig.connector->init(57600));

    EXPECT_EQ(rig.connector->findDeviceByIds(VENDOR, PRODUCT), 3);
    EXPECT_EQ(
        rig.lines(),
        (std::vector<std::string>{
            "UsbxConnector::findDeviceByIds USB device: 1 failed to open with error:LIBUSB_ERROR_ACCESS",
            "UsbxConnector::findDeviceByIds USB device: 2 failed to get descriptor with "
            "error:LIBUSB_ERROR_IO",
            "UsbxConnector::findDeviceByIds success! Found USB device id:3 out of:5 with vendor:4047 "
            "and product:4104",
        }));
    EXPECT_EQ(rig.connector->findDeviceByIds(VENDOR, 0x1004), -1);
    EXPECT_EQ(rig.usb.calls("libusb_open"), rig.usb.calls("libusb_close") + 2); // two open failures

    rig.connector->close(false);
    EXPECT_EQ(rig.usb.unbalanced(), "");
}

TEST(UsbxConnectorTest, OpenFailsAtEachStepWithItsLogLineAndLeavesNothingOpen)
{
    struct Case
    {
        const char* name;
        std::function<void(Rig&)> setUp;
        bool opens;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"no framer",
         [](Rig& r) { r.connector->setAntFramer(nullptr); },
         false,
         {"UsbxConnector::open called with a NULL AntFramer, be sure to setAntFramer() first"}},
        {"device number below the list",
         [](Rig& r) { r.connector->setDeviceNumber(-1); },
         false,
         {"UsbxConnector::open device number-1 out of range:1"}},
        {"device number past the list",
         [](Rig& r) { r.connector->setDeviceNumber(1); },
         false,
         {"UsbxConnector::open device number1 out of range:1"}},
        {"access denied",
         [](Rig& r) { r.stick->openError = LIBUSB_ERROR_ACCESS; },
         false,
         {"UsbxConnector::open USB device:0 failed with error:LIBUSB_ERROR_ACCESS"}},
        {"kernel driver that cannot be detached",
         [](Rig& r) {
             r.stick->kernelDriverActive = 1;
             r.stick->detachError = LIBUSB_ERROR_ACCESS;
         },
         false,
         {"UsbxConnector::open kernel driver locking USB device:0",
          "UsbxConnector::open unable to detach kernel driver from device:0"}},
        {"interface busy",
         [](Rig& r) { r.stick->claimError = LIBUSB_ERROR_BUSY; },
         false,
         {"UsbxConnector::open kernel driver active check returned:LIBUSB_SUCCESS",
          "UsbxConnector::open failed to claim interface:0 with error:LIBUSB_ERROR_BUSY"}},
        {"kernel driver detached",
         [](Rig& r) { r.stick->kernelDriverActive = 1; },
         true,
         {"UsbxConnector::open kernel driver locking USB device:0"}},
        {"kernel driver check not supported",
         [](Rig& r) { r.stick->kernelDriverActive = LIBUSB_ERROR_NOT_SUPPORTED; },
         true,
         {"UsbxConnector::open kernel driver active check returned:LIBUSB_ERROR_NOT_SUPPORTED"}},
        {"no kernel driver",
         [](Rig&) {},
         true,
         {"UsbxConnector::open kernel driver active check returned:LIBUSB_SUCCESS"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.prepare();
        c.setUp(rig);
        rig.clearLog();

        EXPECT_EQ(rig.connector->open(), c.opens);
        EXPECT_EQ(rig.lines(), c.lines);
        EXPECT_EQ(rig.connector->getThread() != nullptr, c.opens);
        if (!c.opens) {
            EXPECT_EQ(rig.usb.calls("libusb_alloc_transfer"), 0);
        }

        rig.connector->close(false);
        EXPECT_FALSE(rig.readerRunning());
        EXPECT_EQ(rig.count(TERMINATED), c.opens ? 1 : 0);
        EXPECT_EQ(rig.usb.unbalanced(), "");
    }
}

TEST(UsbxConnectorTest, InitFailureLeavesNothingToEnd)
{
    Rig rig;
    rig.usb.failInit(LIBUSB_ERROR_OTHER);
    EXPECT_FALSE(rig.connector->init(57600));
    EXPECT_EQ(rig.connector->findDeviceByIds(VENDOR, PRODUCT), -1);
    rig.connector->setAntFramer(rig.framer.get());
    EXPECT_FALSE(rig.connector->open());
    rig.connector->close(false);
    rig.connector.reset();
    EXPECT_EQ(rig.usb.calls("libusb_exit"), 0);
    EXPECT_EQ(rig.usb.unbalanced(), "");
}

TEST(UsbxConnectorTest, DestroyingAConnectorWithoutCloseEndsWhatItStarted)
{
    for (bool open : {false, true}) {
        SCOPED_TRACE(open ? "opened" : "initialised only");
        Rig rig;
        rig.prepare();
        if (open) {
            ASSERT_TRUE(rig.connector->open());
        }
        rig.connector.reset();
        EXPECT_EQ(rig.usb.calls("libusb_exit"), 1);
        EXPECT_EQ(rig.usb.unbalanced(), "");
    }
}

TEST(UsbxConnectorTest, FramesArriveWholeHoweverTheStickCutsThemIntoTransfers)
{
    const Bytes a = SimulatedStick::frame(0x4E, {0x00, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17});
    const Bytes b = SimulatedStick::frame(0x40, {0x00, 0x42, 0x00});
    const Bytes c = SimulatedStick::frame(0x50, {0x20, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    const std::vector<Bytes> expected = {Bytes(a.begin() + 2, a.end() - 1), Bytes(b.begin() + 2, b.end() - 1),
                                         Bytes(c.begin() + 2, c.end() - 1)};
    struct Case
    {
        const char* name;
        std::function<void(SimulatedStick&)> send;
    };
    const std::vector<Case> cases = {
        {"one frame per transfer",
         [&](SimulatedStick& s) {
             s.sendBytes(a);
             s.sendBytes(b);
             s.sendBytes(c);
         }},
        {"several frames in one transfer",
         [&](SimulatedStick& s) {
             s.sendBytes(concat({a, b, c}));
         }},
        {"frames split across transfers",
         [&](SimulatedStick& s) {
             s.setChunkSize(5);
             s.sendBytes(concat({a, b, c}));
         }},
        {"one byte per transfer",
         [&](SimulatedStick& s) {
             s.setChunkSize(1);
             s.sendBytes(concat({a, b, c}));
         }},
        {"time-outs between and inside frames",
         [&](SimulatedStick& s) {
             s.sendBytes(Bytes(a.begin(), a.begin() + 4));
             s.sendTimeout();
             // A transfer that times out after some bytes came in still hands them on.
             s.sendTimeout(concat({Bytes(a.begin() + 4, a.end()), Bytes(b.begin(), b.begin() + 2)}));
             s.sendTimeout();
             s.sendBytes(concat({Bytes(b.begin() + 2, b.end()), c}));
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Rig rig;
        rig.prepare();
        k.send(*rig.stick);
        ASSERT_TRUE(rig.connector->open());

        EXPECT_EQ(rig.receive(3), expected);
        EXPECT_TRUE(eventually([&] { return rig.stick->pendingTransfers() == 0; }));
        EXPECT_TRUE(rig.readerRunning());
        EXPECT_EQ(rig.count(TERMINATED), 0);

        rig.connector->close(false);
        EXPECT_EQ(rig.count(TERMINATED), 1);
        EXPECT_EQ(rig.usb.unbalanced(), "");
    }
}

// Answers every message with a channel response carrying the message's id, as a stick does.
class Responder : public support::StickMessageHandler
{
public:
    void messageReceived(SimulatedStick& stick, unsigned char id, const Bytes& payload) override
    {
        stick.sendMessage(0x40, {payload.empty() ? static_cast<unsigned char>(0) : payload[0], id, 0x00});
    }
};

TEST(UsbxConnectorTest, WrittenFramesReachTheStickAndItsAnswerComesBack)
{
    Rig rig;
    Responder responder;
    rig.stick->addHandler(&responder);
    rig.prepare();
    ASSERT_TRUE(rig.connector->open());

    unsigned char assign[] = {0x42, 0x00, 0x00, 0x00}; // assign channel 0 as a receive channel
    ASSERT_TRUE(rig.framer->writeMessage(assign, 3));
    const std::vector<Bytes> writes = rig.stick->writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], concat({SimulatedStick::frame(0x42, {0x00, 0x00, 0x00}), {0x00, 0x00}}));
    EXPECT_EQ(rig.receive(1), (std::vector<Bytes>{{0x40, 0x00, 0x42, 0x00}}));

    rig.connector->close(true);
    EXPECT_EQ(rig.usb.calls("libusb_reset_device"), 1);
    EXPECT_EQ(rig.usb.unbalanced(), "");
    EXPECT_FALSE(rig.framer->writeMessage(assign, 3));
}

TEST(UsbxConnectorTest, UnplugEndsTheReaderOnceAndCloseStillReleasesEverything)
{
    Rig rig;
    rig.prepare();
    ASSERT_TRUE(rig.connector->open());
    rig.stick->sendMessage(0x4E, {0x00, 0x01});
    ASSERT_EQ(rig.receive(1).size(), 1u);

    rig.stick->unplug();
    ASSERT_TRUE(eventually([&] { return !rig.readerRunning(); }));
    EXPECT_EQ(rig.usb.completions(LIBUSB_TRANSFER_NO_DEVICE), 1);
    EXPECT_EQ(rig.count(TERMINATED), 1);

    unsigned char message[] = {0x4D, 0x00, 0x51};
    EXPECT_FALSE(rig.framer->writeMessage(message, 2));
    EXPECT_EQ(rig.count("UsbxConnector::writeBytes bulk transfer failed with error:LIBUSB_ERROR_NO_DEVICE"),
              1);

    rig.connector->close(false);
    EXPECT_EQ(rig.count("UsbxConnector::close interface release error:LIBUSB_ERROR_NO_DEVICE"), 1);
    EXPECT_EQ(rig.count(TERMINATED), 1);
    EXPECT_EQ(rig.usb.unbalanced(), "");
}

TEST(UsbxConnectorTest, CloseCancelsTheWaitingTransferInsteadOfWaitingOutItsTimeOut)
{
    Rig rig;
    rig.prepare();
    ASSERT_TRUE(rig.connector->open());
    ASSERT_TRUE(eventually([&] { return rig.usb.transfersInFlight() == 1; }));

    rig.connector->close(false);
    EXPECT_EQ(rig.usb.completions(LIBUSB_TRANSFER_CANCELLED), 1);
    EXPECT_EQ(rig.usb.completions(LIBUSB_TRANSFER_TIMED_OUT), 0);
    EXPECT_EQ(rig.usb.unbalanced(), "");
}

TEST(UsbxConnectorTest, AnIdleReaderWakesOnlyAFewTimesASecond)
{
    Rig rig;
    rig.prepare();
    ASSERT_TRUE(rig.connector->open());
    ASSERT_TRUE(eventually([&] { return rig.usb.transfersInFlight() == 1; }));

    const int before = rig.usb.calls("libusb_handle_events_timeout_completed");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int wakeUps = rig.usb.calls("libusb_handle_events_timeout_completed") - before;
    // About ten with a 100 ms wait; a loop polling with no wait makes many thousands.
    EXPECT_LE(wakeUps, 100);

    rig.connector->close(false);
    EXPECT_EQ(rig.usb.unbalanced(), "");
}

TEST(UsbxConnectorTest, ReaderFailuresEndTheReaderWithTheirLogLine)
{
    struct Case
    {
        const char* name;
        std::function<void(LibusbStandIn&)> fail;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"no transfer", [](LibusbStandIn& usb) { usb.failAllocTransfer(true); },
         "UsbxConnector::run failed to allocate transfer structure"},
        {"submission refused", [](LibusbStandIn& usb) { usb.failSubmit(LIBUSB_ERROR_IO); },
         "UsbxConnector::run threaded transfer submission failed with error:LIBUSB_ERROR_IO"},
        {"event handling fails", [](LibusbStandIn& usb) { usb.failHandleEvents(LIBUSB_ERROR_OTHER, 1); },
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.prepare();
        c.fail(rig.usb);
        ASSERT_TRUE(rig.connector->open());

        ASSERT_TRUE(eventually([&] { return !rig.readerRunning(); }));
        if (c.line != nullptr) {
            EXPECT_EQ(rig.count(c.line), 1);
        }
        EXPECT_EQ(rig.count(TERMINATED), 1);
        EXPECT_EQ(rig.usb.transfersInFlight(), 0);

        rig.connector->close(false);
        EXPECT_EQ(rig.usb.unbalanced(), "");
    }
}

} // namespace
} // namespace vant::ant

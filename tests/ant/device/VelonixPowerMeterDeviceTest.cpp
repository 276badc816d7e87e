#include "ant/device/VelonixPowerMeterDevice.h"

#include "MeterRig.h"
#include "ant/AntChannel.h"
#include "ant/device/VelonixPowerMeterDeviceListener.h"
#include "ant/device/VelonixUnlockCode.h"
#include "support/LogCapture.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedPowerMeter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace vant::device {
namespace {

using rezezaz::core::IntrusivePointer;
using support::Bytes;
using support::LogCapture;
using support::SimulatedMeterFirmware;
using support::SimulatedPowerMeter;
using vant::ant::AntChannel;
using vant::test::MeterRig;

constexpr int kMeter = 4321;
constexpr int kAcknowledgedData = 0x4F;

const std::string kCadenceDirectionQueryWarning =
    "VelonixPowerMeterDevice::doQueryCadenceDirection is only available "
    "for Tenvaris with firmware > 2.8 and all Solvane";
const std::string kCadenceDirectionSetWarning =
    "VelonixPowerMeterDevice::setQueryCadenceDirection is only available "
    "for Tenvaris with firmware > 2.8 and all Solvane";

Bytes unlockMessage()
{
    Bytes message = {0xF0, 0x52};
    message.insert(message.end(), std::begin(kVelonixUnlockCode), std::end(kVelonixUnlockCode));
    message.push_back(0x00);
    return message;
}

const Bytes kUnlock = unlockMessage();

// Every callback of the device as a line of text, in the order called.
class MeterRecorder : public VelonixPowerMeterDeviceListener
{
public:
    void opened(SportDevice*) override { note("opened"); }
    void closed(SportDevice*) override { note("closed"); }
    void dataReceived(SportDevice*, int) override { ++dataCount; }
    void calibrateReceived(SportDevice*, bool passed, int value) override
    {
        note("calibrateReceived " + flag(passed) + " " + std::to_string(value));
    }

    void autozeroChanged(VelonixPowerMeterDevice*) override { note("autozeroChanged"); }
    void autozeroReceived(VelonixPowerMeterDevice*, int value) override
    {
        note("autozeroReceived " + std::to_string(value));
    }
    void cadenceChanged(VelonixPowerMeterDevice*) override { note("cadenceChanged"); }
    void cadenceReceived(VelonixPowerMeterDevice*, int value) override
    {
        note("cadenceReceived " + std::to_string(value));
    }
    void modeChanged(VelonixPowerMeterDevice*) override { note("modeChanged"); }
    void modeReceived(VelonixPowerMeterDevice*, int value) override
    {
        note("modeReceived " + std::to_string(value));
    }
    void cadenceModeChanged(VelonixPowerMeterDevice*) override { note("cadenceModeChanged"); }
    void cadenceModeReceived(VelonixPowerMeterDevice*, int cadence, int mode) override
    {
        note("cadenceModeReceived " + std::to_string(cadence) + " " + std::to_string(mode));
    }
    void slopeChanged(VelonixPowerMeterDevice*, bool factory) override
    {
        note("slopeChanged " + flag(factory));
    }
    void slopeReceived(VelonixPowerMeterDevice*, float slope, bool factory) override
    {
        std::ostringstream text;
        text << "slopeReceived " << slope << " " << flag(factory);
        note(text.str());
    }
    void offsetChanged(VelonixPowerMeterDevice*, bool factory) override
    {
        note("offsetChanged " + flag(factory));
    }
    void offsetReceived(VelonixPowerMeterDevice*, int offset, bool factory) override
    {
        note("offsetReceived " + std::to_string(offset) + " " + flag(factory));
    }
    void directionChanged(VelonixPowerMeterDevice*) override { note("directionChanged"); }
    void directionReceived(VelonixPowerMeterDevice*, bool value) override
    {
        note("directionReceived " + flag(value));
    }
    void cadenceDirectionChanged(VelonixPowerMeterDevice*) override { note("cadenceDirectionChanged"); }
    void cadenceDirectionReceived(VelonixPowerMeterDevice*, bool value) override
    {
        note("cadenceDirectionReceived " + flag(value));
    }
    void torqueDirectionChanged(VelonixPowerMeterDevice*) override { note("torqueDirectionChanged"); }
    void torqueDirectionReceived(VelonixPowerMeterDevice*, bool value) override
    {
        note("torqueDirectionReceived " + flag(value));
    }
    void pedalBalanceChanged(VelonixPowerMeterDevice*) override { note("pedalBalanceChanged"); }
    void pedalBalanceReceived(VelonixPowerMeterDevice*, bool value) override
    {
        note("pedalBalanceReceived " + flag(value));
    }
    void registerChanged(VelonixPowerMeterDevice*, int location, int length) override
    {
        note("registerChanged " + std::to_string(location) + " " + std::to_string(length));
    }
    void registerReceived(VelonixPowerMeterDevice*, int location, int length, unsigned char* data) override
    {
        std::string text =
            "registerReceived " + std::to_string(location) + " " + std::to_string(length) + ":";
        for (int i = 0; i < length; ++i) {
            text += " " + std::to_string(data[i]);
        }
        note(text);
    }
    void bootloadReceived(VelonixPowerMeterDevice*, int version) override
    {
        note("bootloadReceived " + std::to_string(version));
    }
    void bootloadChanged(VelonixPowerMeterDevice*) override { note("bootloadChanged"); }
    void bootloadProgress(VelonixPowerMeterDevice*, int percent) override
    {
        note("bootloadProgress " + std::to_string(percent));
    }
    void bootloadFinished(VelonixPowerMeterDevice*, bool success) override
    {
        note("bootloadFinished " + flag(success));
    }
    void sleepStarted(VelonixPowerMeterDevice*) override { note("sleepStarted"); }

    std::vector<std::string> events;
    int dataCount = 0;
    // Called after each event is noted.
    std::function<void(const std::string&)> onEvent;

private:
    static std::string flag(bool value) { return value ? "1" : "0"; }
    void note(const std::string& event)
    {
        events.push_back(event);
        if (onEvent) {
            onEvent(event);
        }
    }
};

// A simulated meter running its firmware, found on channel 0, and the device on that channel.
struct MeterBench
{
    explicit MeterBench(int hardware = 44, int software = 30)
        : meter(rig.radio->addMeter(kMeter)), firmware(meter)
    {
        meter.product.hardwareRevision = hardware;
        meter.product.softwareRevision = software;
    }

    ~MeterBench()
    {
        if (device) {
            device->destroy();
        }
    }

    // Opens the device; with `learnProduct` it first runs until the meter's hardware and software
    // revisions have been decoded.
    void open(bool learnProduct = false)
    {
        ASSERT_TRUE(rig.openByNumber(kMeter));
        device = new VelonixPowerMeterDevice(kMeter, rig.manager.get(), 0, false);
        device->addPowerMeterDeviceListener(&recorder);
        if (learnProduct) {
            ASSERT_TRUE(rig.runUntil(
                [&] {
                    int software = 0;
                    return device->getManufacturerVersion() == meter.product.hardwareRevision &&
                           device->sportData->getField(&software, 5) &&
                           software == meter.product.softwareRevision;
                },
                30000));
        }
    }

    // The command messages (page 0xF0) that reached the meter.
    std::vector<Bytes> commandsReceived() const
    {
        std::vector<Bytes> commands;
        for (const Bytes& message : meter.acknowledgedReceived()) {
            if (!message.empty() && message[0] == 0xF0) {
                commands.push_back(message);
            }
        }
        return commands;
    }

    // The acknowledged messages the host sent, without the channel byte.
    std::vector<Bytes> hostSent() const
    {
        std::vector<Bytes> messages;
        for (const Bytes& payload : rig.sent(kAcknowledgedData)) {
            messages.emplace_back(payload.begin() + 1, payload.end());
        }
        return messages;
    }

    AntChannel* channel() { return rig.manager->getChannel(0, -1); }

    MeterRig rig;
    SimulatedPowerMeter& meter;
    SimulatedMeterFirmware firmware;
    MeterRecorder recorder;
    IntrusivePointer<VelonixPowerMeterDevice> device;
};

// A burst packet as the channel hands it on: channel 0, then the page.
Bytes packet(std::initializer_list<unsigned char> page)
{
    Bytes bytes(9, 0);
    std::copy(page.begin(), page.end(), bytes.begin() + 1);
    return bytes;
}

bool reply(VelonixPowerMeterDevice& device, AntChannel* channel, Bytes bytes)
{
    return device.handleBurstData(channel, bytes.data(), static_cast<int>(bytes.size()));
}

bool logged(const LogCapture& log, const std::string& text)
{
    const std::vector<std::string> texts = log.listener.texts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Each operation run against the meter: the command messages that reach it in order, the callback
// that ends it (after the last message), and what the meter's registers hold afterwards. The meter
// starts locked, so a write that did not unlock first is ignored there and counted.
TEST(VelonixPowerMeterDeviceTest, OperationsAgainstTheMetersRegisters)
{
    struct Register
    {
        int location;
        Bytes bytes;
    };
    struct Case
    {
        const char* name;
        std::vector<Register> preset;
        std::function<void(VelonixPowerMeterDevice&)> run;
        std::vector<Bytes> messages;
        std::vector<std::string> events;
        std::vector<Register> after;
        std::function<bool(const SimulatedMeterFirmware&)> meterState;
    };
    const unsigned char chainring[3] = {'T', 7, 48};
    const Case cases[] = {
        {"user slope",
         {},
         [](VelonixPowerMeterDevice& d) { d.setSlope(10.25f, false); },
         {kUnlock, {0xF0, 0x05, 0x00, 0x09, 0x03, 0x0A, 0x40, 0x00}, kUnlock},
         {"slopeChanged 0"},
         {{0x09, {0x0A, 0x40, 0x00}}, {0x21, {0x0C, 0x00, 0x00}}},
         nullptr},
        {"factory slope, truncated to 1/65536",
         {},
         [](VelonixPowerMeterDevice& d) { d.setSlope(11.50001f, true); },
         {kUnlock, {0xF0, 0x05, 0x00, 0x21, 0x03, 0x0B, 0x80, 0x00}, kUnlock},
         {"slopeChanged 1"},
         {{0x21, {0x0B, 0x80, 0x00}}, {0x09, {0x0C, 0x80, 0x00}}},
         nullptr},
        {"factory offset",
         {},
         [](VelonixPowerMeterDevice& d) { d.setOffset(-3, true); },
         {kUnlock, {0xF0, 0x05, 0x00, 0x30, 0x02, 0xFD, 0xFF, 0x00}, kUnlock},
         {"offsetChanged 1"},
         {{0x30, {0xFD, 0xFF}}, {0x32, {16, 0}}},
         nullptr},
        {"user offset",
         {},
         [](VelonixPowerMeterDevice& d) { d.setOffset(300, false); },
         {kUnlock, {0xF0, 0x05, 0x00, 0x32, 0x02, 0x2C, 0x01, 0x00}, kUnlock},
         {"offsetChanged 0"},
         {{0x32, {0x2C, 0x01}}},
         nullptr},
        // Bit settings read the register, write it back with their bits changed, and send no closing
        // unlock.
        {"autozero",
         {{0x39, {0x89}}},
         [](VelonixPowerMeterDevice& d) { d.setAutozero(2); },
         {kUnlock,
          {0xF0, 0x04, 0x00, 0x39, 0x01, 0x00, 0x00, 0x00},
          {0xF0, 0x05, 0x00, 0x39, 0x01, 0x8A, 0x00, 0x00}},
         {"autozeroChanged"},
         {{0x39, {0x8A}}},
         nullptr},
        {"pedal balance",
         {{0x39, {0x81}}},
         [](VelonixPowerMeterDevice& d) { d.setPedalBalance(true); },
         {kUnlock,
          {0xF0, 0x04, 0x00, 0x39, 0x01, 0x00, 0x00, 0x00},
          {0xF0, 0x05, 0x00, 0x39, 0x01, 0x89, 0x00, 0x00}},
         {"pedalBalanceChanged"},
         {{0x39, {0x89}}},
         nullptr},
        {"cadence direction",
         {{0x39, {0x0B}}},
         [](VelonixPowerMeterDevice& d) { d.setCadenceDirection(true); },
         {kUnlock,
          {0xF0, 0x04, 0x00, 0x39, 0x01, 0x00, 0x00, 0x00},
          {0xF0, 0x05, 0x00, 0x39, 0x01, 0x8B, 0x00, 0x00}},
         {"cadenceDirectionChanged"},
         {{0x39, {0x8B}}},
         nullptr},
        {"direction",
         {{0x1E, {0xBF}}},
         [](VelonixPowerMeterDevice& d) { d.setDirection(true); },
         {kUnlock,
          {0xF0, 0x04, 0x00, 0x1E, 0x01, 0x00, 0x00, 0x00},
          {0xF0, 0x05, 0x00, 0x1E, 0x01, 0xFF, 0x00, 0x00}},
         {"directionChanged"},
         {{0x1E, {0xFF}}},
         nullptr},
        {"cadence",
         {},
         [](VelonixPowerMeterDevice& d) { d.setCadence(3); },
         {kUnlock, {0xF0, 0x05, 0x00, 0x3D, 0x01, 0x03, 0x00, 0x00}, kUnlock},
         {"cadenceChanged"},
         {{0x3D, {3, 2}}},
         nullptr},
        {"mode",
         {},
         [](VelonixPowerMeterDevice& d) { d.setMode(5); },
         {kUnlock, {0xF0, 0x05, 0x00, 0x3E, 0x01, 0x05, 0x00, 0x00}, kUnlock},
         {"modeChanged"},
         {{0x3D, {1, 5}}},
         nullptr},
        {"cadence and mode in one write",
         {},
         [](VelonixPowerMeterDevice& d) { d.setCadenceMode(4, 6); },
         {kUnlock, {0xF0, 0x05, 0x00, 0x3D, 0x02, 0x04, 0x06, 0x00}, kUnlock},
         {"cadenceModeChanged"},
         {{0x3D, {4, 6}}},
         nullptr},
        {"raw register",
         {},
         [&chainring](VelonixPowerMeterDevice& d) {
             d.setRegister(0x60, 3, const_cast<unsigned char*>(chainring));
         },
         {kUnlock, {0xF0, 0x05, 0x00, 0x60, 0x03, 'T', 7, 48}, kUnlock},
         {"registerChanged 96 3"},
         {{0x60, {'T', 7, 48, 'S', 1, 39}}},
         nullptr},
        {"sleep",
         {},
         [](VelonixPowerMeterDevice& d) { d.startSleep(); },
         {kUnlock, {0xF0, 0x08, 0, 0, 0, 0, 0, 0}, kUnlock},
         {"sleepStarted"},
         {},
         [](const SimulatedMeterFirmware& f) { return f.asleep(); }},
        {"bootloader version",
         {},
         [](VelonixPowerMeterDevice& d) { d.doQueryBootload(); },
         {kUnlock, {0xF0, 0x03, 0xFF, 0xDC, 0x02, 0x00, 0x00, 0x00}, kUnlock},
         {"bootloadReceived 261"},
         {},
         nullptr},
        {"switch to the bootloader",
         {},
         [](VelonixPowerMeterDevice& d) { d.changeBootload(); },
         {kUnlock, {0xF0, 0x09, 0, 0, 0, 0, 0, 0}},
         {"bootloadChanged"},
         {},
         [](const SimulatedMeterFirmware& f) { return f.inBootloader(); }},
        // Reads.
        {"user slope read",
         {},
         [](VelonixPowerMeterDevice& d) { d.doQuerySlope(false); },
         {{0xF0, 0x04, 0x00, 0x09, 0x03, 0x00, 0x00, 0x00}},
         {"slopeReceived 12.5 0"},
         {},
         nullptr},
        {"factory slope read",
         {{0x21, {0x0A, 0x20, 0x00}}},
         [](VelonixPowerMeterDevice& d) { d.doQuerySlope(true); },
         {{0xF0, 0x04, 0x00, 0x21, 0x03, 0x00, 0x00, 0x00}},
         {"slopeReceived 10.125 1"},
         {},
         nullptr},
        {"offset reads",
         {},
         [](VelonixPowerMeterDevice& d) { d.doQueryOffset(true); },
         {{0xF0, 0x04, 0x00, 0x30, 0x02, 0x00, 0x00, 0x00}},
         {"offsetReceived -20 1"},
         {},
         nullptr},
        {"user offset read",
         {},
         [](VelonixPowerMeterDevice& d) { d.doQueryOffset(false); },
         {{0xF0, 0x04, 0x00, 0x32, 0x02, 0x00, 0x00, 0x00}},
         {"offsetReceived 16 0"},
         {},
         nullptr},
        {"autozero read keeps bits 0-1",
         {{0x39, {0xFE}}},
         [](VelonixPowerMeterDevice& d) { d.doQueryAutozero(); },
         {{0xF0, 0x04, 0x00, 0x39, 0x01, 0x00, 0x00, 0x00}},
         {"autozeroReceived 2"},
         {},
         nullptr},
        {"pedal balance read",
         {{0x39, {0x08}}},
         [](VelonixPowerMeterDevice& d) { d.doQueryPedalBalance(); },
         {{0xF0, 0x04, 0x00, 0x39, 0x01, 0x00, 0x00, 0x00}},
         {"pedalBalanceReceived 1"},
         {},
         nullptr},
        {"cadence direction read",
         {{0x39, {0x7F}}},
         [](VelonixPowerMeterDevice& d) { d.doQueryCadenceDirection(); },
         {{0xF0, 0x04, 0x00, 0x39, 0x01, 0x00, 0x00, 0x00}},
         {"cadenceDirectionReceived 0"},
         {},
         nullptr},
        {"direction read",
         {{0x1E, {0x40}}},
         [](VelonixPowerMeterDevice& d) { d.doQueryDirection(); },
         {{0xF0, 0x04, 0x00, 0x1E, 0x01, 0x00, 0x00, 0x00}},
         {"directionReceived 1"},
         {},
         nullptr},
        {"cadence read",
         {},
         [](VelonixPowerMeterDevice& d) { d.doQueryCadence(); },
         {{0xF0, 0x04, 0x00, 0x3D, 0x01, 0x00, 0x00, 0x00}},
         {"cadenceReceived 1"},
         {},
         nullptr},
        {"mode read",
         {},
         [](VelonixPowerMeterDevice& d) { d.doQueryMode(); },
         {{0xF0, 0x04, 0x00, 0x3E, 0x01, 0x00, 0x00, 0x00}},
         {"modeReceived 2"},
         {},
         nullptr},
        {"cadence and mode read",
         {},
         [](VelonixPowerMeterDevice& d) { d.doQueryCadenceMode(); },
         {{0xF0, 0x04, 0x00, 0x3D, 0x02, 0x00, 0x00, 0x00}},
         {"cadenceModeReceived 1 2"},
         {},
         nullptr},
        {"raw register read of eight bytes",
         {{0x78, {1, 2, 3, 4, 5, 6, 7, 8}}},
         [](VelonixPowerMeterDevice& d) { d.queryRegister(0x78, 8); },
         {{0xF0, 0x04, 0x00, 0x78, 0x08, 0x00, 0x00, 0x00}},
         {"registerReceived 120 8: 1 2 3 4 5 6 7 8"},
         {},
         nullptr},
        {"chainring read",
         {},
         [](VelonixPowerMeterDevice& d) { d.queryRegister(0x42, 6); },
         {{0xF0, 0x04, 0x00, 0x42, 0x06, 0x00, 0x00, 0x00}},
         {"registerReceived 66 6: 67 2 50 67 2 34"},
         {},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<size_t> messagesAtEvent; // outlives the device, which reports `closed` at its end
        MeterBench bench;
        for (const Register& r : c.preset) {
            bench.firmware.setRegisters(r.location, r.bytes);
        }
        // Some operations depend on the meter's revisions.
        bench.open(true);
        bench.recorder.onEvent = [&](const std::string&) {
            messagesAtEvent.push_back(bench.commandsReceived().size());
        };

        c.run(*bench.device);
        ASSERT_TRUE(bench.rig.runUntil([&] { return !bench.recorder.events.empty(); }, 20000));
        // Nothing further follows.
        bench.rig.run(3000);

        EXPECT_EQ(bench.commandsReceived(), c.messages);
        EXPECT_EQ(bench.recorder.events, c.events);
        EXPECT_EQ(messagesAtEvent.front(), c.messages.size()) << "the callback comes after the last message";
        EXPECT_EQ(bench.firmware.lockedWrites(), 0);
        EXPECT_EQ(bench.firmware.refusedMessages(), 0);
        for (const Register& r : c.after) {
            EXPECT_EQ(bench.firmware.registers(r.location, static_cast<int>(r.bytes.size())), r.bytes)
                << "register " << r.location;
        }
        if (c.meterState) {
            EXPECT_TRUE(c.meterState(bench.firmware));
        }
    }
}

// The same bit of register 0x1E is the torque direction, read the other way round on every hardware
// but 7 to 9.
TEST(VelonixPowerMeterDeviceTest, TorqueDirectionIsInvertedExceptOnHardwareSevenToNine)
{
    struct Case
    {
        int hardware;
        bool inverted;
    };
    const Case cases[] = {{42, true}, {8, false}, {7, false}, {9, false}, {10, true}, {6, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hardware);
        MeterBench bench(c.hardware);
        bench.firmware.setRegisters(0x1E, {0x55});
        bench.open(true);
        const std::string reported = c.inverted ? "0" : "1";

        bench.device->doQueryTorqueDirection();
        ASSERT_TRUE(bench.rig.runUntil([&] { return bench.recorder.events.size() == 1; }, 5000));
        bench.device->setTorqueDirection(true);
        ASSERT_TRUE(bench.rig.runUntil([&] { return bench.recorder.events.size() == 2; }, 10000));

        EXPECT_EQ(bench.recorder.events, (std::vector<std::string>{"torqueDirectionReceived " + reported,
                                                                   "torqueDirectionChanged"}));
        // Bit 6 holds the new direction; the other bits stay.
        EXPECT_EQ(bench.firmware.registers(0x1E, 1),
                  Bytes{static_cast<unsigned char>(c.inverted ? 0x15 : 0x55)});
        EXPECT_EQ(bench.firmware.lockedWrites(), 0);
    }
}

// The cadence direction can be read except on hardware 7 to 9 with software revision 20 to 28, and
// set only on hardware 42 to 46 or from software revision 28, and never where it cannot be read. The
// same revisions decide the meter's family and direction capability.
TEST(VelonixPowerMeterDeviceTest, CadenceDirectionGatesAndProductClasses)
{
    struct Case
    {
        int hardware;
        int software;
        bool readable;
        bool writable;
        int family;
        int directionCapability;
    };
    const Case cases[] = {
        {8, 28, false, false, 0, 1}, {8, 29, true, true, 0, 2},   {8, 20, false, false, 0, 1},
        {7, 19, true, false, 0, 2},  {44, 5, true, true, 1, 2},   {46, 25, true, true, 1, 2},
        {30, 28, true, true, 2, 2},  {30, 27, true, false, 2, 2}, {47, 27, true, false, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("hardware " + std::to_string(c.hardware) + " software " + std::to_string(c.software));
        MeterBench bench(c.hardware, c.software);
        bench.firmware.setRegisters(0x39, {0x81});
        bench.open(true);
        EXPECT_EQ(bench.device->getPowerMeterDeviceFamily(), c.family);
        EXPECT_EQ(bench.device->getDirectionCapability(), c.directionCapability);
        LogCapture log;

        bench.device->doQueryCadenceDirection();
        bench.rig.run(2000);
        EXPECT_EQ(bench.recorder.events, c.readable ? std::vector<std::string>{"cadenceDirectionReceived 1"}
                                                    : std::vector<std::string>{});
        EXPECT_EQ(logged(log, kCadenceDirectionQueryWarning), !c.readable);

        bench.recorder.events.clear();
        bench.device->setCadenceDirection(false);
        bench.rig.run(5000);
        EXPECT_EQ(bench.recorder.events, c.writable ? std::vector<std::string>{"cadenceDirectionChanged"}
                                                    : std::vector<std::string>{});
        EXPECT_EQ(logged(log, kCadenceDirectionSetWarning), !c.writable);
        EXPECT_EQ(bench.firmware.registers(0x39, 1),
                  Bytes{static_cast<unsigned char>(c.writable ? 0x01 : 0x81)});
        EXPECT_EQ(bench.commandsReceived().size(), (c.readable ? 1u : 0u) + (c.writable ? 3u : 0u));
    }
}

// The meter's model comes from the low six bits of the manufacturer model number it sends; until
// that has arrived the meter is of the common kind.
TEST(VelonixPowerMeterDeviceTest, TheModelNumberTellsWhatTheMeterHas)
{
    struct Case
    {
        const char* name;
        int manufacturerModel;
        int type;
        int strainGauges;
        int calibrationReadings;
        bool powerBalance;
        bool chainringRegisters;
        bool ble;
    };
    const Case cases[] = {
        {"common kind", 3, 3, 5, 6, true, false, false},
        {"no power balance", 1, 1, 5, 6, false, false, false},
        {"KV7", 5, 5, 4, 4, true, true, false},
        {"KV7 with high bits set", 0x1C5, 5, 4, 4, true, true, false},
        {"BLE", 7, 7, 5, 6, true, false, true},
        {"type 0 under high bits", 0x40, 0, 5, 6, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterBench bench;
        bench.meter.product.model = c.manufacturerModel;
        bench.open();
        const vant::device::PowerMeterModel before = bench.device->getPowerMeterModel();
        EXPECT_EQ(before.type, 0);
        EXPECT_EQ(before.strainGauges, 5);
        EXPECT_EQ(before.calibrationReadings, 6);
        ASSERT_TRUE(bench.rig.runUntil([&] { return bench.device->getManufacturerModel() != 0; }, 30000));

        const vant::device::PowerMeterModel model = bench.device->getPowerMeterModel();
        EXPECT_EQ(bench.device->getPowerMeterType(), c.type);
        EXPECT_EQ(model.type, c.type);
        EXPECT_EQ(bench.device->getStrainGaugeCount(), c.strainGauges);
        EXPECT_EQ(model.calibrationReadings, c.calibrationReadings);
        EXPECT_EQ(model.powerBalance, c.powerBalance);
        EXPECT_EQ(model.chainringRegisters, c.chainringRegisters);
        EXPECT_EQ(model.ble, c.ble);
    }
}

// Only the completion of a command message moves a sequence on: completions with nothing sent
// serve nothing, a step that finishes an item sends nothing so the next item waits for another
// command's completion, and the channel's return to the open state serves the step as a completion.
TEST(VelonixPowerMeterDeviceTest, OnlyACompletedCommandMessageServesTheNextStep)
{
    MeterBench bench;
    bench.open();
    VelonixPowerMeterDevice& device = *bench.device;
    AntChannel* channel = bench.channel();
    bench.rig.radio->clearSent();

    device.transmitComplete(channel);
    EXPECT_TRUE(bench.hostSent().empty());

    device.setSlope(12.5f, false);
    device.setOffset(-3, true);
    const Bytes slopeWrite = {0xF0, 0x05, 0x00, 0x09, 0x03, 0x0C, 0x80, 0x00};
    const Bytes offsetWrite = {0xF0, 0x05, 0x00, 0x30, 0x02, 0xFD, 0xFF, 0x00};
    EXPECT_EQ(bench.hostSent(), (std::vector<Bytes>{kUnlock, kUnlock}));

    device.transmitComplete(channel);
    device.transmitComplete(channel);
    device.transmitComplete(channel);
    EXPECT_EQ(bench.hostSent(), (std::vector<Bytes>{kUnlock, kUnlock, slopeWrite, kUnlock}));
    EXPECT_EQ(bench.recorder.events, std::vector<std::string>{"slopeChanged 0"});

    // The slope's last step sent nothing: the offset waits.
    device.transmitComplete(channel);
    device.transmitComplete(channel);
    EXPECT_EQ(bench.hostSent().size(), 4u);

    // A read is a command message too.
    device.doQueryCadence();
    device.transmitComplete(channel);
    const Bytes cadenceRead = {0xF0, 0x04, 0x00, 0x3D, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(bench.hostSent(),
              (std::vector<Bytes>{kUnlock, kUnlock, slopeWrite, kUnlock, cadenceRead, offsetWrite}));

    // The write's completion is lost; the channel finds the meter again.
    device.stateChanged(channel, AntChannel::STATE_SEARCHING, AntChannel::STATE_OPEN);
    EXPECT_EQ(bench.hostSent().back(), kUnlock);
    device.transmitComplete(channel);
    EXPECT_EQ(bench.recorder.events, (std::vector<std::string>{"slopeChanged 0", "offsetChanged 1"}));
    EXPECT_EQ(bench.hostSent().size(), 7u);

    // Losing the channel does not end the device.
    device.stateChanged(channel, AntChannel::STATE_OPEN, AntChannel::STATE_SEARCHING);
    EXPECT_EQ(bench.recorder.events.size(), 2u);
}

// An unanswered read goes again once more than 3000 ms of update time have passed since it was
// sent, even when it was sent before the first update, and again every 3 s until answered. With two
// reads in flight a reply goes to the first pending one in the device's order, and the other still
// gets resent.
TEST(VelonixPowerMeterDeviceTest, UnansweredReadsAreResent)
{
    MeterBench bench;
    bench.open();
    VelonixPowerMeterDevice& device = *bench.device;
    AntChannel* channel = bench.channel();
    bench.rig.radio->clearSent();
    LogCapture log;
    const Bytes slopeRead = {0xF0, 0x04, 0x00, 0x21, 0x03, 0x00, 0x00, 0x00};

    device.doQuerySlope(true);
    device.update(channel, 3000);
    EXPECT_EQ(bench.hostSent(), std::vector<Bytes>{slopeRead});
    device.update(channel, 1);
    EXPECT_EQ(bench.hostSent(), (std::vector<Bytes>{slopeRead, slopeRead}));
    EXPECT_TRUE(logged(log, "Burst receive timeout, resending"));
    for (int i = 0; i < 2; ++i) {
        device.update(channel, 1500);
        device.update(channel, 1501);
    }
    EXPECT_EQ(bench.hostSent().size(), 4u);

    // Answered once its message went out: no more resends. A second copy of the reply finds no read
    // waiting and is dropped.
    device.transmitComplete(channel);
    EXPECT_TRUE(reply(device, channel, packet({0x0C, 0x80, 0x00})));
    EXPECT_FALSE(reply(device, channel, packet({0x0C, 0x80, 0x00})));
    EXPECT_TRUE(logged(log, "VelonixPowerMeterDevice: reply with no read waiting dropped: 12,128,0"));
    device.update(channel, 10000);
    EXPECT_EQ(bench.hostSent().size(), 4u);
    EXPECT_EQ(bench.recorder.events, std::vector<std::string>{"slopeReceived 12.5 1"});

    // A slope reply whose first two bytes are 0xFF is dropped.
    bench.recorder.events.clear();
    device.doQuerySlope(false);
    device.transmitComplete(channel);
    EXPECT_FALSE(reply(device, channel, packet({0xFF, 0xFF, 0x00})));
    EXPECT_TRUE(bench.recorder.events.empty());
}

// The meter's reply names no register: one read is in flight at a time, and each reply goes to the
// read that asked for it. The next read goes out when the one before is answered or timed out; a
// reply before the read's message went out, or with no read in flight, is no read's answer.
TEST(VelonixPowerMeterDeviceTest, OneReadInFlightTakesEachReply)
{
    MeterBench bench;
    bench.open();
    VelonixPowerMeterDevice& device = *bench.device;
    AntChannel* channel = bench.channel();
    bench.rig.radio->clearSent();
    const Bytes modeRead = {0xF0, 0x04, 0x00, 0x3E, 0x01, 0x00, 0x00, 0x00};
    const Bytes cadenceRead = {0xF0, 0x04, 0x00, 0x3D, 0x01, 0x00, 0x00, 0x00};

    // Mode asked first, cadence second: the cadence read waits for the mode's answer.
    device.doQueryMode();
    device.doQueryCadence();
    device.doQueryMode(); // asked again while waiting: nothing more is sent or answered
    EXPECT_EQ(bench.hostSent(), std::vector<Bytes>{modeRead});
    EXPECT_FALSE(reply(device, channel, packet({3}))) << "before the read went out";
    device.transmitComplete(channel);
    EXPECT_TRUE(reply(device, channel, packet({7})));
    EXPECT_EQ(bench.recorder.events, std::vector<std::string>{"modeReceived 7"});
    EXPECT_EQ(bench.hostSent(), (std::vector<Bytes>{modeRead, cadenceRead}));
    EXPECT_FALSE(reply(device, channel, packet({7}))) << "the mode's reply sent twice";
    device.transmitComplete(channel);
    EXPECT_TRUE(reply(device, channel, packet({9})));
    EXPECT_EQ(bench.recorder.events, (std::vector<std::string>{"modeReceived 7", "cadenceReceived 9"}));

    // A read the meter does not answer goes behind the others when it times out, and is sent again.
    bench.recorder.events.clear();
    bench.rig.radio->clearSent();
    device.doQueryMode();
    device.doQueryCadence();
    device.update(channel, 3001);
    EXPECT_EQ(bench.hostSent(), (std::vector<Bytes>{modeRead, cadenceRead}));
    device.transmitComplete(channel);
    EXPECT_TRUE(reply(device, channel, packet({5})));
    EXPECT_EQ(bench.hostSent().back(), modeRead);
    device.transmitComplete(channel);
    EXPECT_TRUE(reply(device, channel, packet({6})));
    EXPECT_EQ(bench.recorder.events, (std::vector<std::string>{"cadenceReceived 5", "modeReceived 6"}));
}

// Reads asked back to back of the simulated meter, with replies lost or sent twice:
// every listener call carries the register it names.
TEST(VelonixPowerMeterDeviceTest, ReadsOfTheMeterGetTheirOwnRegisters)
{
    struct Case
    {
        const char* what;
        bool twice; // every reply of the meter reaches the host twice
        int lose;   // the first replies lost
    };
    const Case cases[] = {
        {"every reply delivered", false, 0},
        {"every reply sent twice", true, 0},
        {"the first reply lost", false, 1},
        {"the first two replies lost, the others sent twice", true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Declared first: the stick asks it until the bench is gone.
        int lost = c.lose;
        MeterBench bench;
        bench.firmware.setRegisters(0x09, {0x0C, 0x80, 0x00}); // user slope 12.5
        bench.firmware.setRegisters(0x21, {0x14, 0x00, 0x00}); // factory slope 20
        bench.firmware.setRegisters(0x60, {0x41, 0x02, 0x22, 0x41, 0x02, 0x24});
        bench.firmware.setRegisters(0x3D, {0x0C, 0x00});
        bench.open();
        bench.rig.radio->toHost = [&](support::SimulatedStickRadio::Message& m) {
            // The first packet of a burst carries the reply.
            if (m.id != 0x50 || (m.payload[0] & 0xE0) != 0) {
                return 1;
            }
            if (lost > 0) {
                --lost;
                return 0;
            }
            return c.twice ? 2 : 1;
        };
        VelonixPowerMeterDevice& device = *bench.device;
        device.queryRegister(0x60, 6);
        device.doQueryCadenceMode();
        device.doQuerySlope(true);
        device.doQuerySlope(false);
        ASSERT_TRUE(bench.rig.runUntil([&] { return bench.recorder.events.size() >= 4; }, 30000));
        bench.rig.run(4000);
        // A lost reply's read is asked again after the others: each answered once, in any order.
        std::vector<std::string> events = bench.recorder.events;
        std::sort(events.begin(), events.end());
        EXPECT_EQ(events, (std::vector<std::string>{"cadenceModeReceived 12 0",
                                                    "registerReceived 96 6: 65 2 34 65 2 36",
                                                    "slopeReceived 12.5 0", "slopeReceived 20 1"}));
    }
}

// A bit setting takes only the reply to its own read: a plain read of the same register answered
// meanwhile is reported, not written back. A listener may start the next setting from the callback
// that ends one.
TEST(VelonixPowerMeterDeviceTest, BitSettingTakesOnlyItsOwnReadAndMayBeChained)
{
    MeterBench bench;
    bench.open();
    VelonixPowerMeterDevice& device = *bench.device;
    AntChannel* channel = bench.channel();
    bench.rig.radio->clearSent();
    bench.recorder.onEvent = [&](const std::string& event) {
        if (event == "pedalBalanceChanged") {
            device.setDirection(true);
        }
    };

    device.doQueryAutozero();
    device.setPedalBalance(true);
    device.transmitComplete(channel); // serves the setting: its read of 0x39 waits for the autozero's
    EXPECT_TRUE(reply(device, channel, packet({0x81})));
    EXPECT_EQ(bench.recorder.events, std::vector<std::string>{"autozeroReceived 1"});
    EXPECT_EQ(bench.hostSent().back(), (Bytes{0xF0, 0x04, 0x00, 0x39, 0x01, 0x00, 0x00, 0x00}));
    device.transmitComplete(channel);
    EXPECT_TRUE(reply(device, channel, packet({0x81})));
    EXPECT_EQ(bench.hostSent().back(), (Bytes{0xF0, 0x05, 0x00, 0x39, 0x01, 0x89, 0x00, 0x00}));

    device.transmitComplete(channel);
    EXPECT_EQ(bench.recorder.events, (std::vector<std::string>{"autozeroReceived 1", "pedalBalanceChanged"}));
    EXPECT_EQ(bench.hostSent().back(), kUnlock) << "the direction setting started";
    device.transmitComplete(channel);
    EXPECT_EQ(bench.hostSent().back(), (Bytes{0xF0, 0x04, 0x00, 0x1E, 0x01, 0x00, 0x00, 0x00}));
    device.transmitComplete(channel);
    EXPECT_TRUE(reply(device, channel, packet({0x01})));
    EXPECT_EQ(bench.hostSent().back(), (Bytes{0xF0, 0x05, 0x00, 0x1E, 0x01, 0x41, 0x00, 0x00}));
    device.transmitComplete(channel);
    EXPECT_EQ(bench.recorder.events.back(), "directionChanged");
}

// Values that the meter's registers or messages cannot carry are refused with an error and send
// nothing; so is every command without a channel or while an upload runs, and no read is resent then.
TEST(VelonixPowerMeterDeviceTest, RefusedCommands)
{
    unsigned char data[3] = {1, 2, 3};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<std::function<void(VelonixPowerMeterDevice&)>> badValues = {
        [&](VelonixPowerMeterDevice& d) { d.setRegister(0x60, 0, data); },
        [&](VelonixPowerMeterDevice& d) { d.setRegister(0x60, 4, data); },
        [&](VelonixPowerMeterDevice& d) { d.setRegister(0x60, 3, nullptr); },
        [&](VelonixPowerMeterDevice& d) { d.setRegister(0x100, 1, data); },
        [](VelonixPowerMeterDevice& d) { d.queryRegister(0x60, 0); },
        [](VelonixPowerMeterDevice& d) { d.queryRegister(0x60, 9); },
        [](VelonixPowerMeterDevice& d) { d.queryRegister(0, 1); },
        [](VelonixPowerMeterDevice& d) { d.setSlope(-1.0f, false); },
        [](VelonixPowerMeterDevice& d) { d.setSlope(256.0f, false); },
        [nan](VelonixPowerMeterDevice& d) { d.setSlope(nan, true); },
        [](VelonixPowerMeterDevice& d) { d.setOffset(32768, false); },
        [](VelonixPowerMeterDevice& d) { d.setOffset(-32769, true); },
        [](VelonixPowerMeterDevice& d) { d.setCadence(256); },
        [](VelonixPowerMeterDevice& d) { d.setMode(-1); },
        [](VelonixPowerMeterDevice& d) { d.setCadenceMode(1, 300); },
    };
    MeterBench bench;
    bench.open();
    VelonixPowerMeterDevice& device = *bench.device;
    AntChannel* channel = bench.channel();
    bench.rig.radio->clearSent();
    for (size_t i = 0; i < badValues.size(); ++i) {
        SCOPED_TRACE(i);
        LogCapture log;
        badValues[i](device);
        device.transmitComplete(channel);
        EXPECT_TRUE(bench.hostSent().empty());
        const auto& entries = log.listener.entries;
        EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const auto& entry) {
            return entry.level == rezezaz::core::Logger::ERROR;
        }));
    }
    // A packet too short to hold a reply is not taken.
    device.doQueryMode();
    Bytes shortPacket = {0, 5};
    EXPECT_FALSE(device.handleBurstData(channel, shortPacket.data(), 2));
    bench.rig.radio->clearSent();

    // Everything a page may call, and the resend of the pending mode read.
    const std::function<void(VelonixPowerMeterDevice&)> everything = [&](VelonixPowerMeterDevice& d) {
        d.doQueryAutozero();
        d.doQuerySlope(true);
        d.doQueryOffset(false);
        d.doQueryTorqueDirection();
        d.doQueryCadenceDirection();
        d.doQueryPedalBalance();
        d.doQueryDirection();
        d.doQueryCadence();
        d.doQueryMode();
        d.doQueryCadenceMode();
        d.queryRegister(0x42, 6);
        d.setAutozero(1);
        d.setSlope(12.0f, true);
        d.setOffset(5, false);
        d.setTorqueDirection(true);
        d.setCadenceDirection(true);
        d.setPedalBalance(true);
        d.setDirection(false);
        d.setCadence(1);
        d.setMode(1);
        d.setCadenceMode(1, 1);
        d.setRegister(0x60, 3, data);
        d.doQueryBootload();
        d.changeBootload();
        d.powerMeterLock(false);
        d.update(nullptr, 10000);
    };

    // During an upload, on a meter found in its bootloader, with a read pending from before. The
    // upload's own first message is the only one sent afterwards.
    MeterRecorder uploadRecorder;
    IntrusivePointer<VelonixPowerMeterDevice> uploading =
        new VelonixPowerMeterDevice(kMeter, bench.rig.manager.get(), 0, true);
    uploading->addPowerMeterDeviceListener(&uploadRecorder);
    uploading->doQuerySlope(true);
    std::vector<unsigned char> image(0x10000, 0xFF);
    uploading->bootloadData(0, 0xC000, image.data());
    const size_t uploadMessages = bench.hostSent().size();
    ASSERT_EQ(uploadMessages, 2u) << "the read and the first erase";
    everything(*uploading);
    uploading->startSleep(); // stays queued, without an unlock
    EXPECT_EQ(bench.hostSent().size(), uploadMessages);
    EXPECT_TRUE(uploadRecorder.events.empty());
    uploading->destroy();

    // Without a channel.
    IntrusivePointer<VelonixPowerMeterDevice> unbound =
        new VelonixPowerMeterDevice(kMeter, nullptr, 0, false);
    MeterRecorder unboundRecorder;
    unbound->addPowerMeterDeviceListener(&unboundRecorder);
    everything(*unbound);
    unbound->startSleep();
    EXPECT_TRUE(unboundRecorder.events.empty());
    unbound->destroy();
}

// Listeners are called in the order added, twice when added twice; removing one takes its first
// occurrence from the power-meter list and the sport-device list alike.
TEST(VelonixPowerMeterDeviceTest, ListenersInOrderAndRemovedFromBothLists)
{
    // Declared first: they outlive the device, which reports `closed` at its end.
    std::vector<std::string> calls;
    MeterRecorder first;
    MeterRecorder second;
    MeterBench bench;
    bench.open();
    VelonixPowerMeterDevice& device = *bench.device;
    AntChannel* channel = bench.channel();
    device.removePowerMeterDeviceListener(&bench.recorder);

    first.onEvent = [&](const std::string& event) { calls.push_back("first " + event); };
    second.onEvent = [&](const std::string& event) { calls.push_back("second " + event); };
    device.addPowerMeterDeviceListener(&first);
    device.addPowerMeterDeviceListener(&second);
    device.addPowerMeterDeviceListener(&first);
    device.doQueryCadence();
    device.transmitComplete(channel);
    reply(device, channel, packet({3}));
    EXPECT_EQ(calls, (std::vector<std::string>{"first cadenceReceived 3", "second cadenceReceived 3",
                                               "first cadenceReceived 3"}));

    calls.clear();
    device.removePowerMeterDeviceListener(&first);
    device.doQueryCadence();
    device.transmitComplete(channel);
    reply(device, channel, packet({4}));
    EXPECT_EQ(calls, (std::vector<std::string>{"second cadenceReceived 4", "first cadenceReceived 4"}));

    // The sport-device side: decoded pages, as listed now.
    device.removePowerMeterDeviceListener(&first);
    const int secondData = second.dataCount;
    bench.rig.run(2000);
    EXPECT_EQ(first.dataCount, 0);
    EXPECT_GT(second.dataCount, secondData);
}

// The toolkit sets the process locale from the user's; log lines still write numbers with a point.
TEST(VelonixPowerMeterDeviceLog, NumbersInLogLinesIgnoreTheUsersLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "the German locale is not installed";
    char german[16];
    std::snprintf(german, sizeof german, "%.1f", 2.5);
    EXPECT_STREQ(german, "2,5");
    {
        LogCapture log;
        MeterBench bench;
        bench.open();
        bench.device->setSlope(300.5f, false);
        bench.rig.manager->logf(rezezaz::core::Logger::DEBUG, "ratio %f", 2.5);
        EXPECT_TRUE(logged(log, "VelonixPowerMeterDevice::setSlope refused: 300.500000 is outside 0 to 256"));
        EXPECT_TRUE(logged(log, "ratio 2.500000"));
    }
    std::setlocale(LC_ALL, previous.c_str());
}

} // namespace
} // namespace vant::device

#include "ant/device/SportDevice.h"

#include "MeterRig.h"
#include "ant/AntChannel.h"
#include "ant/search/SportDeviceSearch.h"
#include "support/SimulatedPowerMeter.h"

#include <gtest/gtest.h>

#include <vector>

namespace vant::device {
namespace {

using rezezaz::core::IntrusivePointer;
using support::Bytes;
using support::SimulatedAntChip;
using support::SimulatedPowerMeter;
using vant::ant::AntChannel;
using vant::test::DeviceRecorder;
using vant::test::MeterRig;
using vant::test::SearchRecorder;
using Calibration = DeviceRecorder::Calibration;

constexpr int kMeter = 1234;

// Mask bits of the power decoder's pages.
constexpr int kBatteryBits = 0x2;
constexpr int kManufacturerBits = 0x1C;
constexpr int kProductBits = 0x60;
constexpr int kPowerBits = 0x10000;
constexpr int kTorqueBits = 0x1C0000;

// Answers the ANT+ calibration request and the request for the calibration page as a power meter
// does: with the calibration page carrying `answer` and `value`, as a broadcast or acknowledged.
class CalibrationAnswers : public support::MeterCommandHandler
{
public:
    bool acknowledgedReceived(SimulatedPowerMeter& meter, const Bytes& data) override
    {
        const bool zeroRequest = data[0] == 0x01 && data[1] == 0xAA;
        const bool pageRequest = data[0] == 0x46 && data[6] == 0xAC;
        if (!zeroRequest && !pageRequest) {
            return false;
        }
        const Bytes page = {0x01,
                            answer,
                            0xFF,
                            0xFF,
                            0xFF,
                            0xFF,
                            static_cast<unsigned char>(value & 0xFF),
                            static_cast<unsigned char>((value >> 8) & 0xFF)};
        if (acknowledged) {
            meter.sendAcknowledged(page);
        } else {
            meter.queuePage(page);
        }
        return true;
    }

    unsigned char answer = 0xAC;
    int value = 0;
    bool acknowledged = false;
};

// A device that says when it is gone.
class WatchedDevice : public SportDevice
{
public:
    WatchedDevice(int number, int type, vant::ant::AntManager* manager, int channel, bool* deleted)
        : SportDevice(number, type, manager, channel), mDeleted(deleted)
    {}
    ~WatchedDevice() override { *mDeleted = true; }

private:
    bool* mDeleted;
};

class SportDeviceTest : public ::testing::Test
{
protected:
    SportDeviceTest() { meter = &rig.radio->addMeter(kMeter); }

    // A device on channel 0, opened on the meter.
    void openDevice(int type = 11)
    {
        ASSERT_TRUE(rig.openByNumber(kMeter));
        device = new SportDevice(kMeter, type, rig.manager.get(), 0);
        device->addSportDeviceListener(&recorder);
    }

    MeterRig rig;
    SimulatedPowerMeter* meter = nullptr;
    DeviceRecorder recorder;
    IntrusivePointer<SportDevice> device;
};

TEST_F(SportDeviceTest, PowerMeterReportsEveryDecodedPageWithTheFieldsReceivedSoFar)
{
    openDevice();
    meter->readings.power = 230;

    // Long enough for every common page to come round.
    rig.run(10000);

    ASSERT_FALSE(recorder.masks.empty());
    for (size_t i = 1; i < recorder.masks.size(); ++i) {
        EXPECT_EQ(recorder.masks[i] & recorder.masks[i - 1], recorder.masks[i - 1]) << "report " << i;
    }
    const int expected = kBatteryBits | kManufacturerBits | kProductBits | kPowerBits | kTorqueBits;
    EXPECT_EQ(recorder.masks.back() & expected, expected);

    int power = 0;
    ASSERT_TRUE(device->sportData->getField(&power, 17));
    EXPECT_EQ(power, 230);
    EXPECT_EQ(device->getManufacturerVersion(), meter->product.hardwareRevision);
    EXPECT_EQ(device->getManufacturerModel(), meter->product.model);
    EXPECT_EQ(recorder.openedCount, 0);
    EXPECT_EQ(recorder.closedCount, 0);
    device->destroy();
}

TEST_F(SportDeviceTest, TypeWithoutDecoderReportsNothing)
{
    openDevice(119);
    rig.run(10000);

    EXPECT_EQ(device->sportData, nullptr);
    EXPECT_TRUE(recorder.masks.empty());
    EXPECT_EQ(device->getManufacturerVersion(), 0);
    EXPECT_EQ(device->getManufacturerModel(), 0);
    device->destroy();
}

TEST_F(SportDeviceTest, CalibrationRequestsAndTheMetersAnswers)
{
    struct Case
    {
        const char* name;
        bool zero; // requestCalibrate(), else requestCalibratePass() alone
        unsigned char answer;
        int value;
        bool acknowledged;
        std::vector<Calibration> reported;
        int zeroOffset; // field 23 afterwards; kUnset when not served
    };
    constexpr int kUnset = -99999;
    const Case cases[] = {
        {"passed, as a broadcast", true, 0xAC, 16, false, {{true, 16}}, kUnset},
        {"passed, acknowledged", true, 0xAC, -300, true, {{true, -300}}, kUnset},
        {"failed", true, 0xAF, 0xFFFF, false, {{false, -1}}, kUnset},
        // Nothing pending: the page goes to the decoder instead.
        {"page request alone", false, 0xAC, 32, false, {}, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterRig caseRig;
        SimulatedPowerMeter& caseMeter = caseRig.radio->addMeter(kMeter);
        CalibrationAnswers answers;
        answers.answer = c.answer;
        answers.value = c.value;
        answers.acknowledged = c.acknowledged;
        caseMeter.addHandler(&answers);
        ASSERT_TRUE(caseRig.openByNumber(kMeter));
        DeviceRecorder caseRecorder;
        IntrusivePointer<SportDevice> caseDevice = new SportDevice(kMeter, 11, caseRig.manager.get(), 0);
        caseDevice->addSportDeviceListener(&caseRecorder);

        if (c.zero) {
            caseDevice->requestCalibrate();
        } else {
            caseDevice->requestCalibratePass();
        }
        caseRig.run(3000);

        const Bytes request = c.zero ? Bytes{0x01, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}
                                     : Bytes{0x46, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0xAC, 0x01};
        EXPECT_EQ(caseMeter.acknowledgedReceived(), std::vector<Bytes>{request});
        EXPECT_EQ(caseRecorder.calibrations, c.reported);
        int offset = kUnset;
        caseDevice->sportData->getField(&offset, 23);
        EXPECT_EQ(offset, c.zeroOffset);

        // A later answer finds nothing pending.
        caseDevice->requestCalibratePass();
        caseRig.run(3000);
        EXPECT_EQ(caseRecorder.calibrations, c.reported);
        caseDevice->destroy();
    }
}

TEST_F(SportDeviceTest, MeterFallingSilentClosesTheDeviceOnceAndItsOwnerMayLetGoThen)
{
    bool deleted = false;
    ASSERT_TRUE(rig.openByNumber(kMeter));
    device = new WatchedDevice(kMeter, 11, rig.manager.get(), 0, &deleted);
    device->addSportDeviceListener(&recorder);
    // As the main window does: the last reference goes from inside `closed`.
    recorder.onClosed = [&](SportDevice*) { device = nullptr; };
    rig.run(2000);
    ASSERT_FALSE(recorder.masks.empty());

    meter->setSilent(true);
    ASSERT_TRUE(rig.runUntil([&] { return recorder.closedCount > 0; }, 10000));
    EXPECT_TRUE(deleted);
    const size_t reports = recorder.masks.size();

    // The meter comes back: the channel left behind is not the device's any more.
    meter->setSilent(false);
    rig.run(20000);
    EXPECT_EQ(recorder.closedCount, 1);
    EXPECT_EQ(recorder.masks.size(), reports);
}

TEST_F(SportDeviceTest, DestroyLetsGoOfTheChannelAndClosesOnce)
{
    openDevice();
    rig.run(1000);
    IntrusivePointer<AntChannel> channel = rig.manager->getChannel(0, -1);

    device->destroy();
    device->destroy();
    EXPECT_EQ(recorder.closedCount, 1);

    const size_t reports = recorder.masks.size();
    ASSERT_TRUE(rig.runUntil([&] { return channel->getState() == AntChannel::STATE_UNASSIGNED; }, 3000));
    EXPECT_EQ(rig.radio->chip().channelState(0), SimulatedAntChip::ChannelState::Unassigned);
    EXPECT_EQ(recorder.masks.size(), reports);

    // Nothing goes out for a device without its channel.
    rig.radio->clearSent();
    device->requestCalibrate();
    device->requestCalibratePass();
    rig.run(500);
    EXPECT_TRUE(rig.sent(0x4F).empty());
    // Released from outside a callback: destroy() does not run a second time.
    device = nullptr;
    EXPECT_EQ(recorder.closedCount, 1);
}

TEST_F(SportDeviceTest, SlotWithoutAChannelGivesADeviceThatSendsNothing)
{
    for (int slot : {2, 7, -1}) {
        SCOPED_TRACE(slot);
        DeviceRecorder slotRecorder;
        IntrusivePointer<SportDevice> slotDevice = new SportDevice(kMeter, 11, rig.manager.get(), slot);
        slotDevice->addSportDeviceListener(&slotRecorder);
        rig.radio->clearSent();

        slotDevice->requestCalibrate();
        slotDevice->requestCalibratePass();
        rig.run(500);
        EXPECT_TRUE(rig.radio->sent().empty());

        slotDevice = nullptr;
        EXPECT_EQ(slotRecorder.closedCount, 1);
    }
}

} // namespace
} // namespace vant::device

// The ANT manager, its channels and a power-meter device on channel 0, fed whatever a stick might
// send, mixed with every call the pages make on the device, with time passing in between and the
// stick going away and coming back. The input is a script: each op byte picks a stick message
// (its id, length and payload follow), a device call (its arguments follow), a pump of the
// manager, or a loss of the stick. Nothing may crash, hang or touch memory it does not own.
#include "ant/AntChannel.h"
#include "ant/AntRadio.h"
#include "ant/AntRadioListener.h"
#include "ant/AntRadioManager.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/Object.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

using rezezaz::core::IntrusivePointer;
using vant::ant::AntRadioListener;
using vant::ant::AntRadioManager;
using vant::device::VelonixPowerMeterDevice;

namespace {

// Reads the script; past its end every read gives 0.
class Script
{
public:
    Script(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    bool more() const { return mAt < mSize; }
    uint8_t byte() { return mAt < mSize ? mData[mAt++] : 0; }
    int word() { return byte() | byte() << 8; }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mAt = 0;
};

// A stick that says what the script says: each update hands on the oldest message the script
// queued, in a buffer exactly as long as the message.
class ScriptedRadio : public rezezaz::core::Object, public vant::ant::AntRadio
{
public:
    explicit ScriptedRadio(int apVersion) : mApVersion(apVersion) {}

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    bool create() override
    {
        mConnected = true;
        if (mListener) {
            mListener->stateChanged(true);
        }
        return true;
    }
    void destroy() override
    {
        mConnected = false;
        mToHost.clear();
        if (mListener) {
            mListener->stateChanged(false);
        }
    }
    bool start() override { return true; }
    void stop() override {}
    int version() override { return 1; }
    int apVersion() override { return mApVersion; }
    bool state() override { return mConnected; }
    void sendMessage(int, unsigned char*, int) override {}
    void update() override
    {
        if (!mListener || mToHost.empty()) {
            return;
        }
        const std::vector<unsigned char> message = mToHost.front();
        mToHost.pop_front();
        const int length = static_cast<int>(message.size()) - 1;
        std::unique_ptr<unsigned char[]> payload(new unsigned char[length > 0 ? length : 1]);
        std::memcpy(payload.get(), message.data() + 1, static_cast<size_t>(length));
        mListener->messageReceived(message[0], payload.get(), length);
    }
    void setListener(AntRadioListener* listener) override { mListener = listener; }

    void queue(std::vector<unsigned char> message) { mToHost.push_back(std::move(message)); }
    void lose()
    {
        mConnected = false;
        mToHost.clear();
        if (mListener) {
            mListener->stateChanged(false);
        }
    }

private:
    int mApVersion;
    bool mConnected = false;
    AntRadioListener* mListener = nullptr;
    std::deque<std::vector<unsigned char>> mToHost;
};

// The ids a stick sends, and a byte of the script's own now and then.
const unsigned char IDS[] = {0x40, 0x4E, 0x4F, 0x50, 0x51, 0x3E, 0x54, 0x6F, 0x5D, 0x5E, 0x5F, 0xAE};

void callDevice(VelonixPowerMeterDevice& device, Script& script, std::vector<unsigned char>& image)
{
    switch (script.byte() % 32) {
    case 0:
        device.doQueryAutozero();
        break;
    case 1:
        device.doQuerySlope(script.byte() & 1);
        break;
    case 2:
        device.doQueryOffset(script.byte() & 1);
        break;
    case 3:
        device.doQueryTorqueDirection();
        break;
    case 4:
        device.doQueryCadenceDirection();
        break;
    case 5:
        device.doQueryPedalBalance();
        break;
    case 6:
        device.doQueryDirection();
        break;
    case 7:
        device.doQueryCadence();
        break;
    case 8:
        device.doQueryMode();
        break;
    case 9:
        device.doQueryCadenceMode();
        break;
    case 10: {
        const int location = script.byte();
        device.queryRegister(location, script.byte() % 64);
        break;
    }
    case 11:
        device.setAutozero(script.byte());
        break;
    case 12: {
        const int raw = script.word() | script.word() << 16;
        float slope;
        std::memcpy(&slope, &raw, sizeof slope);
        device.setSlope(slope, script.byte() & 1);
        break;
    }
    case 13: {
        const int offset = static_cast<int16_t>(script.word());
        device.setOffset(offset, script.byte() & 1);
        break;
    }
    case 14:
        device.setTorqueDirection(script.byte() & 1);
        break;
    case 15:
        device.setCadenceDirection(script.byte() & 1);
        break;
    case 16:
        device.setPedalBalance(script.byte() & 1);
        break;
    case 17:
        device.setDirection(script.byte() & 1);
        break;
    case 18:
        device.setCadence(script.byte());
        break;
    case 19:
        device.setMode(script.byte());
        break;
    case 20: {
        const int cadence = script.byte();
        device.setCadenceMode(cadence, script.byte());
        break;
    }
    case 21: {
        const int location = script.byte();
        const int length = script.byte() % 64;
        std::vector<unsigned char> data(static_cast<size_t>(length) + 1);
        for (unsigned char& b : data) {
            b = script.byte();
        }
        device.setRegister(location, length, data.data());
        break;
    }
    case 22:
        device.doQueryBootload();
        break;
    case 23:
        device.startSleep();
        break;
    case 24:
        device.powerMeterLock(script.byte() & 1);
        break;
    case 25:
        device.getPowerMeterDeviceFamily();
        device.getPowerMeterType();
        device.getStrainGaugeCount();
        device.getDirectionCapability();
        device.getBootload();
        break;
    case 26:
        device.changeBootload();
        break;
    case 27: {
        for (size_t i = 0; i < 64; ++i) {
            image[(static_cast<size_t>(script.word()) + i) % image.size()] = script.byte();
        }
        device.bootloadData(0, script.word(), image.data());
        break;
    }
    case 28:
        device.bootloadFinished();
        break;
    case 29:
        device.requestCalibrate();
        break;
    case 30:
        device.requestCalibratePass();
        break;
    default:
        device.destroy();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Keep the log lines off the console: the script makes the device refuse a lot.
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Script script(data, size);
    const uint8_t setUp = script.byte();
    IntrusivePointer<ScriptedRadio> radio = new ScriptedRadio(setUp & 1 ? 1 : 2);
    IntrusivePointer<AntRadioManager> manager = new AntRadioManager(radio.get(), nullptr);
    if (!manager->create() || manager->getChannel(0, 1) == nullptr) {
        manager->destroy();
        return 0;
    }
    IntrusivePointer<VelonixPowerMeterDevice> device =
        new VelonixPowerMeterDevice(script.word(), manager.get(), 0, (setUp & 2) != 0);
    std::vector<unsigned char> image(65536, 0xFF);

    int steps = 0;
    while (script.more() && ++steps < 4096) {
        const uint8_t op = script.byte();
        if (op < 0x90) {
            // A message from the stick: its id, its length (at most what a frame carries), its payload.
            std::vector<unsigned char> message;
            message.push_back(op < 0x80 ? IDS[op % sizeof IDS] : script.byte());
            const int length = script.byte() % 42;
            for (int i = 0; i < length; ++i) {
                message.push_back(script.byte());
            }
            radio->queue(message);
            manager->update(33);
        } else if (op < 0xD0) {
            callDevice(*device, script, image);
        } else if (op < 0xF8) {
            // Time passes.
            const int ticks = 1 + (op & 0x0F);
            for (int i = 0; i < ticks; ++i) {
                manager->update(33 * (1 + (op >> 4 & 1) * 30));
            }
        } else if (op < 0xFC) {
            radio->lose();
            manager->update(33);
        } else {
            radio->create();
            manager->update(33);
        }
    }

    device->destroy();
    device = nullptr;
    manager->destroy();
    return 0;
}

#pragma once

#include "ant/AntRadio.h"
#include "ant/AntRadioListener.h"
#include "core/Object.h"

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

namespace vant::ant::test {

// A message as it went to the radio: id and payload.
struct SentMessage
{
    int id;
    std::vector<unsigned char> payload;

    bool operator==(const SentMessage& other) const { return id == other.id && payload == other.payload; }
};

inline std::ostream& operator<<(std::ostream& out, const SentMessage& message)
{
    out << "0x" << std::hex << message.id << " [";
    for (size_t i = 0; i < message.payload.size(); ++i) {
        out << (i ? " " : "") << static_cast<int>(message.payload[i]);
    }
    return out << "]" << std::dec;
}

// A radio for manager and channel tests: records what it is sent, is up or down as the test says,
// and reports to its listener only what the test makes it report.
class RecordingAntRadio : public rezezaz::core::Object, public AntRadio
{
public:
    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    bool create() override
    {
        ++creates;
        up = true;
        if (listener) {
            listener->stateChanged(true);
        }
        return true;
    }
    void destroy() override
    {
        ++destroys;
        up = false;
    }
    bool start() override { return true; }
    void stop() override {}
    int version() override { return 7; }
    int apVersion() override { return ap; }
    bool state() override { return up; }
    void sendMessage(int id, unsigned char* payload, int length) override
    {
        sent.push_back({id, std::vector<unsigned char>(payload, payload + length)});
    }
    void update() override
    {
        if (onUpdate) {
            onUpdate();
        }
        // Counted after the action, as a real radio goes on with its own state after reporting.
        ++updates;
    }
    void setListener(AntRadioListener* l) override { listener = l; }

    // Reports the stick going up or down.
    void report(bool connected)
    {
        up = connected;
        listener->stateChanged(connected);
    }
    // Reports a received message from a heap copy of exactly its size, so a read past its end is
    // caught under the address sanitizer.
    void report(int id, const std::vector<unsigned char>& payload)
    {
        std::unique_ptr<unsigned char[]> copy(new unsigned char[payload.size() + (payload.empty() ? 1 : 0)]);
        std::copy(payload.begin(), payload.end(), copy.get());
        listener->messageReceived(id, copy.get(), static_cast<int>(payload.size()));
    }

    // The messages sent since the last call, which forgets them.
    std::vector<SentMessage> take()
    {
        std::vector<SentMessage> taken;
        taken.swap(sent);
        return taken;
    }

    AntRadioListener* listener = nullptr;
    std::vector<SentMessage> sent;
    bool up = false;
    int ap = 2;
    int creates = 0;
    int destroys = 0;
    int updates = 0;
    std::function<void()> onUpdate;
};

} // namespace vant::ant::test

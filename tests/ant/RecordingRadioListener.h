#pragma once

#include "ant/AntRadioListener.h"

#include <ostream>
#include <string>
#include <vector>

namespace vant::ant::test {

// What a radio told its listener, in order: "up", "down", a message, or a log text.
struct RadioEvent
{
    enum Kind
    {
        Up,
        Down,
        Message,
        Log
    };
    Kind kind;
    int id = 0;
    std::vector<unsigned char> payload;
    std::string text;

    static RadioEvent up() { return {Up, 0, {}, {}}; }
    static RadioEvent down() { return {Down, 0, {}, {}}; }
    static RadioEvent message(int id, std::vector<unsigned char> payload)
    {
        return {Message, id, payload, {}};
    }

    bool operator==(const RadioEvent& other) const
    {
        return kind == other.kind && id == other.id && payload == other.payload && text == other.text;
    }
};

inline std::ostream& operator<<(std::ostream& out, const RadioEvent& event)
{
    static const char* const kinds[] = {"up", "down", "message", "log"};
    out << kinds[event.kind];
    if (event.kind == RadioEvent::Message) {
        out << " 0x" << std::hex << event.id << " [";
        for (size_t i = 0; i < event.payload.size(); ++i) {
            out << (i ? " " : "") << static_cast<int>(event.payload[i]);
        }
        out << "]" << std::dec;
    } else if (event.kind == RadioEvent::Log) {
        out << " " << event.text;
    }
    return out;
}

// Records every callback of a radio; the payload is copied, since it is valid only during the call.
class RecordingRadioListener : public AntRadioListener
{
public:
    void stateChanged(bool connected) override
    {
        events.push_back(connected ? RadioEvent::up() : RadioEvent::down());
    }
    void messageReceived(int id, unsigned char* payload, int length) override
    {
        events.push_back(RadioEvent::message(id, std::vector<unsigned char>(payload, payload + length)));
    }
    void log(const char* text) override { events.push_back({RadioEvent::Log, 0, {}, text}); }

    // The events since the last call, which forgets them.
    std::vector<RadioEvent> take()
    {
        std::vector<RadioEvent> taken;
        taken.swap(events);
        return taken;
    }

    std::vector<RadioEvent> events;
};

} // namespace vant::ant::test

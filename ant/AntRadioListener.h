#pragma once

namespace vant::ant {

// Receives what an AntRadio reports: the stick going up or down, each message the stick sends, and
// text the radio wants logged. The radio's one listener is its manager; the radio does not own it.
class AntRadioListener
{
public:
    virtual ~AntRadioListener() = default;

    virtual void stateChanged(bool connected) = 0;
    // payload is the message after its id; it is valid only during the call.
    virtual void messageReceived(int id, unsigned char* payload, int length) = 0;
    virtual void log(const char* text) = 0;
};

} // namespace vant::ant

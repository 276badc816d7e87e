#pragma once

namespace vant::ant {

// Told by an AntManager when the stick goes up or down and when the stick answers a version or
// capabilities request. Registered with addManagerListener; the manager does not own it.
class AntManagerListener
{
public:
    virtual ~AntManagerListener() = default;

    virtual void stateChanged(bool up) = 0;
    // The stick's answers to a capabilities or version request; a listener that asks for neither
    // need not override them. The payload is the received message after its id (at least 41 readable
    // bytes, zero past the message); it is valid only during the call.
    virtual void capabilitiesReceived(unsigned char*) {}
    virtual void versionReceived(unsigned char*) {}
};

} // namespace vant::ant

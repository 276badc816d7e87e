#pragma once

namespace vant::ant {

// Told by an AntManager when the stick goes up or down and when the stick answers a version or
// capabilities request. Registered with addManagerListener; the manager does not own it.
class AntManagerListener
{
public:
    virtual ~AntManagerListener() = default;

    virtual void stateChanged(bool up) = 0;
    // payload is the received message after its id (at least 41 readable bytes, zero past the
    // message); it is valid only during the call.
    virtual void capabilitiesReceived(unsigned char* payload) = 0;
    virtual void versionReceived(unsigned char* payload) = 0;
};

} // namespace vant::ant

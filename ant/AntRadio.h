#pragma once

#include "core/Object.h"

namespace vant::ant {

class AntRadioListener;

// One ANT stick as the radio manager sees it: opens and closes the stick, sends one ANT message at a
// time and, on each update, hands on at most one received message to its listener. Counted, so it is
// held through owning pointers (the manager keeps one).
class AntRadio : public rezezaz::core::Interface
{
public:
    virtual bool create() = 0;
    virtual void destroy() = 0;
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual int version() = 0;
    virtual int apVersion() = 0;
    virtual bool state() = 0;
    // Sends message `id` followed by `length` payload bytes.
    virtual void sendMessage(int id, unsigned char* payload, int length) = 0;
    virtual void update() = 0;
    // Not owned; null detaches.
    virtual void setListener(AntRadioListener* listener) = 0;
};

} // namespace vant::ant

#pragma once

#include "core/Interface.h"
#include "core/Logger.h"

namespace vant::ant {

class AntChannel;
class AntManagerListener;

// What the application and the sport devices see of one ANT stick: opens and closes it, hands out its
// four channels and is pumped on the GUI thread by update(ms). Counted; the application holds it
// through an owning pointer.
class AntManager : public rezezaz::core::Interface
{
public:
    // Opens the stick; true when it is open.
    virtual bool create() = 0;
    // Closes the stick and lets go of the radio; the channels stay.
    virtual void destroy() = 0;
    // True while the stick is up.
    virtual bool state() = 0;
    virtual int version() = 0;
    // Channel `number` (0 to 3) made for `network`: a network below 0 returns whatever the slot
    // holds (null when empty); another network value replaces the slot's channel by a new one.
    // Returns null for a number outside 0 to 3. The manager keeps the channel; callers that keep it
    // longer than a call retain it.
    virtual AntChannel* getChannel(int number, int network) = 0;
    // printf-style text to the logger (empty category) at `level`; cut to 1,023 characters.
    virtual void logf(rezezaz::core::Logger::Level level, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        = 0;
    // `text` at alert level.
    virtual void log(const char* text) = 0;
    // Not owned; a listener already present is not added twice.
    virtual void addManagerListener(AntManagerListener* listener) = 0;
    virtual void removeManagerListener(AntManagerListener* listener) = 0;
    // Pumps the radio (at most one received message) and then every channel with `ms` elapsed.
    virtual void update(int ms) = 0;
};

} // namespace vant::ant

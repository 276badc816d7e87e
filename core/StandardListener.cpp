#include "core/StandardListener.h"

#include "core/PosixSystem.h"

namespace rezezaz {
namespace core {

StandardListener::StandardListener(FILE* output, FILE* errors) : mOutput(output), mErrors(errors) {}

void StandardListener::addLogEntry(Logger::Category*, Logger::Level level, unsigned long long time,
                                   const String& text)
{
    FILE* stream = level == Logger::ERROR ? mErrors : mOutput;
    fputs((PosixSystem::mtimeToString(time) + ": ").c_str(), stream);
    fputs(levelLabel(level), stream);
    fputs((text + "\n").c_str(), stream);
}

const char* StandardListener::levelLabel(Logger::Level level)
{
    switch (level) {
    case Logger::LOGGER:
        return "LOGGER:  ";
    case Logger::ERROR:
        return "ERROR:   ";
    case Logger::WARNING:
        return "WARNING: ";
    case Logger::ALERT:
        return "ALERT:   ";
    case Logger::DEBUG:
        return "DEBUG:   ";
    case Logger::EXCESS:
        return "EXCESS:  ";
    default:
        return "UNKNOWN: ";
    }
}

} // namespace core
} // namespace rezezaz

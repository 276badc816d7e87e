#include "core/StandardListener.h"

#include "core/PosixSystem.h"

#include <string>

namespace rezezaz {
namespace core {

StandardListener::StandardListener(FILE* output, FILE* errors) : mOutput(output), mErrors(errors) {}

void StandardListener::addLogEntry(Logger::Category*, Logger::Level level, unsigned long long time,
                                   const String& text)
{
    FILE* stream = level == Logger::ERROR ? mErrors : mOutput;
    fputs((PosixSystem::mtimeToString(time) + ": ").c_str(), stream);
    fputs(levelLabel(level), stream);
    // The text's narrow copy may end early (a character whose low 8 bits are 0); the line still
    // ends with its newline, so the next entry starts a line of its own.
    fputs((std::string(text.c_str()) + "\n").c_str(), stream);
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

#pragma once

#include "core/BaseLoggerListener.h"

#include <cstdio>

namespace rezezaz {
namespace core {

// The console listener: "time: LABEL    text" lines, errors to the error stream, all else to
// the output stream (standard error and standard output unless other streams are given).
class StandardListener : public BaseLoggerListener
{
public:
    explicit StandardListener(FILE* output = stdout, FILE* errors = stderr);

    void addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long time,
                     const String& text) override;

    // The 9-character label of a level: "ERROR:   " and so on, "UNKNOWN: " for any other level.
    static const char* levelLabel(Logger::Level level);

private:
    FILE* mOutput;
    FILE* mErrors;
};

} // namespace core
} // namespace rezezaz

#pragma once

#include "core/String.h"

#include <atomic>

namespace rezezaz {
namespace core {

class Errorer;

// The engine's failure reporting: each thrower logs the description at error level when
// asked, records the failure as the process's last error and throws an Exception.
class Error
{
public:
    Error() = delete;

    // The process's Errorer, created on first use.
    static Errorer* getInstance();
    static void destroy();
    // Logs the text at error level under the category.
    static void errorLog(const String& category, const String& text);

    // Code -1.
    [[noreturn]] static void unknown(const String& category, bool report, const String& description);
    // Code 2: an argument is out of range or inconsistent.
    [[noreturn]] static void invalidParameters(const String& category, bool report,
                                               const String& description);
    // Code 3: a required object could not be created or is missing.
    [[noreturn]] static void nullPointer(const String& category, bool report, const String& description);
    // Code 4: not supported by this implementation.
    [[noreturn]] static void unimplemented(const String& category, bool report, const String& description);
    // Code 6: a size exceeds what may be allocated.
    [[noreturn]] static void insufficientMemory(const String& category, bool report,
                                                const String& description);

private:
    [[noreturn]] static void raise(int error, const String& category, bool report, const String& description);

    static std::atomic<Errorer*> mTheErrorer;
};

} // namespace core
} // namespace rezezaz

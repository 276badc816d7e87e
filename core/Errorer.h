#pragma once

#include "core/Exception.h"
#include "core/PosixErrorHandler.h"
#include "core/StackTraceListener.h"

#include <cstdint>
#include <mutex>

namespace rezezaz {
namespace core {

// The process's record of the last engine error, and the owner of the error handler, whose
// backtraces it writes to the log. Shared by all threads: the last writer wins.
class Errorer : public StackTraceListener
{
public:
    static constexpr int MAX_DESCRIPTION = 1024;

    Errorer();
    ~Errorer() override;

    Errorer(const Errorer&) = delete;
    Errorer& operator=(const Errorer&) = delete;

    // Sets the code and empties the description.
    void setError(int error);
    // Keeps at most the first MAX_DESCRIPTION characters of the description.
    void setError(int error, const char* description);
    void setException(const Exception& e);
    // Returns the code and resets it to 0.
    int getError();
    // Not cleared by reading.
    const char* getDescription() const;
    const Exception& getException() const;

    bool installHandler();
    bool uninstallHandler();

    // Each logs at level 1 without a category; endTrace then flushes the logger.
    void startTrace() override;
    void traceFrame(const char* description) override;
    void endTrace() override;

private:
    void record(int error, const char* description);

    int32_t mError;
    char mDescription[MAX_DESCRIPTION + 1];
    Exception mException;
    PosixErrorHandler mHandler;
    mutable std::mutex mMutex;
};

} // namespace core
} // namespace rezezaz

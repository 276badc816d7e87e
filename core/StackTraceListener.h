#pragma once

namespace rezezaz {
namespace core {

// Receives a backtrace, one frame at a time.
class StackTraceListener
{
public:
    virtual void startTrace() = 0;
    virtual void traceFrame(const char* description) = 0;
    virtual void endTrace() = 0;
    virtual ~StackTraceListener() {}
};

} // namespace core
} // namespace rezezaz

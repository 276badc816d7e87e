#pragma once

#include "core/LoggerListener.h"

namespace rezezaz {
namespace core {

// A listener with nothing to flush.
class BaseLoggerListener : public LoggerListener
{
public:
    void flush() override {}
};

} // namespace core
} // namespace rezezaz

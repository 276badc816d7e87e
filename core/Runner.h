#pragma once

#include "core/Runnable.h"

#include <cstdint>

namespace rezezaz {
namespace core {

// A reference-counted Runnable: a thread given one keeps it alive until its work is done.
class Runner : public Runnable
{
public:
    virtual ~Runner() {}
    virtual int32_t retain() = 0;
    virtual int32_t release() = 0;
};

} // namespace core
} // namespace rezezaz

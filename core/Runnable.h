#pragma once

namespace rezezaz {
namespace core {

// Work that a thread runs.
class Runnable
{
public:
    virtual ~Runnable() {}
    virtual void run() = 0;
};

} // namespace core
} // namespace rezezaz

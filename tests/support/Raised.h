#pragma once

#include "core/Exception.h"

#include <functional>
#include <string>

namespace support {

// The engine error an action raised: its code and description; code 0 and no text for none.
struct Raised
{
    int code = 0;
    std::string text;
};

inline Raised raised(const std::function<void()>& action)
{
    try {
        action();
    } catch (const rezezaz::core::Exception& e) {
        return {e.getError(), e.getDescription()};
    }
    return {};
}

} // namespace support

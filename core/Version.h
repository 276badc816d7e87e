#pragma once

namespace rezezaz {
namespace core {

// The engine's version, as the logger announces it.
struct Version
{
    static constexpr const char* STRING = "0.9.0";
};

} // namespace core
} // namespace rezezaz

#pragma once

namespace rezezaz::scene {

// The scene engine's version, as the engine announces it when it is made.
struct Version
{
    static constexpr const char* STRING = "0.9.0";
};

} // namespace rezezaz::scene

#pragma once

#include <cstdint>

namespace rezezaz::render {

// What the caller asks of a window target. The window target reads only the thread count: its
// context's attributes are its own.
struct WindowRenderTargetFormat
{
    int pixelFormat = 0; // a pixel-format code
    int depthBits = 0;
    uint8_t settings[12] = {}; // further settings, not read
    int threadCount = 0;       // threads that will use the target, the main one included
};

} // namespace rezezaz::render

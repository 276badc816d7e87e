#pragma once

#include <cstdint>

namespace rezezaz::render {

// What the caller asks of a window render target. The window target reads only the thread count.
struct WindowRenderTargetFormat
{
    // A pixel-format code (TextureFormat::Format).
    int32_t pixelFormat = 0;
    int32_t depthBits = 0;
    int32_t stencilBits = 0;
    int32_t multisamples = 0;
    bool fullScreen = false;
    // How many threads will use the target, the main one included.
    int32_t threadCount = 0;
};

} // namespace rezezaz::render

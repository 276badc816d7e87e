#pragma once

namespace rezezaz::render {

// A rectangle of the render target in pixels, origin at its top left.
struct Viewport
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    // Set by whoever knows the rectangle covers the whole target; the device only keeps it.
    bool fullTarget = false;

    bool operator==(const Viewport& v) const
    {
        return x == v.x && y == v.y && width == v.width && height == v.height && fullTarget == v.fullTarget;
    }
    bool operator!=(const Viewport& v) const { return !(*this == v); }
};

} // namespace rezezaz::render

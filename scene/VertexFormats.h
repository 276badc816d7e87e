#pragma once

#include "core/IntrusivePointer.h"
#include "render/VertexFormat.h"

namespace rezezaz::scene {

// The engine's shared vertex formats, made by Engine::updateVertexFormats in this order. Every element
// has index 0 and the engine's vertex element type, except the packed colour of the COLOR semantic.
struct VertexFormats
{
    using Format = core::IntrusivePointer<render::VertexFormat>;

    Format POSITION;
    Format POSITION_NORMAL;
    Format POSITION_COLOR;
    Format POSITION_TEX_COORD;
    Format POSITION_NORMAL_COLOR;
    Format POSITION_NORMAL_TEX_COORD;
    Format POSITION_COLOR_TEX_COORD;
    Format POSITION_NORMAL_COLOR_TEX_COORD;
    // The layout of skeletal key frames: translate, rotate (semantic 7), scale (semantic 6).
    Format POSITION_SEMANTIC7_SEMANTIC6;
    // Four components of the element type: the layout of colour tracks.
    Format COLOR;
};

} // namespace rezezaz::scene

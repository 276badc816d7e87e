#pragma once

#include <cstdint>

namespace rezezaz::render {

// What a render device (or the device-independent resources) can do. A fresh record is all zero and
// false except the vertex element type, which is float (6).
struct RenderCaps
{
    bool hardwareRendering = false;
    int32_t maxTextureStages = 0;
    int32_t maxTextureSize = 0;
    bool renderToTexture = false;
    bool renderToDepthTexture = false;
    bool renderToTextureNonPowerOf2Restricted = false;
    bool textureDot3 = false;
    bool textureNonPowerOf2Restricted = false;
    bool textureNonPowerOf2 = false;
    bool textureAutogenMipMaps = false;
    bool hardwareBuffers = false;
    // Element type of the engine's standard vertex formats.
    int32_t vertexElementType = 6;
    bool triangleFan = false;
    // Per shader type: vertex, fragment, geometry.
    bool hasShader[3] = {false, false, false};
    bool hasFixed[3] = {false, false, false};
    int32_t maxLights = 0;
    bool fixedPointVertices = false;
    bool pointSprites = false;
};

} // namespace rezezaz::render

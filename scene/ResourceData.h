#pragma once

#include <cstdint>

namespace rezezaz::scene {

// The parameters of one resource request, handed unchanged from ResourceManager::find to the
// streamer that reads the file. Owned by the caller of find; may be absent (null).
class ResourceData
{
public:
    virtual ~ResourceData() = default;

    // For textures: the usage that readers pass on to TextureManager::createTexture (0: the default).
    int32_t usage = 0;
};

} // namespace rezezaz::scene

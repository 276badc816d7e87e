#pragma once

#include "core/BaseResource.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/Texture.h"
#include "scene/material/Material.h"

#include <cstdint>
#include <memory>

namespace rezezaz::scene::studio {

// A sprite read by SpriteStreamer: the file's bytes kept whole, and one texture and one diffuse
// material per frame, in frame order. Filed by the engine's sprite-model manager; whoever finds it
// holds it.
class SpriteModel : public core::BaseResource
{
public:
    // The head of a sprite file, 40 bytes as stored; the palette colour count (u16) follows.
    struct header
    {
        int32_t ident;
        int32_t version;
        int32_t type;
        int32_t texFormat;
        float boundingRadius;
        int32_t width;
        int32_t height;
        int32_t numFrames;
        float beamLength;
        int32_t syncType;
    };

    // The head of one frame, 16 bytes as stored; width × height palette indices follow it.
    struct spriteframe
    {
        int32_t originX;
        int32_t originY;
        int32_t width;
        int32_t height;
    };

    SpriteModel() = default;

    // Frees the bytes, forgets the palette and lets go of the textures and materials.
    void destroy() override;

    // Takes over the file's bytes (allocated with new[]).
    void setBuffer(unsigned char* buffer, int length);
    const unsigned char* getBuffer() const { return buffer_.get(); }
    int getBufferLength() const { return bufferLength_; }
    // A copy of the head; all zero without bytes.
    header getHeader() const;
    int getPaletteColorCount() const { return paletteColorCount_; }
    const unsigned char* getPalette() const { return palette_; }
    void setPalette(const unsigned char* palette, int colorCount);

    core::Collection<core::IntrusivePointer<render::Texture>>& getTextures() { return textures_; }
    core::Collection<core::IntrusivePointer<material::Material>>& getMaterials() { return materials_; }

private:
    std::unique_ptr<unsigned char[]> buffer_;
    int bufferLength_ = 0;
    int paletteColorCount_ = 0;
    const unsigned char* palette_ = nullptr;
    core::Collection<core::IntrusivePointer<render::Texture>> textures_;
    core::Collection<core::IntrusivePointer<material::Material>> materials_;
};

static_assert(sizeof(SpriteModel::header) == 40, "a sprite head is read as stored");
static_assert(sizeof(SpriteModel::spriteframe) == 16, "a sprite frame head is read as stored");

} // namespace rezezaz::scene::studio

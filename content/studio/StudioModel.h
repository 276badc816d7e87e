#pragma once

#include "core/BaseResource.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/IndexData.h"
#include "render/Texture.h"
#include "scene/material/Material.h"

#include <cstdint>
#include <memory>

namespace rezezaz::scene::studio {

// A studio model read by StudioStreamer: the file's bytes kept whole (its bone flags marked for
// chrome), one texture and one diffuse material per stored texture, and per mesh the index data of
// its triangle strips and fans. Vertex data are left to whoever animates and draws the model; it
// keeps the model-wide vertex count for them. Filed by the engine's studio-model manager; whoever
// finds it holds it.
class StudioModel : public core::BaseResource
{
public:
    // The draws of one mesh: its first vertex in the model-wide vertex order and one index data per
    // command of its list.
    struct meshdata
    {
        int32_t firstVertex = 0;
        core::Collection<core::IntrusivePointer<render::IndexData>> indexData;
    };

    StudioModel() = default;

    // Frees the bytes and lets go of the textures, materials and mesh data.
    void destroy() override;

    // Takes over the file's bytes (allocated with new[]).
    void setBuffer(unsigned char* buffer, int length);
    unsigned char* getBuffer() const { return buffer_.get(); }
    int getBufferLength() const { return bufferLength_; }
    // The main header: the start of the bytes, null without them.
    const unsigned char* getHeader() const { return header_; }

    core::Collection<core::IntrusivePointer<render::Texture>>& getTextures() { return textures_; }
    core::Collection<core::IntrusivePointer<material::Material>>& getMaterials() { return materials_; }
    core::Collection<meshdata>& getMeshData() { return meshData_; }
    int32_t getVertexCount() const { return vertexCount_; }
    void setVertexCount(int32_t count) { vertexCount_ = count; }

private:
    std::unique_ptr<unsigned char[]> buffer_;
    int bufferLength_ = 0;
    const unsigned char* header_ = nullptr;
    core::Collection<core::IntrusivePointer<render::Texture>> textures_;
    core::Collection<core::IntrusivePointer<material::Material>> materials_;
    core::Collection<meshdata> meshData_;
    int32_t vertexCount_ = 0;
};

} // namespace rezezaz::scene::studio

#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/io/DataStream.h"
#include "render/IndexBuffer.h"
#include "render/IndexData.h"
#include "render/VertexBuffer.h"
#include "render/VertexData.h"
#include "render/VertexFormat.h"
#include "scene/Bound.h"
#include "scene/Mesh.h"
#include "scene/ResourceStreamer.h"
#include "scene/Sequence.h"
#include "scene/Skeleton.h"
#include "scene/Transform.h"
#include "scene/material/Material.h"

#include <cstdint>

namespace rezezaz::scene {

class Engine;

// Reads and writes the engine's own mesh files: a mesh with its submeshes, shared vertex data and
// bone assignments, the materials of its unnamed submeshes, an optional skeleton and its sequences.
// The engine registers one with its mesh manager for "tmsh"; buffers come from the engine's buffer
// manager, materials from its material manager, key-frame tracks use its transform format.
//
// The reader refuses, with Error::unknown and nothing partial returned, what would make it allocate
// more than the bytes left in the file, read past a buffer, or keep a mesh that draws outside its
// vertices. GUI thread only, like the engine.
class TMSHStreamer : public core::Object, public ResourceStreamer
{
public:
    static constexpr uint32_t MAGIC = 0x544D5348;
    static constexpr uint32_t VERSION = 0x00010001;

    enum BlockType : int32_t
    {
        Block_MESH = 1,
        Block_MATERIAL = 2,
        Block_SKELETON = 3,
        Block_SEQUENCE = 4,
    };

    // Sizes of the raw state records.
    static constexpr int MATERIAL_STATE_SIZE = 112;
    static constexpr int RASTERIZER_STATE_SIZE = 24;
    static constexpr int BLEND_STATE_SIZE = 12;

    explicit TMSHStreamer(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The mesh of the last mesh block; null for a file without one. The data and listener are unused.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;
    // False, writing nothing, for a resource that is not a mesh, or a mesh the format cannot hold:
    // more than 32767 submeshes, index data of primitive 0 (which the format cannot tell from
    // absent index data), a vertex moved by more than 255 bones.
    bool save(core::IntrusivePointer<core::io::Stream> stream, core::IntrusivePointer<core::Resource> resource,
              ResourceData* data, ProgressListener* listener) override;

    // Blocks; the length is not used.
    virtual core::IntrusivePointer<Mesh> readMesh(core::io::DataStream* in, int length);
    virtual core::IntrusivePointer<material::Material> readMaterial(core::io::DataStream* in, int length);
    virtual core::IntrusivePointer<Skeleton> readSkeleton(core::io::DataStream* in, int length);
    virtual core::IntrusivePointer<Sequence> readSequence(core::io::DataStream* in, int length);

    // Records: a new object, or null for an absent one.
    virtual core::IntrusivePointer<Transform> readTransform(core::io::DataStream* in);
    virtual core::IntrusivePointer<Bound> readBound(core::io::DataStream* in);
    virtual core::IntrusivePointer<render::VertexData> readVertexData(core::io::DataStream* in);
    virtual core::IntrusivePointer<render::IndexData> readIndexData(core::io::DataStream* in);
    virtual core::IntrusivePointer<render::VertexBuffer> readVertexBuffer(core::io::DataStream* in);
    virtual core::IntrusivePointer<render::IndexBuffer> readIndexBuffer(core::io::DataStream* in);
    virtual core::IntrusivePointer<render::VertexFormat> readVertexFormat(core::io::DataStream* in);

    virtual void writeMesh(core::io::DataStream* out, Mesh* mesh);
    virtual void writeMaterial(core::io::DataStream* out, material::Material* material);
    virtual void writeSkeleton(core::io::DataStream* out, Skeleton* skeleton);
    virtual void writeSequence(core::io::DataStream* out, Sequence* sequence);
    virtual void writeTransform(core::io::DataStream* out, Transform* transform);
    virtual void writeBound(core::io::DataStream* out, Bound* bound);
    virtual void writeVertexData(core::io::DataStream* out, render::VertexData* vertexData);
    virtual void writeIndexData(core::io::DataStream* out, render::IndexData* indexData);
    virtual void writeVertexBuffer(core::io::DataStream* out, render::VertexBuffer* buffer);
    virtual void writeIndexBuffer(core::io::DataStream* out, render::IndexBuffer* buffer);
    virtual void writeVertexFormat(core::io::DataStream* out, render::VertexFormat* format);

private:
    Engine* engine_;
};

} // namespace rezezaz::scene

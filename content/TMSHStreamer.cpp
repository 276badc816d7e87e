#include "content/TMSHStreamer.h"

#include "core/Categories.h"
#include "core/Collection.h"
#include "core/Error.h"
#include "core/io/MemoryStream.h"
#include "core/math/Math.h"
#include "render/BlendState.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderState.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/material/RenderPass.h"

#include <cstring>
#include <vector>

namespace rezezaz::scene {

using core::Categories;
using core::Error;
using core::IntrusivePointer;
using core::String;
using core::io::DataStream;

namespace {

// Smallest stored sizes, by which counts read from a file are bounded before anything is made.
constexpr int64_t BONE_RECORD_SIZE = 4 + 4 + 23 * 4 + 1;
constexpr int64_t TRACK_RECORD_SIZE = 4 + 4 + 4;
constexpr int64_t KEY_RECORD_SIZE = 4 + 10 * 4;
constexpr int64_t ASSIGNMENT_SIZE = 8;
constexpr int64_t FORMAT_ELEMENT_SIZE = 12;

[[noreturn]] void refuse(const String& text)
{
    Error::unknown(Categories::REZEZAZ_SCENE, true, text);
}

int64_t bytesLeft(DataStream* in)
{
    const int length = in->length();
    const int position = in->position();
    return length < 0 || position < 0 || position > length ? 0 : int64_t(length) - position;
}

// Refuses a count whose records cannot all be in the rest of the file.
void checkFits(DataStream* in, int64_t count, int64_t recordSize, const char* what)
{
    if (count < 0 || count * recordSize > bytesLeft(in)) {
        refuse(String("TMSHStreamer: ") + what + " " + (long long)(count) + " larger than the file");
    }
}

// Little-endian fields of the raw state records, at their stored offsets.
void putU32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t getU32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putF32(unsigned char* p, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    putU32(p, bits);
}

float getF32(const unsigned char* p)
{
    const uint32_t bits = getU32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

void putColor(unsigned char* p, const core::math::Vector4& c)
{
    putF32(p, c.x);
    putF32(p + 4, c.y);
    putF32(p + 8, c.z);
    putF32(p + 12, c.w);
}

core::math::Vector4 getColor(const unsigned char* p)
{
    return core::math::Vector4(getF32(p), getF32(p + 4), getF32(p + 8), getF32(p + 12));
}

// The stored defaults, which survive where a stored record is short.
render::MaterialState defaultMaterialState()
{
    render::MaterialState s;
    s.light = true;
    s.trackColor = false;
    s.shade = render::MaterialState::ShadeType_GOURAUD;
    s.normalize = render::MaterialState::Normalize_RESCALE;
    s.ambient = s.diffuse = s.specular = core::math::Vector4(1.0f, 1.0f, 1.0f, 1.0f);
    s.shininess = 1.0f;
    s.emissive = core::math::Vector4(0.0f, 0.0f, 0.0f, 0.0f);
    s.alphaTest = render::MaterialState::AlphaTest_NONE;
    s.alphaCutoff = 0.5f;
    return s;
}

void encode(const render::MaterialState& s, unsigned char* p)
{
    std::memset(p, 0, TMSHStreamer::MATERIAL_STATE_SIZE);
    p[0] = s.light ? 1 : 0;
    p[1] = s.trackColor ? 1 : 0;
    putU32(p + 4, uint32_t(s.shade));
    putU32(p + 8, uint32_t(s.normalize));
    putColor(p + 16, s.ambient);
    putColor(p + 32, s.diffuse);
    putColor(p + 48, s.specular);
    putF32(p + 64, s.shininess);
    putColor(p + 80, s.emissive);
    putU32(p + 96, uint32_t(s.alphaTest));
    putF32(p + 100, s.alphaCutoff);
}

render::MaterialState decodeMaterialState(const unsigned char* p)
{
    render::MaterialState s;
    s.light = p[0] != 0;
    s.trackColor = p[1] != 0;
    s.shade = int32_t(getU32(p + 4));
    s.normalize = int32_t(getU32(p + 8));
    s.ambient = getColor(p + 16);
    s.diffuse = getColor(p + 32);
    s.specular = getColor(p + 48);
    s.shininess = getF32(p + 64);
    s.emissive = getColor(p + 80);
    s.alphaTest = int32_t(getU32(p + 96));
    s.alphaCutoff = getF32(p + 100);
    return s;
}

void encode(const render::RasterizerState& s, unsigned char* p)
{
    std::memset(p, 0, TMSHStreamer::RASTERIZER_STATE_SIZE);
    putU32(p, uint32_t(s.cull));
    putU32(p + 4, uint32_t(s.fill));
    putF32(p + 8, s.depthBiasConstant);
    putF32(p + 12, s.depthBiasSlope);
    p[16] = s.multisample ? 1 : 0;
    p[17] = s.dither ? 1 : 0;
    putF32(p + 20, s.lineSize);
}

render::RasterizerState decodeRasterizerState(const unsigned char* p)
{
    render::RasterizerState s;
    s.cull = int32_t(getU32(p));
    s.fill = int32_t(getU32(p + 4));
    s.depthBiasConstant = getF32(p + 8);
    s.depthBiasSlope = getF32(p + 12);
    s.multisample = p[16] != 0;
    s.dither = p[17] != 0;
    s.lineSize = getF32(p + 20);
    return s;
}

void encode(const render::BlendState& s, unsigned char* p)
{
    putU32(p, uint32_t(s.source));
    putU32(p + 4, uint32_t(s.dest));
    putU32(p + 8, uint32_t(s.colorWrite));
}

render::BlendState decodeBlendState(const unsigned char* p)
{
    render::BlendState s;
    s.source = int32_t(getU32(p));
    s.dest = int32_t(getU32(p + 4));
    s.colorWrite = int32_t(getU32(p + 8));
    return s;
}

// A stored record read over the encoded defaults: bytes that do not arrive keep them.
template <class State, int Size>
bool readRecord(DataStream* in, const State& defaults, State (*decode)(const unsigned char*), State& state)
{
    if (!in->readBool()) {
        return false;
    }
    unsigned char bytes[Size];
    encode(defaults, bytes);
    int done = 0;
    while (done < Size) {
        const int n = in->read(bytes + done, Size - done);
        if (n <= 0) {
            break;
        }
        done += n;
    }
    state = decode(bytes);
    return true;
}

template <class State, int Size> void writeRecord(DataStream* out, bool present, const State& state)
{
    out->writeBool(present);
    if (present) {
        unsigned char bytes[Size];
        encode(state, bytes);
        out->write(bytes, Size);
    }
}

// The vertices an index of a submesh may name: its own vertex data's, else the mesh's.
int vertexCountOf(const render::VertexData* vertexData)
{
    if (vertexData == nullptr || vertexData->vertexBuffers.size() == 0 || !vertexData->vertexBuffers[0]) {
        return 0;
    }
    return vertexData->vertexBuffers[0]->getSize();
}

// Refuses a range outside the buffer and indices at or past the vertex count.
void checkIndices(const render::IndexData* indexData, int vertexCount)
{
    if (indexData == nullptr || !indexData->indexBuffer) {
        return;
    }
    render::IndexBuffer* buffer = indexData->indexBuffer.get();
    const int size = buffer->getSize();
    if (indexData->start < 0 || indexData->count < 0 || int64_t(indexData->start) + indexData->count > size) {
        refuse(String("TMSHStreamer: index range ") + (long long)(indexData->start) + "+" +
               (long long)(indexData->count) + " outside the " + (long long)(size) + " indices");
    }
    const unsigned char* data = buffer->lock(render::Buffer::Access_READ);
    if (data == nullptr) {
        return;
    }
    const int width = buffer->getIndexFormat();
    int64_t largest = -1;
    for (int i = 0; i < size; ++i) {
        uint32_t value = 0;
        if (width == 1) {
            value = data[i];
        } else if (width == 2) {
            value = uint32_t(data[2 * i]) | uint32_t(data[2 * i + 1]) << 8;
        } else {
            value = getU32(data + 4 * i);
        }
        if (int64_t(value) > largest) {
            largest = value;
        }
    }
    buffer->unlock();
    if (largest >= vertexCount) {
        refuse(String("TMSHStreamer: index ") + (long long)(largest) + " past the " +
               (long long)(vertexCount) + " vertices");
    }
}

// Reads the `bytes` of a buffer's contents into `buffer`. A buffer that was not made or cannot be
// locked is let go, its contents skipped, and the result is null.
template <typename BufferType>
IntrusivePointer<BufferType> fillBuffer(DataStream* in, const IntrusivePointer<BufferType>& buffer, int bytes)
{
    if (buffer && bytes == 0) {
        return buffer;
    }
    unsigned char* data = buffer ? buffer->lock(render::Buffer::Access_WRITE) : nullptr;
    if (data == nullptr) {
        if (buffer) {
            buffer->destroy();
        }
        in->seek(in->position() + bytes);
        return nullptr;
    }
    in->read(data, bytes);
    buffer->unlock();
    return buffer;
}

} // namespace

TMSHStreamer::TMSHStreamer(Engine* engine) : engine_(engine) {}

IntrusivePointer<core::Resource> TMSHStreamer::load(IntrusivePointer<core::io::Stream> stream, ResourceData*,
                                                    ProgressListener*)
{
    if (!stream) {
        Error::nullPointer(Categories::REZEZAZ_SCENE, true, "Stream is NULL");
    }
    IntrusivePointer<DataStream> in(new DataStream(stream.get()));
    if (in->readLUInt32() != MAGIC) {
        refuse("Not of TMSH format");
    }
    if (in->readLUInt32() != VERSION) {
        refuse(String("Not TMSH version:") + (long long)(int64_t(VERSION)));
    }

    IntrusivePointer<Mesh> mesh;
    IntrusivePointer<Skeleton> skeleton;
    core::Collection<IntrusivePointer<material::Material>> materials;
    core::Collection<IntrusivePointer<Sequence>> sequences;
    bool more = true;
    while (more && in->position() >= 0 && in->position() < in->length()) {
        const int32_t type = in->readLInt32();
        const int32_t length = in->readLInt32();
        switch (type) {
        case Block_MESH:
            mesh = readMesh(in.get(), length);
            break;
        case Block_MATERIAL:
            materials.add(readMaterial(in.get(), length));
            break;
        case Block_SKELETON:
            skeleton = readSkeleton(in.get(), length);
            break;
        case Block_SEQUENCE:
            sequences.add(readSequence(in.get(), length));
            break;
        default:
            if (length < 0) {
                // A backward seek would read the same blocks for ever.
                refuse(String("TMSHStreamer: block ") + int(type) + " of negative length " + int(length));
            }
            if (int64_t(length) >= bytesLeft(in.get())) {
                // Past the end: as with a short stream, the blocks end here.
                more = false;
            } else {
                in->seek(in->position() + length);
            }
            break;
        }
    }
    if (!mesh) {
        return nullptr;
    }

    // Unnamed submeshes take the materials in file order.
    int cursor = 0;
    for (int i = 0; i < mesh->getNumSubMeshes(); ++i) {
        Mesh::SubMesh* subMesh = mesh->getSubMesh(i);
        if (subMesh->materialName.length() == 0 && cursor < materials.size()) {
            subMesh->material = materials[cursor++];
        }
    }
    if (skeleton) {
        for (int i = 0; i < sequences.size(); ++i) {
            skeleton->addSequence(sequences[i].get());
        }
    }
    mesh->setSkeleton(skeleton);
    return IntrusivePointer<core::Resource>(mesh.get());
}

IntrusivePointer<Mesh> TMSHStreamer::readMesh(DataStream* in, int)
{
    IntrusivePointer<Mesh> mesh(new Mesh());
    mesh->setTransform(readTransform(in));
    mesh->setBound(readBound(in));
    const int32_t count = in->readLInt32();
    if (count > 32767) {
        refuse(String("too many submeshes:") + int(count));
    }
    for (int i = 0; i < count; ++i) {
        IntrusivePointer<Mesh::SubMesh> subMesh(new Mesh::SubMesh());
        // Listed first: a refusal further on destroys what it already holds with the mesh.
        mesh->addSubMesh(subMesh);
        subMesh->vertexData = readVertexData(in);
        subMesh->indexData = readIndexData(in);
        subMesh->materialName = in->readNullTerminatedString();
        subMesh->setName(in->readNullTerminatedString());
        in->readUInt8();
        subMesh->transform = readTransform(in);
        subMesh->bound = readBound(in);
    }
    mesh->setStaticVertexData(readVertexData(in));

    const uint32_t lists = in->readLUInt32();
    checkFits(in, int64_t(lists), 1, "bone-assignment list count");
    // The reads are sequential: what is left is counted down here rather than asked of the stream
    // for every list.
    int64_t left = bytesLeft(in);
    core::Collection<Mesh::BoneAssignmentList> assignments;
    assignments.reserve(int(lists));
    for (uint32_t v = 0; v < lists; ++v) {
        const int n = in->readUInt8();
        left -= 1 + n * ASSIGNMENT_SIZE;
        if (left < 0) {
            refuse(String("TMSHStreamer: bone-assignment count ") + n + " larger than the file");
        }
        Mesh::BoneAssignmentList list;
        for (int a = 0; a < n; ++a) {
            Mesh::VertexBoneAssignment assignment;
            assignment.bone = in->readLUInt16();
            in->readLUInt16();
            assignment.weight = in->readLFloat();
            list.add(assignment);
        }
        assignments.add(list);
    }
    mesh->setVertexBoneAssignments(assignments);

    const int staticCount = vertexCountOf(mesh->staticVertexData.get());
    for (int i = 0; i < mesh->getNumSubMeshes(); ++i) {
        const Mesh::SubMesh* subMesh = mesh->getSubMesh(i);
        checkIndices(subMesh->indexData.get(),
                     subMesh->vertexData ? vertexCountOf(subMesh->vertexData.get()) : staticCount);
    }
    return mesh;
}

IntrusivePointer<material::Material> TMSHStreamer::readMaterial(DataStream* in, int)
{
    if (!in->readBool()) {
        return nullptr;
    }
    const String name = in->readNullTerminatedString();
    IntrusivePointer<material::Material> material;
    if (name.length() > 0) {
        material = engine_->getMaterialManager()->findMaterial(name);
    }
    if (!material) {
        material = engine_->createDiffuseMaterial(nullptr, nullptr);
    }
    if (material && name.length() > 0) {
        material->setName(name);
    }
    material::RenderPass* pass = material ? material->getPass(-1, -1) : nullptr;
    // Without a render state (no device, unbacked engine) the stored states are read and dropped.
    render::RenderState* state = pass != nullptr ? pass->getRenderState() : nullptr;

    render::MaterialState materialState;
    if (readRecord<render::MaterialState, MATERIAL_STATE_SIZE>(in, defaultMaterialState(), &decodeMaterialState,
                                                                  materialState) &&
        state != nullptr) {
        state->setMaterialState(materialState);
    }
    render::RasterizerState rasterizerState;
    if (readRecord<render::RasterizerState, RASTERIZER_STATE_SIZE>(in, render::RasterizerState(),
                                                                      &decodeRasterizerState, rasterizerState) &&
        state != nullptr) {
        state->setRasterizerState(rasterizerState);
    }
    render::BlendState blendState;
    if (readRecord<render::BlendState, BLEND_STATE_SIZE>(in, render::BlendState(), &decodeBlendState, blendState) &&
        state != nullptr) {
        state->setBlendState(blendState);
    }
    return material;
}

IntrusivePointer<Skeleton> TMSHStreamer::readSkeleton(DataStream* in, int)
{
    IntrusivePointer<Skeleton> skeleton(new Skeleton());
    const int32_t count = in->readLInt32();
    if (count > 0) {
        checkFits(in, count, BONE_RECORD_SIZE, "bone count");
    }
    for (int i = 0; i < count; ++i) {
        IntrusivePointer<Skeleton::Bone> bone(new Skeleton::Bone());
        bone->index = in->readLInt32();
        bone->parentIndex = in->readLInt32();
        in->readLVector3(bone->translate);
        in->readLQuaternion(bone->rotate);
        in->readLVector3(bone->scale);
        in->readLVector3(bone->worldToBoneTranslate);
        in->readLQuaternion(bone->worldToBoneRotate);
        in->readLVector3(bone->bound.minimum);
        in->readLVector3(bone->bound.maximum);
        bone->name = in->readNullTerminatedString();
        skeleton->addBone(bone.get());
    }
    return skeleton;
}

IntrusivePointer<Sequence> TMSHStreamer::readSequence(DataStream* in, int)
{
    IntrusivePointer<Sequence> sequence(new Sequence());
    const int32_t count = in->readLInt32();
    if (count > 0) {
        checkFits(in, count, TRACK_RECORD_SIZE, "track count");
    }
    render::VertexFormat* format = engine_->getVertexFormats().POSITION_SEMANTIC7_SEMANTIC6.get();
    for (int t = 0; t < count; ++t) {
        IntrusivePointer<Track> track(new Track(format));
        track->index = in->readLInt32();
        track->length = in->readLFloat();
        const int32_t keys = in->readLInt32();
        if (keys > 0) {
            checkFits(in, keys, KEY_RECORD_SIZE, "key count");
        }
        const int translateElement = format != nullptr ? format->findElement(render::VertexFormat::Semantic_POSITION) : -1;
        const int rotateElement = format != nullptr ? format->findElement(7) : -1;
        const int scaleElement = format != nullptr ? format->findElement(6) : -1;
        for (int k = 0; k < keys; ++k) {
            const float time = in->readLFloat();
            float values[10];
            for (float& value : values) {
                value = in->readLFloat();
            }
            const int key = track->addKeyFrame(time, nullptr);
            const render::VertexBufferAccessor& accessor = track->getAccessor();
            // Translate, rotate (x, y, z, w) and scale into the key's record, by element.
            const int elements[3] = {translateElement, rotateElement, scaleElement};
            const int components[3] = {3, 4, 3};
            int v = 0;
            for (int e = 0; e < 3; ++e) {
                for (int c = 0; c < components[e]; ++c, ++v) {
                    const int element = elements[e];
                    if (element < 0 || element >= render::VertexBufferAccessor::MAX_ELEMENTS ||
                        c >= render::VertexFormat::getFormatCount(format->getElementFormat(element))) {
                        continue;
                    }
                    const int word = key * accessor.vertexSize + accessor.elementOffsets[element] + c;
                    if (accessor.fixed && accessor.fixedData != nullptr) {
                        accessor.fixedData[word] = int32_t(values[v] * 65536.0f);
                    } else if (accessor.floatData != nullptr) {
                        accessor.floatData[word] = values[v];
                    }
                }
            }
        }
        sequence->addTrack(track.get());
    }
    sequence->length = in->readLFloat();
    return sequence;
}

IntrusivePointer<Transform> TMSHStreamer::readTransform(DataStream* in)
{
    if (!in->readBool()) {
        return nullptr;
    }
    IntrusivePointer<Transform> transform(new Transform());
    in->readLVector3(transform->translate);
    in->readLVector3(transform->scale);
    in->readLQuaternion(transform->rotate);
    return transform;
}

IntrusivePointer<Bound> TMSHStreamer::readBound(DataStream* in)
{
    const int32_t kind = in->readLInt32();
    if (kind == Bound::Kind_EMPTY) {
        return nullptr;
    }
    if (kind < 0 || kind > Bound::Kind_INFINITE) {
        // The scene could not cull by it.
        refuse(String("TMSHStreamer: unknown bound kind ") + int(kind));
    }
    core::math::AABox box;
    core::math::Sphere sphere{core::math::Vector3(0.0f, 0.0f, 0.0f), 0.0f};
    in->readLVector3(box.minimum);
    in->readLVector3(box.maximum);
    in->readLVector3(sphere.origin);
    sphere.radius = in->readLFloat();
    IntrusivePointer<Bound> bound(new Bound());
    if (kind == Bound::Kind_BOX) {
        bound->setBox(box);
    } else if (kind == Bound::Kind_SPHERE) {
        bound->setSphere(sphere);
    } else {
        bound->kind = kind;
    }
    return bound;
}

IntrusivePointer<render::VertexData> TMSHStreamer::readVertexData(DataStream* in)
{
    if (in->readLUInt32() == 0) {
        return nullptr;
    }
    IntrusivePointer<render::VertexBuffer> buffer = readVertexBuffer(in);
    if (!buffer) {
        return nullptr;
    }
    return new render::VertexData(buffer);
}

IntrusivePointer<render::IndexData> TMSHStreamer::readIndexData(DataStream* in)
{
    const uint32_t primitive = in->readLUInt32();
    if (primitive == 0) {
        return nullptr;
    }
    IntrusivePointer<render::IndexBuffer> buffer = readIndexBuffer(in);
    const int32_t start = in->readLInt32();
    const int32_t count = in->readLInt32();
    if (!buffer) {
        return nullptr;
    }
    return new render::IndexData(render::IndexData::Primitive(primitive), buffer, start, count);
}

IntrusivePointer<render::VertexBuffer> TMSHStreamer::readVertexBuffer(DataStream* in)
{
    const uint32_t usage = in->readLUInt32();
    if (usage == 0) {
        return nullptr;
    }
    const uint32_t access = in->readLUInt32();
    IntrusivePointer<render::VertexFormat> format = readVertexFormat(in);
    const uint32_t count = in->readLUInt32();
    const int vertexSize = format ? format->getVertexSize() : 0;
    // The format may be shared with other meshes (see readVertexFormat): it is never destroyed here.
    if ((count > 0 && vertexSize <= 0) || int64_t(count) * vertexSize > bytesLeft(in)) {
        if (vertexSize <= 0) {
            refuse(String("TMSHStreamer: ") + (long long)(count) + " vertices without a vertex size");
        }
        refuse(String("TMSHStreamer: vertex count ") + (long long)(count) + " larger than the file");
    }
    const int bytes = int(count) * vertexSize;
    if (!format) {
        return nullptr;
    }
    IntrusivePointer<render::VertexBuffer> buffer =
        engine_->getBufferManager()->createVertexBuffer(int(usage), int(access), format, int(count));
    return fillBuffer(in, buffer, bytes);
}

IntrusivePointer<render::IndexBuffer> TMSHStreamer::readIndexBuffer(DataStream* in)
{
    const uint32_t usage = in->readLUInt32();
    if (usage == 0) {
        return nullptr;
    }
    const uint32_t access = in->readLUInt32();
    const uint32_t width = in->readLUInt32();
    const uint32_t count = in->readLUInt32();
    if (width != 1 && width != 2 && width != 4) {
        refuse(String("TMSHStreamer: index size ") + (long long)(width) + " is not 1, 2 or 4");
    }
    checkFits(in, int64_t(count), width, "index count");
    const int bytes = int(count) * int(width);
    IntrusivePointer<render::IndexBuffer> buffer = engine_->getBufferManager()->createIndexBuffer(
        int(usage), int(access), render::IndexBuffer::IndexFormat(width), int(count));
    return fillBuffer(in, buffer, bytes);
}

IntrusivePointer<render::VertexFormat> TMSHStreamer::readVertexFormat(DataStream* in)
{
    const uint32_t count = in->readLUInt32();
    if (count == 0) {
        return nullptr;
    }
    checkFits(in, int64_t(count), FORMAT_ELEMENT_SIZE, "vertex element count");
    struct Element
    {
        int32_t semantic;
        int32_t index;
        int32_t format;
    };
    std::vector<Element> elements(count);
    for (Element& element : elements) {
        element.semantic = in->readLInt32();
        element.index = in->readLInt32();
        element.format = in->readLInt32();
        if (render::VertexFormat::getFormatSize(element.format) <= 0) {
            refuse(String("TMSHStreamer: vertex element format ") + int(element.format) + " of unknown size");
        }
    }
    // A layout the engine knows already is shared rather than made again for every file read.
    BufferManager* buffers = engine_->getBufferManager();
    const auto& known = buffers->getVertexFormats();
    for (int f = 0; f < known.size(); ++f) {
        render::VertexFormat* candidate = known[f];
        bool same = candidate != nullptr && candidate->getNumElements() == int(count);
        for (int e = 0; same && e < int(count); ++e) {
            same = candidate->getElementSemantic(e) == elements[size_t(e)].semantic &&
                   candidate->getElementIndex(e) == elements[size_t(e)].index &&
                   candidate->getElementFormat(e) == elements[size_t(e)].format;
        }
        if (same) {
            return candidate;
        }
    }
    IntrusivePointer<render::VertexFormat> format = buffers->createVertexFormat();
    for (const Element& element : elements) {
        format->addElement(element.semantic, element.index, element.format);
    }
    return format;
}

bool TMSHStreamer::save(IntrusivePointer<core::io::Stream> stream, IntrusivePointer<core::Resource> resource,
                        ResourceData*, ProgressListener*)
{
    auto* mesh = dynamic_cast<Mesh*>(resource.get());
    if (mesh == nullptr || !stream) {
        return false;
    }
    // What the format cannot hold is refused before anything is written: more submeshes than a
    // reader takes, index data of code 0 (it would read back as absent index data followed by
    // garbage), and more than 255 bones on one vertex (the count is one byte).
    if (mesh->getNumSubMeshes() > 32767) {
        return false;
    }
    for (int i = 0; i < mesh->getNumSubMeshes(); ++i) {
        const render::IndexData* indexData = mesh->getSubMesh(i)->indexData.get();
        if (indexData != nullptr && indexData->primitive == render::IndexData::Primitive_POINTS) {
            return false;
        }
    }
    for (int v = 0; v < mesh->getVertexBoneAssignments().size(); ++v) {
        if (mesh->getVertexBoneAssignments()[v].size() > 255) {
            return false;
        }
    }
    IntrusivePointer<DataStream> out(new DataStream(stream.get()));
    out->writeLUInt32(MAGIC);
    out->writeLUInt32(VERSION);

    IntrusivePointer<core::io::MemoryStream> memory(new core::io::MemoryStream());
    IntrusivePointer<DataStream> block(new DataStream(memory.get()));
    auto flush = [&](int32_t type) {
        out->writeLInt32(type);
        out->writeLInt32(memory->length());
        if (memory->length() > 0) {
            out->write(memory->getOriginalDataPointer(), memory->length());
        }
        memory->reset();
    };
    writeMesh(block.get(), mesh);
    flush(Block_MESH);
    for (int i = 0; i < mesh->getNumSubMeshes(); ++i) {
        Mesh::SubMesh* subMesh = mesh->getSubMesh(i);
        if (subMesh->materialName.length() == 0) {
            writeMaterial(block.get(), subMesh->material.get());
            flush(Block_MATERIAL);
        }
    }
    if (mesh->skeleton) {
        writeSkeleton(block.get(), mesh->skeleton.get());
        flush(Block_SKELETON);
        for (int i = 0; i < mesh->skeleton->getNumSequences(); ++i) {
            writeSequence(block.get(), mesh->skeleton->sequences[i].get());
            flush(Block_SEQUENCE);
        }
    }
    out->flush();
    return true;
}

void TMSHStreamer::writeMesh(DataStream* out, Mesh* mesh)
{
    writeTransform(out, mesh->transform.get());
    writeBound(out, mesh->bound.get());
    out->writeLUInt32(uint32_t(mesh->getNumSubMeshes()));
    for (int i = 0; i < mesh->getNumSubMeshes(); ++i) {
        Mesh::SubMesh* subMesh = mesh->getSubMesh(i);
        writeVertexData(out, subMesh->vertexData.get());
        writeIndexData(out, subMesh->indexData.get());
        out->writeNullTerminatedString(subMesh->materialName);
        out->writeNullTerminatedString(subMesh->getName());
        out->writeUInt8(0);
        writeTransform(out, subMesh->transform.get());
        writeBound(out, subMesh->bound.get());
    }
    writeVertexData(out, mesh->staticVertexData.get());
    const core::Collection<Mesh::BoneAssignmentList>& lists = mesh->getVertexBoneAssignments();
    out->writeLUInt32(uint32_t(lists.size()));
    for (int v = 0; v < lists.size(); ++v) {
        const int n = lists[v].size();
        out->writeUInt8(uint8_t(n));
        for (int a = 0; a < n; ++a) {
            out->writeLUInt16(lists[v][a].bone);
            out->writeLUInt16(0);
            out->writeLFloat(lists[v][a].weight);
        }
    }
}

void TMSHStreamer::writeMaterial(DataStream* out, material::Material* material)
{
    out->writeBool(material != nullptr);
    if (material == nullptr) {
        return;
    }
    out->writeNullTerminatedString(material->getName());
    material::RenderPass* pass = material->getPass(-1, -1);
    const render::RenderState* state = pass != nullptr ? pass->getRenderState() : nullptr;

    render::MaterialState materialState = defaultMaterialState();
    const bool hasMaterial = state != nullptr && state->getMaterialState(materialState);
    writeRecord<render::MaterialState, MATERIAL_STATE_SIZE>(out, hasMaterial, materialState);
    render::RasterizerState rasterizerState;
    const bool hasRasterizer = state != nullptr && state->getRasterizerState(rasterizerState);
    writeRecord<render::RasterizerState, RASTERIZER_STATE_SIZE>(out, hasRasterizer, rasterizerState);
    render::BlendState blendState;
    const bool hasBlend = state != nullptr && state->getBlendState(blendState);
    writeRecord<render::BlendState, BLEND_STATE_SIZE>(out, hasBlend, blendState);
}

void TMSHStreamer::writeSkeleton(DataStream* out, Skeleton* skeleton)
{
    out->writeLInt32(skeleton->getNumBones());
    for (int i = 0; i < skeleton->getNumBones(); ++i) {
        const Skeleton::Bone* bone = skeleton->bones[i].get();
        out->writeLInt32(bone->index);
        out->writeLInt32(bone->parentIndex);
        out->writeLVector3(bone->translate);
        out->writeLQuaternion(bone->rotate);
        out->writeLVector3(bone->scale);
        out->writeLVector3(bone->worldToBoneTranslate);
        out->writeLQuaternion(bone->worldToBoneRotate);
        out->writeLVector3(bone->bound.minimum);
        out->writeLVector3(bone->bound.maximum);
        out->writeNullTerminatedString(bone->name);
    }
}

void TMSHStreamer::writeSequence(DataStream* out, Sequence* sequence)
{
    out->writeLInt32(sequence->getNumTracks());
    for (int t = 0; t < sequence->getNumTracks(); ++t) {
        const Track* track = sequence->getTrack(t);
        if (track == nullptr) {
            // A bone without animation: an empty track.
            out->writeLInt32(t);
            out->writeLFloat(0.0f);
            out->writeLInt32(0);
            continue;
        }
        out->writeLInt32(track->index);
        out->writeLFloat(track->getLength());
        out->writeLInt32(track->getNumKeyFrames());
        render::VertexFormat* format = track->getFormat();
        const render::VertexBufferAccessor& accessor = track->getAccessor();
        const int elements[3] = {format ? format->findElement(render::VertexFormat::Semantic_POSITION) : -1,
                                 format ? format->findElement(7) : -1, format ? format->findElement(6) : -1};
        const int components[3] = {3, 4, 3};
        // Identity where the track's format has no such component.
        const float identity[10] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1};
        for (int k = 0; k < track->getNumKeyFrames(); ++k) {
            out->writeLFloat(track->getTime(k));
            int v = 0;
            for (int e = 0; e < 3; ++e) {
                for (int c = 0; c < components[e]; ++c, ++v) {
                    float value = identity[v];
                    const int element = elements[e];
                    if (element >= 0 && element < render::VertexBufferAccessor::MAX_ELEMENTS &&
                        c < render::VertexFormat::getFormatCount(format->getElementFormat(element))) {
                        const int word = k * accessor.vertexSize + accessor.elementOffsets[element] + c;
                        if (accessor.fixed && accessor.fixedData != nullptr) {
                            value = float(accessor.fixedData[word]) * (1.0f / 65536.0f);
                        } else if (accessor.floatData != nullptr) {
                            value = accessor.floatData[word];
                        }
                    }
                    out->writeLFloat(value);
                }
            }
        }
    }
    out->writeLFloat(sequence->getLength());
}

void TMSHStreamer::writeTransform(DataStream* out, Transform* transform)
{
    out->writeBool(transform != nullptr);
    if (transform != nullptr) {
        out->writeLVector3(transform->translate);
        out->writeLVector3(transform->scale);
        out->writeLQuaternion(transform->rotate);
    }
}

void TMSHStreamer::writeBound(DataStream* out, Bound* bound)
{
    if (bound == nullptr || bound->kind == Bound::Kind_EMPTY) {
        out->writeLInt32(Bound::Kind_EMPTY);
        return;
    }
    out->writeLInt32(bound->kind);
    out->writeLVector3(bound->box.minimum);
    out->writeLVector3(bound->box.maximum);
    out->writeLVector3(bound->sphere.origin);
    out->writeLFloat(bound->sphere.radius);
}

void TMSHStreamer::writeVertexData(DataStream* out, render::VertexData* vertexData)
{
    if (vertexData == nullptr) {
        out->writeLUInt32(0);
        return;
    }
    out->writeLUInt32(1);
    writeVertexBuffer(out, vertexData->vertexBuffers.size() > 0 ? vertexData->vertexBuffers[0].get() : nullptr);
}

void TMSHStreamer::writeIndexData(DataStream* out, render::IndexData* indexData)
{
    if (indexData == nullptr) {
        out->writeLUInt32(0);
        return;
    }
    out->writeLUInt32(uint32_t(indexData->primitive));
    writeIndexBuffer(out, indexData->indexBuffer.get());
    out->writeLInt32(indexData->start);
    out->writeLInt32(indexData->count);
}

namespace {

// The buffer's bytes, or zeros when it cannot be read.
void writeBufferBytes(DataStream* out, render::Buffer* buffer, int bytes)
{
    const unsigned char* data = bytes > 0 ? buffer->lock(render::Buffer::Access_READ) : nullptr;
    if (data != nullptr) {
        out->write(data, bytes);
        buffer->unlock();
        return;
    }
    const unsigned char zeros[256] = {};
    for (int left = bytes; left > 0; left -= int(sizeof zeros)) {
        out->write(zeros, left < int(sizeof zeros) ? left : int(sizeof zeros));
    }
}

} // namespace

void TMSHStreamer::writeVertexBuffer(DataStream* out, render::VertexBuffer* buffer)
{
    if (buffer == nullptr || buffer->getUsage() == 0) {
        out->writeLUInt32(0);
        return;
    }
    out->writeLUInt32(uint32_t(buffer->getUsage()));
    out->writeLUInt32(uint32_t(buffer->getAccess()));
    IntrusivePointer<render::VertexFormat> format = buffer->getVertexFormat();
    writeVertexFormat(out, format.get());
    const int count = format && format->getNumElements() > 0 ? buffer->getSize() : 0;
    out->writeLUInt32(uint32_t(count));
    writeBufferBytes(out, buffer, count * (format ? format->getVertexSize() : 0));
}

void TMSHStreamer::writeIndexBuffer(DataStream* out, render::IndexBuffer* buffer)
{
    if (buffer == nullptr || buffer->getUsage() == 0) {
        out->writeLUInt32(0);
        return;
    }
    out->writeLUInt32(uint32_t(buffer->getUsage()));
    out->writeLUInt32(uint32_t(buffer->getAccess()));
    out->writeLUInt32(uint32_t(buffer->getIndexFormat()));
    out->writeLUInt32(uint32_t(buffer->getSize()));
    writeBufferBytes(out, buffer, buffer->getSize() * int(buffer->getIndexFormat()));
}

void TMSHStreamer::writeVertexFormat(DataStream* out, render::VertexFormat* format)
{
    if (format == nullptr) {
        out->writeLUInt32(0);
        return;
    }
    out->writeLUInt32(uint32_t(format->getNumElements()));
    for (int i = 0; i < format->getNumElements(); ++i) {
        out->writeLUInt32(uint32_t(format->getElementSemantic(i)));
        out->writeLUInt32(uint32_t(format->getElementIndex(i)));
        out->writeLUInt32(uint32_t(format->getElementFormat(i)));
    }
}

} // namespace rezezaz::scene

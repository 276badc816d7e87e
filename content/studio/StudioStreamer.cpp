#include "content/studio/StudioStreamer.h"

#include "content/MaterialSteps.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "core/io/DataStream.h"
#include "render/IndexBuffer.h"
#include "render/IndexBufferAccessor.h"
#include "render/RenderState.h"
#include "render/TextureFormat.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/TextureManager.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace rezezaz::scene::studio {

using core::Categories;
using core::IntrusivePointer;
using core::String;
using render::IndexData;
using render::TextureFormat;

namespace {

constexpr int32_t STUDIO_IDST = 0x54534449;
constexpr int32_t STUDIO_IDSQ = 0x51534449;
constexpr int64_t MAIN_HEADER_BYTES = 244;

// Positions in the main header.
constexpr int64_t NUM_BONES = 140;
constexpr int64_t BONE_INDEX = 144;
constexpr int64_t NUM_TEXTURES = 180;
constexpr int64_t TEXTURE_INDEX = 184;
constexpr int64_t NUM_SKIN_REF = 192;
constexpr int64_t SKIN_INDEX = 200;
constexpr int64_t NUM_BODY_PARTS = 204;
constexpr int64_t BODY_PART_INDEX = 208;

constexpr int64_t BONE_BYTES = 112;
constexpr int64_t BONE_FLAGS = 36;
constexpr int64_t TEXTURE_BYTES = 80;
constexpr int64_t BODY_PART_BYTES = 76;
constexpr int64_t BODY_PART_NUM_MODELS = 64;
constexpr int64_t BODY_PART_MODEL_INDEX = 72;
constexpr int64_t MODEL_BYTES = 112;
constexpr int64_t MODEL_NUM_MESH = 72;
constexpr int64_t MODEL_MESH_INDEX = 76;
constexpr int64_t MODEL_NUM_NORMS = 92;
constexpr int64_t MODEL_NORM_INFO_INDEX = 96;
constexpr int64_t MESH_BYTES = 20;
constexpr int64_t MESH_TRI_INDEX = 4;
constexpr int64_t MESH_SKIN_REF = 8;
constexpr int64_t COMMAND_VERTEX_BYTES = 8;
constexpr int64_t PALETTE_BYTES = 256 * 3;
constexpr int MIN_TEXTURES = 1;
constexpr int MAX_TEXTURES = 100;
constexpr int64_t MAX_16_BIT_INDEX = 65535;

[[noreturn]] void refuse(const String& text)
{
    core::Error::unknown(Categories::REZEZAZ_SCENE_STUDIO, true, text);
}

// Little-endian reads of the model's bytes. Each read is checked, so a record missed by the checks
// of the stages is refused rather than read past the buffer.
class Bytes
{
public:
    explicit Bytes(StudioModel* model) : data_(model->getBuffer()), length_(model->getBufferLength()) {}

    int64_t length() const { return length_; }
    bool inside(int64_t at, int64_t count) const { return at >= 0 && count >= 0 && at + count <= length_; }

    int32_t i32(int64_t at) const
    {
        check(at, 4);
        int32_t value;
        std::memcpy(&value, data_ + at, sizeof value);
        return value;
    }
    int16_t i16(int64_t at) const
    {
        check(at, 2);
        int16_t value;
        std::memcpy(&value, data_ + at, sizeof value);
        return value;
    }
    unsigned char* at(int64_t at, int64_t count) const
    {
        check(at, count);
        return data_ + at;
    }

    // A table of count records of size bytes at offset; a count of 0 or less is no table.
    void table(int64_t offset, int64_t count, int64_t size, const char* what) const
    {
        if (count > 0 && !inside(offset, count * size)) {
            refuse(String("studio ") + what + " records lie outside the file");
        }
    }

private:
    void check(int64_t at, int64_t count) const
    {
        if (!inside(at, count)) {
            refuse("studio record lies outside the file");
        }
    }

    unsigned char* data_;
    int64_t length_;
};

// The texture record a mesh's skin reference leads to, or -1 when the reference lies outside the
// skin table or its entry outside the texture records.
int32_t meshTexture(const Bytes& bytes, int32_t skinReference)
{
    const int32_t skins = bytes.i32(NUM_SKIN_REF);
    const int64_t skinTable = bytes.i32(SKIN_INDEX);
    if (skinReference < 0 || skinReference >= skins || !bytes.inside(skinTable + 2 * int64_t(skinReference), 2)) {
        return -1;
    }
    const int32_t texture = bytes.i16(skinTable + 2 * int64_t(skinReference));
    const int32_t textures = bytes.i32(NUM_TEXTURES);
    if (texture < 0 || texture >= textures || bytes.i32(TEXTURE_INDEX) <= 0) {
        return -1;
    }
    return texture;
}

render::MaterialState studioMaterialState(bool flat)
{
    render::MaterialState state = MaterialSteps::defaultMaterialState();
    state.shade = flat ? render::MaterialState::ShadeType_FLAT : render::MaterialState::ShadeType_GOURAUD;
    return state;
}

} // namespace

StudioStreamer::StudioStreamer(Engine* engine) : engine_(engine) {}

IntrusivePointer<core::Resource> StudioStreamer::load(IntrusivePointer<core::io::Stream> stream, ResourceData*,
                                                      ProgressListener*)
{
    if (!stream) {
        core::Error::nullPointer(Categories::REZEZAZ_SCENE_STUDIO, true, "null stream");
    }
    IntrusivePointer<core::io::DataStream> in = new core::io::DataStream(stream.get());
    const int32_t id = in->readLInt32();
    in->reset();
    if (id != STUDIO_IDST && id != STUDIO_IDSQ) {
        refuse(String("incorrect studio id:") + id);
    }

    IntrusivePointer<StudioModel> model = new StudioModel();
    unsigned char* bytes = nullptr;
    const int length = in->readAll(bytes);
    model->setBuffer(bytes, length);
    // A sequence-group file ("IDSQ") is often no more than its own short header.
    if (length < MAIN_HEADER_BYTES) {
        refuse("studio file shorter than its header");
    }

    buildBuffers(model.get());
    buildTextures(model.get());
    buildMaterials(model.get());
    return IntrusivePointer<core::Resource>(static_cast<core::BaseResource*>(model.get()));
}

void StudioStreamer::buildBuffers(StudioModel* model)
{
    const Bytes bytes(model);
    const int32_t bodyParts = bytes.i32(NUM_BODY_PARTS);
    const int64_t bodyPartIndex = bytes.i32(BODY_PART_INDEX);
    const int32_t bones = bytes.i32(NUM_BONES);
    const int64_t boneIndex = bytes.i32(BONE_INDEX);
    bytes.table(bodyPartIndex, bodyParts, BODY_PART_BYTES, "body part");
    bytes.table(boneIndex, bones, BONE_BYTES, "bone");

    // Calls back for every mesh in body-part, model, mesh order with the positions of its model and
    // mesh records.
    auto forEachMesh = [&](auto&& visit) {
        for (int32_t b = 0; b < bodyParts; ++b) {
            const int64_t bodyPart = bodyPartIndex + b * BODY_PART_BYTES;
            const int32_t models = bytes.i32(bodyPart + BODY_PART_NUM_MODELS);
            const int64_t modelIndex = bytes.i32(bodyPart + BODY_PART_MODEL_INDEX);
            bytes.table(modelIndex, models, MODEL_BYTES, "model");
            for (int32_t m = 0; m < models; ++m) {
                const int64_t modelRecord = modelIndex + m * MODEL_BYTES;
                const int32_t meshes = bytes.i32(modelRecord + MODEL_NUM_MESH);
                const int64_t meshIndex = bytes.i32(modelRecord + MODEL_MESH_INDEX);
                bytes.table(meshIndex, meshes, MESH_BYTES, "mesh");
                for (int32_t s = 0; s < meshes; ++s) {
                    visit(modelRecord, meshIndex + s * MESH_BYTES);
                }
            }
        }
    };
    // Calls back for every command of a mesh with its count and the position of its first vertex.
    auto forEachCommand = [&](int64_t mesh, auto&& visit) {
        int64_t at = bytes.i32(mesh + MESH_TRI_INDEX);
        for (;;) {
            if (!bytes.inside(at, 2)) {
                refuse("studio command list runs past the end of the file");
            }
            const int32_t n = bytes.i16(at);
            at += 2;
            if (n == 0) {
                return;
            }
            const int64_t vertices = std::abs(n);
            if (!bytes.inside(at, vertices * COMMAND_VERTEX_BYTES)) {
                refuse("studio command list runs past the end of the file");
            }
            visit(n, at);
            at += vertices * COMMAND_VERTEX_BYTES;
        }
    };

    int32_t meshCount = 0;
    int64_t vertexCount = 0;
    forEachMesh([&](int64_t, int64_t mesh) {
        ++meshCount;
        forEachCommand(mesh, [&](int32_t n, int64_t) {
            vertexCount += std::abs(n);
            if (vertexCount > std::numeric_limits<int32_t>::max()) {
                refuse("studio model has too many vertices");
            }
        });
    });
    core::Collection<StudioModel::meshdata>& meshData = model->getMeshData();
    meshData.clear();
    meshData.resize(meshCount);
    model->setVertexCount(int32_t(vertexCount));

    const bool fans = engine_->getRenderCaps().triangleFan;
    int32_t v = 0;
    int32_t meshNumber = 0;
    forEachMesh([&](int64_t modelRecord, int64_t mesh) {
        StudioModel::meshdata& data = meshData[meshNumber++];
        data.firstVertex = v;
        const int32_t texture = meshTexture(bytes, bytes.i32(mesh + MESH_SKIN_REF));
        bool chrome = false;
        if (texture >= 0) {
            const int64_t record = int64_t(bytes.i32(TEXTURE_INDEX)) + texture * TEXTURE_BYTES;
            if (!bytes.inside(record, TEXTURE_BYTES)) {
                refuse("studio texture record lies outside the file");
            }
            chrome = (bytes.i32(record + 64) & FLAG_CHROME) != 0;
        }
        const int32_t normals = bytes.i32(modelRecord + MODEL_NUM_NORMS);
        const int64_t normalBones = bytes.i32(modelRecord + MODEL_NORM_INFO_INDEX);

        forEachCommand(mesh, [&](int32_t n, int64_t first) {
            const int32_t count = std::abs(n);
            IntrusivePointer<IndexData> indexData;
            if (n > 0) {
                indexData = new IndexData(IndexData::Primitive_TRIANGLE_STRIP, nullptr, v, n);
            } else if (fans) {
                indexData = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, v, count);
            } else if (count < 3) {
                // Too few vertices for a triangle: a draw of nothing keeps one index data a command.
                indexData = new IndexData(IndexData::Primitive_TRIANGLES, nullptr, 0, 0);
            } else {
                if (int64_t(v) + count - 1 > MAX_16_BIT_INDEX) {
                    refuse("studio fan vertex numbers pass the 16-bit indices");
                }
                const int indices = (count - 2) * 3;
                IntrusivePointer<render::IndexBuffer> buffer = engine_->getBufferManager()->createIndexBuffer(
                    render::Buffer::Usage_STATIC, render::Buffer::Access_WRITE,
                    render::IndexBuffer::IndexFormat_UINT16, indices);
                if (!buffer) {
                    refuse("studio index buffer could not be made");
                }
                {
                    render::IndexBufferAccessor accessor(buffer.get(), render::Buffer::Access_WRITE);
                    for (int k = 0; k < count - 2; ++k) {
                        accessor.set(3 * k, uint32_t(v));
                        accessor.set(3 * k + 1, uint32_t(v + k + 1));
                        accessor.set(3 * k + 2, uint32_t(v + k + 2));
                    }
                }
                indexData = new IndexData(IndexData::Primitive_TRIANGLES, buffer, 0, indices);
            }
            data.indexData.add(indexData);

            if (chrome) {
                for (int32_t i = 0; i < count; ++i) {
                    const int32_t normal = bytes.i16(first + i * COMMAND_VERTEX_BYTES + 2);
                    if (normal < 0 || normal >= normals || !bytes.inside(normalBones + normal, 1)) {
                        continue;
                    }
                    const int32_t bone = *bytes.at(normalBones + normal, 1);
                    if (bone >= bones) {
                        continue;
                    }
                    unsigned char* flags = bytes.at(boneIndex + bone * BONE_BYTES + BONE_FLAGS, 4);
                    int32_t value;
                    std::memcpy(&value, flags, sizeof value);
                    value |= BONE_CHROME;
                    std::memcpy(flags, &value, sizeof value);
                }
            }
            v += count;
        });
    });
}

void StudioStreamer::buildTextures(StudioModel* model)
{
    const Bytes bytes(model);
    const int32_t textures = bytes.i32(NUM_TEXTURES);
    const int64_t textureIndex = bytes.i32(TEXTURE_INDEX);
    model->getTextures().clear();
    if (textureIndex <= 0 || textures < MIN_TEXTURES || textures > MAX_TEXTURES) {
        return;
    }
    bytes.table(textureIndex, textures, TEXTURE_BYTES, "texture");
    for (int32_t i = 0; i < textures; ++i) {
        studiotexture record;
        std::memcpy(&record, bytes.at(textureIndex + i * TEXTURE_BYTES, TEXTURE_BYTES), sizeof record);
        if (record.width < 1 || record.height < 1) {
            refuse(String("studio texture ") + i + " has no size");
        }
        const int64_t pixels = int64_t(record.width) * record.height;
        if (!bytes.inside(record.index, pixels + PALETTE_BYTES)) {
            refuse(String("studio texture ") + i + " data lie outside the file");
        }
        const unsigned char* indices = bytes.at(record.index, pixels);
        model->getTextures().add(createTexture(&record, indices, indices + pixels));
    }
}

IntrusivePointer<render::Texture> StudioStreamer::createTexture(const studiotexture* texture,
                                                                const unsigned char* indices,
                                                                const unsigned char* palette)
{
    IntrusivePointer<TextureFormat> format = new TextureFormat(
        TextureFormat::Dimension_2D, TextureFormat::Format_RGB_8, texture->width, texture->height, 1, 0);
    if (format->getDataSize() <= 0) {
        refuse("studio texture too large");
    }
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[size_t(format->getDataSize())]);
    const size_t count = size_t(texture->width) * size_t(texture->height);
    unsigned char* out = pixels.get();
    for (size_t p = 0; p < count; ++p) {
        const unsigned char* colour = palette + 3 * size_t(indices[p]);
        out[0] = colour[0];
        out[1] = colour[1];
        out[2] = colour[2];
        out += 3;
    }
    IntrusivePointer<render::Texture> result = engine_->getTextureManager()->createTexture(format, pixels.get());
    if (result) {
        result->setName(String(texture->name, int(strnlen(texture->name, sizeof texture->name))));
    }
    return result;
}

void StudioStreamer::buildMaterials(StudioModel* model)
{
    const Bytes bytes(model);
    core::Collection<IntrusivePointer<material::Material>>& materials = model->getMaterials();
    materials.clear();
    core::Collection<IntrusivePointer<render::Texture>>& textures = model->getTextures();
    if (textures.size() == 0) {
        return;
    }
    const int64_t textureIndex = bytes.i32(TEXTURE_INDEX);
    // Made on first use: index 0 for flat-shaded textures, 1 for the others.
    IntrusivePointer<render::RenderState> states[2];
    bool made[2] = {false, false};
    for (int32_t i = 0; i < textures.size(); ++i) {
        studiotexture record;
        std::memcpy(&record, bytes.at(textureIndex + i * TEXTURE_BYTES, TEXTURE_BYTES), sizeof record);
        const int kind = (record.flags & FLAG_FLATSHADE) != 0 ? 0 : 1;
        if (!made[kind]) {
            made[kind] = true;
            states[kind] = engine_->getMaterialManager()->createRenderState();
            if (states[kind]) {
                states[kind]->setRasterizerState(
                    MaterialSteps::solidRasterizerState(render::RasterizerState::CullType_FRONT));
                states[kind]->setMaterialState(studioMaterialState(kind == 0));
            }
        }
        IntrusivePointer<material::Material> material =
            engine_->createDiffuseMaterial(textures[i].get(), states[kind].get());
        if (material) {
            material->setName(String(record.name, int(strnlen(record.name, sizeof record.name))));
        }
        materials.add(material);
    }
}

} // namespace rezezaz::scene::studio

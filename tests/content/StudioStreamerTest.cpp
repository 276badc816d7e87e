#include "ModelStreamerFixture.h"
#include "content/studio/StudioModel.h"
#include "content/studio/StudioStreamer.h"
#include "core/Exception.h"
#include "render/IndexBufferAccessor.h"
#include "render/IndexData.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderState.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/ResourceManager.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "support/TemporaryFolder.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::render::IndexData;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::studio::StudioModel;
using rezezaz::scene::studio::StudioStreamer;

namespace {

using Bytes = std::vector<unsigned char>;

const std::string MODELS = "/usr/share/assimp/models/MDL/MDL (HL1)/";

Bytes readBytes(const std::string& path)
{
    const std::string text = support::readFile(path);
    return Bytes(text.begin(), text.end());
}

void putInt(Bytes& out, size_t at, int32_t value)
{
    std::memcpy(out.data() + at, &value, sizeof value);
}

void putShort(Bytes& out, int16_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(uint16_t(value) >> 8));
}

int32_t getInt(const Bytes& bytes, size_t at)
{
    int32_t value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// A studio file of one body part in the published layout of version 10, with the records the
// reader follows: bones, textures with their indices and palette, the skin table, models with their
// normal-bone table and meshes with their command lists. Palette entry k is (k, 255 - k, 3k).
struct StudioFile
{
    struct TextureRecord
    {
        std::string name;
        int32_t flags = 0;
        int32_t width = 1;
        int32_t height = 1;
    };
    struct Command
    {
        int16_t n;
        std::vector<int16_t> normals; // one per vertex; 0 when missing
    };
    struct Mesh
    {
        int32_t skinReference = 0;
        std::vector<Command> commands;
    };
    struct Model
    {
        std::vector<Mesh> meshes;
        std::vector<unsigned char> normalBones;
    };

    std::vector<int32_t> boneFlags;
    std::vector<TextureRecord> textures;
    int32_t textureCount = -1; // -1: the records' count
    std::vector<int16_t> skins;
    std::vector<Model> models;

    // Where the records went, for tests that damage them.
    mutable std::map<std::string, size_t> at;

    Bytes bytes() const
    {
        Bytes out(244, 0);
        std::memcpy(out.data(), "IDST", 4);
        putInt(out, 4, 10);

        at["bones"] = out.size();
        for (int32_t flags : boneFlags) {
            const size_t bone = out.size();
            out.resize(out.size() + 112, 0);
            putInt(out, bone + 36, flags);
        }
        putInt(out, 140, int32_t(boneFlags.size()));
        putInt(out, 144, int32_t(at["bones"]));

        at["textures"] = out.size();
        out.resize(out.size() + 80 * textures.size(), 0);
        for (size_t i = 0; i < textures.size(); ++i) {
            const size_t record = at["textures"] + 80 * i;
            std::memcpy(out.data() + record, textures[i].name.c_str(), std::min<size_t>(63, textures[i].name.size()));
            putInt(out, record + 64, textures[i].flags);
            putInt(out, record + 68, textures[i].width);
            putInt(out, record + 72, textures[i].height);
            putInt(out, record + 76, int32_t(out.size()));
            at["texture data " + std::to_string(i)] = out.size();
            for (int64_t p = 0; p < int64_t(textures[i].width) * textures[i].height; ++p) {
                out.push_back(static_cast<unsigned char>(p * 5 + i));
            }
            for (int k = 0; k < 256; ++k) {
                out.push_back(static_cast<unsigned char>(k));
                out.push_back(static_cast<unsigned char>(255 - k));
                out.push_back(static_cast<unsigned char>(3 * k));
            }
        }
        putInt(out, 180, textureCount >= 0 ? textureCount : int32_t(textures.size()));
        putInt(out, 184, textures.empty() ? 0 : int32_t(at["textures"]));

        at["skins"] = out.size();
        for (int16_t skin : skins) {
            putShort(out, skin);
        }
        putInt(out, 192, int32_t(skins.size()));
        putInt(out, 196, 1);
        putInt(out, 200, int32_t(at["skins"]));

        at["body part"] = out.size();
        out.resize(out.size() + 76, 0);
        putInt(out, 204, 1);
        putInt(out, 208, int32_t(at["body part"]));
        putInt(out, at["body part"] + 64, int32_t(models.size()));
        const size_t modelIndex = out.size();
        putInt(out, at["body part"] + 72, int32_t(modelIndex));
        at["models"] = modelIndex;
        out.resize(out.size() + 112 * models.size(), 0);

        for (size_t m = 0; m < models.size(); ++m) {
            const size_t model = modelIndex + 112 * m;
            const Model& source = models[m];
            putInt(out, model + 92, int32_t(source.normalBones.size()));
            putInt(out, model + 96, int32_t(out.size()));
            out.insert(out.end(), source.normalBones.begin(), source.normalBones.end());

            const size_t meshIndex = out.size();
            at["meshes " + std::to_string(m)] = meshIndex;
            putInt(out, model + 72, int32_t(source.meshes.size()));
            putInt(out, model + 76, int32_t(meshIndex));
            out.resize(out.size() + 20 * source.meshes.size(), 0);
            for (size_t s = 0; s < source.meshes.size(); ++s) {
                const size_t mesh = meshIndex + 20 * s;
                putInt(out, mesh + 8, source.meshes[s].skinReference);
                putInt(out, mesh + 4, int32_t(out.size()));
                at["commands " + std::to_string(m) + "." + std::to_string(s)] = out.size();
                for (const Command& command : source.meshes[s].commands) {
                    putShort(out, command.n);
                    for (int v = 0; v < std::abs(command.n); ++v) {
                        putShort(out, int16_t(v));
                        putShort(out, v < int(command.normals.size()) ? command.normals[size_t(v)] : 0);
                        putShort(out, 0);
                        putShort(out, 0);
                    }
                }
                putShort(out, 0);
            }
        }
        return out;
    }
};

std::vector<uint32_t> indices(IndexData* data)
{
    std::vector<uint32_t> values;
    if (!data->indexBuffer) {
        return values;
    }
    rezezaz::render::IndexBufferAccessor accessor(data->indexBuffer.get(), rezezaz::render::Buffer::Access_READ);
    for (int i = 0; i < data->count; ++i) {
        values.push_back(accessor.get(data->start + i));
    }
    return values;
}

// The triangles the model's index data draw.
int faces(StudioModel& model)
{
    int total = 0;
    for (const StudioModel::meshdata& mesh : model.getMeshData()) {
        for (const auto& data : mesh.indexData) {
            total += data->primitive == IndexData::Primitive_TRIANGLES ? data->count / 3 : std::max(0, data->count - 2);
        }
    }
    return total;
}

class StudioStreamerTest : public contenttest::ModelStreamerFixture<StudioStreamer, StudioModel>
{
};

TEST_F(StudioStreamerTest, AgreesWithAssimpOnEveryRealModel)
{
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(MODELS)) {
        if (entry.path().extension() == ".mdl") {
            paths.push_back(entry.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    ASSERT_GE(paths.size(), 30u);
    int compared = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const Bytes bytes = readBytes(path);
        ASSERT_GE(bytes.size(), 4u);
        Assimp::Importer importer;
        const aiScene* oracle = importer.ReadFile(path, 0);

        if (std::memcmp(bytes.data(), "IDSQ", 4) == 0) {
            // Sequence-group files: their identification passes, their size does not.
            EXPECT_EQ(oracle, nullptr);
            EXPECT_EQ(refusal(bytes), "studio file shorter than its header");
            continue;
        }
        ASSERT_NE(oracle, nullptr) << importer.GetErrorString();
        auto resource = engine->getStudioModelManager()->find(path.c_str(), nullptr);
        auto* model = dynamic_cast<StudioModel*>(resource.get());
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->getMeshData().size(), int(oracle->mNumMeshes));
        unsigned oracleFaces = 0;
        for (unsigned i = 0; i < oracle->mNumMeshes; ++i) {
            oracleFaces += oracle->mMeshes[i]->mNumFaces;
        }
        EXPECT_EQ(faces(*model), int(oracleFaces));

        // The oracle takes the textures of a model without any from its "T" companion file.
        IntrusivePointer<StudioModel> textured = model;
        if (path.find("/man.mdl") != std::string::npos) {
            EXPECT_EQ(model->getTextures().size(), 0);
            textured = load(readBytes(MODELS + "manT.mdl"));
            ASSERT_TRUE(textured);
            EXPECT_EQ(textured->getMeshData().size(), 0);
        }
        ASSERT_EQ(textured->getTextures().size(), int(oracle->mNumTextures));
        EXPECT_EQ(textured->getMaterials().size(), int(oracle->mNumTextures));
        for (unsigned t = 0; t < oracle->mNumTextures; ++t) {
            const aiTexture* expected = oracle->mTextures[t];
            Texture* texture = textured->getTextures()[int(t)].get();
            ASSERT_NE(texture, nullptr);
            EXPECT_STREQ(texture->getName().c_str(), expected->mFilename.C_Str());
            EXPECT_STREQ(textured->getMaterials()[int(t)]->getName().c_str(), expected->mFilename.C_Str());
            ASSERT_EQ(texture->getFormat()->getWidth(), int(expected->mWidth));
            ASSERT_EQ(texture->getFormat()->getHeight(), int(expected->mHeight));
            EXPECT_EQ(texture->getFormat()->pixelFormat, TextureFormat::Format_RGB_8);
            Bytes rgb;
            for (unsigned p = 0; p < expected->mWidth * expected->mHeight; ++p) {
                rgb.push_back(expected->pcData[p].r);
                rgb.push_back(expected->pcData[p].g);
                rgb.push_back(expected->pcData[p].b);
            }
            EXPECT_TRUE(contenttest::texturePixels(texture) == rgb) << "texture " << t;
        }
        ++compared;
    }
    EXPECT_GE(compared, 14);
}

TEST_F(StudioStreamerTest, ChromeMarksTheBonesOfItsNormals)
{
    const Bytes original = readBytes(MODELS + "chrome_sphere.mdl");
    IntrusivePointer<StudioModel> model = load(original);
    ASSERT_TRUE(model);
    ASSERT_EQ(model->getBufferLength(), int(original.size()));
    const Bytes marked(model->getBuffer(), model->getBuffer() + model->getBufferLength());
    const int32_t bones = getInt(original, 140);
    const int32_t boneIndex = getInt(original, 144);
    ASSERT_GT(bones, 0);
    int markedBones = 0;
    for (int32_t b = 0; b < bones; ++b) {
        const size_t flags = size_t(boneIndex) + 112 * size_t(b) + 36;
        const int32_t before = getInt(original, flags);
        const int32_t after = getInt(marked, flags);
        EXPECT_TRUE(after == before || after == (before | 8)) << b;
        markedBones += after != before ? 1 : 0;
    }
    EXPECT_GT(markedBones, 0);
    // Nothing but bone flags changes.
    Bytes unflagged = marked;
    for (int32_t b = 0; b < bones; ++b) {
        const size_t flags = size_t(boneIndex) + 112 * size_t(b) + 36;
        std::copy(original.begin() + long(flags), original.begin() + long(flags) + 4, unflagged.begin() + long(flags));
    }
    EXPECT_TRUE(unflagged == original);
}

TEST_F(StudioStreamerTest, StripsAndFansBecomeIndexDataInModelVertexOrder)
{
    StudioFile file;
    file.textures = {{"skin.bmp", 0, 2, 2}};
    file.skins = {0};
    StudioFile::Model model;
    model.meshes = {{0, {{4, {}}, {-5, {}}}}, {0, {{7, {}}, {-1, {}}, {-2, {}}, {3, {}}}}};
    file.models = {model};
    const Bytes bytes = file.bytes();

    for (bool fans : {true, false}) {
        SCOPED_TRACE(fans);
        engine->setHasBackableTriangleFan(fans);
        IntrusivePointer<StudioModel> loaded = load(bytes);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->getVertexCount(), 4 + 5 + 7 + 1 + 2 + 3);
        ASSERT_EQ(loaded->getMeshData().size(), 2);
        const StudioModel::meshdata& first = loaded->getMeshData()[0];
        const StudioModel::meshdata& second = loaded->getMeshData()[1];
        EXPECT_EQ(first.firstVertex, 0);
        EXPECT_EQ(second.firstVertex, 9);
        ASSERT_EQ(first.indexData.size(), 2);
        ASSERT_EQ(second.indexData.size(), 4);

        IndexData* strip = first.indexData[0].get();
        EXPECT_EQ(strip->primitive, IndexData::Primitive_TRIANGLE_STRIP);
        EXPECT_FALSE(strip->indexBuffer);
        EXPECT_EQ(strip->start, 0);
        EXPECT_EQ(strip->count, 4);
        IndexData* fan = first.indexData[1].get();
        if (fans) {
            EXPECT_EQ(fan->primitive, IndexData::Primitive_TRIANGLE_FAN);
            EXPECT_FALSE(fan->indexBuffer);
            EXPECT_EQ(fan->start, 4);
            EXPECT_EQ(fan->count, 5);
        } else {
            EXPECT_EQ(fan->primitive, IndexData::Primitive_TRIANGLES);
            ASSERT_TRUE(fan->indexBuffer);
            EXPECT_EQ(fan->indexBuffer->getIndexFormat(), rezezaz::render::IndexBuffer::IndexFormat_UINT16);
            EXPECT_EQ(fan->start, 0);
            EXPECT_EQ(fan->count, 9);
            EXPECT_EQ(indices(fan), (std::vector<uint32_t>{4, 5, 6, 4, 6, 7, 4, 7, 8}));
        }
        // Fans of one and two vertices draw no triangle; the strip after them starts past them.
        for (int i : {1, 2}) {
            IndexData* small = second.indexData[i].get();
            EXPECT_FALSE(small->indexBuffer);
            if (!fans) {
                EXPECT_EQ(small->count, 0);
            }
        }
        EXPECT_EQ(second.indexData[3]->start, 9 + 7 + 1 + 2);
        EXPECT_EQ(faces(*loaded), 2 + 3 + 5 + 1);
    }
    engine->setHasBackableTriangleFan(false);

    // Two meshes of 10 and 6 command vertices.
    StudioFile two;
    StudioFile::Model pair;
    pair.meshes = {{0, {{10, {}}}}, {0, {{-6, {}}}}};
    two.models = {pair};
    IntrusivePointer<StudioModel> loaded = load(two.bytes());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->getVertexCount(), 16);
    EXPECT_EQ(loaded->getMeshData()[0].firstVertex, 0);
    EXPECT_EQ(loaded->getMeshData()[1].firstVertex, 10);
    EXPECT_EQ(loaded->getTextures().size(), 0);
}

TEST_F(StudioStreamerTest, TexturesGetAFlatOrASmoothSharedRenderState)
{
    StudioFile file;
    file.textures = {{"flat_a.bmp", 1, 3, 2}, {"smooth.bmp", 0, 2, 2}, {"flat_b.bmp", 1 | 2, 1, 1}};
    file.skins = {0, 1, 2};
    IntrusivePointer<StudioModel> model = load(file.bytes());
    ASSERT_TRUE(model);
    ASSERT_EQ(model->getTextures().size(), 3);
    ASSERT_EQ(model->getMaterials().size(), 3);

    // Rows in file order: pixel p of texture 0 is index 5p, colour (5p, 255 - 5p, 15p).
    const Bytes expected = {0, 255, 0, 5, 250, 15, 10, 245, 30, 15, 240, 45, 20, 235, 60, 25, 230, 75};
    EXPECT_EQ(contenttest::texturePixels(model->getTextures()[0].get()), expected);
    EXPECT_STREQ(model->getTextures()[1]->getName().c_str(), "smooth.bmp");

    rezezaz::render::RenderState* states[3];
    for (int i = 0; i < 3; ++i) {
        rezezaz::scene::material::Material* material = model->getMaterials()[i].get();
        ASSERT_NE(material, nullptr);
        EXPECT_STREQ(material->getName().c_str(), model->getTextures()[i]->getName().c_str());
        rezezaz::scene::material::RenderPass* pass = material->getPath(0)->getPass(0);
        EXPECT_EQ(pass->getTexture(rezezaz::render::Shader::ShaderType_FRAGMENT, 0)->texture.get(),
                  model->getTextures()[i].get());
        states[i] = pass->getRenderState();
        ASSERT_NE(states[i], nullptr);
        rezezaz::render::RasterizerState rasterizer;
        ASSERT_TRUE(states[i]->getRasterizerState(rasterizer));
        EXPECT_EQ(rasterizer.cull, 1);
        EXPECT_EQ(rasterizer.fill, 2);
        EXPECT_EQ(rasterizer.lineSize, 1.0f);
        rezezaz::render::MaterialState lighting;
        ASSERT_TRUE(states[i]->getMaterialState(lighting));
        EXPECT_TRUE(lighting.light);
        EXPECT_EQ(lighting.normalize, 1);
        EXPECT_EQ(lighting.shade, i == 1 ? 1 : 0) << i;
        EXPECT_EQ(lighting.alphaCutoff, 0.5f);
    }
    EXPECT_EQ(states[0], states[2]);
    EXPECT_NE(states[0], states[1]);

    // Texture counts outside 1 to 100 give neither textures nor materials.
    for (int32_t count : {0, 101}) {
        StudioFile many;
        many.textures.assign(101, {"t.bmp", 0, 1, 1});
        many.textureCount = count;
        IntrusivePointer<StudioModel> none = load(many.bytes());
        ASSERT_TRUE(none);
        EXPECT_EQ(none->getTextures().size(), 0) << count;
        EXPECT_EQ(none->getMaterials().size(), 0) << count;
    }
}

TEST_F(StudioStreamerTest, ChromeMarksOnlyBonesItCanReach)
{
    StudioFile file;
    file.boneFlags = {0, 0x10, 5, 0x20};
    file.textures = {{"chrome.bmp", 2, 1, 1}, {"plain.bmp", 0, 1, 1}};
    file.skins = {0, 1};
    StudioFile::Model model;
    // Normals 0..4 lead to bones 1, 3, 3, 9 (past the bones) and 0.
    model.normalBones = {1, 3, 3, 9, 0};
    model.meshes = {
        // Chrome: normals 0, 1, 3 and 7 (past the normals) and -1.
        {0, {{3, {0, 1, 3}}, {-2, {7, -1}}}},
        // Not chrome: its normal 4 leads to bone 0, which stays unmarked.
        {1, {{3, {4, 4, 4}}}},
        // A skin reference past the skin table, and one whose table entry has no texture record.
        {5, {{3, {4, 4, 4}}}},
        {-1, {{3, {4, 4, 4}}}},
    };
    file.models = {model};
    Bytes bytes = file.bytes();
    IntrusivePointer<StudioModel> loaded = load(bytes);
    ASSERT_TRUE(loaded);
    const Bytes marked(loaded->getBuffer(), loaded->getBuffer() + loaded->getBufferLength());
    std::vector<int32_t> flags;
    for (size_t b = 0; b < 4; ++b) {
        flags.push_back(getInt(marked, file.at["bones"] + 112 * b + 36));
    }
    EXPECT_EQ(flags, (std::vector<int32_t>{0, 0x18, 5, 0x28}));

    // A skin table entry outside the texture records marks nothing either.
    file.skins = {7, 1};
    file.boneFlags = {0, 0, 0, 0};
    IntrusivePointer<StudioModel> unmarked = load(file.bytes());
    ASSERT_TRUE(unmarked);
    for (size_t b = 0; b < 4; ++b) {
        EXPECT_EQ(getInt(Bytes(unmarked->getBuffer(), unmarked->getBuffer() + unmarked->getBufferLength()),
                         file.at["bones"] + 112 * b + 36),
                  0);
    }
}

TEST_F(StudioStreamerTest, RefusesRecordsOutsideTheFile)
{
    StudioFile file;
    file.boneFlags = {0};
    file.textures = {{"t.bmp", 2, 2, 2}};
    file.skins = {0};
    StudioFile::Model model;
    model.normalBones = {0};
    model.meshes = {{0, {{3, {}}}}};
    file.models = {model};
    const Bytes good = file.bytes();
    ASSERT_TRUE(load(good));
    const size_t bodyPart = file.at["body part"];
    const size_t models = file.at["models"];
    const size_t meshes = file.at["meshes 0"];
    const size_t textures = file.at["textures"];
    const int32_t length = int32_t(good.size());

    struct Case
    {
        const char* what;
        size_t at;
        int32_t value;
        std::string error;
    };
    const Case cases[] = {
        {"identification", 0, 0x12345678, "incorrect studio id:305419896"},
        {"body-part table", 208, length - 75, "studio body part records lie outside the file"},
        {"body-part count", 204, 0x7FFFFFFF, "studio body part records lie outside the file"},
        {"model table", bodyPart + 72, -8, "studio model records lie outside the file"},
        {"mesh table", models + 76, length - 19, "studio mesh records lie outside the file"},
        {"mesh count", models + 72, 0x10000000, "studio mesh records lie outside the file"},
        {"command list", meshes + 4, length - 1, "studio command list runs past the end of the file"},
        {"command list far away", meshes + 4, 0x7FFFFFF0, "studio command list runs past the end of the file"},
        {"bone table", 144, length - 111, "studio bone records lie outside the file"},
        {"texture table", 184, length - 40, "studio texture record lies outside the file"},
        {"texture data", textures + 76, length - 768 - 3, "studio texture 0 data lie outside the file"},
        {"texture sides that wrap", textures + 68, 0x10000, "studio texture 0 data lie outside the file"},
        {"texture width 0", textures + 68, 0, "studio texture 0 has no size"},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        putInt(bad, c.at, c.value);
        if (std::string(c.what) == "texture sides that wrap") {
            putInt(bad, c.at + 4, 0x10000);
        }
        EXPECT_EQ(refusal(bad), c.error) << c.what;
    }
    // A list whose last command runs past the end, and one that never ends.
    Bytes cut = good;
    const size_t commands = file.at["commands 0.0"];
    cut.resize(commands + 2 + 8 * 3);
    EXPECT_EQ(refusal(cut), "studio command list runs past the end of the file");
    cut.resize(commands + 2 + 8 * 2);
    EXPECT_EQ(refusal(cut), "studio command list runs past the end of the file");

    // Sequence-group and other short files, IDSQ accepted by the identification check.
    for (size_t size : {size_t(4), size_t(76), size_t(243)}) {
        Bytes head(good.begin(), good.begin() + long(size));
        std::memcpy(head.data(), "IDSQ", 4);
        EXPECT_EQ(refusal(head), "studio file shorter than its header") << size;
    }
    try {
        streamer->load(nullptr, nullptr, nullptr);
        ADD_FAILURE() << "a null stream loaded";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), 3);
        EXPECT_STREQ(e.getDescription(), "null stream");
    }
}

TEST_F(StudioStreamerTest, AFanListPastSixteenBitVertexNumbersIsRefused)
{
    // 65,534 strip vertices, then a fan of 3: its last vertex number is 65,536.
    StudioFile file;
    StudioFile::Model model;
    model.meshes = {{0, {{32767, {}}, {32767, {}}, {-3, {}}}}};
    file.models = {model};
    const Bytes bytes = file.bytes();
    EXPECT_EQ(refusal(bytes), "studio fan vertex numbers pass the 16-bit indices");
    // With fans drawn as fans no index buffer is needed.
    engine->setHasBackableTriangleFan(true);
    IntrusivePointer<StudioModel> loaded = load(bytes);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->getVertexCount(), 65537);

    // The last fan that fits ends at vertex 65,535.
    engine->setHasBackableTriangleFan(false);
    file.models[0].meshes[0].commands = {{32767, {}}, {32766, {}}, {-3, {}}};
    loaded = load(file.bytes());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(indices(loaded->getMeshData()[0].indexData[2].get()), (std::vector<uint32_t>{65533, 65534, 65535}));
}

} // namespace

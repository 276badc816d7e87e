#include "ModelStreamerFixture.h"
#include "content/SPRStreamer.h"
#include "content/studio/SpriteModel.h"
#include "content/studio/SpriteStreamer.h"
#include "core/Exception.h"
#include "render/GeometryState.h"
#include "render/MaterialState.h"
#include "render/RenderState.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/ResourceManager.h"
#include "scene/TextureManager.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::studio::SpriteModel;
using rezezaz::scene::studio::SpriteStreamer;

namespace {

using Bytes = std::vector<unsigned char>;

void putInt(Bytes& out, int32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<unsigned char>(uint32_t(value) >> (8 * i)));
    }
}

struct Frame
{
    int32_t width;
    int32_t height;
    Bytes indices; // top row first
};

// Palette entry k of the fixtures is (k, 2k, 255 - k).
Bytes spriteFile(int32_t textureFormat, const std::vector<Frame>& frames, int colours = 256, int32_t version = 2,
                 int32_t frameCount = -1)
{
    Bytes out;
    putInt(out, 0x50534449);
    putInt(out, version);
    putInt(out, 2);             // type
    putInt(out, textureFormat); // texture format
    putInt(out, 0);             // bounding radius
    putInt(out, 16);            // width
    putInt(out, 16);            // height
    putInt(out, frameCount < 0 ? int32_t(frames.size()) : frameCount);
    putInt(out, 0); // beam length
    putInt(out, 0); // sync type
    out.push_back(static_cast<unsigned char>(colours));
    out.push_back(static_cast<unsigned char>(colours >> 8));
    for (int k = 0; k < colours; ++k) {
        out.push_back(static_cast<unsigned char>(k));
        out.push_back(static_cast<unsigned char>(2 * k));
        out.push_back(static_cast<unsigned char>(255 - k));
    }
    for (const Frame& frame : frames) {
        putInt(out, 0); // single frame
        putInt(out, -frame.width / 2);
        putInt(out, frame.height / 2);
        putInt(out, frame.width);
        putInt(out, frame.height);
        out.insert(out.end(), frame.indices.begin(), frame.indices.end());
    }
    return out;
}

Bytes colour(unsigned char index)
{
    return {index, static_cast<unsigned char>(2 * index), static_cast<unsigned char>(255 - index)};
}

class SpriteStreamerTest : public contenttest::ModelStreamerFixture<SpriteStreamer, SpriteModel>
{
};

TEST_F(SpriteStreamerTest, TurnsFrameRowsBottomFirstThroughThePalette)
{
    for (int32_t textureFormat : {0, 2}) {
        SCOPED_TRACE(textureFormat);
        IntrusivePointer<SpriteModel> model = load(spriteFile(textureFormat, {{2, 2, {1, 2, 3, 255}}}));
        ASSERT_TRUE(model);
        ASSERT_EQ(model->getTextures().size(), 1);
        Texture* texture = model->getTextures()[0].get();
        const TextureFormat* format = texture->getFormat();
        EXPECT_EQ(format->getWidth(), 2);
        EXPECT_EQ(format->getHeight(), 2);
        Bytes expected;
        // Row 0 of the texture is the file's bottom row (3, 255), then the top row (1, 2).
        for (unsigned char index : {3, 255, 1, 2}) {
            const Bytes rgb = colour(index);
            expected.insert(expected.end(), rgb.begin(), rgb.end());
            if (textureFormat == 2) {
                expected.push_back(index == 255 ? 0 : 255);
            }
        }
        EXPECT_EQ(format->pixelFormat, textureFormat == 2 ? TextureFormat::Format_RGBA_8 : TextureFormat::Format_RGB_8);
        EXPECT_EQ(contenttest::texturePixels(texture), expected);
    }
}

TEST_F(SpriteStreamerTest, MakesOneTextureAndMaterialPerFrameInOrder)
{
    const std::vector<Frame> frames = {{1, 1, {10}}, {3, 1, {20, 21, 22}}, {1, 2, {30, 31}}};
    IntrusivePointer<SpriteModel> model = load(spriteFile(0, frames));
    ASSERT_TRUE(model);
    ASSERT_EQ(model->getTextures().size(), 3);
    ASSERT_EQ(model->getMaterials().size(), 3);
    EXPECT_EQ(model->getPaletteColorCount(), 256);
    const int widths[] = {1, 3, 1};
    const unsigned char firstPixel[] = {10, 20, 31};
    rezezaz::render::RenderState* shared = nullptr;
    for (int i = 0; i < 3; ++i) {
        Texture* texture = model->getTextures()[i].get();
        EXPECT_EQ(texture->getFormat()->getWidth(), widths[i]);
        const Bytes rgb = contenttest::texturePixels(texture);
        EXPECT_EQ(Bytes(rgb.begin(), rgb.begin() + 3), colour(firstPixel[i])) << i;

        rezezaz::scene::material::Material* material = model->getMaterials()[i].get();
        ASSERT_NE(material, nullptr);
        ASSERT_GT(material->getNumPaths(), 0);
        rezezaz::scene::material::RenderPass* pass = material->getPath(0)->getPass(0);
        ASSERT_EQ(pass->getNumTextures(rezezaz::render::Shader::ShaderType_FRAGMENT), 1);
        EXPECT_EQ(pass->getTexture(rezezaz::render::Shader::ShaderType_FRAGMENT, 0)->texture.get(), texture);
        // One render state for every frame.
        if (i == 0) {
            shared = pass->getRenderState();
        }
        EXPECT_EQ(pass->getRenderState(), shared);
    }
    ASSERT_NE(shared, nullptr);
    rezezaz::render::MaterialState material;
    ASSERT_TRUE(shared->getMaterialState(material));
    EXPECT_TRUE(material.light);
    EXPECT_EQ(material.shade, 1);
    EXPECT_EQ(material.normalize, 1);
    EXPECT_EQ(material.shininess, 1.0f);
    EXPECT_EQ(material.alphaCutoff, 0.5f);
    rezezaz::render::GeometryState geometry;
    ASSERT_TRUE(shared->getGeometryState(geometry));
    EXPECT_FALSE(geometry.sprite);
    EXPECT_EQ(geometry.matrixFlags, 4);

    // The texture manager's reader of the extension gives the first frame.
    support::TemporaryFolder folder;
    const Bytes file = spriteFile(0, frames);
    ASSERT_TRUE(support::writeFile(folder.file("three.spr"), std::string(file.begin(), file.end())));
    IntrusivePointer<Texture> first = engine->getTextureManager()->findTexture(folder.file("three.spr").c_str());
    ASSERT_TRUE(first);
    EXPECT_EQ(Bytes(contenttest::texturePixels(first.get())), colour(10));
    auto sprite = engine->getSpriteModelManager()->find(folder.file("three.spr").c_str(), nullptr);
    ASSERT_TRUE(dynamic_cast<SpriteModel*>(sprite.get()));
    EXPECT_EQ(dynamic_cast<SpriteModel*>(sprite.get())->getTextures().size(), 3);
}

TEST_F(SpriteStreamerTest, ASpriteWithoutFramesHasNoTexture)
{
    IntrusivePointer<SpriteModel> model = load(spriteFile(2, {}));
    ASSERT_TRUE(model);
    EXPECT_EQ(model->getTextures().size(), 0);
    EXPECT_EQ(model->getMaterials().size(), 0);

    IntrusivePointer<rezezaz::scene::SPRStreamer> spr = new rezezaz::scene::SPRStreamer(engine.get());
    EXPECT_FALSE(spr->load(contenttest::memoryStream(spriteFile(2, {})), nullptr, nullptr));
    auto first = spr->load(contenttest::memoryStream(spriteFile(2, {{1, 1, {7}}})), nullptr, nullptr);
    ASSERT_TRUE(dynamic_cast<Texture*>(first.get()));
}

TEST_F(SpriteStreamerTest, RefusesForeignAndDamagedFiles)
{
    Bytes idsp1 = spriteFile(0, {{1, 1, {1}}}, 256, 1);
    Bytes foreign = idsp1;
    foreign[0] = 'X';
    const Bytes good = spriteFile(0, {{2, 2, {1, 2, 3, 4}}, {1, 1, {5}}});
    struct Case
    {
        const char* what;
        Bytes file;
        std::string error;
    };
    const Case cases[] = {
        {"version 1", idsp1, "incorrect sprite ident:1347634249 or version:1"},
        {"identification", foreign, "incorrect sprite ident:1347634264 or version:1"},
        {"255 colours", spriteFile(0, {{1, 1, {1}}}, 255), "sprite palette of 255 colours, 256 needed"},
        {"head cut short", Bytes(good.begin(), good.begin() + 41), "sprite head runs past the end of the file"},
        {"palette cut short", Bytes(good.begin(), good.begin() + 42 + 700),
         "sprite palette runs past the end of the file"},
        {"frame head cut short", Bytes(good.begin(), good.begin() + 42 + 768 + 10),
         "sprite frame 0 runs past the end of the file"},
        {"more frames than the file holds", spriteFile(0, {{1, 1, {1}}}, 256, 2, 2),
         "sprite frame 1 runs past the end of the file"},
        {"width 0", spriteFile(0, {{0, 5, {}}}), "sprite frame 0 has no size"},
        {"negative height", spriteFile(0, {{5, -1, {}}}), "sprite frame 0 has no size"},
        // 65536 × 65536 wraps a 32-bit product to 0.
        {"sides whose product wraps", spriteFile(0, {{65536, 65536, {}}}), "sprite frame 0 runs past the end of the file"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refusal(c.file), c.error) << c.what;
    }
    // Indices cut short, in the last frame and in the first.
    EXPECT_EQ(refusal(Bytes(good.begin(), good.end() - 1)), "sprite frame 1 runs past the end of the file");
    EXPECT_EQ(refusal(Bytes(good.begin(), good.begin() + 42 + 768 + 4 + 16 + 3)),
              "sprite frame 0 runs past the end of the file");

    try {
        streamer->load(nullptr, nullptr, nullptr);
        ADD_FAILURE() << "a null stream loaded";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), 3);
        EXPECT_STREQ(e.getDescription(), "null stream");
    }
    // Through the manager a refused file is no sprite.
    support::TemporaryFolder folder;
    ASSERT_TRUE(support::writeFile(folder.file("old.spr"), std::string(idsp1.begin(), idsp1.end())));
    EXPECT_FALSE(engine->getSpriteModelManager()->find(folder.file("old.spr").c_str(), nullptr));
}

} // namespace

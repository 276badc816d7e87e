#include "content/BMPCodec.h"
#include "content/BMPStreamer.h"
#include "content/DDSCodec.h"
#include "content/PlatformImage.h"
#include "content/TGACodec.h"
#include "ImageOracles.h"
#include "TextureReadBack.h"
#include "content/EngineHandlers.h"
#include "core/io/MemoryStream.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/ResourceData.h"
#include "scene/TextureManager.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::DecodedImage;
using rezezaz::scene::Engine;

namespace {

const std::string DATA = std::string(PELOTUNE_TEST_DATA) + "/data/";

// An engine with its handlers and device-independent textures, and no device: the textures keep
// their pixels where the test can read them.
class ImageStreamersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine = new Engine(nullptr, nullptr);
        engine->setHasBackableFixed(true);
        installHandlers(*engine);
    }

    void TearDown() override
    {
        engine->destroy();
        engine = nullptr;
    }

    IntrusivePointer<Texture> find(const std::string& path, rezezaz::scene::ResourceData* data = nullptr)
    {
        auto resource = engine->getTextureManager()->find(path.c_str(), data);
        return IntrusivePointer<Texture>(dynamic_cast<Texture*>(resource.get()));
    }

    static std::vector<unsigned char> pixels(Texture* texture) { return contenttest::texturePixels(texture); }

    support::LogCapture log;
    IntrusivePointer<Engine> engine;
};

TEST_F(ImageStreamersTest, EachExtensionFindsItsReader)
{
    struct Case
    {
        std::string path;
        int pixelFormat;
        std::function<DecodedImage(rezezaz::core::io::Stream*, int64_t)> read;
    };
    const Case cases[] = {
        {DATA + "rle24.tga", TextureFormat::Format_BGR_8, rezezaz::scene::TGACodec::read},
        {DATA + "rle32.tga", TextureFormat::Format_BGRA_8, rezezaz::scene::TGACodec::read},
        {DATA + "bc3-64x64.dds", TextureFormat::Format_RGBA_DXT5, rezezaz::scene::DDSCodec::read},
        {"/usr/share/assimp/models/MD2/sydney.bmp", TextureFormat::Format_RGB_8, rezezaz::scene::BMPCodec::read},
        // Neither extension has a reader of its own: the default streamer decodes both.
        {"/usr/share/assimp/models/SIB/This Way Up.png", TextureFormat::Format_RGBA_8,
         rezezaz::scene::PlatformImage::decode},
        {"/usr/share/assimp/models/OBJ/engineflare1.jpg", TextureFormat::Format_RGBA_8,
         rezezaz::scene::PlatformImage::decode},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto file = contenttest::readFile(c.path);
        if (file.empty()) {
            if (contenttest::inCI() || c.path.rfind(DATA, 0) == 0) {
                ADD_FAILURE() << "missing " << c.path;
            }
            continue;
        }
        const auto texture = find(c.path);
        ASSERT_TRUE(texture);
        EXPECT_EQ(texture->getFormat()->pixelFormat, c.pixelFormat);
        const DecodedImage expected =
            c.read(contenttest::memoryStream(file).get(), rezezaz::scene::ImageLimits::MAX_BYTES);
        EXPECT_EQ(texture->getFormat()->getWidth(), expected.format->getWidth());
        EXPECT_EQ(texture->getFormat()->getHeight(), expected.format->getHeight());
        EXPECT_EQ(texture->getFormat()->mipMax, expected.format->mipMax);
        EXPECT_EQ(pixels(texture.get()), expected.levels[0]);
        // Found again by the same name, without reading the file.
        EXPECT_EQ(find(c.path).get(), texture.get());
    }
}

TEST_F(ImageStreamersTest, TexturesTakeTheUsageOfTheRequest)
{
    rezezaz::scene::ResourceData data;
    // Dynamic (4); the texture adds generated mips (64) to a single-level image itself.
    data.usage = 4;
    EXPECT_EQ(find(DATA + "rle24.tga", &data)->getUsage() & ~64, 4);
    EXPECT_EQ(find(DATA + "rle32.tga")->getUsage(), 65);
}

TEST_F(ImageStreamersTest, RefusedFilesGiveNoTexture)
{
    // A TGA that is a palette image, a DDS of another code and text under a name with no reader
    // of its own.
    const std::string folder = ::testing::TempDir();
    struct Case
    {
        std::string name;
        std::vector<unsigned char> bytes;
    };
    std::vector<unsigned char> dds(128, 0);
    std::copy_n("DDS ", 4, dds.begin());
    dds[8] = 0x07;
    dds[9] = 0x10;
    dds[80] = 0x04;
    std::copy_n("DXT2", 4, dds.begin() + 84);
    const std::string text = "not an image";
    const Case cases[] = {
        {"palette.tga", std::vector<unsigned char>{0, 1, 1, 0, 0, 0, 0, 24, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0}},
        {"dxt2.dds", dds},
        {"notes.png", std::vector<unsigned char>(text.begin(), text.end())},
    };
    const int before = static_cast<int>(log.listener.texts().size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder + "/" + c.name;
        FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), out);
        std::fclose(out);
        EXPECT_FALSE(find(path));
        std::remove(path.c_str());
    }
    const auto texts = log.listener.texts();
    const std::vector<std::string> logged(texts.begin() + before, texts.end());
    for (const char* expected : {"Only truecolor currently supported", "Other type", "error loading image"}) {
        EXPECT_NE(std::find(logged.begin(), logged.end(), expected), logged.end()) << expected;
    }
}

TEST_F(ImageStreamersTest, BMPStreamerSavesWhatItLoaded)
{
    const auto texture = find("/usr/share/assimp/models/MD2/faerie2.bmp");
    if (!texture) {
        if (contenttest::inCI()) {
            FAIL() << "missing faerie2.bmp";
        }
        GTEST_SKIP() << "faerie2.bmp is not installed";
    }
    IntrusivePointer<rezezaz::scene::BMPStreamer> streamer(
        new rezezaz::scene::BMPStreamer(engine->getTextureManager()));
    IntrusivePointer<rezezaz::core::io::MemoryStream> out(new rezezaz::core::io::MemoryStream());
    ASSERT_TRUE(streamer->save(out, texture, nullptr, nullptr));
    out->seek(0);
    const DecodedImage again = rezezaz::scene::BMPCodec::read(out.get());
    EXPECT_TRUE(again.format->equals(*texture->getFormat()));
    EXPECT_EQ(again.levels[0], pixels(texture.get()));
    // A resource that is not a texture is not written.
    EXPECT_FALSE(streamer->save(out, nullptr, nullptr, nullptr));
}

} // namespace

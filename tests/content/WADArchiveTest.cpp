#include "content/EngineHandlers.h"
#include "content/WADArchive.h"
#include "content/WADStreamer.h"
#include "core/Exception.h"
#include "core/io/FileStream.h"
#include "core/io/MemoryStream.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/ArchiveManager.h"
#include "scene/Engine.h"
#include "scene/TextureManager.h"
#include "support/LogCapture.h"
#include "support/RecordingRenderDevice.h"
#include "support/RecordingTexture.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::io::MemoryStream;
using rezezaz::core::io::Stream;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::WADArchive;

namespace {

using Bytes = std::vector<unsigned char>;

void putLittle(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

void putLittleAt(Bytes& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void putName(Bytes& out, const std::string& name)
{
    for (size_t i = 0; i < 16; ++i) {
        out.push_back(i < name.size() ? static_cast<unsigned char>(name[i]) : 0);
    }
}

// The palette of the fixtures: entry k is (k, 255 - k, k / 2), and entry 255 pure blue.
Bytes testPalette()
{
    Bytes palette;
    for (int k = 0; k < 256; ++k) {
        palette.push_back(static_cast<unsigned char>(k));
        palette.push_back(static_cast<unsigned char>(255 - k));
        palette.push_back(static_cast<unsigned char>(k / 2));
    }
    palette[255 * 3 + 0] = 0;
    palette[255 * 3 + 1] = 0;
    palette[255 * 3 + 2] = 255;
    return palette;
}

// The index of pixel p of level i in the fixtures.
unsigned char fixtureIndex(int level, int64_t p)
{
    return static_cast<unsigned char>((p * 7 + level * 31) % 256);
}

// A mip texture lump in the published layout: head, four levels, and for WAD3 the colour count
// and the palette behind them (a WAD2 lump stops after the levels).
Bytes mipTexture(const std::string& name, uint32_t width, uint32_t height, bool withPalette,
                 const std::vector<std::pair<int64_t, unsigned char>>& overrides = {})
{
    Bytes lump;
    putName(lump, name);
    putLittle(lump, width);
    putLittle(lump, height);
    const int64_t n = int64_t(width) * height;
    uint32_t offset = 40;
    for (int i = 0; i < 4; ++i) {
        putLittle(lump, offset);
        offset += static_cast<uint32_t>(n >> (2 * i));
    }
    for (int i = 0; i < 4; ++i) {
        for (int64_t p = 0; p < (n >> (2 * i)); ++p) {
            lump.push_back(fixtureIndex(i, p));
        }
    }
    for (const auto& o : overrides) {
        lump[size_t(40 + o.first)] = o.second;
    }
    if (withPalette) {
        lump.push_back(0);
        lump.push_back(1);
        const Bytes palette = testPalette();
        lump.insert(lump.end(), palette.begin(), palette.end());
        lump.push_back(0);
        lump.push_back(0);
    }
    return lump;
}

struct Lump
{
    std::string name;
    Bytes data;
};

// A WAD file: header, the lumps back to back, then the directory.
Bytes wadFile(const char* identification, const std::vector<Lump>& lumps)
{
    Bytes out(identification, identification + 4);
    putLittle(out, static_cast<uint32_t>(lumps.size()));
    putLittle(out, 0);
    std::vector<uint32_t> positions;
    for (const Lump& lump : lumps) {
        positions.push_back(static_cast<uint32_t>(out.size()));
        out.insert(out.end(), lump.data.begin(), lump.data.end());
    }
    putLittleAt(out, 8, static_cast<uint32_t>(out.size()));
    for (size_t i = 0; i < lumps.size(); ++i) {
        putLittle(out, positions[i]);
        putLittle(out, static_cast<uint32_t>(lumps[i].data.size()));
        putLittle(out, static_cast<uint32_t>(lumps[i].data.size()));
        out.push_back(0x43);
        out.push_back(0);
        out.push_back(0);
        out.push_back(0);
        out.insert(out.end(), lumps[i].name.begin(), lumps[i].name.end());
        out.insert(out.end(), 16 - std::min<size_t>(16, lumps[i].name.size()), 0);
    }
    return out;
}

MemoryStream* memoryStream(const Bytes& bytes)
{
    auto* copy = new unsigned char[bytes.size() + 1];
    std::copy(bytes.begin(), bytes.end(), copy);
    return new MemoryStream(copy, static_cast<int>(bytes.size()), static_cast<int>(bytes.size()), true);
}

// The block the device texture was given for a level.
Bytes levelPixels(Texture* texture, int level)
{
    auto* recorded = dynamic_cast<support::RecordingTexture*>(texture);
    if (recorded == nullptr || level >= int(recorded->levels.size())) {
        ADD_FAILURE() << "no level " << level;
        return {};
    }
    return recorded->levels[size_t(level)];
}

class WADArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine = new rezezaz::scene::Engine(nullptr, nullptr);
        installHandlers(*engine);
        engine->setRenderDevice(&device);
    }

    void TearDown() override
    {
        engine->destroy();
        engine = nullptr;
    }

    IntrusivePointer<WADArchive> open(const Bytes& file)
    {
        IntrusivePointer<WADArchive> archive = new WADArchive(engine->getTextureManager());
        EXPECT_TRUE(archive->open(memoryStream(file)));
        return archive;
    }

    static IntrusivePointer<Texture> texture(WADArchive& archive, const char* name)
    {
        auto resource = archive.openResource(name);
        return IntrusivePointer<Texture>(dynamic_cast<Texture*>(resource.get()));
    }

    std::vector<std::string> errors() const
    {
        std::vector<std::string> texts;
        for (const auto& entry : log.listener.entries) {
            if (entry.level == rezezaz::core::Logger::ERROR) {
                texts.push_back(entry.text);
            }
        }
        return texts;
    }

    support::LogCapture log;
    support::RecordingRenderDevice device{std::make_shared<support::CallLog>()};
    IntrusivePointer<rezezaz::scene::Engine> engine;
};

TEST_F(WADArchiveTest, ServesEachMipLevelThroughThePaletteBehindIt)
{
    IntrusivePointer<WADArchive> archive = open(wadFile("WAD3", {{"WALL", mipTexture("WALL", 64, 64, true)}}));
    std::vector<std::string> names;
    for (const String& name : archive->getEntries()) {
        names.emplace_back(name.c_str());
    }
    EXPECT_EQ(names, std::vector<std::string>{"WALL"});
    EXPECT_FALSE(archive->openStream("WALL"));
    EXPECT_FALSE(archive->openResource("floor"));

    for (const char* name : {"wall", "Wall", "WALL"}) {
        IntrusivePointer<Texture> wall = texture(*archive, name);
        ASSERT_TRUE(wall) << name;
        const TextureFormat* format = wall->getFormat();
        EXPECT_EQ(format->pixelFormat, TextureFormat::Format_RGB_8);
        EXPECT_EQ(format->getWidth(), 64);
        EXPECT_EQ(format->getHeight(), 64);
        EXPECT_EQ(format->mipMax, 4);
        EXPECT_STREQ(wall->getName().c_str(), "WALL");
        const Bytes palette = testPalette();
        const int sides[] = {64, 32, 16, 8};
        for (int level = 0; level < 4; ++level) {
            const Bytes pixels = levelPixels(wall.get(), level);
            const int64_t count = int64_t(sides[level]) * sides[level];
            ASSERT_EQ(pixels.size(), size_t(count) * 3) << level;
            Bytes expected;
            for (int64_t p = 0; p < count; ++p) {
                const unsigned char* colour = &palette[size_t(fixtureIndex(level, p)) * 3];
                expected.insert(expected.end(), colour, colour + 3);
            }
            EXPECT_EQ(pixels, expected) << "level " << level;
        }
    }
}

TEST_F(WADArchiveTest, ABraceMakesPureBlueTransparent)
{
    // Pixels 0 and 5 use entry 255, pure blue.
    const std::vector<std::pair<int64_t, unsigned char>> blue = {{0, 255}, {5, 255}};
    IntrusivePointer<WADArchive> archive = open(wadFile(
        "WAD3", {{"{fence", mipTexture("{fence", 4, 4, true, blue)}, {"plain", mipTexture("plain", 4, 4, true, blue)}}));

    IntrusivePointer<Texture> fence = texture(*archive, "{FENCE");
    ASSERT_TRUE(fence);
    EXPECT_EQ(fence->getFormat()->pixelFormat, TextureFormat::Format_RGBA_8);
    const Bytes rgba = levelPixels(fence.get(), 0);
    ASSERT_EQ(rgba.size(), 64u);
    for (int p = 0; p < 16; ++p) {
        const unsigned char* pixel = &rgba[size_t(p) * 4];
        if (p == 0 || p == 5) {
            EXPECT_EQ(Bytes(pixel, pixel + 4), (Bytes{0, 0, 0, 0})) << p;
        } else {
            const unsigned char index = fixtureIndex(0, p);
            EXPECT_EQ(Bytes(pixel, pixel + 4), (Bytes{index, static_cast<unsigned char>(255 - index),
                                                      static_cast<unsigned char>(index / 2), 255}))
                << p;
        }
    }

    IntrusivePointer<Texture> plain = texture(*archive, "plain");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->getFormat()->pixelFormat, TextureFormat::Format_RGB_8);
    const Bytes rgb = levelPixels(plain.get(), 0);
    EXPECT_EQ(Bytes(rgb.begin(), rgb.begin() + 3), (Bytes{0, 0, 255}));
    EXPECT_EQ(Bytes(rgb.begin() + 15, rgb.begin() + 18), (Bytes{0, 0, 255}));
}

TEST_F(WADArchiveTest, AWad2TextureNeedsAPaletteOfItsCaller)
{
    const Bytes lump = mipTexture("stone", 8, 8, false);
    IntrusivePointer<WADArchive> archive = open(wadFile("WAD2", {{"stone", lump}}));
    EXPECT_FALSE(archive->openResource("stone"));
    EXPECT_EQ(errors(), std::vector<std::string>{"wad texture stone: palette outside the lump"});

    const Bytes palette = testPalette();
    auto texture = WADArchive::createTexture(engine->getTextureManager(),
                                             reinterpret_cast<const WADArchive::wmiptex*>(lump.data()),
                                             static_cast<int>(lump.size()), palette.data());
    ASSERT_TRUE(texture);
    const Bytes pixels = levelPixels(texture.get(), 3);
    ASSERT_EQ(pixels.size(), 3u);
    const unsigned char index = fixtureIndex(3, 0);
    EXPECT_EQ(pixels, (Bytes{index, static_cast<unsigned char>(255 - index), static_cast<unsigned char>(index / 2)}));
    EXPECT_EQ(engine->getTextureManager()->get("stone").get(), static_cast<rezezaz::core::Resource*>(texture.get()));
}

TEST_F(WADArchiveTest, OpensEmptyAndRefusesForeignFiles)
{
    for (int32_t count : {0, -5}) {
        Bytes file = {'W', 'A', 'D', '3'};
        putLittle(file, static_cast<uint32_t>(count));
        putLittle(file, 0x7FFFFFF0);
        IntrusivePointer<WADArchive> archive = open(file);
        EXPECT_EQ(archive->getEntries().size(), 0);
        EXPECT_FALSE(archive->openResource("anything"));
    }

    struct Case
    {
        const char* what;
        Bytes file;
        std::string error;
    };
    Bytes pastEnd = wadFile("WAD3", {{"a", mipTexture("a", 4, 4, true)}});
    putLittleAt(pastEnd, 8, static_cast<uint32_t>(pastEnd.size() - 31));
    Bytes negativeOffset = wadFile("WAD3", {{"a", mipTexture("a", 4, 4, true)}});
    putLittleAt(negativeOffset, 8, 0xFFFFFFF0);
    Bytes tooMany = wadFile("WAD3", {{"a", mipTexture("a", 4, 4, true)}});
    putLittleAt(tooMany, 4, 0x7FFFFFFF);
    const Case cases[] = {
        {"identification", wadFile("PACK", {}), "invalid wad file"},
        {"short file", Bytes{'W', 'A'}, "invalid wad file"},
        {"directory past the end", pastEnd, "wad directory outside the file"},
        {"negative directory offset", negativeOffset, "wad directory outside the file"},
        {"lump count past the end", tooMany, "wad directory outside the file"},
    };
    for (const Case& c : cases) {
        IntrusivePointer<WADArchive> archive = new WADArchive(engine->getTextureManager());
        try {
            archive->open(memoryStream(c.file));
            ADD_FAILURE() << c.what << " opened";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1) << c.what;
            EXPECT_EQ(std::string(e.getDescription()), c.error) << c.what;
        }
    }
}

TEST_F(WADArchiveTest, ASecondOpenClosesTheFirstStream)
{
    support::TemporaryFolder folder;
    const Bytes first = wadFile("WAD3", {{"old", mipTexture("old", 4, 4, true)}});
    ASSERT_TRUE(support::writeFile(folder.file("first.wad"), std::string(first.begin(), first.end())));
    IntrusivePointer<rezezaz::core::io::FileStream> file = new rezezaz::core::io::FileStream(
        folder.file("first.wad").c_str(), rezezaz::core::io::FileStream::Read | rezezaz::core::io::FileStream::Binary);
    IntrusivePointer<WADArchive> archive = new WADArchive(engine->getTextureManager());
    ASSERT_TRUE(archive->open(file.get()));
    EXPECT_TRUE(texture(*archive, "old"));
    EXPECT_FALSE(file->closed());

    ASSERT_TRUE(archive->open(memoryStream(wadFile("WAD3", {{"new", mipTexture("new", 4, 4, true)}}))));
    EXPECT_TRUE(file->closed());
    EXPECT_FALSE(archive->openResource("old"));
    EXPECT_TRUE(texture(*archive, "new"));

    // A destroyed archive keeps its names and serves nothing more.
    archive->destroy();
    EXPECT_EQ(archive->getEntries().size(), 1);
    EXPECT_FALSE(archive->openResource("new"));
}

TEST_F(WADArchiveTest, ALumpOutsideItsBoundsGivesNoTexture)
{
    struct Case
    {
        const char* what;
        std::function<void(Bytes& lump, Bytes& file, size_t lumpAt, size_t entryAt)> damage;
        std::string error; // empty: null without a message
    };
    const Case cases[] = {
        {"zero width", [](Bytes&, Bytes& f, size_t at, size_t) { putLittleAt(f, at + 16, 0); }, ""},
        {"no pixel data", [](Bytes&, Bytes& f, size_t at, size_t) { putLittleAt(f, at + 24, 0); }, ""},
        {"size over the work buffer",
         [](Bytes&, Bytes& f, size_t, size_t entry) { putLittleAt(f, entry + 8, 408001); },
         "wad texture t: lump size outside the work buffer"},
        {"size below the head", [](Bytes&, Bytes& f, size_t, size_t entry) { putLittleAt(f, entry + 8, 39); },
         "wad texture t: lump size outside the work buffer"},
        {"position past the end",
         [](Bytes&, Bytes& f, size_t, size_t entry) { putLittleAt(f, entry, static_cast<uint32_t>(f.size())); },
         "wad texture t: lump lies outside the file"},
        {"negative position", [](Bytes&, Bytes& f, size_t, size_t entry) { putLittleAt(f, entry, 0xFFFFFFFF); },
         "wad texture t: lump lies outside the file"},
        {"level 0 past the lump", [](Bytes&, Bytes& f, size_t at, size_t) { putLittleAt(f, at + 24, 0x100000); },
         "wad texture t: level 0 outside the lump"},
        {"level 3 past the lump", [](Bytes&, Bytes& f, size_t at, size_t) { putLittleAt(f, at + 36, 0xFFFFFFFF); },
         "wad texture t: mip level outside the lump"},
        {"sides that wrap 32 bits",
         [](Bytes&, Bytes& f, size_t at, size_t) {
             putLittleAt(f, at + 16, 0x10000);
             putLittleAt(f, at + 20, 0x10000);
         },
         "wad texture t: level 0 outside the lump"},
        {"sides whose product passes 63 bits",
         [](Bytes&, Bytes& f, size_t at, size_t) {
             putLittleAt(f, at + 16, 0xFFFFFFFF);
             putLittleAt(f, at + 20, 0xFFFFFFFF);
         },
         "wad texture t: level 0 outside the lump"},
        {"palette cut off", [](Bytes& l, Bytes& f, size_t, size_t entry) {
             putLittleAt(f, entry + 8, static_cast<uint32_t>(l.size() - 3));
         },
         "wad texture t: palette outside the lump"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes lump = mipTexture("t", 8, 8, true);
        Bytes file = wadFile("WAD3", {{"t", lump}});
        const size_t lumpAt = 12;
        const size_t entryAt = 12 + lump.size();
        c.damage(lump, file, lumpAt, entryAt);
        log.listener.entries.clear();
        IntrusivePointer<WADArchive> archive = open(file);
        EXPECT_FALSE(archive->openResource("t"));
        EXPECT_EQ(errors(), c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
    }

    // A stored name that fills all 16 bytes is cut there.
    IntrusivePointer<WADArchive> archive =
        open(wadFile("WAD3", {{"sixteen_letters!", mipTexture("sixteen_letters!", 4, 4, true)}}));
    ASSERT_EQ(archive->getEntries().size(), 1);
    EXPECT_STREQ(archive->getEntries()[0].c_str(), "sixteen_letters!");
    EXPECT_TRUE(texture(*archive, "SIXTEEN_LETTERS!"));
}

TEST_F(WADArchiveTest, TheEngineOpensAWadAsATextureArchive)
{
    support::TemporaryFolder folder;
    const Bytes file = wadFile("WAD3", {{"BRICK", mipTexture("BRICK", 16, 16, true)}});
    ASSERT_TRUE(support::writeFile(folder.file("textures.wad"), std::string(file.begin(), file.end())));
    auto resource = engine->getArchiveManager()->find(folder.file("textures.wad").c_str(), nullptr);
    auto* archive = dynamic_cast<WADArchive*>(resource.get());
    ASSERT_NE(archive, nullptr);
    engine->getTextureManager()->addResourceArchive(archive);
    IntrusivePointer<Texture> brick = engine->getTextureManager()->findTexture("brick");
    ASSERT_TRUE(brick);
    EXPECT_EQ(brick->getFormat()->getWidth(), 16);

    ASSERT_TRUE(support::writeFile(folder.file("foreign.wad"), "PACK00000000"));
    EXPECT_FALSE(engine->getArchiveManager()->find(folder.file("foreign.wad").c_str(), nullptr));
    engine->getTextureManager()->removeResourceArchive(archive);
}

} // namespace

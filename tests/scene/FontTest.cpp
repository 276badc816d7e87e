#include "core/Exception.h"
#include "render/BackableVertexFormat.h"
#include "render/TextureFormat.h"
#include "render/VertexFormat.h"
#include "scene/ArchiveManager.h"
#include "scene/Engine.h"
#include "scene/Font.h"
#include "scene/FontData.h"
#include "scene/FontManager.h"
#include "support/CallLog.h"
#include "support/LogCapture.h"
#include "support/MemoryArchive.h"
#include "support/MemoryBuffer.h"
#include "support/Raised.h"
#include "support/RecordingTexture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::math::Vector4;
using rezezaz::render::TextureFormat;
using rezezaz::render::VertexFormat;
using rezezaz::scene::Font;
using rezezaz::scene::FontData;
using rezezaz::scene::FontManager;
using Glyph = Font::Glyph;

using support::raised;
using support::Raised;

struct Entry
{
    int32_t code;
    Glyph glyph;
};

IntrusivePointer<Font> makeFont(float pointSize, int spacing, rezezaz::render::Texture* texture,
                                const std::vector<Entry>& entries)
{
    std::vector<int32_t> codes;
    std::vector<Glyph*> glyphs;
    for (const Entry& entry : entries) {
        codes.push_back(entry.code);
        glyphs.push_back(new Glyph(entry.glyph));
    }
    return new Font(pointSize, spacing, texture, codes.data(), glyphs.data(), static_cast<int>(glyphs.size()));
}

String text(const std::vector<int32_t>& codes)
{
    return String(codes.data(), static_cast<int>(codes.size()));
}

// advanceX, advanceY, x, y, width, height, offsetX, offsetY.
const Glyph A{10, 0, 8, 4, 6, 12, 1, -2};
const Glyph B{10, 0, 20, 0, 8, 16, 0, 0};

constexpr int POSITION = VertexFormat::Semantic_POSITION;
constexpr int COLOR = VertexFormat::Semantic_COLOR;
constexpr int TEXCOORD = VertexFormat::Semantic_TEXCOORD;

// A vertex buffer in memory whose vertices the test reads back element by element.
struct Buffer
{
    Buffer(std::initializer_list<std::pair<int, int>> elements, int vertices)
    {
        IntrusivePointer<rezezaz::render::BackableVertexFormat> made(new rezezaz::render::BackableVertexFormat());
        for (const auto& element : elements) {
            made->addElement(element.first, 0, element.second);
        }
        format = made.get();
        memory = new support::MemoryBuffer();
        memory->create(1, 2, format, vertices);
    }

    static Buffer floats(int vertices, bool color = true)
    {
        if (color) {
            return Buffer({{POSITION, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3)},
                           {COLOR, VertexFormat::Format_COLOR},
                           {TEXCOORD, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2)}},
                          vertices);
        }
        return Buffer({{POSITION, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3)},
                       {TEXCOORD, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2)}},
                      vertices);
    }

    template <class T> T word(int vertex, int semantic, int component) const
    {
        const int element = format->findElement(semantic);
        const size_t at = size_t(vertex) * format->getVertexSize() + format->getElementOffset(element) + 4 * component;
        T value;
        std::memcpy(&value, memory->bytes.data() + at, sizeof value);
        return value;
    }
    std::vector<float> position(int vertex) const
    {
        return {word<float>(vertex, POSITION, 0), word<float>(vertex, POSITION, 1), word<float>(vertex, POSITION, 2)};
    }
    std::vector<float> texCoord(int vertex) const
    {
        return {word<float>(vertex, TEXCOORD, 0), word<float>(vertex, TEXCOORD, 1)};
    }

    IntrusivePointer<VertexFormat> format;
    IntrusivePointer<support::MemoryBuffer> memory;
};

using Floats = std::vector<float>;

class FontTest : public ::testing::Test
{
protected:
    FontTest()
    {
        atlas->create(1, new TextureFormat(TextureFormat::Dimension_2D, TextureFormat::Format_LA_8, 64, 32, 1, 0),
                      nullptr);
    }

    support::LogCapture log;
    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    IntrusivePointer<support::RecordingTexture> atlas{new support::RecordingTexture(calls, "atlas")};
};

TEST_F(FontTest, MeasuresTheWidestLineAndCountsLines)
{
    IntrusivePointer<Font> font = makeFont(12.7f, 1, nullptr, {{'a', A}, {'b', A}, {'c', A}, {'d', A}, {'e', A}});
    const String twoLines = "ab\ncde";
    // 2 x 11 on the first line, 3 x 11 on the second.
    EXPECT_EQ(font->getStringWidth(twoLines, 0, twoLines.length()), 33);
    EXPECT_EQ(font->getStringWidth(twoLines, 0, 2), 22);
    EXPECT_EQ(font->getStringWidth(twoLines, 3, 3), 0);
    // Characters without a glyph add nothing; the range is clamped to the string.
    EXPECT_EQ(font->getStringWidth("a?b", -5, 99), 22);

    // Whole pixels of the point size per line: an empty range is one line.
    EXPECT_EQ(font->getStringHeight(twoLines, 2, 2), 12);
    EXPECT_EQ(font->getStringHeight("a\n\nb", 0, 4), 36);
    EXPECT_EQ(font->getStringHeight(twoLines, 0, 2), 12);
}

TEST_F(FontTest, GlyphsAreFiledByTheirLowByteAndLowByte255HasNone)
{
    Glyph high = A;
    high.advanceX = 7;
    IntrusivePointer<Font> font =
        makeFont(10, 0, atlas.get(), {{'A', A}, {255, B}, {0x1FF, B}, {0x142, high}, {200, B}, {'B', B}});
    EXPECT_EQ(font->getGlyph(255), nullptr);
    EXPECT_EQ(font->getGlyph(0x1FF), nullptr);
    // 'B' (0x42) was given twice: the later glyph replaced the earlier one.
    ASSERT_NE(font->getGlyph('B'), nullptr);
    EXPECT_EQ(font->getGlyph('B')->advanceX, 10);
    EXPECT_EQ(font->getGlyph(0x142), font->getGlyph('B'));

    // Codes 255 and 0x1FF measure nothing and are laid out at the origin; a code of 128 or more with
    // a glyph is measured but never drawn.
    const String codes = text({255, 0x1FF, 200, 'A'});
    EXPECT_EQ(font->getStringWidth(codes, 0, codes.length()), 20);
    Buffer buffer = Buffer::floats(16);
    std::memset(buffer.memory->bytes.data(), 0x40, buffer.memory->bytes.size());
    ASSERT_TRUE(font->updateVertexBufferForString(buffer.memory.get(), codes, Vector4(1, 1, 1, 1), 0, true, false));
    for (int v = 0; v < 12; ++v) {
        EXPECT_EQ(buffer.position(v), (Floats{0, 0, 0})) << v;
    }
    // Undrawn characters do not move the pen: the 'A' starts at x 0.
    EXPECT_EQ(buffer.position(12), (Floats{1, 20, 0}));
}

TEST_F(FontTest, LaysOutAQuadPerCharacter)
{
    IntrusivePointer<Font> font = makeFont(10, 3, atlas.get(), {{'A', A}});
    Buffer buffer = Buffer::floats(16);
    std::memset(buffer.memory->bytes.data(), 0x40, buffer.memory->bytes.size());
    ASSERT_TRUE(font->updateVertexBufferForString(buffer.memory.get(), "AA\n", Vector4(1, 0.5f, 0.25f, 0), 0, true,
                                                  false));
    EXPECT_EQ(buffer.memory->locks, 1);
    EXPECT_EQ(buffer.memory->unlocks, 1);
    // Pen at (0, 10) after the first line begins: the rectangle sits at offset (1, -2), 6 x 12.
    EXPECT_EQ(buffer.position(0), (Floats{1, 20, 0}));
    EXPECT_EQ(buffer.position(1), (Floats{7, 20, 0}));
    EXPECT_EQ(buffer.position(2), (Floats{7, 8, 0}));
    EXPECT_EQ(buffer.position(3), (Floats{1, 8, 0}));
    EXPECT_EQ(buffer.texCoord(0), (Floats{8.0f / 64, 16.0f / 32}));
    EXPECT_EQ(buffer.texCoord(1), (Floats{14.0f / 64, 16.0f / 32}));
    EXPECT_EQ(buffer.texCoord(2), (Floats{14.0f / 64, 4.0f / 32}));
    EXPECT_EQ(buffer.texCoord(3), (Floats{8.0f / 64, 4.0f / 32}));
    for (int v = 0; v < 8; ++v) {
        EXPECT_EQ(buffer.word<uint32_t>(v, COLOR, 0), 0xFF7F3F00u) << v;
    }
    // The pen moves by the whole advance, without the character spacing.
    EXPECT_EQ(buffer.position(4), (Floats{11, 20, 0}));
    // The line feed and the fourth, unused quad are at the origin; their colours stay as they were.
    for (int v = 8; v < 16; ++v) {
        EXPECT_EQ(buffer.position(v), (Floats{0, 0, 0})) << v;
        EXPECT_EQ(buffer.word<uint32_t>(v, COLOR, 0), 0x40404040u) << v;
    }
}

TEST_F(FontTest, AlignmentBitsPlaceTheTextWithAndWithoutFlip)
{
    // "A\nA": two lines of width 10, 20 pixels tall. The first bit of each group wins.
    IntrusivePointer<Font> font = makeFont(10, 0, atlas.get(), {{'A', A}});
    struct Case
    {
        int alignment;
        bool flip;
        float firstTop;
        float secondTop;
        float secondLeft;
    };
    const Case cases[] = {
        {0x00, false, 8, 18, 11},  {0x08, false, 8, 18, 11}, {0x10, false, -12, -2, 11}, {0x20, false, -2, 8, 11},
        {0x18, false, 8, 18, 11},  {0x30, false, -12, -2, 11}, {0x00, true, -8, -18, 11}, {0x08, true, -8, -18, 11},
        {0x10, true, 12, 2, 11},   {0x20, true, 2, -8, 11},   {0x18, true, -8, -18, 11}, {0x01, false, 8, 18, 1},
        {0x02, false, 8, 18, -9},  {0x04, false, 8, 18, -4},  {0x03, false, 8, 18, 1},   {0x06, false, 8, 18, -9},
        {0x14, true, 12, 2, -4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "alignment " << c.alignment << " flip " << c.flip);
        Buffer buffer = Buffer::floats(12);
        ASSERT_TRUE(font->updateVertexBufferForString(buffer.memory.get(), "A\nA", Vector4(1, 1, 1, 1), c.alignment,
                                                      true, c.flip));
        EXPECT_EQ(buffer.position(3)[1], c.firstTop);
        EXPECT_EQ(buffer.position(11)[1], c.secondTop);
        EXPECT_EQ(buffer.position(11)[0], c.secondLeft);
        // Flipped glyphs hang downward from their top.
        EXPECT_EQ(buffer.position(8)[1], c.secondTop + (c.flip ? -12 : 12));
    }

    // A line 20 pixels wide, centred, starts at x -10.
    IntrusivePointer<Font> plain = makeFont(10, 0, atlas.get(), {{'B', B}});
    Buffer buffer = Buffer::floats(8);
    ASSERT_TRUE(plain->updateVertexBufferForString(buffer.memory.get(), "BB", Vector4(), 0x04, true, false));
    EXPECT_EQ(buffer.position(0)[0], -10);
    EXPECT_EQ(buffer.position(4)[0], 0);
}

TEST_F(FontTest, PositionsAreInPointsUnlessPixelSpaceIsAsked)
{
    // Pen at (0, 32); a glyph 16 tall without offsets spans y 32 to 48, that is 1.0 to 1.5 points.
    IntrusivePointer<Font> font = makeFont(32, 0, atlas.get(), {{'B', B}});
    Buffer buffer = Buffer::floats(4);
    ASSERT_TRUE(font->updateVertexBufferForString(buffer.memory.get(), "B", Vector4(), 0x09, false, false));
    EXPECT_EQ(buffer.position(0), (Floats{0, 1.5f, 0}));
    EXPECT_EQ(buffer.position(1), (Floats{0.25f, 1.5f, 0}));
    EXPECT_EQ(buffer.position(2), (Floats{0.25f, 1.0f, 0}));
    EXPECT_EQ(buffer.position(3), (Floats{0, 1.0f, 0}));

    // Point size 0 counts as pixel space rather than dividing by zero.
    IntrusivePointer<Font> zero = makeFont(0, 0, atlas.get(), {{'B', B}});
    ASSERT_TRUE(zero->updateVertexBufferForString(buffer.memory.get(), "B", Vector4(), 0, false, false));
    EXPECT_EQ(buffer.position(0), (Floats{0, 16, 0}));
    EXPECT_EQ(buffer.position(2), (Floats{8, 0, 0}));
}

TEST_F(FontTest, AMissingOrEmptyAtlasGivesTextureCoordinatesZero)
{
    IntrusivePointer<support::RecordingTexture> empty{new support::RecordingTexture(calls, "empty")};
    empty->create(1, new TextureFormat(TextureFormat::Dimension_2D, TextureFormat::Format_LA_8, 0, 0, 1, 0), nullptr);
    for (rezezaz::render::Texture* texture : {static_cast<rezezaz::render::Texture*>(nullptr),
                                              static_cast<rezezaz::render::Texture*>(empty.get())}) {
        IntrusivePointer<Font> font = makeFont(10, 0, texture, {{'A', A}});
        Buffer buffer = Buffer::floats(4);
        std::memset(buffer.memory->bytes.data(), 0x40, buffer.memory->bytes.size());
        ASSERT_TRUE(font->updateVertexBufferForString(buffer.memory.get(), "A", Vector4(), 0, true, false));
        EXPECT_EQ(buffer.position(0), (Floats{1, 20, 0}));
        for (int v = 0; v < 4; ++v) {
            EXPECT_EQ(buffer.texCoord(v), (Floats{0, 0})) << v;
        }
    }
}

TEST_F(FontTest, FixedPointBuffersGet16Point16)
{
    IntrusivePointer<Font> font = makeFont(10, 0, atlas.get(), {{'A', A}});
    Buffer buffer({{POSITION, VertexFormat::makeFormat(VertexFormat::Type_FIXED32, 3)},
                   {TEXCOORD, VertexFormat::makeFormat(VertexFormat::Type_FIXED32, 2)}},
                  4);
    ASSERT_TRUE(font->updateVertexBufferForString(buffer.memory.get(), "A", Vector4(), 0, false, false));
    // (0.1, 2.0) points and texture coordinates (8/64, 16/32).
    EXPECT_EQ(buffer.word<int32_t>(0, POSITION, 0), int32_t(0.1f * 65536));
    EXPECT_EQ(buffer.word<int32_t>(0, POSITION, 1), 2 * 65536);
    EXPECT_EQ(buffer.word<int32_t>(0, TEXCOORD, 0), 8192);
    EXPECT_EQ(buffer.word<int32_t>(0, TEXCOORD, 1), 32768);
}

TEST_F(FontTest, PacksColoursRedFirst)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        Vector4 color;
        uint32_t packed;
    };
    const Case cases[] = {
        {Vector4(1, 0.5f, 0.25f, 0), 0xFF7F3F00u},
        {Vector4(0, 0, 0, 1), 0x000000FFu},
        // Out of range and NaN channels are clamped, not spilled into their neighbours.
        {Vector4(2, -1, nan, 1.5f), 0xFF0000FFu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Font::packColor(c.color), c.packed);
    }
}

TEST_F(FontTest, RefusesBadBuffersAndRequestsUntouched)
{
    IntrusivePointer<Font> font = makeFont(10, 0, atlas.get(), {{'A', A}});
    Buffer noTexCoord({{POSITION, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3)}}, 8);
    Buffer noPosition({{TEXCOORD, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2)}}, 8);
    Buffer small = Buffer::floats(7);
    struct Case
    {
        const char* name;
        Buffer* buffer;
        const char* text;
    };
    const Case cases[] = {
        {"no texture coordinate", &noTexCoord, "invalid VertexFormat"},
        {"no position", &noPosition, "invalid VertexFormat"},
        {"7 vertices for 2 characters", &small, "VertexBuffer too small"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Raised error =
            raised([&] { font->updateVertexBufferForString(c.buffer->memory.get(), "AA", Vector4(), 0, true, false); });
        EXPECT_EQ(error.code, -1);
        EXPECT_EQ(error.text, c.text);
        EXPECT_EQ(c.buffer->memory->locks, 0);
    }
    EXPECT_EQ(raised([&] { font->updateVertexBufferForString(nullptr, "A", Vector4(), 0, true, false); }).text,
              "invalid VertexFormat");

    IntrusivePointer<rezezaz::scene::Engine> engine(new rezezaz::scene::Engine(nullptr, nullptr));
    rezezaz::scene::ResourceData notAFont;
    for (rezezaz::scene::ResourceData* data : {static_cast<rezezaz::scene::ResourceData*>(nullptr), &notAFont}) {
        const Raised error = raised([&] { engine->getFontManager()->find("a.ttf", data); });
        EXPECT_EQ(error.code, 3);
        EXPECT_EQ(error.text, "invalid FontData");
    }
}

TEST_F(FontTest, DestroyLetsGoOfTheAtlasThenTellsItsManager)
{
    IntrusivePointer<rezezaz::scene::Engine> engine(new rezezaz::scene::Engine(nullptr, nullptr));
    IntrusivePointer<Font> font = makeFont(10, 0, atlas.get(), {{'A', A}});
    FontManager* fonts = engine->getFontManager();
    fonts->manage(font.get(), "Face.ttf");
    EXPECT_EQ(font->getName().c_str(), std::string("Face.ttf:10.000000"));
    EXPECT_EQ(fonts->get("Face.ttf:10.000000").get(), static_cast<rezezaz::core::Resource*>(font.get()));
    font->destroy();
    EXPECT_EQ(font->getTexture(), nullptr);
    EXPECT_EQ(fonts->get("Face.ttf:10.000000"), nullptr);
    EXPECT_EQ(fonts->get(font->getUniqueHandle()), nullptr);
}

// Makes a font of the request it is given, as the platform streamer does, and keeps the requests.
class RequestStreamer : public rezezaz::core::Object, public rezezaz::scene::ResourceStreamer
{
public:
    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    IntrusivePointer<rezezaz::core::Resource> load(IntrusivePointer<rezezaz::core::io::Stream>,
                                                   rezezaz::scene::ResourceData* data,
                                                   rezezaz::scene::ProgressListener*) override
    {
        const auto* request = dynamic_cast<FontData*>(data);
        requests.push_back({request->pointSize, request->characterSet.c_str()});
        return makeFont(request->pointSize, 0, nullptr, {{'A', A}}).get();
    }

    struct Request
    {
        float pointSize;
        std::string characters;
    };
    std::vector<Request> requests;
};

class FontManagerTest : public FontTest
{
protected:
    FontManagerTest()
    {
        archive->files["Face.ttf"] = "font bytes";
        engine->getArchiveManager()->manage(static_cast<rezezaz::core::io::Archive*>(archive.get()), "");
    }

    IntrusivePointer<rezezaz::scene::Engine> engine{new rezezaz::scene::Engine(nullptr, nullptr)};
    FontManager* fonts = engine->getFontManager();
    IntrusivePointer<support::MemoryArchive> archive{new support::MemoryArchive()};
    IntrusivePointer<RequestStreamer> streamer{new RequestStreamer()};
};

TEST_F(FontManagerTest, OneFileAtTwoSizesIsTwoFonts)
{
    fonts->setDefaultStreamer(streamer.get());
    IntrusivePointer<Font> small = fonts->findFont("Face.ttf", 12);
    IntrusivePointer<Font> large = fonts->findFont("Face.ttf", 24);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_NE(small, large);
    EXPECT_EQ(small->getPointSize(), 12);
    EXPECT_EQ(large->getPointSize(), 24);
    EXPECT_EQ(small->getName().c_str(), std::string("Face.ttf:12.000000"));
    EXPECT_EQ(large->getName().c_str(), std::string("Face.ttf:24.000000"));
    EXPECT_EQ(fonts->get("Face.ttf:24.000000").get(), static_cast<rezezaz::core::Resource*>(large.get()));
    EXPECT_EQ(fonts->get("Face.ttf"), nullptr);

    // Found again at a size already loaded, without reading the file again.
    EXPECT_EQ(fonts->findFont("Face.ttf", 12), small);
    EXPECT_EQ(fonts->findFont("Face.ttf", 12.5f)->getName().c_str(), std::string("Face.ttf:12.500000"));
    ASSERT_EQ(streamer->requests.size(), 3u);

    // Requests without characters get the default set; others keep their own.
    const std::string defaults = streamer->requests[0].characters;
    EXPECT_EQ(defaults.size(), 96u);
    EXPECT_EQ(defaults.substr(0, 3), "ABC");
    EXPECT_EQ(defaults.substr(62, 5), "~!@#$");
    EXPECT_EQ(defaults.substr(89), "[];,. \t");
    EXPECT_EQ(std::string(fonts->getDefaultCharacterSet().c_str()), defaults);
    IntrusivePointer<FontData> own(new FontData(30, "0123"));
    EXPECT_NE(fonts->find("Face.ttf", own.get()), nullptr);
    EXPECT_EQ(streamer->requests.back().characters, "0123");

    // A missing file is no font.
    EXPECT_EQ(fonts->findFont("Missing.ttf", 12), nullptr);
}

TEST_F(FontManagerTest, TheDefaultFontMayBeMissing)
{
    // Without a streamer there is no default font, and asking again is still legal.
    EXPECT_EQ(fonts->getDefaultFont(), nullptr);
    EXPECT_EQ(fonts->getDefaultFont(), nullptr);

    // With one, the default font is the system font (DejaVu Sans where there is no macOS font) at
    // 64 points, made once.
    fonts->setDefaultStreamer(streamer.get());
    archive->files[FontManager::FALLBACK_DEFAULT_FONT] = "font bytes";
    IntrusivePointer<Font> font = fonts->getDefaultFont();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->getPointSize(), 64);
    EXPECT_EQ(font->getName().c_str(), std::string(FontManager::FALLBACK_DEFAULT_FONT) + ":64.000000");
    EXPECT_EQ(fonts->getDefaultFont(), font);
    EXPECT_EQ(streamer->requests.size(), 1u);
}

} // namespace

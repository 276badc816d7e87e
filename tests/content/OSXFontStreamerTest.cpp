#include "content/OSXFontStreamer.h"
#include "content/PlatformFont.h"
#include "ImageOracles.h"
#include "TextureReadBack.h"
#include "content/EngineHandlers.h"
#include "core/Exception.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/Font.h"
#include "scene/FontData.h"
#include "scene/FontManager.h"
#include "scene/TextureManager.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

using contenttest::memoryStream;
using rezezaz::core::IntrusivePointer;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::Engine;
using rezezaz::scene::Font;
using rezezaz::scene::FontData;
using rezezaz::scene::FontManager;
using rezezaz::scene::LinuxFontRasterizer;
using rezezaz::scene::OSXFontStreamer;
using rezezaz::scene::PlatformFont;

namespace {

const std::string DEJAVU = FontManager::FALLBACK_DEFAULT_FONT;

// An engine with its handlers and device-independent textures, and no device: the atlases keep
// their pixels where the test can read them.
class OSXFontStreamerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        font = contenttest::readFile(DEJAVU);
        if (font.empty()) {
            if (contenttest::inCI()) {
                FAIL() << "missing " << DEJAVU;
            }
            GTEST_SKIP() << DEJAVU << " is not installed";
        }
        engine = new Engine(nullptr, nullptr);
        engine->setHasBackableFixed(true);
        installHandlers(*engine);
    }

    void TearDown() override
    {
        if (engine) {
            engine->destroy();
        }
        engine = nullptr;
    }

    FontManager* fonts() const { return engine->getFontManager(); }

    static std::vector<unsigned char> pixels(Texture* texture) { return contenttest::texturePixels(texture); }

    support::LogCapture log;
    std::vector<unsigned char> font;
    IntrusivePointer<Engine> engine;
};

TEST_F(OSXFontStreamerTest, TheFontManagerReadsFontFilesIntoAtlasAndGlyphs)
{
    EXPECT_NE(dynamic_cast<OSXFontStreamer*>(fonts()->getDefaultStreamer().get()), nullptr);

    IntrusivePointer<FontData> request(new FontData(24, "Tg.0"));
    IntrusivePointer<Font> made(dynamic_cast<Font*>(fonts()->find(DEJAVU.c_str(), request.get()).get()));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getName().c_str(), DEJAVU + ":24.000000");
    EXPECT_EQ(made->getPointSize(), 24);
    EXPECT_EQ(made->getCharacterSpacing(), 0);

    // The glyph records and the atlas are the rasteriser's, one glyph per requested character.
    const PlatformFont::Atlas expected = PlatformFont::rasterize(memoryStream(font).get(), 24, "Tg.0",
                                                                 LinuxFontRasterizer::findGlyphLookup());
    const char characters[] = "Tg.0";
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(characters[k]);
        const Font::Glyph* glyph = made->getGlyph(characters[k]);
        ASSERT_NE(glyph, nullptr);
        const auto& p = expected.glyphs[k];
        EXPECT_EQ(glyph->advanceX, p.advanceX);
        EXPECT_EQ(glyph->advanceY, 0);
        EXPECT_EQ(glyph->x, p.x);
        EXPECT_EQ(glyph->y, p.y);
        EXPECT_EQ(glyph->width, p.width);
        EXPECT_EQ(glyph->height, p.height);
        EXPECT_EQ(glyph->offsetX, p.offsetX);
        EXPECT_EQ(glyph->offsetY, p.offsetY);
    }
    EXPECT_EQ(made->getGlyph('A'), nullptr);

    Texture* atlas = made->getTexture();
    ASSERT_NE(atlas, nullptr);
    EXPECT_EQ(atlas->getFormat()->pixelFormat, TextureFormat::Format_LA_8);
    EXPECT_TRUE(atlas->getFormat()->equals(*expected.image.format));
    EXPECT_EQ(pixels(atlas), expected.image.levels[0]);
    // The atlas is the texture manager's.
    EXPECT_EQ(engine->getTextureManager()->get(atlas->getUniqueHandle()).get(),
              static_cast<rezezaz::core::Resource*>(atlas));
}

TEST_F(OSXFontStreamerTest, TheDefaultFontIsDejaVuSansAt64Points)
{
    IntrusivePointer<Font> standard = fonts()->getDefaultFont();
    ASSERT_NE(standard, nullptr);
    EXPECT_EQ(standard->getName().c_str(), DEJAVU + ":64.000000");
    EXPECT_EQ(standard->getPointSize(), 64);
    // Every character of the default set has its glyph.
    const rezezaz::core::String& set = fonts()->getDefaultCharacterSet();
    for (int i = 0; i < set.length(); ++i) {
        EXPECT_NE(standard->getGlyph(set.internal_str()[i]), nullptr) << i;
    }
    EXPECT_GT(standard->getStringWidth("Pelotune", 0, 8), 0);
    EXPECT_EQ(fonts()->getDefaultFont(), standard);
}

TEST_F(OSXFontStreamerTest, RefusalsRaiseAndGiveNoFont)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string text = "no font here";
    const std::vector<unsigned char> notAFont(text.begin(), text.end());
    rezezaz::scene::TextureManager* textures = engine->getTextureManager();
    IntrusivePointer<OSXFontStreamer> platform(new OSXFontStreamer(textures));
    // A platform without the glyph lookup.
    IntrusivePointer<OSXFontStreamer> blind(new OSXFontStreamer(textures, nullptr));
    rezezaz::scene::ResourceData plain;
    struct Case
    {
        const char* name;
        OSXFontStreamer* streamer;
        const std::vector<unsigned char>* bytes;
        float pointSize;
        bool fontData;
        int code;
        const char* description;
    };
    const Case cases[] = {
        {"no glyph lookup", blind.get(), &font, 24, true, 3, "error finding CGFontGetGlyphsForUnichars"},
        {"no font data", platform.get(), &font, 24, false, 3, "invalid FontData"},
        {"text", platform.get(), &notAFont, 24, true, -1, "error loading font"},
        {"negative size", platform.get(), &font, -1, true, -1, "error loading font"},
        {"NaN size", platform.get(), &font, nan, true, -1, "error loading font"},
        {"size beyond an atlas", platform.get(), &font, 1e9f, true, -1, "error loading font"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<FontData> request(new FontData(c.pointSize, "Tg"));
        try {
            c.streamer->load(IntrusivePointer<rezezaz::core::io::Stream>(memoryStream(*c.bytes).get()),
                             c.fontData ? static_cast<rezezaz::scene::ResourceData*>(request.get()) : &plain,
                             nullptr);
            ADD_FAILURE() << "no refusal";
        } catch (const rezezaz::core::Exception& e) {
            EXPECT_EQ(e.getError(), c.code);
            EXPECT_STREQ(e.getDescription(), c.description);
        }
    }

    // Through the manager a refusal is no font, and nothing is filed.
    fonts()->setDefaultStreamer(blind.get());
    EXPECT_EQ(fonts()->findFont(DEJAVU.c_str(), 24), nullptr);
    EXPECT_EQ(fonts()->get((DEJAVU + ":24.000000").c_str()), nullptr);
    // A point size of 0 is legal: glyphs without size.
    fonts()->setDefaultStreamer(platform.get());
    IntrusivePointer<Font> tiny = fonts()->findFont(DEJAVU.c_str(), 0);
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->getPointSize(), 0);
}

} // namespace

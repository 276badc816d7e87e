#pragma once

#include "core/BaseResource.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "core/math/Vector4.h"
#include "render/Texture.h"
#include "render/VertexBuffer.h"

#include <cstdint>
#include <memory>

namespace rezezaz::scene {

// A bitmap font: a glyph atlas texture and one glyph rectangle per character code, with which text
// is measured and laid out as textured quads into a vertex buffer. The platform font streamer makes
// fonts and the font manager files them; the font owns its glyphs and holds its atlas.
//
// Text holds character codes 0 to 254. A glyph is found by the low 8 bits of a code, and low byte
// 255 never has a glyph (the table has 255 entries).
class Font : public core::BaseResource
{
public:
    // One character's rectangle in the atlas and how the pen moves past it, in pixels.
    struct Glyph
    {
        float advanceX = 0;
        float advanceY = 0;
        // Corner of the rectangle in the texture, y counted from the texture's bottom row.
        int32_t x = 0;
        int32_t y = 0;
        int16_t width = 0;
        int16_t height = 0;
        // Where the rectangle sits relative to the pen.
        int16_t offsetX = 0;
        int16_t offsetY = 0;
    };

    // Entries of the glyph table: codes 0 to 254.
    static constexpr int NUM_GLYPHS = 255;

    // Alignment bits of updateVertexBufferForString. Horizontally, each line begins at x 0 (LEFT),
    // ends at x 0 (RIGHT) or is centred on it (CENTER), else follows on from the previous line;
    // vertically, the text begins at y 0 (TOP), ends there (BOTTOM) or is centred on it (MIDDLE).
    enum Alignment : int
    {
        Alignment_LEFT = 0x01,
        Alignment_RIGHT = 0x02,
        Alignment_CENTER = 0x04,
        Alignment_TOP = 0x08,
        Alignment_BOTTOM = 0x10,
        Alignment_MIDDLE = 0x20,
    };

    // Puts glyphs[i] at the low 8 bits of characterSet[i], for i below count; a glyph already there
    // is freed, and a glyph for low byte 255 is freed at once. The font owns the glyphs from here on.
    // The texture may be null: the font then lays out positions with texture coordinates 0.
    Font(float pointSize, int32_t characterSpacing, render::Texture* texture, const int32_t* characterSet,
         Glyph** glyphs, int count);
    ~Font() override;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Releases the atlas, then tells the destroyed-listener.
    void destroy() override;

    // The largest width of the lines from start to end - 1: each character with a glyph adds its
    // whole advance plus the character spacing; a line feed without a glyph ends a line.
    int getStringWidth(const core::String& string, int start, int end) const;
    // The point size (whole pixels) times the number of lines from start to end - 1.
    int getStringHeight(const core::String& string, int start, int end) const;

    // Writes four vertices per character of string into the buffer (position, texture coordinate
    // and, when the format has one, the colour) and sets the rest of the buffer's quads to the
    // origin. Positions are divided by the point size unless pixelSpace is set or the point size is
    // 0; flip lays the lines out downward with y negated. Raises Error::unknown "invalid
    // VertexFormat" without a position or texture-coordinate element and "VertexBuffer too small"
    // when the buffer holds fewer than four vertices a character, leaving the buffer untouched.
    bool updateVertexBufferForString(render::VertexBuffer* vertexBuffer, const core::String& string,
                                     const core::math::Vector4& color, int alignment, bool pixelSpace, bool flip);

    // The colour as one word: red in the top byte, alpha in the bottom one, each channel clamped
    // to 0..1 first.
    static uint32_t packColor(const core::math::Vector4& color);

    float getPointSize() const { return pointSize_; }
    int32_t getCharacterSpacing() const { return characterSpacing_; }
    void setCharacterSpacing(int32_t spacing) { characterSpacing_ = spacing; }
    render::Texture* getTexture() const { return texture_.get(); }
    // The glyph of the code's low 8 bits; null when there is none.
    const Glyph* getGlyph(int32_t code) const;

private:
    float pointSize_;
    int32_t characterSpacing_;
    core::IntrusivePointer<render::Texture> texture_;
    std::unique_ptr<Glyph> glyphs_[NUM_GLYPHS];
};

} // namespace rezezaz::scene

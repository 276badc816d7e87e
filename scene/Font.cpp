#include "scene/Font.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "render/TextureFormat.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexFormat.h"

#include <algorithm>

namespace rezezaz::scene {

using core::Categories;
using core::String;
using render::VertexFormat;

namespace {

constexpr int32_t LINE_FEED = 10;
// Low bytes from here on are never drawn.
constexpr int32_t FIRST_UNDRAWN = 128;

int lowByte(int32_t code)
{
    return code & 0xFF;
}

// Truncates toward zero. Sizes beyond any atlas (from a damaged font) are clamped so that sums of
// them cannot overflow; NaN gives 0.
int64_t whole(float value)
{
    constexpr float LIMIT = 16777216.0f;
    if (!(value == value)) {
        return 0;
    }
    return static_cast<int64_t>(std::clamp(value, -LIMIT, LIMIT));
}

int clampToInt(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// One channel as a byte; out of range and NaN values are clamped rather than spilling into the
// neighbouring channels.
uint32_t channel(float value)
{
    if (!(value > 0.0f)) {
        return 0;
    }
    if (value >= 1.0f) {
        return 255;
    }
    return static_cast<uint32_t>(static_cast<int>(value * 255.0f));
}

} // namespace

Font::Font(float pointSize, int32_t characterSpacing, render::Texture* texture, const int32_t* characterSet,
           Glyph** glyphs, int count)
    : pointSize_(pointSize), characterSpacing_(characterSpacing), texture_(texture)
{
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<Glyph> glyph(glyphs[i]);
        const int index = characterSet != nullptr ? lowByte(characterSet[i]) : NUM_GLYPHS;
        if (index < NUM_GLYPHS) {
            glyphs_[index] = std::move(glyph);
        }
    }
}

Font::~Font() = default;

void Font::destroy()
{
    texture_ = nullptr;
    BaseResource::destroy();
}

const Font::Glyph* Font::getGlyph(int32_t code) const
{
    const int index = lowByte(code);
    return index < NUM_GLYPHS ? glyphs_[index].get() : nullptr;
}

int Font::getStringWidth(const String& string, int start, int end) const
{
    start = std::max(start, 0);
    end = std::min(end, string.length());
    const int32_t* text = string.internal_str();
    int64_t widest = 0;
    int64_t line = 0;
    for (int i = start; i < end; ++i) {
        const Glyph* glyph = getGlyph(text[i]);
        if (glyph != nullptr) {
            line += whole(glyph->advanceX) + characterSpacing_;
        } else if (text[i] == LINE_FEED) {
            widest = std::max(widest, line);
            line = 0;
        }
    }
    return clampToInt(std::max(widest, line));
}

int Font::getStringHeight(const String& string, int start, int end) const
{
    start = std::max(start, 0);
    end = std::min(end, string.length());
    const int32_t* text = string.internal_str();
    int64_t lines = 1;
    for (int i = start; i < end; ++i) {
        if (text[i] == LINE_FEED) {
            ++lines;
        }
    }
    return clampToInt(whole(pointSize_) * lines);
}

uint32_t Font::packColor(const core::math::Vector4& color)
{
    return channel(color.x) << 24 | channel(color.y) << 16 | channel(color.z) << 8 | channel(color.w);
}

bool Font::updateVertexBufferForString(render::VertexBuffer* vertexBuffer, const String& string,
                                       const core::math::Vector4& color, int alignment, bool pixelSpace, bool flip)
{
    core::IntrusivePointer<VertexFormat> format = vertexBuffer != nullptr ? vertexBuffer->getVertexFormat() : nullptr;
    const int positionElement = format ? format->findElement(static_cast<int>(VertexFormat::Semantic_POSITION)) : -1;
    const int texCoordElement = format ? format->findElement(static_cast<int>(VertexFormat::Semantic_TEXCOORD)) : -1;
    if (positionElement < 0 || texCoordElement < 0) {
        core::Error::unknown(Categories::REZEZAZ_SCENE, true, "invalid VertexFormat");
    }
    const int colorElement = format->findElement(static_cast<int>(VertexFormat::Semantic_COLOR));
    const int length = string.length();
    const int capacity = vertexBuffer->getSize();
    if (capacity / 4 < length) {
        core::Error::unknown(Categories::REZEZAZ_SCENE, true, "VertexBuffer too small");
    }

    const uint32_t packed = packColor(color);
    // An atlas that is missing or has no pixels gives texture coordinates 0.
    const render::TextureFormat* atlas = texture_ ? texture_->getFormat() : nullptr;
    const float textureWidth = atlas != nullptr ? static_cast<float>(atlas->getWidth()) : 0.0f;
    const float textureHeight = atlas != nullptr ? static_cast<float>(atlas->getHeight()) : 0.0f;
    const bool textured = textureWidth > 0.0f && textureHeight > 0.0f;
    // A point size of 0 would divide by zero: the text stays in pixels.
    const bool divide = !pixelSpace && pointSize_ != 0.0f;
    const int64_t lineHeight = whole(pointSize_);
    const int64_t height = getStringHeight(string, 0, length);

    int64_t x = 0;
    int64_t y = 0;
    if ((alignment & Alignment_TOP) != 0) {
        y = 0;
    } else if ((alignment & Alignment_BOTTOM) != 0) {
        y = flip ? height : -height;
    } else if ((alignment & Alignment_MIDDLE) != 0) {
        y = flip ? height / 2 : -height / 2;
    }

    render::VertexBufferAccessor accessor(vertexBuffer, format.get(), render::Buffer::Access_WRITE);
    const auto position = [&](int vertex, int64_t px, int64_t py) {
        const float fx = static_cast<float>(px);
        const float fy = static_cast<float>(py);
        if (divide) {
            accessor.set3(vertex, positionElement, fx / pointSize_, fy / pointSize_, 0.0f);
        } else {
            accessor.set3(vertex, positionElement, fx, fy, 0.0f);
        }
    };
    const auto texCoord = [&](int vertex, int64_t tx, int64_t ty) {
        if (textured) {
            accessor.set2(vertex, texCoordElement, static_cast<float>(tx) / textureWidth,
                          static_cast<float>(ty) / textureHeight);
        } else {
            accessor.set2(vertex, texCoordElement, 0.0f, 0.0f);
        }
    };
    const auto atOrigin = [&](int character) {
        for (int v = 0; v < 4; ++v) {
            accessor.set3(character * 4 + v, positionElement, 0.0f, 0.0f, 0.0f);
        }
    };

    const int32_t* text = string.internal_str();
    for (int i = 0; i < length; ++i) {
        if (i == 0 || text[i - 1] == LINE_FEED) {
            int lineEnd = i;
            while (lineEnd < length && text[lineEnd] != LINE_FEED) {
                ++lineEnd;
            }
            const int64_t width = getStringWidth(string, i, lineEnd);
            if ((alignment & Alignment_LEFT) != 0) {
                x = 0;
            } else if ((alignment & Alignment_RIGHT) != 0) {
                x = -width;
            } else if ((alignment & Alignment_CENTER) != 0) {
                x = -width / 2;
            }
            y += flip ? -lineHeight : lineHeight;
        }

        const Glyph* glyph = getGlyph(text[i]);
        if (glyph == nullptr || lowByte(text[i]) >= FIRST_UNDRAWN) {
            atOrigin(i);
            continue;
        }
        const int64_t h = flip ? -glyph->height : glyph->height;
        const int64_t oy = flip ? -glyph->offsetY : glyph->offsetY;
        const int64_t left = x + glyph->offsetX;
        const int64_t right = left + glyph->width;
        const int64_t top = y + oy;
        const int64_t bottom = top + h;
        const int v = i * 4;
        position(v, left, bottom);
        position(v + 1, right, bottom);
        position(v + 2, right, top);
        position(v + 3, left, top);
        const int64_t gx = glyph->x;
        const int64_t gy = glyph->y;
        texCoord(v, gx, gy + glyph->height);
        texCoord(v + 1, gx + glyph->width, gy + glyph->height);
        texCoord(v + 2, gx + glyph->width, gy);
        texCoord(v + 3, gx, gy);
        if (colorElement >= 0) {
            for (int k = 0; k < 4; ++k) {
                accessor.setColor(v + k, colorElement, packed);
            }
        }
        x += whole(glyph->advanceX);
        y += whole(glyph->advanceY);
    }
    for (int i = length; i < capacity / 4; ++i) {
        atOrigin(i);
    }
    accessor.unlock();
    return true;
}

} // namespace rezezaz::scene

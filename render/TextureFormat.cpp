#include "render/TextureFormat.h"

#include <algorithm>
#include <cstdint>

namespace rezezaz::render {

int TextureFormat::getPixelSize(int pixelFormat)
{
    switch (pixelFormat) {
    case Format_L_8:
    case Format_A_8:
        return 1;
    case Format_LA_8:
        return 2;
    case Format_RGB_8:
    case Format_BGR_8:
        return 3;
    case Format_RGBA_8:
    case Format_BGRA_8:
        return 4;
    case Format_L_FLOAT32:
    case Format_A_FLOAT32:
        return 4;
    case Format_LA_FLOAT32:
        return 8;
    case Format_RGB_FLOAT32:
    case Format_BGR_FLOAT32:
        return 12;
    case Format_RGBA_FLOAT32:
    case Format_BGRA_FLOAT32:
        return 16;
    case Format_RGB_5_6_5:
    case Format_BGR_5_6_5:
    case Format_RGBA_5_5_5_1:
    case Format_BGRA_5_5_5_1:
    case Format_RGBA_4_4_4_4:
    case Format_BGRA_4_4_4_4:
        return 2;
    case Format_RGBA_DXT2:
    case Format_RGBA_DXT3:
    case Format_RGBA_DXT4:
    case Format_RGBA_DXT5:
        return 1;
    case Format_YUV_422:
        return 2;
    default:
        return 0;
    }
}

namespace {

bool fitsPitch(int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX;
}

// Whole 4x4 blocks covering size pixels (at least one for a non-empty side), in the sign of size.
int64_t wholeBlocks(int64_t size)
{
    if (size == 0) {
        return 0;
    }
    const int64_t blocks = std::max<int64_t>(1, ((size < 0 ? -size : size) + 3) / 4);
    return size < 0 ? -blocks : blocks;
}

} // namespace

bool TextureFormat::Pitches::fit() const
{
    return fitsPitch(row) && fitsPitch(slice) && fitsPitch(box);
}

TextureFormat::Pitches TextureFormat::getPitches(int pixelFormat, int64_t width, int64_t height, int64_t depth)
{
    // Sides beyond 32 bits come only from arithmetic gone wrong; clamping them keeps every product
    // below 64 bits and still far outside the 32-bit pitches.
    auto clamp = [](int64_t side) { return std::clamp<int64_t>(side, -(int64_t(1) << 32), int64_t(1) << 32); };
    width = clamp(width);
    height = clamp(height);
    depth = clamp(depth);
    Pitches pitches;
    if (isCompressed(pixelFormat)) {
        const int64_t blockBytes = pixelFormat == Format_RGB_DXT1 ? 8 : 16;
        if (pixelFormat != Format_RGB_DXT1 && getPixelSize(pixelFormat) == 0) {
            return pitches;
        }
        // Four pixel rows make a block row.
        pitches.row = wholeBlocks(width) * blockBytes / 4;
        pitches.slice = wholeBlocks(height) * 4 * pitches.row;
    } else {
        pitches.row = width * getPixelSize(pixelFormat);
        pitches.slice = height * pitches.row;
    }
    pitches.box = depth * pitches.slice;
    return pitches;
}

int TextureFormat::getRowPitch(int pixelFormat, int width)
{
    const int64_t pitch = getPitches(pixelFormat, width, 1, 1).row;
    return fitsPitch(pitch) ? static_cast<int>(pitch) : 0;
}

bool TextureFormat::isCompressed(int pixelFormat)
{
    int type = getType(pixelFormat);
    return type >= Type_DXT1 && type <= Type_DXT5;
}

TextureFormat::TextureFormat(int dimension_, int pixelFormat_, int width, int height, int depth, int mipMax_)
    : dimension(dimension_), pixelFormat(pixelFormat_), xMax(width), yMax(height), zMax(depth), mipMax(mipMax_)
{
    computePitches();
}

TextureFormat::TextureFormat(const TextureFormat* base, int level)
{
    if (base != nullptr) {
        dimension = base->dimension;
        pixelFormat = base->pixelFormat;
        xMin = base->xMin;
        yMin = base->yMin;
        zMin = base->zMin;
        xMax = base->xMax;
        yMax = base->yMax;
        zMax = base->zMax;
        xPitch = base->xPitch;
        yPitch = base->yPitch;
        zPitch = base->zPitch;
        mipMin = base->mipMin;
        mipMax = base->mipMax;
    }
    if (level == -1) {
        return;
    }
    mipMin = level;
    mipMax = level;
    // Division truncating toward zero, as for the signed sizes of a sub-box.
    int32_t divisor = (level >= 0 && level < 31) ? (int32_t(1) << level) : 0;
    auto shrink = [divisor](int32_t value) { return divisor != 0 ? value / divisor : 0; };
    xMin = shrink(xMin);
    yMin = shrink(yMin);
    zMin = shrink(zMin);
    xMax = shrink(xMax);
    yMax = shrink(yMax);
    zMax = shrink(zMax);
    if (xMax < 1) {
        xMax = 1;
    }
    if (yMax < 1) {
        yMax = 1;
    }
    if (zMax < 1) {
        zMax = 1;
    }
    computePitches();
}

void TextureFormat::computePitches()
{
    // A box too large for 32-bit pitches (a damaged image header, say) states no data rather than a
    // wrapped size that something would allocate and then overrun.
    const Pitches pitches =
        getPitches(pixelFormat, int64_t(xMax) - xMin, int64_t(yMax) - yMin, int64_t(zMax) - zMin);
    if (!pitches.fit()) {
        xPitch = yPitch = zPitch = 0;
        return;
    }
    xPitch = static_cast<int32_t>(pitches.row);
    yPitch = static_cast<int32_t>(pitches.slice);
    zPitch = static_cast<int32_t>(pitches.box);
}

core::IntrusivePointer<TextureFormat> TextureFormat::withPixelFormat(int pixelFormat_) const
{
    const Pitches pitches =
        getPitches(pixelFormat_, int64_t(xMax) - xMin, int64_t(yMax) - yMin, int64_t(zMax) - zMin);
    if (!pitches.fit()) {
        return {};
    }
    core::IntrusivePointer<TextureFormat> copy(new TextureFormat(this, -1));
    copy->pixelFormat = pixelFormat_;
    copy->xPitch = static_cast<int32_t>(pitches.row);
    copy->yPitch = static_cast<int32_t>(pitches.slice);
    copy->zPitch = static_cast<int32_t>(pitches.box);
    return copy;
}

bool TextureFormat::equals(const TextureFormat& o) const
{
    return dimension == o.dimension && pixelFormat == o.pixelFormat && xMin == o.xMin && yMin == o.yMin &&
           zMin == o.zMin && xMax == o.xMax && yMax == o.yMax && zMax == o.zMax && xPitch == o.xPitch &&
           yPitch == o.yPitch && zPitch == o.zPitch && mipMin == o.mipMin && mipMax == o.mipMax;
}

bool TextureFormat::containsBox(const TextureFormat& box) const
{
    return box.xMin >= xMin && box.yMin >= yMin && box.zMin >= zMin && box.xMax <= xMax && box.yMax <= yMax &&
           box.zMax <= zMax && box.xMin < box.xMax && box.yMin < box.yMax && box.zMin < box.zMax;
}

} // namespace rezezaz::render

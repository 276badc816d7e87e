#include "render/TextureFormatConversion.h"

#include "render/TextureFormatConversionRows.h"

#include "core/Categories.h"
#include "core/Error.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace rezezaz::render {

namespace {

bool hasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

// The kernels for this processor: the AVX2 build where the processor has it.
PixelRow findRow(int src, int dst)
{
    static const bool avx2 = hasAvx2();
    if (avx2) {
        if (PixelRow row = findPixelRowAvx2(src, dst)) {
            return row;
        }
    }
    return findPixelRow(src, dst);
}

// True when every byte that the rows of a width x height x depth box, rowBytes each, occupy lies
// within the format's data (its zPitch bytes from the data pointer). A format that states no data
// size (zPitch 0) holds only what the codes without a pixel size read and write; a sized box that
// states none (too large for its pitches) is outside it.
bool boxWithinData(const TextureFormat& format, int height, int depth, int64_t rowBytes)
{
    if (format.zPitch <= 0) {
        const int code = format.pixelFormat;
        return rowBytes == 0 || (TextureFormat::getPixelSize(code) == 0 && code != TextureFormat::Format_RGB_DXT1);
    }
    const int64_t start = format.xPitch < 0 ? int64_t(format.zPitch) + format.xPitch : 0;
    const int64_t slices = int64_t(depth - 1) * format.yPitch;
    const int64_t rows = int64_t(height - 1) * format.xPitch;
    const int64_t low = start + (slices < 0 ? slices : 0) + (rows < 0 ? rows : 0);
    const int64_t high = start + (slices > 0 ? slices : 0) + (rows > 0 ? rows : 0) + rowBytes;
    return low >= 0 && high <= format.zPitch;
}

// The first byte of the box: with a negative row pitch the rows run bottom-up from the last one.
template <class Byte> Byte* boxStart(Byte* data, const TextureFormat& format)
{
    if (format.xPitch < 0) {
        return data + static_cast<ptrdiff_t>(format.zPitch) + format.xPitch;
    }
    return data;
}

} // namespace

bool TextureFormatConversion::canConvert(int srcPixelFormat, int dstPixelFormat)
{
    return srcPixelFormat == dstPixelFormat || findPixelRow(srcPixelFormat, dstPixelFormat) != nullptr;
}

bool TextureFormatConversion::convert(unsigned char* src, const TextureFormat* srcFormat, unsigned char* dst,
                                      const TextureFormat* dstFormat)
{
    if (srcFormat == nullptr || dstFormat == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_CORE, true, "convert: no format");
    }
    PixelRow row = findRow(srcFormat->pixelFormat, dstFormat->pixelFormat);
    if (row == nullptr && srcFormat->pixelFormat != dstFormat->pixelFormat) {
        core::Error::unknown(core::Categories::REZEZAZ_CORE, true, "no format conversion available");
    }

    const int width = srcFormat->getWidth();
    int height = srcFormat->getHeight();
    const int depth = srcFormat->getDepth();
    if (width <= 0 || height <= 0 || depth <= 0) {
        return true;
    }
    // A compressed level is stored in whole block rows of four pixel rows each: a level 1 or 2
    // pixels high still has one.
    if (row == nullptr && TextureFormat::isCompressed(srcFormat->pixelFormat) && height % 4 != 0) {
        height += 4 - height % 4;
    }
    if (src == nullptr || dst == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_CORE, true, "convert: no data");
    }

    // Bytes a row occupies on each side: a rule reads and writes whole pixels (at least the one byte
    // of a code without a size), the equal-code copy whole rows up to the shorter pitch.
    const int64_t copyBytes = std::min(std::abs(int64_t(srcFormat->xPitch)), std::abs(int64_t(dstFormat->xPitch)));
    auto pixelBytes = [width](int pixelFormat) {
        int size = TextureFormat::getPixelSize(pixelFormat);
        return size > 0 ? int64_t(width) * size : int64_t(1);
    };
    const int64_t srcRowBytes = row != nullptr ? pixelBytes(srcFormat->pixelFormat) : copyBytes;
    const int64_t dstRowBytes = row != nullptr ? pixelBytes(dstFormat->pixelFormat) : copyBytes;
    if (!boxWithinData(*srcFormat, height, depth, srcRowBytes) ||
        !boxWithinData(*dstFormat, height, depth, dstRowBytes)) {
        core::Error::errorLog(core::Categories::REZEZAZ_CORE, "convert: box outside its data");
        return false;
    }

    const uint8_t* srcStart = boxStart<const uint8_t>(src, *srcFormat);
    uint8_t* dstStart = boxStart<uint8_t>(dst, *dstFormat);
    const ptrdiff_t srcRow = srcFormat->xPitch;
    const ptrdiff_t srcSlice = srcFormat->yPitch;
    const ptrdiff_t dstRow = dstFormat->xPitch;
    const ptrdiff_t dstSlice = dstFormat->yPitch;

    if (row != nullptr) {
        // Rows that follow each other without a gap on both sides are one long row: one call
        // instead of one per row. YUV pairs must not straddle two rows, so an odd width stays apart.
        const int64_t srcPixel = TextureFormat::getPixelSize(srcFormat->pixelFormat);
        const int64_t dstPixel = TextureFormat::getPixelSize(dstFormat->pixelFormat);
        const int64_t pixels = int64_t(width) * height * depth;
        const bool rowsTouch = srcRow == width * srcPixel && dstRow == width * dstPixel &&
                               (depth == 1 || (srcSlice == height * srcRow && dstSlice == height * dstRow));
        const bool pairsWhole = srcFormat->pixelFormat != TextureFormat::Format_YUV_422 || width % 2 == 0;
        if (rowsTouch && pairsWhole && pixels <= INT32_MAX) {
            row(srcStart, dstStart, static_cast<int>(pixels));
            return true;
        }
        for (int z = 0; z < depth; ++z) {
            for (int y = 0; y < height; ++y) {
                row(srcStart + z * srcSlice + y * srcRow, dstStart + z * dstSlice + y * dstRow, width);
            }
        }
        return true;
    }

    // Equal codes: whole rows, never more than either row holds, so a padded destination does not
    // read past a tight source.
    const size_t rowBytes = static_cast<size_t>(std::min(std::abs(srcRow), std::abs(dstRow)));
    if (rowBytes == 0) {
        return true;
    }
    if (srcRow == dstRow && int64_t(rowBytes) == srcRow && (depth == 1 || (srcSlice == dstSlice && srcSlice == height * srcRow))) {
        std::memmove(dstStart, srcStart, rowBytes * static_cast<size_t>(height) * static_cast<size_t>(depth));
        return true;
    }
    for (int z = 0; z < depth; ++z) {
        for (int y = 0; y < height; ++y) {
            std::memmove(dstStart + z * dstSlice + y * dstRow, srcStart + z * srcSlice + y * srcRow, rowBytes);
        }
    }
    return true;
}

} // namespace rezezaz::render

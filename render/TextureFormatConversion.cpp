#include "render/TextureFormatConversion.h"

#include "render/TextureFormatConversionRows.h"

#include "core/Categories.h"
#include "core/Error.h"

#include <algorithm>
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
    const int height = srcFormat->getHeight();
    const int depth = srcFormat->getDepth();
    if (width <= 0 || height <= 0 || depth <= 0) {
        return true;
    }
    if (src == nullptr || dst == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_CORE, true, "convert: no data");
    }

    const uint8_t* srcStart = boxStart<const uint8_t>(src, *srcFormat);
    uint8_t* dstStart = boxStart<uint8_t>(dst, *dstFormat);
    const ptrdiff_t srcRow = srcFormat->xPitch;
    const ptrdiff_t srcSlice = srcFormat->yPitch;
    const ptrdiff_t dstRow = dstFormat->xPitch;
    const ptrdiff_t dstSlice = dstFormat->yPitch;

    if (row != nullptr) {
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
    for (int z = 0; z < depth; ++z) {
        for (int y = 0; y < height; ++y) {
            std::memmove(dstStart + z * dstSlice + y * dstRow, srcStart + z * srcSlice + y * srcRow, rowBytes);
        }
    }
    return true;
}

} // namespace rezezaz::render

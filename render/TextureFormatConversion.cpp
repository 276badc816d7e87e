#include "render/TextureFormatConversion.h"

#include "core/Categories.h"
#include "core/Error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace rezezaz::render {

namespace {

using Row = void (*)(const uint8_t* src, uint8_t* dst, int width);

// One row of a per-pixel rule: S source bytes and D destination bytes a pixel, both known at compile
// time so the compiler can vectorise the loop. S or D is 0 for the single-byte codes without a size
// of their own: every pixel then reads or writes the same byte.
template <int S, int D, class Pixel> void rowOf(const uint8_t* src, uint8_t* dst, int width)
{
    for (int x = 0; x < width; ++x) {
        Pixel::apply(src + static_cast<ptrdiff_t>(x) * S, dst + static_cast<ptrdiff_t>(x) * D);
    }
}

struct LToLA
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = 255;
        d[1] = s[0];
    }
};
struct LAToL
{
    static void apply(const uint8_t* s, uint8_t* d) { d[0] = s[1]; }
};
struct AToLA
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[0];
        d[1] = 255;
    }
};
struct FirstByte
{
    static void apply(const uint8_t* s, uint8_t* d) { d[0] = s[0]; }
};
struct FourthByte
{
    static void apply(const uint8_t* s, uint8_t* d) { d[0] = s[3]; }
};
struct LToRGBA
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[0];
        d[1] = s[0];
        d[2] = s[0];
        d[3] = 255;
    }
};
struct LToRGB
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[0];
        d[1] = s[0];
        d[2] = s[0];
    }
};
struct AToRGBA
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = 255;
        d[1] = 255;
        d[2] = 255;
        d[3] = s[0];
    }
};
struct LAToRGBA
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[0];
        d[1] = s[0];
        d[2] = s[0];
        d[3] = s[1];
    }
};
struct RGBAToLA
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[0];
        d[1] = s[3];
    }
};
struct Copy3Add255
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
    }
};
struct Copy3
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
};
struct Swap3Add255
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = 255;
    }
};
struct Swap3
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        uint8_t r = s[0];
        uint8_t g = s[1];
        uint8_t b = s[2];
        d[0] = b;
        d[1] = g;
        d[2] = r;
    }
};
struct Swap4
{
    static void apply(const uint8_t* s, uint8_t* d)
    {
        uint8_t r = s[0];
        uint8_t g = s[1];
        uint8_t b = s[2];
        uint8_t a = s[3];
        d[0] = b;
        d[1] = g;
        d[2] = r;
        d[3] = a;
    }
};

// Studio-range BT.601 in 8.8 fixed point.
inline uint8_t clampByte(int32_t value)
{
    return static_cast<uint8_t>(std::min(std::max(value, int32_t(0)), int32_t(255)));
}

template <int R, int B> inline void yuvPixel(int32_t y, int32_t d, int32_t e, uint8_t* out)
{
    int32_t c = 298 * y - 4640;
    out[R] = clampByte((c + 409 * e) >> 8);
    out[1] = clampByte((c - 100 * d - 208 * e) >> 8);
    out[B] = clampByte((c + 516 * d) >> 8);
    out[3] = 0;
}

// Y0 U Y1 V pairs to RGBA (R at byte R, B at byte B). A lone last pixel of an odd row has no V of
// its own in the row: it is converted from its luma alone.
template <int R, int B> void yuvRow(const uint8_t* src, uint8_t* dst, int width)
{
    int pairs = width / 2;
    for (int p = 0; p < pairs; ++p) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(p) * 4;
        uint8_t* o = dst + static_cast<ptrdiff_t>(p) * 8;
        int32_t d = int32_t(s[1]) - 128;
        int32_t e = int32_t(s[3]) - 128;
        yuvPixel<R, B>(s[0], d, e, o);
        yuvPixel<R, B>(s[2], d, e, o + 4);
    }
    if ((width & 1) != 0) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(pairs) * 4;
        yuvPixel<R, B>(s[0], 0, 0, dst + static_cast<ptrdiff_t>(pairs) * 8);
    }
}

template <class Pixel, int D> Row fromL(int src)
{
    // 0x104 reads like L but has no size of its own.
    return src == TextureFormat::Format_L_8 ? &rowOf<1, D, Pixel> : &rowOf<0, D, Pixel>;
}

// The per-pixel rule for a pair of codes, chosen once per call; null when there is none.
Row findRow(int src, int dst)
{
    using F = TextureFormat;
    const bool srcL = src == F::Format_L_8 || src == F::Format_RESERVED_104;
    const bool srcRGBA = src == F::Format_RGBA_8 || src == F::Format_BGRA_8;
    const bool srcRGB = src == F::Format_RGB_8 || src == F::Format_BGR_8;
    const bool dstRGBA = dst == F::Format_RGBA_8 || dst == F::Format_BGRA_8;
    const bool dstRGB = dst == F::Format_RGB_8 || dst == F::Format_BGR_8;

    if (src == F::Format_L_8 && dst == F::Format_LA_8) {
        return &rowOf<1, 2, LToLA>;
    }
    if (src == F::Format_LA_8 && dst == F::Format_L_8) {
        return &rowOf<2, 1, LAToL>;
    }
    if (src == F::Format_A_8 && dst == F::Format_LA_8) {
        return &rowOf<1, 2, AToLA>;
    }
    if (src == F::Format_LA_8 && dst == F::Format_A_8) {
        return &rowOf<2, 1, FirstByte>;
    }
    if (srcL && dstRGBA) {
        return fromL<LToRGBA, 4>(src);
    }
    if (srcRGBA && dst == F::Format_L_8) {
        return &rowOf<4, 1, FirstByte>;
    }
    if (srcL && dstRGB) {
        return fromL<LToRGB, 3>(src);
    }
    if (srcRGB && dst == F::Format_L_8) {
        return &rowOf<3, 1, FirstByte>;
    }
    if (srcRGB && dst == F::Format_RESERVED_104) {
        return &rowOf<3, 0, FirstByte>;
    }
    if (src == F::Format_A_8 && dstRGBA) {
        return &rowOf<1, 4, AToRGBA>;
    }
    if (srcRGBA && dst == F::Format_A_8) {
        return &rowOf<4, 1, FourthByte>;
    }
    if (src == F::Format_LA_8 && dstRGBA) {
        return &rowOf<2, 4, LAToRGBA>;
    }
    if (srcRGBA && dst == F::Format_LA_8) {
        return &rowOf<4, 2, RGBAToLA>;
    }
    if ((src == F::Format_RGB_8 && dst == F::Format_RGBA_8) || (src == F::Format_BGR_8 && dst == F::Format_BGRA_8)) {
        return &rowOf<3, 4, Copy3Add255>;
    }
    if ((src == F::Format_RGBA_8 && dst == F::Format_RGB_8) || (src == F::Format_BGRA_8 && dst == F::Format_BGR_8)) {
        return &rowOf<4, 3, Copy3>;
    }
    if ((src == F::Format_RGB_8 && dst == F::Format_BGRA_8) || (src == F::Format_BGR_8 && dst == F::Format_RGBA_8)) {
        return &rowOf<3, 4, Swap3Add255>;
    }
    if ((src == F::Format_BGRA_8 && dst == F::Format_RGB_8) || (src == F::Format_RGBA_8 && dst == F::Format_BGR_8)) {
        return &rowOf<4, 3, Swap3>;
    }
    if (srcRGB && dstRGB && src != dst) {
        return &rowOf<3, 3, Swap3>;
    }
    if (srcRGBA && dstRGBA && src != dst) {
        return &rowOf<4, 4, Swap4>;
    }
    if (src == F::Format_YUV_422 && dst == F::Format_RGBA_8) {
        return &yuvRow<0, 2>;
    }
    if (src == F::Format_YUV_422 && dst == F::Format_BGRA_8) {
        return &yuvRow<2, 0>;
    }
    return nullptr;
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
    return srcPixelFormat == dstPixelFormat || findRow(srcPixelFormat, dstPixelFormat) != nullptr;
}

bool TextureFormatConversion::convert(unsigned char* src, const TextureFormat* srcFormat, unsigned char* dst,
                                      const TextureFormat* dstFormat)
{
    if (srcFormat == nullptr || dstFormat == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_CORE, true, "convert: no format");
    }
    Row row = findRow(srcFormat->pixelFormat, dstFormat->pixelFormat);
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

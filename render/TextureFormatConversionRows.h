#pragma once

// The row kernels of TextureFormatConversion, one per conversion rule. This header is compiled twice:
// by TextureFormatConversion.cpp for the baseline instruction set and by
// TextureFormatConversionAvx2.cpp for processors with AVX2, where the vector rows below replace the
// plain loops of the busiest rules. Everything here has internal linkage (and uses no library
// templates), so code built for one instruction set never stands in for the other's.

#include "render/TextureFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rezezaz::render {

// Converts one row of width pixels.
using PixelRow = void (*)(const uint8_t* src, uint8_t* dst, int width);

// The kernels built for AVX2, or null when this build or processor has none.
PixelRow findPixelRowAvx2(int srcPixelFormat, int dstPixelFormat);

namespace {

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
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
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

#if defined(__SSSE3__)
// Vector rows: byte shuffles with constant masks, which the compiler turns into single shuffle
// instructions. Each handles the pixels its vectors can take without reaching past the row and
// leaves the rest to the plain loop.

typedef uint8_t Bytes16 __attribute__((vector_size(16)));
typedef uint8_t Bytes32 __attribute__((vector_size(32)));

inline Bytes16 load16(const uint8_t* p)
{
    Bytes16 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

inline void store16(uint8_t* p, Bytes16 v)
{
    std::memcpy(p, &v, sizeof(v));
}

inline Bytes32 load32(const uint8_t* p)
{
    Bytes32 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

inline void store32(uint8_t* p, Bytes32 v)
{
    std::memcpy(p, &v, sizeof(v));
}

constexpr Bytes16 alphaBytes = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};

// Three bytes a pixel to four, the fourth 255; Swap reverses the first three. Sixteen pixels are
// 48 source bytes, read as four overlapping loads of which the last starts at byte 32.
template <bool Swap> void rgbToRgbaVector(const uint8_t* src, uint8_t* dst, int width)
{
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(x) * 3;
        uint8_t* d = dst + static_cast<ptrdiff_t>(x) * 4;
        Bytes16 a = load16(s);
        Bytes16 b = load16(s + 12);
        Bytes16 c = load16(s + 24);
        Bytes16 e = load16(s + 32);
        if (Swap) {
            store16(d, __builtin_shufflevector(a, a, 2, 1, 0, 0, 5, 4, 3, 0, 8, 7, 6, 0, 11, 10, 9, 0) | alphaBytes);
            store16(d + 16, __builtin_shufflevector(b, b, 2, 1, 0, 0, 5, 4, 3, 0, 8, 7, 6, 0, 11, 10, 9, 0) | alphaBytes);
            store16(d + 32, __builtin_shufflevector(c, c, 2, 1, 0, 0, 5, 4, 3, 0, 8, 7, 6, 0, 11, 10, 9, 0) | alphaBytes);
            store16(d + 48,
                    __builtin_shufflevector(e, e, 6, 5, 4, 0, 9, 8, 7, 0, 12, 11, 10, 0, 15, 14, 13, 0) | alphaBytes);
        } else {
            store16(d, __builtin_shufflevector(a, a, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0) | alphaBytes);
            store16(d + 16, __builtin_shufflevector(b, b, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0) | alphaBytes);
            store16(d + 32, __builtin_shufflevector(c, c, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0) | alphaBytes);
            store16(d + 48,
                    __builtin_shufflevector(e, e, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0, 13, 14, 15, 0) | alphaBytes);
        }
    }
    if (Swap) {
        rowOf<3, 4, Swap3Add255>(src + static_cast<ptrdiff_t>(x) * 3, dst + static_cast<ptrdiff_t>(x) * 4, width - x);
    } else {
        rowOf<3, 4, Copy3Add255>(src + static_cast<ptrdiff_t>(x) * 3, dst + static_cast<ptrdiff_t>(x) * 4, width - x);
    }
}

// Luminance to four bytes: the value three times, then 255.
inline void lToRgbaVector(const uint8_t* src, uint8_t* dst, int width)
{
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        Bytes16 a = load16(src + x);
        uint8_t* d = dst + static_cast<ptrdiff_t>(x) * 4;
        store16(d, __builtin_shufflevector(a, a, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3) | alphaBytes);
        store16(d + 16, __builtin_shufflevector(a, a, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7) | alphaBytes);
        store16(d + 32,
                __builtin_shufflevector(a, a, 8, 8, 8, 8, 9, 9, 9, 9, 10, 10, 10, 10, 11, 11, 11, 11) | alphaBytes);
        store16(d + 48,
                __builtin_shufflevector(a, a, 12, 12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 14, 15, 15, 15, 15) |
                    alphaBytes);
    }
    rowOf<1, 4, LToRGBA>(src + x, dst + static_cast<ptrdiff_t>(x) * 4, width - x);
}

// Four bytes a pixel with the first and third exchanged, eight pixels a step.
inline void swap4Vector(const uint8_t* src, uint8_t* dst, int width)
{
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        Bytes32 a = load32(src + static_cast<ptrdiff_t>(x) * 4);
        store32(dst + static_cast<ptrdiff_t>(x) * 4,
                __builtin_shufflevector(a, a, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 18, 17, 16, 19,
                                        22, 21, 20, 23, 26, 25, 24, 27, 30, 29, 28, 31));
    }
    rowOf<4, 4, Swap4>(src + static_cast<ptrdiff_t>(x) * 4, dst + static_cast<ptrdiff_t>(x) * 4, width - x);
}

// Three bytes a pixel reversed, sixteen pixels (48 bytes) a step. Each 16 bytes of output take
// their bytes from two overlapping loads that together cover every byte they need.
inline void swap3Vector(const uint8_t* src, uint8_t* dst, int width)
{
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(x) * 3;
        uint8_t* d = dst + static_cast<ptrdiff_t>(x) * 3;
        Bytes16 a = load16(s);
        Bytes16 b = load16(s + 16);
        Bytes16 m = load16(s + 15);
        Bytes16 n = load16(s + 17);
        Bytes16 p = load16(s + 30);
        Bytes16 q = load16(s + 32);
        store16(d, __builtin_shufflevector(a, b, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 17));
        store16(d + 16, __builtin_shufflevector(m, n, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 31, 30));
        store16(d + 32, __builtin_shufflevector(p, q, 0, 19, 18, 17, 22, 21, 20, 25, 24, 23, 28, 27, 26, 31, 30, 29));
    }
    rowOf<3, 3, Swap3>(src + static_cast<ptrdiff_t>(x) * 3, dst + static_cast<ptrdiff_t>(x) * 3, width - x);
}

typedef int16_t Shorts16 __attribute__((vector_size(32)));
typedef uint16_t Words16 __attribute__((vector_size(32)));

inline Shorts16 clampToByteRange(Shorts16 v)
{
    const Shorts16 zero = {};
    const Shorts16 top = zero + 255;
    v = v < zero ? zero : v;
    return v > top ? top : v;
}

// YUV 4:2:2 to four bytes a pixel, sixteen pixels a step, in 16-bit lanes. Read as little-endian
// 16-bit words, the pairs Y0 U and Y1 V give each pixel's luma in the low byte of its own word and
// the pair's chroma in the high bytes. The 8.8 products are split so that no lane overflows and the
// result stays exact: 298 Y = 256 Y + 42 Y, 409 E = 256 E + 153 E, -208 E = -256 E + 48 E and
// 516 D = 512 D + 4 D, and a multiple of 256 leaves the shift whole, so R = Y + E + ((42 Y + 153 E
// - 4640) >> 8) and likewise for G and B. The alpha byte is 0, so each pixel is the 16-bit words
// (first | green << 8) and (third), interleaved.
template <int R, int B> void yuvVector(const uint8_t* src, uint8_t* dst, int width)
{
    static_assert((R == 0 && B == 2) || (R == 2 && B == 0), "red and blue take bytes 0 and 2");
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        Words16 words;
        std::memcpy(&words, src + static_cast<ptrdiff_t>(x) * 2, sizeof(words));
        Shorts16 y = (Shorts16)(words & 0xFF);
        Shorts16 chroma = (Shorts16)(words >> 8) - 128;
        Shorts16 d = __builtin_shufflevector(chroma, chroma, 0, 0, 2, 2, 4, 4, 6, 6, 8, 8, 10, 10, 12, 12, 14, 14);
        Shorts16 e = __builtin_shufflevector(chroma, chroma, 1, 1, 3, 3, 5, 5, 7, 7, 9, 9, 11, 11, 13, 13, 15, 15);
        Shorts16 base = y * 42 - 4640;
        Shorts16 red = clampToByteRange(y + e + ((base + e * 153) >> 8));
        Shorts16 green = clampToByteRange(y - e + ((base - d * 100 + e * 48) >> 8));
        Shorts16 blue = clampToByteRange(y + d * 2 + ((base + d * 4) >> 8));
        Shorts16 low = (R == 0 ? red : blue) | (green << 8);
        Shorts16 high = R == 0 ? blue : red;
        Shorts16 first = __builtin_shufflevector(low, high, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        Shorts16 second =
            __builtin_shufflevector(low, high, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
        uint8_t* o = dst + static_cast<ptrdiff_t>(x) * 4;
        std::memcpy(o, &first, sizeof(first));
        std::memcpy(o + 32, &second, sizeof(second));
    }
    yuvRow<R, B>(src + static_cast<ptrdiff_t>(x) * 2, dst + static_cast<ptrdiff_t>(x) * 4, width - x);
}

// The vector row of a pair, or null where the plain loop serves.
PixelRow findVectorRow(int src, int dst)
{
    using F = TextureFormat;
    if ((src == F::Format_RGB_8 && dst == F::Format_RGBA_8) || (src == F::Format_BGR_8 && dst == F::Format_BGRA_8)) {
        return &rgbToRgbaVector<false>;
    }
    if ((src == F::Format_RGB_8 && dst == F::Format_BGRA_8) || (src == F::Format_BGR_8 && dst == F::Format_RGBA_8)) {
        return &rgbToRgbaVector<true>;
    }
    if (src == F::Format_L_8 && (dst == F::Format_RGBA_8 || dst == F::Format_BGRA_8)) {
        return &lToRgbaVector;
    }
    if ((src == F::Format_RGBA_8 && dst == F::Format_BGRA_8) || (src == F::Format_BGRA_8 && dst == F::Format_RGBA_8)) {
        return &swap4Vector;
    }
    if ((src == F::Format_RGB_8 && dst == F::Format_BGR_8) || (src == F::Format_BGR_8 && dst == F::Format_RGB_8)) {
        return &swap3Vector;
    }
    if (src == F::Format_YUV_422 && dst == F::Format_RGBA_8) {
        return &yuvVector<0, 2>;
    }
    if (src == F::Format_YUV_422 && dst == F::Format_BGRA_8) {
        return &yuvVector<2, 0>;
    }
    return nullptr;
}
#endif

template <class Pixel, int D> PixelRow fromL(int src)
{
    // 0x104 reads like L but has no size of its own.
    return src == TextureFormat::Format_L_8 ? &rowOf<1, D, Pixel> : &rowOf<0, D, Pixel>;
}

// The per-pixel rule for a pair of codes, chosen once per call; null when there is none.
[[maybe_unused]] PixelRow findPixelRow(int src, int dst)
{
    using F = TextureFormat;
#if defined(__SSSE3__)
    if (PixelRow vectorRow = findVectorRow(src, dst)) {
        return vectorRow;
    }
#endif
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

} // namespace

} // namespace rezezaz::render

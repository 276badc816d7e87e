// Pixel conversion beside libyuv and pixman on the same boxes: RGB to RGBA, RGBA to BGRA and back,
// RGB to BGR, L to RGBA, YUYV to RGBA and the row copy, on 1024 x 1024 and 256 x 256 boxes. Before a
// peer is timed its result is compared with ours byte for byte; where it computes something else
// (the peers round YUV differently) the run is labelled with the difference, so its time is read as
// a reference only. Bytes processed are source bytes.

#include "render/TextureFormat.h"
#include "render/TextureFormatConversion.h"

#include <benchmark/benchmark.h>
#include <libyuv.h>
#include <pixman.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using rezezaz::render::TextureFormat;
using rezezaz::render::TextureFormatConversion;

using LibyuvCall = int (*)(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width, int height);

// libyuv's names count bytes from the top of a little-endian word: its ARGB is B, G, R, A in memory
// (our BGRA), its RGB24 is B, G, R (our BGR), its RAW is R, G, B (our RGB).
int libyuvCopy(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width, int height)
{
    libyuv::CopyPlane(src, srcStride, dst, dstStride, width * 4, height);
    return 0;
}

struct Conversion
{
    const char* name;
    int from;
    int to;
    LibyuvCall libyuv;
    pixman_format_code_t pixmanFrom;
    pixman_format_code_t pixmanTo;
    bool hasPixman;
};

const Conversion conversions[] = {
    {"RGBtoRGBA", 0x107, 0x109, &libyuv::RGB24ToARGB, PIXMAN_r8g8b8, PIXMAN_a8r8g8b8, true},
    {"RGBAtoBGRA", 0x109, 0x108, &libyuv::ARGBToABGR, PIXMAN_a8r8g8b8, PIXMAN_a8b8g8r8, true},
    {"BGRAtoRGBA", 0x108, 0x109, &libyuv::ABGRToARGB, PIXMAN_a8b8g8r8, PIXMAN_a8r8g8b8, true},
    {"RGBtoBGR", 0x106, 0x107, &libyuv::RAWToRGB24, PIXMAN_b8g8r8, PIXMAN_r8g8b8, true},
    {"LtoRGBA", 0x101, 0x109, &libyuv::J400ToARGB, PIXMAN_a8, PIXMAN_a8, false},
    {"YUYVtoRGBA", 0x100C, 0x109, &libyuv::YUY2ToARGB, PIXMAN_yuy2, PIXMAN_a8r8g8b8, true},
    {"RowCopy", 0x109, 0x109, &libyuvCopy, PIXMAN_a8r8g8b8, PIXMAN_a8r8g8b8, true},
};

// One box of random source pixels and a destination for each converter.
struct Box
{
    Box(const Conversion& conversion, int side)
        : width(side), height(side), from(2, conversion.from, side, side, 1, 1), to(2, conversion.to, side, side, 1, 1),
          src(static_cast<size_t>(from.getDataSize())), dst(static_cast<size_t>(to.getDataSize())), peer(dst.size())
    {
        std::mt19937 random(static_cast<unsigned>(side) * 31 + static_cast<unsigned>(conversion.from));
        for (uint8_t& byte : src) {
            byte = static_cast<uint8_t>(random());
        }
    }

    int width;
    int height;
    TextureFormat from;
    TextureFormat to;
    std::vector<uint8_t> src;
    std::vector<uint8_t> dst;
    std::vector<uint8_t> peer;
};

void runOurs(Box& box)
{
    TextureFormatConversion::convert(box.src.data(), &box.from, box.dst.data(), &box.to);
}

void runLibyuv(const Conversion& conversion, Box& box)
{
    conversion.libyuv(box.src.data(), box.from.xPitch, box.peer.data(), box.to.xPitch, box.width, box.height);
}

struct PixmanImages
{
    PixmanImages(const Conversion& conversion, Box& box)
    {
        src = pixman_image_create_bits(conversion.pixmanFrom, box.width, box.height,
                                       reinterpret_cast<uint32_t*>(box.src.data()), box.from.xPitch);
        dst = pixman_image_create_bits(conversion.pixmanTo, box.width, box.height,
                                       reinterpret_cast<uint32_t*>(box.peer.data()), box.to.xPitch);
    }
    ~PixmanImages()
    {
        pixman_image_unref(src);
        pixman_image_unref(dst);
    }
    void run(const Box& box)
    {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, box.width, box.height);
    }
    pixman_image_t* src;
    pixman_image_t* dst;
};

// Empty when the peer's bytes are ours; otherwise what differs. Our YUV conversion writes alpha 0
// where the peers write 255, so alpha is left out of that comparison and the largest colour
// difference is reported.
std::string compare(const Conversion& conversion, const Box& box)
{
    const bool yuv = conversion.from == TextureFormat::Format_YUV_422;
    int largest = 0;
    size_t differing = 0;
    for (size_t i = 0; i < box.dst.size(); ++i) {
        if (yuv && i % 4 == 3) {
            continue;
        }
        int difference = std::abs(int(box.dst[i]) - int(box.peer[i]));
        if (difference != 0) {
            ++differing;
            largest = std::max(largest, difference);
        }
    }
    if (differing == 0) {
        return std::string();
    }
    return std::to_string(differing) + " bytes differ, by up to " + std::to_string(largest);
}

void setCounters(benchmark::State& state, const Box& box)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(box.src.size()));
}

void benchOurs(benchmark::State& state, const Conversion& conversion)
{
    Box box(conversion, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        runOurs(box);
        benchmark::DoNotOptimize(box.dst.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, box);
}

void benchLibyuv(benchmark::State& state, const Conversion& conversion)
{
    Box box(conversion, static_cast<int>(state.range(0)));
    runOurs(box);
    runLibyuv(conversion, box);
    std::string difference = compare(conversion, box);
    if (!difference.empty()) {
        state.SetLabel("not equal: " + difference);
    }
    for (auto _ : state) {
        runLibyuv(conversion, box);
        benchmark::DoNotOptimize(box.peer.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, box);
}

void benchPixman(benchmark::State& state, const Conversion& conversion)
{
    Box box(conversion, static_cast<int>(state.range(0)));
    PixmanImages images(conversion, box);
    runOurs(box);
    images.run(box);
    std::string difference = compare(conversion, box);
    if (!difference.empty()) {
        state.SetLabel("not equal: " + difference);
    }
    for (auto _ : state) {
        images.run(box);
        benchmark::DoNotOptimize(box.peer.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, box);
}

int registerAll()
{
    for (const Conversion& conversion : conversions) {
        const std::string name = conversion.name;
        benchmark::RegisterBenchmark(("Ours/" + name).c_str(), benchOurs, conversion)->Arg(1024)->Arg(256);
        benchmark::RegisterBenchmark(("Libyuv/" + name).c_str(), benchLibyuv, conversion)->Arg(1024)->Arg(256);
        if (conversion.hasPixman) {
            benchmark::RegisterBenchmark(("Pixman/" + name).c_str(), benchPixman, conversion)->Arg(1024)->Arg(256);
        }
    }
    return 0;
}

const int registered = registerAll();

} // namespace

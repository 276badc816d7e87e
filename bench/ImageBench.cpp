// Image decoding from memory beside other decoders on the same bytes, each pair interleaved in every
// iteration (which goes first alternates) so that both run under the same load. BMP (8- and 24-bit)
// and TGA (24-, 32-bit and run-length) against stb_image, which returns the same RGB(A) pixels; PNG
// and JPEG through the platform image reader against stb_image and plain libpng and libjpeg-turbo.
// DDS has no peer: its reading is parsing and copies. Before a pair is timed the peer's pixels are
// compared with ours; the label says what the peer does differently, and a peer that computes
// something else says so there. Counters: ours and peer are the calling thread's CPU nanoseconds
// per decode, ratio is ours / peer. Bytes processed are file bytes (of both decodes). Files not
// installed are left out with a note.

#include "content/BMPCodec.h"
#include "content/DDSCodec.h"
#include "content/PlatformImage.h"
#include "content/TGACodec.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/io/MemoryStream.h"
#include "render/TextureFormat.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::io::MemoryStream;
using rezezaz::render::TextureFormat;
using rezezaz::scene::DecodedImage;
using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : Bytes();
}

// The stream the engine would hand a reader: over the file's bytes, not copied.
IntrusivePointer<MemoryStream> streamOver(Bytes& file)
{
    return IntrusivePointer<MemoryStream>(
        new MemoryStream(file.data(), static_cast<int>(file.size()), static_cast<int>(file.size()), false));
}

// Pixels top row first, as the peers give them.
struct Image
{
    int width = 0;
    int height = 0;
    int channels = 0;
    Bytes pixels;
};

// Our image as RGB(A), top row first: BGR(A) swapped, rows turned.
Image topFirst(const DecodedImage& ours)
{
    Image image;
    image.width = ours.format->getWidth();
    image.height = ours.format->getHeight();
    const int layout = TextureFormat::getLayout(ours.format->pixelFormat);
    image.channels = layout == TextureFormat::Layout_RGBA || layout == TextureFormat::Layout_BGRA ? 4 : 3;
    const bool swap = layout == TextureFormat::Layout_BGR || layout == TextureFormat::Layout_BGRA;
    const size_t row = size_t(image.width) * image.channels;
    image.pixels.resize(row * image.height);
    for (int y = 0; y < image.height; ++y) {
        const unsigned char* s = ours.levels[0].data() + size_t(image.height - 1 - y) * row;
        unsigned char* d = image.pixels.data() + size_t(y) * row;
        std::memcpy(d, s, row);
        if (swap) {
            for (size_t x = 0; x < row; x += image.channels) {
                std::swap(d[x], d[x + 2]);
            }
        }
    }
    return image;
}

// Empty when equal within tolerance; otherwise what differs.
std::string compare(const Image& ours, const Image& peer, int tolerance)
{
    if (ours.width != peer.width || ours.height != peer.height || ours.pixels.size() != peer.pixels.size()) {
        return "not equal: other size";
    }
    int largest = 0;
    for (size_t i = 0; i < ours.pixels.size(); ++i) {
        largest = std::max(largest, std::abs(int(ours.pixels[i]) - int(peer.pixels[i])));
    }
    return largest <= tolerance ? std::string() : "not equal: differs by up to " + std::to_string(largest);
}

// stb_image's reading as RGB(A) of `channels` bytes a pixel, top row first, premultiplied when asked.
Image stbImage(const Bytes& file, int channels, bool premultiply)
{
    Image image;
    int n = 0;
    unsigned char* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &image.width,
                                                  &image.height, &n, channels);
    if (pixels == nullptr) {
        return image;
    }
    image.channels = channels;
    image.pixels.assign(pixels, pixels + size_t(image.width) * image.height * channels);
    stbi_image_free(pixels);
    if (premultiply) {
        for (size_t i = 0; i < image.pixels.size(); i += 4) {
            const unsigned a = image.pixels[i + 3];
            for (int k = 0; k < 3; ++k) {
                image.pixels[i + k] = static_cast<unsigned char>((image.pixels[i + k] * a + 127) / 255);
            }
        }
    }
    return image;
}

// libpng's simplified reader to RGBA, top row first.
bool libpngDecode(const Bytes& file, Bytes& out)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    out.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, out.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// libjpeg-turbo to RGBA, top row first.
bool libjpegDecode(const Bytes& file, Bytes& out)
{
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    const size_t row = size_t(info.output_width) * 4;
    out.resize(row * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW line = out.data() + size_t(info.output_scanline) * row;
        jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// A width x height 8-bit palette BMP or 24-bit BMP of random pixels.
Bytes syntheticBMP(int bits, int side)
{
    std::mt19937 random(static_cast<unsigned>(bits));
    const size_t row = (size_t(side) * (bits / 8) + 3) & ~size_t(3);
    const size_t palette = bits == 8 ? 1024 : 0;
    Bytes file(54 + palette + row * side);
    auto put = [&file](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            file[at + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, static_cast<uint32_t>(file.size()), 4);
    put(10, static_cast<uint32_t>(54 + palette), 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(side), 4);
    put(22, static_cast<uint32_t>(side), 4);
    put(26, 1, 2);
    put(28, static_cast<uint32_t>(bits), 2);
    for (size_t i = 54; i < file.size(); ++i) {
        file[i] = static_cast<unsigned char>(random());
    }
    return file;
}

struct Case
{
    std::string name;
    Bytes file;
};

using Decode = std::function<void()>;

// The calling thread's CPU time: both sides decode on this thread alone, and on a busy machine the
// wall clock would also count the time the thread waited for a core.
int64_t threadNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Ours and the peer's once each per iteration, timed apart, which goes first alternating; the mean
// CPU nanoseconds of each and their ratio as counters.
void benchPair(benchmark::State& state, Decode ours, Decode peer, std::string label, int64_t fileBytes)
{
    state.SetLabel(label);
    int64_t ourTime = 0;
    int64_t peerTime = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool mine = (turn == 0) == oursFirst;
            const int64_t start = threadNanoseconds();
            (mine ? ours : peer)();
            (mine ? ourTime : peerTime) += threadNanoseconds() - start;
        }
        oursFirst = !oursFirst;
    }
    const double n = static_cast<double>(state.iterations());
    const double oursNs = static_cast<double>(ourTime) / n;
    const double peerNs = static_cast<double>(peerTime) / n;
    state.counters["ours"] = oursNs;
    state.counters["peer"] = peerNs;
    state.counters["ratio"] = peerNs > 0 ? oursNs / peerNs : 0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * fileBytes);
}

template <class Read> Decode oursOf(Bytes& file, Read read)
{
    return [&file, read] {
        auto stream = streamOver(file);
        DecodedImage image = read(stream.get(), rezezaz::scene::ImageLimits::MAX_BYTES);
        benchmark::DoNotOptimize(image.levels.data());
    };
}

Decode stbOf(const Bytes& file, int channels)
{
    return [&file, channels] {
        int w = 0;
        int h = 0;
        int n = 0;
        unsigned char* pixels =
            stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, channels);
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    };
}

// Each decode into an image of its own, as ours and stb_image return one.
Decode plainOf(const Bytes& file, bool png)
{
    return [&file, png] {
        Bytes out;
        if (png) {
            libpngDecode(file, out);
        } else {
            libjpegDecode(file, out);
        }
        benchmark::DoNotOptimize(out.data());
    };
}

template <class Read> void benchAlone(benchmark::State& state, Bytes file, Read read)
{
    const Decode ours = oursOf(file, read);
    for (auto _ : state) {
        ours();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}

// Empty when equal; otherwise what differs, which the peer's figure then carries.
std::string checked(const std::string& difference, const std::string& note)
{
    return difference.empty() ? note : difference + "; " + note;
}

std::string dataFolder()
{
    return std::string(PELOTUNE_SOURCE_DIR) + "/tests/content/data/";
}

// The files stay alive for the whole run: the decoders hold references to them.
std::vector<Bytes>& files()
{
    static std::vector<Bytes>* const all = new std::vector<Bytes>();
    return *all;
}

int registerAll()
{
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
    const std::string models = "/usr/share/assimp/models/";
    files().reserve(16);

    // BMP and TGA beside stb_image, which gives the same RGB(A) pixels.
    struct Plain
    {
        std::string name;
        Bytes file;
        bool tga;
    };
    std::vector<Plain> plain = {
        {"BMP8/1024", syntheticBMP(8, 1024), false},
        {"BMP24/1024", syntheticBMP(24, 1024), false},
        {"BMP8/sydney", readFile(models + "MD2/sydney.bmp"), false},
        {"TGA24/duckCM", readFile(models + "Collada/duckCM.tga"), true},
        {"TGA32/holygrail", readFile(models + "SMD/holygrail.tga"), true},
        {"TGARLE24/top", readFile(dataFolder() + "topRle.tga"), true},
    };
    for (Plain& p : plain) {
        if (p.file.empty()) {
            std::fprintf(stderr, "note: %s left out, its file is not installed\n", p.name.c_str());
            continue;
        }
        Bytes& file = files().emplace_back(std::move(p.file));
        auto read = p.tga ? rezezaz::scene::TGACodec::read : rezezaz::scene::BMPCodec::read;
        auto stream = streamOver(file);
        const Image ours = topFirst(read(stream.get(), rezezaz::scene::ImageLimits::MAX_BYTES));
        const std::string difference = compare(ours, stbImage(file, ours.channels, false), 0);
        // What remains different after the same pixels: the row order, and for TGA the channel order.
        const std::string note = p.tga ? "stb_image also turns the rows top first and blue-first pixels red-first"
                                       : "stb_image also turns the rows top first";
        benchmark::RegisterBenchmark(("stb_image/" + p.name).c_str(), benchPair, oursOf(file, read),
                                     stbOf(file, ours.channels), checked(difference, note),
                                     static_cast<int64_t>(file.size()));
    }

    // PNG and JPEG beside stb_image, libpng and libjpeg-turbo.
    struct Compressed
    {
        std::string name;
        Bytes file;
        bool png;
    };
    std::vector<Compressed> compressed = {
        {"PNG/UVTransform_Normal", readFile(models + "ReferenceImages/UVTransform/UVTransform_Normal.png"), true},
        {"PNG/test", readFile(models + "3DS/test.png"), true},
        {"JPEG/duck_sample", readFile(models + "Collada/duck_sample.jpg"), false},
        {"JPEG/jeep1", readFile(models + "MS3D/jeep1.jpg"), false},
    };
    for (Compressed& c : compressed) {
        if (c.file.empty()) {
            std::fprintf(stderr, "note: %s left out, its file is not installed\n", c.name.c_str());
            continue;
        }
        Bytes& file = files().emplace_back(std::move(c.file));
        auto stream = streamOver(file);
        const Image ours = topFirst(rezezaz::scene::PlatformImage::decode(stream.get()));
        const int tolerance = c.png ? 0 : 3;
        const std::string stbDifference = compare(ours, stbImage(file, 4, true), tolerance);
        Image plainImage = stbImage(file, 4, false);
        (c.png ? libpngDecode : libjpegDecode)(file, plainImage.pixels);
        const std::string plainDifference = compare(stbImage(file, 4, false), plainImage, tolerance);
        // What remains different after the same pixels.
        const std::string note = c.png ? "ours also premultiplies where there is alpha; the peer gives the rows top first"
                                       : "the peer gives the rows top first";
        const auto ourDecode = oursOf(file, &rezezaz::scene::PlatformImage::decode);
        benchmark::RegisterBenchmark(("stb_image/" + c.name).c_str(), benchPair, ourDecode, stbOf(file, 4),
                                     checked(stbDifference, note), static_cast<int64_t>(file.size()));
        benchmark::RegisterBenchmark(((c.png ? "libpng/" : "libjpeg/") + c.name).c_str(), benchPair, ourDecode,
                                     plainOf(file, c.png), checked(plainDifference, note),
                                     static_cast<int64_t>(file.size()));
    }

    // DDS: parsing and copies, no peer.
    Bytes dds = readFile(dataFolder() + "bc1-top.dds");
    if (!dds.empty()) {
        benchmark::RegisterBenchmark("Ours/DDS/bc1-top", benchAlone<decltype(&rezezaz::scene::DDSCodec::read)>, dds,
                                     &rezezaz::scene::DDSCodec::read);
    }
    return 0;
}

const int registered = registerAll();

} // namespace

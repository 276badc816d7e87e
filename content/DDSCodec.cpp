#include "content/DDSCodec.h"

#include "content/ImageStreams.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "render/TextureFormat.h"

#include <algorithm>
#include <cstring>

namespace rezezaz::scene {

namespace {

using core::Categories;
using core::Error;
using render::TextureFormat;

constexpr uint32_t MAGIC = 0x20534444; // "DDS "
constexpr int HEADER_SIZE = 124;
constexpr uint32_t FLAG_CAPS = 0x1;
constexpr uint32_t FLAG_PIXEL_FORMAT = 0x1000;
constexpr uint32_t FLAG_MIP_COUNT = 0x20000;
constexpr uint32_t FLAG_LINEAR_SIZE = 0x80000;
constexpr uint32_t PF_FOURCC = 0x4;
constexpr uint32_t PF_PALETTE_INDEXED = 0x20;
constexpr const char* READER = "DDSStreamer";

} // namespace

DecodedImage DDSCodec::read(core::io::Stream* stream, int64_t maxBytes)
{
    if (stream == nullptr) {
        Error::nullPointer(Categories::REZEZAZ_CORE, true, "Stream is NULL");
    }
    unsigned char magic[4] = {};
    ImageStreams::readFully(stream, magic, 4);
    if (ImageStreams::u32(magic) != MAGIC) {
        Error::unknown(Categories::REZEZAZ_CORE, true, "bad magic number");
    }
    unsigned char header[HEADER_SIZE] = {};
    const int64_t headerGot = ImageStreams::readFully(stream, header, HEADER_SIZE);
    if (headerGot < HEADER_SIZE) {
        ImageStreams::truncated(Categories::REZEZAZ_CORE, READER, "header", 4, HEADER_SIZE, headerGot);
    }
    const uint32_t flags = ImageStreams::u32(header + 4);
    const uint32_t height = ImageStreams::u32(header + 8);
    const uint32_t width = ImageStreams::u32(header + 12);
    const uint32_t linearSize = ImageStreams::u32(header + 16);
    const uint32_t mipCount = ImageStreams::u32(header + 24);
    const uint32_t pixelFlags = ImageStreams::u32(header + 76);
    const unsigned char* fourCC = header + 80;
    const uint32_t bitCount = ImageStreams::u32(header + 84);

    if ((flags & FLAG_CAPS) == 0 || (flags & FLAG_PIXEL_FORMAT) == 0) {
        Error::unknown(Categories::REZEZAZ_CORE, true, "invalid format or caps");
    }
    int pixelFormat = 0;
    if ((pixelFlags & PF_FOURCC) != 0) {
        if (std::memcmp(fourCC, "DXT1", 4) == 0) {
            pixelFormat = TextureFormat::Format_RGB_DXT1;
        } else if (std::memcmp(fourCC, "DXT3", 4) == 0) {
            pixelFormat = TextureFormat::Format_RGBA_DXT3;
        } else if (std::memcmp(fourCC, "DXT5", 4) == 0) {
            pixelFormat = TextureFormat::Format_RGBA_DXT5;
        }
    }
    DecodedImage image;
    if (pixelFormat == 0) {
        core::Log::alert((pixelFlags & PF_PALETTE_INDEXED) != 0 && bitCount == 8 ? "Other palette" : "Other type");
        return image;
    }
    if (!ImageLimits::fits(width, height, 1, maxBytes)) {
        Error::unknown(Categories::REZEZAZ_CORE, true,
                       core::String("DDS size ") + width + " x " + height + " is not supported");
    }
    // The texture is 2D: one slice, whether the file says depth 0 (as ordinary files do) or more;
    // each level holds that one slice's blocks.
    // Never more levels than halving the larger side down to 1 gives.
    int maxLevels = 1;
    for (uint32_t side = std::max(width, height); side > 1; side >>= 1) {
        ++maxLevels;
    }
    int levels = 1;
    if ((flags & FLAG_MIP_COUNT) != 0) {
        levels = static_cast<int>(std::clamp<uint32_t>(mipCount, 1, static_cast<uint32_t>(maxLevels)));
    }

    image.format = new TextureFormat(TextureFormat::Dimension_2D, pixelFormat, static_cast<int>(width),
                                     static_cast<int>(height), 1, levels);
    // Sides halve rounding down, each level held in whole blocks, as the texture's own levels.
    std::vector<int64_t> sizes;
    int64_t total = 0;
    for (int i = 0; i < levels; ++i) {
        const TextureFormat level(image.format.get(), i);
        sizes.push_back(level.getDataSize());
        total += sizes.back();
    }
    if ((flags & FLAG_LINEAR_SIZE) != 0 && sizes[0] != int64_t(linearSize)) {
        Error::unknown(Categories::REZEZAZ_CORE, true, "incorrect size");
    }
    // Every level must be in the file before the first is allocated.
    const int64_t start = 4 + HEADER_SIZE;
    ImageStreams::requireBytes(stream, Categories::REZEZAZ_CORE, READER, "level data", start, total);
    int64_t done = 0;
    for (const int64_t bytes : sizes) {
        image.levels.emplace_back(static_cast<size_t>(bytes));
        const int64_t got = ImageStreams::readFully(stream, image.levels.back().data(), bytes);
        done += got;
        if (got < bytes) {
            ImageStreams::truncated(Categories::REZEZAZ_CORE, READER, "level data", start, total, done);
        }
    }
    return image;
}

} // namespace rezezaz::scene

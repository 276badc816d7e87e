// What the image readers hold at their peak: a file that cannot fill the pixels its header declares
// is refused before they are allocated, and a decoded image is held once.
#include "content/BMPCodec.h"
#include "content/DDSCodec.h"
#include "content/PlatformImage.h"
#include "content/TGACodec.h"

#include "ImageOracles.h"
#include "core/Exception.h"
#include "support/AllocationCounter.h"
#include "support/QuietLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using contenttest::memoryStream;
using rezezaz::core::Exception;
using rezezaz::core::io::Stream;
using rezezaz::scene::DecodedImage;

namespace {

using Bytes = std::vector<unsigned char>;
using Read = std::function<DecodedImage(Stream*)>;

constexpr int64_t MIB = int64_t(1) << 20;

void put(Bytes& b, size_t at, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

Bytes bmpHeader(int width, int height, int bits)
{
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    // The pixels after the palette that palette images carry.
    put(b, 10, bits <= 8 ? 54 + (4u << bits) : 54, 4);
    put(b, 14, 40, 4);
    put(b, 18, static_cast<uint32_t>(width), 4);
    put(b, 22, static_cast<uint32_t>(height), 4);
    put(b, 26, 1, 2);
    put(b, 28, static_cast<uint32_t>(bits), 2);
    return b;
}

Bytes tgaHeader(int type, int width, int height)
{
    Bytes b(18, 0);
    b[2] = static_cast<unsigned char>(type);
    put(b, 12, static_cast<uint32_t>(width), 2);
    put(b, 14, static_cast<uint32_t>(height), 2);
    b[16] = 32;
    b[17] = 0x28;
    return b;
}

// DXT5 with every level of a side's halving down to 1, and the linear size of level 0.
Bytes ddsHeader(uint32_t side)
{
    Bytes b(128, 0);
    std::memcpy(b.data(), "DDS ", 4);
    put(b, 4, 124, 4);
    put(b, 8, 0xA1007, 4);
    put(b, 12, side, 4);
    put(b, 16, side, 4);
    put(b, 20, side * side, 4);
    put(b, 28, 15, 4);
    put(b, 80, 0x4, 4);
    std::memcpy(b.data() + 84, "DXT5", 4);
    return b;
}

// The most the heap held beyond what it held before, while read ran over the bytes; the reader's
// refusal, if any, in refusal.
int64_t peakWhile(const Read& read, const Bytes& file, std::string& refusal)
{
    auto stream = memoryStream(file);
    support::resetPeakBytes();
    const int64_t before = support::allocatedBytes();
    try {
        const DecodedImage image = read(stream.get());
    } catch (const Exception& e) {
        refusal = e.getDescription();
    }
    return support::peakAllocatedBytes() - before;
}

class ImageMemoryTest : public ::testing::Test
{
protected:
    support::QuietLog quiet;
};

TEST_F(ImageMemoryTest, HeaderOnlyFilesAreRefusedWithoutAllocatingTheirPixels)
{
    struct Case
    {
        const char* name;
        Bytes file;
        Read read;
    };
    const Case cases[] = {
        {"BMP of 8192 x 8192 x 32 bits", bmpHeader(8192, 8192, 32),
         [](Stream* s) { return rezezaz::scene::BMPCodec::read(s); }},
        {"BMP of 8192 x 8192 x 8 bits", bmpHeader(8192, 8192, 8),
         [](Stream* s) { return rezezaz::scene::BMPCodec::read(s); }},
        {"TGA of 16384 x 4096 x 32 bits", tgaHeader(2, 16384, 4096),
         [](Stream* s) { return rezezaz::scene::TGACodec::read(s); }},
        {"run-length TGA of 16384 x 4096 x 32 bits", tgaHeader(10, 16384, 4096),
         [](Stream* s) { return rezezaz::scene::TGACodec::read(s); }},
        {"DDS of 16384 x 16384 DXT5 in 15 levels", ddsHeader(16384),
         [](Stream* s) { return rezezaz::scene::DDSCodec::read(s); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string refusal;
        const int64_t peak = peakWhile(c.read, c.file, refusal);
        EXPECT_NE(refusal.find("File is truncated"), std::string::npos) << refusal;
        EXPECT_LT(peak, 96 * MIB);
    }
}

// A deflate bomb: a small file of a 1024 x 1024 image. The decoder writes its rows where the
// texture wants them, so the image is held once (and a little for the decoder's own state).
TEST_F(ImageMemoryTest, APNGIsDecodedIntoItsTextureLevelOnce)
{
    const int side = 1024;
    Bytes rgba(size_t(side) * side * 4, 0);
    for (size_t i = 3; i < rgba.size(); i += 4) {
        rgba[i] = 128;
    }
    const Bytes png = contenttest::encodePNG(side, side, rgba);
    ASSERT_LT(png.size(), 64 * 1024u);
    std::string refusal;
    const int64_t image = int64_t(side) * side * 4;
    const int64_t peak =
        peakWhile([](Stream* s) { return rezezaz::scene::PlatformImage::decode(s); }, png, refusal);
    EXPECT_EQ(refusal, "");
    EXPECT_GE(peak, image);
    EXPECT_LT(peak, image + image / 4);
}

} // namespace

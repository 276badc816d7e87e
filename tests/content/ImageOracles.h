#pragma once

#include "content/DecodedImage.h"
#include "core/IntrusivePointer.h"
#include "core/io/MemoryStream.h"

#include <string>
#include <vector>

namespace contenttest {

// Bytes of a file; empty when it cannot be read.
std::vector<unsigned char> readFile(const std::string& path);

// True on the CI machine, where a missing real file is a failure rather than a skip.
bool inCI();

// A fixed stream over a copy of bytes.
rezezaz::core::IntrusivePointer<rezezaz::core::io::MemoryStream> memoryStream(const std::vector<unsigned char>& bytes);

// An image decoded by another library: width x height pixels of `channels` bytes (RGB or RGBA), the
// top row first.
struct OracleImage
{
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<unsigned char> pixels;
};

// SDL2_image's reading of a BMP or TGA file as RGB (channels 3) or RGBA (channels 4); false when it
// cannot read it.
bool decodeWithSDLImage(const std::vector<unsigned char>& file, bool tga, int channels, OracleImage& image);

// stb_image's reading of a PNG or JPEG as RGBA.
bool decodeWithStb(const std::vector<unsigned char>& file, OracleImage& image);

// PNG bytes of width x height RGBA pixels, top row first, written by stb_image_write.
std::vector<unsigned char> encodePNG(int width, int height, const std::vector<unsigned char>& rgba);

// JPEG bytes of width x height RGB pixels, top row first, baseline or progressive, Huffman or
// arithmetic coded, with a restart marker every restartRows MCU rows (none for 0), written by
// libjpeg-turbo.
std::vector<unsigned char> encodeJPEG(int width, int height, const std::vector<unsigned char>& rgb, int quality,
                                      bool progressive = false, bool arithmetic = false, int restartRows = 0);

// The pixels of an uncompressed 24- or 32-bit TGA as BGRA, bottom row first, whatever corner it
// starts in.
bool readPlainTGA(const std::vector<unsigned char>& file, OracleImage& image);

} // namespace contenttest

#include "ImageOracles.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <jpeglib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_NO_STDIO_WARNINGS
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace contenttest {

std::vector<unsigned char> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool inCI()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

rezezaz::core::IntrusivePointer<rezezaz::core::io::MemoryStream> memoryStream(const std::vector<unsigned char>& bytes)
{
    auto* copy = new unsigned char[bytes.size() + 1];
    if (!bytes.empty()) {
        std::memcpy(copy, bytes.data(), bytes.size());
    }
    const int size = static_cast<int>(bytes.size());
    return rezezaz::core::IntrusivePointer<rezezaz::core::io::MemoryStream>(
        new rezezaz::core::io::MemoryStream(copy, size, size, true));
}

bool decodeWithSDLImage(const std::vector<unsigned char>& file, bool tga, int channels, OracleImage& image)
{
    SDL_RWops* rw = SDL_RWFromConstMem(file.data(), static_cast<int>(file.size()));
    SDL_Surface* surface = tga ? IMG_LoadTGA_RW(rw) : IMG_LoadBMP_RW(rw);
    SDL_RWclose(rw);
    if (surface == nullptr) {
        return false;
    }
    SDL_Surface* converted =
        SDL_ConvertSurfaceFormat(surface, channels == 4 ? SDL_PIXELFORMAT_RGBA32 : SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(surface);
    if (converted == nullptr) {
        return false;
    }
    image.width = converted->w;
    image.height = converted->h;
    image.channels = channels;
    image.pixels.resize(size_t(image.width) * image.height * channels);
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(image.pixels.data() + size_t(y) * image.width * channels,
                    static_cast<unsigned char*>(converted->pixels) + size_t(y) * converted->pitch,
                    size_t(image.width) * channels);
    }
    SDL_FreeSurface(converted);
    return true;
}

bool decodeWithStb(const std::vector<unsigned char>& file, OracleImage& image)
{
    int w = 0;
    int h = 0;
    int n = 0;
    unsigned char* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
    if (pixels == nullptr) {
        return false;
    }
    image.width = w;
    image.height = h;
    image.channels = 4;
    image.pixels.assign(pixels, pixels + size_t(w) * h * 4);
    stbi_image_free(pixels);
    return true;
}

std::vector<unsigned char> encodePNG(int width, int height, const std::vector<unsigned char>& rgba)
{
    std::vector<unsigned char> out;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            auto* bytes = static_cast<std::vector<unsigned char>*>(context);
            bytes->insert(bytes->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
        },
        &out, width, height, 4, rgba.data(), width * 4);
    return out;
}

std::vector<unsigned char> encodeJPEG(int width, int height, const std::vector<unsigned char>& rgb, int quality,
                                      bool progressive, bool arithmetic, int restartRows)
{
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive) {
        jpeg_simple_progression(&info);
    }
    info.arith_code = arithmetic ? TRUE : FALSE;
    info.restart_in_rows = restartRows;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb.data()) + size_t(info.next_scanline) * size_t(width) * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<unsigned char> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

bool readPlainTGA(const std::vector<unsigned char>& file, OracleImage& image)
{
    if (file.size() < 18 || file[2] != 2 || (file[16] != 24 && file[16] != 32)) {
        return false;
    }
    const int bytes = file[16] / 8;
    image.width = file[12] | (file[13] << 8);
    image.height = file[14] | (file[15] << 8);
    image.channels = 4;
    const bool topFirst = (file[17] & 0x20) != 0;
    const size_t start = 18 + size_t(file[0]);
    if (file.size() < start + size_t(image.width) * image.height * bytes) {
        return false;
    }
    image.pixels.assign(size_t(image.width) * image.height * 4, 255);
    for (int y = 0; y < image.height; ++y) {
        const int source = topFirst ? image.height - 1 - y : y;
        for (int x = 0; x < image.width; ++x) {
            const unsigned char* s = file.data() + start + (size_t(source) * image.width + x) * bytes;
            unsigned char* d = image.pixels.data() + (size_t(y) * image.width + x) * 4;
            std::memcpy(d, s, size_t(bytes));
        }
    }
    return true;
}

} // namespace contenttest

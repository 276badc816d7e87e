#include "support/FirmwareImageWriter.h"

#include <zlib.h>

#include <algorithm>
#include <random>

namespace support {

std::vector<unsigned char> FirmwareImageWriter::image(unsigned seed)
{
    std::vector<unsigned char> bytes(0x10000, 0xFF);
    std::mt19937 random(seed);
    const auto fill = [&](int from, int length) {
        for (int at = from; at < from + length; ++at) {
            bytes[static_cast<size_t>(at)] = static_cast<unsigned char>(random() & 0x3F);
        }
    };
    fill(0x8000, 6000);
    fill(0xA000, 700);
    bytes[0xB123] = 0x00;
    fill(0x10000 - 32, 32);
    return bytes;
}

std::string FirmwareImageWriter::compress(const std::vector<unsigned char>& payload, Compression compression)
{
    z_stream stream = {};
    // 15 window bits make a zlib stream; 16 more ask for a gzip header instead.
    const int windowBits = compression == Compression::Gzip ? 31 : 15;
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return {};
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(payload.size())) + 32, '\0');
    stream.next_in = const_cast<Bytef*>(payload.data());
    stream.avail_in = static_cast<uInt>(payload.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string();
}

std::string FirmwareImageWriter::uuencode(const std::string& data)
{
    const auto character = [](int bits) { return static_cast<char>(32 + (bits & 63)); };
    std::string text;
    for (size_t start = 0; start < data.size(); start += 45) {
        const size_t length = std::min<size_t>(45, data.size() - start);
        text += character(static_cast<int>(length));
        for (size_t at = start; at < start + length; at += 3) {
            unsigned char b[3] = {0, 0, 0};
            for (size_t i = 0; i < 3 && at + i < start + length; ++i) {
                b[i] = static_cast<unsigned char>(data[at + i]);
            }
            text += character(b[0] >> 2);
            text += character((b[0] << 4) | (b[1] >> 4));
            text += character((b[1] << 2) | (b[2] >> 6));
            text += character(b[2]);
        }
        text += '\n';
    }
    return text;
}

std::string FirmwareImageWriter::headerLines(const Header& header)
{
    return "Hardware Revision Mask: " + header.mask + "\n" + "Hardware Revision: " + header.revision + "\n" +
           "Firmware Version: " + header.version + "\n" + "Firmware Type: " + header.type + "\n";
}

std::string FirmwareImageWriter::file(const Header& header, const std::vector<unsigned char>& payload,
                                      Compression compression)
{
    return headerLines(header) + "begin 644 firmware.bin\n" + uuencode(compress(payload, compression)) +
           "`\nend\n";
}

} // namespace support

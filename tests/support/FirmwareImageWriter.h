#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// Writes firmware image files as the firmware server serves them: header lines, then the image
// compressed with zlib or gzip and uuencoded between "begin" and "end". Tests and the benchmark make
// their fixtures with it, damaged on purpose where a case needs it.
class FirmwareImageWriter
{
public:
    enum class Compression
    {
        Zlib,
        Gzip
    };

    // The four header keys, as text so that a case can put anything there.
    struct Header
    {
        std::string mask = "0";
        std::string revision = "0";
        std::string version = "1";
        std::string type = "Release";
    };

    // A 64 KB memory image as a build leaves it: code from 0x8000 on, blank gaps, a table, and the
    // interrupt vectors at the top; `seed` varies the code.
    static std::vector<unsigned char> image(unsigned seed = 1);

    static std::string compress(const std::vector<unsigned char>& payload, Compression compression);
    // The uuencoded lines of `data` (45 bytes a line, blanks for zero bits), without "begin" and "end".
    static std::string uuencode(const std::string& data);
    // Header lines in the server's usual form ("Key: value").
    static std::string headerLines(const Header& header);
    // A whole file: header lines, "begin 644 firmware.bin", the encoded payload, the zero-length line
    // and "end".
    static std::string file(const Header& header, const std::vector<unsigned char>& payload,
                            Compression compression = Compression::Zlib);
};

} // namespace support

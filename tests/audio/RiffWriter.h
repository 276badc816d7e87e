#pragma once

#include "core/IntrusivePointer.h"
#include "core/io/MemoryStream.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace audiotest {

// Builds RIFF WAVE files in memory, sizes and all, so that a test can write any file a broken or
// hostile writer might: wrong sizes, missing chunks, odd formats.
class RiffWriter
{
public:
    // "RIFF", the size (filled in by bytes() unless given), "WAVE".
    RiffWriter() { mBytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}; }

    // A "fmt " chunk of the usual 16 bytes.
    RiffWriter& fmt(int tag, int channels, int rate, int bits, int blockAlign = 0)
    {
        std::vector<unsigned char> body;
        put16(body, tag);
        put16(body, channels);
        put32(body, static_cast<uint32_t>(rate));
        put32(body, static_cast<uint32_t>(rate) * static_cast<uint32_t>(channels * bits / 8));
        put16(body, blockAlign != 0 ? blockAlign : channels * bits / 8);
        put16(body, bits);
        return chunk("fmt ", body);
    }

    // A chunk with its real size; an odd body gets its pad byte.
    RiffWriter& chunk(const std::string& id, const std::vector<unsigned char>& body)
    {
        return chunk(id, static_cast<uint32_t>(body.size()), body);
    }

    // A chunk that declares size whatever its body holds (no pad byte is added).
    RiffWriter& chunk(const std::string& id, uint32_t size, const std::vector<unsigned char>& body)
    {
        mBytes.insert(mBytes.end(), id.begin(), id.end());
        put32(mBytes, size);
        mBytes.insert(mBytes.end(), body.begin(), body.end());
        if (size == body.size() && (size & 1) != 0) {
            mBytes.push_back(0);
        }
        return *this;
    }

    RiffWriter& riffSize(uint32_t size)
    {
        mRiffSize = size;
        mFixedSize = true;
        return *this;
    }

    std::vector<unsigned char> bytes() const
    {
        std::vector<unsigned char> out = mBytes;
        const uint32_t size = mFixedSize ? mRiffSize : static_cast<uint32_t>(out.size() - 8);
        for (int i = 0; i < 4; ++i) {
            out[static_cast<size_t>(4 + i)] = static_cast<unsigned char>(size >> (8 * i));
        }
        return out;
    }

    static void put16(std::vector<unsigned char>& out, int value)
    {
        out.push_back(static_cast<unsigned char>(value & 0xFF));
        out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
    }

    static void put32(std::vector<unsigned char>& out, uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<unsigned char>(value >> (8 * i)));
        }
    }

private:
    std::vector<unsigned char> mBytes;
    uint32_t mRiffSize = 0;
    bool mFixedSize = false;
};

// A fixed memory stream over a copy of the bytes, owned by the stream.
inline rezezaz::core::IntrusivePointer<rezezaz::core::io::MemoryStream> memoryStream(
    const std::vector<unsigned char>& bytes)
{
    unsigned char* copy = new unsigned char[bytes.size() + 1];
    std::copy(bytes.begin(), bytes.end(), copy);
    const int length = static_cast<int>(bytes.size());
    return new rezezaz::core::io::MemoryStream(copy, length, length, true);
}

inline std::vector<unsigned char> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Little-endian 16-bit samples from bytes.
inline std::vector<int16_t> samples16(const unsigned char* bytes, int length)
{
    std::vector<int16_t> out(static_cast<size_t>(length / 2));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return out;
}

} // namespace audiotest

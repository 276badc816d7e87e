#include "audio/WaveDecoder.h"

#include "core/Error.h"
#include "core/String.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace rezezaz::scene {

namespace {

const int FORMAT_PCM = 1;
const int FORMAT_IMA_ADPCM = 17;

const int16_t STEP_TABLE[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int8_t INDEX_TABLE[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

uint32_t le32(const unsigned char* b)
{
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

uint16_t le16(const unsigned char* b)
{
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

// Reads until count bytes have come, the stream ends or a read fails; returns the count read.
int readFully(core::io::Stream* stream, unsigned char* buffer, int count)
{
    int total = 0;
    while (total < count) {
        const int got = stream->read(buffer + total, count - total);
        if (got <= 0) {
            break;
        }
        total += std::min(got, count - total);
    }
    return total;
}

// One IMA ADPCM channel: its predictor and step index.
struct ImaChannel
{
    int predictor = 0;
    int index = 0;

    int16_t expand(int code)
    {
        const int step = STEP_TABLE[index];
        int difference = step >> 3;
        if (code & 4) {
            difference += step;
        }
        if (code & 2) {
            difference += step >> 1;
        }
        if (code & 1) {
            difference += step >> 2;
        }
        if (code & 8) {
            difference = -difference;
        }
        predictor = std::clamp(predictor + difference, -32768, 32767);
        index = std::clamp(index + INDEX_TABLE[code & 15], 0, 88);
        return static_cast<int16_t>(predictor);
    }
};

// Up to size bytes of the stream into a new array, allocating no more than the stream says it
// still holds; a stream that holds more than it said is read on in growing steps. Returns the
// count read.
int64_t readBytes(core::io::Stream* stream, int64_t size, std::unique_ptr<unsigned char[]>& out)
{
    int64_t capacity = size;
    const int length = stream->length();
    const int position = stream->position();
    if (length >= 0 && position >= 0) {
        capacity = std::min<int64_t>(capacity, std::max(0, length - position));
    } else {
        capacity = std::min<int64_t>(capacity, 65536);
    }
    out.reset(new unsigned char[static_cast<size_t>(std::max<int64_t>(capacity, 1))]);
    int64_t got = 0;
    while (got < size) {
        if (got == capacity) {
            // Full: grow only once the stream has shown that there is more.
            unsigned char probe[4096];
            const int want = static_cast<int>(std::min<int64_t>(size - got, sizeof(probe)));
            const int n = stream->read(probe, want);
            if (n <= 0) {
                break;
            }
            const int64_t grown = std::min(size, std::max<int64_t>(capacity * 2, 65536));
            std::unique_ptr<unsigned char[]> bigger(new unsigned char[static_cast<size_t>(grown)]);
            std::memcpy(bigger.get(), out.get(), static_cast<size_t>(got));
            out = std::move(bigger);
            capacity = grown;
            const int kept = std::min(n, want);
            std::memcpy(out.get() + got, probe, static_cast<size_t>(kept));
            got += kept;
            continue;
        }
        const int want = static_cast<int>(std::min<int64_t>(capacity - got, INT_MAX));
        const int n = stream->read(out.get() + got, want);
        if (n <= 0) {
            break;
        }
        got += std::min(n, want);
    }
    return got;
}

} // namespace

WaveDecoder::WaveDecoder() = default;

WaveDecoder::~WaveDecoder()
{
    clearData();
}

void WaveDecoder::clearData()
{
    delete[] mData;
    mData = nullptr;
    mLength = 0;
    mPosition = 0;
}

bool WaveDecoder::startStream(core::io::Stream* stream)
{
    clearData();
    mStream = stream;
    mFormat = core::SharedPointer<audio::AudioFormat>(new audio::AudioFormat(16, 1, 22050));
    mFormatTag = 0;
    mBlockAlign = 0;
    mFormatUsable = false;

    unsigned char header[12];
    if (stream == nullptr || readFully(stream, header, 12) < 12) {
        core::Error::unknown("", true, "unable to read header");
    }
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) {
        core::Error::unknown("", true, "not RIFF WAVE format");
    }
    const uint32_t riffSize = le32(header + 4);
    // 64 bits: a RIFF size of 0xFFFFFFFF, as piped output writes it, is a long file, not an empty one.
    int64_t remaining = static_cast<int64_t>(riffSize) + (riffSize & 1) - 4;
    // The format the kept samples were decoded under: a "fmt " chunk after them describes no data.
    core::SharedPointer<audio::AudioFormat> dataFormat;
    while (remaining > 0) {
        unsigned char chunk[8];
        if (readFully(stream, chunk, 8) < 8) {
            break;
        }
        const uint32_t size = le32(chunk + 4);
        const int64_t padded = static_cast<int64_t>(size) + (size & 1);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) {
                // Not a format: whatever follows cannot be read with it. What was read so far stays.
                break;
            }
            unsigned char body[16];
            if (readFully(stream, body, 16) < 16) {
                break;
            }
            mFormatTag = le16(body);
            const int channels = le16(body + 2);
            const uint32_t rate = le32(body + 4);
            mBlockAlign = le16(body + 12);
            const int bits = le16(body + 14);
            // Expanded IMA ADPCM is served as 16-bit samples.
            const int served = mFormatTag == FORMAT_IMA_ADPCM ? 16 : bits;
            const bool width = mFormatTag == FORMAT_IMA_ADPCM ? bits == 4 : bits > 0 && bits % 8 == 0 && bits <= 32;
            mFormatUsable = width && channels > 0 && rate > 0 && rate <= static_cast<uint32_t>(INT_MAX);
            mFormat = core::SharedPointer<audio::AudioFormat>(new audio::AudioFormat(
                served, channels, static_cast<int32_t>(std::min<uint32_t>(rate, INT_MAX))));
            skip(stream, padded - 16);
        } else if (std::memcmp(chunk, "data", 4) == 0 && mFormatTag != 0 && mFormatTag != FORMAT_PCM &&
                   mFormatTag != FORMAT_IMA_ADPCM) {
            // Samples of another coding (float, A-law, mu-law, an extensible format) cannot be
            // served: a file whose sound they are is refused rather than served empty; after a
            // sound already read, parsing ends with it.
            if (mData != nullptr) {
                break;
            }
            core::Error::unknown("", true,
                                 core::String("unsupported WAVE format tag ") + static_cast<int>(mFormatTag));
        } else if (std::memcmp(chunk, "data", 4) == 0 &&
                   (mFormatTag == FORMAT_PCM || mFormatTag == FORMAT_IMA_ADPCM)) {
            // The last "data" chunk is the sound; one under an unusable format leaves none.
            clearData();
            dataFormat = core::SharedPointer<audio::AudioFormat>();
            if (!mFormatUsable) {
                skip(stream, padded);
            } else {
                dataFormat = mFormat;
                const bool whole = readData(stream, padded);
                // The pad byte after an odd count of 8-bit samples is served as silence, not as
                // the full-scale sample its 0 would be.
                if ((size & 1) != 0 && mFormatTag == FORMAT_PCM && mFormat->bitsPerSample == 8 &&
                    mLength == padded) {
                    mData[mLength - 1] = 128;
                }
                if (!whole) {
                    break;
                }
            }
        } else {
            skip(stream, padded);
        }
        remaining -= padded + 8;
    }
    if (mData != nullptr && dataFormat) {
        mFormat = dataFormat;
    }
    mPosition = 0;
    return true;
}

bool WaveDecoder::readData(core::io::Stream* stream, int64_t size)
{
    if (mFormatTag == FORMAT_PCM) {
        std::unique_ptr<unsigned char[]> bytes;
        const int64_t wanted = std::min<int64_t>(size, INT_MAX);
        const int64_t got = readBytes(stream, wanted, bytes);
        mData = bytes.release();
        mLength = static_cast<int32_t>(got);
        return got == size;
    }

    const int channels = mFormat->channels;
    const int64_t header = 4 * static_cast<int64_t>(channels);
    const bool blocks = mBlockAlign >= header + 1;
    // Each source byte gives at most four bytes of samples (a block header gives exactly four
    // per channel): read no more than an int can count once expanded.
    const int64_t wanted = std::min<int64_t>(size, INT_MAX / 4);
    std::unique_ptr<unsigned char[]> codes;
    const int64_t got = readBytes(stream, wanted, codes);
    if (!blocks) {
        mData = new unsigned char[static_cast<size_t>(std::max<int64_t>(got * 4, 1))];
        ADPCMDecoder(codes.get(), reinterpret_cast<int16_t*>(mData), static_cast<int>(got));
        mLength = static_cast<int32_t>(got * 4);
        return got == size;
    }

    // Blocks: per channel a header (first sample, step index, a reserved byte), then groups of four
    // bytes per channel, eight samples each, low nibble first. A last block cut short gives the
    // whole groups it holds.
    const int64_t blockAlign = mBlockAlign;
    const int64_t groupsPerBlock = (blockAlign - header) / header;
    const int64_t framesPerBlock = 1 + 8 * groupsPerBlock;
    const int64_t rest = got % blockAlign;
    const int64_t totalFrames = got / blockAlign * framesPerBlock +
                                (rest >= header ? 1 + 8 * std::min(groupsPerBlock, (rest - header) / header) : 0);
    mData = new unsigned char[static_cast<size_t>(std::max<int64_t>(totalFrames * channels * 2, 1))];
    int16_t* out = reinterpret_cast<int16_t*>(mData);
    int64_t frames = 0;
    ImaChannel state[2];
    std::unique_ptr<ImaChannel[]> many;
    ImaChannel* channel = state;
    if (channels > 2) {
        many.reset(new ImaChannel[static_cast<size_t>(channels)]);
        channel = many.get();
    }
    for (int64_t start = 0; start < got; start += blockAlign) {
        const int64_t available = std::min(blockAlign, got - start);
        if (available < header) {
            break;
        }
        const unsigned char* block = codes.get() + start;
        int16_t* frame = out + frames * channels;
        for (int c = 0; c < channels; ++c) {
            const unsigned char* h = block + 4 * c;
            channel[c].predictor = static_cast<int16_t>(le16(h));
            channel[c].index = std::min<int>(h[2], 88);
            frame[c] = static_cast<int16_t>(channel[c].predictor);
        }
        const int64_t groups = std::min(groupsPerBlock, (available - header) / header);
        const unsigned char* group = block + header;
        for (int64_t g = 0; g < groups; ++g) {
            int16_t* first = out + (frames + 1 + 8 * g) * channels;
            for (int c = 0; c < channels; ++c, group += 4) {
                int16_t* sample = first + c;
                for (int b = 0; b < 4; ++b) {
                    *sample = channel[c].expand(group[b] & 0x0F);
                    sample += channels;
                    *sample = channel[c].expand(group[b] >> 4);
                    sample += channels;
                }
            }
        }
        frames += 1 + 8 * groups;
    }
    mLength = static_cast<int32_t>(frames * channels * 2);
    return got == size;
}

void WaveDecoder::ADPCMDecoder(const unsigned char* source, int16_t* destination, int count)
{
    ImaChannel channel;
    for (int i = 0; i < count; ++i) {
        destination[2 * i] = channel.expand(source[i] & 0x0F);
        destination[2 * i + 1] = channel.expand(source[i] >> 4);
    }
}

void WaveDecoder::skip(core::io::Stream* stream, int64_t count)
{
    unsigned char scratch[4096];
    while (count > 0) {
        const int want = static_cast<int>(std::min<int64_t>(count, sizeof(scratch)));
        const int got = stream->read(scratch, want);
        if (got <= 0) {
            return;
        }
        count -= std::min(got, want);
    }
}

int WaveDecoder::read(unsigned char* buffer, int length)
{
    const int count = std::max(0, std::min(length, mLength - mPosition));
    if (count == 0) {
        return -1;
    }
    std::memcpy(buffer, mData + mPosition, static_cast<size_t>(count));
    mPosition += count;
    return count;
}

bool WaveDecoder::reset()
{
    mPosition = 0;
    return true;
}

int WaveDecoder::length()
{
    return mLength;
}

int WaveDecoder::position()
{
    return mPosition;
}

core::SharedPointer<audio::AudioFormat> WaveDecoder::getAudioFormat()
{
    return mFormat;
}

void WaveDecoder::close() {}

bool WaveDecoder::closed()
{
    return false;
}

bool WaveDecoder::readable()
{
    return true;
}

bool WaveDecoder::writeable()
{
    return false;
}

int WaveDecoder::write(const unsigned char*, int)
{
    return -1;
}

bool WaveDecoder::seek(int)
{
    return false;
}

bool WaveDecoder::flush()
{
    return false;
}

} // namespace rezezaz::scene

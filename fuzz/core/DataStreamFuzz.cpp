// Arbitrary bytes through every reader of DataStream: the first byte picks the readers in turn
// (two bits each), the rest is the stream. Counts must never exceed what the stream holds, and
// what readAll returns must be exactly the bytes that were left.

#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "core/io/DataStream.h"
#include "core/io/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::io::DataStream;
using rezezaz::core::io::MemoryStream;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    const unsigned plan = input[0];
    std::vector<unsigned char> bytes(input + 1, input + size);
    const int total = static_cast<int>(bytes.size());

    IntrusivePointer<MemoryStream> memory(new MemoryStream(bytes.data(), total, total, false));
    IntrusivePointer<DataStream> data(new DataStream(memory.get()));

    for (int step = 0; step < 64 && data->position() < total; ++step) {
        const int before = data->position();
        const int left = total - before;
        int count = 0;
        switch ((plan >> (2 * (step % 4))) & 3u) {
        case 0: {
            String text;
            count = data->readBInt16String(text);
            require(count <= left);
            require(count < 2 || text.length() <= count - 2);
            break;
        }
        case 1: {
            String text;
            count = data->readLInt16String(text);
            require(count <= left);
            break;
        }
        case 2: {
            String text;
            count = data->readNullTerminatedString(text);
            require(count >= 0 && count <= left && text.length() == count);
            break;
        }
        default: {
            rezezaz::core::math::AABox box;
            count = data->readLAABox(box);
            require(count == (left < 24 ? left : 24));
            (void)data->readBDouble();
            break;
        }
        }
        require(data->position() >= before);
    }

    const int rest = total - data->position();
    unsigned char* all = nullptr;
    const int got = data->readAll(all);
    if (total < 1) {
        require(got == -1 && all == nullptr);
    } else {
        require(got == rest && all != nullptr && all[got] == 0);
        require(got == 0 || std::memcmp(all, bytes.data() + (total - rest), static_cast<size_t>(got)) == 0);
        delete[] all;
    }
    return 0;
}

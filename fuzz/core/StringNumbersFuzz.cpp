// Arbitrary bytes through every number parser of String, and the parsed values back through
// every numeric append, in both operand orders. Integers must read back as they were written.

#include "core/String.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

using rezezaz::core::String;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// The string's narrow copy must be as long as its characters up to the first low byte 0.
void checkNarrow(const String& s)
{
    int expected = 0;
    while (expected < s.length() && (s.internal_str()[expected] & 0xff) != 0)
        ++expected;
    int actual = 0;
    while (s.c_str()[actual] != 0)
        ++actual;
    require(actual == expected);
    require(s.internal_str()[s.length()] == 0);
}

template <typename T> void formatBothWays(const String& prefix, T value)
{
    const String right = prefix + value;
    const String left = value + prefix;
    checkNarrow(right);
    checkNarrow(left);
    require(right.length() == left.length());
    require(right.length() > prefix.length());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const int length = static_cast<int>(size);
    const String text(reinterpret_cast<const char*>(data), length);
    const String zeroExtended(data, length);
    checkNarrow(text);
    checkNarrow(zeroExtended);

    const String prefix("x");
    for (const String* s : {&text, &zeroExtended}) {
        const int int32 = s->toInt32();
        const unsigned int uint32 = s->toUInt32();
        const long long int64 = s->toInt64();
        const unsigned long long uint64 = s->toUInt64();
        const float single = s->toFloat();
        const double dual = s->toDouble();

        formatBothWays(prefix, int32 != 0);
        formatBothWays(prefix, int32);
        formatBothWays(prefix, uint32);
        formatBothWays(prefix, static_cast<long>(int64));
        formatBothWays(prefix, static_cast<unsigned long>(uint64));
        formatBothWays(prefix, int64);
        formatBothWays(prefix, uint64);
        formatBothWays(prefix, single);
        formatBothWays(prefix, dual);

        require(String().operator+(int32).toInt32() == int32);
        require(String().operator+(uint32).toUInt32() == uint32);
        require(String().operator+(int64).toInt64() == int64);
        require(String().operator+(uint64).toUInt64() == uint64);
    }
    return 0;
}

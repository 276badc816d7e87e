#include "core/String.h"

#include "core/CLocaleScope.h"
#include "core/Collection.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <memory>
#include <new>
#include <utility>

namespace rezezaz {
namespace core {

const int32_t String::mNull[1] = {0};

namespace {

int32_t widen(char c)
{
    return static_cast<int32_t>(static_cast<signed char>(c));
}

int32_t widen(unsigned char c)
{
    return static_cast<int32_t>(c);
}

// Writes the low bytes of the characters into a zero-filled buffer of length + 1 bytes, up to
// the first character whose low byte is 0.
void narrowInto(const int32_t* chars, int length, char* out)
{
    for (int i = 0; i < length; ++i) {
        const char byte = static_cast<char>(static_cast<uint32_t>(chars[i]) & 0xffu);
        if (byte == 0)
            break;
        out[i] = byte;
    }
}

int checkedLength(size_t length)
{
    if (length > static_cast<size_t>(INT_MAX - 1))
        throw std::bad_alloc();
    return static_cast<int>(length);
}

int wideLength(const int32_t* text)
{
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return checkedLength(length);
}

bool isSpace(int32_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t lower(int32_t c)
{
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

int32_t upper(int32_t c)
{
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

// First index at or after from of needle in hay; -1 when there is none or from is past the end.
int findIn(const int32_t* hay, int hayLength, const int32_t* needle, int needleLength, int from)
{
    if (from < 0)
        from = 0;
    if (from > hayLength || needleLength > hayLength - from)
        return -1;
    for (int i = from; i <= hayLength - needleLength; ++i) {
        if (std::memcmp(hay + i, needle, sizeof(int32_t) * static_cast<size_t>(needleLength)) == 0)
            return i;
    }
    return -1;
}

// The whole text of the number, however long: "%f" of 1e300 has more than 300 digits.
template <typename T> String format(const char* pattern, T value)
{
    CLocaleScope scope;
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, pattern, value);
    if (length < 0)
        return String();
    if (length < static_cast<int>(sizeof buffer))
        return String(buffer, length);
    std::unique_ptr<char[]> large(new char[static_cast<size_t>(length) + 1]);
    std::snprintf(large.get(), static_cast<size_t>(length) + 1, pattern, value);
    return String(large.get(), length);
}

// The text that the number parsers look at: the first 127 characters.
struct NumberWindow
{
    explicit NumberWindow(const char* narrow)
    {
        std::strncpy(text, narrow, sizeof text - 1);
        text[sizeof text - 1] = 0;
    }
    char text[128];
};

// A decimal integer as sscanf's "%d" finds it: white space, a sign, digits. The magnitude stops
// growing at the largest unsigned 64-bit value.
struct DecimalInteger
{
    explicit DecimalInteger(const char* narrow)
    {
        const NumberWindow window(narrow);
        const char* p = window.text;
        while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
            ++p;
        if (*p == '+' || *p == '-')
            negative = *p++ == '-';
        for (; *p >= '0' && *p <= '9'; ++p) {
            found = true;
            const unsigned digit = static_cast<unsigned>(*p - '0');
            if (overflow || magnitude > (ULLONG_MAX - digit) / 10) {
                overflow = true;
                magnitude = ULLONG_MAX;
            } else
                magnitude = magnitude * 10 + digit;
        }
        if (!found)
            negative = false;
    }

    // The nearest value from -(maxValue + 1) to maxValue, the range of a two's complement type.
    template <typename T> T signedValue(unsigned long long maxValue) const
    {
        if (!negative)
            return static_cast<T>(magnitude < maxValue ? magnitude : maxValue);
        if (magnitude > maxValue)
            return static_cast<T>(-static_cast<T>(maxValue) - 1);
        return static_cast<T>(-static_cast<T>(magnitude));
    }

    // As strtoul has it: a negative number in range is taken modulo 2^bits, anything beyond the
    // range gives the largest value.
    template <typename T> T unsignedValue(unsigned long long maxValue) const
    {
        if (overflow || magnitude > maxValue)
            return static_cast<T>(maxValue);
        const T value = static_cast<T>(magnitude);
        return negative ? static_cast<T>(T(0) - value) : value;
    }

    bool found = false;
    bool negative = false;
    bool overflow = false; // more than the largest unsigned 64-bit value
    unsigned long long magnitude = 0;
};

// A floating-point number as sscanf's "%f" finds it, in the C locale. A number too large for the
// type gives the largest finite value of its sign; one too small gives what the type can hold
// nearest to it (a subnormal or zero).
template <typename T> T parseFloating(const char* narrow, T (*convert)(const char*, char**), T largest)
{
    const NumberWindow window(narrow);
    CLocaleScope scope;
    char* end = nullptr;
    errno = 0;
    T value = convert(window.text, &end);
    if (end == window.text)
        return T();
    if (errno == ERANGE && std::isinf(value))
        value = value < 0 ? -largest : largest;
    return value;
}

} // namespace

String::String()
    : mLength(0), mChars(const_cast<int32_t*>(mNull)),
      mNarrow(const_cast<char*>(reinterpret_cast<const char*>(mNull)))
{}

template <typename Byte> void String::assignBytes(const Byte* text, int length)
{
    if (text == nullptr)
        return;
    if (length < 0)
        length = checkedLength(std::strlen(reinterpret_cast<const char*>(text)));
    if (length == 0)
        return;
    allocate(length);
    for (int i = 0; i < length; ++i)
        mChars[i] = widen(text[i]);
    narrowInto(mChars, mLength, mNarrow);
}

String::String(const char* text, int length) : String()
{
    assignBytes(text, length);
}

String::String(const unsigned char* text, int length) : String()
{
    assignBytes(text, length);
}

String::String(const int32_t* text, int length) : String()
{
    if (text == nullptr)
        return;
    if (length < 0)
        length = wideLength(text);
    if (length == 0)
        return;
    allocate(length);
    std::memcpy(mChars, text, sizeof(int32_t) * static_cast<size_t>(length));
    narrowInto(mChars, mLength, mNarrow);
}

String::String(const Collection<unsigned char>& bytes) : String()
{
    const int length = bytes.size();
    if (length <= 0)
        return;
    allocate(length);
    for (int i = 0; i < length; ++i)
        mChars[i] = widen(bytes[i]);
    narrowInto(mChars, mLength, mNarrow);
}

String::String(const String& other) : String(other.mChars, other.mLength) {}

String::String(int length) : String()
{
    allocate(length < 0 ? 0 : length);
}

String::~String()
{
    release();
}

String& String::operator=(const String& other)
{
    if (this == &other)
        return *this;
    String copy(other);
    std::swap(mLength, copy.mLength);
    std::swap(mChars, copy.mChars);
    std::swap(mNarrow, copy.mNarrow);
    return *this;
}

void String::updatec()
{
    if (mChars == mNull)
        return;
    char* narrow = new char[static_cast<size_t>(mLength) + 1]();
    narrowInto(mChars, mLength, narrow);
    delete[] mNarrow;
    mNarrow = narrow;
}

void String::allocate(int length)
{
    if (length < 0 || length > INT_MAX - 1)
        throw std::bad_alloc();
    const size_t count = static_cast<size_t>(length) + 1;
    std::unique_ptr<int32_t[]> chars(new int32_t[count]());
    std::unique_ptr<char[]> narrow(new char[count]());
    release();
    mLength = length;
    mChars = chars.release();
    mNarrow = narrow.release();
}

void String::release()
{
    const char* nullNarrow = reinterpret_cast<const char*>(mNull);
    if (mChars != mNull)
        delete[] mChars;
    if (mNarrow != nullNarrow)
        delete[] mNarrow;
    mLength = 0;
    mChars = const_cast<int32_t*>(mNull);
    mNarrow = const_cast<char*>(nullNarrow);
}

String String::join(const int32_t* a, int aLength, const int32_t* b, int bLength)
{
    String result;
    const long long total = static_cast<long long>(aLength) + bLength;
    if (total == 0)
        return result;
    if (total > INT_MAX - 1)
        throw std::bad_alloc();
    result.allocate(static_cast<int>(total));
    if (aLength > 0)
        std::memcpy(result.mChars, a, sizeof(int32_t) * static_cast<size_t>(aLength));
    if (bLength > 0)
        std::memcpy(result.mChars + aLength, b, sizeof(int32_t) * static_cast<size_t>(bLength));
    narrowInto(result.mChars, result.mLength, result.mNarrow);
    return result;
}

Collection<unsigned char> String::data() const
{
    Collection<unsigned char> bytes;
    bytes.resize(mLength);
    for (int i = 0; i < mLength; ++i)
        bytes[i] = static_cast<unsigned char>(static_cast<uint32_t>(mChars[i]) & 0xffu);
    return bytes;
}

int String::find(char c) const
{
    return internal_find(widen(c), 0);
}

int String::find(char c, int from) const
{
    return internal_find(widen(c), from);
}

int String::rfind(char c) const
{
    return internal_rfind(widen(c), mLength - 1);
}

int String::rfind(char c, int from) const
{
    return internal_rfind(widen(c), from);
}

int String::find(const String& s) const
{
    return findIn(mChars, mLength, s.mChars, s.mLength, 0);
}

int String::find(const String& s, int from) const
{
    return findIn(mChars, mLength, s.mChars, s.mLength, from);
}

int String::find(const char* s) const
{
    return find(s, 0);
}

int String::find(const char* s, int from) const
{
    if (s == nullptr)
        return -1;
    const size_t narrowLength = std::strlen(mNarrow);
    if (from < 0)
        from = 0;
    if (static_cast<size_t>(from) > narrowLength)
        return -1;
    const char* found = std::strstr(mNarrow + from, s);
    return found == nullptr ? -1 : static_cast<int>(found - mNarrow);
}

int String::internal_find(int32_t c) const
{
    return internal_find(c, 0);
}

int String::internal_find(int32_t c, int from) const
{
    for (int i = from < 0 ? 0 : from; i < mLength; ++i) {
        if (mChars[i] == c)
            return i;
    }
    return -1;
}

int String::internal_rfind(int32_t c) const
{
    return internal_rfind(c, mLength - 1);
}

int String::internal_rfind(int32_t c, int from) const
{
    for (int i = from < mLength ? from : mLength - 1; i >= 0; --i) {
        if (mChars[i] == c)
            return i;
    }
    return -1;
}

int String::internal_find(const int32_t* s) const
{
    return internal_find(s, 0);
}

int String::internal_find(const int32_t* s, int from) const
{
    if (s == nullptr)
        return -1;
    return findIn(mChars, mLength, s, wideLength(s), from);
}

String String::substr(int start, int count) const
{
    if (start < 0)
        start = 0;
    if (start > mLength)
        start = mLength;
    if (count < 0 || count > mLength - start)
        count = mLength - start;
    return String(mChars + start, count);
}

bool String::startsWith(const String& s) const
{
    return substr(0, s.mLength).equals(s);
}

bool String::endsWith(const String& s) const
{
    return substr(mLength - s.mLength, s.mLength).equals(s);
}

bool String::equals(const String& s) const
{
    return mLength == s.mLength &&
           std::memcmp(mChars, s.mChars, sizeof(int32_t) * static_cast<size_t>(mLength)) == 0;
}

bool String::equals(const char* s) const
{
    if (s == nullptr)
        return mLength == 0;
    int i = 0;
    for (; i < mLength; ++i) {
        if (s[i] == 0 || mChars[i] != widen(s[i]))
            return false;
    }
    return s[i] == 0;
}

bool String::internal_equals(const int32_t* s) const
{
    if (s == nullptr)
        return mLength == 0;
    int i = 0;
    for (; i < mLength; ++i) {
        if (s[i] == 0 || mChars[i] != s[i])
            return false;
    }
    return s[i] == 0;
}

bool String::operator<(const String& s) const
{
    const int common = mLength < s.mLength ? mLength : s.mLength;
    for (int i = 0; i < common; ++i) {
        if (mChars[i] != s.mChars[i])
            return mChars[i] < s.mChars[i];
    }
    return mLength < s.mLength;
}

String String::mapped(int32_t (*convert)(int32_t)) const
{
    if (mLength == 0)
        return String();
    String result(mLength);
    // Characters after an embedded 0 are copied as they stand.
    bool ended = false;
    for (int i = 0; i < mLength; ++i) {
        ended = ended || mChars[i] == 0;
        result.mChars[i] = ended ? mChars[i] : convert(mChars[i]);
    }
    narrowInto(result.mChars, result.mLength, result.mNarrow);
    return result;
}

String String::toLower() const
{
    return mapped(lower);
}

String String::toUpper() const
{
    return mapped(upper);
}

String String::trimLeft() const
{
    int start = 0;
    while (start < mLength && isSpace(mChars[start]))
        ++start;
    return substr(start, -1);
}

String String::trimRight() const
{
    int end = mLength;
    while (end > 0 && isSpace(mChars[end - 1]))
        --end;
    return substr(0, end);
}

int String::toInt32() const
{
    return DecimalInteger(mNarrow).signedValue<int>(INT_MAX);
}

unsigned int String::toUInt32() const
{
    return DecimalInteger(mNarrow).unsignedValue<unsigned int>(UINT_MAX);
}

long long String::toInt64() const
{
    return DecimalInteger(mNarrow).signedValue<long long>(LLONG_MAX);
}

unsigned long long String::toUInt64() const
{
    return DecimalInteger(mNarrow).unsignedValue<unsigned long long>(ULLONG_MAX);
}

float String::toFloat() const
{
    return parseFloating<float>(mNarrow, std::strtof, FLT_MAX);
}

double String::toDouble() const
{
    return parseFloating<double>(mNarrow, std::strtod, DBL_MAX);
}

String String::operator+(const String& s) const
{
    return join(mChars, mLength, s.mChars, s.mLength);
}

String String::operator+(const char* s) const
{
    return *this + String(s);
}

String String::internal_add(const int32_t* s) const
{
    return *this + String(s);
}

String String::operator+(char c) const
{
    return internal_add(widen(c));
}

String String::internal_add(int32_t c) const
{
    return join(mChars, mLength, &c, 1);
}

String String::operator+(bool value) const
{
    return *this + format("%d", value ? 1 : 0);
}

String String::operator+(int value) const
{
    return *this + format("%d", value);
}

String String::operator+(unsigned int value) const
{
    return *this + format("%u", value);
}

String String::operator+(long value) const
{
    return *this + format("%ld", value);
}

String String::operator+(unsigned long value) const
{
    return *this + format("%lu", value);
}

String String::operator+(long long value) const
{
    return *this + format("%lld", value);
}

String String::operator+(unsigned long long value) const
{
    return *this + format("%llu", value);
}

String String::operator+(float value) const
{
    return *this + format("%f", static_cast<double>(value));
}

String String::operator+(double value) const
{
    return *this + format("%lf", value);
}

String& String::operator+=(const String& s)
{
    if (s.mLength > 0) {
        String joined = join(mChars, mLength, s.mChars, s.mLength);
        std::swap(mLength, joined.mLength);
        std::swap(mChars, joined.mChars);
        std::swap(mNarrow, joined.mNarrow);
    }
    return *this;
}

String& String::operator+=(const char* s)
{
    if (s != nullptr)
        *this += String(s);
    return *this;
}

String& String::internal_addassign(const int32_t* s)
{
    if (s != nullptr)
        *this += String(s);
    return *this;
}

String operator+(const char* s, const String& string)
{
    return String(s) + string;
}

String internal_add(const int32_t* s, const String& string)
{
    return String(s) + string;
}

String operator+(char c, const String& string)
{
    return String().internal_add(widen(c)) + string;
}

String internal_add(int32_t c, const String& string)
{
    return String().internal_add(c) + string;
}

String operator+(bool value, const String& string)
{
    return format("%d", value ? 1 : 0) + string;
}

String operator+(int value, const String& string)
{
    return format("%d", value) + string;
}

String operator+(unsigned int value, const String& string)
{
    return format("%u", value) + string;
}

String operator+(long value, const String& string)
{
    return format("%ld", value) + string;
}

String operator+(unsigned long value, const String& string)
{
    return format("%lu", value) + string;
}

String operator+(long long value, const String& string)
{
    return format("%lld", value) + string;
}

String operator+(unsigned long long value, const String& string)
{
    return format("%llu", value) + string;
}

String operator+(float value, const String& string)
{
    return format("%f", static_cast<double>(value)) + string;
}

String operator+(double value, const String& string)
{
    return format("%lf", value) + string;
}

} // namespace core
} // namespace rezezaz

#include "core/io/DataStream.h"

#include "core/Error.h"

#include <climits>
#include <cstring>
#include <vector>

namespace rezezaz {
namespace core {
namespace io {

namespace {

const char* const CATEGORY = "rezezaz.core";

template <int Size> struct Unsigned;
template <> struct Unsigned<1>
{
    using Type = uint8_t;
};
template <> struct Unsigned<2>
{
    using Type = uint16_t;
};
template <> struct Unsigned<4>
{
    using Type = uint32_t;
};
template <> struct Unsigned<8>
{
    using Type = uint64_t;
};

// Byte i of the encoding in the given order; independent of the host's own order.
template <typename U> void encode(unsigned char* bytes, U value, bool bigEndian)
{
    const int size = static_cast<int>(sizeof(U));
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (bigEndian ? size - 1 - i : i);
        bytes[i] = static_cast<unsigned char>((value >> shift) & 0xFFu);
    }
}

template <typename U> U decode(const unsigned char* bytes, bool bigEndian)
{
    const int size = static_cast<int>(sizeof(U));
    U value = 0;
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (bigEndian ? size - 1 - i : i);
        value = static_cast<U>(value | (static_cast<U>(bytes[i]) << shift));
    }
    return value;
}

template <typename To, typename From> To bitCast(const From& from)
{
    static_assert(sizeof(To) == sizeof(From), "same size");
    To to;
    std::memcpy(&to, &from, sizeof(To));
    return to;
}

uint32_t word(float value)
{
    return bitCast<uint32_t>(value);
}

uint32_t word(int32_t value)
{
    return static_cast<uint32_t>(value);
}

void fromWord(float& value, uint32_t w)
{
    value = bitCast<float>(w);
}

void fromWord(int32_t& value, uint32_t w)
{
    value = static_cast<int32_t>(w);
}

// Component layout of the math values, the same in both namespaces: their 4-byte words in
// order, read in one piece or two (a box as its two corners, a sphere as centre and radius).
struct XYLayout
{
    static constexpr int first = 2;
    static constexpr int second = 0;
    template <typename V> static void toWords(const V& v, uint32_t* w)
    {
        w[0] = word(v.x);
        w[1] = word(v.y);
    }
    template <typename V> static void fromWords(V& v, const uint32_t* w)
    {
        fromWord(v.x, w[0]);
        fromWord(v.y, w[1]);
    }
};

struct XYZLayout
{
    static constexpr int first = 3;
    static constexpr int second = 0;
    template <typename V> static void toWords(const V& v, uint32_t* w)
    {
        w[0] = word(v.x);
        w[1] = word(v.y);
        w[2] = word(v.z);
    }
    template <typename V> static void fromWords(V& v, const uint32_t* w)
    {
        fromWord(v.x, w[0]);
        fromWord(v.y, w[1]);
        fromWord(v.z, w[2]);
    }
};

struct XYZWLayout
{
    static constexpr int first = 4;
    static constexpr int second = 0;
    template <typename V> static void toWords(const V& v, uint32_t* w)
    {
        w[0] = word(v.x);
        w[1] = word(v.y);
        w[2] = word(v.z);
        w[3] = word(v.w);
    }
    template <typename V> static void fromWords(V& v, const uint32_t* w)
    {
        fromWord(v.x, w[0]);
        fromWord(v.y, w[1]);
        fromWord(v.z, w[2]);
        fromWord(v.w, w[3]);
    }
};

struct BoxLayout
{
    static constexpr int first = 3;
    static constexpr int second = 3;
    template <typename B> static void toWords(const B& b, uint32_t* w)
    {
        XYZLayout::toWords(b.minimum, w);
        XYZLayout::toWords(b.maximum, w + 3);
    }
    template <typename B> static void fromWords(B& b, const uint32_t* w)
    {
        XYZLayout::fromWords(b.minimum, w);
        XYZLayout::fromWords(b.maximum, w + 3);
    }
};

struct SphereLayout
{
    static constexpr int first = 3;
    static constexpr int second = 1;
    template <typename S> static void toWords(const S& s, uint32_t* w)
    {
        XYZLayout::toWords(s.origin, w);
        w[3] = word(s.radius);
    }
    template <typename S> static void fromWords(S& s, const uint32_t* w)
    {
        XYZLayout::fromWords(s.origin, w);
        fromWord(s.radius, w[3]);
    }
};

template <typename T> struct Layout;
template <> struct Layout<math::Vector2> : XYLayout
{
};
template <> struct Layout<math::Vector3> : XYZLayout
{
};
template <> struct Layout<math::Vector4> : XYZWLayout
{
};
template <> struct Layout<math::Quaternion> : XYZWLayout
{
};
template <> struct Layout<math::AABox> : BoxLayout
{
};
template <> struct Layout<math::Sphere> : SphereLayout
{
};
template <> struct Layout<mathfixed::Vector2> : XYLayout
{
};
template <> struct Layout<mathfixed::Vector3> : XYZLayout
{
};
template <> struct Layout<mathfixed::Vector4> : XYZWLayout
{
};
template <> struct Layout<mathfixed::Quaternion> : XYZWLayout
{
};
template <> struct Layout<mathfixed::AABox> : BoxLayout
{
};
template <> struct Layout<mathfixed::Sphere> : SphereLayout
{
};

} // namespace

DataStream::DataStream(Stream* stream) : mStream(stream)
{
    if (!stream) {
        Error::nullPointer(CATEGORY, true, "DataStream: no stream to wrap");
    }
}

DataStream::~DataStream() = default;

int32_t DataStream::retain()
{
    return Object::retain();
}

int32_t DataStream::release()
{
    return Object::release();
}

void DataStream::close()
{
    mStream->close();
}

bool DataStream::closed()
{
    return mStream->closed();
}

bool DataStream::readable()
{
    return mStream->readable();
}

int DataStream::read(unsigned char* buffer, int length)
{
    int total = 0;
    while (total < length) {
        const int got = mStream->read(buffer + total, length - total);
        if (got < 0) {
            return got;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

bool DataStream::writeable()
{
    return mStream->writeable();
}

int DataStream::write(const unsigned char* buffer, int length)
{
    return mStream->write(buffer, length);
}

bool DataStream::reset()
{
    return mStream->reset();
}

int DataStream::length()
{
    return mStream->length();
}

int DataStream::position()
{
    return mStream->position();
}

bool DataStream::seek(int offset)
{
    return mStream->seek(offset);
}

bool DataStream::flush()
{
    return mStream->flush();
}

// --- scalars ---------------------------------------------------------------------------------

template <typename T> T DataStream::readScalar(bool bigEndian)
{
    using U = typename Unsigned<sizeof(T)>::Type;
    unsigned char bytes[sizeof(T)] = {};
    read(bytes, static_cast<int>(sizeof(T)));
    return bitCast<T>(decode<U>(bytes, bigEndian));
}

template <typename T> int DataStream::writeScalar(T value, bool bigEndian)
{
    using U = typename Unsigned<sizeof(T)>::Type;
    unsigned char bytes[sizeof(T)];
    encode<U>(bytes, bitCast<U>(value), bigEndian);
    return write(bytes, static_cast<int>(sizeof(T)));
}

bool DataStream::readBool()
{
    return readScalar<uint8_t>(false) != 0;
}

uint8_t DataStream::readUInt8()
{
    return readScalar<uint8_t>(false);
}

int8_t DataStream::readInt8()
{
    return readScalar<int8_t>(false);
}

int DataStream::writeBool(bool value)
{
    return writeScalar<uint8_t>(value ? 1 : 0, false);
}

int DataStream::writeUInt8(uint8_t value)
{
    return writeScalar<uint8_t>(value, false);
}

int DataStream::writeInt8(int8_t value)
{
    return writeScalar<int8_t>(value, false);
}

#define PELOTUNE_SCALAR(Name, Type)                                                                          \
    Type DataStream::readB##Name()                                                                           \
    {                                                                                                        \
        return readScalar<Type>(true);                                                                       \
    }                                                                                                        \
    Type DataStream::readL##Name()                                                                           \
    {                                                                                                        \
        return readScalar<Type>(false);                                                                      \
    }                                                                                                        \
    int DataStream::writeB##Name(Type value)                                                                 \
    {                                                                                                        \
        return writeScalar<Type>(value, true);                                                               \
    }                                                                                                        \
    int DataStream::writeL##Name(Type value)                                                                 \
    {                                                                                                        \
        return writeScalar<Type>(value, false);                                                              \
    }

PELOTUNE_SCALAR(UInt16, uint16_t)
PELOTUNE_SCALAR(Int16, int16_t)
PELOTUNE_SCALAR(UInt32, uint32_t)
PELOTUNE_SCALAR(Int32, int32_t)
PELOTUNE_SCALAR(UInt64, uint64_t)
PELOTUNE_SCALAR(Int64, int64_t)
PELOTUNE_SCALAR(Float, float)
PELOTUNE_SCALAR(Double, double)

#undef PELOTUNE_SCALAR

// --- math values -----------------------------------------------------------------------------

int DataStream::readWords(uint32_t* words, int count, bool bigEndian)
{
    unsigned char bytes[16] = {};
    const int got = read(bytes, 4 * count);
    for (int i = 0; i < count; ++i) {
        words[i] = decode<uint32_t>(bytes + 4 * i, bigEndian);
    }
    return got;
}

int DataStream::writeWords(const uint32_t* words, int count, bool bigEndian)
{
    int total = 0;
    for (int i = 0; i < count; ++i) {
        unsigned char bytes[4];
        encode<uint32_t>(bytes, words[i], bigEndian);
        total += write(bytes, 4);
    }
    return total;
}

template <typename T> int DataStream::readValue(T& value, bool bigEndian)
{
    uint32_t words[Layout<T>::first + Layout<T>::second] = {};
    int total = readWords(words, Layout<T>::first, bigEndian);
    if (total >= 0 && Layout<T>::second > 0) {
        const int more = readWords(words + Layout<T>::first, Layout<T>::second, bigEndian);
        total = more < 0 ? more : total + more;
    }
    Layout<T>::fromWords(value, words);
    return total;
}

template <typename T> int DataStream::writeValue(const T& value, bool bigEndian)
{
    uint32_t words[Layout<T>::first + Layout<T>::second];
    Layout<T>::toWords(value, words);
    return writeWords(words, Layout<T>::first + Layout<T>::second, bigEndian);
}

#define PELOTUNE_VALUE(Namespace, Name)                                                                      \
    int DataStream::readB##Name(Namespace::Name& value)                                                      \
    {                                                                                                        \
        return readValue(value, true);                                                                       \
    }                                                                                                        \
    int DataStream::readL##Name(Namespace::Name& value)                                                      \
    {                                                                                                        \
        return readValue(value, false);                                                                      \
    }                                                                                                        \
    int DataStream::writeB##Name(const Namespace::Name& value)                                               \
    {                                                                                                        \
        return writeValue(value, true);                                                                      \
    }                                                                                                        \
    int DataStream::writeL##Name(const Namespace::Name& value)                                               \
    {                                                                                                        \
        return writeValue(value, false);                                                                     \
    }

PELOTUNE_VALUE(math, Vector2)
PELOTUNE_VALUE(math, Vector3)
PELOTUNE_VALUE(math, Vector4)
PELOTUNE_VALUE(math, Quaternion)
PELOTUNE_VALUE(math, AABox)
PELOTUNE_VALUE(math, Sphere)
PELOTUNE_VALUE(mathfixed, Vector2)
PELOTUNE_VALUE(mathfixed, Vector3)
PELOTUNE_VALUE(mathfixed, Vector4)
PELOTUNE_VALUE(mathfixed, Quaternion)
PELOTUNE_VALUE(mathfixed, AABox)
PELOTUNE_VALUE(mathfixed, Sphere)

#undef PELOTUNE_VALUE

// --- strings ---------------------------------------------------------------------------------

int DataStream::readInt16String(String& value, bool bigEndian)
{
    value = String();
    unsigned char countBytes[2] = {};
    const int got = read(countBytes, 2);
    if (got < 2) {
        // The count itself did not arrive: nothing to read, and the caller sees the short count.
        return got;
    }
    const int count = static_cast<int16_t>(decode<uint16_t>(countBytes, bigEndian));
    if (count < 0) {
        // Writers never produce a negative count: the bytes are not a string.
        return -1;
    }
    // Zero-filled, so that a short read leaves no unset bytes in the string.
    std::vector<unsigned char> text(static_cast<size_t>(count) + 1, 0);
    const int textRead = read(text.data(), count);
    if (textRead < 0) {
        return textRead;
    }
    value = String(text.data());
    return 2 + textRead;
}

int DataStream::readBInt16String(String& value)
{
    return readInt16String(value, true);
}

String DataStream::readBInt16String()
{
    String value;
    readInt16String(value, true);
    return value;
}

int DataStream::readLInt16String(String& value)
{
    return readInt16String(value, false);
}

String DataStream::readLInt16String()
{
    String value;
    readInt16String(value, false);
    return value;
}

int DataStream::writeInt16String(const String& value, bool bigEndian, const char* tooLarge)
{
    const int count = value.length();
    if (count >= 0x8000) {
        Error::unknown(CATEGORY, true, tooLarge);
    }
    // The narrow copy ends at the first character whose low byte is 0, which may come before
    // the end of the string: the rest is written as zeros, never as whatever memory follows.
    std::vector<unsigned char> text(static_cast<size_t>(count) + 1, 0);
    const char* narrow = value.c_str();
    std::memcpy(text.data(), narrow, strnlen(narrow, static_cast<size_t>(count)));
    const int written = writeScalar<int16_t>(static_cast<int16_t>(count), bigEndian);
    return written + write(text.data(), count);
}

int DataStream::writeBInt16String(const String& value)
{
    return writeInt16String(value, true, "DataStream::writeBInt16String: String too large");
}

int DataStream::writeLInt16String(const String& value)
{
    return writeInt16String(value, false, "DataStream::writeLInt16String: String too large");
}

int DataStream::readNullTerminatedString(String& value)
{
    value = String();
    // Collected in pieces so that the string has no length limit.
    unsigned char piece[1023];
    int used = 0;
    int count = 0;
    int result = 0;
    for (;;) {
        unsigned char byte = 0;
        const int got = read(&byte, 1);
        if (got < 0) {
            result = -1;
            break;
        }
        if (got == 0 || byte == 0) {
            break;
        }
        piece[used++] = byte;
        ++count;
        if (used == static_cast<int>(sizeof(piece))) {
            value += String(piece, used);
            used = 0;
        }
    }
    if (used > 0) {
        value += String(piece, used);
    }
    return result < 0 ? result : count;
}

String DataStream::readNullTerminatedString()
{
    String value;
    readNullTerminatedString(value);
    return value;
}

int DataStream::writeNullTerminatedString(const String& value)
{
    const char* narrow = value.c_str();
    return write(reinterpret_cast<const unsigned char*>(narrow), static_cast<int>(std::strlen(narrow)) + 1);
}

// --- everything that is left -----------------------------------------------------------------

int DataStream::readAll(unsigned char*& data)
{
    data = nullptr;
    if (length() < 1) {
        return -1;
    }
    // The length only tells that there is something: reading goes on to the real end.
    std::vector<unsigned char> bytes;
    unsigned char block[4096];
    for (;;) {
        const int got = read(block, static_cast<int>(sizeof(block)));
        if (got < 0) {
            // A failed read is not the end: hand back nothing rather than a truncated copy.
            return -1;
        }
        if (got == 0) {
            break;
        }
        if (static_cast<size_t>(got) > static_cast<size_t>(INT_MAX - 1) - bytes.size()) {
            return -1;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
    data = new unsigned char[bytes.size() + 1];
    if (!bytes.empty()) {
        std::memcpy(data, bytes.data(), bytes.size());
    }
    data[bytes.size()] = 0;
    return static_cast<int>(bytes.size());
}

int DataStream::readAllString(String& value)
{
    value = String();
    unsigned char* data = nullptr;
    const int count = readAll(data);
    if (data) {
        value = String(data);
        delete[] data;
    }
    return count;
}

String DataStream::readAllString()
{
    String value;
    readAllString(value);
    return value;
}

} // namespace io
} // namespace core
} // namespace rezezaz

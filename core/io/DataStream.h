#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/String.h"
#include "core/io/Stream.h"
#include "core/math/AABox.h"
#include "core/math/Quaternion.h"
#include "core/math/Sphere.h"
#include "core/math/Vector2.h"
#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "core/mathfixed/AABox.h"
#include "core/mathfixed/Quaternion.h"
#include "core/mathfixed/Sphere.h"
#include "core/mathfixed/Vector2.h"
#include "core/mathfixed/Vector3.h"
#include "core/mathfixed/Vector4.h"

#include <cstdint>

namespace rezezaz {
namespace core {
namespace io {

// Typed values over another stream in a fixed byte order: the B members are big-endian, the
// L members little-endian. The engine's binary formats are read and written only through it.
// It is a Stream itself and forwards the stream operations to the stream it wraps, which it
// holds (one reference) from construction to destruction.
//
// Readers never throw. Scalar readers take bytes that did not arrive as 0; the math, string
// and readAll readers return the number of bytes read (negative on a read error), so that a
// short read shows as a smaller count.
class DataStream : public Object, public Stream
{
public:
    explicit DataStream(Stream* stream);
    ~DataStream() override;

    int32_t retain() override;
    int32_t release() override;

    // Stream operations. read repeats the wrapped stream's read until length bytes have
    // arrived, the end is reached (0) or a read fails (the negative value is returned); every
    // other operation, write included, is one call of the wrapped stream's.
    void close() override;
    bool closed() override;
    bool readable() override;
    int read(unsigned char* buffer, int length) override;
    bool writeable() override;
    int write(const unsigned char* buffer, int length) override;
    bool reset() override;
    int length() override;
    int position() override;
    bool seek(int offset) override;
    bool flush() override;

    bool readBool();
    uint8_t readUInt8();
    int8_t readInt8();

    uint16_t readBUInt16();
    int16_t readBInt16();
    uint32_t readBUInt32();
    int32_t readBInt32();
    uint64_t readBUInt64();
    int64_t readBInt64();
    float readBFloat();
    double readBDouble();

    uint16_t readLUInt16();
    int16_t readLInt16();
    uint32_t readLUInt32();
    int32_t readLInt32();
    uint64_t readLUInt64();
    int64_t readLInt64();
    float readLFloat();
    double readLDouble();

    int readBVector2(math::Vector2& value);
    int readBVector3(math::Vector3& value);
    int readBVector4(math::Vector4& value);
    int readBQuaternion(math::Quaternion& value);
    int readBAABox(math::AABox& value);
    int readBSphere(math::Sphere& value);
    int readLVector2(math::Vector2& value);
    int readLVector3(math::Vector3& value);
    int readLVector4(math::Vector4& value);
    int readLQuaternion(math::Quaternion& value);
    int readLAABox(math::AABox& value);
    int readLSphere(math::Sphere& value);

    int readBVector2(mathfixed::Vector2& value);
    int readBVector3(mathfixed::Vector3& value);
    int readBVector4(mathfixed::Vector4& value);
    int readBQuaternion(mathfixed::Quaternion& value);
    int readBAABox(mathfixed::AABox& value);
    int readBSphere(mathfixed::Sphere& value);
    int readLVector2(mathfixed::Vector2& value);
    int readLVector3(mathfixed::Vector3& value);
    int readLVector4(mathfixed::Vector4& value);
    int readLQuaternion(mathfixed::Quaternion& value);
    int readLAABox(mathfixed::AABox& value);
    int readLSphere(mathfixed::Sphere& value);

    // Signed 16-bit count, then that many 8-bit characters. Returns the bytes read including
    // the count; a short read returns fewer, a negative count (never written) -1. The string
    // holds the characters that arrived, up to the first 0 byte.
    int readBInt16String(String& value);
    String readBInt16String();
    int readLInt16String(String& value);
    String readLInt16String();

    // Characters up to a 0 byte or the end of the stream; returns their count without the
    // terminator, or -1 on a read error.
    int readNullTerminatedString(String& value);
    String readNullTerminatedString();

    // Every remaining byte into a new array (owned by the caller, freed with delete[]) with one
    // 0 byte after the last. Returns the count; -1 with a null array when the stream's length
    // is below 1 or a read fails.
    int readAll(unsigned char*& data);
    // The remaining bytes as a string up to the first 0 byte; returns readAll's count.
    int readAllString(String& value);
    String readAllString();

    int writeBool(bool value);
    int writeUInt8(uint8_t value);
    int writeInt8(int8_t value);

    int writeBUInt16(uint16_t value);
    int writeBInt16(int16_t value);
    int writeBUInt32(uint32_t value);
    int writeBInt32(int32_t value);
    int writeBUInt64(uint64_t value);
    int writeBInt64(int64_t value);
    int writeBFloat(float value);
    int writeBDouble(double value);

    int writeLUInt16(uint16_t value);
    int writeLInt16(int16_t value);
    int writeLUInt32(uint32_t value);
    int writeLInt32(int32_t value);
    int writeLUInt64(uint64_t value);
    int writeLInt64(int64_t value);
    int writeLFloat(float value);
    int writeLDouble(double value);

    int writeBVector2(const math::Vector2& value);
    int writeBVector3(const math::Vector3& value);
    int writeBVector4(const math::Vector4& value);
    int writeBQuaternion(const math::Quaternion& value);
    int writeBAABox(const math::AABox& value);
    int writeBSphere(const math::Sphere& value);
    int writeLVector2(const math::Vector2& value);
    int writeLVector3(const math::Vector3& value);
    int writeLVector4(const math::Vector4& value);
    int writeLQuaternion(const math::Quaternion& value);
    int writeLAABox(const math::AABox& value);
    int writeLSphere(const math::Sphere& value);

    int writeBVector2(const mathfixed::Vector2& value);
    int writeBVector3(const mathfixed::Vector3& value);
    int writeBVector4(const mathfixed::Vector4& value);
    int writeBQuaternion(const mathfixed::Quaternion& value);
    int writeBAABox(const mathfixed::AABox& value);
    int writeBSphere(const mathfixed::Sphere& value);
    int writeLVector2(const mathfixed::Vector2& value);
    int writeLVector3(const mathfixed::Vector3& value);
    int writeLVector4(const mathfixed::Vector4& value);
    int writeLQuaternion(const mathfixed::Quaternion& value);
    int writeLAABox(const mathfixed::AABox& value);
    int writeLSphere(const mathfixed::Sphere& value);

    // Raises Error::unknown for strings of 32768 characters or more. Characters past the end
    // of the string's narrow copy are written as 0.
    int writeBInt16String(const String& value);
    int writeLInt16String(const String& value);

    // The narrow characters and the terminating 0 byte, in one write.
    int writeNullTerminatedString(const String& value);

private:
    template <typename T> T readScalar(bool bigEndian);
    template <typename T> int writeScalar(T value, bool bigEndian);
    int readWords(uint32_t* words, int count, bool bigEndian);
    int writeWords(const uint32_t* words, int count, bool bigEndian);
    template <typename T> int readValue(T& value, bool bigEndian);
    template <typename T> int writeValue(const T& value, bool bigEndian);
    int readInt16String(String& value, bool bigEndian);
    int writeInt16String(const String& value, bool bigEndian, const char* tooLarge);

    IntrusivePointer<Stream> mStream;
};

} // namespace io
} // namespace core
} // namespace rezezaz

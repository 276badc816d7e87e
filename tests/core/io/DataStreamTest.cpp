#include "core/io/DataStream.h"

#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "core/io/MemoryStream.h"
#include "support/FaultyStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::io::DataStream;
using rezezaz::core::io::MemoryStream;
using support::FaultyStream;
using Bytes = std::vector<unsigned char>;

namespace math = rezezaz::core::math;
namespace mathfixed = rezezaz::core::mathfixed;

namespace {

// A data stream over a fault-injecting stream, which the test keeps to look at or steer.
struct Wrapped
{
    IntrusivePointer<FaultyStream> bytes;
    IntrusivePointer<DataStream> data;

    explicit Wrapped(Bytes content = {}, int chunk = 0)
        : bytes(new FaultyStream(std::move(content))), data(new DataStream(bytes.get()))
    {
        bytes->setChunk(chunk);
    }
};

std::string hex(const Bytes& bytes)
{
    std::string text;
    char piece[4];
    for (unsigned char b : bytes) {
        std::snprintf(piece, sizeof(piece), "%02X ", b);
        text += piece;
    }
    return text;
}

std::string narrow(const String& s)
{
    return s.c_str();
}

// One row of the byte table: how to write the value, the bytes it must give, and how to read
// them back (true when the value and the returned count come back as written).
struct Case
{
    std::string name;
    std::function<int(DataStream&)> write;
    Bytes bytes;
    std::function<bool(DataStream&)> readBack;
};

template <typename T>
Case scalar(std::string name, T value, int (DataStream::*write)(T), T (DataStream::*read)(), Bytes bytes)
{
    return {name, [=](DataStream& s) { return (s.*write)(value); }, bytes,
            [=](DataStream& s) { return (s.*read)() == value; }};
}

template <typename T>
Case value(std::string name, T value, int (DataStream::*write)(const T&), int (DataStream::*read)(T&),
           Bytes bytes)
{
    const int size = static_cast<int>(bytes.size());
    return {name, [=](DataStream& s) { return (s.*write)(value); }, bytes,
            [=](DataStream& s) {
                T back;
                return (s.*read)(back) == size && back == value;
            }};
}

std::vector<Case> byteTable()
{
    const float one = 1.0f;
    const math::Vector3 low(1.0f, -2.0f, 0.5f);
    const math::Vector3 high(2.0f, 4.0f, 8.0f);
    const mathfixed::Vector3 fixedLow(65536, -65536, 32768);
    const mathfixed::Vector3 fixedHigh(0x00020000, 0x7FFFFFFF, static_cast<int32_t>(0x80000000u));
    return {
        scalar<bool>("Bool", true, &DataStream::writeBool, &DataStream::readBool, {0x01}),
        scalar<uint8_t>("UInt8", 0xE9, &DataStream::writeUInt8, &DataStream::readUInt8, {0xE9}),
        scalar<int8_t>("Int8", -2, &DataStream::writeInt8, &DataStream::readInt8, {0xFE}),

        scalar<uint16_t>("BUInt16", 258, &DataStream::writeBUInt16, &DataStream::readBUInt16, {0x01, 0x02}),
        scalar<uint16_t>("LUInt16", 258, &DataStream::writeLUInt16, &DataStream::readLUInt16, {0x02, 0x01}),
        scalar<int16_t>("BInt16", -2, &DataStream::writeBInt16, &DataStream::readBInt16, {0xFF, 0xFE}),
        scalar<int16_t>("LInt16", -2, &DataStream::writeLInt16, &DataStream::readLInt16, {0xFE, 0xFF}),
        scalar<uint32_t>("BUInt32", 0x01020304u, &DataStream::writeBUInt32, &DataStream::readBUInt32,
                         {0x01, 0x02, 0x03, 0x04}),
        scalar<uint32_t>("LUInt32", 0x01020304u, &DataStream::writeLUInt32, &DataStream::readLUInt32,
                         {0x04, 0x03, 0x02, 0x01}),
        scalar<int32_t>("BInt32", -3, &DataStream::writeBInt32, &DataStream::readBInt32,
                        {0xFF, 0xFF, 0xFF, 0xFD}),
        scalar<int32_t>("LInt32", -3, &DataStream::writeLInt32, &DataStream::readLInt32,
                        {0xFD, 0xFF, 0xFF, 0xFF}),
        scalar<uint64_t>("BUInt64", 0x0102030405060708ull, &DataStream::writeBUInt64,
                         &DataStream::readBUInt64, {1, 2, 3, 4, 5, 6, 7, 8}),
        scalar<uint64_t>("LUInt64", 0x0102030405060708ull, &DataStream::writeLUInt64,
                         &DataStream::readLUInt64, {8, 7, 6, 5, 4, 3, 2, 1}),
        scalar<int64_t>("BInt64", -2, &DataStream::writeBInt64, &DataStream::readBInt64,
                        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}),
        scalar<int64_t>("LInt64", -2, &DataStream::writeLInt64, &DataStream::readLInt64,
                        {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        scalar<float>("BFloat", one, &DataStream::writeBFloat, &DataStream::readBFloat,
                      {0x3F, 0x80, 0x00, 0x00}),
        scalar<float>("LFloat", -2.5f, &DataStream::writeLFloat, &DataStream::readLFloat,
                      {0x00, 0x00, 0x20, 0xC0}),
        scalar<double>("BDouble", 1.0, &DataStream::writeBDouble, &DataStream::readBDouble,
                       {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}),
        scalar<double>("LDouble", -2.0, &DataStream::writeLDouble, &DataStream::readLDouble,
                       {0, 0, 0, 0, 0, 0, 0x00, 0xC0}),

        value<math::Vector2>("BVector2", {1.0f, -2.0f}, &DataStream::writeBVector2, &DataStream::readBVector2,
                             {0x3F, 0x80, 0, 0, 0xC0, 0x00, 0, 0}),
        value<math::Vector2>("LVector2", {1.0f, -2.0f}, &DataStream::writeLVector2, &DataStream::readLVector2,
                             {0, 0, 0x80, 0x3F, 0, 0, 0x00, 0xC0}),
        value<math::Vector3>("BVector3", low, &DataStream::writeBVector3, &DataStream::readBVector3,
                             {0x3F, 0x80, 0, 0, 0xC0, 0x00, 0, 0, 0x3F, 0x00, 0, 0}),
        value<math::Vector4>("LVector4", {1.0f, -2.0f, 0.5f, 2.0f}, &DataStream::writeLVector4,
                             &DataStream::readLVector4,
                             {0, 0, 0x80, 0x3F, 0, 0, 0x00, 0xC0, 0, 0, 0x00, 0x3F, 0, 0, 0x00, 0x40}),
        value<math::Quaternion>("BQuaternion", {0.5f, 1.0f, -2.0f, 2.0f}, &DataStream::writeBQuaternion,
                                &DataStream::readBQuaternion,
                                {0x3F, 0x00, 0, 0, 0x3F, 0x80, 0, 0, 0xC0, 0x00, 0, 0, 0x40, 0x00, 0, 0}),
        // The minimum corner comes first.
        value<math::AABox>("BAABox", {low, high}, &DataStream::writeBAABox, &DataStream::readBAABox,
                           {0x3F, 0x80, 0, 0, 0xC0, 0x00, 0, 0, 0x3F, 0x00, 0, 0,
                            0x40, 0x00, 0, 0, 0x40, 0x80, 0, 0, 0x41, 0x00, 0, 0}),
        value<math::AABox>("LAABox", {low, high}, &DataStream::writeLAABox, &DataStream::readLAABox,
                           {0, 0, 0x80, 0x3F, 0, 0, 0x00, 0xC0, 0, 0, 0x00, 0x3F,
                            0, 0, 0x00, 0x40, 0, 0, 0x80, 0x40, 0, 0, 0x00, 0x41}),
        value<math::Sphere>("LSphere", {low, 2.0f}, &DataStream::writeLSphere, &DataStream::readLSphere,
                            {0, 0, 0x80, 0x3F, 0, 0, 0x00, 0xC0, 0, 0, 0x00, 0x3F, 0, 0, 0x00, 0x40}),

        value<mathfixed::Vector2>("fixed BVector2", {65536, -1}, &DataStream::writeBVector2,
                                  &DataStream::readBVector2,
                                  {0x00, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}),
        value<mathfixed::Vector2>("fixed LVector2", {65536, -1}, &DataStream::writeLVector2,
                                  &DataStream::readLVector2,
                                  {0x00, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}),
        value<mathfixed::Vector3>("fixed LVector3", fixedLow, &DataStream::writeLVector3,
                                  &DataStream::readLVector3, {0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0x80, 0, 0}),
        value<mathfixed::Vector4>("fixed BVector4", {1, 2, 3, -4}, &DataStream::writeBVector4,
                                  &DataStream::readBVector4,
                                  {0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0xFF, 0xFF, 0xFF, 0xFC}),
        value<mathfixed::Quaternion>("fixed LQuaternion", {0, 0, 0, 65536}, &DataStream::writeLQuaternion,
                                     &DataStream::readLQuaternion,
                                     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}),
        value<mathfixed::AABox>(
            "fixed BAABox", {fixedLow, fixedHigh}, &DataStream::writeBAABox, &DataStream::readBAABox,
            {0, 1, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0, 0, 2, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0}),
        value<mathfixed::Sphere>("fixed BSphere", {fixedLow, 0x00018000}, &DataStream::writeBSphere,
                                 &DataStream::readBSphere,
                                 {0, 1, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0, 0, 1, 0x80, 0}),

        {"BInt16String",
         [](DataStream& s) { return s.writeBInt16String("abc"); },
         {0x00, 0x03, 'a', 'b', 'c'},
         [](DataStream& s) {
             String back;
             return s.readBInt16String(back) == 5 && narrow(back) == "abc";
         }},
        {"LInt16String",
         [](DataStream& s) { return s.writeLInt16String("abc"); },
         {0x03, 0x00, 'a', 'b', 'c'},
         [](DataStream& s) { return narrow(s.readLInt16String()) == "abc"; }},
        {"empty BInt16String",
         [](DataStream& s) { return s.writeBInt16String(""); },
         {0x00, 0x00},
         [](DataStream& s) {
             String back("stale");
             return s.readBInt16String(back) == 2 && back.length() == 0;
         }},
        {"NullTerminatedString",
         [](DataStream& s) { return s.writeNullTerminatedString("hi"); },
         {'h', 'i', 0},
         [](DataStream& s) {
             String back;
             return s.readNullTerminatedString(back) == 2 && narrow(back) == "hi";
         }},
        {"empty NullTerminatedString",
         [](DataStream& s) { return s.writeNullTerminatedString(""); },
         {0},
         [](DataStream& s) {
             String back("stale");
             return s.readNullTerminatedString(back) == 0 && back.length() == 0;
         }},
    };
}

} // namespace

TEST(DataStreamTest, WritesEachValueAsItsBytesAndReadsThemBack)
{
    for (const Case& c : byteTable()) {
        SCOPED_TRACE(c.name);
        Wrapped out;
        EXPECT_EQ(c.write(*out.data), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(hex(out.bytes->content()), hex(c.bytes));

        // Whole, and through a stream that hands over one byte per read.
        for (int chunk : {0, 1}) {
            SCOPED_TRACE(chunk == 1 ? "one byte at a time" : "whole");
            Wrapped in(c.bytes, chunk);
            EXPECT_TRUE(c.readBack(*in.data));
            EXPECT_EQ(in.data->position(), static_cast<int>(c.bytes.size()));
        }
    }
}

TEST(DataStreamTest, ReadsAndWritesThroughTheEngineMemoryStream)
{
    IntrusivePointer<MemoryStream> memory(new MemoryStream());
    IntrusivePointer<DataStream> data(new DataStream(memory.get()));
    EXPECT_EQ(data->writeLUInt32(0xCAFEF00Du), 4);
    EXPECT_EQ(data->writeBInt16String("name"), 6);
    EXPECT_EQ(data->writeBSphere(math::Sphere(math::Vector3(1, 2, 3), 4)), 16);
    EXPECT_EQ(data->length(), 26);

    ASSERT_TRUE(data->seek(0));
    EXPECT_EQ(data->readLUInt32(), 0xCAFEF00Du);
    EXPECT_EQ(narrow(data->readBInt16String()), "name");
    math::Sphere sphere;
    EXPECT_EQ(data->readBSphere(sphere), 16);
    EXPECT_EQ(sphere, math::Sphere(math::Vector3(1, 2, 3), 4));
}

TEST(DataStreamTest, ShortInputShowsInTheCounts)
{
    // Scalars take the bytes that did not arrive as 0, before the byte order is applied.
    EXPECT_EQ(Wrapped({0x12}).data->readBUInt16(), 0x1200);
    EXPECT_EQ(Wrapped({0x12}).data->readLUInt16(), 0x0012);
    EXPECT_EQ(Wrapped({0x01, 0x02, 0x03}).data->readBUInt32(), 0x01020300u);
    EXPECT_EQ(Wrapped(Bytes{}).data->readBool(), false);

    struct Case
    {
        const char* name;
        Bytes bytes;
        std::function<int(DataStream&)> read;
        int count;
    };
    const Case cases[] = {
        {"Vector3",
         {0x3F, 0x80, 0, 0, 0x40},
         [](DataStream& s) {
             math::Vector3 v;
             return s.readBVector3(v);
         },
         5},
        {"AABox in its second corner", Bytes(14, 0),
         [](DataStream& s) {
             math::AABox b;
             return s.readLAABox(b);
         },
         14},
        {"fixed Sphere without its radius", Bytes(12, 0),
         [](DataStream& s) {
             mathfixed::Sphere sphere;
             return s.readBSphere(sphere);
         },
         12},
        {"Int16String without its count",
         {0x00},
         [](DataStream& s) {
             String text("stale");
             const int n = s.readBInt16String(text);
             return text.length() == 0 ? n : -100;
         },
         1},
        {"Int16String cut in its text",
         {0x00, 0x05, 'a', 'b'},
         [](DataStream& s) {
             String text;
             const int n = s.readBInt16String(text);
             return narrow(text) == "ab" ? n : -100;
         },
         4},
        {"NullTerminatedString without its terminator",
         {'a', 'b'},
         [](DataStream& s) {
             String text;
             const int n = s.readNullTerminatedString(text);
             return narrow(text) == "ab" ? n : -100;
         },
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int chunk : {0, 1}) {
            Wrapped in(c.bytes, chunk);
            EXPECT_EQ(c.read(*in.data), c.count);
        }
    }
}

TEST(DataStreamTest, ReadErrorsAreReportedAsNegativeCounts)
{
    const Bytes content = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0};
    struct Case
    {
        const char* name;
        std::function<int(DataStream&)> read;
    };
    const Case cases[] = {
        {"read",
         [](DataStream& s) {
             unsigned char buffer[8];
             return s.read(buffer, 8);
         }},
        {"Vector2",
         [](DataStream& s) {
             math::Vector2 v;
             return s.readLVector2(v);
         }},
        {"AABox",
         [](DataStream& s) {
             mathfixed::AABox b;
             return s.readBAABox(b);
         }},
        {"NullTerminatedString",
         [](DataStream& s) {
             String text;
             return s.readNullTerminatedString(text);
         }},
        {"Int16String",
         [](DataStream& s) {
             String text;
             return s.readLInt16String(text);
         }},
        {"readAll",
         [](DataStream& s) {
             unsigned char* data = reinterpret_cast<unsigned char*>(&s);
             const int n = s.readAll(data);
             return data == nullptr ? n : 100;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The wrapped stream fails after three bytes, in the middle of every value.
        Wrapped in(content, 1);
        in.bytes->setFailAfter(3);
        EXPECT_LT(c.read(*in.data), 0);
    }
}

TEST(DataStreamTest, NegativeInt16StringCountIsNotAString)
{
    for (const Bytes& bytes : {Bytes{0x80, 0x00, 'a', 'b'}, Bytes{0xFF, 0xFF, 'a', 'b'}}) {
        Wrapped in(bytes);
        String text("stale");
        EXPECT_EQ(in.data->readBInt16String(text), -1);
        EXPECT_EQ(text.length(), 0);
        EXPECT_EQ(in.data->position(), 2); // nothing read past the count
    }
}

TEST(DataStreamTest, Int16StringLimit)
{
    const std::string longest(32767, 'x');
    Wrapped out;
    EXPECT_EQ(out.data->writeLInt16String(String(longest.c_str())), 32769);
    ASSERT_EQ(out.bytes->content().size(), 32769u);
    EXPECT_EQ(out.bytes->content()[0], 0xFF);
    EXPECT_EQ(out.bytes->content()[1], 0x7F);

    Wrapped in(out.bytes->content());
    String back;
    EXPECT_EQ(in.data->readLInt16String(back), 32769);
    EXPECT_EQ(narrow(back), longest);

    const std::string tooLong(32768, 'x');
    struct Case
    {
        const char* name;
        int (DataStream::*write)(const String&);
        const char* message;
    };
    const Case cases[] = {
        {"B", &DataStream::writeBInt16String, "DataStream::writeBInt16String: String too large"},
        {"L", &DataStream::writeLInt16String, "DataStream::writeLInt16String: String too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Wrapped refused;
        try {
            ((*refused.data).*c.write)(String(tooLong.c_str()));
            ADD_FAILURE() << "no error raised";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_STREQ(e.getDescription(), c.message);
        }
        EXPECT_TRUE(refused.bytes->content().empty());
    }
}

TEST(DataStreamTest, Int16StringWritesZerosWhereTheNarrowCopyEndsEarly)
{
    // Character 0x100 has a low byte of 0: the narrow copy stops before it, but the count
    // says three characters, and three defined bytes follow.
    const int32_t text[] = {'a', 0x100, 'b', 0};
    Wrapped out;
    EXPECT_EQ(out.data->writeBInt16String(String(text)), 5);
    EXPECT_EQ(hex(out.bytes->content()), hex({0x00, 0x03, 'a', 0x00, 0x00}));
}

TEST(DataStreamTest, NullTerminatedStringsOfAnyLength)
{
    // Longer than the pieces in which the reader collects the characters.
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    Wrapped out;
    EXPECT_EQ(out.data->writeNullTerminatedString(String(text.c_str())), 3001);
    Bytes bytes = out.bytes->content();
    bytes.push_back('z'); // what follows the terminator stays unread

    Wrapped in(bytes);
    String back;
    EXPECT_EQ(in.data->readNullTerminatedString(back), 3000);
    EXPECT_EQ(narrow(back), text);
    EXPECT_EQ(in.data->readUInt8(), 'z');
}

TEST(DataStreamTest, ReadAll)
{
    Bytes big(10000);
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<unsigned char>(i * 7 + 1);
    }
    struct Case
    {
        const char* name;
        Bytes content;
        int skip;  // bytes consumed before readAll
        int chunk; // the wrapped stream's largest read
        int count;
        Bytes expected;
    };
    const Case cases[] = {
        {"empty stream", {}, 0, 0, -1, {}},
        {"three bytes", {'a', 'b', 'c'}, 0, 0, 3, {'a', 'b', 'c'}},
        {"the rest after a read", {'a', 'b', 'c'}, 1, 0, 2, {'b', 'c'}},
        {"nothing left", {'a', 'b', 'c'}, 3, 0, 0, {}},
        {"several blocks", big, 0, 0, 10000, big},
        {"several blocks one byte at a time", big, 0, 1, 10000, big},
        {"a 0 byte inside", {'a', 0, 'b'}, 0, 0, 3, {'a', 0, 'b'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Wrapped in(c.content, c.chunk);
        ASSERT_TRUE(in.data->seek(c.skip));
        unsigned char* data = reinterpret_cast<unsigned char*>(&in);
        EXPECT_EQ(in.data->readAll(data), c.count);
        if (c.count < 0) {
            EXPECT_EQ(data, nullptr);
            continue;
        }
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(hex(Bytes(data, data + c.count)), hex(c.expected));
        EXPECT_EQ(data[c.count], 0); // terminated after the last byte
        delete[] data;
    }
}

TEST(DataStreamTest, ReadAllString)
{
    struct Case
    {
        const char* name;
        Bytes content;
        int count;
        std::string text;
    };
    const Case cases[] = {
        {"text", {'a', 'b', 'c'}, 3, "abc"},
        {"stops at a 0 byte", {'a', 'b', 0, 'c', 'd'}, 5, "ab"},
        {"empty stream", {}, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Wrapped in(c.content);
        String text("stale");
        EXPECT_EQ(in.data->readAllString(text), c.count);
        EXPECT_EQ(narrow(text), c.text);
    }
    // Bytes above 0x7F are taken as unsigned values.
    EXPECT_EQ(Wrapped({0xE9}).data->readAllString().internal_str()[0], 0xE9);
}

TEST(DataStreamTest, ForwardsTheStreamOperations)
{
    Wrapped s({'a', 'b', 'c', 'd'}, 1);
    EXPECT_EQ(s.data->length(), 4);
    EXPECT_TRUE(s.data->seek(3));
    EXPECT_EQ(s.data->position(), 3);
    EXPECT_TRUE(s.data->reset());
    EXPECT_EQ(s.data->position(), 0);
    EXPECT_TRUE(s.data->flush());

    // read repeats until it has everything; write is one call, so a short write shows.
    unsigned char buffer[4] = {};
    EXPECT_EQ(s.data->read(buffer, 4), 4);
    EXPECT_EQ(s.bytes->readCalls(), 4);
    EXPECT_EQ(s.data->write(buffer, 4), 1);
    EXPECT_EQ(s.bytes->writeCalls(), 1);
    // A value's count is the sum of its component writes.
    EXPECT_EQ(s.data->writeBVector3(math::Vector3(1, 2, 3)), 3);

    EXPECT_TRUE(s.data->readable());
    EXPECT_TRUE(s.data->writeable());
    s.data->close();
    EXPECT_TRUE(s.bytes->closed());
    EXPECT_TRUE(s.data->closed());
    EXPECT_FALSE(s.data->readable());
}

TEST(DataStreamTest, HoldsItsStreamAndRefusesNone)
{
    IntrusivePointer<FaultyStream> bytes(new FaultyStream({1, 2, 3}));
    {
        IntrusivePointer<DataStream> data(new DataStream(bytes.get()));
        EXPECT_EQ(bytes->retain(), 3); // the test's handle, the data stream's, this call
        bytes->release();
    }
    EXPECT_EQ(bytes->retain(), 2); // the data stream let go of its reference
    bytes->release();

    EXPECT_THROW(DataStream(nullptr), Exception);
}

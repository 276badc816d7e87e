#include "core/io/MemoryStream.h"
#include "core/IntrusivePointer.h"
#include "support/FaultyStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::io::MemoryStream;
using support::FaultyStream;

namespace {

int writeText(MemoryStream& stream, const std::string& text)
{
    return stream.write(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

// The stream's bytes from the start up to its length.
std::string contentOf(MemoryStream& stream)
{
    const unsigned char* start = stream.getOriginalDataPointer();
    return start == nullptr ? std::string() : std::string(start, start + stream.length());
}

std::vector<unsigned char> counting(int count)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 7);
    }
    return bytes;
}

} // namespace

// The buffers are heap blocks of exactly the size the stream is told, so that any access
// beyond them shows under AddressSanitizer.
TEST(MemoryStreamTest, FixedStreamWritesUpToTheBufferAndReadsUpToTheLength)
{
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[8]());
    IntrusivePointer<MemoryStream> stream(new MemoryStream(buffer.get(), 8, 0, false));
    EXPECT_EQ(stream->length(), 0);

    EXPECT_EQ(writeText(*stream, "0123456789"), 8);
    EXPECT_EQ(stream->length(), 8);
    EXPECT_EQ(stream->position(), 8);
    EXPECT_EQ(writeText(*stream, "x"), 0);
    EXPECT_EQ(std::string(buffer.get(), buffer.get() + 8), "01234567");

    ASSERT_TRUE(stream->seek(5));
    unsigned char bytes[16] = {};
    EXPECT_EQ(stream->read(bytes, 16), 3);
    EXPECT_EQ(std::string(bytes, bytes + 3), "567");
    EXPECT_EQ(stream->read(bytes, 16), 0);
}

TEST(MemoryStreamTest, FixedStreamResetGoesBackToTheInitialLength)
{
    unsigned char* buffer = new unsigned char[8]{'a', 'b', 'c', 'd'};
    // The stream owns the buffer and frees it; a leak would show under LeakSanitizer.
    IntrusivePointer<MemoryStream> stream(new MemoryStream(buffer, 8, 4, true));
    ASSERT_TRUE(stream->seek(100));
    EXPECT_EQ(stream->position(), 4);
    EXPECT_EQ(writeText(*stream, "ef"), 2);
    EXPECT_EQ(contentOf(*stream), "abcdef");
    EXPECT_EQ(stream->getCurrentDataPointer(), stream->getOriginalDataPointer() + 6);

    EXPECT_TRUE(stream->reset());
    EXPECT_EQ(stream->length(), 4);
    EXPECT_EQ(stream->position(), 0);
    EXPECT_EQ(contentOf(*stream), "abcd");
}

// Lengths that don't fit the buffer are cut to it; nothing reads or writes outside it.
TEST(MemoryStreamTest, FixedStreamKeepsInsideItsBufferWhateverItIsTold)
{
    struct Case
    {
        const char* name;
        bool withData;
        int dataLength;
        int length;
        int expectedLength;
    };
    const Case cases[] = {
        {"length beyond the buffer", true, 4, 10, 4},
        {"negative length", true, 4, -3, 0},
        {"negative buffer size", true, -4, 2, 0},
        {"no buffer", false, 4, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[4]{'w', 'x', 'y', 'z'});
        IntrusivePointer<MemoryStream> stream(
            new MemoryStream(c.withData ? buffer.get() : nullptr, c.dataLength, c.length, false));
        EXPECT_EQ(stream->length(), c.expectedLength);

        unsigned char bytes[16] = {};
        EXPECT_EQ(stream->read(bytes, 16), c.expectedLength);
        ASSERT_TRUE(stream->seek(0));
        EXPECT_LE(writeText(*stream, "0123456789"), 4);
        ASSERT_TRUE(stream->reset());
        EXPECT_EQ(stream->length(), c.expectedLength);
    }
}

TEST(MemoryStreamTest, GrowableStreamOverwritesAndExtends)
{
    IntrusivePointer<MemoryStream> stream(new MemoryStream());
    EXPECT_EQ(writeText(*stream, "abc"), 3);
    ASSERT_TRUE(stream->seek(1));
    EXPECT_EQ(writeText(*stream, "12345"), 5);
    EXPECT_EQ(stream->length(), 6);
    EXPECT_EQ(stream->position(), 6);
    EXPECT_EQ(contentOf(*stream), "a12345");

    ASSERT_TRUE(stream->seek(0));
    unsigned char bytes[8] = {};
    EXPECT_EQ(stream->read(bytes, 8), 6);
    EXPECT_EQ(std::string(bytes, bytes + 6), "a12345");

    EXPECT_TRUE(stream->reset());
    EXPECT_EQ(stream->length(), 0);
    EXPECT_EQ(stream->position(), 0);
    EXPECT_EQ(stream->read(bytes, 8), 0);
    EXPECT_EQ(writeText(*stream, "z"), 1);
    EXPECT_EQ(contentOf(*stream), "z");
}

TEST(MemoryStreamTest, GrowableStreamKeepsEveryByteOfManySmallWrites)
{
    const std::vector<unsigned char> expected = counting(5000);
    IntrusivePointer<MemoryStream> stream(new MemoryStream());
    for (size_t i = 0; i < expected.size(); i += 3) {
        const int n = static_cast<int>(std::min<size_t>(3, expected.size() - i));
        ASSERT_EQ(stream->write(expected.data() + i, n), n);
    }
    ASSERT_EQ(stream->length(), 5000);
    const unsigned char* start = stream->getOriginalDataPointer();
    EXPECT_EQ(std::vector<unsigned char>(start, start + 5000), expected);
}

TEST(MemoryStreamTest, SeeksStopAtTheEndAndNegativeOnesFail)
{
    unsigned char buffer[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    IntrusivePointer<MemoryStream> fixed(new MemoryStream(buffer, 6, 6, false));
    IntrusivePointer<MemoryStream> growable(new MemoryStream());
    writeText(*growable, "abcdef");

    for (MemoryStream* stream : {fixed.get(), growable.get()}) {
        ASSERT_TRUE(stream->seek(2));
        EXPECT_FALSE(stream->seek(-1));
        EXPECT_EQ(stream->position(), 2);

        EXPECT_TRUE(stream->seek(1000));
        EXPECT_EQ(stream->position(), 6);
        unsigned char byte = 0;
        EXPECT_EQ(stream->read(&byte, 1), 0);
        EXPECT_EQ(stream->getCurrentDataPointer(), stream->getOriginalDataPointer() + 6);
    }
}

TEST(MemoryStreamTest, NegativeLengthsMoveNothing)
{
    unsigned char buffer[4] = {'a', 'b', 'c', 'd'};
    IntrusivePointer<MemoryStream> fixed(new MemoryStream(buffer, 4, 4, false));
    IntrusivePointer<MemoryStream> growable(new MemoryStream());
    writeText(*growable, "abcd");

    for (MemoryStream* stream : {fixed.get(), growable.get()}) {
        ASSERT_TRUE(stream->seek(1));
        unsigned char bytes[4] = {};
        EXPECT_LE(stream->read(bytes, -2), 0);
        EXPECT_EQ(stream->write(bytes, -2), 0);
        EXPECT_EQ(stream->position(), 1);
        EXPECT_EQ(stream->length(), 4);
        EXPECT_EQ(contentOf(*stream), "abcd");
    }
}

TEST(MemoryStreamTest, CopiesAWholeSourceStream)
{
    struct Case
    {
        const char* name;
        int size;
        int chunk;     // at most this many bytes per read of the source, 0 for no limit
        int failAfter; // the source fails after this many bytes, -1 never
        int expected;
    };
    const Case cases[] = {
        {"empty source", 0, 0, -1, 0},
        {"several chunks", 3000, 0, -1, 3000},
        {"one byte at a time", 1500, 1, -1, 1500},
        {"failing source keeps what came before", 3000, 0, 1100, 1100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<unsigned char> bytes = counting(c.size);
        IntrusivePointer<FaultyStream> source(new FaultyStream(bytes));
        source->setChunk(c.chunk);
        source->setFailAfter(c.failAfter);

        IntrusivePointer<MemoryStream> copy(new MemoryStream(source.get()));
        ASSERT_EQ(copy->length(), c.expected);
        EXPECT_EQ(copy->position(), 0);
        EXPECT_FALSE(source->closed());
        const unsigned char* start = copy->getOriginalDataPointer();
        EXPECT_EQ(std::vector<unsigned char>(start, start + c.expected),
                  std::vector<unsigned char>(bytes.begin(), bytes.begin() + c.expected));

        // The copy is a fixed stream over exactly its content.
        ASSERT_TRUE(copy->seek(c.expected));
        unsigned char extra = 1;
        EXPECT_EQ(copy->write(&extra, 1), 0);
    }

    IntrusivePointer<MemoryStream> none(new MemoryStream(nullptr));
    EXPECT_EQ(none->length(), 0);
}

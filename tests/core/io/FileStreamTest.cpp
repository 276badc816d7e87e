#include "core/io/FileStream.h"
#include "core/IntrusivePointer.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::io::FileStream;
using support::readFile;
using support::TemporaryFolder;
using support::writeFile;

namespace {

IntrusivePointer<FileStream> openFile(const std::string& path, int mode)
{
    return IntrusivePointer<FileStream>(new FileStream(String(path.c_str()), mode));
}

int writeText(FileStream& stream, const std::string& text)
{
    return stream.write(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

} // namespace

TEST(FileStreamTest, ModeBitsMakeTheFopenModeAndTheAccessFlags)
{
    struct Case
    {
        int mode;
        const char* text;
        bool readable;
        bool writeable;
    };
    const Case cases[] = {
        {FileStream::Read | FileStream::Binary, "rb", true, false},
        {FileStream::Write, "w", false, true},
        {FileStream::Append | FileStream::Write, "a", false, true},
        {FileStream::Read, "r", true, false},
        // Append takes precedence over read and write, and alone is not reported writeable.
        {FileStream::Append, "a", false, false},
        {FileStream::Append | FileStream::Read, "a", true, false},
        // Read takes precedence over write.
        {FileStream::Read | FileStream::Write | FileStream::Update, "r+", true, true},
        {FileStream::Write | FileStream::Binary | FileStream::Update, "wb+", false, true},
        {FileStream::Append | FileStream::Binary | FileStream::Update, "ab+", false, false},
    };
    TemporaryFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        EXPECT_STREQ(FileStream::modeText(c.mode).c_str(), c.text);

        const std::string path = folder.file("mode" + std::to_string(c.mode));
        ASSERT_TRUE(writeFile(path, "abc"));
        IntrusivePointer<FileStream> stream = openFile(path, c.mode);
        ASSERT_FALSE(stream->closed());
        EXPECT_EQ(stream->readable(), c.readable);
        EXPECT_EQ(stream->writeable(), c.writeable);
    }
}

TEST(FileStreamTest, WriteTruncatesAndAppendKeepsWhatWasThere)
{
    TemporaryFolder folder;
    const std::string path = folder.file("log.txt");
    ASSERT_TRUE(writeFile(path, "first\n"));

    IntrusivePointer<FileStream> append = openFile(path, FileStream::Append | FileStream::Write);
    EXPECT_EQ(writeText(*append, "second\n"), 7);
    append->close();
    EXPECT_EQ(readFile(path), "first\nsecond\n");

    IntrusivePointer<FileStream> write = openFile(path, FileStream::Write);
    EXPECT_EQ(writeText(*write, "third\n"), 6);
    EXPECT_TRUE(write->flush());
    EXPECT_EQ(readFile(path), "third\n");
}

TEST(FileStreamTest, ReadsSeeksAndMeasuresWithoutMovingThePosition)
{
    TemporaryFolder folder;
    const std::string path = folder.file("data.bin");
    ASSERT_TRUE(writeFile(path, "0123456789"));
    IntrusivePointer<FileStream> stream = openFile(path, FileStream::Read | FileStream::Binary);

    unsigned char bytes[4] = {};
    ASSERT_TRUE(stream->seek(3));
    EXPECT_EQ(stream->length(), 10);
    EXPECT_EQ(stream->position(), 3);
    EXPECT_EQ(stream->read(bytes, 2), 2);
    EXPECT_EQ(std::string(bytes, bytes + 2), "34");

    // A short read at the end, then nothing.
    ASSERT_TRUE(stream->seek(8));
    EXPECT_EQ(stream->read(bytes, 4), 2);
    EXPECT_EQ(std::string(bytes, bytes + 2), "89");
    EXPECT_EQ(stream->read(bytes, 4), 0);

    ASSERT_TRUE(stream->reset());
    EXPECT_EQ(stream->position(), 0);
    EXPECT_EQ(stream->read(bytes, 1), 1);
    EXPECT_EQ(bytes[0], '0');
}

TEST(FileStreamTest, BadArgumentsFailAndLeaveThePositionAlone)
{
    TemporaryFolder folder;
    const std::string path = folder.file("data.bin");
    ASSERT_TRUE(writeFile(path, "0123456789"));
    IntrusivePointer<FileStream> stream =
        openFile(path, FileStream::Read | FileStream::Write | FileStream::Update);
    ASSERT_TRUE(stream->seek(4));

    unsigned char byte = 'x';
    EXPECT_LE(stream->read(&byte, -1), 0);
    EXPECT_EQ(stream->write(&byte, -5), 0);
    EXPECT_FALSE(stream->seek(-1));
    EXPECT_EQ(stream->position(), 4);
    EXPECT_EQ(stream->length(), 10);
}

// A file that can't be opened and a stream after close() behave alike: every operation
// reports failure and none touches a file.
TEST(FileStreamTest, ClosedStreamsFailEveryOperation)
{
    TemporaryFolder folder;
    const std::string existing = folder.file("there.txt");
    ASSERT_TRUE(writeFile(existing, "abc"));

    IntrusivePointer<FileStream> missing = openFile(folder.file("missing.txt"), FileStream::Read);
    IntrusivePointer<FileStream> noFolder = openFile(folder.file("no/such/folder.txt"), FileStream::Write);
    // The name's narrow copy ends at the character 0x100 and would name the existing file.
    String cutName = String(existing.c_str()) + String(std::vector<int32_t>{0x100, 'x', 0}.data());
    IntrusivePointer<FileStream> cutShort(new FileStream(cutName, FileStream::Write));
    IntrusivePointer<FileStream> afterClose = openFile(existing, FileStream::Read | FileStream::Update);
    ASSERT_FALSE(afterClose->closed());
    afterClose->close();
    afterClose->close();

    for (FileStream* stream : {missing.get(), noFolder.get(), cutShort.get(), afterClose.get()}) {
        unsigned char bytes[4] = {'a', 'b', 'c', 'd'};
        EXPECT_TRUE(stream->closed());
        EXPECT_FALSE(stream->readable());
        EXPECT_FALSE(stream->writeable());
        EXPECT_LE(stream->read(bytes, 4), 0);
        EXPECT_EQ(stream->write(bytes, 4), 0);
        EXPECT_EQ(stream->length(), -1);
        EXPECT_EQ(stream->position(), -1);
        EXPECT_FALSE(stream->seek(0));
        EXPECT_FALSE(stream->reset());
        EXPECT_FALSE(stream->flush());
    }
    EXPECT_FALSE(support::fileExists(folder.file("missing.txt")));
    EXPECT_EQ(readFile(existing), "abc");
}

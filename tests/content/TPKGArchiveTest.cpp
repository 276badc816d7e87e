#include "content/EngineHandlers.h"
#include "content/TPKGArchive.h"
#include "content/TPKGStreamer.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/io/FileStream.h"
#include "core/io/MemoryStream.h"
#include "scene/ArchiveManager.h"
#include "scene/Engine.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::io::MemoryStream;
using rezezaz::core::io::Stream;
using rezezaz::scene::TPKGArchive;

namespace {

using Bytes = std::vector<unsigned char>;

void putBig(Bytes& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void putBigAt(Bytes& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<unsigned char>(value >> (24 - 8 * i));
    }
}

// A package of the given files, stored back to back in directory order behind the directory.
struct Package
{
    struct File
    {
        std::string name;
        std::string data;
    };
    std::vector<File> files;

    Bytes bytes() const
    {
        Bytes out = {'T', 'P', 'K', 'G'};
        putBig(out, 1);
        putBig(out, static_cast<uint32_t>(files.size()));
        uint32_t offset = 0;
        for (const File& file : files) {
            putBig(out, static_cast<uint32_t>(file.name.size()));
            out.insert(out.end(), file.name.begin(), file.name.end());
            putBig(out, offset);
            putBig(out, static_cast<uint32_t>(file.data.size()));
            offset += static_cast<uint32_t>(file.data.size());
        }
        for (const File& file : files) {
            out.insert(out.end(), file.data.begin(), file.data.end());
        }
        return out;
    }
};

// A memory stream that owns a copy of the bytes.
MemoryStream* memoryStream(const Bytes& bytes)
{
    auto* copy = new unsigned char[bytes.size() + 1];
    std::copy(bytes.begin(), bytes.end(), copy);
    return new MemoryStream(copy, static_cast<int>(bytes.size()), static_cast<int>(bytes.size()), true);
}

std::string readAll(Stream* stream)
{
    std::string text;
    unsigned char buffer[64];
    for (int got = stream->read(buffer, sizeof buffer); got > 0; got = stream->read(buffer, sizeof buffer)) {
        text.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(got));
    }
    return text;
}

std::vector<std::string> entries(TPKGArchive& archive)
{
    std::vector<std::string> names;
    for (const String& name : archive.getEntries()) {
        names.emplace_back(name.c_str());
    }
    return names;
}

// The error text of what throws, empty when nothing does.
template <class F> std::string refusal(F&& action)
{
    try {
        action();
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), -1);
        return e.getDescription();
    }
    return "";
}

class TPKGArchiveTest : public ::testing::Test
{
protected:
    // The archive opened both ways: from a memory stream (views) and from a file (copies).
    std::vector<IntrusivePointer<TPKGArchive>> openBothWays(const Bytes& bytes)
    {
        IntrusivePointer<TPKGArchive> fromMemory = new TPKGArchive();
        EXPECT_TRUE(fromMemory->open(memoryStream(bytes)));
        const std::string path = folder.file("package" + std::to_string(++files) + ".tpkg");
        EXPECT_TRUE(support::writeFile(path, std::string(bytes.begin(), bytes.end())));
        IntrusivePointer<TPKGArchive> fromFile = new TPKGArchive();
        auto* file = new rezezaz::core::io::FileStream(path.c_str(), rezezaz::core::io::FileStream::Read |
                                                                          rezezaz::core::io::FileStream::Binary);
        EXPECT_TRUE(fromFile->open(static_cast<Stream*>(file)));
        return {fromMemory, fromFile};
    }

    support::LogCapture log;
    support::TemporaryFolder folder;
    int files = 0;
};

TEST_F(TPKGArchiveTest, ServesEachFileAlikeFromMemoryAndFromAFile)
{
    Package package;
    package.files = {{"meshes/crank.tmsh", "crank bytes"}, {"a", "first a"}, {"empty", ""}, {"a", "second a"},
                     {"Upper", "upper"}};
    for (auto& archive : openBothWays(package.bytes())) {
        EXPECT_EQ(entries(*archive), (std::vector<std::string>{"meshes/crank.tmsh", "a", "empty", "a", "Upper"}));
        EXPECT_EQ(readAll(archive->openStream("meshes/crank.tmsh").get()), "crank bytes");
        // The later of two entries of one name wins.
        EXPECT_EQ(readAll(archive->openStream("a").get()), "second a");
        EXPECT_EQ(readAll(archive->openStream("Upper").get()), "upper");
        IntrusivePointer<Stream> empty = archive->openStream("empty");
        ASSERT_TRUE(empty);
        EXPECT_EQ(empty->length(), 0);
        EXPECT_EQ(readAll(empty.get()), "");
        // Names are case-sensitive.
        EXPECT_EQ(refusal([&] { archive->openStream("upper"); }), "File not found in data file");
        EXPECT_EQ(refusal([&] { archive->openStream("A"); }), "File not found in data file");
        EXPECT_FALSE(archive->openResource("a"));
    }
}

TEST_F(TPKGArchiveTest, OffsetsCountFromTheEndOfTheDirectory)
{
    Package package;
    package.files = {{"x", "xyz"}};
    const Bytes bytes = package.bytes();
    ASSERT_EQ(bytes.size(), 28u);
    for (auto& archive : openBothWays(bytes)) {
        EXPECT_EQ(archive->getDataOffset(), 25);
        EXPECT_EQ(readAll(archive->openStream("x").get()), "xyz");
    }

    // A NUL inside a stored name ends it.
    package.files = {{std::string("ab\0cd", 5), "nul"}};
    for (auto& archive : openBothWays(package.bytes())) {
        EXPECT_EQ(entries(*archive), std::vector<std::string>{"ab"});
        EXPECT_EQ(archive->getDataOffset(), 12 + 12 + 5);
        EXPECT_EQ(readAll(archive->openStream("ab").get()), "nul");
    }
}

TEST_F(TPKGArchiveTest, EmptyPackageAndUnopenedOrDestroyedArchive)
{
    IntrusivePointer<TPKGArchive> archive = new TPKGArchive();
    EXPECT_EQ(refusal([&] { archive->openStream("x"); }), "TPKG not opened");

    for (int32_t count : {0, -1}) {
        Bytes bytes = {'T', 'P', 'K', 'G'};
        putBig(bytes, 1);
        putBig(bytes, static_cast<uint32_t>(count));
        EXPECT_TRUE(archive->open(memoryStream(bytes)));
        EXPECT_TRUE(entries(*archive).empty());
        EXPECT_EQ(refusal([&] { archive->openStream("x"); }), "File not found in data file");
    }

    Package package;
    package.files = {{"x", "xyz"}};
    for (auto& opened : openBothWays(package.bytes())) {
        opened->destroy();
        EXPECT_EQ(refusal([&] { opened->openStream("x"); }), "TPKG not opened");
    }
}

TEST_F(TPKGArchiveTest, RefusesAForeignOrDamagedPackage)
{
    Package package;
    package.files = {{"name", "data"}, {"other", "more"}};
    const Bytes good = package.bytes();
    // Byte positions in good: count at 8, first name length at 12, its offset at 20 and length at 24,
    // the second entry's offset at 37 and length at 41.
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
        std::string error;
    };
    const Case cases[] = {
        {"magic", 0, 0x54504B48, "Not of TPKG format"},
        {"version", 4, 2, "Not TPKG version 1"},
        {"entry count", 8, 0x7FFFFFFF, "TPKG entry count runs past the end of the package"},
        {"name length that wraps a length + 1 buffer", 12, 0xFFFFFFFF,
         "TPKG entry name runs past the end of the package"},
        {"name length one past the end", 12, static_cast<uint32_t>(good.size()),
         "TPKG entry name runs past the end of the package"},
        {"offset", 20, 0xFFFFFFFF, "TPKG entry data runs past the end of the package"},
        {"length", 24, 0x80000000, "TPKG entry data runs past the end of the package"},
        {"last byte one past the end", 41, 5, "TPKG entry data runs past the end of the package"},
        {"offset + length that wraps 32 bits", 37, 0xFFFFFFFC, "TPKG entry data runs past the end of the package"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bad = good;
        putBigAt(bad, c.at, c.value);
        IntrusivePointer<TPKGArchive> archive = new TPKGArchive();
        EXPECT_EQ(refusal([&] { archive->open(memoryStream(bad)); }), c.error);
        // Nothing of a refused directory can be served.
        EXPECT_TRUE(entries(*archive).empty());
        EXPECT_EQ(refusal([&] { archive->openStream("name"); }), "File not found in data file");
    }

    // A package cut inside its magic, directory or data area. (Cut inside the count, the count's
    // missing bytes read as 0: an empty package.)
    for (size_t length : {size_t(3), size_t(13), size_t(20), size_t(30), good.size() - 1}) {
        IntrusivePointer<TPKGArchive> archive = new TPKGArchive();
        EXPECT_NE(refusal([&] { archive->open(memoryStream(Bytes(good.begin(), good.begin() + long(length)))); }),
                  "")
            << length;
    }
}

TEST_F(TPKGArchiveTest, AViewOutlivesItsArchiveAndPackageStream)
{
    Package package;
    package.files = {{"x", "view bytes"}};
    IntrusivePointer<Stream> view;
    {
        IntrusivePointer<MemoryStream> memory = memoryStream(package.bytes());
        IntrusivePointer<TPKGArchive> archive = new TPKGArchive();
        ASSERT_TRUE(archive->open(memory.get()));
        view = archive->openStream("x");
        archive->destroy();
    }
    // The package buffer is freed only with the view: reading it here is what the sanitizer checks.
    ASSERT_TRUE(view);
    EXPECT_EQ(view->length(), 10);
    EXPECT_EQ(readAll(view.get()), "view bytes");
}

TEST_F(TPKGArchiveTest, AReopenedArchiveForgetsThePackageBefore)
{
    Package first;
    first.files = {{"old", "old bytes"}};
    Package second;
    second.files = {{"new", "new"}};
    IntrusivePointer<TPKGArchive> archive = new TPKGArchive();
    ASSERT_TRUE(archive->open(memoryStream(first.bytes())));
    ASSERT_TRUE(archive->open(memoryStream(second.bytes())));
    EXPECT_EQ(entries(*archive), std::vector<std::string>{"new"});
    EXPECT_EQ(refusal([&] { archive->openStream("old"); }), "File not found in data file");
    EXPECT_EQ(readAll(archive->openStream("new").get()), "new");
}

TEST_F(TPKGArchiveTest, TheEngineOpensAPackageAsAnArchive)
{
    Package package;
    package.files = {{"inside.txt", "inside"}};
    const std::string path = folder.file("assets.tpkg");
    const Bytes bytes = package.bytes();
    ASSERT_TRUE(support::writeFile(path, std::string(bytes.begin(), bytes.end())));

    IntrusivePointer<rezezaz::scene::Engine> engine = new rezezaz::scene::Engine(nullptr, nullptr);
    installHandlers(*engine);
    rezezaz::scene::ArchiveManager* archives = engine->getArchiveManager();
    ASSERT_TRUE(archives->getStreamer("tpkg"));
    auto resource = archives->find(path.c_str(), nullptr);
    ASSERT_TRUE(resource);
    EXPECT_TRUE(dynamic_cast<TPKGArchive*>(resource.get()));
    EXPECT_EQ(readAll(archives->openStream("inside.txt").get()), "inside");

    // A name the package lacks is still found beside it: the package does not end the search.
    ASSERT_TRUE(support::writeFile(folder.file("beside.txt"), "beside"));
    EXPECT_EQ(readAll(archives->openStream(folder.file("beside.txt").c_str()).get()), "beside");

    // A file that is not a package gives no archive.
    ASSERT_TRUE(support::writeFile(folder.file("not.tpkg"), "TPKX"));
    EXPECT_FALSE(archives->find(folder.file("not.tpkg").c_str(), nullptr));
    bool refused = false;
    for (const auto& entry : log.listener.entries) {
        refused = refused || entry.text == "Not of TPKG format";
    }
    EXPECT_TRUE(refused);
    engine->destroy();
}

} // namespace

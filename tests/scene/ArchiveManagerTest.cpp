#include "core/Categories.h"
#include "core/Logger.h"
#include "scene/ArchiveManager.h"
#include "scene/Engine.h"
#include "scene/ResourceManager.h"
#include "support/LogRecorder.h"
#include "support/MemoryArchive.h"
#include "support/RecordingStreamer.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::core::io::Archive;
using rezezaz::core::io::Stream;
using rezezaz::scene::ArchiveManager;
using rezezaz::scene::Engine;
using support::MemoryArchive;

// The whole content of a stream, "null" for none.
std::string content(IntrusivePointer<Stream> stream)
{
    if (!stream) {
        return "null";
    }
    std::string text;
    unsigned char buffer[64];
    for (int got = stream->read(buffer, sizeof buffer); got > 0; got = stream->read(buffer, sizeof buffer)) {
        text.append(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(got));
    }
    return text;
}

Archive* asArchive(MemoryArchive* archive)
{
    return archive;
}

class ArchiveManagerTest : public ::testing::Test
{
protected:
    void write(const std::string& name, const std::string& text)
    {
        const std::string path = folder.file(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(support::writeFile(path, text));
    }

    support::TemporaryFolder folder;
    IntrusivePointer<Engine> engine{new Engine(nullptr, nullptr)};
    ArchiveManager* archives = engine->getArchiveManager();
};

TEST_F(ArchiveManagerTest, SearchesArchivesThenDirectoriesThenThePath)
{
    write("x/only-x", "x");
    write("x/both", "x");
    write("y/both", "y");
    write("y/only-y", "y");
    write("x/in-archive", "x");
    archives->addDirectory(folder.file("x").c_str());
    archives->addDirectory((folder.file("y") + "/").c_str());
    IntrusivePointer<MemoryArchive> first(new MemoryArchive());
    IntrusivePointer<MemoryArchive> second(new MemoryArchive());
    first->files["in-archive"] = "first";
    second->files["in-archive"] = "second";
    second->files["late"] = "second";
    archives->manage(asArchive(first.get()), "");
    archives->manage(asArchive(second.get()), "");

    EXPECT_EQ(archives->getMaxStreamLength(), 2147483647);
    const std::vector<std::string> directories{folder.file("x") + "/", folder.file("y") + "/"};
    ASSERT_EQ(archives->getDirectories().size(), 2);
    EXPECT_EQ(archives->getDirectories()[0].c_str(), directories[0]);
    EXPECT_EQ(archives->getDirectories()[1].c_str(), directories[1]);

    struct Case
    {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"in-archive", "first"},
        {"late", "second"},
        {"both", "x"},
        {"only-y", "y"},
        {"only-x", "x"},
        {"nowhere", "null"},
        {folder.file("y/both"), "y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(content(archives->openStream(c.name.c_str())), c.expected) << c.name;
    }
    // The archives are asked first, in the order managed.
    EXPECT_EQ(first->streamsAsked.front(), "in-archive");
    EXPECT_EQ(second->streamsAsked.front(), "late");
}

TEST_F(ArchiveManagerTest, AnAbsoluteNameSkipsTheDirectories)
{
    // The directory joined with the absolute name exists too, and must not be the one opened.
    const std::string absolute = folder.file("target");
    write("target", "itself");
    write("x" + absolute, "joined");
    archives->addDirectory(folder.file("x").c_str());
    EXPECT_EQ(content(archives->openStream(absolute.c_str())), "itself");
    EXPECT_EQ(content(archives->openStream(("x/" + absolute).c_str())), "null");
}

TEST_F(ArchiveManagerTest, NamesThatLeaveTheSearchDirectoriesAreNotFound)
{
    write("outside.rec", "outside");
    write("x/inside.rec", "inside");
    write("x/sub/deep.rec", "deep");
    archives->addDirectory(folder.file("x").c_str());
    IntrusivePointer<rezezaz::scene::ResourceManager> manager(new rezezaz::scene::ResourceManager(engine.get()));
    IntrusivePointer<support::RecordingStreamer> streamer(new support::RecordingStreamer());
    manager->setStreamer(streamer.get(), "rec");

    struct Case
    {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"inside.rec", "inside"},
        {"sub/../inside.rec", "inside"},
        {"./sub/deep.rec", "deep"},
        {"../outside.rec", "null"},
        {"sub/../../outside.rec", "null"},
        {"sub/..\\..\\outside.rec", "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(content(archives->openStream(c.name.c_str())), c.expected);
        // The resource manager answers as for any file it cannot find.
        support::LogRecorder log;
        const bool found = manager->find(c.name.c_str(), nullptr) != nullptr;
        EXPECT_EQ(found, c.expected != "null");
        if (!found) {
            // Named as cleaned: backslashes become slashes.
            std::string cleaned = c.name;
            std::replace(cleaned.begin(), cleaned.end(), '\\', '/');
            EXPECT_TRUE(log.has(rezezaz::core::Categories::REZEZAZ_SCENE.c_str(), rezezaz::core::Logger::ERROR,
                                "file " + cleaned + " not found"));
        }
    }

    // A file that names another by an absolute path reaches nothing with it; the program itself still
    // may open a file by its absolute path.
    const std::string absolute = folder.file("outside.rec");
    std::string duringLoad;
    streamer->duringLoad = [&] { duringLoad = content(archives->openStream(absolute.c_str())); };
    EXPECT_NE(manager->find("inside.rec", nullptr), nullptr);
    EXPECT_EQ(duringLoad, "null");
    EXPECT_EQ(content(archives->openStream(absolute.c_str())), "outside");
}

TEST_F(ArchiveManagerTest, RemovesTheDirectoryAsItWasAdded)
{
    archives->addDirectory("x");
    archives->addDirectory("./y\\z");
    archives->addDirectory("x");
    archives->removeDirectory("x");
    ASSERT_EQ(archives->getDirectories().size(), 2);
    EXPECT_STREQ(archives->getDirectories()[0].c_str(), "y/z/");
    EXPECT_STREQ(archives->getDirectories()[1].c_str(), "x/");
    archives->removeDirectory("y/z/");
    archives->removeDirectory("x/");
    archives->removeDirectory("absent");
    EXPECT_EQ(archives->getDirectories().size(), 0);
}

TEST_F(ArchiveManagerTest, LetsGoOfAnArchiveItHoldsAlone)
{
    // The manager holds the only reference to each archive.
    auto* named = new MemoryArchive();
    named->files["f"] = "named";
    archives->manage(asArchive(named), "package");
    auto* destroyed = new MemoryArchive();
    destroyed->files["g"] = "destroyed";
    archives->manage(asArchive(destroyed), "");
    EXPECT_EQ(content(archives->openStream("f")), "named");

    archives->unmanage(asArchive(named));
    EXPECT_EQ(archives->get(String("package")), nullptr);
    EXPECT_EQ(content(archives->openStream("f")), "null");

    // Destroyed from elsewhere, it leaves the manager the same way.
    asArchive(destroyed)->destroy();
    EXPECT_EQ(content(archives->openStream("g")), "null");
    EXPECT_EQ(archives->get(2), nullptr);
}

} // namespace

#include "core/Categories.h"
#include "core/Exception.h"
#include "scene/ArchiveManager.h"
#include "scene/Engine.h"
#include "scene/ResourceManager.h"
#include "support/LogRecorder.h"
#include "support/MemoryArchive.h"
#include "support/RecordingResource.h"
#include "support/RecordingStreamer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using rezezaz::core::Categories;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;
using rezezaz::core::Resource;
using rezezaz::core::String;
using rezezaz::scene::Engine;
using rezezaz::scene::ResourceManager;
using support::MemoryArchive;
using support::RecordingResource;
using support::RecordingStreamer;

const std::string SCENE = "rezezaz.scene";

// An engine (for its archive manager) and a plain manager of its own.
class ResourceManagerTest : public ::testing::Test
{
protected:
    ResourceManagerTest() : engine(new Engine(nullptr, nullptr)), manager(new ResourceManager(engine.get()))
    {
        engine->getArchiveManager()->manage(static_cast<rezezaz::core::io::Archive*>(archive.get()), "");
    }

    // A resource held by the test, so that it outlives its registration.
    IntrusivePointer<RecordingResource> resource(const std::string& label = "")
    {
        IntrusivePointer<RecordingResource> made(new RecordingResource(&life, label));
        held.push_back(made);
        return made;
    }

    support::LifeLog life;
    std::vector<IntrusivePointer<RecordingResource>> held;
    IntrusivePointer<Engine> engine;
    IntrusivePointer<MemoryArchive> archive{new MemoryArchive()};
    IntrusivePointer<ResourceManager> manager;
};

TEST_F(ResourceManagerTest, HandsOutHandlesFromOneAndReusesTheLastFreedFirst)
{
    EXPECT_EQ(manager->get(0), nullptr);
    EXPECT_EQ(manager->get(-1), nullptr);

    std::vector<IntrusivePointer<RecordingResource>> resources;
    for (int i = 0; i < 5; ++i) {
        resources.push_back(resource());
        manager->manage(resources.back().get(), "");
        EXPECT_EQ(resources.back()->getUniqueHandle(), i + 1);
        EXPECT_EQ(manager->get(i + 1).get(), static_cast<Resource*>(resources.back().get()));
    }
    EXPECT_EQ(manager->get(6), nullptr);

    manager->unmanage(resources[2].get()); // handle 3
    manager->unmanage(resources[4].get()); // handle 5
    EXPECT_EQ(manager->get(3), nullptr);

    IntrusivePointer<RecordingResource> first = resource();
    IntrusivePointer<RecordingResource> second = resource();
    manager->manage(first.get(), "");
    manager->manage(second.get(), "");
    EXPECT_EQ(first->getUniqueHandle(), 5);
    EXPECT_EQ(second->getUniqueHandle(), 3);
}

TEST_F(ResourceManagerTest, NamesFollowTheLatestManage)
{
    IntrusivePointer<RecordingResource> a = resource();
    IntrusivePointer<RecordingResource> b = resource();
    manager->manage(a.get(), "wheel");
    manager->manage(b.get(), "wheel");
    // The later one is found by the name; both stay filed.
    EXPECT_EQ(manager->get(String("wheel")).get(), static_cast<Resource*>(b.get()));
    EXPECT_EQ(manager->get(1).get(), static_cast<Resource*>(a.get()));
    EXPECT_EQ(manager->get(2).get(), static_cast<Resource*>(b.get()));

    // Managing again keeps the handle and moves the name.
    manager->manage(b.get(), "crank");
    EXPECT_EQ(b->getUniqueHandle(), 2);
    EXPECT_EQ(manager->get(String("crank")).get(), static_cast<Resource*>(b.get()));
    EXPECT_EQ(manager->get(String("wheel")), nullptr);

    manager->unmanage(b.get());
    EXPECT_EQ(manager->get(String("crank")), nullptr);
    EXPECT_EQ(manager->get(2), nullptr);
}

TEST_F(ResourceManagerTest, UnmanagingAStrangerRaises)
{
    support::LogRecorder log;
    IntrusivePointer<RecordingResource> stranger = resource();
    const std::string text =
        "error unmanaging resource, check that resource is managed, or check inheritance heiarchy";
    try {
        manager->unmanage(stranger.get());
        FAIL() << "no error";
    } catch (const rezezaz::core::Exception& e) {
        EXPECT_EQ(e.getError(), -1);
        EXPECT_EQ(std::string(e.getDescription()), text);
    }
    EXPECT_TRUE(log.has(SCENE, Logger::ERROR, text));
}

TEST_F(ResourceManagerTest, AResourceDestroyedElsewhereLeavesTheRegistry)
{
    IntrusivePointer<RecordingResource> a = resource("a");
    manager->manage(a.get(), "a");
    a->destroy();
    EXPECT_EQ(manager->get(1), nullptr);
    EXPECT_EQ(manager->get(String("a")), nullptr);

    // A resource whose last owner lets go leaves it too.
    {
        IntrusivePointer<RecordingResource> b(new RecordingResource(&life, "b"));
        manager->manage(b.get(), "b");
    }
    EXPECT_EQ(manager->get(String("b")), nullptr);
    EXPECT_EQ(life.deleted, 1);
}

TEST_F(ResourceManagerTest, FindLoadsAFileOnceWithTheDefaultExtension)
{
    IntrusivePointer<RecordingStreamer> streamer(new RecordingStreamer());
    manager->setStreamer(streamer.get(), "tmsh");
    manager->setDefaultExtension("tmsh");
    archive->files["dir/mesh.tmsh"] = "vertices";

    IntrusivePointer<Resource> found = manager->find("dir/mesh", nullptr);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(static_cast<RecordingResource*>(found.get())->content, "vertices");
    EXPECT_EQ(std::string(found->getName().c_str()), "dir/mesh");
    EXPECT_EQ(found->getUniqueHandle(), 1);
    EXPECT_EQ(manager->get(String("dir/mesh")), found);
    EXPECT_EQ(archive->streamsAsked, std::vector<std::string>{"dir/mesh.tmsh"});

    EXPECT_EQ(manager->find("dir/mesh", nullptr), found);
    EXPECT_EQ(streamer->loads, 1);
    EXPECT_EQ(archive->streamsAsked.size(), 1u);
}

TEST_F(ResourceManagerTest, AnArchivesResourceWinsWithoutOpeningAStream)
{
    IntrusivePointer<RecordingStreamer> streamer(new RecordingStreamer());
    manager->setStreamer(streamer.get(), "tga");
    archive->files["sky.tga"] = "pixels";
    IntrusivePointer<MemoryArchive> package(new MemoryArchive());
    IntrusivePointer<RecordingResource> packed = resource();
    package->resources["sky.tga"] = packed.get();
    manager->addResourceArchive(package.get());

    IntrusivePointer<Resource> found = manager->find("./sky.tga", nullptr);
    EXPECT_EQ(found.get(), static_cast<Resource*>(packed.get()));
    EXPECT_EQ(std::string(found->getName().c_str()), "./sky.tga");
    EXPECT_EQ(package->resourcesAsked, std::vector<std::string>{"sky.tga"});
    EXPECT_TRUE(archive->streamsAsked.empty());
    EXPECT_EQ(streamer->loads, 0);

    manager->removeResourceArchive(package.get());
    manager->unmanage(packed.get());
    EXPECT_NE(manager->find("sky.tga", nullptr), nullptr);
    EXPECT_EQ(streamer->loads, 1);
}

TEST_F(ResourceManagerTest, FailedLookUpsAnswerNullAndSayWhy)
{
    IntrusivePointer<RecordingStreamer> streamer(new RecordingStreamer());
    manager->setStreamer(streamer.get(), "tmsh");
    archive->files["broken.tmsh"] = "x";
    archive->files["empty.tmsh"] = "x";

    struct Case
    {
        const char* name;
        bool raise;
        Logger::Level level;
        const char* text; // empty when nothing is logged
    };
    const Case cases[] = {
        {"plain", false, Logger::WARNING, "extension not found on file"},
        {"picture.xyz", false, Logger::ERROR, "streamer for picture.xyz not found"},
        {"gone.tmsh", false, Logger::ERROR, "file gone.tmsh not found"},
        {"broken.tmsh", true, Logger::ERROR, "load: unreadable"},
        {"empty.tmsh", false, Logger::ERROR, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        support::LogRecorder log;
        streamer->raise = c.raise;
        streamer->answerNull = std::string(c.name) == "empty.tmsh";
        EXPECT_EQ(manager->find(c.name, nullptr), nullptr);
        if (*c.text != '\0') {
            EXPECT_TRUE(log.has(SCENE, c.level, c.text));
        }
        EXPECT_EQ(manager->get(1), nullptr);
    }
}

TEST_F(ResourceManagerTest, ClearingAStreamerFallsBackToTheDefault)
{
    IntrusivePointer<RecordingStreamer> bmp(new RecordingStreamer());
    IntrusivePointer<RecordingStreamer> fallback(new RecordingStreamer());
    manager->setStreamer(bmp.get(), "bmp");
    manager->setDefaultStreamer(fallback.get());
    archive->files["a.bmp"] = "a";
    archive->files["b.BMP"] = "b";

    EXPECT_NE(manager->find("a.bmp", nullptr), nullptr);
    EXPECT_EQ(bmp->loads, 1);

    {
        support::LogRecorder log;
        manager->setStreamer(nullptr, "bmp");
        EXPECT_TRUE(log.has(SCENE, Logger::DEBUG, "removing streamer for extension bmp"));
    }
    EXPECT_EQ(manager->getStreamer("bmp"), nullptr);
    EXPECT_NE(manager->find("b.BMP", nullptr), nullptr);
    EXPECT_EQ(bmp->loads, 1);
    EXPECT_EQ(fallback->loads, 1);
}

TEST_F(ResourceManagerTest, TheFilesFolderIsSearchedOnlyWhileItLoads)
{
    IntrusivePointer<RecordingStreamer> streamer(new RecordingStreamer());
    manager->setStreamer(streamer.get(), "mdl");
    rezezaz::scene::ArchiveManager* archives = engine->getArchiveManager();
    archives->addDirectory("base");
    archive->files["models/bike.mdl"] = "m";

    std::vector<std::string> during;
    streamer->duringLoad = [&] {
        for (const String& directory : archives->getDirectories()) {
            during.emplace_back(directory.c_str());
        }
    };
    streamer->raise = true;
    EXPECT_EQ(manager->find("models/bike.mdl", nullptr), nullptr);
    EXPECT_EQ(during, (std::vector<std::string>{"base/", "base/models/"}));
    ASSERT_EQ(archives->getDirectories().size(), 1);
    EXPECT_STREQ(archives->getDirectories()[0].c_str(), "base/");
}

TEST_F(ResourceManagerTest, CleansPathsAndFindsExtensions)
{
    struct PathCase
    {
        const char* path;
        bool directory;
        const char* cleaned;
    };
    const PathCase paths[] = {
        {"./a\\b", false, "a/b"},
        {".\\a", false, "a"},
        {"a/b/c/../d", false, "a/b/d"},
        {"x/y/z/../w", true, "x/y/w/"},
        {"a/b/c/..", false, "a/b/"},
        {"a/b/c/d/../../e", false, "a/b/e"},
        {"a/../b", false, "a/../b"},
        {"../b", false, "../b"},
        {"dir", true, "dir/"},
        {"dir/", true, "dir/"},
        {"", true, ""},
    };
    for (const PathCase& c : paths) {
        EXPECT_STREQ(ResourceManager::cleanPath(c.path, c.directory).c_str(), c.cleaned) << c.path;
    }

    struct ExtensionCase
    {
        const char* name;
        const char* extension;
    };
    const ExtensionCase extensions[] = {
        {"Folder/Image.PNG", "png"},
        {"noDot", ""},
        {"a.b/c.TmSh", "tmsh"},
        {"trailing.", ""},
    };
    for (const ExtensionCase& c : extensions) {
        EXPECT_STREQ(ResourceManager::findExtension(c.name).c_str(), c.extension) << c.name;
    }

    manager->setDefaultExtension("tmsh");
    EXPECT_STREQ(manager->checkDefaultExtension("crank").c_str(), "crank.tmsh");
    EXPECT_STREQ(manager->checkDefaultExtension("v1.2/crank").c_str(), "v1.2/crank");
}

TEST_F(ResourceManagerTest, DestroyEmptiesTheRegistryAndStartsAgainAtHandleOne)
{
    IntrusivePointer<RecordingResource> a = resource("a");
    IntrusivePointer<RecordingResource> b = resource("b");
    IntrusivePointer<RecordingResource> c = resource("c");
    manager->manage(a.get(), "a");
    manager->manage(b.get(), "b");
    manager->manage(c.get(), "c");
    manager->unmanage(b.get()); // handle 2 freed

    manager->destroy();
    EXPECT_EQ(life.events, (std::vector<std::string>{"destroy a", "destroy c"}));
    EXPECT_EQ(manager->get(String("a")), nullptr);
    EXPECT_EQ(manager->getNumResourceSlots(), 1);

    IntrusivePointer<RecordingResource> d = resource("d");
    manager->manage(d.get(), "d");
    EXPECT_EQ(d->getUniqueHandle(), 1);
    EXPECT_EQ(manager->get(0), nullptr);
    EXPECT_EQ(manager->get(1).get(), static_cast<Resource*>(d.get()));
}

} // namespace

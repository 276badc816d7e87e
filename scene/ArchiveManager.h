#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "core/io/Archive.h"
#include "core/io/Stream.h"
#include "scene/ResourceManager.h"

namespace rezezaz::scene {

// The engine's one place for opening a named file: the managed archives first (packages, the
// program's compiled-in files), then the search directories, then the name as a path. Owned by the
// engine; it keeps every managed archive alive until it is unmanaged.
class ArchiveManager : public ResourceManager
{
public:
    explicit ArchiveManager(Engine* engine);

    // resource must be an Archive; it is kept alive and searched after those managed before it.
    core::IntrusivePointer<core::Resource> manage(core::Resource* resource, const core::String& name) override;
    void unmanage(core::Resource* resource) override;

    // Appends the cleaned path, ending in "/".
    void addDirectory(const core::String& path);
    // Removes the first directory equal to the cleaned path.
    void removeDirectory(const core::String& path);
    const core::Collection<core::String>& getDirectories() const { return directories_; }

    // The first stream that an archive, a search directory joined with the name, or the name as a
    // path gives; null when none opens. An absolute name skips the directories. A name is read inside
    // the place it is looked up in: one whose ".." segments climb above where it starts opens nothing,
    // and while a file loads (see beginFileLoad), neither does an absolute name. Such names come from
    // files (a model's textures and materials), and a file must not reach whatever the program may read.
    core::IntrusivePointer<core::io::Stream> openStream(const core::String& name);

    // Whether the name's ".." segments stay at or below where it starts.
    static bool staysInside(const core::String& name);

    // Bracket the load of a file by a resource manager: the names asked for in between are the file's
    // own references.
    void beginFileLoad() { ++fileLoads_; }
    void endFileLoad() { --fileLoads_; }

private:
    core::Collection<core::String> directories_;
    core::Collection<core::IntrusivePointer<core::io::Archive>> archives_;
    int fileLoads_ = 0;
};

} // namespace rezezaz::scene

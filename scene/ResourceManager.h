#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Map.h"
#include "core/Object.h"
#include "core/Resource.h"
#include "core/ResourceDestroyedListener.h"
#include "core/String.h"
#include "core/io/Archive.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

class Engine;
class ResourceData;

// The registry of the loaded resources of one kind, and the place where one is found by name: already
// loaded, served by a resource archive, or read from a file by the streamer of the file's extension.
// Owned by the engine. It does not retain its resources: each managed resource has the manager as its
// destroyed listener and leaves the registry when it is destroyed. Archives and streamers are retained
// until the manager goes.
//
// A resource may be handed in through any of its interfaces; the manager knows it by its object, so
// the same resource seen through two interfaces is one entry.
class ResourceManager : public core::Object, public core::ResourceDestroyedListener
{
public:
    // Largest stream length that findFromFile reads.
    static constexpr int32_t DEFAULT_MAX_STREAM_LENGTH = 2147483647;

    explicit ResourceManager(Engine* engine);
    ~ResourceManager() override;

    // Destroys every managed resource, in handle order, without hearing of it; the registry is then
    // empty (handle 0 stays reserved). Archives and streamers stay.
    void destroy() override;

    virtual void addResourceArchive(core::io::Archive* archive);
    // Removes the first entry of archive, if any.
    virtual void removeResourceArchive(core::io::Archive* archive);
    // Null for a handle outside the table or an empty slot.
    virtual core::IntrusivePointer<core::Resource> get(int handle);
    // The resource filed under exactly that name, or null.
    virtual core::IntrusivePointer<core::Resource> get(const core::String& name);
    // The resource by name, loaded when it is not yet here; null when it cannot be had. Never throws.
    virtual core::IntrusivePointer<core::Resource> find(const core::String& name, ResourceData* data);
    // Files the resource (in a freed slot when there is one) and, with a name, under that name. A
    // resource filed already keeps its handle and moves to its new name.
    virtual core::IntrusivePointer<core::Resource> manage(core::Resource* resource, const core::String& name);
    // Takes the resource out; raises the engine's error when it is not filed here.
    virtual void unmanage(core::Resource* resource);
    // Registers, replaces or (with null) clears the streamer of a (lower-case) extension.
    virtual void setStreamer(ResourceStreamer* streamer, const core::String& extension);
    virtual core::IntrusivePointer<ResourceStreamer> getStreamer(const core::String& extension);
    virtual void setDefaultStreamer(ResourceStreamer* streamer);
    virtual core::IntrusivePointer<ResourceStreamer> getDefaultStreamer();
    virtual void setDefaultExtension(const core::String& extension);
    virtual core::String getDefaultExtension();
    // Unmanages the destroyed resource.
    void resourceDestroyed(core::Resource* resource) override;
    virtual void logAllResources();

    // The road from a name with no streamer; raises "streamer for <name> not found" here.
    virtual core::IntrusivePointer<core::Resource> unableToFindStreamer(const core::String& name, ResourceData* data);
    // The loading step of find; may raise the engine's error.
    virtual core::IntrusivePointer<core::Resource> findFromFile(const core::String& name, ResourceData* data);
    virtual void resourceLoaded(const core::IntrusivePointer<core::Resource>& resource);
    virtual void resourceUnloaded(const core::IntrusivePointer<core::Resource>& resource);

    // Folds "x/.." segments, drops a leading "./" (or ".\"), turns backslashes into "/" and, for a
    // directory, ends the path in "/".
    static core::String cleanPath(const core::String& path, bool directory);
    // The name with "." and the default extension added when it holds no "." at all.
    core::String checkDefaultExtension(const core::String& name) const;
    // The text after the last ".", in lower case; empty without a ".".
    static core::String findExtension(const core::String& name);

    int32_t getMaxStreamLength() const { return maxStreamLength_; }
    Engine* getEngine() const { return engine_; }
    // Slots of the handle table, the reserved slot 0 included.
    int getNumResourceSlots() const { return resources_.size(); }
    // The resources filed now, in handle order.
    core::Collection<core::Resource*> getResources() const;

protected:
    // The slot that holds resource, or -1.
    int findSlot(const core::Resource* resource) const;
    // The object behind a resource, whichever interface it is seen through.
    static const void* identity(const core::Resource* resource);

    Engine* engine_;
    core::Collection<core::IntrusivePointer<core::io::Archive>> resourceArchives_;
    int32_t maxStreamLength_ = DEFAULT_MAX_STREAM_LENGTH;
    core::Collection<int32_t> freeHandles_;
    core::Collection<core::Resource*> resources_;
    core::Map<core::String, core::Resource*> resourceNameMap_;
    core::Map<core::String, core::IntrusivePointer<ResourceStreamer>> extensionStreamerMap_;
    core::IntrusivePointer<ResourceStreamer> defaultStreamer_;
    core::String defaultExtension_;
};

} // namespace rezezaz::scene

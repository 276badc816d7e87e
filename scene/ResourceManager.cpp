#include "scene/ResourceManager.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "scene/ArchiveManager.h"
#include "scene/Engine.h"

#include <string>

namespace rezezaz::scene {

using core::Categories;
using core::IntrusivePointer;
using core::Logger;
using core::Resource;
using core::String;

namespace {

void log(Logger::Level level, const String& text)
{
    core::Log::getInstance()->addLogEntry(Categories::REZEZAZ_SCENE, level, text);
}

} // namespace

ResourceManager::ResourceManager(Engine* engine) : engine_(engine)
{
    // Handle 0 is never handed out.
    resources_.add(nullptr);
}

ResourceManager::~ResourceManager() = default;

void ResourceManager::destroy()
{
    for (int handle = 0; handle < resources_.size(); ++handle) {
        Resource* resource = resources_[handle];
        if (resource == nullptr) {
            continue;
        }
        IntrusivePointer<Resource> held(resource);
        resource->setDestroyedListener(nullptr);
        resource->destroy();
    }
    // Slot 0 stays reserved and no freed handle survives, so the next manage starts at handle 1.
    resources_.clear();
    resources_.add(nullptr);
    freeHandles_.clear();
    resourceNameMap_.clear();
}

void ResourceManager::addResourceArchive(core::io::Archive* archive)
{
    resourceArchives_.add(IntrusivePointer<core::io::Archive>(archive));
}

void ResourceManager::removeResourceArchive(core::io::Archive* archive)
{
    for (int i = 0; i < resourceArchives_.size(); ++i) {
        if (resourceArchives_[i].get() == archive) {
            // Held while it leaves the list, which may hold its last reference.
            IntrusivePointer<core::io::Archive> held = resourceArchives_[i];
            resourceArchives_.erase(resourceArchives_.begin() + i);
            return;
        }
    }
}

IntrusivePointer<Resource> ResourceManager::get(int handle)
{
    if (handle < 0 || handle >= resources_.size()) {
        return nullptr;
    }
    return resources_[handle];
}

IntrusivePointer<Resource> ResourceManager::get(const String& name)
{
    auto found = resourceNameMap_.lookup(name);
    if (found == resourceNameMap_.end()) {
        return nullptr;
    }
    return found->value;
}

IntrusivePointer<Resource> ResourceManager::find(const String& name, ResourceData* data)
{
    IntrusivePointer<Resource> resource = get(name);
    if (resource) {
        return resource;
    }
    try {
        resource = findFromFile(name, data);
    } catch (const core::Exception&) {
        // Logged by whoever raised it; a look-up by name only ever answers null.
        return nullptr;
    }
    if (resource) {
        resource->setName(name);
        manage(resource.get(), String());
    }
    return resource;
}

IntrusivePointer<Resource> ResourceManager::manage(Resource* resource, const String& name)
{
    if (resource == nullptr) {
        return nullptr;
    }
    const int slot = findSlot(resource);
    if (slot >= 0) {
        if (resource->getName().length() > 0) {
            auto entry = resourceNameMap_.lookup(resource->getName());
            if (entry != resourceNameMap_.end()) {
                resourceNameMap_.erase(entry);
            }
        }
    } else {
        int handle;
        if (freeHandles_.size() > 0) {
            handle = freeHandles_[freeHandles_.size() - 1];
            freeHandles_.erase(freeHandles_.end() - 1);
            resources_[handle] = resource;
        } else {
            handle = resources_.size();
            resources_.add(resource);
        }
        resource->internal_setUniqueHandle(handle);
        resource->setDestroyedListener(this);
    }
    if (name.length() > 0) {
        resource->setName(name);
    }
    if (resource->getName().length() > 0) {
        // A name already taken now finds this resource; the earlier one keeps its handle.
        resourceNameMap_.add(resource->getName(), resource);
    }
    return resource;
}

void ResourceManager::unmanage(Resource* resource)
{
    if (resource == nullptr || findSlot(resource) < 0) {
        core::Error::unknown(Categories::REZEZAZ_SCENE, true,
                             "error unmanaging resource, check that resource is managed, or check inheritance "
                             "heiarchy");
    }
    const int handle = resource->getUniqueHandle();
    if (handle >= 0 && handle < resources_.size() && resources_[handle] != nullptr &&
        identity(resources_[handle]) == identity(resource)) {
        resources_[handle] = nullptr;
        freeHandles_.add(handle);
    }
    if (resource->getName().length() > 0) {
        auto entry = resourceNameMap_.lookup(resource->getName());
        if (entry != resourceNameMap_.end()) {
            resourceNameMap_.erase(entry);
        }
    }
    resource->setDestroyedListener(nullptr);
}

void ResourceManager::setStreamer(ResourceStreamer* streamer, const String& extension)
{
    auto entry = extensionStreamerMap_.lookup(extension);
    if (entry != extensionStreamerMap_.end()) {
        log(Logger::DEBUG, "removing streamer for extension " + extension);
        entry->value = nullptr;
    }
    if (streamer != nullptr) {
        log(Logger::DEBUG, "adding streamer for extension " + extension);
        extensionStreamerMap_.add(extension, IntrusivePointer<ResourceStreamer>(streamer));
    }
}

IntrusivePointer<ResourceStreamer> ResourceManager::getStreamer(const String& extension)
{
    auto entry = extensionStreamerMap_.lookup(extension);
    return entry == extensionStreamerMap_.end() ? nullptr : entry->value;
}

void ResourceManager::setDefaultStreamer(ResourceStreamer* streamer)
{
    log(Logger::DEBUG, "adding default streamer");
    defaultStreamer_ = streamer;
}

IntrusivePointer<ResourceStreamer> ResourceManager::getDefaultStreamer()
{
    return defaultStreamer_;
}

void ResourceManager::setDefaultExtension(const String& extension)
{
    defaultExtension_ = extension;
}

String ResourceManager::getDefaultExtension()
{
    return defaultExtension_;
}

void ResourceManager::resourceDestroyed(Resource* resource)
{
    unmanage(resource);
}

core::Collection<Resource*> ResourceManager::getResources() const
{
    core::Collection<Resource*> filed;
    for (int handle = 0; handle < resources_.size(); ++handle) {
        if (resources_[handle] != nullptr) {
            filed.add(resources_[handle]);
        }
    }
    return filed;
}

void ResourceManager::logAllResources()
{
    for (int handle = 0; handle < resources_.size(); ++handle) {
        Resource* resource = resources_[handle];
        log(Logger::ALERT, String("Resource:") + handle + " name:" + (resource ? resource->getName() : String()));
    }
}

IntrusivePointer<Resource> ResourceManager::unableToFindStreamer(const String& name, ResourceData*)
{
    core::Error::unknown(Categories::REZEZAZ_SCENE, true, "streamer for " + name + " not found");
}

IntrusivePointer<Resource> ResourceManager::findFromFile(const String& name, ResourceData* data)
{
    log(Logger::DEBUG, "ResourceManager::findFromFile:" + name);
    const String filename = checkDefaultExtension(cleanPath(name, false));
    const String extension = findExtension(filename);

    for (int i = 0; i < resourceArchives_.size(); ++i) {
        IntrusivePointer<core::io::Archive> archive = resourceArchives_[i];
        IntrusivePointer<Resource> resource = archive->openResource(filename);
        if (resource) {
            return resource;
        }
    }

    if (extension.length() == 0) {
        log(Logger::WARNING, "extension not found on file");
        return nullptr;
    }

    IntrusivePointer<ResourceStreamer> streamer = getStreamer(extension);
    if (!streamer) {
        streamer = defaultStreamer_;
    }
    if (!streamer) {
        return unableToFindStreamer(name, data);
    }

    IntrusivePointer<ArchiveManager> archiveManager = engine_->getArchiveManager();
    IntrusivePointer<core::io::Stream> stream = archiveManager->openStream(filename);
    if (!stream) {
        core::Error::unknown(Categories::REZEZAZ_SCENE, true, "file " + filename + " not found");
    }
    if (stream->length() > maxStreamLength_) {
        stream->close();
        core::Error::insufficientMemory(
            Categories::REZEZAZ_SCENE, true,
            "stream length too large, increase ResourceManager max stream length or reduce resource size");
    }

    // Files that the resource refers to by relative names are looked for beside it while it loads.
    String directory;
    const int slash = filename.rfind('/');
    if (slash > 0) {
        directory = filename.substr(0, slash);
        if (archiveManager->getDirectories().size() > 0) {
            directory = archiveManager->getDirectories()[0] + directory;
        }
    }
    if (directory.length() > 0) {
        archiveManager->addDirectory(directory);
    }

    IntrusivePointer<Resource> resource;
    {
        // The names the file asks for while it loads are its own references (see ArchiveManager).
        struct FileLoad
        {
            ArchiveManager* archives;
            explicit FileLoad(ArchiveManager* archives) : archives(archives) { archives->beginFileLoad(); }
            ~FileLoad() { archives->endFileLoad(); }
        } load(archiveManager.get());
        try {
            resource = streamer->load(stream, data, nullptr);
        } catch (const core::Exception&) {
            resource = nullptr;
        }
    }

    if (directory.length() > 0) {
        archiveManager->removeDirectory(directory);
    }
    return resource;
}

void ResourceManager::resourceLoaded(const IntrusivePointer<Resource>&) {}

void ResourceManager::resourceUnloaded(const IntrusivePointer<Resource>&) {}

String ResourceManager::cleanPath(const String& path, bool directory)
{
    std::string text = path.c_str();

    // "a/b/c/../d" becomes "a/b/d"; a ".." with fewer than two "/" before it stops the folding.
    for (std::size_t dots = text.find(".."); dots != std::string::npos; dots = text.find("..")) {
        if (dots == 0) {
            break;
        }
        const std::size_t slash = text.rfind('/', dots - 1);
        if (slash == std::string::npos || slash == 0) {
            break;
        }
        const std::size_t earlier = text.rfind('/', slash - 1);
        if (earlier == std::string::npos) {
            break;
        }
        std::size_t end = dots + 2;
        if (end < text.size() && text[end] == '/') {
            ++end;
        }
        text.erase(earlier + 1, end - (earlier + 1));
    }

    if (text.size() >= 2 && text[0] == '.' && (text[1] == '/' || text[1] == '\\')) {
        text.erase(0, 2);
    }
    for (char& c : text) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (directory && !text.empty() && text.back() != '/') {
        text += '/';
    }
    return String(text.c_str(), static_cast<int>(text.size()));
}

String ResourceManager::checkDefaultExtension(const String& name) const
{
    if (name.find('.') < 0 && defaultExtension_.length() > 0) {
        return name + "." + defaultExtension_;
    }
    return name;
}

String ResourceManager::findExtension(const String& name)
{
    const int dot = name.rfind('.');
    if (dot < 0) {
        return String();
    }
    return name.substr(dot + 1, -1).toLower();
}

int ResourceManager::findSlot(const Resource* resource) const
{
    const void* object = identity(resource);
    for (int i = 0; i < resources_.size(); ++i) {
        if (resources_[i] != nullptr && identity(resources_[i]) == object) {
            return i;
        }
    }
    return -1;
}

const void* ResourceManager::identity(const Resource* resource)
{
    return resource == nullptr ? nullptr : dynamic_cast<const void*>(resource);
}

} // namespace rezezaz::scene

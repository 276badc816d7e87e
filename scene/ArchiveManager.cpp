#include "scene/ArchiveManager.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/PosixSystem.h"
#include "core/io/FileStream.h"

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::Resource;
using core::String;
using core::io::Archive;

ArchiveManager::ArchiveManager(Engine* engine) : ResourceManager(engine)
{
    maxStreamLength_ = DEFAULT_MAX_STREAM_LENGTH;
}

IntrusivePointer<Resource> ArchiveManager::manage(Resource* resource, const String& name)
{
    Archive* archive = dynamic_cast<Archive*>(resource);
    if (archive == nullptr) {
        core::Error::invalidParameters(core::Categories::REZEZAZ_SCENE, true,
                                       "ArchiveManager::manage: resource is not an archive");
    }
    archives_.add(IntrusivePointer<Archive>(archive));
    return ResourceManager::manage(archive, name);
}

void ArchiveManager::unmanage(Resource* resource)
{
    // The archives list usually holds the last reference: the archive stays alive until the base has
    // taken it out of the registry, and goes when this reference does.
    IntrusivePointer<Archive> held;
    Archive* archive = dynamic_cast<Archive*>(resource);
    int index = -1;
    for (int i = 0; archive != nullptr && i < archives_.size(); ++i) {
        if (archives_[i].get() == archive) {
            index = i;
            held = archives_[i];
            break;
        }
    }
    ResourceManager::unmanage(resource);
    if (index >= 0) {
        archives_.erase(archives_.begin() + index);
    }
}

void ArchiveManager::addDirectory(const String& path)
{
    directories_.add(cleanPath(path, true));
}

void ArchiveManager::removeDirectory(const String& path)
{
    directories_.remove(cleanPath(path, true));
}

bool ArchiveManager::staysInside(const String& name)
{
    // Segments counted downward from where the name starts; a ".." below the start leaves it. A
    // backslash separates too, as the resource manager's cleaning turns it into a slash.
    const char* text = name.c_str();
    int depth = 0;
    int start = 0;
    for (int i = 0;; ++i) {
        const char c = text[i];
        if (c != '\0' && c != '/' && c != '\\') {
            continue;
        }
        const int length = i - start;
        if (length == 2 && text[start] == '.' && text[start + 1] == '.') {
            if (--depth < 0) {
                return false;
            }
        } else if (length > 0 && !(length == 1 && text[start] == '.')) {
            ++depth;
        }
        if (c == '\0') {
            return true;
        }
        start = i + 1;
    }
}

IntrusivePointer<core::io::Stream> ArchiveManager::openStream(const String& name)
{
    if (!staysInside(name) || (fileLoads_ > 0 && core::PosixSystem::absolutePath(name))) {
        return nullptr;
    }
    for (int i = 0; i < resources_.size(); ++i) {
        Archive* archive = dynamic_cast<Archive*>(resources_[i]);
        if (archive == nullptr) {
            continue;
        }
        // An archive that refuses the name (a package raises its own error for a name it lacks)
        // does not hide the archives, directories and files searched after it.
        IntrusivePointer<core::io::Stream> stream;
        try {
            stream = archive->openStream(name);
        } catch (const core::Exception&) {
            continue;
        }
        if (stream) {
            return stream;
        }
    }

    const int mode = core::io::FileStream::Read | core::io::FileStream::Binary;
    IntrusivePointer<core::io::FileStream> file;
    if (!core::PosixSystem::absolutePath(name)) {
        for (int i = 0; i < directories_.size(); ++i) {
            file = new core::io::FileStream(directories_[i] + name, mode);
            if (!file->closed()) {
                return file;
            }
        }
    }
    file = new core::io::FileStream(name, mode);
    if (file->closed()) {
        return nullptr;
    }
    return file;
}

} // namespace rezezaz::scene

#include "content/WADStreamer.h"

#include "content/WADArchive.h"

namespace rezezaz::scene {

WADStreamer::WADStreamer(TextureManager* textureManager) : textureManager_(textureManager) {}

core::IntrusivePointer<core::Resource> WADStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                         ResourceData*, ProgressListener*)
{
    core::IntrusivePointer<WADArchive> archive = new WADArchive(textureManager_);
    if (!archive->open(stream.get())) {
        return nullptr;
    }
    return core::IntrusivePointer<core::Resource>(static_cast<core::io::Archive*>(archive.get()));
}

} // namespace rezezaz::scene

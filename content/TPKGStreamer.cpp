#include "content/TPKGStreamer.h"

#include "content/TPKGArchive.h"

namespace rezezaz::scene {

core::IntrusivePointer<core::Resource> TPKGStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                          ResourceData*, ProgressListener*)
{
    core::IntrusivePointer<TPKGArchive> archive = new TPKGArchive();
    // The stream form also for a memory stream: the archive then keeps its own copy of each file,
    // whatever becomes of the stream the manager handed in.
    if (!archive->open(stream.get())) {
        return nullptr;
    }
    return core::IntrusivePointer<core::Resource>(static_cast<core::io::Archive*>(archive.get()));
}

} // namespace rezezaz::scene

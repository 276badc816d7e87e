#pragma once

#include "core/IntrusivePointer.h"
#include "core/Interface.h"
#include "core/Resource.h"
#include "core/io/Stream.h"

namespace rezezaz::scene {

class ProgressListener;
class ResourceData;

// Reads (and perhaps writes) one file format. A resource manager holds one per file extension;
// each streamer is an Object that implements this interface.
class ResourceStreamer : public core::Interface
{
public:
    // Releases what the streamer holds; nothing here.
    virtual void destroy() {}
    // The resource read from stream; null, or the engine's error, when it cannot be read.
    virtual core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream,
                                                        ResourceData* data, ProgressListener* listener) = 0;
    // Writes resource to stream. A streamer that cannot write answers false and writes nothing.
    virtual bool save(core::IntrusivePointer<core::io::Stream> stream, core::IntrusivePointer<core::Resource> resource,
                      ResourceData* data, ProgressListener* listener);
};

} // namespace rezezaz::scene

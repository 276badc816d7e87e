#pragma once

#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

// Opens a TPKG package as an archive. The engine registers it with its archive manager, which owns
// it; it holds nothing.
class TPKGStreamer : public core::Object, public ResourceStreamer
{
public:
    TPKGStreamer() = default;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The opened TPKGArchive; the archive's error when the package is refused.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;
};

} // namespace rezezaz::scene

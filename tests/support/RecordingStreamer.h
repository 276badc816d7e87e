#pragma once

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Object.h"
#include "scene/ResourceStreamer.h"
#include "support/RecordingResource.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace support {

// A streamer that reads the whole stream into a RecordingResource and counts its loads. It can be
// told to raise the engine's error or to answer null, and runs an optional hook while it loads (to
// look at the engine's state in the middle of a load).
class RecordingStreamer : public rezezaz::core::Object, public rezezaz::scene::ResourceStreamer
{
public:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    void destroy() override {}

    Pointer<rezezaz::core::Resource> load(Pointer<rezezaz::core::io::Stream> stream, rezezaz::scene::ResourceData*,
                                          rezezaz::scene::ProgressListener*) override
    {
        ++loads;
        if (duringLoad) {
            duringLoad();
        }
        if (raise) {
            rezezaz::core::Error::unknown(rezezaz::core::Categories::REZEZAZ_SCENE, true, "load: unreadable");
        }
        if (answerNull) {
            return nullptr;
        }
        auto* resource = new RecordingResource();
        unsigned char buffer[256];
        for (int got = stream->read(buffer, sizeof buffer); got > 0; got = stream->read(buffer, sizeof buffer)) {
            resource->content.append(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(got));
        }
        return Pointer<rezezaz::core::Resource>(static_cast<rezezaz::core::BaseResource*>(resource));
    }

    int loads = 0;
    bool raise = false;
    bool answerNull = false;
    std::function<void()> duringLoad;
};

} // namespace support

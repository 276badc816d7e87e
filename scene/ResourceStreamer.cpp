#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

bool ResourceStreamer::save(core::IntrusivePointer<core::io::Stream>, core::IntrusivePointer<core::Resource>,
                            ResourceData*, ProgressListener*)
{
    return false;
}

} // namespace rezezaz::scene

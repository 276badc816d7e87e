#pragma once

#include "core/Object.h"
#include "core/String.h"
#include "scene/ResourceData.h"

namespace rezezaz::scene {

// A font request: the point size and the characters the atlas is to hold. The font manager fills
// an empty character set with its default one before the streamer sees the request. Owned by the
// caller of the find.
class FontData : public core::Object, public ResourceData
{
public:
    FontData() = default;
    FontData(float pointSize_, const core::String& characterSet_)
        : pointSize(pointSize_), characterSet(characterSet_)
    {
    }

    float pointSize = 0;
    core::String characterSet;
};

} // namespace rezezaz::scene

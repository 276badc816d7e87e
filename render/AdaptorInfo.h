#pragma once

#include "core/Object.h"
#include "core/String.h"

namespace rezezaz::render {

// Describes the graphics adaptor behind a render target; made and owned by the target.
class AdaptorInfo : public core::Object
{
public:
    AdaptorInfo() = default;
    explicit AdaptorInfo(const core::String& description_) : description(description_) {}

    // The renderer name that the graphics library reports.
    core::String description;
};

} // namespace rezezaz::render

#pragma once

#include "core/String.h"

namespace rezezaz::scene {

class Transform;

// A component that offers named points (a skeleton's bones) to which other things can be attached.
class Attachable
{
public:
    virtual ~Attachable() = default;

    virtual int getNumAttachments() = 0;
    virtual core::String getAttachmentName(int index) = 0;
    virtual int getAttachmentIndex(const core::String& name) = 0;
    // Places transform at the attachment; false for an index that names none.
    virtual bool getAttachmentTransform(Transform* transform, int index) = 0;
};

} // namespace rezezaz::scene

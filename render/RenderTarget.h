#pragma once

#include "core/Resource.h"

namespace rezezaz::render {

class AdaptorInfo;

// Something the device draws into: a window or an off-screen target.
class RenderTarget : public core::Resource
{
public:
    // The target that does the work: the object itself, or a wrapper's back (null without one).
    virtual RenderTarget* getRootRenderTarget() = 0;
    // True for a window target.
    virtual bool isPrimary() const = 0;
    virtual bool isValid() const = 0;
    // In pixels.
    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
    // Owned by the target; null until known.
    virtual AdaptorInfo* getAdaptorInfo() const = 0;
};

} // namespace rezezaz::render

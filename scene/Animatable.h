#pragma once

#include "core/String.h"

namespace rezezaz::scene {

namespace action {
class Animation;
}

// A component that offers animations by name or index; the node only lists these.
class Animatable
{
public:
    virtual ~Animatable() = default;

    virtual int getNumAnimations() = 0;
    virtual action::Animation* getAnimation(const core::String& name) = 0;
    virtual action::Animation* getAnimation(int index) = 0;
};

} // namespace rezezaz::scene

#pragma once

#include "core/Interface.h"
#include "core/String.h"

namespace rezezaz::scene::action {

class AnimationListener;

// A controllable animation: named, its state driven by one scalar value (for a skeletal sequence, the
// time within it), weighted and scoped, and able to report to a listener.
class Animation : public core::Interface
{
public:
    virtual const core::String& getName() const = 0;
    virtual void setValue(float value) = 0;
    virtual float getMinValue() const = 0;
    virtual float getMaxValue() const = 0;
    virtual float getValue() const = 0;
    virtual void setWeight(float weight) = 0;
    virtual float getWeight() const = 0;
    virtual void setScope(int scope) = 0;
    virtual int getScope() const = 0;
    // Not retained; null clears it.
    virtual void setAnimationListener(AnimationListener* listener) = 0;
};

} // namespace rezezaz::scene::action

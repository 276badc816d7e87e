#pragma once

#include "core/Object.h"
#include "core/String.h"
#include "scene/action/Animation.h"
#include "scene/action/AnimationListener.h"

namespace rezezaz::scene::action {

// The reference-counted default animation from which concrete ones derive: a name that subclasses
// fill, the listener slot, and an animation that holds no state (value range 0, weight 1, all scopes).
class BaseAnimation : public core::Object, public Animation
{
public:
    BaseAnimation() = default;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    const core::String& getName() const override { return name; }
    void setValue(float) override {}
    float getMinValue() const override { return 0.0f; }
    float getMaxValue() const override { return 0.0f; }
    float getValue() const override { return 0.0f; }
    void setWeight(float) override {}
    float getWeight() const override { return 1.0f; }
    void setScope(int) override {}
    int getScope() const override { return -1; }
    void setAnimationListener(AnimationListener* listener) override { this->listener = listener; }

    AnimationListener* getAnimationListener() const { return listener; }

protected:
    core::String name;
    AnimationListener* listener = nullptr;
};

} // namespace rezezaz::scene::action

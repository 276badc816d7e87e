#pragma once

namespace rezezaz::scene::action {

class Animation;

// Hears from an animation it is set on. Not owned by the animation, so it must outlive it or be
// cleared first.
class AnimationListener
{
public:
    virtual ~AnimationListener() = default;
};

} // namespace rezezaz::scene::action

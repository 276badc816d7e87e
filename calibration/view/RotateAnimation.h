#pragma once

#include "calibration/view/PelotuneAnimation.h"
#include "core/IntrusivePointer.h"
#include "core/math/Vector3.h"

namespace rezezaz::scene {
class Node;
}

// Turns a node about a fixed axis from one angle to another (radians), evenly over its duration.
// The node is held for the animation's life.
class RotateAnimation : public PelotuneAnimation
{
public:
    RotateAnimation(rezezaz::scene::Node* node, const rezezaz::core::math::Vector3& axis, float from, float to,
                    int duration);
    ~RotateAnimation() override;

    void update(int ms) override;

private:
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> node;
    rezezaz::core::math::Vector3 axis;
    float from;
    float to;
};

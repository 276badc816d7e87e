#include "calibration/view/RotateAnimation.h"

#include "scene/Node.h"

using rezezaz::core::math::Vector3;
using rezezaz::scene::Node;

RotateAnimation::RotateAnimation(Node* node, const Vector3& axis, float from, float to, int duration)
    : PelotuneAnimation(duration), node(node), axis(axis), from(from), to(to)
{
}

RotateAnimation::~RotateAnimation() = default;

void RotateAnimation::update(int ms)
{
    const float t = advance(ms);
    node->setRotate(axis, from + (to - from) * t);
}

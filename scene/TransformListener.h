#pragma once

namespace rezezaz::scene {

class Transform;

// Told after a transform has changed; a node listens to its own local transform.
class TransformListener
{
public:
    virtual ~TransformListener() = default;

    virtual void transformChanged(Transform* transform) = 0;
};

} // namespace rezezaz::scene

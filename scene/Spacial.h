#pragma once

namespace rezezaz::scene {

class Bound;
class Transform;

// A component with a place in the node's frame: told of every world transform change of its node
// and adding its world bound (when it has one) to the node's.
class Spacial
{
public:
    virtual ~Spacial() = default;

    virtual Transform* getTransform() = 0;
    virtual Transform* getWorldTransform() = 0;
    virtual Bound* getBound() = 0;
    virtual Bound* getWorldBound() = 0;
    virtual void transformChanged(Transform* transform) = 0;
};

} // namespace rezezaz::scene

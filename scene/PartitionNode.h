#pragma once

#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "scene/Node.h"

namespace rezezaz::scene {

class SensorResultsListener;

// The node a scene uses as its root (and background): a node that also answers the sensors'
// queries over its children.
class PartitionNode : public Node
{
public:
    explicit PartitionNode(Scene* scene = nullptr);

    const core::Type<Component>* getType() const override;

    virtual bool senseBoundingVolumes(SensorResultsListener* listener, Bound* bound);
    virtual bool sensePotentiallyVisible(SensorResultsListener* listener, const core::math::Vector3& point);
    virtual bool findAmbientForBound(core::math::Vector4& ambient, Bound* bound);
};

} // namespace rezezaz::scene

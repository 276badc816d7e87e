#include "scene/PartitionNode.h"

#include "core/InstantiableType.h"
#include "core/math/Math.h"
#include "scene/SensorResultsListener.h"

namespace rezezaz::scene {

using core::math::Math;

PartitionNode::PartitionNode(Scene* scene) : Node(nullptr)
{
    // Registered after construction, so the node manager sees a finished node.
    if (scene != nullptr) {
        create(scene);
    }
}

const core::Type<Component>* PartitionNode::getType() const
{
    static const core::InstantiableType<PartitionNode, Component> type{core::String("PartitionNode")};
    return &type;
}

bool PartitionNode::senseBoundingVolumes(SensorResultsListener* listener, Bound* query)
{
    bool found = false;
    for (int i = 0; i < nodes.size(); ++i) {
        Node* child = nodes[i].get();
        const Bound* childBound = child->getWorldBound();
        if (query->kind != Bound::Kind_INFINITE && childBound->kind != Bound::Kind_INFINITE) {
            // An empty bound holds no space: its zero sphere would otherwise meet whatever holds its
            // centre.
            const bool empty = query->kind == Bound::Kind_EMPTY || childBound->kind == Bound::Kind_EMPTY;
            const bool meets =
                !empty && ((query->kind == Bound::Kind_BOX && childBound->kind == Bound::Kind_BOX)
                               ? Math::testIntersection(query->box, childBound->box)
                               : Math::testIntersection(query->sphere, childBound->sphere));
            if (!meets) {
                continue;
            }
        }
        found = true;
        const float distance =
            Math::lengthSquared(child->getWorldTransform()->translate - query->sphere.origin);
        if (!listener->resultFound(child, distance)) {
            break;
        }
    }
    return found;
}

bool PartitionNode::sensePotentiallyVisible(SensorResultsListener* listener, const core::math::Vector3& point)
{
    for (int i = 0; i < nodes.size(); ++i) {
        Node* child = nodes[i].get();
        if (!listener->resultFound(child,
                                   Math::lengthSquared(child->getWorldTransform()->translate - point))) {
            break;
        }
    }
    return nodes.size() > 0;
}

bool PartitionNode::findAmbientForBound(core::math::Vector4&, Bound*)
{
    return false;
}

} // namespace rezezaz::scene

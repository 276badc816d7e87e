#include "scene/RenderableSet.h"

#include "core/math/Math.h"
#include "scene/Bound.h"
#include "scene/Camera.h"
#include "scene/LightComponent.h"
#include "scene/Node.h"
#include "scene/PartitionNode.h"
#include "scene/Renderable.h"
#include "scene/Scene.h"
#include "scene/material/Material.h"

namespace rezezaz::scene {

using core::math::Math;

RenderableSet::RenderableSet(Scene* scene) : scene(scene) {}

void RenderableSet::startQueuing()
{
    for (int i = 0; i < queuesInUse; ++i) {
        queues[i].resize(0);
    }
    queuesInUse = 0;
    materialMap.clear();
    layerMap.clear();
    materialQueueOrder.resize(0);
    depthSortedQueueOrder.resize(0);
    lights.resize(0);
    nodes.resize(0);
    partitionNode = scene != nullptr ? scene->getRoot() : nullptr;
}

void RenderableSet::endQueuing()
{
    partitionNode = nullptr;
}

void RenderableSet::queueNode(Node* node)
{
    if (nodeQueueing) {
        nodes.add(node);
    }
}

int RenderableSet::takeQueue()
{
    if (queuesInUse == queues.size()) {
        queues.add(RenderableQueue());
    }
    return queuesInUse++;
}

int RenderableSet::getQueueLayer(int index) const
{
    const RenderableQueue& queue = queues[index];
    const material::Material* first = queue.size() > 0 ? queue[0].material : nullptr;
    return first != nullptr ? first->getLayer() : 0;
}

void RenderableSet::insertByLayer(core::Collection<int>& order, int queue, int layer)
{
    int at = 0;
    while (at < order.size() && getQueueLayer(order[at]) <= layer) {
        ++at;
    }
    order.insert(order.begin() + at, queue);
}

void RenderableSet::queueRenderable(Renderable* renderable)
{
    material::Material* material = renderable->getRenderMaterial();
    Bound* bound = renderable->getRenderBound();
    RenderableQueueItem item;
    item.renderable = renderable;
    item.material = material;
    if (partitionNode == nullptr || !partitionNode->findAmbientForBound(item.ambient, bound)) {
        item.ambient = scene != nullptr ? scene->getAmbient() : core::math::Vector4(0.0f, 0.0f, 0.0f, 1.0f);
    }
    const int layer = material != nullptr ? material->getLayer() : 0;
    if (material != nullptr && material->isDepthSorted()) {
        int index;
        auto found = layerMap.find(layer);
        const bool fresh = found == layerMap.end();
        if (fresh) {
            index = takeQueue();
            layerMap.emplace(layer, index);
        } else {
            index = found->second;
        }
        const core::math::Vector3 from = camera != nullptr ? camera->getPosition() : core::math::Vector3();
        item.depth = bound != nullptr ? Math::lengthSquared(bound->sphere.origin - from) : 0.0f;
        RenderableQueue& queue = queues[index];
        int at = 0;
        while (at < queue.size() && queue[at].depth >= item.depth) {
            ++at;
        }
        queue.insert(queue.begin() + at, item);
        if (fresh) {
            insertByLayer(depthSortedQueueOrder, index, layer);
        }
        return;
    }
    int index;
    auto found = materialMap.find(material);
    const bool fresh = found == materialMap.end();
    if (fresh) {
        index = takeQueue();
        materialMap.emplace(material, index);
    } else {
        index = found->second;
    }
    queues[index].add(item);
    if (fresh) {
        insertByLayer(materialQueueOrder, index, layer);
    }
}

void RenderableSet::queueLight(LightComponent* light)
{
    LightQueueItem item;
    item.light = light;
    Node* node = light->getParent();
    const core::math::Vector3 at = node != nullptr ? node->getWorldTransform()->translate : core::math::Vector3();
    const core::math::Vector3 from = camera != nullptr ? camera->getPosition() : core::math::Vector3();
    item.distance = Math::lengthSquared(at - from);
    int index = 0;
    while (index < lights.size() && lights[index].distance >= item.distance) {
        ++index;
    }
    lights.insert(lights.begin() + index, item);
}

} // namespace rezezaz::scene

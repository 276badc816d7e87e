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

#include <algorithm>
#include <cstring>
#include <functional>

namespace rezezaz::scene {

using core::math::Math;

RenderableSet::RenderableSet(Scene* scene) : scene(scene) {}

void RenderableSet::startQueuing()
{
    for (int i = 0; i < queuesInUse; ++i) {
        queues[i].resize(0);
    }
    queuesInUse = 0;
    materialMap.resize(0);
    layerMap.resize(0);
    materialQueueOrder.resize(0);
    depthSortedQueueOrder.resize(0);
    lights.resize(0);
    nodes.resize(0);
    partitionNode = scene != nullptr ? scene->getRoot() : nullptr;
}

void RenderableSet::endQueuing()
{
    partitionNode = nullptr;
    // One sort per queue at the end, where inserting each item at its place would move half the
    // queue each time.
    for (int i = 0; i < depthSortedQueueOrder.size(); ++i) {
        sortByDepth(queues[depthSortedQueueOrder[i]]);
    }
}

void RenderableSet::sortByDepth(RenderableQueue& queue)
{
    // A stable radix sort of (depth, arrival) keys: far to near, equal depths in arrival order, in
    // time linear in the queue's length and without allocating once the room has grown.
    const int count = queue.size();
    if (count < 2) {
        return;
    }
    if (sortKeys.size() < count) {
        sortKeys.resize(count);
        sortKeysSpare.resize(count);
        sortSpace.resize(count);
    }
    uint64_t* keys = &sortKeys[0];
    uint64_t* spare = &sortKeysSpare[0];
    for (int i = 0; i < count; ++i) {
        // The float's bits turned into an unsigned number that grows with the float, then flipped so
        // that the farthest comes first; 0.0f is added so that -0 and +0 are one depth.
        uint32_t bits = 0;
        const float depth = queue[i].depth + 0.0f;
        std::memcpy(&bits, &depth, sizeof(bits));
        const uint32_t ordered = (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
        keys[i] = (static_cast<uint64_t>(~ordered) << 32) | static_cast<uint32_t>(i);
    }
    // Four passes of a byte over the depth half of the key; the arrival half only rides along.
    for (int shift = 32; shift < 64; shift += 8) {
        int counts[256] = {};
        for (int i = 0; i < count; ++i) {
            ++counts[(keys[i] >> shift) & 255];
        }
        int total = 0;
        for (int& bucket : counts) {
            const int here = bucket;
            bucket = total;
            total += here;
        }
        for (int i = 0; i < count; ++i) {
            spare[counts[(keys[i] >> shift) & 255]++] = keys[i];
        }
        std::swap(keys, spare);
    }
    for (int i = 0; i < count; ++i) {
        sortSpace[i] = queue[static_cast<int>(keys[i] & 0xFFFFFFFFu)];
    }
    std::copy(&sortSpace[0], &sortSpace[0] + count, &queue[0]);
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

template <class Entry, class Key>
int RenderableSet::findOrAddQueue(core::Collection<Entry>& map, Key key, bool& fresh)
{
    int low = 0;
    int high = map.size();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (std::less<Key>()(map[middle].key, key)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    fresh = low == map.size() || map[low].key != key;
    if (!fresh) {
        return map[low].queue;
    }
    Entry entry;
    entry.key = key;
    entry.queue = takeQueue();
    map.insert(map.begin() + low, entry);
    return entry.queue;
}

int RenderableSet::getQueueLayer(int index) const
{
    const RenderableQueue& queue = queues[index];
    const material::Material* first = queue.size() > 0 ? queue[0].material : nullptr;
    return first != nullptr ? first->getLayer() : 0;
}

void RenderableSet::insertByLayer(core::Collection<int>& order, int queue, int layer)
{
    // The order runs by layer, so the first entry of a greater layer is found by halving.
    int low = 0;
    int high = order.size();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (getQueueLayer(order[middle]) <= layer) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    order.insert(order.begin() + low, queue);
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
        bool fresh = false;
        const int index = findOrAddQueue(layerMap, layer, fresh);
        const core::math::Vector3 from = camera != nullptr ? camera->getPosition() : core::math::Vector3();
        item.depth = bound != nullptr ? Math::lengthSquared(bound->sphere.origin - from) : 0.0f;
        queues[index].add(item);
        if (fresh) {
            insertByLayer(depthSortedQueueOrder, index, layer);
        }
        return;
    }
    bool fresh = false;
    const int index = findOrAddQueue(materialMap, material, fresh);
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
    const core::math::Vector3 at =
        node != nullptr ? node->getWorldTransform()->translate : core::math::Vector3();
    const core::math::Vector3 from = camera != nullptr ? camera->getPosition() : core::math::Vector3();
    item.distance = Math::lengthSquared(at - from);
    int index = 0;
    while (index < lights.size() && lights[index].distance >= item.distance) {
        ++index;
    }
    lights.insert(lights.begin() + index, item);
}

} // namespace rezezaz::scene

#pragma once

#include "core/Collection.h"
#include <cstdint>
#include "core/Object.h"
#include "core/math/Vector4.h"

namespace rezezaz::scene {

class Camera;
class LightComponent;
class Node;
class PartitionNode;
class Renderable;
class Scene;

namespace material {
class Material;
}

// The render queue of one camera's view: filled while the scene graph is walked with the visited
// nodes, the lights (farthest first) and the drawable pieces, one queue per ordinary material and
// one depth-sorted queue (far to near) per layer of materials drawn back to front. Its storage is
// kept from frame to frame.
class RenderableSet : public core::Object
{
public:
    struct RenderableQueueItem
    {
        Renderable* renderable = nullptr;
        material::Material* material = nullptr;
        core::math::Vector4 ambient;
        float depth = 0.0f;
    };

    struct LightQueueItem
    {
        LightComponent* light = nullptr;
        float distance = 0.0f;
    };

    using RenderableQueue = core::Collection<RenderableQueueItem>;

    explicit RenderableSet(Scene* scene);

    virtual void setCamera(Camera* camera) { this->camera = camera; }
    virtual void startQueuing();
    // Puts the depth-sorted queues in their order: until then they hold their items as they came.
    virtual void endQueuing();
    virtual void queueNode(Node* node);
    virtual void queueRenderable(Renderable* renderable);
    virtual void queueLight(LightComponent* light);

    void setNodeQueueing(bool queueing) { nodeQueueing = queueing; }
    Camera* getCamera() const { return camera; }
    int getNumQueues() const { return queuesInUse; }
    const RenderableQueue& getQueue(int index) const { return queues[index]; }
    const core::Collection<int>& getMaterialQueueOrder() const { return materialQueueOrder; }
    const core::Collection<int>& getDepthSortedQueueOrder() const { return depthSortedQueueOrder; }
    const core::Collection<LightQueueItem>& getLights() const { return lights; }
    const core::Collection<Node*>& getNodes() const { return nodes; }

    // The layer a queue is drawn in: that of its first item's material, 0 without one.
    int getQueueLayer(int index) const;

private:
    struct MaterialEntry
    {
        material::Material* key = nullptr;
        int queue = 0;
    };
    struct LayerEntry
    {
        int key = 0;
        int queue = 0;
    };

    // The queue of the key, taking the next unused one for a new key; `fresh` tells which.
    template <class Entry, class Key> int findOrAddQueue(core::Collection<Entry>& map, Key key, bool& fresh);
    int takeQueue();
    void insertByLayer(core::Collection<int>& order, int queue, int layer);
    // Orders a depth-sorted queue from far to near, items of equal depth in arrival order.
    void sortByDepth(RenderableQueue& queue);

    Scene* scene;
    PartitionNode* partitionNode = nullptr;
    Camera* camera = nullptr;
    core::Collection<RenderableQueue> queues;
    int queuesInUse = 0;
    // Sorted by key; kept as arrays so that their storage, too, lasts from frame to frame.
    core::Collection<MaterialEntry> materialMap;
    core::Collection<LayerEntry> layerMap;
    core::Collection<int> materialQueueOrder;
    core::Collection<int> depthSortedQueueOrder;
    core::Collection<LightQueueItem> lights;
    core::Collection<Node*> nodes;
    bool nodeQueueing = false;
    // Room for sorting a depth-sorted queue; only grown, like the queues.
    RenderableQueue sortSpace;
    core::Collection<uint64_t> sortKeys;
    core::Collection<uint64_t> sortKeysSpare;
};

} // namespace rezezaz::scene

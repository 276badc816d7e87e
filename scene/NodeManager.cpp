#include "scene/NodeManager.h"

#include "scene/Node.h"

namespace rezezaz::scene {

NodeManager::NodeManager(Scene* scene) : scene(scene)
{
    nodes.add(nullptr);
}

void NodeManager::destroy()
{
    // Free handles point into the table, so they go with it.
    nodes.clear();
    freeHandles.clear();
}

void NodeManager::nodeCreated(Node* node)
{
    if (node->getHandle() > 0) {
        return;
    }
    int handle;
    if (freeHandles.size() > 0) {
        handle = freeHandles[freeHandles.size() - 1];
        freeHandles.resize(freeHandles.size() - 1);
    } else {
        // Index 0 stays unused, also after the table was emptied.
        handle = nodes.size() > 0 ? nodes.size() : 1;
    }
    // Grown an entry at a time through add, which doubles the storage: growing to the exact size
    // would copy the whole table for every node created.
    while (nodes.size() <= handle) {
        nodes.add(nullptr);
    }
    nodes[handle] = node;
    node->setHandle(handle);
}

void NodeManager::nodeDestroyed(Node* node)
{
    const int handle = node->getHandle();
    if (handle <= 0 || handle >= nodes.size() || nodes[handle] != node) {
        return;
    }
    nodes[handle] = nullptr;
    freeHandles.add(handle);
}

Node* NodeManager::getNode(int handle) const
{
    return handle > 0 && handle < nodes.size() ? nodes[handle] : nullptr;
}

} // namespace rezezaz::scene

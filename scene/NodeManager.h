#pragma once

#include "core/Collection.h"
#include "core/Object.h"

namespace rezezaz::scene {

class Node;
class Scene;

// Gives every node created in a scene a small integer handle, reusing the handles of destroyed
// nodes. Index 0 is never handed out, so 0 means "not registered". Nodes are not owned.
class NodeManager : public core::Object
{
public:
    explicit NodeManager(Scene* scene);

    void destroy() override;
    virtual void nodeCreated(Node* node);
    virtual void nodeDestroyed(Node* node);

    Node* getNode(int handle) const;
    Scene* getScene() const { return scene; }
    int getTableLength() const { return nodes.size(); }
    int getNumFreeHandles() const { return freeHandles.size(); }

private:
    Scene* scene;
    core::Collection<int> freeHandles;
    core::Collection<Node*> nodes;
};

} // namespace rezezaz::scene

#pragma once

#include "core/Interface.h"
#include "core/IntrusivePointer.h"

namespace rezezaz::scene {

class Node;
class Scene;
class SensorResultsListener;

namespace sensor {

class SensorResults;

// A query over a scene: walks the tree from the root, depth first, and reports every node that its
// per-node test accepts. The base accepts none; subclasses supply the test. It names its scene
// without owning it (the scene's nodes hold the scene) and owns the results object that `sense()`
// fills.
class Sensor : public core::Interface
{
public:
    explicit Sensor(Scene* scene);
    ~Sensor() override;

    // The results object (made on first use), emptied and filled again by this query.
    virtual core::IntrusivePointer<SensorResults> sense();
    // True when anything was reported (a stopped query counts as such).
    virtual bool sense(SensorResultsListener* listener);
    // 1 when the subtree reported something, 0 when not, -1 when the listener stopped the query.
    virtual int senseNodes(Node* node, SensorResultsListener* listener);
    virtual bool senseNode(Node* node);

    Scene* getScene() const { return scene; }

protected:
    Scene* scene;
    core::IntrusivePointer<SensorResults> results;
};

} // namespace sensor
} // namespace rezezaz::scene

#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "scene/SensorResultsListener.h"

namespace rezezaz::scene {

class Node;

namespace sensor {

// The ready-made listener of a sensing query: keeps the nodes found whose scope meets its own, in
// ascending order of node handle (equal handles in the order found), and never stops a query. It
// owns the nodes it keeps until the next query begins.
class SensorResults : public core::Object, public SensorResultsListener
{
public:
    SensorResults();
    ~SensorResults() override;

    void sensingBeginning() override;
    // Keeps the node when its scope meets the results' scope; the distance is not kept.
    bool resultFound(Node* node, float distance) override;
    void sensingEnding() override {}

    void setScope(int scope) { this->scope = scope; }
    int getScope() const { return scope; }
    int getNumResults() const { return results.size(); }
    Node* getResult(int index) const { return results[index].get(); }

private:
    int scope = -1;
    core::Collection<core::IntrusivePointer<Node>> results;
};

} // namespace sensor
} // namespace rezezaz::scene

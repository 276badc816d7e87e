#include "scene/sensor/Sensor.h"

#include "scene/Node.h"
#include "scene/Scene.h"
#include "scene/SensorResultsListener.h"
#include "scene/sensor/SensorResults.h"

namespace rezezaz::scene::sensor {

Sensor::Sensor(Scene* scene) : scene(scene) {}

Sensor::~Sensor() = default;

core::IntrusivePointer<SensorResults> Sensor::sense()
{
    if (!results) {
        results = new SensorResults();
    }
    sense(results.get());
    return results;
}

bool Sensor::sense(SensorResultsListener* listener)
{
    listener->sensingBeginning();
    // A destroyed scene has no root, and so nothing to find.
    Node* root = scene != nullptr ? scene->getRoot() : nullptr;
    const int found = root != nullptr ? senseNodes(root, listener) : 0;
    listener->sensingEnding();
    return found != 0;
}

int Sensor::senseNodes(Node* node, SensorResultsListener* listener)
{
    bool found = false;
    if (senseNode(node)) {
        if (!listener->resultFound(node, 0.0f)) {
            return -1;
        }
        found = true;
    }
    const core::Collection<core::IntrusivePointer<Node>>& children = node->getNodes();
    for (int i = 0; i < children.size(); ++i) {
        // Held: the listener may take the child out of the tree.
        const core::IntrusivePointer<Node> child = children[i];
        const int result = senseNodes(child.get(), listener);
        if (result < 0) {
            return -1;
        }
        if (result > 0) {
            found = true;
        }
    }
    return found ? 1 : 0;
}

bool Sensor::senseNode(Node*)
{
    return false;
}

} // namespace rezezaz::scene::sensor

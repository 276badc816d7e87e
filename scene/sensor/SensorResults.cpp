#include "scene/sensor/SensorResults.h"

#include "scene/Node.h"

namespace rezezaz::scene::sensor {

SensorResults::SensorResults() = default;

SensorResults::~SensorResults() = default;

void SensorResults::sensingBeginning()
{
    results.clear();
}

bool SensorResults::resultFound(Node* node, float)
{
    if ((node->getScope() & scope) == 0) {
        return true;
    }
    // After every node whose handle is at most this one's: the first larger handle, by halving.
    const int handle = node->getHandle();
    int low = 0;
    int high = results.size();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (results[middle]->getHandle() <= handle) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    results.insert(results.begin() + low, core::IntrusivePointer<Node>(node));
    return true;
}

} // namespace rezezaz::scene::sensor

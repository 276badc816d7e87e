#include "scene/sensor/BoundingVolumeSensor.h"

#include "scene/PartitionNode.h"
#include "scene/Scene.h"
#include "scene/SensorResultsListener.h"
#include "scene/sensor/SensorResults.h"

namespace rezezaz::scene::sensor {

BoundingVolumeSensor::BoundingVolumeSensor(Scene* scene) : Sensor(scene), bound(new Bound()) {}

BoundingVolumeSensor::~BoundingVolumeSensor() = default;

bool BoundingVolumeSensor::sense(SensorResultsListener* listener)
{
    listener->sensingBeginning();
    PartitionNode* root = scene != nullptr ? scene->getRoot() : nullptr;
    const bool found = root != nullptr && root->senseBoundingVolumes(listener, bound.get());
    listener->sensingEnding();
    return found;
}

core::IntrusivePointer<SensorResults> BoundingVolumeSensor::sense()
{
    return Sensor::sense();
}

void BoundingVolumeSensor::setBound(Bound* value)
{
    bound = value != nullptr ? value : new Bound();
}

} // namespace rezezaz::scene::sensor

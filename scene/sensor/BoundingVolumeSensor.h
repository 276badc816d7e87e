#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "scene/Bound.h"
#include "scene/sensor/Sensor.h"

namespace rezezaz::scene::sensor {

// A sensor that asks the scene's root partition for the child nodes whose world bounds meet the
// sensing bound, each reported with its squared distance from the centre of the bound's sphere.
// Owns its sensing bound (empty when made, so it finds nothing until given one).
class BoundingVolumeSensor : public core::Object, public Sensor
{
public:
    explicit BoundingVolumeSensor(Scene* scene);
    ~BoundingVolumeSensor() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // True when at least one node was reported.
    bool sense(SensorResultsListener* listener) override;
    core::IntrusivePointer<SensorResults> sense() override;

    // The bound is held, not copied; null stands for an empty bound.
    void setBound(Bound* bound);
    Bound* getBound() const { return bound.get(); }

private:
    core::IntrusivePointer<Bound> bound;
};

} // namespace rezezaz::scene::sensor

#pragma once

#include "core/Object.h"
#include "core/math/AABox.h"
#include "core/math/Sphere.h"

namespace rezezaz::scene {

class Transform;

// The extent of a node, a light or a drawable piece: empty, a box, a sphere or everything. Box and
// sphere are both kept, so whichever kind a test needs is at hand.
class Bound : public core::Object
{
public:
    enum Kind : int
    {
        Kind_EMPTY = 0,
        Kind_BOX = 1,
        Kind_SPHERE = 2,
        Kind_INFINITE = 3,
    };

    Bound() = default;

    int kind = Kind_EMPTY;
    core::math::Sphere sphere{core::math::Vector3(0.0f, 0.0f, 0.0f), 0.0f};
    core::math::AABox box;

    void set(const Bound& other);
    void setEmpty();
    void setInfinite();
    // A box bound; its sphere is the box's bounding sphere.
    void setBox(const core::math::AABox& value);
    // A sphere bound; its box is the sphere's bounding box.
    void setSphere(const core::math::Sphere& value);

    // This = `local` carried into the frame of `transform`.
    void transform(const Bound& local, const Transform& transform);
    // Grows this bound to hold `other` as well.
    void merge(const Bound& other, float epsilon);

    // The smallest sphere holding both spheres.
    static core::math::Sphere mergeSpheres(const core::math::Sphere& a, const core::math::Sphere& b,
                                           float epsilon);
};

} // namespace rezezaz::scene

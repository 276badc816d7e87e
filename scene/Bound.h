#pragma once

#include "core/Object.h"
#include "core/math/AABox.h"
#include "core/math/Sphere.h"

#include <algorithm>
#include <cmath>

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

    // This = `local` carried into the frame of `t`.
    void transform(const Bound& local, const Transform& t) { transform(local, t, true); }
    // The same, leaving a box's sphere unformed when `boxSphere` is false, for a caller that merges
    // more boxes into it first and then forms the sphere once (formBoxSphere).
    void transform(const Bound& local, const Transform& t, bool boxSphere);
    // Grows this bound to hold `other` as well.
    void merge(const Bound& other, float epsilon);

    // The box grown to hold `other`, as merging two boxes grows it; the sphere is left as it was.
    void growBox(const core::math::AABox& other)
    {
        box.minimum = core::math::Vector3(std::min(box.minimum.x, other.minimum.x), std::min(box.minimum.y, other.minimum.y),
                                          std::min(box.minimum.z, other.minimum.z));
        box.maximum = core::math::Vector3(std::max(box.maximum.x, other.maximum.x), std::max(box.maximum.y, other.maximum.y),
                                          std::max(box.maximum.z, other.maximum.z));
    }
    // The sphere becomes the box's bounding sphere.
    void formBoxSphere()
    {
        const core::math::Vector3 diagonal = box.maximum - box.minimum;
        sphere.origin = (box.minimum + box.maximum) * 0.5f;
        sphere.radius = std::sqrt(diagonal.x * diagonal.x + diagonal.y * diagonal.y + diagonal.z * diagonal.z) * 0.5f;
    }

    // The smallest sphere holding both spheres.
    static core::math::Sphere mergeSpheres(const core::math::Sphere& a, const core::math::Sphere& b,
                                           float epsilon);
};

} // namespace rezezaz::scene

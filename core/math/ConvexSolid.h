#pragma once

#include "core/Collection.h"
#include "core/math/Plane.h"

namespace rezezaz {
namespace core {
namespace math {

// A convex volume given by its bounding planes, normals pointing outward: the points p with
// normal . p <= distance for every plane. Copies own their planes. Empty by default.
struct ConvexSolid
{
    Collection<Plane> planes;

    ConvexSolid() = default;
    ConvexSolid(const Plane* list, int count)
    {
        planes.reserve(count);
        for (int i = 0; i < count; ++i) {
            planes.add(list[i]);
        }
    }

    // Takes other's planes into the storage already held, so a solid reused as scratch space
    // stops allocating once it has held the largest list.
    void assign(const ConvexSolid& other)
    {
        if (this == &other) {
            return;
        }
        planes.resize(other.planes.size());
        for (int i = 0; i < other.planes.size(); ++i) {
            planes[i] = other.planes[i];
        }
    }

    bool operator==(const ConvexSolid& other) const
    {
        if (planes.size() != other.planes.size()) {
            return false;
        }
        for (int i = 0; i < planes.size(); ++i) {
            if (planes[i] != other.planes[i]) {
                return false;
            }
        }
        return true;
    }
    bool operator!=(const ConvexSolid& other) const { return !(*this == other); }
};

} // namespace math
} // namespace core
} // namespace rezezaz

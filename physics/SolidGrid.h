#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/math/AABox.h"

#include <cstdint>
#include <vector>

namespace rezezaz {
namespace physics {

class Solid;

// The simulator's candidate search for many solids: a uniform grid of cubic cells, hashed into a
// fixed table, that lists each solid in the (at most eight) cells its world bound meets. Solids too
// large for a cell, or with a bound that is not finite, sit in a list of their own that every search
// tests. A search answers exactly what a scan of the simulator's list would: the solids whose world
// bound meets the box, in list order. The grid is rebuilt from the list after solids are added or
// removed and follows each solid as it moves; storage grows only when solids are added, so searches
// and moves allocate nothing. Owned by the simulator; it names (without owning) the listed solids.
class SolidGrid
{
public:
    // Room for the given number of solids; the only call that allocates.
    void reserve(int solids);
    // The list changed: the next search rebuilds from it.
    void invalidate() { valid_ = false; }
    bool isValid() const { return valid_; }
    // Lists the solids afresh, in this order, choosing the cell size from their bounds.
    void rebuild(const core::Collection<core::IntrusivePointer<Solid>>& solids);
    // Follows a change of the solid's world bound.
    void moved(Solid* solid);
    // Stores at most maxSolids of the solids whose world bound meets the box, in list order, and
    // returns how many there are; -1 when the box spans too many cells for the grid to be quicker
    // than a scan.
    int find(const core::math::AABox& box, Solid** solids, int maxSolids);

    float getCellSize() const { return cellSize_; }

private:
    static constexpr int MAX_NODES_PER_SOLID = 8;

    struct Entry
    {
        Solid* solid = nullptr;
        int32_t low[3] = {0, 0, 0};
        int32_t high[3] = {-1, -1, -1};
        // Index in the large list, or -1 when the solid is in cells.
        int32_t large = -1;
    };

    struct Node
    {
        int32_t entry = -1;
        int32_t previous = -1;
        int32_t next = -1;
        int32_t bucket = -1;
    };

    // The cell range of a bound; false when it is not finite or spans more than two cells per axis.
    bool cellRange(const core::math::AABox& box, int32_t* low, int32_t* high) const;
    uint32_t bucketOf(int32_t x, int32_t y, int32_t z) const;
    void insert(int32_t index);
    void erase(int32_t index);

    bool valid_ = false;
    float cellSize_ = 1.0f;
    float inverseCellSize_ = 1.0f;
    uint32_t bucketMask_ = 0;
    uint32_t stamp_ = 0;
    int32_t count_ = 0;
    std::vector<Entry> entries_;
    std::vector<Node> nodes_;
    std::vector<int32_t> buckets_;
    std::vector<int32_t> large_;
    std::vector<uint32_t> stamps_;
    std::vector<int32_t> found_;
    std::vector<float> sizes_;
};

} // namespace physics
} // namespace rezezaz

#include "physics/SolidGrid.h"

#include "core/math/Math.h"
#include "physics/Solid.h"

#include <algorithm>
#include <cmath>

namespace rezezaz {
namespace physics {

using core::math::AABox;
using core::math::Math;

namespace {

// Cell coordinates stay far inside the 32-bit range, so that ranges and hashes never overflow.
constexpr float MAX_CELL_COORDINATE = 1.0e9f;

bool finite(const AABox& box)
{
    return std::isfinite(box.minimum.x) && std::isfinite(box.minimum.y) && std::isfinite(box.minimum.z) &&
           std::isfinite(box.maximum.x) && std::isfinite(box.maximum.y) && std::isfinite(box.maximum.z);
}

float largestSide(const AABox& box)
{
    return std::fmax(box.maximum.x - box.minimum.x,
                     std::fmax(box.maximum.y - box.minimum.y, box.maximum.z - box.minimum.z));
}

} // namespace

void SolidGrid::reserve(int solids)
{
    if (solids <= static_cast<int>(entries_.size())) {
        return;
    }
    // Room to spare, so that adding solids one by one does not reallocate every time.
    const size_t room = static_cast<size_t>(solids) + static_cast<size_t>(solids) / 2 + 16;
    entries_.resize(room);
    nodes_.resize(room * MAX_NODES_PER_SOLID);
    large_.reserve(room);
    stamps_.resize(room, 0);
    found_.reserve(room);
    sizes_.reserve(room);
    // About four buckets per listed cell at most, a power of two.
    size_t buckets = 64;
    while (buckets < room * 4) {
        buckets *= 2;
    }
    buckets_.assign(buckets, -1);
    bucketMask_ = static_cast<uint32_t>(buckets - 1);
    valid_ = false;
}

void SolidGrid::rebuild(const core::Collection<core::IntrusivePointer<Solid>>& solids)
{
    const int count = solids.size();
    reserve(count);
    count_ = count;

    // The cell is twice the median solid's size: most solids then meet at most eight cells, and a
    // search for a solid's sweep visits few.
    sizes_.clear();
    for (int i = 0; i < count; ++i) {
        const AABox& bound = solids[i]->getWorldBound();
        if (finite(bound)) {
            sizes_.push_back(largestSide(bound));
        }
    }
    float cell = 0.0f;
    if (!sizes_.empty()) {
        auto middle = sizes_.begin() + static_cast<std::ptrdiff_t>(sizes_.size() / 2);
        std::nth_element(sizes_.begin(), middle, sizes_.end());
        cell = 2.0f * *middle;
    }
    if (!(cell > 1.0e-6f) || !std::isfinite(cell)) {
        cell = 1.0f;
    }
    cellSize_ = cell;
    inverseCellSize_ = 1.0f / cell;

    std::fill(buckets_.begin(), buckets_.end(), -1);
    large_.clear();
    for (int i = 0; i < count; ++i) {
        Entry& entry = entries_[static_cast<size_t>(i)];
        entry = Entry();
        entry.solid = solids[i].get();
        entry.solid->gridIndex_ = i;
        insert(i);
    }
    valid_ = true;
}

bool SolidGrid::cellRange(const AABox& box, int32_t* low, int32_t* high) const
{
    if (!finite(box)) {
        return false;
    }
    const float minimum[3] = {box.minimum.x, box.minimum.y, box.minimum.z};
    const float maximum[3] = {box.maximum.x, box.maximum.y, box.maximum.z};
    for (int axis = 0; axis < 3; ++axis) {
        const float a = std::floor(minimum[axis] * inverseCellSize_);
        const float b = std::floor(maximum[axis] * inverseCellSize_);
        if (!(a >= -MAX_CELL_COORDINATE && b <= MAX_CELL_COORDINATE && b - a <= 1.0f)) {
            return false;
        }
        low[axis] = static_cast<int32_t>(a);
        high[axis] = static_cast<int32_t>(b);
    }
    return true;
}

uint32_t SolidGrid::bucketOf(int32_t x, int32_t y, int32_t z) const
{
    const uint32_t hash = (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u) ^
                          (static_cast<uint32_t>(z) * 83492791u);
    return hash & bucketMask_;
}

void SolidGrid::insert(int32_t index)
{
    Entry& entry = entries_[static_cast<size_t>(index)];
    if (!cellRange(entry.solid->getWorldBound(), entry.low, entry.high)) {
        entry.high[0] = entry.low[0] - 1;
        entry.large = static_cast<int32_t>(large_.size());
        large_.push_back(index);
        return;
    }
    entry.large = -1;
    int32_t node = index * MAX_NODES_PER_SOLID;
    for (int32_t x = entry.low[0]; x <= entry.high[0]; ++x) {
        for (int32_t y = entry.low[1]; y <= entry.high[1]; ++y) {
            for (int32_t z = entry.low[2]; z <= entry.high[2]; ++z) {
                const uint32_t bucket = bucketOf(x, y, z);
                Node& n = nodes_[static_cast<size_t>(node)];
                n.entry = index;
                n.bucket = static_cast<int32_t>(bucket);
                n.previous = -1;
                n.next = buckets_[bucket];
                if (n.next >= 0) {
                    nodes_[static_cast<size_t>(n.next)].previous = node;
                }
                buckets_[bucket] = node;
                ++node;
            }
        }
    }
}

void SolidGrid::erase(int32_t index)
{
    Entry& entry = entries_[static_cast<size_t>(index)];
    if (entry.large >= 0) {
        // The last of the large list takes the freed place.
        const int32_t last = large_.back();
        large_[static_cast<size_t>(entry.large)] = last;
        entries_[static_cast<size_t>(last)].large = entry.large;
        large_.pop_back();
        entry.large = -1;
        return;
    }
    const int32_t cells = (entry.high[0] - entry.low[0] + 1) * (entry.high[1] - entry.low[1] + 1) *
                          (entry.high[2] - entry.low[2] + 1);
    for (int32_t k = 0; k < cells; ++k) {
        Node& n = nodes_[static_cast<size_t>(index * MAX_NODES_PER_SOLID + k)];
        if (n.previous >= 0) {
            nodes_[static_cast<size_t>(n.previous)].next = n.next;
        } else {
            buckets_[static_cast<size_t>(n.bucket)] = n.next;
        }
        if (n.next >= 0) {
            nodes_[static_cast<size_t>(n.next)].previous = n.previous;
        }
        n = Node();
    }
}

void SolidGrid::moved(Solid* solid)
{
    const int32_t index = solid->gridIndex_;
    if (!valid_ || index < 0 || index >= count_ || entries_[static_cast<size_t>(index)].solid != solid) {
        return;
    }
    Entry& entry = entries_[static_cast<size_t>(index)];
    int32_t low[3];
    int32_t high[3];
    const bool inCells = cellRange(solid->getWorldBound(), low, high);
    if (inCells && entry.large < 0 && low[0] == entry.low[0] && low[1] == entry.low[1] &&
        low[2] == entry.low[2] && high[0] == entry.high[0] && high[1] == entry.high[1] &&
        high[2] == entry.high[2]) {
        return;
    }
    if (!inCells && entry.large >= 0) {
        return;
    }
    erase(index);
    insert(index);
}

int SolidGrid::find(const AABox& box, Solid** solids, int maxSolids)
{
    if (!valid_) {
        return -1;
    }
    int32_t low[3];
    int32_t high[3];
    if (!finite(box)) {
        return -1;
    }
    int64_t cells = 1;
    const float minimum[3] = {box.minimum.x, box.minimum.y, box.minimum.z};
    const float maximum[3] = {box.maximum.x, box.maximum.y, box.maximum.z};
    for (int axis = 0; axis < 3; ++axis) {
        const float a = std::floor(minimum[axis] * inverseCellSize_);
        const float b = std::floor(maximum[axis] * inverseCellSize_);
        if (!(a >= -MAX_CELL_COORDINATE && b <= MAX_CELL_COORDINATE && b >= a)) {
            return -1;
        }
        low[axis] = static_cast<int32_t>(a);
        high[axis] = static_cast<int32_t>(b);
        cells *= static_cast<int64_t>(high[axis]) - low[axis] + 1;
        // Walking more cells than there are solids is slower than the scan.
        if (cells > count_) {
            return -1;
        }
    }

    if (++stamp_ == 0) {
        std::fill(stamps_.begin(), stamps_.end(), 0u);
        stamp_ = 1;
    }
    found_.clear();
    for (int32_t x = low[0]; x <= high[0]; ++x) {
        for (int32_t y = low[1]; y <= high[1]; ++y) {
            for (int32_t z = low[2]; z <= high[2]; ++z) {
                for (int32_t node = buckets_[bucketOf(x, y, z)]; node >= 0;
                     node = nodes_[static_cast<size_t>(node)].next) {
                    const int32_t index = nodes_[static_cast<size_t>(node)].entry;
                    if (stamps_[static_cast<size_t>(index)] == stamp_) {
                        continue;
                    }
                    stamps_[static_cast<size_t>(index)] = stamp_;
                    if (Math::testIntersection(entries_[static_cast<size_t>(index)].solid->getWorldBound(),
                                               box)) {
                        found_.push_back(index);
                    }
                }
            }
        }
    }
    for (const int32_t index : large_) {
        if (Math::testIntersection(entries_[static_cast<size_t>(index)].solid->getWorldBound(), box)) {
            found_.push_back(index);
        }
    }
    // The scan's order: the list's.
    std::sort(found_.begin(), found_.end());
    const int count = static_cast<int>(found_.size());
    for (int i = 0; i < count && i < maxSolids; ++i) {
        solids[i] = entries_[static_cast<size_t>(found_[static_cast<size_t>(i)])].solid;
    }
    return count;
}

} // namespace physics
} // namespace rezezaz

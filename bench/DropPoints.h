#pragma once

#include "core/math/Vector3.h"

#include <cmath>

namespace benchdata {

// Where ball i of count starts in the physics benchmarks: a square grid of 1.5 spacing centred on the
// origin, heights 1 to 2.5, the same for every engine.
inline rezezaz::core::math::Vector3 dropPoint(int i, int count)
{
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const float offset = 0.75f * static_cast<float>(side - 1);
    return rezezaz::core::math::Vector3(1.5f * static_cast<float>(i % side) - offset,
                                        1.5f * static_cast<float>(i / side) - offset,
                                        1.0f + 0.25f * static_cast<float>(i % 7));
}

} // namespace benchdata

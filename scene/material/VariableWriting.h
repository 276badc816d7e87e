#pragma once

#include "core/math/Vector4.h"

#include <cstring>

namespace rezezaz::scene::material {

// A variable buffer holds its values at any 4-byte offset, so values go in byte-wise.
inline void writeVector(unsigned char* data, const core::math::Vector4& value)
{
    const float values[4] = {value.x, value.y, value.z, value.w};
    std::memcpy(data, values, sizeof values);
}

} // namespace rezezaz::scene::material

#pragma once

#include <algorithm>

// The range of a user slope the program writes to a power meter. A slope is sent as slope x 65536
// in three bytes, so a value far outside this range would wrap into a corrupt calibration; every
// page that computes a new slope (a chainring change, a calibration result) keeps it inside.
constexpr float kMinimumSlope = 3.0f;
constexpr float kMaximumSlope = 25.0f;

// `slope` limited to the range above. Callers reject a non-finite slope before: NaN has no place in
// the range and is returned as it is.
inline float clampSlope(float slope)
{
    return std::clamp(slope, kMinimumSlope, kMaximumSlope);
}

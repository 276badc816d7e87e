#pragma once

#include "ant/babel/RevolutionData.h"

namespace vbabel::data {

// Wheel speed from any page: event-time and revolution deltas (16-bit counters, differenced modulo
// 65536) and the speed in revolutions per minute (fields 10 to 12).
class SpeedData : public RevolutionData
{
public:
    SpeedData() : RevolutionData(10) {}
};

} // namespace vbabel::data

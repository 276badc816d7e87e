#pragma once

#include "ant/babel/Field.h"
#include "ant/babel/RevolutionData.h"

namespace vbabel::data {

// Wheel speed from any page: event-time and revolution deltas (16-bit counters, differenced modulo
// 65536) and the speed in revolutions per minute (the speed fields).
class SpeedData : public RevolutionData
{
public:
    SpeedData() : RevolutionData(SpeedEventTime) {}
};

} // namespace vbabel::data

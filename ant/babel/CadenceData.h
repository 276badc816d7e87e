#pragma once

#include "ant/babel/Field.h"
#include "ant/babel/RevolutionData.h"

namespace vbabel::data {

// Crank cadence from any page: event-time and revolution deltas (16-bit counters, differenced modulo
// 65536) and the cadence in revolutions per minute (the cadence fields). A power decoder owns one and
// only sets its cadence.
class CadenceData : public RevolutionData
{
public:
    CadenceData() : RevolutionData(CadenceEventTime) {}

    // Stores a cadence computed elsewhere and sets the flag; the deltas stay as they are.
    void setCadence(float value);
};

} // namespace vbabel::data

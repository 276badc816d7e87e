#pragma once

#include "ant/babel/RevolutionData.h"

namespace vbabel::data {

// Crank cadence from any page: event-time and revolution deltas (16-bit counters, differenced modulo
// 65536) and the cadence in revolutions per minute (fields 13 to 15). A power decoder owns one and
// only sets its cadence.
class CadenceData : public RevolutionData
{
public:
    CadenceData() : RevolutionData(13) {}

    // Stores a cadence computed elsewhere and sets the flag; the deltas stay as they are.
    void setCadence(float value);
};

} // namespace vbabel::data

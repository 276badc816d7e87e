#pragma once

#include "ant/babel/AccumValue.h"
#include "ant/babel/SportData.h"

namespace vbabel::data {

// Crank cadence from any page: event-time and revolution deltas (16-bit counters, differenced modulo
// 65536) and the cadence in revolutions per minute (fields 13 to 15). A power decoder owns one and
// only sets its cadence.
class CadenceData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

    // Takes one reading of the event time (1/1024 s) and the revolution count and sets the flag.
    void update(int eventTime, int revolutions);
    // Stores a cadence computed elsewhere and sets the flag; the deltas stay as they are.
    void setCadence(float value);

private:
    bool received = false;
    AccumValue<int> time{65536};
    AccumValue<int> revolutionCount{65536};
    Value<float> rpm;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/AccumValue.h"
#include "ant/babel/SportData.h"

namespace vbabel::data {

// A revolution sensor read from any page: event-time and revolution deltas (16-bit counters,
// differenced modulo 65536) and the rate in revolutions per minute, served as three consecutive
// fields from `firstField` on (time, revolutions, rate). Wheel speed and crank cadence share it.
class RevolutionData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

    // Takes one reading of the event time (1/1024 s) and the revolution count and sets the flag.
    void update(int eventTime, int revolutions);

protected:
    explicit RevolutionData(int firstField) : firstField(firstField) {}

    bool received = false;
    AccumValue<int> time{65536};
    AccumValue<int> revolutionCount{65536};
    Value<float> rpm;

private:
    int firstField;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/AccumValue.h"
#include "ant/babel/SportData.h"

namespace vbabel::data {

// Wheel speed from any page: event-time and revolution deltas (16-bit counters, differenced modulo
// 65536) and the speed in revolutions per minute (fields 10 to 12).
class SpeedData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

    // Takes one reading of the event time (1/1024 s) and the revolution count and sets the flag.
    void update(int eventTime, int revolutions);

private:
    bool received = false;
    AccumValue<int> time{65536};
    AccumValue<int> revolutionCount{65536};
    Value<float> rpm;
};

} // namespace vbabel::data

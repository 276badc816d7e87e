#pragma once

#include "ant/babel/AccumValue.h"
#include "ant/babel/SportData.h"

namespace vbabel::data {

// Standard power page 0x10: accumulated-power delta and instantaneous power (fields 16 and 17).
// The accumulated power is a 16-bit counter, differenced modulo 65536.
class PowerData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    AccumValue<int> eventCount;
    Value<int> pedalPower;
    Value<int> instantaneousCadence;
    AccumValue<int> accumulatedPower{65536};
    Value<int> power;
};

} // namespace vbabel::data

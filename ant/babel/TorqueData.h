#pragma once

#include "ant/babel/AccumValue.h"
#include "ant/babel/CadenceData.h"
#include "ant/babel/OverflowValue.h"
#include "ant/babel/SportData.h"

namespace vbabel::data {

// Crank torque page 0x12: power (field 18), crank revolutions since the first page (19) and
// average torque (20) of the last interval, and through its own CadenceData the cadence (15).
// The first page only sets the starting readings. The event count is an 8-bit counter differenced
// modulo 256, period and torque are 16-bit counters differenced modulo 65536; the crank count is
// unwrapped by adding 256 at each wrap.
class TorqueData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    AccumValue<int> eventCount{256};
    OverflowValue<int> crankTicks{256};
    Value<int> instantaneousCadence;
    AccumValue<int> period{65536};
    AccumValue<int> torqueTicks{65536};
    Value<float> power;
    Value<float> torque;
    int revolutions = 0;
    int startReading = -1;
    bool firstPage = true;
    CadenceData cadence;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/CadenceData.h"
#include "ant/babel/SpeedData.h"
#include "ant/babel/SportBaseData.h"

namespace vbabel::data {

// Decoder of a combined speed and cadence sensor (device type 121). Its messages carry no page
// number: bytes 0-3 are the cadence event time and crank count, bytes 4-7 the speed event time and
// wheel count. Every message is therefore decoded as speed and cadence; offering it to the common
// pages first would take a message whose byte 0 happens to read 0x50-0x52 for a manufacturer,
// product or battery page, corrupting those fields and dropping the reading.
class SportSpeedCadenceData : public SportBaseData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    SpeedData speed;
    CadenceData cadence;
};

} // namespace vbabel::data

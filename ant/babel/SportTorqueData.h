#pragma once

#include "ant/babel/PowerData.h"
#include "ant/babel/SportBaseData.h"
#include "ant/babel/TorqueData.h"
#include "ant/babel/TorqueSupportData.h"
#include "ant/babel/ZeroOffsetData.h"

namespace vbabel::data {

// Decoder of a power sensor (device type 11): the common pages, power page 0x10, crank torque page
// 0x12 and calibration page 0x01. Calibration pages update their fields but are not reported.
class SportTorqueData : public SportBaseData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    PowerData powerData;
    TorqueData torqueData;
    TorqueSupportData torqueSupport;
    ZeroOffsetData zeroOffset;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/SportTorqueData.h"
#include "ant/data/VelonixData.h"
#include "ant/data/VelonixStrainData.h"

namespace vant::data {

// Decoder of the power meter in normal mode: the ANT+ power pages, then the maker's strain page.
class VelonixPowerMeterData : public VelonixData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    vbabel::data::SportTorqueData power;
    VelonixStrainData strain;
};

} // namespace vant::data

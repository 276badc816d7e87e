#pragma once

#include "ant/babel/SportData.h"
#include "ant/babel/Value.h"

namespace vbabel::data {

// Battery voltage from page 0x52 (field 1).
class BatteryData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    Value<float> voltage;
};

} // namespace vbabel::data

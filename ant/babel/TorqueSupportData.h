#pragma once

#include "ant/babel/SportData.h"

namespace vbabel::data {

// Auto-zero support byte from calibration page 0x01 with byte 1 = 0x12 (fields 21 and 22).
class TorqueSupportData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    int support = 0;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/SportData.h"
#include "ant/babel/Value.h"

namespace vbabel::data {

// Zero offset from calibration page 0x01 (field 23): byte 1 = 0x12 carries it in bytes 5-6 (0xFFFF
// means none), byte 1 = 0xAC in bytes 6-7.
class ZeroOffsetData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    Value<int> offset;
};

} // namespace vbabel::data

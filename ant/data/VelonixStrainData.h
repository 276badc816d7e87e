#pragma once

#include "ant/data/VelonixData.h"

namespace vant::data {

// The power meter's strain page 0xF0: reed bits (field 24) and the signed 24-bit strain reading
// (field 25). Both are served at any time and read 0 until the first page.
class VelonixStrainData : public VelonixData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    int reedBits = 0;
    int strain = 0;
};

} // namespace vant::data

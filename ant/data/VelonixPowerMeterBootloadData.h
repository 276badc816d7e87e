#pragma once

#include "ant/data/VelonixData.h"

namespace vant::data {

// Decoder of the power meter in bootload mode: page 0x10 carries the bootloader's image CRC (field 26),
// a scaled reading (27), start address (28), version (29) and hardware revision (30). All five are
// served at any time and read 0 until the first page.
class VelonixPowerMeterBootloadData : public VelonixData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    int imageCrc = 0;
    float scaledReading = 0.0f;
    int startAddress = 0;
    int version = 0;
    int hardwareRevision = 0;
};

} // namespace vant::data

#pragma once

#include "ant/babel/SpeedData.h"
#include "ant/babel/SportBaseData.h"

namespace vbabel::data {

// Decoder of a speed sensor (device type 123): the common pages, then every other page as a speed
// page.
class SportSpeedData : public SportBaseData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    SpeedData speed;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/CadenceData.h"
#include "ant/babel/SportBaseData.h"

namespace vbabel::data {

// Decoder of a cadence sensor (device type 122): the common pages, then every other page as a
// cadence page.
class SportCadenceData : public SportBaseData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    CadenceData cadence;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/HeartrateData.h"
#include "ant/babel/SportBaseData.h"

namespace vbabel::data {

// Decoder of a heart-rate sensor (device type 120): the common pages, then every other page as a
// heart-rate page.
class SportHeartrateData : public SportBaseData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    HeartrateData heartrate;
};

} // namespace vbabel::data

#pragma once

#include "ant/babel/SportData.h"
#include "ant/babel/Value.h"

namespace vbabel::data {

// Hardware revision, manufacturer id and model number from page 0x50 (fields 2 to 4).
class ManufacturerData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    Value<int> hardwareRevision;
    Value<int> manufacturerId;
    Value<int> model;
};

} // namespace vbabel::data

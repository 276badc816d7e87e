#pragma once

#include "ant/babel/SportData.h"
#include "ant/babel/Value.h"

namespace vbabel::data {

// Software revision and serial number from page 0x51 (fields 5 and 6).
class ProductData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    Value<int> softwareRevision;
    Value<int> serialNumber;
};

} // namespace vbabel::data

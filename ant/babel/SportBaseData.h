#pragma once

#include "ant/babel/BatteryData.h"
#include "ant/babel/ManufacturerData.h"
#include "ant/babel/ProductData.h"
#include "ant/babel/SportData.h"

namespace vbabel::data {

// The common pages every ANT+ sensor may send: manufacturer 0x50, product 0x51 and battery 0x52
// (fields 1 to 6). The device-type decoders derive from it and offer it each page first.
class SportBaseData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

protected:
    BatteryData battery;
    ManufacturerData manufacturer;
    ProductData product;
};

} // namespace vbabel::data

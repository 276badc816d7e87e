#include "ant/babel/ManufacturerData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool ManufacturerData::getField(float*, int)
{
    return false;
}

bool ManufacturerData::getField(int* out, int id)
{
    if (!received)
        return false;
    switch (id) {
    case HardwareRevision:
        *out = hardwareRevision.value();
        return true;
    case ManufacturerId:
        *out = manufacturerId.value();
        return true;
    case ModelNumber:
        *out = model.value();
        return true;
    default:
        return false;
    }
}

int ManufacturerData::receivedFields()
{
    return received ? fieldBit(HardwareRevision) | fieldBit(ManufacturerId) | fieldBit(ModelNumber) : 0;
}

bool ManufacturerData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x50)
        return false;
    hardwareRevision.update(pageByte(message, 3));
    manufacturerId.update(pageUint16(message, 4));
    model.update(pageUint16(message, 6));
    received = true;
    return true;
}

} // namespace vbabel::data

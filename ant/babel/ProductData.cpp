#include "ant/babel/ProductData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool ProductData::getField(float*, int)
{
    return false;
}

bool ProductData::getField(int* out, int id)
{
    if (!received)
        return false;
    switch (id) {
    case SoftwareRevision:
        *out = softwareRevision.value();
        return true;
    case SerialNumber:
        *out = serialNumber.value();
        return true;
    default:
        return false;
    }
}

int ProductData::receivedFields()
{
    return received ? fieldBit(SoftwareRevision) | fieldBit(SerialNumber) : 0;
}

bool ProductData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x51)
        return false;
    softwareRevision.update(pageByte(message, 3));
    serialNumber.update(pageInt32(message, 4));
    received = true;
    return true;
}

} // namespace vbabel::data

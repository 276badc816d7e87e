#include "ant/babel/ZeroOffsetData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool ZeroOffsetData::getField(float*, int)
{
    return false;
}

bool ZeroOffsetData::getField(int* out, int id)
{
    if (!received || id != ZeroOffset)
        return false;
    *out = offset.value();
    return true;
}

int ZeroOffsetData::receivedFields()
{
    return received ? fieldBit(ZeroOffset) : 0;
}

bool ZeroOffsetData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x01)
        return false;
    switch (pageByte(message, 1)) {
    case 0x12:
        // 0xFFFF means the sensor has no offset to report: keep what we had.
        if (pageUint16(message, 5) == 0xFFFF)
            return false;
        offset.update(pageInt16(message, 5));
        break;
    case 0xAC:
        offset.update(pageInt16(message, 6));
        break;
    default:
        return false;
    }
    received = true;
    return true;
}

} // namespace vbabel::data

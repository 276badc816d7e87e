#include "ant/babel/TorqueSupportData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool TorqueSupportData::getField(float*, int)
{
    return false;
}

bool TorqueSupportData::getField(int* out, int id)
{
    if (!received)
        return false;
    switch (id) {
    case AutoZeroSupport:
        *out = support & 1;
        return true;
    case AutoZeroStatus:
        *out = support & 2;
        return true;
    default:
        return false;
    }
}

int TorqueSupportData::receivedFields()
{
    return received ? fieldBit(AutoZeroSupport) | fieldBit(AutoZeroStatus) : 0;
}

bool TorqueSupportData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x01 || pageByte(message, 1) != 0x12)
        return false;
    support = pageByte(message, 2);
    received = true;
    return true;
}

} // namespace vbabel::data

#include "ant/babel/HeartrateData.h"

#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool HeartrateData::getField(float*, int)
{
    return false;
}

bool HeartrateData::getField(int* out, int id)
{
    if (!received)
        return false;
    switch (id) {
    case 7:
        *out = eventTime.value();
        return true;
    case 8:
        *out = beats.value();
        return true;
    case 9:
        *out = heartRate.value();
        return true;
    default:
        return false;
    }
}

int HeartrateData::receivedFields()
{
    return received ? 0x380 : 0;
}

bool HeartrateData::broadcastReceived(unsigned char* message)
{
    eventTime.update(pageUint16(message, 4));
    beats.update(pageByte(message, 6));
    heartRate.update(pageByte(message, 7));
    received = true;
    return true;
}

} // namespace vbabel::data

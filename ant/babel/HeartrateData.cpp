#include "ant/babel/HeartrateData.h"

#include "ant/babel/Field.h"
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
    case HeartBeatEventTime:
        *out = eventTime.value();
        return true;
    case HeartBeatCount:
        *out = beats.value();
        return true;
    case HeartRate:
        *out = heartRate.value();
        return true;
    default:
        return false;
    }
}

int HeartrateData::receivedFields()
{
    return received ? fieldBit(HeartBeatEventTime) | fieldBit(HeartBeatCount) | fieldBit(HeartRate) : 0;
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

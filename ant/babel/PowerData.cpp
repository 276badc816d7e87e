#include "ant/babel/PowerData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool PowerData::getField(float*, int)
{
    return false;
}

bool PowerData::getField(int* out, int id)
{
    if (!received)
        return false;
    switch (id) {
    case AccumulatedPower:
        *out = accumulatedPower.value();
        return true;
    case InstantaneousPower:
        *out = power.value();
        return true;
    default:
        return false;
    }
}

int PowerData::receivedFields()
{
    // The instantaneous power has no bit of its own: the mask has always announced the page by the
    // accumulated power's alone.
    return received ? fieldBit(AccumulatedPower) : 0;
}

bool PowerData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x10)
        return false;
    eventCount.update(pageByte(message, 1));
    pedalPower.update(pageByte(message, 2));
    instantaneousCadence.update(pageByte(message, 3));
    accumulatedPower.update(pageUint16(message, 4));
    power.update(pageUint16(message, 6));
    received = true;
    return true;
}

} // namespace vbabel::data

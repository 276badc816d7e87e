#include "ant/babel/SportSpeedCadenceData.h"

#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool SportSpeedCadenceData::getField(float* out, int id)
{
    return SportBaseData::getField(out, id) || speed.getField(out, id) || cadence.getField(out, id);
}

bool SportSpeedCadenceData::getField(int* out, int id)
{
    return SportBaseData::getField(out, id) || speed.getField(out, id) || cadence.getField(out, id);
}

int SportSpeedCadenceData::receivedFields()
{
    return SportBaseData::receivedFields() | speed.receivedFields() | cadence.receivedFields();
}

bool SportSpeedCadenceData::broadcastReceived(unsigned char* message)
{
    cadence.update(pageUint16(message, 0), pageUint16(message, 2));
    speed.update(pageUint16(message, 4), pageUint16(message, 6));
    return true;
}

} // namespace vbabel::data

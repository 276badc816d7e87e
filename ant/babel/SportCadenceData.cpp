#include "ant/babel/SportCadenceData.h"

namespace vbabel::data {

bool SportCadenceData::getField(float* out, int id)
{
    return SportBaseData::getField(out, id) || cadence.getField(out, id);
}

bool SportCadenceData::getField(int* out, int id)
{
    return SportBaseData::getField(out, id) || cadence.getField(out, id);
}

int SportCadenceData::receivedFields()
{
    return SportBaseData::receivedFields() | cadence.receivedFields();
}

bool SportCadenceData::broadcastReceived(unsigned char* message)
{
    return SportBaseData::broadcastReceived(message) || cadence.broadcastReceived(message);
}

} // namespace vbabel::data

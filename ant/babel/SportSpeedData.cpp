#include "ant/babel/SportSpeedData.h"

namespace vbabel::data {

bool SportSpeedData::getField(float* out, int id)
{
    return SportBaseData::getField(out, id) || speed.getField(out, id);
}

bool SportSpeedData::getField(int* out, int id)
{
    return SportBaseData::getField(out, id) || speed.getField(out, id);
}

int SportSpeedData::receivedFields()
{
    return SportBaseData::receivedFields() | speed.receivedFields();
}

bool SportSpeedData::broadcastReceived(unsigned char* message)
{
    return SportBaseData::broadcastReceived(message) || speed.broadcastReceived(message);
}

} // namespace vbabel::data

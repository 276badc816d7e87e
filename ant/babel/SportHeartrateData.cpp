#include "ant/babel/SportHeartrateData.h"

namespace vbabel::data {

bool SportHeartrateData::getField(float* out, int id)
{
    return SportBaseData::getField(out, id) || heartrate.getField(out, id);
}

bool SportHeartrateData::getField(int* out, int id)
{
    return SportBaseData::getField(out, id) || heartrate.getField(out, id);
}

int SportHeartrateData::receivedFields()
{
    return SportBaseData::receivedFields() | heartrate.receivedFields();
}

bool SportHeartrateData::broadcastReceived(unsigned char* message)
{
    return SportBaseData::broadcastReceived(message) || heartrate.broadcastReceived(message);
}

} // namespace vbabel::data

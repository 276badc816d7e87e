#include "ant/babel/SportBaseData.h"

namespace vbabel::data {

bool SportBaseData::getField(float* out, int id)
{
    return battery.getField(out, id) || manufacturer.getField(out, id) || product.getField(out, id);
}

bool SportBaseData::getField(int* out, int id)
{
    return battery.getField(out, id) || manufacturer.getField(out, id) || product.getField(out, id);
}

int SportBaseData::receivedFields()
{
    return battery.receivedFields() | manufacturer.receivedFields() | product.receivedFields();
}

bool SportBaseData::broadcastReceived(unsigned char* message)
{
    return manufacturer.broadcastReceived(message) || product.broadcastReceived(message) ||
           battery.broadcastReceived(message);
}

} // namespace vbabel::data

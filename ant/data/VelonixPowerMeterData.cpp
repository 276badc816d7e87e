#include "ant/data/VelonixPowerMeterData.h"

namespace vant::data {

bool VelonixPowerMeterData::getField(float* out, int id)
{
    return power.getField(out, id) || strain.getField(out, id);
}

bool VelonixPowerMeterData::getField(int* out, int id)
{
    return power.getField(out, id) || strain.getField(out, id);
}

int VelonixPowerMeterData::receivedFields()
{
    return power.receivedFields() | strain.receivedFields();
}

bool VelonixPowerMeterData::broadcastReceived(unsigned char* message)
{
    return power.broadcastReceived(message) || strain.broadcastReceived(message);
}

} // namespace vant::data

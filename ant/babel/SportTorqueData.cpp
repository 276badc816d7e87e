#include "ant/babel/SportTorqueData.h"

#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool SportTorqueData::getField(float* out, int id)
{
    return SportBaseData::getField(out, id) || powerData.getField(out, id) || torqueData.getField(out, id) ||
           torqueSupport.getField(out, id) || zeroOffset.getField(out, id);
}

bool SportTorqueData::getField(int* out, int id)
{
    return SportBaseData::getField(out, id) || powerData.getField(out, id) || torqueData.getField(out, id) ||
           torqueSupport.getField(out, id) || zeroOffset.getField(out, id);
}

int SportTorqueData::receivedFields()
{
    // The torque part's cadence bits are left out on purpose: listeners learn of cadence through 0x12.
    return SportBaseData::receivedFields() | powerData.receivedFields() | torqueData.receivedFields() |
           torqueSupport.receivedFields() | zeroOffset.receivedFields();
}

bool SportTorqueData::broadcastReceived(unsigned char* message)
{
    if (SportBaseData::broadcastReceived(message) || powerData.broadcastReceived(message) ||
        torqueData.broadcastReceived(message))
        return true;
    if (pageByte(message, 0) == 0x01) {
        torqueSupport.broadcastReceived(message);
        zeroOffset.broadcastReceived(message);
    }
    // Calibration pages are answered through the calibration exchange, not as data.
    return false;
}

} // namespace vbabel::data

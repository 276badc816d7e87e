#include "ant/babel/BatteryData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool BatteryData::getField(float* out, int id)
{
    if (!received || id != BatteryVoltage)
        return false;
    *out = voltage.value();
    return true;
}

bool BatteryData::getField(int*, int)
{
    return false;
}

int BatteryData::receivedFields()
{
    return received ? fieldBit(BatteryVoltage) : 0;
}

bool BatteryData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x52)
        return false;
    // Byte 6 is the fractional voltage in 1/256 V, the low nibble of byte 7 the whole volts.
    voltage.update(static_cast<float>(pageByte(message, 6)) / 256.0f +
                   static_cast<float>(pageByte(message, 7) & 0x0F));
    received = true;
    return true;
}

} // namespace vbabel::data

#include "ant/data/VelonixPowerMeterBootloadData.h"

#include "ant/babel/PageBytes.h"

using vbabel::data::pageByte;
using vbabel::data::pageUint16;

namespace vant::data {

bool VelonixPowerMeterBootloadData::getField(float* out, int id)
{
    if (id != 27)
        return false;
    *out = scaledReading;
    return true;
}

bool VelonixPowerMeterBootloadData::getField(int* out, int id)
{
    switch (id) {
    case 26:
        *out = imageCrc;
        return true;
    case 28:
        *out = startAddress;
        return true;
    case 29:
        *out = version;
        return true;
    case 30:
        *out = hardwareRevision;
        return true;
    default:
        return false;
    }
}

int VelonixPowerMeterBootloadData::receivedFields()
{
    return received ? 0x7C000000 : 0;
}

bool VelonixPowerMeterBootloadData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x10)
        return false;
    imageCrc = pageUint16(message, 1);
    scaledReading = static_cast<float>(pageByte(message, 3) * 9) / 640.0f;
    startAddress = pageByte(message, 4) * 256;
    version = pageUint16(message, 5);
    hardwareRevision = pageByte(message, 7);
    received = true;
    return true;
}

} // namespace vant::data

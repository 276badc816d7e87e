#include "ant/data/VelonixPowerMeterBootloadData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

using vbabel::data::fieldBit;
using vbabel::data::pageByte;
using vbabel::data::pageUint16;

namespace vant::data {

bool VelonixPowerMeterBootloadData::getField(float* out, int id)
{
    if (id != vbabel::data::ScaledReading)
        return false;
    *out = scaledReading;
    return true;
}

bool VelonixPowerMeterBootloadData::getField(int* out, int id)
{
    switch (id) {
    case vbabel::data::ImageCrc:
        *out = imageCrc;
        return true;
    case vbabel::data::BootloaderStartAddress:
        *out = startAddress;
        return true;
    case vbabel::data::BootloaderVersion:
        *out = version;
        return true;
    case vbabel::data::BootloadHardwareRevision:
        *out = hardwareRevision;
        return true;
    default:
        return false;
    }
}

int VelonixPowerMeterBootloadData::receivedFields()
{
    return received ? fieldBit(vbabel::data::ImageCrc) | fieldBit(vbabel::data::ScaledReading) |
                          fieldBit(vbabel::data::BootloaderStartAddress) |
                          fieldBit(vbabel::data::BootloaderVersion) |
                          fieldBit(vbabel::data::BootloadHardwareRevision)
                    : 0;
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

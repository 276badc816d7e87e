#include "ant/data/VelonixStrainData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

using vbabel::data::pageByte;
using vbabel::data::pageInt24;

namespace vant::data {

bool VelonixStrainData::getField(float*, int)
{
    return false;
}

bool VelonixStrainData::getField(int* out, int id)
{
    switch (id) {
    case vbabel::data::ReedBits:
        *out = reedBits;
        return true;
    case vbabel::data::StrainReading:
        *out = strain;
        return true;
    default:
        return false;
    }
}

int VelonixStrainData::receivedFields()
{
    return received ? fieldBit(vbabel::data::ReedBits) | fieldBit(vbabel::data::StrainReading) : 0;
}

bool VelonixStrainData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0xF0)
        return false;
    // Gauges 0-2 report in bits 5-7 and gauges 3-4 in bits 3-4 of byte 1.
    int b = pageByte(message, 1);
    reedBits = (b & 0x18) | (b >> 5);
    strain = pageInt24(message, 2);
    received = true;
    return true;
}

} // namespace vant::data

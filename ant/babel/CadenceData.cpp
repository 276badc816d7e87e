#include "ant/babel/CadenceData.h"

#include "ant/babel/PageBytes.h"

#include <cstdint>

namespace vbabel::data {

bool CadenceData::getField(float* out, int id)
{
    if (!received || id != 15)
        return false;
    *out = rpm.value();
    return true;
}

bool CadenceData::getField(int* out, int id)
{
    if (!received)
        return false;
    switch (id) {
    case 13:
        *out = time.value();
        return true;
    case 14:
        *out = revolutionCount.value();
        return true;
    default:
        return false;
    }
}

int CadenceData::receivedFields()
{
    return received ? 0xE000 : 0;
}

bool CadenceData::broadcastReceived(unsigned char* message)
{
    update(pageUint16(message, 4), pageUint16(message, 6));
    return true;
}

void CadenceData::update(int eventTime, int revolutions)
{
    time.update(eventTime);
    revolutionCount.update(revolutions);
    // 61440 = 60 s * 1024 ticks per second. The product can exceed an int (65535 revolutions), so it is
    // taken in 64 bits. Without a time step there is nothing to divide by: the previous value stays.
    if (time.value() != 0) {
        std::int64_t scaled = static_cast<std::int64_t>(revolutionCount.value()) * 61440;
        rpm.update(static_cast<float>(scaled) / static_cast<float>(time.value()));
    }
    received = true;
}

void CadenceData::setCadence(float value)
{
    rpm.update(value);
    received = true;
}

} // namespace vbabel::data

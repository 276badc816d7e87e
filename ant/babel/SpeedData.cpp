#include "ant/babel/SpeedData.h"

#include "ant/babel/PageBytes.h"

#include <cstdint>

namespace vbabel::data {

bool SpeedData::getField(float* out, int id)
{
    if (!received || id != 12)
        return false;
    *out = rpm.value();
    return true;
}

bool SpeedData::getField(int* out, int id)
{
    if (!received)
        return false;
    switch (id) {
    case 10:
        *out = time.value();
        return true;
    case 11:
        *out = revolutionCount.value();
        return true;
    default:
        return false;
    }
}

int SpeedData::receivedFields()
{
    return received ? 0x1C00 : 0;
}

bool SpeedData::broadcastReceived(unsigned char* message)
{
    update(pageUint16(message, 4), pageUint16(message, 6));
    return true;
}

void SpeedData::update(int eventTime, int revolutions)
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

} // namespace vbabel::data

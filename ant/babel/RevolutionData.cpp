#include "ant/babel/RevolutionData.h"

#include "ant/babel/PageBytes.h"

#include <cstdint>

namespace vbabel::data {

bool RevolutionData::getField(float* out, int id)
{
    if (!received || id != firstField + 2)
        return false;
    *out = rpm.value();
    return true;
}

bool RevolutionData::getField(int* out, int id)
{
    if (!received)
        return false;
    if (id == firstField) {
        *out = time.value();
        return true;
    }
    if (id == firstField + 1) {
        *out = revolutionCount.value();
        return true;
    }
    return false;
}

int RevolutionData::receivedFields()
{
    return received ? 7 << firstField : 0;
}

bool RevolutionData::broadcastReceived(unsigned char* message)
{
    update(pageUint16(message, 4), pageUint16(message, 6));
    return true;
}

void RevolutionData::update(int eventTime, int revolutions)
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

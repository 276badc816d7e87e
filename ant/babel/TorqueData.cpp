#include "ant/babel/TorqueData.h"

#include "ant/babel/Field.h"
#include "ant/babel/PageBytes.h"

namespace vbabel::data {

bool TorqueData::getField(float* out, int id)
{
    if (id == Cadence)
        return cadence.getField(out, id);
    if (!received)
        return false;
    switch (id) {
    case Power:
        *out = power.value();
        return true;
    case Torque:
        *out = torque.value();
        return true;
    default:
        return false;
    }
}

bool TorqueData::getField(int* out, int id)
{
    // The cadence part only ever gets a cadence, so its deltas read 0 once it is served.
    if (id == CadenceEventTime || id == CrankRevolutions)
        return cadence.getField(out, id);
    if (!received || id != RevolutionsSinceStart)
        return false;
    *out = revolutions;
    return true;
}

int TorqueData::receivedFields()
{
    return received ? fieldBit(Power) | fieldBit(RevolutionsSinceStart) | fieldBit(Torque) : 0;
}

bool TorqueData::broadcastReceived(unsigned char* message)
{
    if (pageByte(message, 0) != 0x12)
        return false;
    eventCount.update(pageByte(message, 1));
    crankTicks.update(pageByte(message, 2));
    instantaneousCadence.update(pageByte(message, 3));
    period.update(pageUint16(message, 4));      // 1/2048 s
    torqueTicks.update(pageUint16(message, 6)); // 1/32 N m

    int events = eventCount.value();
    if (events > 0 && period.value() > 0 && !firstPage) {
        float newTorque = static_cast<float>(torqueTicks.value()) / (32.0f * static_cast<float>(events));
        // 122880 = 60 s * 2048 ticks per second.
        float newCadence = static_cast<float>(events * 122880) / static_cast<float>(period.value());
        power.update(3.14159f * newTorque * newCadence / 30.0f);
        torque.update(newTorque);
        cadence.setCadence(newCadence);
    }

    revolutions = startReading < 0 ? 0 : crankTicks.value() - startReading;
    if (firstPage && startReading != revolutions)
        firstPage = false;
    if (startReading < 0)
        startReading = crankTicks.value();

    received = true;
    return true;
}

} // namespace vbabel::data

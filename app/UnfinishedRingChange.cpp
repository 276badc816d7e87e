#include "app/UnfinishedRingChange.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Slope.h"

#include <QSettings>

#include <cmath>

using vbabel::data::Field;

namespace {

// The keys of one change. "ring" and "slope" are read by every version; the register bytes came
// later, each key on its own so that an earlier version reading the file finds what it knows.
QString group(unsigned serial)
{
    return "unfinishedRingChange/" + QString::number(serial);
}

float storedSlope(float slope)
{
    return std::isfinite(slope) && slope > 0.0f ? slope : 0.0f;
}

// A register byte as stored; -1 when it is missing or no byte.
int storedByte(const QSettings& settings, const QString& key)
{
    if (!settings.contains(key)) {
        return -1;
    }
    bool number = false;
    const int value = settings.value(key).toInt(&number);
    return number && value >= 0 && value <= 255 ? value : -1;
}

// The register's encoding of a slope: slope x 65536, truncated, as the meter's device writes it; -1
// for a slope three bytes can't hold.
long registerValue(float slope)
{
    if (!std::isfinite(slope) || slope < 0.0f || slope >= 256.0f) {
        return -1;
    }
    return static_cast<long>(slope * 65536.0f);
}

} // namespace

UnfinishedRingChange::UnfinishedRingChange(const QString& dataFolder) : file(dataFolder + "/settings.ini") {}

unsigned UnfinishedRingChange::serialNumber(vant::device::VelonixPowerMeterDevice* device)
{
    int serial = 0;
    if (device == nullptr || !device->sportData ||
        !device->sportData->getField(&serial, Field::SerialNumber)) {
        return 0;
    }
    return static_cast<unsigned>(serial);
}

bool UnfinishedRingChange::remember(unsigned serial, const Change& change)
{
    if (serial == 0) {
        return true;
    }
    QSettings settings(file, QSettings::IniFormat);
    // A change kept before is replaced whole: no byte of it may stay with the new ring.
    settings.remove(group(serial));
    settings.setValue(group(serial) + "/ring", change.ring);
    settings.setValue(group(serial) + "/slope", storedSlope(change.slope));
    if (change.hasRegister()) {
        settings.setValue(group(serial) + "/make", change.make);
        settings.setValue(group(serial) + "/model", change.model);
        settings.setValue(group(serial) + "/teeth", change.teeth);
    }
    if (change.hasOldRegister()) {
        settings.setValue(group(serial) + "/oldMake", change.oldMake);
        settings.setValue(group(serial) + "/oldModel", change.oldModel);
        settings.setValue(group(serial) + "/oldTeeth", change.oldTeeth);
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

void UnfinishedRingChange::rememberSlope(unsigned serial, float slope)
{
    if (serial == 0) {
        return;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (settings.contains(group(serial) + "/ring")) {
        settings.setValue(group(serial) + "/slope", storedSlope(slope));
        settings.sync();
    }
}

void UnfinishedRingChange::forget(unsigned serial)
{
    if (serial == 0) {
        return;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (settings.contains(group(serial) + "/ring")) {
        settings.remove(group(serial));
        settings.sync();
    }
}

bool UnfinishedRingChange::find(unsigned serial, Change& change) const
{
    if (serial == 0) {
        return false;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (!settings.contains(group(serial) + "/ring")) {
        return false;
    }
    change = Change();
    change.ring = settings.value(group(serial) + "/ring").toString();
    bool number = false;
    const float slope = settings.value(group(serial) + "/slope").toFloat(&number);
    // A slope no page would write (a damaged or hand-edited file) is worked out afresh instead.
    change.slope = number && Slope::inRange(slope) ? slope : 0.0f;
    change.make = storedByte(settings, group(serial) + "/make");
    change.model = storedByte(settings, group(serial) + "/model");
    change.teeth = storedByte(settings, group(serial) + "/teeth");
    if (!change.hasRegister()) {
        change.make = change.model = change.teeth = -1;
    }
    change.oldMake = storedByte(settings, group(serial) + "/oldMake");
    change.oldModel = storedByte(settings, group(serial) + "/oldModel");
    change.oldTeeth = storedByte(settings, group(serial) + "/oldTeeth");
    if (!change.hasOldRegister()) {
        change.oldMake = change.oldModel = change.oldTeeth = -1;
    }
    return true;
}

bool UnfinishedRingChange::holdsRing(const Change& change, int make, int model, int teeth,
                                     const QString& shownRing)
{
    if (change.hasRegister()) {
        return change.make == make && change.model == model && change.teeth == teeth;
    }
    return !change.ring.isEmpty() && change.ring == shownRing;
}

bool UnfinishedRingChange::holdsOldRing(const Change& change, int make, int model, int teeth)
{
    if (!change.hasOldRegister()) {
        return true;
    }
    return change.oldMake == make && change.oldModel == model && change.oldTeeth == teeth;
}

bool UnfinishedRingChange::sameSlope(float read, float slope)
{
    return registerValue(slope) >= 0 && registerValue(read) == registerValue(slope);
}

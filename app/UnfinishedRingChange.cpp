#include "app/UnfinishedRingChange.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"

#include <QSettings>

#include <cmath>

namespace {

constexpr int kFieldSerialNumber = 6;

QString group(unsigned serial)
{
    return "unfinishedRingChange/" + QString::number(serial);
}

} // namespace

UnfinishedRingChange::UnfinishedRingChange(const QString& dataFolder) : file(dataFolder + "/settings.ini") {}

unsigned UnfinishedRingChange::serialNumber(vant::device::VelonixPowerMeterDevice* device)
{
    int serial = 0;
    if (device == nullptr || !device->sportData ||
        !device->sportData->getField(&serial, kFieldSerialNumber)) {
        return 0;
    }
    return static_cast<unsigned>(serial);
}

void UnfinishedRingChange::remember(unsigned serial, const QString& ring, float slope)
{
    if (serial == 0) {
        return;
    }
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(group(serial) + "/ring", ring);
    settings.setValue(group(serial) + "/slope", std::isfinite(slope) && slope > 0.0f ? slope : 0.0f);
    settings.sync();
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

bool UnfinishedRingChange::find(unsigned serial, QString& ring, float& slope) const
{
    if (serial == 0) {
        return false;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (!settings.contains(group(serial) + "/ring")) {
        return false;
    }
    ring = settings.value(group(serial) + "/ring").toString();
    bool number = false;
    slope = settings.value(group(serial) + "/slope").toFloat(&number);
    if (!number || !std::isfinite(slope) || slope < 0.0f) {
        slope = 0.0f;
    }
    return true;
}

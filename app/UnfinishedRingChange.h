#pragma once

#include <QString>

namespace vant::device {
class VelonixPowerMeterDevice;
}

// The chainring changes whose new ring a meter took and whose new slope it has not confirmed yet: a
// meter lost between the two writes would otherwise measure with the new ring and the old slope,
// looking done. Kept per meter, by its serial number, in the settings file of the program's data
// folder, from the ring's confirmation until the slope's; the meter's home page offers to finish the
// change at the meter's next connection. Pages make one when they need it; it holds no state of its
// own beyond the file's name.
class UnfinishedRingChange
{
public:
    explicit UnfinishedRingChange(const QString& dataFolder);

    // The serial number the meter has told; 0 while it has not.
    static unsigned serialNumber(vant::device::VelonixPowerMeterDevice* device);

    // The ring `ring` was written to meter `serial`; `slope` is the user slope that goes with it, or
    // 0 when it is still to be worked out from the meter's factory slope. Nothing for serial 0.
    void remember(unsigned serial, const QString& ring, float slope);
    // The meter's user slope was written: no change of it is unfinished any more.
    void forget(unsigned serial);
    // True when meter `serial` has an unfinished change, with its ring and slope.
    bool find(unsigned serial, QString& ring, float& slope) const;

private:
    QString file;
};

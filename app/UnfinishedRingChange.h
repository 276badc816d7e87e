#pragma once

#include <QString>

namespace vant::device {
class VelonixPowerMeterDevice;
}

// The chainring changes sent to a meter whose new slope it has not confirmed yet: a meter lost
// between the ring write and the slope's would otherwise measure with the new ring and the old slope,
// looking done. Kept per meter, by its serial number, in the settings file of the program's data
// folder, from just before the ring write goes out until the new slope is confirmed; at the meter's
// next connection its home page reads the meter's ring and slope and offers to finish the change, or
// forgets it when the ring never landed or the slope did. Pages make one when they need it; it holds
// no state of its own beyond the file's name.
class UnfinishedRingChange
{
public:
    // One change: the ring's name as the lists show it, its user chainring register bytes, and the
    // user slope that goes with it.
    struct Change
    {
        QString ring;
        // -1 each in a change kept by an earlier version, which stored the name alone.
        int make = -1;
        int model = -1;
        int teeth = -1;
        // 0 while it is still to be worked out from the meter's factory slope.
        float slope = 0.0f;
        // The register bytes of the ring the meter held before; -1 each when not known (a change
        // kept by an earlier version).
        int oldMake = -1;
        int oldModel = -1;
        int oldTeeth = -1;

        bool hasRegister() const { return make >= 0 && model >= 0 && teeth >= 0; }
        bool hasOldRegister() const { return oldMake >= 0 && oldModel >= 0 && oldTeeth >= 0; }
    };

    explicit UnfinishedRingChange(const QString& dataFolder);

    // The serial number the meter has told; 0 while it has not.
    static unsigned serialNumber(vant::device::VelonixPowerMeterDevice* device);

    // Ring `change` is about to be written to meter `serial`. True once the change is on disk (and
    // for serial 0, which keeps nothing); false when the settings file could not be written, and the
    // ring must not go out then.
    bool remember(unsigned serial, const Change& change);
    // The slope that goes with the ring of meter `serial`'s change is known now. Nothing when the
    // meter has no change kept.
    void rememberSlope(unsigned serial, float slope);
    // The meter's user slope was written: no change of it is unfinished any more.
    void forget(unsigned serial);
    // True when meter `serial` has an unfinished change, given in `change`. A kept slope that is no
    // user slope (outside 3 to 25) is given as 0, to be worked out afresh.
    bool find(unsigned serial, Change& change) const;

    // True when a meter whose user chainring register holds `make`, `model`, `teeth`, shown as
    // `shownRing`, has the ring of `change`. A change of an earlier version is matched by the name.
    static bool holdsRing(const Change& change, int make, int model, int teeth, const QString& shownRing);
    // True when that meter still holds the ring it had before `change`: the ring write never landed.
    // Without the old ring kept, every ring that is not the new one counts as the old.
    static bool holdsOldRing(const Change& change, int make, int model, int teeth);
    // True when the slope `read` from the meter is `slope` as its register stores it.
    static bool sameSlope(float read, float slope);

    // The settings file the changes are kept in.
    const QString& fileName() const { return file; }

private:
    QString file;
};

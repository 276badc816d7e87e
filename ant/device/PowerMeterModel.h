#pragma once

namespace vant::device {

// The power-meter types that the meter reports in the low six bits of its manufacturer model
// number. Any other number is a meter of the common kind: five strain gauges, power balance, and a
// calibration on both chainrings.
enum class PowerMeterType : int
{
    NoPowerBalance = 1, // its power balance is neither shown nor set
    KV7 = 5,            // four strain gauges on one chainring, whose ring the meter keeps in registers
    Lumora = 7,         // speaks BLE; its firmware is not uploaded through the bootloader
};

// What the pages ask of a meter's model, worked out in one place from the manufacturer model
// number (0 before the meter has sent it: a meter of the common kind).
struct PowerMeterModel
{
    // The power-meter type: a PowerMeterType or any other number from 0 to 63.
    int type = 0;
    // The strain gauges, one reed switch each.
    int strainGauges = 5;
    // The readings a slope calibration takes, the two unloaded ones included: 6 (the weight on
    // either arm with the chain on either chainring) or 4 (the weight on either arm).
    int calibrationReadings = 6;
    // Power balance can be read and switched on.
    bool powerBalance = true;
    // The meter keeps its user (0x60) and factory (0x42) chainring in registers: the program shows
    // the ring, offers that model's own rings and writes the new ring before the new slope.
    bool chainringRegisters = false;
    // A BLE meter: its production flags are checked in place of the bootloader's version, and the
    // program uploads no firmware to it.
    bool ble = false;

    static PowerMeterModel of(int manufacturerModel);
};

} // namespace vant::device

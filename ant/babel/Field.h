#pragma once

namespace vbabel::data {

// The ids of the decoded values, one numbering for every decoder (`SportData::getField`), and the bit
// of `receivedFields` that says a value's page has arrived. Pages and decoders name a value by these,
// never by its number. Deltas are the difference between this page's raw reading and the previous one.
enum Field : int
{
    BatteryVoltage = 1,           // float, V
    HardwareRevision = 2,         // int
    ManufacturerId = 3,           // int
    ModelNumber = 4,              // int
    SoftwareRevision = 5,         // int
    SerialNumber = 6,             // int, 32 bits
    HeartBeatEventTime = 7,       // int delta, 1/1024 s
    HeartBeatCount = 8,           // int delta, beats
    HeartRate = 9,                // int, beats/min
    SpeedEventTime = 10,          // int delta, 1/1024 s
    WheelRevolutions = 11,        // int delta
    WheelSpeed = 12,              // float, revolutions/min
    CadenceEventTime = 13,        // int delta, 1/1024 s
    CrankRevolutions = 14,        // int delta
    Cadence = 15,                 // float, revolutions/min
    AccumulatedPower = 16,        // int delta, W
    InstantaneousPower = 17,      // int, W
    Power = 18,                   // float, W, from the torque page
    RevolutionsSinceStart = 19,   // int, crank revolutions since the first torque page
    Torque = 20,                  // float, N·m, average of the last interval
    AutoZeroSupport = 21,         // int, the support byte AND 1
    AutoZeroStatus = 22,          // int, the support byte AND 2
    ZeroOffset = 23,              // int, raw counts
    ReedBits = 24,                // int, bit i for strain gauge i
    StrainReading = 25,           // int, raw, signed
    ImageCrc = 26,                // int, the image CRC the bootloader reports
    ScaledReading = 27,           // float
    BootloaderStartAddress = 28,  // int, byte address
    BootloaderVersion = 29,       // int
    BootloadHardwareRevision = 30 // int, as the bootloader reports it
};

// The bit of `receivedFields` for `field`.
constexpr int fieldBit(Field field)
{
    return 1 << field;
}

} // namespace vbabel::data

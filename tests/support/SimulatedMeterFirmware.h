#pragma once

#include "support/SimulatedPowerMeter.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace support {

// The firmware of a simulated power meter, as a handler of its messages: what the maker's meter
// answers on its own command protocol, so that the device code is tried against the meter and not
// against itself. Construct it with the meter it runs on (it adds itself as the meter's handler); the
// test owns it and keeps it while the meter runs.
//
// Normal mode:
// - A register file of 256 bytes (what it starts with is listed at the constructor). F0 04 00 reg len reads
// len
//   bytes from reg and answers with a burst of at least two packets in the next slot: the bytes
//   read, then zeros (a burst of one packet would never reach the device). F0 05 00 reg len data
//   writes 1 to 3 bytes.
// - Writes, sleep, the bootloader switch and the bootloader-version query are taken only while the
//   meter is unlocked; while locked they are ignored and counted (lockedWrites). F0 52 with the
//   unlock code unlocks; F0 52 with five zero bytes locks (unless zeros are the code), any other code
//   locks too. The meter also starts locked and locks again when it restarts.
// - F0 03 FF DC 02 answers the bootloader's version (low byte first) as a read does. F0 08 sends the
//   meter to sleep: it falls silent sleepAfterMs later (time for the closing message to go through).
// - The ANT+ calibration request (page 0x01, 0xAA) is answered with the calibration page, 0xAC when
//   calibration.passes and 0xAF otherwise, calibration.value in bytes 6-7; the request for page 0xAC
//   (page 0x46) is answered with the auto-zero status page (0x01, 0x12: byte 2 bit 0 supported, bit 1
//   on as register 0x39 bit 0 says, calibration.value in bytes 5-6), then a passed calibration page
//   as many times as it asks.
// - F0 09 restarts the meter in its bootloader: silent for bootloader.appearAfterMs, then back on
//   network key zero, period 3136 and 70 MHz.
//
// Bootloader mode: every slot broadcasts page 0x10 with the CRC-16/MODBUS of the flash from 0x8000 to
// startAddress - 3, the start address's high byte and the bootloader's version. Erase/position
// messages (0x11) whose complement bytes check erase the given number of 512-byte segments and set
// the write position; a burst is programmed at the position, which then moves past it. Only the
// application area 0x8000 to startAddress - 1 is ever changed, and programming only clears bits, as
// flash does. Finish (0x12) restarts the meter after bootloader.restartAfterMs of silence on its
// former radio settings, now reporting softwareRevisionAfterUpdate, when the CRC stored at
// startAddress - 2 (low byte first) matches the flash; otherwise the bootloader stays.
class SimulatedMeterFirmware : public MeterCommandHandler
{
public:
    static constexpr int REGISTER_COUNT = 256;
    static constexpr int FLASH_SIZE = 0x10000;
    static constexpr int APPLICATION_START = 0x8000;
    static constexpr int SEGMENT_SIZE = 512;
    // Radio settings of the bootloader.
    static constexpr int BOOTLOADER_PERIOD = 3136;
    static constexpr int BOOTLOADER_FREQUENCY = 70;

    using UnlockCode = std::array<unsigned char, 5>;
    using Flash = std::array<unsigned char, FLASH_SIZE>;

    struct Bootloader
    {
        int startAddress = 0xC000; // a multiple of 256: page 0x10 carries its high byte
        int version = 0x0105;
        int appearAfterMs = 1000;  // silence between the switch and the first page 0x10
        int restartAfterMs = 1000; // silence between finish and the application's first page
        int softwareRevisionAfterUpdate = 31;
        // Fault: the broadcast CRC never matches the flash.
        bool wrongCrc = false;
    };

    struct Calibration
    {
        bool passes = true;
        int value = 0; // signed 16 bits
    };

    // The registers start as a meter from the factory: user slope 0x09 = 12.5 (0C 80 00), factory
    // slope 0x21 = 12.0 (0C 00 00), user offset 0x32 = 16, factory offset 0x30 = -20, 0x39 = 0x01,
    // 0x1E = 0x00, cadence 0x3D = 1, mode 0x3E = 2, user chainrings 0x60 = 'S' 1 53 'S' 1 39, factory
    // chainrings 0x42 = 'C' 2 50 'C' 2 34, production flags 0x7F = 0x00; all others 0. The flash is
    // XX
    explicit SimulatedMeterFirmware(SimulatedPowerMeter& meter);

    // The code that unlocks the meter; the library's configured one unless a test changes it.
    UnlockCode unlockCode;
    Bootloader bootloader;
    Calibration calibration;
    int sleepAfterMs = 1000;

    // The register file.
    Bytes registers(int location, int length) const;
    void setRegisters(int location, const Bytes& bytes);

    bool locked() const { return mLocked; }
    void lock() { mLocked = true; }
    // Guarded commands that arrived while locked, and were ignored.
    int lockedWrites() const { return mLockedWrites; }
    // Command messages ignored as malformed: unknown, out of the register file, wrong lengths, or
    // erase messages whose complement bytes do not check.
    int refusedMessages() const { return mRefused; }

    bool inBootloader() const { return mMode == Mode::Bootloader; }
    bool asleep() const { return mMode == Mode::Asleep; }
    // Puts the meter in its bootloader at once, as one that was found there.
    void enterBootloader();

    const Flash& flash() const { return mFlash; }
    int writePosition() const { return mPosition; }
    // The CRC the bootloader computes: over the flash from 0x8000 to startAddress - 3.
    int flashCrc() const;

    // CRC-16/MODBUS: initial value 0xFFFF, reflected polynomial 0xA001, no final XOR.
    static int crc16(const unsigned char* data, std::size_t length);

    // What a whole 64 KB image leaves in the flash from 0x8000 up to bootloaderStart after a good
    // upload: the application up to the interrupt vectors, the image's last 32 bytes (its vectors)
    // moved down before the CRC, and the CRC itself at bootloaderStart - 2, low byte first.
    static Bytes applicationAreaAfterUpload(const Bytes& image, int bootloaderStart);

    bool acknowledgedReceived(SimulatedPowerMeter& meter, const Bytes& data) override;
    bool burstReceived(SimulatedPowerMeter& meter, const Bytes& data) override;
    bool pageToBroadcast(SimulatedPowerMeter& meter, Bytes& page) override;
    void slotStarted(SimulatedPowerMeter& meter, std::int64_t nowMs) override;

private:
    enum class Mode
    {
        Running, // falls asleep at mDueMs when that is set
        Asleep,
        StartingBootloader, // silent until mDueMs
        Bootloader,
        Restarting // silent until mDueMs
    };

    struct RadioSettings
    {
        Bytes networkKey;
        int period;
        int frequency;
    };

    bool command(SimulatedPowerMeter& meter, const Bytes& data);
    bool guarded();
    void answerRead(SimulatedPowerMeter& meter, const Bytes& bytes);
    bool calibrationRequest(SimulatedPowerMeter& meter, const Bytes& data);
    bool bootloaderMessage(const Bytes& data);
    void programme(const Bytes& data);
    void storeCrc();
    bool inApplicationArea(int address) const;
    void startBootloader();

    SimulatedPowerMeter& mMeter;
    std::array<unsigned char, REGISTER_COUNT> mRegisters{};
    bool mLocked = true;
    int mLockedWrites = 0;
    int mRefused = 0;

    Mode mMode = Mode::Running;
    std::int64_t mDueMs = -1; // when falling asleep or the restart is due; -1 when nothing is
    RadioSettings mApplicationRadio;

    Flash mFlash;
    int mPosition = APPLICATION_START;
    mutable int mCrc = -1; // of the flash for mCrcStart; -1 when it must be worked out again
    mutable int mCrcStart = 0;
};

} // namespace support

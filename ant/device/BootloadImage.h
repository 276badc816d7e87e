#pragma once

#include <cstdint>

// The firmware image of an upload as the power meter's bootloader takes it. The memory image (64 KB,
// index = meter address) is laid out with the application's interrupt vectors moved below the
// bootloader and the application area's CRC stored after them; the non-blank 64-byte blocks of that
// area, plus the CRC, are sent in sections of at most 128 bytes. The buffers belong to the caller
// (the power-meter device keeps them inside itself); these functions only fill and read them.
namespace vant::device {

inline constexpr int BOOTLOAD_IMAGE_SIZE = 0x10000;
// The application area starts here and ends where the CRC is stored, two bytes below the bootloader.
inline constexpr int BOOTLOAD_APPLICATION_START = 0x8000;
inline constexpr int BOOTLOAD_BLOCK_SIZE = 64;
inline constexpr int BOOTLOAD_MAX_SECTION_SIZE = 128;
// The interrupt vectors at the top of the image.
inline constexpr int BOOTLOAD_VECTORS_SIZE = 32;
// The bootloader must start above the moved vectors and the CRC, and no higher than the image's end.
inline constexpr int BOOTLOAD_MIN_START = BOOTLOAD_APPLICATION_START + BOOTLOAD_VECTORS_SIZE + 2;
inline constexpr int BOOTLOAD_MAX_START = BOOTLOAD_IMAGE_SIZE;
// Every block of the largest application area, plus the CRC's own section.
inline constexpr int BOOTLOAD_MAX_SECTIONS =
    (BOOTLOAD_IMAGE_SIZE - BOOTLOAD_APPLICATION_START) / BOOTLOAD_BLOCK_SIZE + 1;

// CRC-16/MODBUS over `length` bytes: initial value 0xFFFF, reflected polynomial 0xA001, no final XOR.
std::uint16_t crc16Modbus(const unsigned char* data, unsigned short length);

bool validBootloaderStart(int bootloaderStart);

// The CRC the bootloader reports for `memory` (64 KB): over the application area, from 0x8000 to two
// bytes below the bootloader. `bootloaderStart` must be valid.
std::uint16_t bootloadApplicationCrc(const unsigned char* memory, int bootloaderStart);

// Fills `buffer` (64 KB) from `image` (64 KB) for a bootloader at `bootloaderStart` (valid): the image
// up to its vectors, 0xFF in their place, the vectors again just below the CRC, and the CRC of the
// application area at bootloaderStart - 2 (low byte first).
void layOutBootloadImage(const unsigned char* image, int bootloaderStart, unsigned char* buffer);

// The sections of a laid-out `buffer`: each non-blank 64-byte block that starts below the CRC, then
// the CRC's two bytes, as [start, end) pairs in address order. `sections` has room for
// BOOTLOAD_MAX_SECTIONS pairs. Returns their number.
int findBootloadSections(const unsigned char* buffer, int bootloaderStart, int (*sections)[2]);

// Joins sections that follow each other without a gap into sections of at most 128 bytes, in passes
// until one joins nothing. Returns the new number.
int mergeBootloadSections(int (*sections)[2], int count);

} // namespace vant::device

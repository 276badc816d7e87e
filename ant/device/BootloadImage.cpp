#include "ant/device/BootloadImage.h"

#include <cstring>

namespace vant::device {

namespace {

constexpr unsigned char kBlank = 0xFF;

bool blank(const unsigned char* bytes, int length)
{
    for (int i = 0; i < length; ++i) {
        if (bytes[i] != kBlank) {
            return false;
        }
    }
    return true;
}

} // namespace

std::uint16_t crc16Modbus(const unsigned char* data, unsigned short length)
{
    std::uint16_t crc = 0xFFFF;
    for (unsigned short i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
        }
    }
    return crc;
}

bool validBootloaderStart(int bootloaderStart)
{
    return bootloaderStart >= BOOTLOAD_MIN_START && bootloaderStart <= BOOTLOAD_MAX_START;
}

std::uint16_t bootloadApplicationCrc(const unsigned char* memory, int bootloaderStart)
{
    const auto length = static_cast<unsigned short>(bootloaderStart - 2 - BOOTLOAD_APPLICATION_START);
    return crc16Modbus(memory + BOOTLOAD_APPLICATION_START, length);
}

void layOutBootloadImage(const unsigned char* image, int bootloaderStart, unsigned char* buffer)
{
    // The bootloader keeps the real vectors; the application's go just below the CRC, where the
    // bootloader looks for them.
    const int vectors = BOOTLOAD_IMAGE_SIZE - BOOTLOAD_VECTORS_SIZE;
    const int crcPosition = bootloaderStart - 2;
    std::memcpy(buffer, image, vectors);
    std::memset(buffer + vectors, kBlank, BOOTLOAD_VECTORS_SIZE);
    std::memcpy(buffer + crcPosition - BOOTLOAD_VECTORS_SIZE, image + vectors, BOOTLOAD_VECTORS_SIZE);

    const std::uint16_t crc = bootloadApplicationCrc(buffer, bootloaderStart);
    buffer[crcPosition] = static_cast<unsigned char>(crc & 0xFF);
    buffer[crcPosition + 1] = static_cast<unsigned char>(crc >> 8);
}

int findBootloadSections(const unsigned char* buffer, int bootloaderStart, int (*sections)[2])
{
    // Blank blocks stay as the erase leaves them. A block may reach past the CRC (up to the image's
    // end at most); the bootloader ignores what lands on itself.
    const int crcPosition = bootloaderStart - 2;
    int count = 0;
    for (int block = BOOTLOAD_APPLICATION_START; block < crcPosition; block += BOOTLOAD_BLOCK_SIZE) {
        if (!blank(buffer + block, BOOTLOAD_BLOCK_SIZE)) {
            sections[count][0] = block;
            sections[count][1] = block + BOOTLOAD_BLOCK_SIZE;
            ++count;
        }
    }
    sections[count][0] = crcPosition;
    sections[count][1] = bootloaderStart;
    return count + 1;
}

int mergeBootloadSections(int (*sections)[2], int count)
{
    bool merged = true;
    while (merged && count > 1) {
        merged = false;
        int kept = 0;
        for (int i = 0; i < count; ++i) {
            int start = sections[i][0];
            int end = sections[i][1];
            // A section that has just taken in its neighbour waits for the next pass to grow again.
            if (i + 1 < count && end == sections[i + 1][0] &&
                sections[i + 1][1] - start <= BOOTLOAD_MAX_SECTION_SIZE) {
                end = sections[++i][1];
                merged = true;
            }
            sections[kept][0] = start;
            sections[kept][1] = end;
            ++kept;
        }
        count = kept;
    }
    return count;
}

} // namespace vant::device

#include "ant/device/BootloadImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vant::device {
namespace {

using Bytes = std::vector<unsigned char>;
using Sections = std::vector<std::pair<int, int>>;

constexpr int kImageSize = BOOTLOAD_IMAGE_SIZE;

Bytes blankImage()
{
    return Bytes(kImageSize, 0xFF);
}

// Fills the 64-byte block at `address` with bytes that are not all 0xFF.
void fillBlock(Bytes& image, int address, unsigned char seed = 0x10)
{
    for (int i = 0; i < BOOTLOAD_BLOCK_SIZE; ++i) {
        image[static_cast<size_t>(address + i)] = static_cast<unsigned char>(seed + i);
    }
}

struct Layout
{
    Bytes buffer;
    int unmerged = 0;
    Sections sections;
};

Layout layOut(const Bytes& image, int bootloaderStart)
{
    Layout layout;
    layout.buffer.assign(kImageSize, 0);
    layOutBootloadImage(image.data(), bootloaderStart, layout.buffer.data());
    int sections[BOOTLOAD_MAX_SECTIONS][2];
    layout.unmerged = findBootloadSections(layout.buffer.data(), bootloaderStart, sections);
    const int count = mergeBootloadSections(sections, layout.unmerged);
    for (int i = 0; i < count; ++i) {
        layout.sections.emplace_back(sections[i][0], sections[i][1]);
    }
    return layout;
}

std::uint16_t crcOf(const Bytes& bytes, int from, int to)
{
    return crc16Modbus(bytes.data() + from, static_cast<unsigned short>(to - from));
}

TEST(BootloadImageTest, Crc16ModbusKnownValues)
{
    struct Case
    {
        std::string data;
        std::uint16_t crc;
    };
    const Case cases[] = {
        {"123456789", 0x4B37},                                // the check value
        {"", 0xFFFF},                                         // nothing: the initial value
        {std::string("\x01\x03\x00\x00\x00\x01", 6), 0x0A84}, // a read request, sent as 84 0A
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        const Bytes bytes(c.data.begin(), c.data.end());
        EXPECT_EQ(crc16Modbus(bytes.data(), static_cast<unsigned short>(bytes.size())), c.crc);
        // The CRC appended low byte first leaves a remainder of 0.
        Bytes framed = bytes;
        framed.push_back(static_cast<unsigned char>(c.crc & 0xFF));
        framed.push_back(static_cast<unsigned char>(c.crc >> 8));
        EXPECT_EQ(crc16Modbus(framed.data(), static_cast<unsigned short>(framed.size())), 0);
    }
}

TEST(BootloadImageTest, LayoutMovesTheVectorsBelowTheBootloaderAndStoresTheCrcAfterThem)
{
    Bytes image = blankImage();
    for (int i = 0; i < kImageSize; ++i) {
        image[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 7 + (i >> 8));
    }
    const int bootloaderStart = 0xC000;
    Bytes buffer(kImageSize, 0);
    layOutBootloadImage(image.data(), bootloaderStart, buffer.data());

    const int crcPosition = bootloaderStart - 2;
    const int vectors = kImageSize - BOOTLOAD_VECTORS_SIZE;
    // Unchanged below the moved vectors and between the CRC and the image's own vectors.
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + crcPosition - 32, buffer.begin()));
    EXPECT_TRUE(std::equal(image.begin() + bootloaderStart, image.begin() + vectors,
                           buffer.begin() + bootloaderStart));
    EXPECT_TRUE(std::equal(image.begin() + vectors, image.end(), buffer.begin() + crcPosition - 32));
    EXPECT_EQ(Bytes(buffer.begin() + vectors, buffer.end()), Bytes(32, 0xFF));
    const std::uint16_t crc = crcOf(buffer, BOOTLOAD_APPLICATION_START, crcPosition);
    EXPECT_EQ(buffer[crcPosition], crc & 0xFF);
    EXPECT_EQ(buffer[crcPosition + 1], crc >> 8);
    EXPECT_EQ(bootloadApplicationCrc(buffer.data(), bootloaderStart), crc);
}

TEST(BootloadImageTest, SectionsOfKnownImages)
{
    struct Case
    {
        const char* name;
        std::vector<int> blocks; // 64-byte blocks filled with data
        int bootloaderStart;
        int unmerged;
        Sections sections;
    };
    const Case cases[] = {
        // The block holding the CRC goes with it, so the CRC bytes are sent twice.
        {"one block", {0x8040}, 0xC000, 3, {{0x8040, 0x8080}, {0xBFC0, 0xC000}, {0xBFFE, 0xC000}}},
        {"four blocks make two sections",
         {0x8000, 0x8040, 0x8080, 0x80C0},
         0xC000,
         6,
         {{0x8000, 0x8080}, {0x8080, 0x8100}, {0xBFC0, 0xC000}, {0xBFFE, 0xC000}}},
        // A merged section is not merged again in the same pass, nor past 128 bytes in the next.
        {"five blocks",
         {0x8000, 0x8040, 0x8080, 0x80C0, 0x8100},
         0xC000,
         7,
         {{0x8000, 0x8080}, {0x8080, 0x8100}, {0x8100, 0x8140}, {0xBFC0, 0xC000}, {0xBFFE, 0xC000}}},
        {"a gap keeps blocks apart",
         {0x8000, 0x8080},
         0xC000,
         4,
         {{0x8000, 0x8040}, {0x8080, 0x80C0}, {0xBFC0, 0xC000}, {0xBFFE, 0xC000}}},
        // The CRC right after a block boundary joins the block before it.
        {"CRC on a block boundary", {0x8000}, 0x8042, 2, {{0x8000, 0x8042}}},
        // The lowest start: the only block reaches past the CRC and the bootloader's start.
        {"lowest start", {}, 0x8022, 2, {{0x8000, 0x8040}, {0x8020, 0x8022}}},
        // The highest start: the last block ends at the image's end.
        {"highest start", {0x8000}, 0x10000, 3, {{0x8000, 0x8040}, {0xFFC0, 0x10000}, {0xFFFE, 0x10000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = blankImage();
        for (int block : c.blocks) {
            fillBlock(image, block);
        }
        const Layout layout = layOut(image, c.bootloaderStart);
        EXPECT_EQ(layout.unmerged, c.unmerged);
        EXPECT_EQ(layout.sections, c.sections);
    }
}

// Random images of every density, with random bootloader starts: the sections are in order, none is
// longer than 128 bytes, they cover every block that is not blank, and writing them to an erased
// meter gives the laid-out application area and the CRC stored after it.
TEST(BootloadImageTest, SectionsOfRandomImagesRebuildTheApplicationArea)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 100; ++round) {
        const int bootloaderStart =
            std::uniform_int_distribution<int>(BOOTLOAD_MIN_START, BOOTLOAD_MAX_START)(random);
        const double density = std::uniform_real_distribution<double>(0.0, 1.0)(random);
        SCOPED_TRACE("round " + std::to_string(round) + ", start " + std::to_string(bootloaderStart));

        Bytes image = blankImage();
        for (int block = 0; block < kImageSize; block += BOOTLOAD_BLOCK_SIZE) {
            if (std::bernoulli_distribution(density)(random)) {
                // Mostly blank with a few set bytes, so one stray byte must keep its block.
                const int bytes = std::uniform_int_distribution<int>(1, 4)(random);
                for (int i = 0; i < bytes; ++i) {
                    const int at =
                        block + std::uniform_int_distribution<int>(0, BOOTLOAD_BLOCK_SIZE - 1)(random);
                    image[static_cast<size_t>(at)] = static_cast<unsigned char>(random() & 0xFE);
                }
            }
        }
        const Layout layout = layOut(image, bootloaderStart);
        const int crcPosition = bootloaderStart - 2;

        ASSERT_FALSE(layout.sections.empty());
        Bytes flash(kImageSize, 0xFF);
        std::vector<bool> covered(kImageSize, false);
        for (size_t i = 0; i < layout.sections.size(); ++i) {
            const auto [start, end] = layout.sections[i];
            ASSERT_LT(start, end);
            ASSERT_LE(end - start, BOOTLOAD_MAX_SECTION_SIZE);
            ASSERT_GE(start, BOOTLOAD_APPLICATION_START);
            ASSERT_LE(end, kImageSize);
            if (i > 0) {
                ASSERT_LT(layout.sections[i - 1].first, start);
            }
            for (int at = start; at < end; ++at) {
                covered[static_cast<size_t>(at)] = true;
                if (at < bootloaderStart) {
                    flash[static_cast<size_t>(at)] = layout.buffer[static_cast<size_t>(at)];
                }
            }
        }
        for (int at = BOOTLOAD_APPLICATION_START; at < bootloaderStart; ++at) {
            if (layout.buffer[static_cast<size_t>(at)] != 0xFF) {
                ASSERT_TRUE(covered[static_cast<size_t>(at)]) << "address " << at;
            }
        }
        EXPECT_TRUE(std::equal(flash.begin() + BOOTLOAD_APPLICATION_START, flash.begin() + bootloaderStart,
                               layout.buffer.begin() + BOOTLOAD_APPLICATION_START));
        const std::uint16_t stored = static_cast<std::uint16_t>(
            flash[static_cast<size_t>(crcPosition)] | flash[static_cast<size_t>(crcPosition + 1)] << 8);
        EXPECT_EQ(crcOf(flash, BOOTLOAD_APPLICATION_START, crcPosition), stored);
    }
}

} // namespace
} // namespace vant::device

#include "ant/device/BootloadImage.h"

#include "MeterRig.h"
#include "ant/AntChannel.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "ant/search/SportDeviceSearch.h"
#include "core/IntrusivePointer.h"
#include "support/LogCapture.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedPowerMeter.h"
#include "support/UploadRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// ---- The upload against a simulated meter and its bootloader ----

using rezezaz::core::IntrusivePointer;
using support::SimulatedMeterFirmware;
using support::SimulatedPowerMeter;
using support::UploadRecorder;
using vant::ant::AntChannel;
using vant::test::MeterRig;

constexpr int kMeter = 4321;
constexpr int kBootloaderStart = 0xC000; // the simulated bootloader's

// The first six bytes of an erase or position message: those that carry meaning.
Bytes eraseBytes(int address, int segments)
{
    const auto low = static_cast<unsigned char>(address & 0xFF);
    const auto high = static_cast<unsigned char>(address >> 8);
    return {0x11,
            low,
            high,
            static_cast<unsigned char>(segments),
            static_cast<unsigned char>(~low),
            static_cast<unsigned char>(~high)};
}

Bytes meaningful(const Bytes& message)
{
    return message[0] == 0x11 ? Bytes(message.begin(), message.begin() + 6)
                              : Bytes(message.begin(), message.begin() + 1);
}

// An image with data in the given 64-byte blocks and in its vectors, blank elsewhere.
Bytes imageWith(const std::vector<int>& blocks)
{
    Bytes image = blankImage();
    for (size_t i = 0; i < blocks.size(); ++i) {
        fillBlock(image, blocks[i], static_cast<unsigned char>(0x20 + 0x40 * i));
    }
    for (int i = 0; i < BOOTLOAD_VECTORS_SIZE; ++i) {
        image[static_cast<size_t>(kImageSize - BOOTLOAD_VECTORS_SIZE + i)] =
            static_cast<unsigned char>(0x80 + i);
    }
    return image;
}

// What the meter's application area holds after a good upload of `image`, worked out apart from the
// library: the image below the moved vectors, the vectors, and the simulated bootloader's own CRC.
Bytes expectedApplicationArea(const Bytes& image, int bootloaderStart)
{
    Bytes flash(kImageSize, 0xFF);
    const int crcPosition = bootloaderStart - 2;
    std::copy(image.begin() + BOOTLOAD_APPLICATION_START, image.begin() + crcPosition - BOOTLOAD_VECTORS_SIZE,
              flash.begin() + BOOTLOAD_APPLICATION_START);
    std::copy(image.end() - BOOTLOAD_VECTORS_SIZE, image.end(),
              flash.begin() + crcPosition - BOOTLOAD_VECTORS_SIZE);
    const int crc =
        SimulatedMeterFirmware::crc16(flash.data() + BOOTLOAD_APPLICATION_START,
                                      static_cast<size_t>(crcPosition - BOOTLOAD_APPLICATION_START));
    flash[static_cast<size_t>(crcPosition)] = static_cast<unsigned char>(crc & 0xFF);
    flash[static_cast<size_t>(crcPosition + 1)] = static_cast<unsigned char>(crc >> 8);
    return Bytes(flash.begin() + BOOTLOAD_APPLICATION_START, flash.begin() + bootloaderStart);
}

// A meter with its firmware on a simulated stick, and the device the main window would make for it.
// One per case: every case starts from a fresh meter.
struct MeterUnderTest
{
    MeterUnderTest() : meter(rig.radio->addMeter(kMeter)), firmware(meter) {}

    ~MeterUnderTest()
    {
        if (device) {
            device->destroy();
        }
    }

    // The meter runs its application; the device is opened as the main window opens it.
    bool openApplication()
    {
        if (!rig.openByNumber(kMeter)) {
            return false;
        }
        createDevice(false);
        return true;
    }

    // The meter sits in its bootloader and is found on the bootloader's settings. Waits for the
    // bootloader's first page.
    bool openBootloader()
    {
        firmware.enterBootloader();
        vant::test::SearchRecorderBase found;
        IntrusivePointer<vant::search::SportDeviceSearch> search =
            new vant::search::SportDeviceSearch(rig.manager.get());
        search->addSportDeviceSearchListener(&found);
        const bool started = search->search(6, kMeter, 11, 3136, 70, 0, false);
        const bool ended = started && rig.runUntil([&] { return found.ended; }, 10000);
        search->destroy();
        if (!ended || !found.found) {
            return false;
        }
        createDevice(true);
        return rig.runUntil([&] { return field(28) != 0; }, 5000);
    }

    void createDevice(bool bootload)
    {
        device = new VelonixPowerMeterDevice(kMeter, rig.manager.get(), 0, bootload);
        device->addPowerMeterDeviceListener(&events);
    }

    int field(int id)
    {
        int value = 0;
        device->sportData->getField(&value, id);
        return value;
    }

    // What the meter heard from `from` on, as the bytes that carry meaning.
    std::vector<Bytes> heard(size_t from = 0) const
    {
        std::vector<Bytes> messages;
        const auto& received = meter.acknowledgedReceived();
        for (size_t i = from; i < received.size(); ++i) {
            messages.push_back(meaningful(received[i]));
        }
        return messages;
    }

    bool runUntilFinished(int limitMs = 60000)
    {
        return rig.runUntil([&] { return !events.finished.empty(); }, limitMs);
    }

    Bytes applicationArea() const
    {
        return Bytes(firmware.flash().begin() + BOOTLOAD_APPLICATION_START,
                     firmware.flash().begin() + firmware.bootloader.startAddress);
    }

    MeterRig rig;
    SimulatedPowerMeter& meter;
    SimulatedMeterFirmware firmware;
    UploadRecorder events;
    IntrusivePointer<VelonixPowerMeterDevice> device;
};

TEST(BootloadTest, Crc16IsTheModbusCrc)
{
    unsigned char check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(VelonixPowerMeterDevice::crc16(check, sizeof check), 0x4B37);
}

// The switch: unlock, F0 09, then the device lets go of the application's channel and follows the
// meter onto the bootloader's settings, however long the bootloader takes to appear within the
// channel's search time.
TEST(BootloadTest, SwitchFollowsTheMeterIntoItsBootloader)
{
    struct Case
    {
        const char* name;
        int appearAfterMs;
    };
    const Case cases[] = {
        {"at once", 0},
        {"while the channel still tracks the application", 1000},
        {"after the channel has searched for a while", 6000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterUnderTest m;
        m.firmware.bootloader.appearAfterMs = c.appearAfterMs;
        ASSERT_TRUE(m.openApplication());
        ASSERT_FALSE(m.device->getBootload());

        m.device->changeBootload();
        ASSERT_TRUE(m.rig.runUntil([&] { return m.events.changedCount > 0; }, 30000));

        EXPECT_TRUE(m.firmware.inBootloader());
        EXPECT_EQ(m.firmware.lockedWrites(), 0) << "the switch went out before the unlock";
        const auto& received = m.meter.acknowledgedReceived();
        ASSERT_EQ(received.size(), 2u);
        EXPECT_EQ(Bytes(received[0].begin(), received[0].begin() + 2), (Bytes{0xF0, 0x52}));
        EXPECT_TRUE(
            std::equal(m.firmware.unlockCode.begin(), m.firmware.unlockCode.end(), received[0].begin() + 2));
        EXPECT_EQ(Bytes(received[1].begin(), received[1].begin() + 2), (Bytes{0xF0, 0x09}));

        AntChannel* channel = m.rig.manager->getChannel(0, -1);
        ASSERT_NE(channel, nullptr);
        EXPECT_EQ(channel->getState(), AntChannel::STATE_OPEN);
        EXPECT_EQ(channel->getPeriod(), 3136);
        EXPECT_EQ(channel->getFrequency(), 70);
        EXPECT_EQ(channel->getDeviceId(), kMeter);
        EXPECT_EQ(channel->getDeviceType(), 11);
        EXPECT_TRUE(m.device->getBootload());

        // The device stays and reads the bootloader's page; nothing further happens.
        m.rig.run(3000);
        EXPECT_EQ(m.field(28), kBootloaderStart);
        EXPECT_EQ(m.field(29), m.firmware.bootloader.version);
        EXPECT_EQ(m.events.changedCount, 1);
        EXPECT_EQ(m.events.closedCount, 0);
        EXPECT_TRUE(m.events.finished.empty());
    }
}

// Each section is positioned once and written by one burst, and the final CRC match finishes: the
// bootloader hears the erase, one position per section and the finish, and ends up with the image.
TEST(BootloadTest, UploadPositionsAndSendsEachSectionOnce)
{
    struct Case
    {
        const char* name;
        std::vector<int> blocks;
        std::vector<int> positions;
        std::vector<size_t> burstSizes;
    };
    const Case cases[] = {
        // The block holding the CRC is sent, then the CRC on its own (padded to a whole packet).
        {"one block", {0x8040}, {0x8040, 0xBFC0, 0xBFFE}, {64, 64, 8}},
        {"four blocks",
         {0x8000, 0x8040, 0x8080, 0x80C0},
         {0x8000, 0x8080, 0xBFC0, 0xBFFE},
         {128, 128, 64, 8}},
        {"blocks apart", {0x9000, 0xA040, 0xA080}, {0x9000, 0xA040, 0xBFC0, 0xBFFE}, {64, 128, 64, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterUnderTest m;
        ASSERT_TRUE(m.openBootloader());
        Bytes image = imageWith(c.blocks);

        m.device->bootloadData(0, m.field(28), image.data());
        ASSERT_TRUE(m.runUntilFinished());
        EXPECT_EQ(m.events.finished, std::vector<bool>{true});

        std::vector<Bytes> expected = {eraseBytes(0x8000, 0x20)};
        for (int position : c.positions) {
            expected.push_back(eraseBytes(position, 0));
        }
        expected.push_back({0x12});
        std::vector<size_t> burstSizes;
        for (const Bytes& burst : m.meter.burstsReceived()) {
            burstSizes.push_back(burst.size());
        }
        EXPECT_EQ(burstSizes, c.burstSizes);
        EXPECT_EQ(m.applicationArea(), expectedApplicationArea(image, kBootloaderStart));

        // Progress counts the sections already sent.
        ASSERT_FALSE(m.events.progress.empty());
        EXPECT_EQ(m.events.progress.front(), 0);
        EXPECT_TRUE(std::is_sorted(m.events.progress.begin(), m.events.progress.end()));
        EXPECT_EQ(m.events.progress.back(),
                  static_cast<int>((c.positions.size() - 1) * 100 / c.positions.size()));

        // The finish reaches the meter, which restarts its application; the device on the
        // bootloader's channel no longer hears it, and the upload does not start again.
        m.rig.run(5000);
        EXPECT_EQ(m.heard(), expected);
        EXPECT_FALSE(m.firmware.inBootloader());
        EXPECT_EQ(m.events.finished, std::vector<bool>{true});
    }
}

// The first erase and a position message, byte for byte.
TEST(BootloadTest, EraseAndPositionMessages)
{
    MeterUnderTest m;
    ASSERT_TRUE(m.openBootloader());
    Bytes image = imageWith({0x8040});
    m.device->bootloadData(0, kBootloaderStart, image.data());
    ASSERT_TRUE(m.runUntilFinished());
    const std::vector<Bytes> heard = m.heard();
    ASSERT_GE(heard.size(), 2u);
    EXPECT_EQ(heard[0], (Bytes{0x11, 0x00, 0x80, 0x20, 0xFF, 0x7F}));
    EXPECT_EQ(heard[1], (Bytes{0x11, 0x40, 0x80, 0x00, 0xBF, 0x7F}));
}

// Ten failed bursts of a section are retried, each after its position again; the eleventh ends the
// upload. A burst that goes through starts the count again for the next section. A failed burst of the
// CRC, which leaves the reported CRC as it was, is still positioned only once per try.
TEST(BootloadTest, FailedBurstsAreRetriedTenTimes)
{
    // The image's sections: two blocks apart, the block holding the CRC, and the CRC.
    const std::vector<int> positions = {0x8000, 0x8100, 0xBFC0, 0xBFFE};
    struct Case
    {
        const char* name;
        std::vector<int> failures; // failed bursts of each section in turn
        bool success;
    };
    const Case cases[] = {
        {"ten failures", {10}, true},
        {"eleven failures", {11}, false},
        {"ten failures of two sections each", {10, 10}, true},
        {"eleven failures of the second section", {3, 11}, false},
        {"failures of the CRC", {0, 0, 1, 2}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterUnderTest m;
        ASSERT_TRUE(m.openBootloader());
        Bytes image = imageWith({0x8000, 0x8100});

        m.rig.radio->chip().failBursts(c.failures[0]);
        m.device->bootloadData(0, kBootloaderStart, image.data());
        // Each section's failures are armed once the section before it has landed.
        for (size_t section = 1; section < c.failures.size(); ++section) {
            ASSERT_TRUE(m.rig.runUntil(
                [&] { return m.meter.burstsReceived().size() >= section || !m.events.finished.empty(); },
                60000));
            m.rig.radio->chip().failBursts(c.failures[section]);
        }
        ASSERT_TRUE(m.runUntilFinished());
        // Nothing more follows the end, whichever it was.
        m.rig.run(5000);

        EXPECT_EQ(m.events.finished, std::vector<bool>{c.success});
        const std::vector<Bytes> heard = m.heard();
        for (size_t section = 0; section < positions.size(); ++section) {
            SCOPED_TRACE("section " + std::to_string(section));
            const int failures = section < c.failures.size() ? c.failures[section] : 0;
            const bool reached =
                std::all_of(c.failures.begin(),
                            c.failures.begin() + static_cast<long>(std::min(section, c.failures.size())),
                            [](int f) { return f <= 10; });
            const long tries = reached ? std::min(failures, 10) + 1 : 0;
            EXPECT_EQ(std::count(heard.begin(), heard.end(), eraseBytes(positions[section], 0)), tries);
        }
        EXPECT_EQ(std::count(heard.begin(), heard.end(), Bytes{0x12}), c.success ? 1 : 0);
        if (c.success) {
            EXPECT_EQ(m.applicationArea(), expectedApplicationArea(image, kBootloaderStart));
        }
    }
}

// A start address that would put the moved vectors or the CRC outside the image, no image at all, or a
// meter that is not in its bootloader, is refused at once: the listeners hear of the failure, nothing is
// sent, and commands still run.
TEST(BootloadTest, RefusedUploads)
{
    struct Case
    {
        const char* name;
        int start;
        bool image;
        int segments; // of the first erase; -1 when refused
        bool inBootloader = true;
    };
    const Case cases[] = {
        {"zero", 0, true, -1},
        {"negative", -0x4000, true, -1},
        {"just below the lowest", 0x8021, true, -1},
        {"past the image", 0x10001, true, -1},
        {"no image", kBootloaderStart, false, -1},
        {"meter not in its bootloader", kBootloaderStart, true, -1, false},
        {"lowest", 0x8022, true, 0},
        {"highest", 0x10000, true, 0x40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeterUnderTest m;
        ASSERT_TRUE(c.inBootloader ? m.openBootloader() : m.openApplication());
        support::LogCapture log;
        Bytes image = imageWith({0x8040});
        m.rig.radio->clearSent();

        m.device->bootloadData(0, c.start, c.image ? image.data() : nullptr);
        const auto sent = m.rig.sent(0x4F);
        if (c.segments < 0) {
            EXPECT_EQ(m.events.finished, std::vector<bool>{false});
            EXPECT_TRUE(sent.empty());
            const auto texts = log.listener.texts();
            EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& text) {
                return text.find("refused") != std::string::npos;
            }));
            // No upload runs: a command still goes out.
            m.device->doQueryBootload();
            EXPECT_EQ(m.rig.sent(0x4F).size(), 1u);
        } else {
            EXPECT_TRUE(m.events.finished.empty());
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(Bytes(sent[0].begin() + 1, sent[0].begin() + 7), eraseBytes(0x8000, c.segments));
        }
    }
}

// A bootloader whose CRC never matches leaves the upload waiting after the erase: no section is sent,
// no end is reported, and the mismatch is logged only when its values change.
TEST(BootloadTest, CrcThatNeverMatchesLeavesTheUploadWaiting)
{
    MeterUnderTest m;
    m.firmware.bootloader.wrongCrc = true;
    ASSERT_TRUE(m.openBootloader());
    support::LogCapture log;
    Bytes image = imageWith({0x8040});

    m.device->bootloadData(0, kBootloaderStart, image.data());
    m.rig.run(60000);

    EXPECT_TRUE(m.events.finished.empty());
    EXPECT_EQ(m.heard(), std::vector<Bytes>{eraseBytes(0x8000, 0x20)});
    EXPECT_TRUE(m.meter.burstsReceived().empty());
    std::vector<std::string> mismatches;
    for (const std::string& text : log.listener.texts()) {
        if (text.find("CRC fail") != std::string::npos) {
            mismatches.push_back(text);
        }
    }
    ASSERT_FALSE(mismatches.empty());
    EXPECT_LT(mismatches.size(), 5u) << "of some 600 pages";
    EXPECT_EQ(std::adjacent_find(mismatches.begin(), mismatches.end()), mismatches.end());
    EXPECT_EQ(m.heard().size(), 1u);
}

// The device's channel losing the meter and finding it again while a command waits must not move the
// upload on: only a transmission the upload made does.
TEST(BootloadTest, ReturningChannelDoesNotMoveTheUploadOn)
{
    MeterUnderTest m;
    m.firmware.bootloader.wrongCrc = true; // the upload waits after the erase
    ASSERT_TRUE(m.openBootloader());
    Bytes image = imageWith({0x8040});
    m.device->bootloadData(0, kBootloaderStart, image.data());
    m.rig.run(3000);
    ASSERT_EQ(m.heard(), std::vector<Bytes>{eraseBytes(0x8000, 0x20)});
    // Queued behind the upload.
    m.device->startSleep();

    m.meter.setSilent(true);
    ASSERT_TRUE(m.rig.runUntil([&] { return m.rig.channelState(0) == AntChannel::STATE_SEARCHING; }, 10000));
    m.meter.setSilent(false);
    ASSERT_TRUE(m.rig.runUntil([&] { return m.rig.channelState(0) == AntChannel::STATE_OPEN; }, 10000));
    m.rig.run(3000);

    EXPECT_TRUE(m.meter.burstsReceived().empty());
    EXPECT_EQ(m.heard(), std::vector<Bytes>{eraseBytes(0x8000, 0x20)});
    EXPECT_TRUE(m.events.finished.empty());
}

} // namespace
} // namespace vant::device

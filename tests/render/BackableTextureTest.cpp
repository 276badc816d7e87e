#include "render/BackableTexture.h"

#include "core/IntrusivePointer.h"
#include "core/Logger.h"
#include "core/Resource.h"
#include "core/ResourceDestroyedListener.h"
#include "render/BackableTextureMipPixelBuffer.h"
#include "support/CallLog.h"
#include "support/LogRecorder.h"
#include "support/RecordingRenderDevice.h"
#include "support/RecordingTexture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rezezaz::render {
namespace {

using core::IntrusivePointer;
using support::CallLog;
using support::RecordingTexture;
using Bytes = std::vector<unsigned char>;
using Calls = std::vector<std::string>;

const char* const convertingText = "BackableTexture::convertCreate - converting texture:";

class DestroyRecorder : public core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(core::Resource* resource) override { told.push_back(resource); }
    std::vector<core::Resource*> told;
};

IntrusivePointer<TextureFormat> format2D(int pixelFormat, int width, int height, int mipMax)
{
    return IntrusivePointer<TextureFormat>(
        new TextureFormat(TextureFormat::Dimension_2D, pixelFormat, width, height, 1, mipMax));
}

// A sub-box of a 2D format: from (x, y), width x height, tightly packed.
IntrusivePointer<TextureFormat> box(int pixelFormat, int x, int y, int width, int height)
{
    IntrusivePointer<TextureFormat> result = format2D(pixelFormat, width, height, 1);
    result->xMin = x;
    result->xMax = x + width;
    result->yMin = y;
    result->yMax = y + height;
    return result;
}

Bytes counting(size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 7 + 1);
    }
    return bytes;
}

// The alert lines of the texture conversion.
std::vector<std::string> conversions(const support::LogRecorder& recorder)
{
    std::vector<std::string> result;
    for (const auto& entry : recorder.entries) {
        if (entry.text.rfind(convertingText, 0) == 0) {
            EXPECT_EQ(entry.categoryName, "rezezaz.render");
            EXPECT_EQ(entry.level, core::Logger::ALERT);
            result.push_back(entry.text.substr(std::string(convertingText).size()));
        }
    }
    return result;
}

class BackableTextureTest : public ::testing::Test
{
protected:
    IntrusivePointer<RecordingTexture> newBack(const char* label)
    {
        return IntrusivePointer<RecordingTexture>(new RecordingTexture(log, label));
    }

    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    support::RecordingRenderDevice device{log};
};

TEST_F(BackableTextureTest, ANonPowerOfTwoTextureIsPaddedWithZerosForADeviceThatNeedsIt)
{
    device.caps.textureAutogenMipMaps = true;
    support::LogRecorder recorder;
    IntrusivePointer<TextureFormat> format = format2D(TextureFormat::Format_L_8, 300, 200, 1);
    Bytes pixels = counting(300 * 200);
    unsigned char* levels[] = {pixels.data()};
    IntrusivePointer<RecordingTexture> back = newBack("back");

    EXPECT_TRUE(BackableTexture::convertCreate(back, &device, 1, format, levels));
    EXPECT_EQ(log->take(), Calls{"back.create(1,0x101 512x256x1 m1,1 levels)"});
    EXPECT_EQ(conversions(recorder), std::vector<std::string>{"1,0,0"});
    ASSERT_EQ(back->levels.size(), 1u);
    const Bytes& level = back->levels[0];
    ASSERT_EQ(level.size(), 512u * 256u);
    for (int y : {0, 1, 199}) {
        EXPECT_TRUE(
            std::equal(pixels.begin() + y * 300, pixels.begin() + (y + 1) * 300, level.begin() + y * 512))
            << y;
        EXPECT_TRUE(std::all_of(level.begin() + y * 512 + 300, level.begin() + (y + 1) * 512,
                                [](unsigned char b) { return b == 0; }));
    }
    EXPECT_TRUE(std::all_of(level.begin() + 200 * 512, level.end(), [](unsigned char b) { return b == 0; }));
}

TEST_F(BackableTextureTest, ConversionDependsOnWhatTheDeviceLacks)
{
    struct Case
    {
        const char* name;
        bool nonPowerOf2;
        bool autogen;
        bool closeRGBA;
        int usage;
        int mipMax;
        const char* create;
        std::vector<std::string> alerts;
    };
    const Case cases[] = {
        {"a device that takes it as it is",
         false,
         true,
         false,
         0x40,
         0,
         "back.create(64,0x106 4x4x1 m0,1 levels)",
         {}},
        {"another pixel format", true, true, true, 1, 1, "back.create(1,0x108 4x4x1 m1,1 levels)", {"0,0,1"}},
        // Prepared here, without the autogen bit, and handed over as two given levels (the levels
        // themselves are checked below).
        {"mips the device cannot make",
         true,
         false,
         false,
         0x41,
         0,
         "back.create(1,0x106 4x4x1 m2,2 levels)",
         {"0,1,0"}},
        {"mips asked for with given levels",
         true,
         false,
         false,
         0x40,
         2,
         "back.create(0,0x106 4x4x1 m2,2 levels)",
         {"0,1,0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log->take();
        support::LogRecorder recorder;
        device.caps.textureNonPowerOf2 = c.nonPowerOf2;
        device.caps.textureAutogenMipMaps = c.autogen;
        device.closeFormats.clear();
        if (c.closeRGBA) {
            device.closeFormats[TextureFormat::Format_RGB_8] = TextureFormat::Format_RGBA_8;
        }
        Bytes level0 = counting(4 * 4 * 3);
        Bytes level1 = counting(2 * 2 * 3);
        unsigned char* levels[] = {level0.data(), level1.data()};
        IntrusivePointer<RecordingTexture> back = newBack("back");
        EXPECT_TRUE(BackableTexture::convertCreate(
            back, &device, c.usage, format2D(TextureFormat::Format_RGB_8, 4, 4, c.mipMax), levels));
        Calls calls = log->take();
        ASSERT_EQ(calls.size(), 1u);
        // The recording texture counts the levels by the format: mipMax 0 reads as one.
        EXPECT_EQ(calls[0], c.create);
        EXPECT_EQ(conversions(recorder), c.alerts);
    }
}

TEST_F(BackableTextureTest, MissingMipLevelsAreBoxFilteredFromTheLevelAbove)
{
    device.caps.textureNonPowerOf2 = true;
    Bytes level0 = {0, 40, 8, 8, 100, 60, 8, 8, 0, 0, 4, 4, 0, 0, 4, 4};
    unsigned char* levels[] = {level0.data()};
    // The recording texture keeps as many levels as the format's mipMax says.
    IntrusivePointer<TextureFormat> format = format2D(TextureFormat::Format_L_8, 4, 4, 0);
    class LevelKeeper : public RecordingTexture
    {
    public:
        using RecordingTexture::RecordingTexture;
        bool create(int usage, IntrusivePointer<TextureFormat> format, unsigned char** mipDatas) override
        {
            for (int level = 0; mipDatas[level] != nullptr; ++level) {
                TextureFormat levelFormat(format.get(), level);
                kept.emplace_back(mipDatas[level], mipDatas[level] + levelFormat.zPitch);
            }
            return RecordingTexture::create(usage, format, mipDatas);
        }
        std::vector<Bytes> kept;
    };
    IntrusivePointer<LevelKeeper> back(new LevelKeeper(log, "back"));
    EXPECT_TRUE(BackableTexture::convertCreate(back, &device, 0x40, format, levels));
    ASSERT_EQ(back->kept.size(), 2u);
    EXPECT_EQ(back->kept[0], level0);
    // Each 2 x 2 block averaged, rounded.
    EXPECT_EQ(back->kept[1], (Bytes{(0 + 40 + 100 + 60 + 2) / 4, 8, 0, 4}));
}

TEST_F(BackableTextureTest, MipLevelsOfACubeMapAreMadeForEachOfItsSixSides)
{
    device.caps.textureNonPowerOf2 = true;
    // Side s of level 0 is all 10 * (s + 1).
    Bytes level0(4 * 4 * 6);
    for (size_t i = 0; i < level0.size(); ++i) {
        level0[i] = static_cast<unsigned char>(10 * (i / 16 + 1));
    }
    unsigned char* levels[] = {level0.data()};
    IntrusivePointer<TextureFormat> format(
        new TextureFormat(TextureFormat::Dimension_CUBE, TextureFormat::Format_L_8, 4, 4, 6, 0));
    // Takes six level-sized sides from each level, as a device uploads a cube map.
    class SideKeeper : public RecordingTexture
    {
    public:
        using RecordingTexture::RecordingTexture;
        bool create(int usage, IntrusivePointer<TextureFormat> format, unsigned char** mipDatas) override
        {
            for (int level = 0; level < format->mipMax; ++level) {
                TextureFormat levelFormat(format.get(), level);
                kept.emplace_back(mipDatas[level], mipDatas[level] + 6 * levelFormat.yPitch);
            }
            return RecordingTexture::create(usage, format, mipDatas);
        }
        std::vector<Bytes> kept;
    };
    IntrusivePointer<SideKeeper> back(new SideKeeper(log, "back"));
    EXPECT_TRUE(BackableTexture::convertCreate(back, &device, 0x40, format, levels));
    ASSERT_EQ(back->kept.size(), 2u);
    EXPECT_EQ(back->kept[0], level0);
    Bytes level1(2 * 2 * 6);
    for (size_t i = 0; i < level1.size(); ++i) {
        level1[i] = static_cast<unsigned char>(10 * (i / 4 + 1));
    }
    EXPECT_EQ(back->kept[1], level1);
}

TEST_F(BackableTextureTest, EachNewBackIsMadeFromTheCopyAndLevelBuffersFollowIt)
{
    device.caps.textureNonPowerOf2 = true;
    device.caps.textureAutogenMipMaps = true;
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    Bytes pixels = counting(4 * 2 * 4);
    unsigned char* levels[] = {pixels.data()};
    ASSERT_TRUE(texture->create(1, format2D(TextureFormat::Format_RGBA_8, 4, 2, 1), levels));
    EXPECT_EQ(texture->getUsage(), 1);
    IntrusivePointer<PixelBuffer> level0 = texture->getMipPixelBuffer(0, 0);
    EXPECT_EQ(level0, texture->getMipPixelBuffer(0, 0));
    EXPECT_EQ(level0->getRootPixelBuffer(), nullptr);
    EXPECT_EQ(level0->lock(Buffer::Access_READ), nullptr);
    EXPECT_EQ(level0->getDataSize(), 0);

    IntrusivePointer<RecordingTexture> first = newBack("first");
    texture->setBack(first, &device);
    EXPECT_EQ(log->take(), Calls{"first.create(1,0x108 4x2x1 m1,1 levels)"});
    EXPECT_EQ(first->levels[0], pixels);
    EXPECT_EQ(texture->getRootTexture(), first.get());
    EXPECT_EQ(level0->getRootPixelBuffer(), first->mipBuffers.at({0, 0}).get());

    // The context goes: the level buffer lets go of the device level but remembers its format.
    texture->setBack(nullptr, nullptr);
    EXPECT_EQ(log->take(), Calls{"first.destroy()"});
    EXPECT_EQ(level0->getRootPixelBuffer(), nullptr);
    EXPECT_EQ(level0->getDataSize(), 32);
    EXPECT_EQ(level0->getSize(), 8);
    EXPECT_EQ(level0->getTextureFormat()->pixelFormat, TextureFormat::Format_RGBA_8);

    IntrusivePointer<RecordingTexture> second = newBack("second");
    texture->setBack(second, &device);
    EXPECT_EQ(second->levels[0], pixels);
    EXPECT_EQ(level0->getRootPixelBuffer(), second->mipBuffers.at({0, 0}).get());
    unsigned char* bytes = level0->lock(Buffer::Access_WRITE);
    EXPECT_EQ(bytes, second->mipBuffers.at({0, 0})->bytes.data());
    EXPECT_TRUE(level0->unlock());
    EXPECT_FALSE(level0->create(1, 1, nullptr));

    texture->resetDestroy();
    texture->resetCreate();
    log->take();
    EXPECT_EQ(level0->getRootPixelBuffer(), second->mipBuffers.at({0, 0}).get());

    DestroyRecorder recorder;
    texture->setDestroyedListener(&recorder);
    texture->destroy();
    EXPECT_EQ(log->take(), Calls{"second.destroy()"});
    EXPECT_EQ(level0->getRootPixelBuffer(), nullptr);
    EXPECT_EQ(recorder.told, std::vector<core::Resource*>{texture->resourceThis()});
}

TEST_F(BackableTextureTest, ACubeMapHasABufferPerSideOfEachLevel)
{
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    IntrusivePointer<TextureFormat> cube(
        new TextureFormat(TextureFormat::Dimension_CUBE, TextureFormat::Format_RGBA_8, 4, 4, 6, 1));
    ASSERT_TRUE(texture->create(0x20, cube, nullptr));
    std::vector<PixelBuffer*> seen;
    for (int side = 0; side < 6; ++side) {
        IntrusivePointer<PixelBuffer> buffer = texture->getMipPixelBuffer(1, side);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), buffer.get()), 0);
        seen.push_back(buffer.get());
        EXPECT_EQ(texture->getMipPixelBuffer(1, side), buffer);
    }
    EXPECT_NE(texture->getMipPixelBuffer(0, 0).get(), seen[0]);
    EXPECT_EQ(texture->getMipPixelBuffer(0, 6), nullptr);
    EXPECT_EQ(texture->getMipPixelBuffer(-1, 0), nullptr);
    EXPECT_EQ(texture->getMipPixelBuffer(1 << 28, 0), nullptr);

    IntrusivePointer<RecordingTexture> back = newBack("back");
    texture->setBack(back, &device);
    EXPECT_EQ(texture->getMipPixelBuffer(1, 4)->getRootPixelBuffer(), back->mipBuffers.at({1, 4}).get());
}

TEST_F(BackableTextureTest, UsageDecidesTheCopyAndTheMipChain)
{
    struct Case
    {
        int usage;
        int mipMax;
        int storedUsage;
        bool copy;
    };
    const Case cases[] = {
        {1, 1, 1, true}, {1, 0, 0x41, true}, {1, 4, 0x41, true},
        {9, 0, 9, true}, {4, 1, 4, false},   {0x20, 1, 0x20, false},
    };
    device.caps.textureNonPowerOf2 = true;
    device.caps.textureAutogenMipMaps = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.usage << " " << c.mipMax);
        log->take();
        IntrusivePointer<BackableTexture> texture(new BackableTexture());
        ASSERT_TRUE(texture->create(c.usage, format2D(TextureFormat::Format_L_8, 2, 2, c.mipMax), nullptr));
        EXPECT_EQ(texture->getUsage(), c.storedUsage);
        Bytes pixels = {1, 2, 3, 4};
        IntrusivePointer<TextureFormat> whole = format2D(TextureFormat::Format_L_8, 2, 2, 1);
        // Without a back only the copy takes a load.
        EXPECT_EQ(texture->load(whole.get(), pixels.data()), c.copy);
        Bytes out(4, 0);
        EXPECT_EQ(texture->read(whole.get(), out.data()), c.copy);
        EXPECT_EQ(out, c.copy ? pixels : Bytes(4, 0));

        IntrusivePointer<RecordingTexture> back = newBack("back");
        texture->setBack(back, &device);
        const std::string mips = (c.storedUsage & 0x40) ? "m0" : "m1";
        const std::string data = c.copy ? "1 levels" : "no data";
        EXPECT_EQ(log->take(), Calls{"back.create(" + std::to_string(c.storedUsage) + ",0x101 2x2x1 " + mips +
                                     "," + data + ")"});
    }
}

TEST_F(BackableTextureTest, BoxesAreWrittenAndReadAtTheirPlaceInTheCopy)
{
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    ASSERT_TRUE(texture->create(1, format2D(TextureFormat::Format_RGB_8, 4, 3, 1), nullptr));

    // An RGBA box at (1, 1), 2 x 2: converted to RGB and written at its place.
    Bytes rgba = {10, 11, 12, 255, 20, 21, 22, 255, 30, 31, 32, 255, 40, 41, 42, 255};
    EXPECT_TRUE(texture->load(box(TextureFormat::Format_RGBA_8, 1, 1, 2, 2).get(), rgba.data()));
    Bytes whole(4 * 3 * 3, 0);
    EXPECT_TRUE(texture->read(format2D(TextureFormat::Format_RGB_8, 4, 3, 1).get(), whole.data()));
    Bytes expected(4 * 3 * 3, 0);
    const Bytes row1 = {10, 11, 12, 20, 21, 22};
    const Bytes row2 = {30, 31, 32, 40, 41, 42};
    std::copy(row1.begin(), row1.end(), expected.begin() + 12 + 3);
    std::copy(row2.begin(), row2.end(), expected.begin() + 24 + 3);
    EXPECT_EQ(whole, expected);

    // A sub-box read in the own pixel format fills the data and answers false, as it always has.
    Bytes same(6, 0);
    EXPECT_FALSE(texture->read(box(TextureFormat::Format_RGB_8, 1, 2, 2, 1).get(), same.data()));
    EXPECT_EQ(same, row2);
    // In another pixel format the answer is the conversion's.
    Bytes other(8, 0);
    EXPECT_TRUE(texture->read(box(TextureFormat::Format_RGBA_8, 1, 2, 2, 1).get(), other.data()));
    EXPECT_EQ(other, (Bytes{30, 31, 32, 255, 40, 41, 42, 255}));
}

TEST_F(BackableTextureTest, ABoxOutsideTheTextureIsRefusedAndTouchesNothing)
{
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    ASSERT_TRUE(texture->create(1, format2D(TextureFormat::Format_L_8, 4, 4, 1), nullptr));
    IntrusivePointer<RecordingTexture> back = newBack("back");
    texture->setBack(back, &device);
    log->take();

    Bytes pixels(64, 9);
    for (const IntrusivePointer<TextureFormat>& outside :
         {box(TextureFormat::Format_L_8, 3, 0, 2, 1), box(TextureFormat::Format_L_8, 0, 3, 1, 2),
          box(TextureFormat::Format_L_8, -1, 0, 2, 2), box(TextureFormat::Format_L_8, 0, 0, 8, 8),
          box(TextureFormat::Format_L_8, 1, 1, 0, 1)}) {
        EXPECT_FALSE(texture->load(outside.get(), pixels.data()));
        EXPECT_FALSE(texture->read(outside.get(), pixels.data()));
    }
    EXPECT_FALSE(texture->load(nullptr, pixels.data()));
    EXPECT_FALSE(texture->load(format2D(TextureFormat::Format_L_8, 4, 4, 1).get(), nullptr));
    EXPECT_TRUE(log->calls.empty());
    texture->setBack(nullptr, nullptr);
    Bytes whole(16, 1);
    EXPECT_TRUE(texture->read(format2D(TextureFormat::Format_L_8, 4, 4, 1).get(), whole.data()));
    EXPECT_EQ(whole, Bytes(16, 0));
}

TEST_F(BackableTextureTest, LoadsAndReadsThroughABackInAnotherFormatAreConverted)
{
    device.caps.textureNonPowerOf2 = true;
    device.closeFormats[TextureFormat::Format_RGB_8] = TextureFormat::Format_RGBA_8;
    IntrusivePointer<BackableTexture> texture(new BackableTexture());
    ASSERT_TRUE(texture->create(1, format2D(TextureFormat::Format_RGB_8, 2, 1, 1), nullptr));
    IntrusivePointer<RecordingTexture> back = newBack("back");
    texture->setBack(back, &device);
    log->take();

    Bytes rgb = {1, 2, 3, 4, 5, 6};
    IntrusivePointer<TextureFormat> whole = format2D(TextureFormat::Format_RGB_8, 2, 1, 1);
    EXPECT_TRUE(texture->load(whole.get(), rgb.data()));
    EXPECT_EQ(log->take(), Calls{"back.load(0x108 2x1x1 m1)"});
    EXPECT_EQ(back->loaded, (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));

    back->levels = {Bytes{7, 8, 9, 255, 10, 11, 12, 255}};
    Bytes out(6, 0);
    EXPECT_TRUE(texture->read(whole.get(), out.data()));
    EXPECT_EQ(log->take(), Calls{"back.read(0x108 2x1x1 m1)"});
    EXPECT_EQ(out, (Bytes{7, 8, 9, 10, 11, 12}));
}

} // namespace
} // namespace rezezaz::render

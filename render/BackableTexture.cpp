#include "render/BackableTexture.h"

#include "core/Categories.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "render/BackableTextureMipPixelBuffer.h"
#include "render/RenderCaps.h"
#include "render/RenderDevice.h"
#include "render/TextureFormatConversion.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace rezezaz::render {

namespace {

constexpr int MAX_LEVELS = 32;
constexpr int CUBE_SIDES = 6;

// 0 passes too.
bool isPowerOfTwo(int value)
{
    return (value & (value - 1)) == 0;
}

int nextPowerOfTwo(int value)
{
    int result = 1;
    while (result < value && result < (1 << 30)) {
        result <<= 1;
    }
    return result;
}

// How many times the largest side can be halved while it stays above 1.
int fullLevelCount(const TextureFormat& format)
{
    int largest = std::max({format.xMax, format.yMax, format.zMax});
    int count = 0;
    while (largest > 1) {
        largest >>= 1;
        ++count;
    }
    return count;
}

void logText(core::Logger::Level level, const core::String& text)
{
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_RENDER, level, text);
}

std::unique_ptr<unsigned char[]> zeroedBlock(int size)
{
    return std::unique_ptr<unsigned char[]>(new unsigned char[static_cast<size_t>(std::max(size, 0))]());
}

// Makes the level `to` from the level above it, `from`, both in the same pixel format with tightly
// packed rows: each pixel is the average of the (up to) eight pixels it covers. Byte and float
// channels are averaged; other uncompressed formats take the first covered pixel; compressed and
// YUV levels stay zero.
void boxFilter(const TextureFormat& from, const unsigned char* src, const TextureFormat& to,
               unsigned char* dst)
{
    const int pixelFormat = to.pixelFormat;
    const int pixelSize = TextureFormat::getPixelSize(pixelFormat);
    const int type = TextureFormat::getType(pixelFormat);
    if (from.pixelFormat != pixelFormat || pixelSize <= 0 || TextureFormat::isCompressed(pixelFormat) ||
        type == TextureFormat::Type_YUV_422 || type == TextureFormat::Type_YUV_OTHER) {
        return;
    }
    const int width = from.getWidth(), height = from.getHeight(), depth = from.getDepth();
    auto cover = [](int target, int targetSize, int sourceSize, int& first, int& second) {
        if (targetSize == sourceSize) {
            first = second = target;
        } else {
            first = std::min(2 * target, sourceSize - 1);
            second = std::min(2 * target + 1, sourceSize - 1);
        }
    };
    for (int z = 0; z < to.getDepth(); ++z) {
        int zs[2];
        cover(z, to.getDepth(), depth, zs[0], zs[1]);
        for (int y = 0; y < to.getHeight(); ++y) {
            int ys[2];
            cover(y, to.getHeight(), height, ys[0], ys[1]);
            for (int x = 0; x < to.getWidth(); ++x) {
                int xs[2];
                cover(x, to.getWidth(), width, xs[0], xs[1]);
                const unsigned char* samples[8];
                int count = 0;
                for (int k : zs) {
                    for (int j : ys) {
                        for (int i : xs) {
                            samples[count++] = src + size_t(k) * from.yPitch + size_t(j) * from.xPitch +
                                               size_t(i) * pixelSize;
                        }
                    }
                }
                unsigned char* out =
                    dst + size_t(z) * to.yPitch + size_t(y) * to.xPitch + size_t(x) * pixelSize;
                if (type == TextureFormat::Type_UINT8) {
                    for (int c = 0; c < pixelSize; ++c) {
                        int sum = 0;
                        for (const unsigned char* sample : samples) {
                            sum += sample[c];
                        }
                        out[c] = static_cast<unsigned char>((sum + 4) / 8);
                    }
                } else if (type == TextureFormat::Type_FLOAT32) {
                    for (int c = 0; c < pixelSize; c += 4) {
                        float sum = 0.0f;
                        for (const unsigned char* sample : samples) {
                            float value;
                            std::memcpy(&value, sample + c, 4);
                            sum += value;
                        }
                        sum /= 8.0f;
                        std::memcpy(out + c, &sum, 4);
                    }
                } else {
                    std::memcpy(out, samples[0], static_cast<size_t>(pixelSize));
                }
            }
        }
    }
}

// The format of one mip level of a texture. Every level of a cube map has all six sides, one after
// the other, each a level-sized image.
core::IntrusivePointer<TextureFormat> levelOf(const TextureFormat& format, int level)
{
    core::IntrusivePointer<TextureFormat> result(new TextureFormat(&format, level));
    if (format.dimension == TextureFormat::Dimension_CUBE) {
        result->zMin = format.zMin;
        result->zMax = format.zMax;
        result->zPitch = result->getDepth() * result->yPitch;
    }
    return result;
}

// The box of the level that format addresses, in the texture's own format.
TextureFormat levelBox(const TextureFormat& own, const TextureFormat& format)
{
    return format.mipMin == 0 ? TextureFormat(&own, -1) : TextureFormat(&own, format.mipMin);
}

} // namespace

bool BackableTexture::convertCreate(core::IntrusivePointer<Texture> back, RenderDevice* device, int usage,
                                    core::IntrusivePointer<TextureFormat> format, unsigned char** mipDatas)
{
    if (!back || !format) {
        return false;
    }
    RenderCaps caps;
    int closeFormat = format->pixelFormat;
    if (device != nullptr) {
        device->getRenderCaps(caps);
        closeFormat = device->getClosePixelFormat(format->pixelFormat, usage);
    } else {
        // Nothing to adapt to.
        caps.textureNonPowerOf2 = true;
        caps.textureAutogenMipMaps = true;
    }
    const bool powerOfTwo =
        isPowerOfTwo(format->xMax) && isPowerOfTwo(format->yMax) &&
        (format->dimension == TextureFormat::Dimension_CUBE || isPowerOfTwo(format->zMax));

    if (mipDatas == nullptr) {
        core::IntrusivePointer<TextureFormat> target = format->withPixelFormat(closeFormat);
        return target && back->create(usage, target, nullptr);
    }

    if ((usage & Usage_AUTOGEN_MIPMAP) == 0 && format->mipMax == 0) {
        logText(core::Logger::DEBUG,
                "Auto calculated mip levels specified with no autogen, non zero levels may be empty");
    }
    const int fullLevels = fullLevelCount(*format);
    const bool needsPowerOfTwo = !caps.textureNonPowerOf2 && !powerOfTwo;
    const bool needsMipGeneration = (usage & Usage_AUTOGEN_MIPMAP) != 0 && !caps.textureAutogenMipMaps;
    int levels = format->mipMax > 0 ? format->mipMax : (needsMipGeneration ? fullLevels : 1);
    levels = std::clamp(levels, 1, MAX_LEVELS);

    if (!needsPowerOfTwo && !needsMipGeneration && closeFormat == format->pixelFormat) {
        return back->create(usage, format, mipDatas);
    }
    logText(core::Logger::ALERT, core::String("BackableTexture::convertCreate - converting texture:") +
                                     needsPowerOfTwo + "," + needsMipGeneration + "," +
                                     (closeFormat != format->pixelFormat));

    core::IntrusivePointer<TextureFormat> target(new TextureFormat(format.get(), -1));
    if (needsPowerOfTwo) {
        target->xMax = target->xMin + nextPowerOfTwo(format->getWidth());
        target->yMax = target->yMin + nextPowerOfTwo(format->getHeight());
        // A cube map keeps its six sides.
        if (format->dimension != TextureFormat::Dimension_CUBE) {
            target->zMax = target->zMin + nextPowerOfTwo(format->getDepth());
        }
    }
    target = target->withPixelFormat(closeFormat);
    if (!target) {
        return false;
    }
    // Levels made here for a device that cannot make them are handed over as given levels, so the
    // device uploads them rather than leaving its upper levels empty.
    if (needsMipGeneration) {
        target->mipMax = levels;
    }

    // The caller gives the levels its format names; the others are filtered from the level above.
    const int givenLevels = std::max(format->mipMax, 1);
    std::vector<std::unique_ptr<unsigned char[]>> blocks(static_cast<size_t>(levels));
    // One entry more, null, for a back that looks for a further level.
    std::vector<unsigned char*> blockPointers(static_cast<size_t>(levels) + 1, nullptr);
    for (int level = 0; level < levels; ++level) {
        const core::IntrusivePointer<TextureFormat> targetLevel = levelOf(*target, level);
        blocks[level] = zeroedBlock(targetLevel->zPitch);
        if (level < givenLevels && mipDatas[level] != nullptr) {
            const core::IntrusivePointer<TextureFormat> sourceLevel = levelOf(*format, level);
            TextureFormatConversion::convert(mipDatas[level], sourceLevel.get(), blocks[level].get(),
                                             targetLevel.get());
        } else if (level > 0) {
            const core::IntrusivePointer<TextureFormat> aboveLevel = levelOf(*target, level - 1);
            boxFilter(*aboveLevel, blocks[level - 1].get(), *targetLevel, blocks[level].get());
        }
        blockPointers[level] = blocks[level].get();
    }
    const int passedUsage = needsMipGeneration ? (usage & ~Usage_AUTOGEN_MIPMAP) : usage;
    return back->create(passedUsage, target, blockPointers.data());
}

bool BackableTexture::convertLoad(Texture* back, TextureFormat* format, unsigned char* data)
{
    const TextureFormat* backFormat = back->getFormat();
    if (backFormat == nullptr || backFormat->pixelFormat == format->pixelFormat) {
        return back->load(format, data);
    }
    core::IntrusivePointer<TextureFormat> copy = format->withPixelFormat(backFormat->pixelFormat);
    if (!copy) {
        return false;
    }
    std::unique_ptr<unsigned char[]> block = zeroedBlock(copy->zPitch);
    TextureFormatConversion::convert(data, format, block.get(), copy.get());
    return back->load(copy.get(), block.get());
}

bool BackableTexture::convertRead(Texture* back, TextureFormat* format, unsigned char* data)
{
    const TextureFormat* backFormat = back->getFormat();
    if (backFormat == nullptr || backFormat->pixelFormat == format->pixelFormat) {
        return back->read(format, data);
    }
    core::IntrusivePointer<TextureFormat> copy = format->withPixelFormat(backFormat->pixelFormat);
    if (!copy) {
        return false;
    }
    std::unique_ptr<unsigned char[]> block = zeroedBlock(std::max(backFormat->zPitch, copy->zPitch));
    const bool result = back->read(copy.get(), block.get());
    TextureFormatConversion::convert(block.get(), copy.get(), data, format);
    return result;
}

void BackableTexture::destroy()
{
    for (int i = 0; i < mipPixelBuffers_.size(); ++i) {
        if (mipPixelBuffers_[i]) {
            mipPixelBuffers_[i]->destroy();
        }
    }
    mipPixelBuffers_.clear();
    destroyBack();
    data_.reset();
    BaseRenderResource::destroy();
}

Texture* BackableTexture::getRootTexture()
{
    return back_ ? back_->getRootTexture() : nullptr;
}

bool BackableTexture::create(int usage, core::IntrusivePointer<TextureFormat> format,
                             unsigned char** mipDatas)
{
    if (!format || format->zPitch < 0) {
        return false;
    }
    usage_ = usage;
    format_ = new TextureFormat(format.get(), -1);
    if ((usage & Usage_MIP_LEVELS_GIVEN) == 0 && format->mipMax != 1) {
        usage_ |= Usage_AUTOGEN_MIPMAP;
    }
    data_.reset();
    if ((usage & (Usage_DYNAMIC | Usage_RENDER_TARGET)) == 0) {
        data_ = zeroedBlock(format->zPitch);
    }
    if (mipDatas != nullptr) {
        load(format.get(), mipDatas[0]);
    }
    return true;
}

void BackableTexture::resetCreate()
{
    if (!back_) {
        return;
    }
    back_->resetCreate();
    for (int i = 0; i < mipPixelBuffers_.size(); ++i) {
        if (mipPixelBuffers_[i]) {
            mipPixelBuffers_[i]->resetCreate();
        }
    }
}

void BackableTexture::resetDestroy()
{
    if (!back_) {
        return;
    }
    for (int i = 0; i < mipPixelBuffers_.size(); ++i) {
        if (mipPixelBuffers_[i]) {
            mipPixelBuffers_[i]->resetDestroy();
        }
    }
    back_->resetDestroy();
}

int BackableTexture::getUsage() const
{
    return usage_;
}

TextureFormat* BackableTexture::getFormat() const
{
    return format_.get();
}

core::IntrusivePointer<PixelBuffer> BackableTexture::getMipPixelBuffer(int level, int cubeSide)
{
    if (level < 0 || level >= MAX_LEVELS) {
        return nullptr;
    }
    int index = level;
    if (format_ && format_->dimension == TextureFormat::Dimension_CUBE) {
        if (cubeSide < 0 || cubeSide >= CUBE_SIDES) {
            return nullptr;
        }
        index = level * CUBE_SIDES + cubeSide;
    }
    if (index >= mipPixelBuffers_.size()) {
        mipPixelBuffers_.resize(index + 1);
    }
    if (!mipPixelBuffers_[index]) {
        mipPixelBuffers_[index] = new BackableTextureMipPixelBuffer(this, level, cubeSide);
    }
    return mipPixelBuffers_[index];
}

bool BackableTexture::load(TextureFormat* format, unsigned char* data)
{
    if (format == nullptr || data == nullptr || !format_ ||
        !levelBox(*format_, *format).containsBox(*format)) {
        return false;
    }
    bool result = back_ ? convertLoad(back_.get(), format, data) : false;
    if (format->mipMin != 0 || !data_) {
        return result;
    }
    const TextureFormat& own = *format_;
    if (format->getWidth() == own.getWidth() && format->getHeight() == own.getHeight() &&
        format->getDepth() == own.getDepth()) {
        return TextureFormatConversion::convert(data, format, data_.get(), format_.get());
    }

    // A sub-box, written at its own place in the copy.
    const TextureFormat* source = format;
    unsigned char* sourceData = data;
    core::IntrusivePointer<TextureFormat> copy;
    std::unique_ptr<unsigned char[]> block;
    if (format->pixelFormat != own.pixelFormat) {
        copy = format->withPixelFormat(own.pixelFormat);
        if (!copy) {
            return false;
        }
        block = zeroedBlock(copy->zPitch);
        result = TextureFormatConversion::convert(data, format, block.get(), copy.get());
        source = copy.get();
        sourceData = block.get();
    }
    const int rowBytes = TextureFormat::getRowPitch(own.pixelFormat, format->getWidth());
    if (source->xPitch < rowBytes || source->yPitch < format->getHeight() * source->xPitch) {
        return false;
    }
    const int xOffset = TextureFormat::getRowPitch(own.pixelFormat, format->xMin - own.xMin);
    for (int z = 0; z < format->getDepth(); ++z) {
        for (int y = 0; y < format->getHeight(); ++y) {
            std::memcpy(data_.get() + size_t(format->zMin - own.zMin + z) * own.yPitch +
                            size_t(format->yMin - own.yMin + y) * own.xPitch + xOffset,
                        sourceData + size_t(z) * source->yPitch + size_t(y) * source->xPitch,
                        static_cast<size_t>(rowBytes));
        }
    }
    return result;
}

bool BackableTexture::read(TextureFormat* format, unsigned char* data)
{
    if (format == nullptr || data == nullptr || !format_ ||
        !levelBox(*format_, *format).containsBox(*format)) {
        return false;
    }
    if (back_) {
        return convertRead(back_.get(), format, data);
    }
    if (format->mipMax > 1 || !data_) {
        return false;
    }
    return readCopy(*format, data);
}

bool BackableTexture::readCopy(const TextureFormat& format, unsigned char* data)
{
    const TextureFormat& own = *format_;
    if (format.getWidth() == own.getWidth() && format.getHeight() == own.getHeight() &&
        format.getDepth() == own.getDepth()) {
        return TextureFormatConversion::convert(data_.get(), format_.get(), data, &format);
    }

    // A sub-box, taken from its own place in the copy: straight into data in the own pixel format,
    // else through a block in the own pixel format that is then converted.
    const bool samePixels = format.pixelFormat == own.pixelFormat;
    core::IntrusivePointer<TextureFormat> layout =
        samePixels ? core::IntrusivePointer<TextureFormat>(new TextureFormat(&format, -1))
                   : format.withPixelFormat(own.pixelFormat);
    if (!layout) {
        return false;
    }
    std::unique_ptr<unsigned char[]> block;
    unsigned char* target = data;
    if (!samePixels) {
        block = zeroedBlock(layout->zPitch);
        target = block.get();
    }
    const int rowBytes = TextureFormat::getRowPitch(own.pixelFormat, format.getWidth());
    if (layout->xPitch < rowBytes || layout->yPitch < format.getHeight() * layout->xPitch) {
        return false;
    }
    const int xOffset = TextureFormat::getRowPitch(own.pixelFormat, format.xMin - own.xMin);
    for (int z = 0; z < format.getDepth(); ++z) {
        for (int y = 0; y < format.getHeight(); ++y) {
            std::memcpy(target + size_t(z) * layout->yPitch + size_t(y) * layout->xPitch,
                        data_.get() + size_t(format.zMin - own.zMin + z) * own.yPitch +
                            size_t(format.yMin - own.yMin + y) * own.xPitch + xOffset,
                        static_cast<size_t>(rowBytes));
        }
    }
    if (samePixels) {
        return false;
    }
    return TextureFormatConversion::convert(block.get(), layout.get(), data, &format);
}

void BackableTexture::setBack(core::IntrusivePointer<Texture> back, RenderDevice* device)
{
    if (back_ && back_ != back) {
        // The level buffers let go of the old back's levels before it goes.
        for (int i = 0; i < mipPixelBuffers_.size(); ++i) {
            if (mipPixelBuffers_[i]) {
                mipPixelBuffers_[i]->resetDestroy();
            }
        }
    }
    if (!replaceBack(back.get())) {
        return;
    }
    if (format_) {
        core::IntrusivePointer<TextureFormat> format(new TextureFormat(format_.get(), -1));
        format->mipMin = 0;
        format->mipMax = (usage_ & Usage_AUTOGEN_MIPMAP) != 0 ? 0 : 1;
        unsigned char* level0 = data_.get();
        convertCreate(back_, device, usage_, format, data_ ? &level0 : nullptr);
    }
    for (int i = 0; i < mipPixelBuffers_.size(); ++i) {
        if (mipPixelBuffers_[i]) {
            mipPixelBuffers_[i]->resetCreate();
        }
    }
}

core::IntrusivePointer<Texture> BackableTexture::getBack() const
{
    return back_;
}

} // namespace rezezaz::render

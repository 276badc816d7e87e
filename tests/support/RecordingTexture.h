#pragma once

#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "support/CallLog.h"
#include "support/RecordingBuffer.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace support {

// A device texture that keeps the level blocks it is created with and the last block loaded into it,
// and logs what is done to it. Its level buffers are recording buffers labelled "label.mipL.S".
class RecordingTexture : public rezezaz::render::BaseRenderResource<rezezaz::render::Texture>
{
public:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;
    using TextureFormat = rezezaz::render::TextureFormat;

    RecordingTexture(SharedCallLog log, std::string label) : log_(std::move(log)), label_(std::move(label)) {}

    rezezaz::render::Texture* getRootTexture() override { return this; }

    // Keeps one block per mip level named by the format (at least one).
    bool create(int usage, Pointer<TextureFormat> format, unsigned char** mipDatas) override
    {
        usage_ = usage;
        format_ = format ? new TextureFormat(format.get(), -1) : nullptr;
        levels.clear();
        const int count = format ? std::max(format->mipMax, 1) : 0;
        if (mipDatas != nullptr) {
            for (int level = 0; level < count; ++level) {
                TextureFormat levelFormat(format.get(), count > 1 ? level : -1);
                levels.emplace_back(mipDatas[level], mipDatas[level] + levelFormat.zPitch);
            }
        }
        record("create(" + std::to_string(usage) + "," + RecordingBuffer::describe(format.get()) + "," +
               (mipDatas != nullptr ? std::to_string(count) + " levels" : "no data") + ")");
        return createResult;
    }
    void resetCreate() override { record("resetCreate()"); }
    void resetDestroy() override { record("resetDestroy()"); }
    int getUsage() const override { return usage_; }
    TextureFormat* getFormat() const override { return format_.get(); }

    Pointer<rezezaz::render::PixelBuffer> getMipPixelBuffer(int level, int cubeSide) override
    {
        Pointer<RecordingBuffer>& buffer = mipBuffers[{level, cubeSide}];
        if (!buffer) {
            buffer = new RecordingBuffer(log_, label_ + ".mip" + std::to_string(level) + "." +
                                                   std::to_string(cubeSide));
            buffer->setPixels(new TextureFormat(format_.get(), level));
        }
        return Pointer<rezezaz::render::PixelBuffer>(buffer.get());
    }

    // Keeps the block (the format's zPitch bytes).
    bool load(TextureFormat* format, unsigned char* data) override
    {
        record("load(" + RecordingBuffer::describe(format) + ")");
        loaded.assign(data, data + format->zPitch);
        return true;
    }

    // Fills data from level 0, as far as both reach.
    bool read(TextureFormat* format, unsigned char* data) override
    {
        record("read(" + RecordingBuffer::describe(format) + ")");
        if (!levels.empty()) {
            std::copy_n(levels[0].begin(), std::min<size_t>(levels[0].size(), format->zPitch), data);
        }
        return true;
    }

    void fullyReleased() override
    {
        finalRelease_ = true;
        BaseRenderResource::fullyReleased();
    }

    void destroy() override
    {
        record("destroy()");
        BaseRenderResource::destroy();
    }

    std::vector<std::vector<unsigned char>> levels;
    std::vector<unsigned char> loaded;
    std::map<std::pair<int, int>, Pointer<RecordingBuffer>> mipBuffers;
    bool createResult = true;

private:
    void record(const std::string& call)
    {
        if (!finalRelease_) {
            log_->add(label_ + "." + call);
        }
    }

    SharedCallLog log_;
    std::string label_;
    // The destroy that the last release runs is not logged: only calls that someone made are.
    bool finalRelease_ = false;
    int usage_ = 0;
    Pointer<TextureFormat> format_;
};

} // namespace support

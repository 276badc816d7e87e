#pragma once

#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/PixelBufferRenderTarget.h"
#include "support/CallLog.h"

#include <string>
#include <utility>

namespace support {

// A device off-screen target that logs what is attached to it, naming a buffer by its resource name.
class RecordingPixelBufferRenderTarget
    : public rezezaz::render::BaseRenderResource<rezezaz::render::PixelBufferRenderTarget>
{
public:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;

    RecordingPixelBufferRenderTarget(SharedCallLog log, std::string label)
        : log_(std::move(log)), label_(std::move(label))
    {}

    rezezaz::render::RenderTarget* getRootRenderTarget() override { return this; }
    rezezaz::render::PixelBufferRenderTarget* getRootPixelBufferRenderTarget() override { return this; }
    bool isPrimary() const override { return false; }
    bool isValid() const override { return valid; }
    int getWidth() const override { return width; }
    int getHeight() const override { return height; }
    rezezaz::render::AdaptorInfo* getAdaptorInfo() const override { return nullptr; }
    bool create() override
    {
        record("create()");
        return createResult;
    }
    void resetCreate() override { record("resetCreate()"); }
    void resetDestroy() override { record("resetDestroy()"); }
    bool attach(Pointer<rezezaz::render::PixelBuffer> buffer, Attachment attachment) override
    {
        record("attach(" + name(buffer) + "," + std::to_string(attachment) + ")");
        return attachResult;
    }
    bool remove(Pointer<rezezaz::render::PixelBuffer> buffer) override
    {
        record("remove(" + name(buffer) + ")");
        return removeResult;
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

    bool valid = true;
    int width = 64;
    int height = 32;
    bool createResult = true;
    bool attachResult = true;
    bool removeResult = true;

private:
    static std::string name(const Pointer<rezezaz::render::PixelBuffer>& buffer)
    {
        return buffer ? buffer->getName().c_str() : "null";
    }
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
};

} // namespace support

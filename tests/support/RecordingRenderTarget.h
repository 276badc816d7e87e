#pragma once

#include "render/BaseRenderResource.h"
#include "render/RenderTarget.h"

namespace support {

// A window-like target of a set size, as the primary target of the recording device.
class RecordingRenderTarget : public rezezaz::render::BaseRenderResource<rezezaz::render::RenderTarget>
{
public:
    rezezaz::render::RenderTarget* getRootRenderTarget() override { return this; }
    bool isPrimary() const override { return true; }
    bool isValid() const override { return true; }
    int getWidth() const override { return width; }
    int getHeight() const override { return height; }
    rezezaz::render::AdaptorInfo* getAdaptorInfo() const override { return nullptr; }

    int width = 640;
    int height = 480;
};

} // namespace support

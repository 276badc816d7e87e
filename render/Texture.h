#pragma once

#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "render/PixelBuffer.h"
#include "render/TextureFormat.h"

namespace rezezaz::render {

// An image on the device, with its mip levels.
class Texture : public core::Resource
{
public:
    // Usage bits beyond the buffer usages.
    enum Usage : int
    {
        Usage_RENDER_TARGET = 0x20,
        Usage_AUTOGEN_MIPMAP = 0x40,
    };

    virtual Texture* getRootTexture() = 0;
    // mipDatas holds one pointer per mip level (and cube side), or is null for an empty texture.
    virtual bool create(int usage, core::IntrusivePointer<TextureFormat> format, unsigned char** mipDatas) = 0;
    virtual void resetCreate() = 0;
    virtual void resetDestroy() = 0;
    virtual int getUsage() const = 0;
    virtual TextureFormat* getFormat() const = 0;
    virtual core::IntrusivePointer<PixelBuffer> getMipPixelBuffer(int level, int cubeSide) = 0;
    // Writes the box that format describes from data into the texture.
    virtual bool load(TextureFormat* format, unsigned char* data) = 0;
    // Copies the box that format describes out of the texture into data.
    virtual bool read(TextureFormat* format, unsigned char* data) = 0;
};

} // namespace rezezaz::render

#pragma once

#include "core/Categories.h"
#include "core/Error.h"
#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/IndexBuffer.h"
#include "render/PixelBuffer.h"
#include "render/TextureFormat.h"
#include "render/VariableBuffer.h"
#include "render/VariableBufferFormat.h"
#include "render/VertexBuffer.h"
#include "render/VertexFormat.h"
#include "support/CallLog.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace support {

// A device buffer of any of the four kinds that keeps its bytes in memory and logs what is done to
// it. It can be told to fail: lock answering null, or lock and update raising the engine's error.
class RecordingBuffer
    : public rezezaz::render::BaseRenderResource<rezezaz::render::IndexBuffer, rezezaz::render::VertexBuffer,
                                                 rezezaz::render::PixelBuffer,
                                                 rezezaz::render::VariableBuffer>
{
public:
    using IndexFormat = rezezaz::render::IndexBuffer::IndexFormat;
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;

    RecordingBuffer(SharedCallLog log, std::string label) : log_(std::move(log)), label_(std::move(label)) {}

    rezezaz::render::IndexBuffer* getRootIndexBuffer() override { return this; }
    rezezaz::render::VertexBuffer* getRootVertexBuffer() override { return this; }
    rezezaz::render::PixelBuffer* getRootPixelBuffer() override { return this; }
    rezezaz::render::VariableBuffer* getRootVariableBuffer() override { return this; }
    rezezaz::render::GLTextureMipPixelBuffer* castToGLTextureMipPixelBuffer() override { return nullptr; }
    rezezaz::render::GLFBOPixelBuffer* castToGLFBOPixelBuffer() override { return nullptr; }
    rezezaz::render::GLBuffer* castToGLBuffer() override { return nullptr; }

    bool create(int usage, int access, IndexFormat indexFormat, int size) override
    {
        begin(usage, access, size);
        indexFormat_ = indexFormat;
        bytes.assign(static_cast<size_t>(size) * indexFormat, 0);
        record("createIndex(" + args({usage, access, indexFormat, size}) + ")");
        return true;
    }
    bool create(int usage, int access, Pointer<rezezaz::render::VertexFormat> format, int size) override
    {
        begin(usage, access, size);
        vertexFormat_ = format;
        bytes.assign(static_cast<size_t>(size) * (format ? format->getVertexSize() : 0), 0);
        record("createVertex(" + args({usage, access, format ? format->getVertexSize() : 0, size}) + ")");
        return true;
    }
    bool create(int usage, int access, Pointer<rezezaz::render::TextureFormat> format) override
    {
        begin(usage, access, 0);
        textureFormat_ = format;
        bytes.assign(format ? static_cast<size_t>(format->zPitch) : 0, 0);
        record("createPixel(" + args({usage, access}) + "," + describe(format.get()) + ")");
        return true;
    }
    bool create(int usage, int access, Pointer<rezezaz::render::VariableBufferFormat> format) override
    {
        begin(usage, access, 0);
        variableFormat_ = format;
        bytes.assign(format ? static_cast<size_t>(format->getDataSize()) : 0, 0);
        record("createVariable(" + args({usage, access, format ? format->getDataSize() : 0}) + ")");
        return true;
    }
    void resetCreate() override { record("resetCreate()"); }
    void resetDestroy() override { record("resetDestroy()"); }
    IndexFormat getIndexFormat() const override { return indexFormat_; }
    Pointer<rezezaz::render::VertexFormat> getVertexFormat() const override { return vertexFormat_; }
    Pointer<rezezaz::render::TextureFormat> getTextureFormat() const override { return textureFormat_; }
    Pointer<rezezaz::render::VariableBufferFormat> getVariableBufferFormat() const override
    {
        return variableFormat_;
    }

    int getUsage() const override { return usage_; }
    int getAccess() const override { return access_; }
    int getDataSize() const override { return static_cast<int>(bytes.size()); }
    int getSize() const override { return size_; }

    unsigned char* lock(int access) override
    {
        record("lock(" + std::to_string(access) + ")");
        if (failLock) {
            rezezaz::core::Error::unknown(rezezaz::core::Categories::REZEZAZ_RENDER, false, "lock: refused");
        }
        return nullLock ? nullptr : bytes.data();
    }
    bool unlock() override
    {
        record("unlock()");
        return true;
    }
    bool update(unsigned char* data, int start, int size) override
    {
        record("update(" + args({start, size}) + ")");
        if (failUpdate) {
            rezezaz::core::Error::unknown(rezezaz::core::Categories::REZEZAZ_RENDER, false,
                                          "update: refused");
        }
        if (start < 0 || size < 0 || static_cast<size_t>(start) + size > bytes.size()) {
            return false;
        }
        std::copy(data, data + size, bytes.begin() + start);
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

    // Makes this a pixel buffer of that format without logging a create: a texture's level buffer.
    void setPixels(Pointer<rezezaz::render::TextureFormat> format)
    {
        textureFormat_ = format;
        bytes.assign(format ? static_cast<size_t>(format->zPitch) : 0, 0);
    }

    // The pixel format, size and mip levels of a format in the log, as "0x108 4x2x1 m1".
    static std::string describe(const rezezaz::render::TextureFormat* format)
    {
        if (format == nullptr) {
            return "none";
        }
        char text[96];
        std::snprintf(text, sizeof text, "0x%x %dx%dx%d m%d", format->pixelFormat, format->getWidth(),
                      format->getHeight(), format->getDepth(), format->mipMax);
        return text;
    }

    std::vector<unsigned char> bytes;
    bool nullLock = false;
    bool failLock = false;
    bool failUpdate = false;

private:
    void begin(int usage, int access, int size)
    {
        usage_ = usage;
        access_ = access;
        size_ = size;
    }
    static std::string args(std::initializer_list<int> values)
    {
        std::string text;
        for (int value : values) {
            text += (text.empty() ? "" : ",") + std::to_string(value);
        }
        return text;
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
    int usage_ = 0;
    int access_ = 0;
    int size_ = 0;
    IndexFormat indexFormat_ = rezezaz::render::IndexBuffer::IndexFormat_UINT16;
    Pointer<rezezaz::render::VertexFormat> vertexFormat_;
    Pointer<rezezaz::render::TextureFormat> textureFormat_;
    Pointer<rezezaz::render::VariableBufferFormat> variableFormat_;
};

} // namespace support

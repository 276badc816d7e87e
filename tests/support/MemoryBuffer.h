#pragma once

#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/IndexBuffer.h"
#include "render/VertexBuffer.h"
#include "render/VertexFormat.h"

#include <vector>

namespace support {

// A vertex and index buffer in system memory, for rendering code tested without a device. It counts
// its locks, unlocks and destroys so tests can see what a user of the buffer did to it.
class MemoryBuffer : public rezezaz::render::BaseRenderResource<rezezaz::render::IndexBuffer,
                                                                 rezezaz::render::VertexBuffer>
{
public:
    using IndexFormat = rezezaz::render::IndexBuffer::IndexFormat;
    using VertexFormat = rezezaz::render::VertexFormat;

    int locks = 0;
    int unlocks = 0;
    int destroys = 0;
    int lastLockAccess = 0;
    std::vector<unsigned char> bytes;

    rezezaz::render::IndexBuffer* getRootIndexBuffer() override { return this; }
    rezezaz::render::VertexBuffer* getRootVertexBuffer() override { return this; }

    bool create(int usage, int access, IndexFormat indexFormat, int size) override
    {
        usage_ = usage;
        access_ = access;
        indexFormat_ = indexFormat;
        size_ = size;
        bytes.assign(static_cast<size_t>(size) * indexFormat, 0);
        return true;
    }

    bool create(int usage, int access, rezezaz::core::IntrusivePointer<VertexFormat> vertexFormat,
                int size) override
    {
        usage_ = usage;
        access_ = access;
        vertexFormat_ = vertexFormat;
        size_ = size;
        bytes.assign(static_cast<size_t>(size) * (vertexFormat ? vertexFormat->getVertexSize() : 0), 0);
        return true;
    }

    void resetCreate() override {}
    void resetDestroy() override {}
    IndexFormat getIndexFormat() const override { return indexFormat_; }
    rezezaz::core::IntrusivePointer<VertexFormat> getVertexFormat() const override { return vertexFormat_; }

    int getUsage() const override { return usage_; }
    int getAccess() const override { return access_; }
    int getDataSize() const override { return static_cast<int>(bytes.size()); }
    int getSize() const override { return size_; }

    unsigned char* lock(int access) override
    {
        ++locks;
        lastLockAccess = access;
        return bytes.data();
    }
    bool unlock() override
    {
        ++unlocks;
        return true;
    }
    bool update(unsigned char* data, int start, int size) override
    {
        if (start < 0 || size < 0 || static_cast<size_t>(start) + size > bytes.size()) {
            return false;
        }
        std::copy(data, data + size, bytes.begin() + start);
        return true;
    }

    // Frees the memory; the description stays.
    void destroy() override
    {
        ++destroys;
        bytes.clear();
        BaseRenderResource::destroy();
    }

private:
    int usage_ = 0;
    int access_ = 0;
    int size_ = 0;
    IndexFormat indexFormat_ = rezezaz::render::IndexBuffer::IndexFormat_UINT16;
    rezezaz::core::IntrusivePointer<VertexFormat> vertexFormat_;
};

} // namespace support

#pragma once

#include "core/IntrusivePointer.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/IndexBuffer.h"
#include "render/PixelBuffer.h"
#include "render/TextureFormat.h"
#include "render/VariableBuffer.h"
#include "render/VariableBufferFormat.h"
#include "render/VertexBuffer.h"
#include "render/VertexFormat.h"

#include <vector>

namespace rezezaz::render {

class RenderDevice;

// The device-independent buffer, made by the buffer manager: an index, vertex, pixel or variable
// buffer, whichever create was called. It keeps the whole contents in system memory, so it exists
// before any device does and outlives the render context. While a device buffer of the same kind
// backs it, every write goes to both; each new back is created to match and filled from the copy.
// Owns its back and its formats.
//
// Also transposes the matrix variables of a variable buffer in place, for the device buffers that
// map them.
class BackableBuffer : public BaseRenderResource<IndexBuffer, VertexBuffer, PixelBuffer, VariableBuffer>,
                       protected BackHolder<Buffer>
{
public:
    // Transposes every variable whose format code has the transpose flag (packing before a device
    // takes the data and unpacking after it gives it back are the same swap).
    static void packVariables(const VariableBufferFormat* format, unsigned char* data);
    static void unpackVariables(const VariableBufferFormat* format, unsigned char* data);
    // Transposes the variable at index, flagged or not. A matrix that does not lie within the
    // format's data size is left alone.
    static void transposeVariable(const VariableBufferFormat* format, unsigned char* data, int index);

    BackableBuffer() = default;

    // Destroys and releases the back, frees the copy, then tells the destroyed-listener with the
    // buffer seen as its kind; a buffer never created tells nobody.
    void destroy() override;
    // The buffer seen through the interface of its kind (index, vertex, pixel, variable).
    core::Resource* resourceThis() override;

    // The back when the buffer is of that kind, else null.
    IndexBuffer* getRootIndexBuffer() override;
    VertexBuffer* getRootVertexBuffer() override;
    PixelBuffer* getRootPixelBuffer() override;
    VariableBuffer* getRootVariableBuffer() override;
    GLTextureMipPixelBuffer* castToGLTextureMipPixelBuffer() override;
    GLFBOPixelBuffer* castToGLFBOPixelBuffer() override;
    GLBuffer* castToGLBuffer() override;

    // Each stores the description, sizes the copy (keeping what a first create put in it) and clears
    // the written mark. A negative size, a size beyond 2 GB or a missing format is refused with
    // false and changes nothing.
    bool create(int usage, int access, IndexFormat indexFormat, int size) override;
    bool create(int usage, int access, core::IntrusivePointer<VertexFormat> vertexFormat, int size) override;
    bool create(int usage, int access, core::IntrusivePointer<TextureFormat> textureFormat) override;
    bool create(int usage, int access, core::IntrusivePointer<VariableBufferFormat> variableFormat) override;
    // Passed on to the back of a created buffer.
    void resetCreate() override;
    void resetDestroy() override;

    int getUsage() const override;
    // The access given to create, always with bit 4.
    int getAccess() const override;
    int getDataSize() const override;
    // Indices or vertices; 0 for pixel and variable buffers.
    int getSize() const override;
    IndexFormat getIndexFormat() const override;
    core::IntrusivePointer<VertexFormat> getVertexFormat() const override;
    core::IntrusivePointer<TextureFormat> getTextureFormat() const override;
    core::IntrusivePointer<VariableBufferFormat> getVariableBufferFormat() const override;

    // The system-memory copy (null before create); nothing is mapped.
    unsigned char* lock(int access) override;
    // Marks the copy written and writes it to the back.
    bool unlock() override;
    // Writes size bytes at byte start into the copy and the back; an engine error of the back is
    // ignored, the copy stays written. A range outside the buffer is refused with false and writes
    // nothing.
    bool update(unsigned char* data, int start, int size) override;

    // Destroy a held back that differs from back, hold back, create it as this buffer is and, when the
    // copy was written, fill it. A pixel back is created in the device's closest pixel format (the
    // own one without a device) and its contents are converted on every write when its format
    // differs.
    virtual void setBack(core::IntrusivePointer<IndexBuffer> back);
    virtual void setBack(core::IntrusivePointer<VertexBuffer> back);
    virtual void setBack(core::IntrusivePointer<PixelBuffer> back, RenderDevice* device);
    virtual void setBack(core::IntrusivePointer<VariableBuffer> back);
    virtual core::IntrusivePointer<Buffer> getBack() const;

    // Copies the back's contents into the copy. An engine error of the back is ignored.
    void readBack();
    // Writes size bytes of the copy at start to the back; nothing without a back or outside the
    // buffer. An engine error of the back is ignored.
    void updateBack(int start, int size);

private:
    enum class Kind
    {
        NONE,
        INDEX,
        VERTEX,
        PIXEL,
        VARIABLE,
    };

    Kind getKind() const;
    // The back through the interface of this buffer's kind; null without a back, without a kind or
    // when the back is not of the kind.
    Buffer* kindBack() const;
    bool store(int usage, int access, int64_t dataSize);
    void createBack(RenderDevice* device);
    void writeBack();
    // True for a pixel buffer whose back holds its pixels in a layout other than the copy's, so
    // that bytes cannot go over as they are.
    bool backLaidOutOtherwise() const;
    // Sends size bytes of the copy from start to the back, or the whole copy, converted, when the
    // back is laid out otherwise; engine errors of the back are swallowed.
    void sendToBack(Buffer* back, int start, int size);

    int32_t usage_ = 0;
    int32_t access_ = 0;
    int32_t dataSize_ = 0;
    int32_t indexFormat_ = 0;
    core::IntrusivePointer<VertexFormat> vertexFormat_;
    core::IntrusivePointer<TextureFormat> textureFormat_;
    core::IntrusivePointer<VariableBufferFormat> variableFormat_;
    int32_t size_ = 0;
    bool dirty_ = false;
    std::vector<unsigned char> data_;
};

} // namespace rezezaz::render

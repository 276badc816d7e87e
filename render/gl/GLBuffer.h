#pragma once

#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/IndexBuffer.h"
#include "render/PixelBuffer.h"
#include "render/VariableBuffer.h"
#include "render/VertexBuffer.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace rezezaz::render {

class GLRenderDevice;
class GLTextureMipPixelBuffer;

// The OpenGL back end's one buffer class for indices, vertices, pixels and shader variables; the
// create overload that is called decides the kind. Its data lives in an OpenGL buffer object, in a
// local copy, or both; vertex and index buffers above 32 KiB are mapped instead of copied. Packed
// colours are kept in OpenGL's byte order and shown reversed to the caller while locked.
class GLBuffer final : public BaseRenderResource<IndexBuffer, VertexBuffer, PixelBuffer, VariableBuffer>
{
public:
    explicit GLBuffer(GLRenderDevice* device);
    ~GLBuffer() override;

    // Deletes the buffer object and the local copy, then tells the listener with the interface of
    // the buffer's kind.
    void destroy() override;
    core::Resource* resourceThis() override;

    IndexBuffer* getRootIndexBuffer() override { return this; }
    VertexBuffer* getRootVertexBuffer() override { return this; }
    PixelBuffer* getRootPixelBuffer() override { return this; }
    VariableBuffer* getRootVariableBuffer() override { return this; }
    GLTextureMipPixelBuffer* castToGLTextureMipPixelBuffer() override { return nullptr; }
    GLFBOPixelBuffer* castToGLFBOPixelBuffer() override { return nullptr; }
    GLBuffer* castToGLBuffer() override { return this; }

    // Creating again frees what an earlier create made.
    bool create(int usage, int access, IndexFormat indexFormat, int size) override;
    bool create(int usage, int access, core::IntrusivePointer<VertexFormat> vertexFormat, int size) override;
    bool create(int usage, int access, core::IntrusivePointer<TextureFormat> textureFormat) override;
    bool create(int usage, int access, core::IntrusivePointer<VariableBufferFormat> variableFormat) override;
    void resetCreate() override {}
    void resetDestroy() override {}
    // Makes the buffer object when the device offers one of this kind; true when it has one or
    // none is offered.
    bool createContext();
    bool destroyContext();

    int getUsage() const override { return usage; }
    int getAccess() const override { return access; }
    int getDataSize() const override { return dataSize; }
    int getSize() const override { return size; }
    IndexFormat getIndexFormat() const override { return static_cast<IndexFormat>(indexFormat); }
    core::IntrusivePointer<VertexFormat> getVertexFormat() const override { return vertexFormat; }
    core::IntrusivePointer<TextureFormat> getTextureFormat() const override { return textureFormat; }
    core::IntrusivePointer<VariableBufferFormat> getVariableBufferFormat() const override { return variableFormat; }

    // Null when a mapping fails.
    unsigned char* lock(int access) override;
    bool unlock() override;
    // False for a range outside the buffer, or when there is neither a local copy nor a buffer
    // object to write.
    bool update(unsigned char* data, int start, int size) override;

    // Uploads every variable to the current GLSL program as uniforms.
    void activateUniforms();
    // Moves a texture level's pixels into this pixel buffer, or this buffer's pixels into the level,
    // through the pixel pack and unpack targets.
    bool readTextureLevel(GLTextureMipPixelBuffer* level);
    bool writeTextureLevel(GLTextureMipPixelBuffer* level);

    // The OpenGL usage hint for usage and access: never 0.
    static unsigned int getGLUsage(int usage, int access);

    unsigned int getHandle() const { return handle; }
    unsigned int getTarget() const { return target; }
    bool isMapped() const { return mapped; }
    // The local copy, null when there is none.
    const unsigned char* getLocalCopy() const { return copy.get(); }
    // The largest index of the whole local copy of an index buffer (-1 without a copy or indices),
    // found once after each change of its contents.
    int64_t getLargestIndex();
    // The largest index of count indices from start of the local copy; -1 as above.
    int64_t getLargestIndex(int start, int count) const;
    // Per vertex element: its offset with a buffer object, else its address in the local copy.
    intptr_t getElementPointer(int element) const { return elementPointers[static_cast<size_t>(element)]; }
    int getNumElementPointers() const { return static_cast<int>(elementPointers.size()); }
    // Counts the changes of the buffer's storage (its buffer object, its local copy, its element
    // pointers): the same count is the same storage.
    uint32_t getStorageRevision() const { return storageRevision; }

private:
    enum Kind
    {
        Kind_NONE,
        Kind_INDEX,
        Kind_VERTEX,
        Kind_PIXEL,
        Kind_VARIABLE,
    };

    Kind kind() const;
    void createCommon();
    // Frees the buffer object and the local copy, telling nobody.
    void release_();
    // Clears the formats and count of an earlier kind before a create sets its own.
    void forgetKind();
    void swapColors(unsigned char* bytes);
    // Reverses the packed colours that lie wholly inside bytes [start, start + count) of the buffer;
    // bytes holds that range.
    void swapColorsInRange(unsigned char* bytes, int start, int count);
    // Allocates the local copy and fills it from the buffer object when there is one.
    void restoreCopy();
    // Binds name to the buffer's target; the device forgets which index buffer it had bound there.
    void bindTarget(uint32_t name);

    GLDeviceRef device;
    int usage = 0;
    int access = 0;
    int dataSize = 0;
    int size = 0;
    int indexFormat = 0;
    core::IntrusivePointer<VertexFormat> vertexFormat;
    core::IntrusivePointer<TextureFormat> textureFormat;
    core::IntrusivePointer<VariableBufferFormat> variableFormat;
    std::vector<intptr_t> elementPointers;
    uint32_t handle = 0;
    uint32_t storageRevision = 0;
    unsigned int target = 0;
    int lockAccess = 0;
    bool mapped = false;
    // The mapping of the current lock, null when it failed.
    unsigned char* mappedData = nullptr;
    bool lockFailed = false;
    // A copy read back for a read lock stays: the caller will read it again.
    bool keepCopy = false;
    std::unique_ptr<unsigned char[]> copy;
    // getLargestIndex of the whole copy, once known; forgotten when the contents change.
    int64_t largestIndex = -1;
    bool largestIndexKnown = false;
};

} // namespace rezezaz::render

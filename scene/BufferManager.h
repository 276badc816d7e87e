#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/ResourceDestroyedListener.h"
#include "core/SharedPointer.h"
#include "core/String.h"
#include "render/IndexBuffer.h"
#include "render/PixelBuffer.h"
#include "render/VariableBuffer.h"
#include "render/VariableBufferFormat.h"
#include "render/VertexBuffer.h"
#include "render/VertexFormat.h"

namespace rezezaz::render {
class RenderDevice;
}

namespace rezezaz::scene {

class Engine;
class Track;

// Makes every vertex format and index, vertex, pixel and variable buffer of the engine and keeps a
// list of each kind. A backed engine gets device-independent wrappers, given a device object as their
// back whenever a render device is active; otherwise the objects are the device's own. Owned by the
// engine. The lists do not keep their objects alive: an object leaves its list when it is destroyed or
// released by its last holder, as the material manager's render states do.
class BufferManager : public core::Object, public core::ResourceDestroyedListener
{
public:
    explicit BufferManager(Engine* engine);
    ~BufferManager() override;

    // Destroys every listed object without hearing of it, then empties the lists.
    void destroy() override;

    // A wrapper when there is no device or the engine is backed, else the device's own format.
    core::IntrusivePointer<render::VertexFormat> createVertexFormat();
    // Raise "unable to create <Kind>" when there is neither a device nor a backed engine; null, with
    // nothing listed, when the device makes no object or a backed engine's wrapper refuses the size
    // or format (more than 2 GB, a negative count, no format).
    core::IntrusivePointer<render::IndexBuffer> createIndexBuffer(int usage, int access,
                                                                  render::IndexBuffer::IndexFormat indexFormat,
                                                                  int size);
    core::IntrusivePointer<render::VertexBuffer> createVertexBuffer(
        int usage, int access, core::IntrusivePointer<render::VertexFormat> vertexFormat, int size);
    // A two-dimensional buffer of one mip level.
    core::IntrusivePointer<render::PixelBuffer> createPixelBuffer(int usage, int access, int pixelFormat, int width,
                                                                  int height, int depth);
    core::IntrusivePointer<render::VariableBuffer> createVariableBuffer(
        int usage, int access, core::IntrusivePointer<render::VariableBufferFormat> format);

    // A new buffer holding as many of the old indices as fit, each converted to the new width.
    core::IntrusivePointer<render::IndexBuffer> cloneIndexBuffer(core::IntrusivePointer<render::IndexBuffer> old,
                                                                 int usage, int access,
                                                                 render::IndexBuffer::IndexFormat indexFormat,
                                                                 int size);
    // A new buffer in another layout: each element the old format has too is copied, as far as both
    // element sizes go; the others stay as the new buffer holds them.
    core::IntrusivePointer<render::VertexBuffer> cloneVertexBuffer(
        core::IntrusivePointer<render::VertexBuffer> old, int usage, int access,
        core::IntrusivePointer<render::VertexFormat> vertexFormat, int size);

    // A new key-frame track laid out by the engine's colour format; not listed here.
    core::IntrusivePointer<Track> createColorTrack();

    // Give each wrapper a new device object, or take it away; device objects are left alone.
    void contextActivate(render::RenderDevice* device);
    void contextDeactivate(render::RenderDevice* device);
    // Every buffer drops, then rebuilds, its device storage.
    void preContextReset(render::RenderDevice* device);
    void postContextReset(render::RenderDevice* device);

    // Takes a destroyed object off its list.
    void resourceDestroyed(core::Resource* resource) override;

    // Write a variable-buffer layout to the log.
    void outputVariableBufferFormat(core::IntrusivePointer<render::VariableBufferFormat> format);
    void outputVariable(render::VariableBufferFormat::Variable* variable, const core::String& indent);

    const core::Collection<render::VertexFormat*>& getVertexFormats() const
    {
        return vertexFormats_;
    }
    const core::Collection<render::VertexBuffer*>& getVertexBuffers() const
    {
        return vertexBuffers_;
    }
    const core::Collection<render::IndexBuffer*>& getIndexBuffers() const
    {
        return indexBuffers_;
    }
    const core::Collection<render::PixelBuffer*>& getPixelBuffers() const
    {
        return pixelBuffers_;
    }
    const core::Collection<render::VariableBuffer*>& getVariableBuffers() const
    {
        return variableBuffers_;
    }

    // Every listed object: the vertex formats, then the index, vertex, pixel and variable buffers.
    core::Collection<core::Resource*> getResources() const;

private:
    bool backed() const;
    render::RenderDevice* device() const;
    template <class T> void list(core::Collection<T*>& objects, T* object);
    template <class T> bool unlist(core::Collection<T*>& objects, core::Resource* resource);

    Engine* engine_;
    core::Collection<render::VertexFormat*> vertexFormats_;
    core::Collection<render::VertexBuffer*> vertexBuffers_;
    core::Collection<render::IndexBuffer*> indexBuffers_;
    core::Collection<render::PixelBuffer*> pixelBuffers_;
    core::Collection<render::VariableBuffer*> variableBuffers_;
};

} // namespace rezezaz::scene

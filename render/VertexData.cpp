#include "render/VertexData.h"

#include "core/Categories.h"
#include "core/Error.h"

namespace rezezaz::render {

VertexData::VertexData(core::IntrusivePointer<VertexFormat> format) : vertexFormat(format) {}

VertexData::VertexData(core::IntrusivePointer<VertexBuffer> buffer)
{
    if (!buffer) {
        core::Error::nullPointer(core::Categories::REZEZAZ_RENDER, true, "VertexData: no vertex buffer");
    }
    vertexFormat = buffer->getVertexFormat();
    addVertexBuffer(buffer);
    formatFromBuffer_ = true;
}

bool VertexData::addVertexBuffer(core::IntrusivePointer<VertexBuffer> buffer)
{
    if (formatFromBuffer_ && vertexBuffers.size() > 0) {
        core::Error::unknown(core::Categories::REZEZAZ_RENDER, true,
                             "cannot add multiple buffers to a VertexData with an unspecified VertexFormat");
    }
    vertexBuffers.add(buffer);
    return true;
}

void VertexData::destroy()
{
    // Emptied before the buffers go, in case destroying one reaches this object again.
    core::Collection<core::IntrusivePointer<VertexBuffer>> buffers = vertexBuffers;
    vertexBuffers.clear();
    vertexFormat = nullptr;
    for (const core::IntrusivePointer<VertexBuffer>& buffer : buffers) {
        if (buffer) {
            buffer->destroy();
        }
    }
    core::Object::destroy();
}

} // namespace rezezaz::render

#include "scene/SkinningLayout.h"

#include <algorithm>

namespace rezezaz::scene {

using render::VertexFormat;

namespace {

// Empty when element `element` of format holds three components of type inside a vertex of stride
// bytes; else the reason.
core::String checkElement(const VertexFormat& format, int element, int type, int stride, const char* what)
{
    const int code = format.getElementFormat(element);
    if (VertexFormat::getFormatCount(code) != 3 ||
        (type != 0 ? VertexFormat::getFormatType(code) != type
                   : VertexFormat::getFormatType(code) != VertexFormat::Type_FLOAT32 &&
                         VertexFormat::getFormatType(code) != VertexFormat::Type_FIXED32)) {
        return core::String(what) + " is not three float or 16.16 components";
    }
    const int offset = format.getElementOffset(element);
    if (offset < 0 || offset > stride - 12) {
        return core::String(what) + " lies outside the vertex";
    }
    return core::String();
}

} // namespace

SkinningLayout SkinningLayout::describe(render::VertexBuffer* buffer)
{
    SkinningLayout layout;
    core::IntrusivePointer<VertexFormat> format = buffer != nullptr ? buffer->getVertexFormat() : nullptr;
    if (!format) {
        layout.positionProblem = "no vertex buffer with a format";
        return layout;
    }
    layout.stride = format->getVertexSize();
    const int position = format->findElement(static_cast<int>(VertexFormat::Semantic_POSITION));
    if (position < 0) {
        layout.positionProblem = "no position";
        return layout;
    }
    layout.positionProblem = checkElement(*format, position, 0, layout.stride, "the position");
    if (!layout.hasPosition()) {
        return layout;
    }
    const int type = VertexFormat::getFormatType(format->getElementFormat(position));
    layout.fixed = type == VertexFormat::Type_FIXED32;
    layout.positionOffset = format->getElementOffset(position);
    const int normal = format->findElement(static_cast<int>(VertexFormat::Semantic_NORMAL));
    if (normal >= 0) {
        layout.normalProblem = checkElement(*format, normal, type, layout.stride, "the normal");
        if (layout.normalProblem.length() == 0) {
            layout.normalOffset = format->getElementOffset(normal);
        }
    }
    layout.vertexCount = std::max(0, std::min(buffer->getSize(), buffer->getDataSize() / layout.stride));
    return layout;
}

} // namespace rezezaz::scene

#include "render/gl/GLVertexFormat.h"

#include "render/BackableVertexFormat.h"
#include "render/gl/GLRenderDevice.h"

namespace rezezaz::render {

GLVertexFormat::GLVertexFormat(GLRenderDevice* device) : device(device) {}

void GLVertexFormat::destroy()
{
    semantics.clear();
    names.clear();
    indexes.clear();
    formats.clear();
    offsets.clear();
    glDataTypes.clear();
    glElementCounts.clear();
    vertexSize = 0;
    if (device != nullptr) {
        device->vertexFormatDestroyed(this);
        device = nullptr;
    }
    BaseRenderResource::destroy();
}

bool GLVertexFormat::create()
{
    if (device != nullptr) {
        deviceIndex = device->vertexFormatCreated(this);
    }
    return true;
}

bool GLVertexFormat::addElement(int semantic, int index, int format)
{
    return addElement(semantic, core::String(), index, format);
}

bool GLVertexFormat::addElement(const core::String& name, int index, int format)
{
    return addElement(Semantic_UNKNOWN, name, index, format);
}

bool GLVertexFormat::addElement(int semantic, const core::String& name, int index, int format)
{
    if (semantic == Semantic_UNKNOWN) {
        semantic = BackableVertexFormat::getSemanticFromName(name);
    }
    semantics.add(semantic);
    names.add(name.length() == 0 ? BackableVertexFormat::getNameFromSemantic(semantic) : name);
    indexes.add(index);
    formats.add(format);
    offsets.add(vertexSize);
    vertexSize += VertexFormat::getFormatSize(format);
    // A placeholder first, so that the lists stay in step when the type is refused.
    glDataTypes.add(0);
    glElementCounts.add(0);
    const unsigned int type = GLRenderDevice::getGLDataType(format);
    glDataTypes[glDataTypes.size() - 1] = type;
    glElementCounts[glElementCounts.size() - 1] = GLRenderDevice::getGLElementCount(format);
    return true;
}

int GLVertexFormat::findElement(int semantic) const
{
    for (int i = 0; i < semantics.size(); ++i) {
        if (semantics[i] == semantic) {
            return i;
        }
    }
    return -1;
}

int GLVertexFormat::findElement(const core::String& name) const
{
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].equals(name)) {
            return i;
        }
    }
    return -1;
}

} // namespace rezezaz::render

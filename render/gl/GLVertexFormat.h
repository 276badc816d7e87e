#pragma once

#include "core/Collection.h"
#include "core/String.h"
#include "render/BaseRenderResource.h"
#include "render/VertexFormat.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLRenderDevice;

// The OpenGL device's vertex format: the elements, plus the OpenGL data type and component count of
// each. Registered with its device from create to destroy, so the device can drop the GLSL programs'
// attribute layouts of this format when it goes.
class GLVertexFormat : public BaseRenderResource<VertexFormat>
{
public:
    explicit GLVertexFormat(GLRenderDevice* device);

    // Empties the elements, unregisters from the device and forgets it, then tells the listener.
    void destroy() override;

    VertexFormat* getRootVertexFormat() override { return this; }
    // Registers with the device: the format's index becomes the device's count of formats.
    bool create() override;
    bool addElement(int semantic, int index, int format) override;
    bool addElement(const core::String& name, int index, int format) override;
    // The semantic -1 takes the semantic of the name; an empty name takes the semantic's name. An
    // element type OpenGL cannot draw throws Error::unknown after the element is recorded (its OpenGL
    // type is then 0, which the device skips).
    bool addElement(int semantic, const core::String& name, int index, int format);
    int getNumElements() const override { return semantics.size(); }
    int getElementSemantic(int i) const override { return semantics[i]; }
    const core::String& getElementName(int i) const override { return names[i]; }
    int getElementIndex(int i) const override { return indexes[i]; }
    int getElementFormat(int i) const override { return formats[i]; }
    int getElementOffset(int i) const override { return offsets[i]; }
    int getVertexSize() const override { return vertexSize; }
    int findElement(int semantic) const override;
    int findElement(const core::String& name) const override;

    // OpenGL data type (0 for a type OpenGL cannot draw) and component count of element i.
    unsigned int getGLDataType(int i) const { return glDataTypes[i]; }
    int getGLElementCount(int i) const { return glElementCounts[i]; }

    // Position in the device's list; kept up to date by the device.
    int getDeviceIndex() const { return deviceIndex; }
    void setDeviceIndex(int index) { deviceIndex = index; }

private:
    GLDeviceRef device;
    core::Collection<int32_t> semantics;
    core::Collection<core::String> names;
    core::Collection<int32_t> indexes;
    core::Collection<int32_t> formats;
    core::Collection<int32_t> offsets;
    int32_t vertexSize = 0;
    int32_t deviceIndex = 0;
    core::Collection<uint32_t> glDataTypes;
    core::Collection<int32_t> glElementCounts;
};

} // namespace rezezaz::render

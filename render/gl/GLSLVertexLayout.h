#pragma once

#include "core/Collection.h"
#include "core/Object.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLRenderDevice;
class GLSLShaderState;
class GLVertexFormat;

// Where the elements of one vertex format go in one linked GLSL program: the attribute location of
// each element, -1 where the program has none.
class GLSLVertexLayout : public core::Object
{
public:
    explicit GLSLVertexLayout(GLRenderDevice* device);

    // Looks each element up by its name, then by its name and index (TEXCOORD1), then falls back to
    // the fixed attribute slot of its semantic, and logs what it found.
    bool create(GLVertexFormat* format, GLSLShaderState* program);
    void destroy() override;

    int getNumLocations() const { return locations.size(); }
    int getLocation(int element) const { return locations[element]; }
    GLRenderDevice* getDevice() const { return device; }

private:
    GLDeviceRef device;
    core::Collection<int32_t> locations;
};

} // namespace rezezaz::render

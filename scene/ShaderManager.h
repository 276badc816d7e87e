#pragma once

#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "render/Shader.h"
#include "scene/ResourceManager.h"

namespace rezezaz::render {
class RenderDevice;
}

namespace rezezaz::scene {

// The resource manager of shaders. A shader is made from alternative sources, each labelled with the
// shading language (profile) it is written in; the engine's backable capabilities decide whether it
// is a device-independent wrapper or the device's own shader. Owned by the engine.
class ShaderManager : public ResourceManager
{
public:
    explicit ShaderManager(Engine* engine);

    // Null when neither a wrapper nor a device shader of that type can be had; raises "Error in shader
    // convertCreate" when a device shader cannot be compiled from any of the sources, and "createShader:
    // unknown shader type <n>" for a type other than vertex, fragment or geometry.
    core::IntrusivePointer<render::Shader> createShader(render::Shader::ShaderType type, const core::String* profiles,
                                                        const core::String* codes, int numCodes);
    core::IntrusivePointer<render::Shader> createShader(render::Shader::ShaderType type, const core::String& profile,
                                                        const core::String& code);

    void contextActivate(render::RenderDevice* device);
    void contextDeactivate(render::RenderDevice* device);
};

} // namespace rezezaz::scene

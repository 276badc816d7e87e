#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/String.h"
#include "render/RenderState.h"
#include "render/Shader.h"
#include "render/ShaderState.h"
#include "scene/material/RenderPass.h"

namespace rezezaz::scene {
class MaterialManager;
}

namespace rezezaz::scene::material {

// One way of drawing a material: passes drawn in order. A material holds alternative paths for
// different device capabilities and owns them.
class RenderPath : public core::Object
{
public:
    explicit RenderPath(MaterialManager* manager);

    // Destroys every pass and empties the list.
    void destroy() override;

    // A new pass drawing with the given states (either may be null).
    RenderPass* addPass(render::RenderState* renderState, render::ShaderState* shaderState);
    RenderPass* addPass(RenderPass* pass);
    // The first pass's answer; false without passes.
    bool isDepthSorted() const;
    // The first pass that binds a texture location of that name, with its type and unit; null if none.
    RenderPass* findTexture(render::Shader::ShaderType& type, int& index, const core::String& name) const;
    void compile();

    void setName(const core::String& name) { this->name = name; }
    const core::String& getName() const { return name; }
    int getNumPasses() const { return passes.size(); }
    RenderPass* getPass(int index) const { return passes[index].get(); }

private:
    MaterialManager* manager;
    core::String name;
    core::Collection<core::IntrusivePointer<RenderPass>> passes;
};

} // namespace rezezaz::scene::material

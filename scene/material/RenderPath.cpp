#include "scene/material/RenderPath.h"

namespace rezezaz::scene::material {

RenderPath::RenderPath(MaterialManager* manager_) : manager(manager_) {}

void RenderPath::destroy()
{
    for (int i = 0; i < passes.size(); ++i) {
        passes[i]->destroy();
    }
    passes.clear();
}

RenderPass* RenderPath::addPass(render::RenderState* renderState, render::ShaderState* shaderState)
{
    return addPass(new RenderPass(manager, renderState, shaderState));
}

RenderPass* RenderPath::addPass(RenderPass* pass)
{
    passes.add(pass);
    return pass;
}

bool RenderPath::isDepthSorted() const
{
    return passes.size() > 0 && passes[0]->isDepthSorted();
}

RenderPass* RenderPath::findTexture(render::Shader::ShaderType& type, int& index, const core::String& name_) const
{
    for (int i = 0; i < passes.size(); ++i) {
        if (passes[i]->findTexture(type, index, name_, core::String())) {
            return passes[i].get();
        }
    }
    return nullptr;
}

void RenderPath::compile()
{
    for (int i = 0; i < passes.size(); ++i) {
        passes[i]->compile();
    }
}

} // namespace rezezaz::scene::material

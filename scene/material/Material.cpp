#include "scene/material/Material.h"

#include "scene/MaterialManager.h"

namespace rezezaz::scene::material {

Material::Material(MaterialManager* manager_) : manager(manager_) {}

void Material::destroy()
{
    for (int i = 0; i < paths.size(); ++i) {
        paths[i]->destroy();
    }
    paths.clear();
    core::BaseResource::destroy();
}

RenderPath* Material::addPath(const core::String& name)
{
    core::IntrusivePointer<RenderPath> path = new RenderPath(manager);
    path->setName(name);
    paths.add(path);
    return path.get();
}

RenderPath* Material::getPath(const core::String& name) const
{
    for (int i = 0; i < paths.size(); ++i) {
        if (paths[i]->getName().equals(name)) {
            return paths[i].get();
        }
    }
    return nullptr;
}

RenderPass* Material::getPass(int pathIndex, int passIndex)
{
    RenderPath* path = nullptr;
    if (pathIndex == -1) {
        path = bestPath ? bestPath.get() : paths.size() > 0 ? paths[0].get() : addPath(core::String());
    } else if (pathIndex >= 0 && pathIndex < paths.size()) {
        path = paths[pathIndex].get();
    }
    if (path == nullptr) {
        return nullptr;
    }
    if (passIndex == -1) {
        return path->getNumPasses() > 0 ? path->getPass(0) : path->addPass(nullptr, nullptr);
    }
    return passIndex >= 0 && passIndex < path->getNumPasses() ? path->getPass(passIndex) : nullptr;
}

bool Material::isDepthSorted() const
{
    if (sort == Sort_ALWAYS) {
        return true;
    }
    if (sort == Sort_NEVER) {
        return false;
    }
    return bestPath && bestPath->isDepthSorted();
}

bool Material::compile()
{
    return manager != nullptr && manager->compileMaterial(this);
}

} // namespace rezezaz::scene::material

#pragma once

#include "core/BaseResource.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "scene/material/RenderPath.h"

namespace rezezaz::scene {
class MaterialManager;
}

namespace rezezaz::scene::material {

// How a surface is drawn: alternative render paths, of which compile() picks the first that the
// current render device can run (the best path), plus the depth-sorting mode and the layer under
// which the render queue keeps its items. A managed resource of the material manager that made it.
class Material : public core::BaseResource
{
public:
    enum Sort : int
    {
        // The best path decides.
        Sort_PATH = 0,
        Sort_NEVER = 1,
        Sort_ALWAYS = 2,
    };

    explicit Material(MaterialManager* manager);

    // Destroys every path and empties the list, then tells the destroyed-listener.
    void destroy() override;

    RenderPath* addPath(const core::String& name);
    // The first path of that name, or null.
    RenderPath* getPath(const core::String& name) const;
    // -1 selects the best (else the first, else a new) path and its first (else a new) pass; null for
    // any other index outside the lists.
    RenderPass* getPass(int pathIndex, int passIndex);
    bool isDepthSorted() const;
    // Has the manager choose and compile the best path; false without a manager or a usable path.
    bool compile();

    MaterialManager* getManager() const { return manager; }
    int getNumPaths() const { return paths.size(); }
    RenderPath* getPath(int index) const { return paths[index].get(); }
    RenderPath* getBestPath() const { return bestPath.get(); }
    void setBestPath(RenderPath* path) { bestPath = path; }
    int getSort() const { return sort; }
    void setSort(int sort) { this->sort = sort; }
    int getLayer() const { return layer; }
    void setLayer(int layer) { this->layer = layer; }

private:
    MaterialManager* manager;
    core::Collection<core::IntrusivePointer<RenderPath>> paths;
    core::IntrusivePointer<RenderPath> bestPath;
    int sort = Sort_PATH;
    int layer = 0;
};

} // namespace rezezaz::scene::material

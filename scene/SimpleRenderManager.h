#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/Matrix4x4.h"
#include "scene/RenderManager.h"
#include "scene/RenderableSet.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/SceneParameters.h"

namespace rezezaz::render {
class RenderState;
class ShaderState;
} // namespace rezezaz::render

namespace rezezaz::scene {

class Scene;

// The scene's render manager: selects target and viewport, fills the render queue for a camera,
// clears, loads the camera matrices and lights, then draws the queues in layer order pass by pass,
// keeping the scene parameters current for the render variables. Pieces without a usable
// material are drawn with a default material. Device state changes that would repeat the state
// already set are skipped.
class SimpleRenderManager : public core::Object, public RenderManager
{
public:
    explicit SimpleRenderManager(Scene* scene);
    ~SimpleRenderManager() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    void renderScene(render::RenderDevice* device, Node* node, Camera* camera) override;
    render::RenderDevice* getDevice() override { return device; }
    void setupPass(material::RenderPass* pass, render::RenderDevice* device) override;
    void setupPassForRenderable(material::RenderPass* pass, render::RenderDevice* device,
                                Renderable* renderable, const core::math::Vector4& ambient) override;
    virtual void gatherRenderables(RenderableSet* set, Node* node, Camera* camera);
    virtual void renderRenderables(RenderableSet* set, render::RenderDevice* device, Camera* camera,
                                   bool useMaterials);
    virtual void renderDepthSortedRenderables(const RenderableSet::RenderableQueue& queue, bool useMaterials);
    virtual void renderQueueItems(material::Material* material,
                                  const RenderableSet::RenderableQueueItem* items, int count);
    virtual void interRenderRenderables(RenderableSet* set, render::RenderDevice* device, Camera* camera,
                                        bool useMaterials);

    material::SceneParameters* getSceneParameters() const { return sceneParameters.get(); }
    RenderableSet* getRenderableSet() const { return renderableSet.get(); }
    material::Material* getDefaultMaterial() const { return defaultMaterial.get(); }

private:
    void setupLights(const core::Collection<RenderableSet::LightQueueItem>& lights,
                     render::RenderDevice* device);
    void setupVariableBuffers(material::RenderPass* pass, int scope);
    void applyRenderState(render::RenderState* state);
    void adjustModelMatrix(core::math::Matrix4x4& matrix, const render::GeometryState& geometry);

    Scene* scene;
    render::RenderDevice* device = nullptr;
    Camera* camera = nullptr;
    core::IntrusivePointer<material::SceneParameters> sceneParameters;
    core::IntrusivePointer<RenderableSet> renderableSet;
    core::IntrusivePointer<material::Material> defaultMaterial;
    material::RenderPass* lastPass = nullptr;
    render::RenderState* currentRenderState = nullptr;
    render::ShaderState* currentShaderState = nullptr;
};

} // namespace rezezaz::scene

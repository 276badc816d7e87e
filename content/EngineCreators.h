#pragma once

#include "core/Object.h"
#include "scene/BuiltInCreators.h"

namespace rezezaz::scene {

class Engine;

// The engine's ten built-in creators, made in their order for one engine by installHandlers and
// held by the engine for its lifetime; releases them from the last made to the first. The create
// operations forward to the matching creator's typed operation.
class EngineCreators : public core::Object, public BuiltInCreators
{
public:
    explicit EngineCreators(Engine* engine);
    ~EngineCreators() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    NormalizationTextureCreator* getNormalizationTextureCreator() const override;
    DiffuseMaterialCreator* getDiffuseMaterialCreator() const override;
    SkyBoxMaterialCreator* getSkyBoxMaterialCreator() const override;
    WaterMaterialCreator* getWaterMaterialCreator() const override;
    AABoxMeshCreator* getAABoxMeshCreator() const override;
    SphereMeshCreator* getSphereMeshCreator() const override;
    TorusMeshCreator* getTorusMeshCreator() const override;
    GridMeshCreator* getGridMeshCreator() const override;
    SkyBoxMeshCreator* getSkyBoxMeshCreator() const override;
    SkyDomeMeshCreator* getSkyDomeMeshCreator() const override;

    core::IntrusivePointer<render::Texture> createNormalizationTexture(int size) override;
    core::IntrusivePointer<material::Material> createDiffuseMaterial(render::Texture* texture,
                                                                     render::RenderState* renderState) override;
    core::IntrusivePointer<material::Material> createPointSpriteMaterial(render::Texture* texture, float size,
                                                                         bool attenuate) override;
    core::IntrusivePointer<material::Material> createFontMaterial(Font* font) override;
    core::IntrusivePointer<material::Material> createSkyBoxMaterial(render::Texture* texture, bool clamp,
                                                                    render::RenderState* renderState) override;
    core::IntrusivePointer<material::Material> createWaterMaterial(render::Texture* reflectTexture,
                                                                   render::Texture* refractTexture,
                                                                   render::Texture* waveTexture,
                                                                   const core::math::Vector4& unused) override;
    core::IntrusivePointer<Mesh> createAABoxMesh(const core::math::AABox& box,
                                                 core::IntrusivePointer<material::Material> material) override;
    core::IntrusivePointer<Mesh> createSphereMesh(const core::math::Sphere& sphere, int segments, int rings,
                                                  core::IntrusivePointer<material::Material> material) override;
    core::IntrusivePointer<Mesh> createTorusMesh(float ringRadius, float tubeRadius, int ringSteps, int tubeSteps,
                                                 core::IntrusivePointer<material::Material> material) override;
    core::IntrusivePointer<Mesh> createGridMesh(float width, float height, int nx, int ny,
                                                core::IntrusivePointer<material::Material> material) override;
    core::IntrusivePointer<Mesh> createSkyBoxMesh(float size, bool crossLayout, bool flipV,
                                                  core::IntrusivePointer<material::Material> material0,
                                                  core::IntrusivePointer<material::Material> material1,
                                                  core::IntrusivePointer<material::Material> material2,
                                                  core::IntrusivePointer<material::Material> material3,
                                                  core::IntrusivePointer<material::Material> material4,
                                                  core::IntrusivePointer<material::Material> material5) override;
    core::IntrusivePointer<Mesh> createSkyDomeMesh(const core::math::Sphere& sphere, int numSegments, int numRings,
                                                   float textureScale,
                                                   core::IntrusivePointer<material::Material> material) override;

private:
    core::IntrusivePointer<NormalizationTextureCreator> normalizationTextureCreator_;
    core::IntrusivePointer<DiffuseMaterialCreator> diffuseMaterialCreator_;
    core::IntrusivePointer<SkyBoxMaterialCreator> skyBoxMaterialCreator_;
    core::IntrusivePointer<WaterMaterialCreator> waterMaterialCreator_;
    core::IntrusivePointer<AABoxMeshCreator> aaBoxMeshCreator_;
    core::IntrusivePointer<SphereMeshCreator> sphereMeshCreator_;
    core::IntrusivePointer<TorusMeshCreator> torusMeshCreator_;
    core::IntrusivePointer<GridMeshCreator> gridMeshCreator_;
    core::IntrusivePointer<SkyBoxMeshCreator> skyBoxMeshCreator_;
    core::IntrusivePointer<SkyDomeMeshCreator> skyDomeMeshCreator_;
};

} // namespace rezezaz::scene

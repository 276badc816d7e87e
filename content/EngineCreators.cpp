#include "content/EngineCreators.h"

#include "content/AABoxMeshCreator.h"
#include "content/DiffuseMaterialCreator.h"
#include "content/GridMeshCreator.h"
#include "content/NormalizationTextureCreator.h"
#include "content/SkyBoxMaterialCreator.h"
#include "content/SkyBoxMeshCreator.h"
#include "content/SkyDomeMeshCreator.h"
#include "content/SphereMeshCreator.h"
#include "content/TorusMeshCreator.h"
#include "content/WaterMaterialCreator.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"

namespace rezezaz::scene {

using core::IntrusivePointer;

EngineCreators::EngineCreators(Engine* engine)
{
    normalizationTextureCreator_ = new NormalizationTextureCreator(engine);
    diffuseMaterialCreator_ = new DiffuseMaterialCreator(engine);
    skyBoxMaterialCreator_ = new SkyBoxMaterialCreator(engine);
    waterMaterialCreator_ = new WaterMaterialCreator(engine);
    aaBoxMeshCreator_ = new AABoxMeshCreator(engine);
    sphereMeshCreator_ = new SphereMeshCreator(engine);
    torusMeshCreator_ = new TorusMeshCreator(engine);
    gridMeshCreator_ = new GridMeshCreator(engine);
    skyBoxMeshCreator_ = new SkyBoxMeshCreator(engine);
    skyDomeMeshCreator_ = new SkyDomeMeshCreator(engine);
}

EngineCreators::~EngineCreators()
{
    skyDomeMeshCreator_ = nullptr;
    skyBoxMeshCreator_ = nullptr;
    gridMeshCreator_ = nullptr;
    torusMeshCreator_ = nullptr;
    sphereMeshCreator_ = nullptr;
    aaBoxMeshCreator_ = nullptr;
    waterMaterialCreator_ = nullptr;
    skyBoxMaterialCreator_ = nullptr;
    diffuseMaterialCreator_ = nullptr;
    normalizationTextureCreator_ = nullptr;
}

NormalizationTextureCreator* EngineCreators::getNormalizationTextureCreator() const
{
    return normalizationTextureCreator_.get();
}

DiffuseMaterialCreator* EngineCreators::getDiffuseMaterialCreator() const
{
    return diffuseMaterialCreator_.get();
}

SkyBoxMaterialCreator* EngineCreators::getSkyBoxMaterialCreator() const
{
    return skyBoxMaterialCreator_.get();
}

WaterMaterialCreator* EngineCreators::getWaterMaterialCreator() const
{
    return waterMaterialCreator_.get();
}

AABoxMeshCreator* EngineCreators::getAABoxMeshCreator() const
{
    return aaBoxMeshCreator_.get();
}

SphereMeshCreator* EngineCreators::getSphereMeshCreator() const
{
    return sphereMeshCreator_.get();
}

TorusMeshCreator* EngineCreators::getTorusMeshCreator() const
{
    return torusMeshCreator_.get();
}

GridMeshCreator* EngineCreators::getGridMeshCreator() const
{
    return gridMeshCreator_.get();
}

SkyBoxMeshCreator* EngineCreators::getSkyBoxMeshCreator() const
{
    return skyBoxMeshCreator_.get();
}

SkyDomeMeshCreator* EngineCreators::getSkyDomeMeshCreator() const
{
    return skyDomeMeshCreator_.get();
}

IntrusivePointer<render::Texture> EngineCreators::createNormalizationTexture(int size)
{
    return normalizationTextureCreator_->createNormalizationTexture(size);
}

IntrusivePointer<material::Material> EngineCreators::createDiffuseMaterial(render::Texture* texture,
                                                                           render::RenderState* renderState)
{
    return diffuseMaterialCreator_->createDiffuseMaterial(texture, renderState);
}

IntrusivePointer<material::Material> EngineCreators::createPointSpriteMaterial(render::Texture* texture, float size,
                                                                               bool attenuate)
{
    return diffuseMaterialCreator_->createPointSpriteMaterial(texture, size, attenuate);
}

IntrusivePointer<material::Material> EngineCreators::createFontMaterial(Font* font)
{
    return diffuseMaterialCreator_->createFontMaterial(font);
}

IntrusivePointer<material::Material> EngineCreators::createSkyBoxMaterial(render::Texture* texture, bool clamp,
                                                                          render::RenderState* renderState)
{
    return skyBoxMaterialCreator_->createSkyBoxMaterial(texture, clamp, renderState);
}

IntrusivePointer<material::Material> EngineCreators::createWaterMaterial(render::Texture* reflectTexture,
                                                                         render::Texture* refractTexture,
                                                                         render::Texture* waveTexture,
                                                                         const core::math::Vector4& unused)
{
    return waterMaterialCreator_->createWaterMaterial(reflectTexture, refractTexture, waveTexture, unused);
}

IntrusivePointer<Mesh> EngineCreators::createAABoxMesh(const core::math::AABox& box,
                                                       IntrusivePointer<material::Material> material)
{
    return aaBoxMeshCreator_->createAABoxMesh(box, material);
}

IntrusivePointer<Mesh> EngineCreators::createSphereMesh(const core::math::Sphere& sphere, int segments, int rings,
                                                        IntrusivePointer<material::Material> material)
{
    return sphereMeshCreator_->createSphereMesh(sphere, segments, rings, material);
}

IntrusivePointer<Mesh> EngineCreators::createTorusMesh(float ringRadius, float tubeRadius, int ringSteps,
                                                       int tubeSteps, IntrusivePointer<material::Material> material)
{
    return torusMeshCreator_->createTorusMesh(ringRadius, tubeRadius, ringSteps, tubeSteps, material);
}

IntrusivePointer<Mesh> EngineCreators::createGridMesh(float width, float height, int nx, int ny,
                                                      IntrusivePointer<material::Material> material)
{
    return gridMeshCreator_->createGridMesh(width, height, nx, ny, material);
}

IntrusivePointer<Mesh> EngineCreators::createSkyBoxMesh(float size, bool crossLayout, bool flipV,
                                                        IntrusivePointer<material::Material> material0,
                                                        IntrusivePointer<material::Material> material1,
                                                        IntrusivePointer<material::Material> material2,
                                                        IntrusivePointer<material::Material> material3,
                                                        IntrusivePointer<material::Material> material4,
                                                        IntrusivePointer<material::Material> material5)
{
    return skyBoxMeshCreator_->createSkyBoxMesh(size, crossLayout, flipV, material0, material1, material2,
                                                material3, material4, material5);
}

IntrusivePointer<Mesh> EngineCreators::createSkyDomeMesh(const core::math::Sphere& sphere, int numSegments,
                                                         int numRings, float textureScale,
                                                         IntrusivePointer<material::Material> material)
{
    return skyDomeMeshCreator_->createSkyDomeMesh(sphere, numSegments, numRings, textureScale, material);
}

} // namespace rezezaz::scene

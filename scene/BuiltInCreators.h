#pragma once

#include "core/IntrusivePointer.h"
#include "core/Interface.h"
#include "core/math/AABox.h"
#include "core/math/Sphere.h"
#include "core/math/Vector4.h"

namespace rezezaz::render {
class RenderState;
class Texture;
}

namespace rezezaz::scene {

class AABoxMeshCreator;
class DiffuseMaterialCreator;
class Font;
class GridMeshCreator;
class Mesh;
class NormalizationTextureCreator;
class SkyBoxMaterialCreator;
class SkyBoxMeshCreator;
class SkyDomeMeshCreator;
class SphereMeshCreator;
class TorusMeshCreator;
class WaterMaterialCreator;

namespace material {
class Material;
}

// The engine's ten built-in creators of procedural resources as the engine reaches them: the content
// library makes one set in its installHandlers and the engine holds it for its lifetime. The
// engine's create operations forward to the typed operations here and file what they return with its
// managers; the getters hand out the creators themselves, whose classes only the content library's
// users see. Never null.
class BuiltInCreators : public core::Interface
{
public:
    virtual NormalizationTextureCreator* getNormalizationTextureCreator() const = 0;
    virtual DiffuseMaterialCreator* getDiffuseMaterialCreator() const = 0;
    virtual SkyBoxMaterialCreator* getSkyBoxMaterialCreator() const = 0;
    virtual WaterMaterialCreator* getWaterMaterialCreator() const = 0;
    virtual AABoxMeshCreator* getAABoxMeshCreator() const = 0;
    virtual SphereMeshCreator* getSphereMeshCreator() const = 0;
    virtual TorusMeshCreator* getTorusMeshCreator() const = 0;
    virtual GridMeshCreator* getGridMeshCreator() const = 0;
    virtual SkyBoxMeshCreator* getSkyBoxMeshCreator() const = 0;
    virtual SkyDomeMeshCreator* getSkyDomeMeshCreator() const = 0;

    virtual core::IntrusivePointer<render::Texture> createNormalizationTexture(int size) = 0;
    virtual core::IntrusivePointer<material::Material> createDiffuseMaterial(render::Texture* texture,
                                                                             render::RenderState* renderState) = 0;
    virtual core::IntrusivePointer<material::Material> createPointSpriteMaterial(render::Texture* texture,
                                                                                 float size, bool attenuate) = 0;
    virtual core::IntrusivePointer<material::Material> createFontMaterial(Font* font) = 0;
    virtual core::IntrusivePointer<material::Material> createSkyBoxMaterial(render::Texture* texture, bool clamp,
                                                                            render::RenderState* renderState) = 0;
    virtual core::IntrusivePointer<material::Material> createWaterMaterial(render::Texture* reflectTexture,
                                                                           render::Texture* refractTexture,
                                                                           render::Texture* waveTexture,
                                                                           const core::math::Vector4& unused) = 0;
    virtual core::IntrusivePointer<Mesh> createAABoxMesh(const core::math::AABox& box,
                                                         core::IntrusivePointer<material::Material> material) = 0;
    virtual core::IntrusivePointer<Mesh> createSphereMesh(const core::math::Sphere& sphere, int segments, int rings,
                                                          core::IntrusivePointer<material::Material> material) = 0;
    virtual core::IntrusivePointer<Mesh> createTorusMesh(float ringRadius, float tubeRadius, int ringSteps,
                                                         int tubeSteps,
                                                         core::IntrusivePointer<material::Material> material) = 0;
    virtual core::IntrusivePointer<Mesh> createGridMesh(float width, float height, int nx, int ny,
                                                        core::IntrusivePointer<material::Material> material) = 0;
    virtual core::IntrusivePointer<Mesh> createSkyBoxMesh(float size, bool crossLayout, bool flipV,
                                                          core::IntrusivePointer<material::Material> material0,
                                                          core::IntrusivePointer<material::Material> material1,
                                                          core::IntrusivePointer<material::Material> material2,
                                                          core::IntrusivePointer<material::Material> material3,
                                                          core::IntrusivePointer<material::Material> material4,
                                                          core::IntrusivePointer<material::Material> material5) = 0;
    virtual core::IntrusivePointer<Mesh> createSkyDomeMesh(const core::math::Sphere& sphere, int numSegments,
                                                           int numRings, float textureScale,
                                                           core::IntrusivePointer<material::Material> material) = 0;
};

} // namespace rezezaz::scene

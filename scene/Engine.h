#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/AABox.h"
#include "core/math/Sphere.h"
#include "core/math/Vector4.h"
#include "render/RenderCaps.h"
#include "scene/BuiltInCreators.h"
#include "scene/VertexFormats.h"

namespace rezezaz::render {
class RenderDevice;
class RenderState;
class Texture;
}
namespace rezezaz::audio {
class AudioDevice;
}

namespace rezezaz::scene {

class AABoxMeshCreator;
class ArchiveManager;
class AudioManager;
class BufferManager;
class ContextListener;
class DiffuseMaterialCreator;
class Font;
class FontManager;
class GridMeshCreator;
class MaterialManager;
class Mesh;
class NormalizationTextureCreator;
class ResourceManager;
class ShaderManager;
class SkyBoxMaterialCreator;
class SkyBoxMeshCreator;
class SkyDomeMeshCreator;
class SphereMeshCreator;
class TextureManager;
class TorusMeshCreator;
class WaterMaterialCreator;

namespace material {
class Material;
}

// The scene engine's facade. It owns the resource managers and the standard vertex formats, holds
// the render and audio devices (neither retained), merges the device's capabilities with what the
// engine's own device-independent resources can do, and drives the render-context life cycle: when a
// device comes or goes the managers move their device resources and every context listener hears of
// it. Reference counted; the calibration view owns one for its lifetime. GUI thread only.
//
// The file formats and the built-in creators belong to the content library above this one, whose
// installHandlers (content/EngineHandlers.h) registers the streamers with the managers and hands the
// engine its creators; the engine reaches the streamers through its managers and the creators
// through the BuiltInCreators interface, so that the scene library includes and links nothing of
// content.
class Engine : public core::Object
{
public:
    // Both pointers are reserved and ignored.
    Engine(void* reserved1, void* reserved2);
    ~Engine() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    // Destroys what the managers hold (the device made current first); the engine stays usable for
    // its owners until its last release.
    void destroy() override;

    // Takes the device's capabilities and moves the managers' device resources from the old device to
    // the new one (null: no device). An engine that is not backed takes one device only and raises
    // "can not change RenderDevice in an unbacked engine" for any later one.
    bool setRenderDevice(render::RenderDevice* device);
    render::RenderDevice* getRenderDevice() const { return renderDevice_; }
    // A second device after a device raises "can not change AudioDevice"; null is always taken.
    bool setAudioDevice(audio::AudioDevice* device);
    audio::AudioDevice* getAudioDevice() const { return audioDevice_; }

    void setMaximumRenderCaps(const render::RenderCaps& caps);
    void setBackableRenderCaps(const render::RenderCaps& caps);
    // All three per-stage flags at once.
    void setHasBackableShader(bool value);
    void setHasBackableFixed(bool value);
    void setHasMaximumShader(bool value);
    void setHasMaximumFixed(bool value);
    void setHasBackableTriangleFan(bool value);
    // Rebuilds the merged record from the device's, the maximum and the backable ones.
    void updateRenderCaps();
    // The smaller of maximum and the larger of device and backable.
    static int mergeCap(int device, int maximum, int backable);
    // Makes the standard vertex formats anew with the device's vertex element type.
    void updateVertexFormats();

    void contextActivate(render::RenderDevice* device);
    void contextDeactivate(render::RenderDevice* device);
    void contextReset(render::RenderDevice* device);

    // The record that the engine's users read.
    const render::RenderCaps& getRenderCaps() const { return renderCaps_; }
    const render::RenderCaps& getMaximumRenderCaps() const { return maximumRenderCaps_; }
    const render::RenderCaps& getBackableRenderCaps() const { return backableRenderCaps_; }
    const render::RenderCaps& getRenderDeviceCaps() const { return renderDeviceCaps_; }
    // True when the backable resources have the vertex stage's shader or fixed-function pipeline: the
    // managers then hand out device-independent wrappers.
    bool isBacked() const;

    const VertexFormats& getVertexFormats() const { return vertexFormats_; }

    // Listeners are not owned and are called in the order added.
    void addContextListener(ContextListener* listener);
    // Removes the first entry of listener.
    void removeContextListener(ContextListener* listener);
    const core::Collection<ContextListener*>& getContextListeners() const { return contextListeners_; }

    ArchiveManager* getArchiveManager() const { return archiveManager_.get(); }
    TextureManager* getTextureManager() const { return textureManager_.get(); }
    BufferManager* getBufferManager() const { return bufferManager_.get(); }
    ShaderManager* getShaderManager() const { return shaderManager_.get(); }
    MaterialManager* getMaterialManager() const { return materialManager_.get(); }
    FontManager* getFontManager() const { return fontManager_.get(); }
    ResourceManager* getMeshManager() const { return meshManager_.get(); }
    AudioManager* getAudioManager() const { return audioManager_.get(); }
    ResourceManager* getStudioModelManager() const { return studioModelManager_.get(); }
    ResourceManager* getSpriteModelManager() const { return spriteModelManager_.get(); }

    // The built-in creators that the create operations below forward to, held for the engine's
    // lifetime; the content library's installHandlers makes them. Null (the default) leaves the create
    // operations without them.
    void setBuiltInCreators(core::IntrusivePointer<BuiltInCreators> creators);

    // Null until installHandlers.
    NormalizationTextureCreator* getNormalizationTextureCreator() const;
    DiffuseMaterialCreator* getDiffuseMaterialCreator() const;
    SkyBoxMaterialCreator* getSkyBoxMaterialCreator() const;
    WaterMaterialCreator* getWaterMaterialCreator() const;
    AABoxMeshCreator* getAABoxMeshCreator() const;
    SphereMeshCreator* getSphereMeshCreator() const;
    TorusMeshCreator* getTorusMeshCreator() const;
    GridMeshCreator* getGridMeshCreator() const;
    SkyBoxMeshCreator* getSkyBoxMeshCreator() const;
    SkyDomeMeshCreator* getSkyDomeMeshCreator() const;

    // Built-in materials, managed by the material manager without a name; null (with a warning)
    // before installHandlers.
    core::IntrusivePointer<material::Material> createDiffuseMaterial(render::Texture* texture,
                                                                     render::RenderState* renderState);
    core::IntrusivePointer<material::Material> createPointSpriteMaterial(render::Texture* texture, float size,
                                                                         bool attenuate);
    // Null for a null font.
    core::IntrusivePointer<material::Material> createFontMaterial(Font* font);
    core::IntrusivePointer<material::Material> createSkyBoxMaterial(render::Texture* texture, bool clamp,
                                                                    render::RenderState* renderState);
    core::IntrusivePointer<material::Material> createWaterMaterial(render::Texture* reflectTexture,
                                                                   render::Texture* refractTexture,
                                                                   render::Texture* waveTexture,
                                                                   const core::math::Vector4& unused);
    // A normalisation cube map managed by the texture manager without a name; null before
    // installHandlers (with a warning) and where the creator makes none.
    core::IntrusivePointer<render::Texture> createNormalizationTexture(int size);

    // Procedural meshes, managed by the mesh manager without a name; null before installHandlers (with
    // a warning) and where the creator makes none. A null material becomes a new default diffuse one,
    // except for the sky box (left null) and the sky dome (a sky-box material).
    core::IntrusivePointer<Mesh> createAABoxMesh(const core::math::AABox& box,
                                                 core::IntrusivePointer<material::Material> material);
    // Always 16 segments and 16 rings.
    core::IntrusivePointer<Mesh> createSphereMesh(const core::math::Sphere& sphere,
                                                  core::IntrusivePointer<material::Material> material);
    core::IntrusivePointer<Mesh> createTorusMesh(float ringRadius, float tubeRadius, int ringSteps,
                                                 int tubeSteps,
                                                 core::IntrusivePointer<material::Material> material);
    core::IntrusivePointer<Mesh> createGridMesh(float width, float height, int nx, int ny,
                                                core::IntrusivePointer<material::Material> material);
    core::IntrusivePointer<Mesh> createSkyBoxMesh(float size, bool crossLayout, bool flipV,
                                                  core::IntrusivePointer<material::Material> material0,
                                                  core::IntrusivePointer<material::Material> material1,
                                                  core::IntrusivePointer<material::Material> material2,
                                                  core::IntrusivePointer<material::Material> material3,
                                                  core::IntrusivePointer<material::Material> material4,
                                                  core::IntrusivePointer<material::Material> material5);
    core::IntrusivePointer<Mesh> createSkyDomeMesh(const core::math::Sphere& sphere, int numSegments,
                                                   int numRings, float textureScale,
                                                   core::IntrusivePointer<material::Material> material);

private:
    // The built-in creators for one create operation, held for the call; null, with a warning naming
    // the operation and the creator it needs, before installHandlers.
    core::IntrusivePointer<BuiltInCreators> creatorsFor(const char* operation, const char* creator) const;
    // Files a facade's mesh with the mesh manager without a name.
    core::IntrusivePointer<Mesh> manageMesh(core::IntrusivePointer<Mesh> mesh);

    render::RenderDevice* renderDevice_ = nullptr;
    bool renderDeviceSet_ = false;
    audio::AudioDevice* audioDevice_ = nullptr;
    bool audioDeviceSet_ = false;
    core::Collection<ContextListener*> contextListeners_;
    render::RenderCaps maximumRenderCaps_;
    render::RenderCaps backableRenderCaps_;
    render::RenderCaps renderDeviceCaps_;
    render::RenderCaps renderCaps_;
    VertexFormats vertexFormats_;

    // The managers, in the order they are made.
    core::IntrusivePointer<ArchiveManager> archiveManager_;
    core::IntrusivePointer<TextureManager> textureManager_;
    core::IntrusivePointer<BufferManager> bufferManager_;
    core::IntrusivePointer<ShaderManager> shaderManager_;
    core::IntrusivePointer<MaterialManager> materialManager_;
    core::IntrusivePointer<FontManager> fontManager_;
    core::IntrusivePointer<ResourceManager> meshManager_;
    core::IntrusivePointer<AudioManager> audioManager_;
    core::IntrusivePointer<ResourceManager> studioModelManager_;
    core::IntrusivePointer<ResourceManager> spriteModelManager_;

    // The built-in creators; null until installHandlers.
    core::IntrusivePointer<BuiltInCreators> builtInCreators_;
};

} // namespace rezezaz::scene

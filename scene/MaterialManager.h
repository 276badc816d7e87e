#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/RenderCaps.h"
#include "render/RenderDevice.h"
#include "render/RenderState.h"
#include "render/SamplerState.h"
#include "render/ShaderState.h"
#include "scene/ResourceManager.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPath.h"
#include "scene/material/RenderPathChooser.h"

namespace rezezaz::scene {

class BufferManager;
class Engine;

// The resource manager of materials. It also makes the render and shader states that render passes
// draw with (device-independent wrappers on a backed engine, the device's own otherwise) and lists
// them, makes shared copies of materials, and compiles each material by choosing the first of its
// paths the render device can run; on every context activation it backs its wrappers and recompiles
// every material. A material asked for by the name of an image becomes a diffuse material of that
// texture. Owned by the engine.
//
// Like the materials, the listed states are not retained: a state lives as long as the passes,
// cameras and components that draw with it hold it, and leaves the list when it is destroyed, which
// its last release does. So a long-lived engine that makes and drops materials keeps no states of
// materials that are gone.
class MaterialManager : public ResourceManager
{
public:
    explicit MaterialManager(Engine* engine);
    // States that outlive the manager forget it.
    ~MaterialManager() override;

    // A new empty material of this manager, compiled and managed without a name.
    core::IntrusivePointer<material::Material> createMaterial();
    // A managed copy of source whose every pass draws with renderState, which takes over the source
    // passes' texture and sampler states; null for a null source or render state.
    core::IntrusivePointer<material::Material> createSharedMaterial(core::IntrusivePointer<material::Material> source,
                                                                     core::IntrusivePointer<render::RenderState> renderState);
    // Null when neither the device nor a backed engine can give one.
    core::IntrusivePointer<render::RenderState> createRenderState();
    core::IntrusivePointer<render::ShaderState> createShaderState();
    // Copies each state kind that src has set into dst; samplers and texture stages are left.
    void modifyRenderState(core::IntrusivePointer<render::RenderState> dst, core::IntrusivePointer<render::RenderState> src);
    void modifyShaderState(core::IntrusivePointer<render::ShaderState> dst, core::IntrusivePointer<render::ShaderState> src);
    core::IntrusivePointer<material::Material> findMaterial(const core::String& name);

    // Not owned; null restores the manager's own choice.
    void setRenderPathChooser(material::RenderPathChooser* chooser) { renderPathChooser = chooser; }
    material::RenderPathChooser* getRenderPathChooser() const { return renderPathChooser; }
    // Chooses, stores and compiles the material's best path; false when there is none.
    bool compileMaterial(material::Material* material);
    static bool isPathUseable(material::RenderPath* path, const render::RenderCaps& caps);

    void contextActivate(render::RenderDevice* device);
    void contextDeactivate(render::RenderDevice* device);

    BufferManager* getBufferManager() const;
    // The sampler state the built-in materials give the textures they bind.
    const render::SamplerState& getDefaultSamplerState() const { return defaultSamplerState; }
    // The states made here that are still alive.
    int getNumRenderStates() const { return renderStates.size(); }
    int getNumShaderStates() const { return shaderStates.size(); }

    void destroy() override;
    void resourceDestroyed(core::Resource* resource) override;
    core::IntrusivePointer<core::Resource> unableToFindStreamer(const core::String& name, ResourceData* data) override;

private:
    bool backedForRenderStates() const;
    bool backedForShaderStates() const;

    // Live states made here, not retained; each has the manager as its destroyed listener.
    core::Collection<render::RenderState*> renderStates;
    core::Collection<render::ShaderState*> shaderStates;
    material::RenderPathChooser* renderPathChooser = nullptr;
    render::SamplerState defaultSamplerState;
};

} // namespace rezezaz::scene

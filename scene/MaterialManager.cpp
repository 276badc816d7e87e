#include "scene/MaterialManager.h"

#include "core/Exception.h"
#include "core/Log.h"
#include "render/BackableRenderState.h"
#include "render/BackableShaderState.h"
#include "scene/Engine.h"
#include "scene/TextureManager.h"
#include "scene/material/RenderPass.h"

namespace rezezaz::scene {

namespace {

using RenderStatePointer = core::IntrusivePointer<render::RenderState>;
using ShaderStatePointer = core::IntrusivePointer<render::ShaderState>;

// A device that cannot make a state may say so by raising the engine's error.
RenderStatePointer deviceRenderState(render::RenderDevice* device)
{
    try {
        return device->createRenderState();
    } catch (const core::Exception&) {
        return nullptr;
    }
}

ShaderStatePointer deviceShaderState(render::RenderDevice* device)
{
    try {
        return device->createShaderState();
    } catch (const core::Exception&) {
        return nullptr;
    }
}

} // namespace

MaterialManager::MaterialManager(Engine* engine_) : ResourceManager(engine_)
{
    defaultSamplerState.minFilter = render::SamplerState::FilterType_LINEAR;
    defaultSamplerState.mipFilter = render::SamplerState::FilterType_LINEAR;
    defaultSamplerState.magFilter = render::SamplerState::FilterType_LINEAR;
    defaultSamplerState.uAddress = render::SamplerState::AddressType_REPEAT;
    defaultSamplerState.vAddress = render::SamplerState::AddressType_REPEAT;
    defaultSamplerState.wAddress = render::SamplerState::AddressType_REPEAT;
    defaultSamplerState.borderColor = core::math::Vector4(0.0f, 0.0f, 0.0f, 0.0f);
    defaultSamplerState.maxAnisotropy = 0;
    defaultSamplerState.mipBias = 1000;
    defaultSamplerState.compare = true;
}

MaterialManager::~MaterialManager()
{
    for (int i = 0; i < renderStates.size(); ++i) {
        renderStates[i]->setDestroyedListener(nullptr);
    }
    for (int i = 0; i < shaderStates.size(); ++i) {
        shaderStates[i]->setDestroyedListener(nullptr);
    }
}

core::IntrusivePointer<material::Material> MaterialManager::createMaterial()
{
    core::IntrusivePointer<material::Material> result = new material::Material(this);
    result->compile();
    manage(result.get(), core::String());
    return result;
}

core::IntrusivePointer<material::Material>
MaterialManager::createSharedMaterial(core::IntrusivePointer<material::Material> source,
                                      core::IntrusivePointer<render::RenderState> renderState)
{
    // Every pass of the copy writes the source's texture stages into the given state.
    if (!source || !renderState) {
        return nullptr;
    }
    core::IntrusivePointer<material::Material> result = new material::Material(this);
    for (int p = 0; p < source->getNumPaths(); ++p) {
        material::RenderPath* sourcePath = source->getPath(p);
        material::RenderPath* path = result->addPath(core::String());
        for (int q = 0; q < sourcePath->getNumPasses(); ++q) {
            material::RenderPass* sourcePass = sourcePath->getPass(q);
            core::IntrusivePointer<material::RenderPass> pass = new material::RenderPass(this, sourcePass);
            render::RenderState* sourceState = sourcePass->getRenderState();
            if (sourceState != nullptr) {
                for (int t = 0; t < render::Shader::NUM_SHADER_TYPES; ++t) {
                    const auto type = static_cast<render::Shader::ShaderType>(t);
                    for (int i = 0; i < sourceState->getNumTextureStates(type); ++i) {
                        render::TextureState state;
                        if (sourceState->getTextureState(type, i, state)) {
                            renderState->setTextureState(type, i, state);
                        }
                    }
                    for (int i = 0; i < sourceState->getNumSamplerStates(type); ++i) {
                        render::SamplerState state;
                        if (sourceState->getSamplerState(type, i, state)) {
                            renderState->setSamplerState(type, i, state);
                        }
                    }
                }
            }
            pass->setRenderState(renderState.get());
            path->addPass(pass.get());
        }
    }
    result->setName(source->getName());
    result->setSort(source->getSort());
    result->setLayer(source->getLayer());
    result->compile();
    manage(result.get(), core::String());
    return result;
}

core::IntrusivePointer<render::RenderState> MaterialManager::createRenderState()
{
    render::RenderDevice* device = getEngine()->getRenderDevice();
    RenderStatePointer state;
    if (backedForRenderStates()) {
        core::IntrusivePointer<render::BackableRenderState> backable = new render::BackableRenderState();
        backable->create();
        if (device != nullptr) {
            backable->setBack(deviceRenderState(device));
        }
        state = backable;
    } else if (device != nullptr) {
        RenderStatePointer made = device->createRenderState();
        if (!made || !made->create()) {
            return nullptr;
        }
        state = made;
    } else {
        return nullptr;
    }
    renderStates.add(state.get());
    state->setDestroyedListener(this);
    return state;
}

core::IntrusivePointer<render::ShaderState> MaterialManager::createShaderState()
{
    render::RenderDevice* device = getEngine()->getRenderDevice();
    ShaderStatePointer state;
    if (backedForShaderStates()) {
        core::IntrusivePointer<render::BackableShaderState> backable = new render::BackableShaderState();
        backable->create();
        if (device != nullptr) {
            backable->setBack(deviceShaderState(device));
        }
        state = backable;
    } else if (device != nullptr) {
        ShaderStatePointer made = deviceShaderState(device);
        if (!made || !made->create()) {
            return nullptr;
        }
        state = made;
    } else {
        return nullptr;
    }
    shaderStates.add(state.get());
    state->setDestroyedListener(this);
    return state;
}

void MaterialManager::modifyRenderState(core::IntrusivePointer<render::RenderState> dst,
                                        core::IntrusivePointer<render::RenderState> src)
{
    if (!dst || !src) {
        return;
    }
    if (render::BlendState state; src->getBlendState(state)) {
        dst->setBlendState(state);
    }
    if (render::DepthState state; src->getDepthState(state)) {
        dst->setDepthState(state);
    }
    if (render::RasterizerState state; src->getRasterizerState(state)) {
        dst->setRasterizerState(state);
    }
    if (render::FogState state; src->getFogState(state)) {
        dst->setFogState(state);
    }
    if (render::GeometryState state; src->getGeometryState(state)) {
        dst->setGeometryState(state);
    }
    if (render::MaterialState state; src->getMaterialState(state)) {
        dst->setMaterialState(state);
    }
}

void MaterialManager::modifyShaderState(core::IntrusivePointer<render::ShaderState> dst,
                                        core::IntrusivePointer<render::ShaderState> src)
{
    if (!dst || !src) {
        return;
    }
    for (int t = 0; t < render::Shader::NUM_SHADER_TYPES; ++t) {
        const auto type = static_cast<render::Shader::ShaderType>(t);
        dst->setShader(type, src->getShader(type));
    }
}

core::IntrusivePointer<material::Material> MaterialManager::findMaterial(const core::String& name)
{
    core::IntrusivePointer<core::Resource> found = find(name, nullptr);
    return dynamic_cast<material::Material*>(found.get());
}

bool MaterialManager::compileMaterial(material::Material* material)
{
    if (material == nullptr) {
        return false;
    }
    core::IntrusivePointer<material::RenderPath> path;
    render::RenderDevice* device = getEngine()->getRenderDevice();
    if (renderPathChooser != nullptr) {
        path = renderPathChooser->choosePath(material);
    } else if (device != nullptr) {
        // The device's own record: the engine's merged one reports more texture stages than it has.
        render::RenderCaps caps;
        device->getRenderCaps(caps);
        for (int i = 0; i < material->getNumPaths(); ++i) {
            if (isPathUseable(material->getPath(i), caps)) {
                path = material->getPath(i);
                break;
            }
        }
    }
    material->setBestPath(path.get());
    if (path) {
        path->compile();
    }
    return path.get() != nullptr;
}

bool MaterialManager::isPathUseable(material::RenderPath* path, const render::RenderCaps& caps)
{
    if (path == nullptr) {
        return false;
    }
    for (int p = 0; p < path->getNumPasses(); ++p) {
        material::RenderPass* pass = path->getPass(p);
        render::ShaderState* shaderState = pass->getShaderState();
        for (int t = 0; t < render::Shader::NUM_SHADER_TYPES; ++t) {
            const auto type = static_cast<render::Shader::ShaderType>(t);
            if (shaderState != nullptr) {
                core::IntrusivePointer<render::Shader> shader = shaderState->getShader(type);
                if (shader && (shader->getRootShader() == nullptr || !caps.hasShader[t])) {
                    return false;
                }
            } else if (!caps.hasFixed[t]) {
                return false;
            }
            if (pass->getNumTextures(type) > caps.maxTextureStages) {
                return false;
            }
        }
    }
    return true;
}

void MaterialManager::contextActivate(render::RenderDevice* device)
{
    core::Log::debug("MaterialManager::contextActivate");
    for (int i = 0; i < renderStates.size(); ++i) {
        RenderStatePointer state = renderStates[i];
        auto* wrapper = dynamic_cast<render::BackableRenderState*>(state.get());
        if (wrapper == nullptr || state->getRootRenderState() == state.get()) {
            continue;
        }
        if (RenderStatePointer back = deviceRenderState(device)) {
            wrapper->setBack(back);
        }
    }
    for (int i = 0; i < shaderStates.size(); ++i) {
        ShaderStatePointer state = shaderStates[i];
        auto* wrapper = dynamic_cast<render::BackableShaderState*>(state.get());
        if (wrapper == nullptr || state->getRootShaderState() == state.get()) {
            continue;
        }
        if (ShaderStatePointer back = deviceShaderState(device)) {
            wrapper->setBack(back);
        }
    }
    for (int handle = 0; handle < getNumResourceSlots(); ++handle) {
        core::IntrusivePointer<core::Resource> resource = get(handle);
        if (auto* material = dynamic_cast<material::Material*>(resource.get())) {
            compileMaterial(material);
        }
    }
}

void MaterialManager::contextDeactivate(render::RenderDevice*)
{
    core::Log::debug("MaterialManager::contextDeactivate");
    for (int i = 0; i < renderStates.size(); ++i) {
        RenderStatePointer state = renderStates[i];
        auto* wrapper = dynamic_cast<render::BackableRenderState*>(state.get());
        if (wrapper != nullptr && state->getRootRenderState() != state.get()) {
            wrapper->setBack(nullptr);
        }
    }
    for (int i = 0; i < shaderStates.size(); ++i) {
        ShaderStatePointer state = shaderStates[i];
        auto* wrapper = dynamic_cast<render::BackableShaderState*>(state.get());
        if (wrapper != nullptr && state->getRootShaderState() != state.get()) {
            wrapper->setBack(nullptr);
        }
    }
}

BufferManager* MaterialManager::getBufferManager() const
{
    return getEngine()->getBufferManager();
}

void MaterialManager::destroy()
{
    ResourceManager::destroy();
    // Held while they are destroyed: a listed state may have no other owner left.
    core::Collection<RenderStatePointer> renders;
    for (int i = 0; i < renderStates.size(); ++i) {
        renders.add(renderStates[i]);
    }
    renderStates.clear();
    for (int i = 0; i < renders.size(); ++i) {
        renders[i]->setDestroyedListener(nullptr);
        renders[i]->destroy();
    }
    core::Collection<ShaderStatePointer> shaders;
    for (int i = 0; i < shaderStates.size(); ++i) {
        shaders.add(shaderStates[i]);
    }
    shaderStates.clear();
    for (int i = 0; i < shaders.size(); ++i) {
        shaders[i]->setDestroyedListener(nullptr);
        shaders[i]->destroy();
    }
}

void MaterialManager::resourceDestroyed(core::Resource* resource)
{
    // A state may tell through any of its resource interfaces: compare the objects behind them.
    // The list holds no reference: the state may be in its last release.
    const void* object = identity(resource);
    for (int i = 0; i < renderStates.size(); ++i) {
        if (identity(renderStates[i]) == object) {
            renderStates.erase(renderStates.begin() + i);
            return;
        }
    }
    for (int i = 0; i < shaderStates.size(); ++i) {
        if (identity(shaderStates[i]) == object) {
            shaderStates.erase(shaderStates.begin() + i);
            return;
        }
    }
    ResourceManager::resourceDestroyed(resource);
}

core::IntrusivePointer<core::Resource> MaterialManager::unableToFindStreamer(const core::String& name,
                                                                              ResourceData* data)
{
    core::IntrusivePointer<render::Texture> texture = getEngine()->getTextureManager()->findTexture(name);
    if (!texture) {
        return ResourceManager::unableToFindStreamer(name, data);
    }
    core::IntrusivePointer<material::Material> made = getEngine()->createDiffuseMaterial(texture.get(), nullptr);
    return made.get();
}

bool MaterialManager::backedForRenderStates() const
{
    const render::RenderCaps& caps = getEngine()->getBackableRenderCaps();
    return caps.hasShader[0] || caps.hasFixed[0];
}

bool MaterialManager::backedForShaderStates() const
{
    return getEngine()->getBackableRenderCaps().hasShader[0];
}

} // namespace rezezaz::scene

#include "scene/ShaderManager.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "render/BackableShader.h"
#include "render/RenderDevice.h"
#include "scene/Engine.h"

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::String;
using render::BackableShader;
using render::RenderDevice;
using render::Shader;

namespace {

// A new device shader; a device that raises its error gives none.
IntrusivePointer<Shader> newDeviceShader(RenderDevice* device)
{
    try {
        return device->createShader();
    } catch (const core::Exception&) {
        return nullptr;
    }
}

BackableShader* wrapperOf(core::Resource* resource)
{
    Shader* shader = dynamic_cast<Shader*>(resource);
    if (shader == nullptr || shader->getRootShader() == shader) {
        return nullptr;
    }
    return dynamic_cast<BackableShader*>(shader);
}

} // namespace

ShaderManager::ShaderManager(Engine* engine) : ResourceManager(engine) {}

IntrusivePointer<Shader> ShaderManager::createShader(Shader::ShaderType type, const String* profiles,
                                                     const String* codes, int numCodes)
{
    if (type < Shader::ShaderType_VERTEX || type > Shader::ShaderType_GEOMETRY) {
        core::Error::invalidParameters(core::Categories::REZEZAZ_SCENE, true,
                                       String("createShader: unknown shader type ") + static_cast<int>(type));
    }
    RenderDevice* device = engine_->getRenderDevice();
    const bool deviceTakesType = device != nullptr && engine_->getRenderCaps().hasShader[type];
    IntrusivePointer<Shader> shader;
    if (engine_->getBackableRenderCaps().hasShader[type]) {
        IntrusivePointer<BackableShader> wrapper(new BackableShader());
        wrapper->create(type, profiles, codes, numCodes);
        if (deviceTakesType) {
            IntrusivePointer<Shader> back = newDeviceShader(device);
            if (back) {
                wrapper->setBack(back, device);
            }
        }
        shader = wrapper.get();
    } else if (deviceTakesType) {
        shader = newDeviceShader(device);
        if (!BackableShader::convertCreate(shader, device, type, profiles, codes, numCodes)) {
            core::Error::unknown(core::Categories::REZEZAZ_SCENE, true, "Error in shader convertCreate");
        }
    }
    if (shader) {
        manage(shader.get(), String());
    }
    return shader;
}

IntrusivePointer<Shader> ShaderManager::createShader(Shader::ShaderType type, const String& profile,
                                                     const String& code)
{
    return createShader(type, &profile, &code, 1);
}

void ShaderManager::contextActivate(RenderDevice* device)
{
    core::Log::debug("ShaderManager::contextActivate");
    for (int i = 0; i < resources_.size(); ++i) {
        if (BackableShader* wrapper = wrapperOf(resources_[i])) {
            IntrusivePointer<Shader> back = newDeviceShader(device);
            if (back) {
                wrapper->setBack(back, device);
            }
        }
    }
}

void ShaderManager::contextDeactivate(RenderDevice*)
{
    core::Log::debug("ShaderManager::contextDeactivate");
    for (int i = 0; i < resources_.size(); ++i) {
        if (BackableShader* wrapper = wrapperOf(resources_[i])) {
            wrapper->setBack(nullptr, nullptr);
        }
    }
}

} // namespace rezezaz::scene

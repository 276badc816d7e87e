#include "scene/Engine.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/math/Math.h"
#include "render/RenderDevice.h"
#include "scene/ArchiveManager.h"
#include "scene/AudioManager.h"
#include "scene/BufferManager.h"
#include "scene/ContextListener.h"
#include "scene/FontManager.h"
#include "scene/MaterialManager.h"
#include "scene/Mesh.h"
#include "scene/ResourceManager.h"
#include "scene/ShaderManager.h"
#include "scene/TextureManager.h"
#include "scene/Version.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace rezezaz::scene {

using core::Categories;
using core::IntrusivePointer;
using core::Logger;
using core::String;
using render::RenderCaps;
using render::RenderDevice;
using render::VertexFormat;

namespace {

void log(Logger::Level level, const String& text)
{
    core::Log::getInstance()->addLogEntry(Categories::REZEZAZ_SCENE, level, text);
}

void setLimits(RenderCaps& caps)
{
    caps.maxTextureStages = 512;
    caps.maxTextureSize = 65536;
    caps.maxLights = 512;
}

} // namespace

Engine::Engine(void*, void*)
{
    log(Logger::DEBUG, "allocating " + Categories::REZEZAZ_SCENE + ".Engine:" + Version::STRING);

    archiveManager_ = new ArchiveManager(this);
    textureManager_ = new TextureManager(this);
    bufferManager_ = new BufferManager(this);
    shaderManager_ = new ShaderManager(this);
    materialManager_ = new MaterialManager(this);
    fontManager_ = new FontManager(this);
    meshManager_ = new ResourceManager(this);
    audioManager_ = new AudioManager(this);
    studioModelManager_ = new ResourceManager(this);
    spriteModelManager_ = new ResourceManager(this);

    core::math::Math::optimize(0);

    setLimits(maximumRenderCaps_);
    maximumRenderCaps_.triangleFan = true;
    std::fill(std::begin(maximumRenderCaps_.hasShader), std::end(maximumRenderCaps_.hasShader), true);
    std::fill(std::begin(maximumRenderCaps_.hasFixed), std::end(maximumRenderCaps_.hasFixed), true);
    setLimits(backableRenderCaps_);
    renderDeviceCaps_.vertexElementType = VertexFormat::Type_FLOAT32;

    updateVertexFormats();
}

Engine::~Engine()
{
    log(Logger::DEBUG, "Engine::~Engine");
    // The creators first, which release theirs from the last made to the first.
    builtInCreators_ = nullptr;
    // Managers from the last made to the first, then the vertex formats.
    spriteModelManager_ = nullptr;
    studioModelManager_ = nullptr;
    audioManager_ = nullptr;
    meshManager_ = nullptr;
    fontManager_ = nullptr;
    materialManager_ = nullptr;
    shaderManager_ = nullptr;
    bufferManager_ = nullptr;
    textureManager_ = nullptr;
    archiveManager_ = nullptr;
    vertexFormats_ = VertexFormats();
}

namespace {

// One line for a manager that still lists resources: how many, and their names.
void logStillHeld(const char* manager, const core::Collection<core::Resource*>& resources)
{
    if (resources.size() == 0) {
        return;
    }
    String text = String("Engine::destroy: ") + manager + " manager still holds " + resources.size() +
                  (resources.size() == 1 ? " resource:" : " resources:");
    for (int i = 0; i < resources.size(); ++i) {
        const String& name = resources[i]->getName();
        text = text + (i == 0 ? " " : ", ") + (name.length() > 0 ? name : String("(unnamed)"));
    }
    log(Logger::ALERT, text);
}

// The resources less the engine's own vertex formats, which go with the engine: no one's leak.
core::Collection<core::Resource*> lessOwnFormats(const core::Collection<core::Resource*>& resources,
                                                 const VertexFormats& formats)
{
    const VertexFormats::Format* const own[] = {
        &formats.POSITION,
        &formats.POSITION_NORMAL,
        &formats.POSITION_COLOR,
        &formats.POSITION_TEX_COORD,
        &formats.POSITION_NORMAL_COLOR,
        &formats.POSITION_NORMAL_TEX_COORD,
        &formats.POSITION_COLOR_TEX_COORD,
        &formats.POSITION_NORMAL_COLOR_TEX_COORD,
        &formats.POSITION_SEMANTIC7_SEMANTIC6,
        &formats.COLOR,
    };
    core::Collection<core::Resource*> others;
    for (int i = 0; i < resources.size(); ++i) {
        if (std::none_of(std::begin(own), std::end(own), [&](const VertexFormats::Format* format) {
                return static_cast<core::Resource*>(format->get()) == resources[i];
            })) {
            others.add(resources[i]);
        }
    }
    return others;
}

} // namespace

void Engine::destroy()
{
    log(Logger::DEBUG, "Engine::destroy");
    if (renderDevice_ != nullptr) {
        // The managers free device resources, which needs the device's context.
        renderDevice_->activate();
    }
    // Whatever a manager still lists has not been destroyed by its holder. Said before the managers
    // destroy it, so that a forgotten destroy in a long-lived engine shows in the log.
    logStillHeld("studio model", studioModelManager_->getResources());
    logStillHeld("sprite model", spriteModelManager_->getResources());
    logStillHeld("audio", audioManager_->getResources());
    logStillHeld("mesh", meshManager_->getResources());
    logStillHeld("shader", shaderManager_->getResources());
    logStillHeld("material", materialManager_->getResources());
    logStillHeld("font", fontManager_->getResources());
    logStillHeld("buffer", lessOwnFormats(bufferManager_->getResources(), vertexFormats_));
    logStillHeld("texture", textureManager_->getResources());
    logStillHeld("archive", archiveManager_->getResources());
    studioModelManager_->destroy();
    spriteModelManager_->destroy();
    audioManager_->destroy();
    meshManager_->destroy();
    shaderManager_->destroy();
    materialManager_->destroy();
    fontManager_->destroy();
    bufferManager_->destroy();
    textureManager_->destroy();
    archiveManager_->destroy();
}

bool Engine::setRenderDevice(RenderDevice* device)
{
    bool resetNeeded = false;
    if (device != nullptr) {
        if (isBacked()) {
            resetNeeded = renderDeviceSet_;
        } else if (renderDeviceSet_) {
            core::Error::unknown(Categories::REZEZAZ_SCENE, true, "can not change RenderDevice in an unbacked engine");
        }
        renderDeviceSet_ = true;

        device->getRenderCaps(renderDeviceCaps_);
        const RenderCaps& caps = renderDeviceCaps_;
        log(Logger::ALERT, "RenderDevice Capabilities:");
        log(Logger::ALERT, String("\tmaxTextureStages:") + caps.maxTextureStages);
        log(Logger::ALERT, String("\tmaxTextureSize:") + caps.maxTextureSize);
        log(Logger::ALERT, String("\trenderToTexture:") + int(caps.renderToTexture));
        log(Logger::ALERT, String("\trenderToDepthTexture:") + int(caps.renderToDepthTexture));
        log(Logger::ALERT, String("\trenderToTextureNonPowerOf2Restricted:") +
                               int(caps.renderToTextureNonPowerOf2Restricted));
        log(Logger::ALERT, String("\ttextureDot3:") + int(caps.textureDot3));
        log(Logger::ALERT, String("\ttextureNonPowerOf2Restricted:") + int(caps.textureNonPowerOf2Restricted));
        log(Logger::ALERT, String("\ttextureNonPowerOf2:") + int(caps.textureNonPowerOf2));
        log(Logger::ALERT, String("\ttextureAutogenMipMaps:") + int(caps.textureAutogenMipMaps));
    }

    updateRenderCaps();

    RenderDevice* old = renderDevice_;
    if (old != device && old != nullptr) {
        contextDeactivate(old);
    }
    renderDevice_ = device;
    if (old != device && device != nullptr) {
        contextActivate(device);
        if (resetNeeded) {
            contextReset(device);
        }
    }
    return true;
}

bool Engine::setAudioDevice(audio::AudioDevice* device)
{
    if (device != nullptr) {
        if (audioDeviceSet_) {
            core::Error::unknown(Categories::REZEZAZ_SCENE, true, "can not change AudioDevice");
        }
        audioDeviceSet_ = true;
    }
    audioDevice_ = device;
    return true;
}

void Engine::setMaximumRenderCaps(const RenderCaps& caps)
{
    maximumRenderCaps_ = caps;
    updateRenderCaps();
}

void Engine::setBackableRenderCaps(const RenderCaps& caps)
{
    backableRenderCaps_ = caps;
    updateRenderCaps();
}

void Engine::setHasBackableShader(bool value)
{
    std::fill(std::begin(backableRenderCaps_.hasShader), std::end(backableRenderCaps_.hasShader), value);
    updateRenderCaps();
}

void Engine::setHasBackableFixed(bool value)
{
    std::fill(std::begin(backableRenderCaps_.hasFixed), std::end(backableRenderCaps_.hasFixed), value);
    updateRenderCaps();
}

void Engine::setHasMaximumShader(bool value)
{
    std::fill(std::begin(maximumRenderCaps_.hasShader), std::end(maximumRenderCaps_.hasShader), value);
    updateRenderCaps();
}

void Engine::setHasMaximumFixed(bool value)
{
    std::fill(std::begin(maximumRenderCaps_.hasFixed), std::end(maximumRenderCaps_.hasFixed), value);
    updateRenderCaps();
}

void Engine::setHasBackableTriangleFan(bool value)
{
    backableRenderCaps_.triangleFan = value;
    updateRenderCaps();
}

void Engine::updateRenderCaps()
{
    const RenderCaps& device = renderDeviceCaps_;
    const RenderCaps& maximum = maximumRenderCaps_;
    const RenderCaps& backable = backableRenderCaps_;
    renderCaps_ = device;
    renderCaps_.maxTextureStages = mergeCap(device.maxTextureStages, maximum.maxTextureStages, backable.maxTextureStages);
    renderCaps_.maxTextureSize = mergeCap(device.maxTextureSize, maximum.maxTextureSize, backable.maxTextureSize);
    renderCaps_.maxLights = mergeCap(device.maxLights, maximum.maxLights, backable.maxLights);
    renderCaps_.triangleFan = mergeCap(device.triangleFan, maximum.triangleFan, backable.triangleFan) != 0;
    for (int stage = 0; stage < 3; ++stage) {
        renderCaps_.hasShader[stage] =
            mergeCap(device.hasShader[stage], maximum.hasShader[stage], backable.hasShader[stage]) != 0;
        renderCaps_.hasFixed[stage] =
            mergeCap(device.hasFixed[stage], maximum.hasFixed[stage], backable.hasFixed[stage]) != 0;
    }
}

int Engine::mergeCap(int device, int maximum, int backable)
{
    return std::min(maximum, std::max(device, backable));
}

void Engine::updateVertexFormats()
{
    const int T = renderDeviceCaps_.vertexElementType;
    const int position = VertexFormat::Semantic_POSITION;
    const int normal = VertexFormat::Semantic_NORMAL;
    const int color = VertexFormat::Semantic_COLOR;
    const int texCoord = VertexFormat::Semantic_TEXCOORD;
    const int xyz = VertexFormat::makeFormat(T, 3);
    const int uv = VertexFormat::makeFormat(T, 2);
    const int rgba = VertexFormat::Format_COLOR;

    struct Element
    {
        int semantic;
        int format;
    };
    // One row per format, in the order they are made.
    struct Row
    {
        VertexFormats::Format VertexFormats::*field;
        std::vector<Element> elements;
    };
    const std::vector<Row> rows = {
        {&VertexFormats::POSITION, {{position, xyz}}},
        {&VertexFormats::POSITION_NORMAL, {{position, xyz}, {normal, xyz}}},
        {&VertexFormats::POSITION_COLOR, {{position, xyz}, {color, rgba}}},
        {&VertexFormats::POSITION_TEX_COORD, {{position, xyz}, {texCoord, uv}}},
        {&VertexFormats::POSITION_NORMAL_COLOR, {{position, xyz}, {normal, xyz}, {color, rgba}}},
        {&VertexFormats::POSITION_NORMAL_TEX_COORD, {{position, xyz}, {normal, xyz}, {texCoord, uv}}},
        {&VertexFormats::POSITION_COLOR_TEX_COORD, {{position, xyz}, {color, rgba}, {texCoord, uv}}},
        {&VertexFormats::POSITION_NORMAL_COLOR_TEX_COORD,
         {{position, xyz}, {normal, xyz}, {color, rgba}, {texCoord, uv}}},
        {&VertexFormats::POSITION_SEMANTIC7_SEMANTIC6,
         {{position, xyz}, {7, VertexFormat::makeFormat(T, 4)}, {6, xyz}}},
        {&VertexFormats::COLOR, {{color, VertexFormat::makeFormat(T, 4)}}},
    };
    for (const Row& row : rows) {
        IntrusivePointer<VertexFormat> format = bufferManager_->createVertexFormat();
        for (const Element& element : row.elements) {
            format->addElement(element.semantic, 0, element.format);
        }
        vertexFormats_.*row.field = format;
    }
}

void Engine::contextActivate(RenderDevice* device)
{
    core::Log::debug("Engine::contextActivate");
    device->activate();
    for (int i = 0; i < contextListeners_.size(); ++i) {
        contextListeners_[i]->preContextActivate(device);
    }
    shaderManager_->contextActivate(device);
    bufferManager_->contextActivate(device);
    textureManager_->contextActivate(device);
    materialManager_->contextActivate(device);
    for (int i = 0; i < contextListeners_.size(); ++i) {
        contextListeners_[i]->postContextActivate(device);
    }
}

void Engine::contextDeactivate(RenderDevice* device)
{
    core::Log::debug("Engine::contextDeactivate");
    device->activate();
    for (int i = 0; i < contextListeners_.size(); ++i) {
        contextListeners_[i]->preContextDeactivate(device);
    }
    shaderManager_->contextDeactivate(device);
    bufferManager_->contextDeactivate(device);
    textureManager_->contextDeactivate(device);
    materialManager_->contextDeactivate(device);
    for (int i = 0; i < contextListeners_.size(); ++i) {
        contextListeners_[i]->postContextDeactivate(device);
    }
}

void Engine::contextReset(RenderDevice* device)
{
    core::Log::debug("Engine::contextReset");
    for (int i = 0; i < contextListeners_.size(); ++i) {
        contextListeners_[i]->preContextReset(device);
    }
    bufferManager_->preContextReset(device);
    textureManager_->preContextReset(device);
    device->reset();
    bufferManager_->postContextReset(device);
    textureManager_->postContextReset(device);
    for (int i = 0; i < contextListeners_.size(); ++i) {
        contextListeners_[i]->postContextReset(device);
    }
}

void Engine::setBuiltInCreators(IntrusivePointer<BuiltInCreators> creators)
{
    builtInCreators_ = std::move(creators);
}

NormalizationTextureCreator* Engine::getNormalizationTextureCreator() const
{
    return builtInCreators_ ? builtInCreators_->getNormalizationTextureCreator() : nullptr;
}

DiffuseMaterialCreator* Engine::getDiffuseMaterialCreator() const
{
    return builtInCreators_ ? builtInCreators_->getDiffuseMaterialCreator() : nullptr;
}

SkyBoxMaterialCreator* Engine::getSkyBoxMaterialCreator() const
{
    return builtInCreators_ ? builtInCreators_->getSkyBoxMaterialCreator() : nullptr;
}

WaterMaterialCreator* Engine::getWaterMaterialCreator() const
{
    return builtInCreators_ ? builtInCreators_->getWaterMaterialCreator() : nullptr;
}

AABoxMeshCreator* Engine::getAABoxMeshCreator() const
{
    return builtInCreators_ ? builtInCreators_->getAABoxMeshCreator() : nullptr;
}

SphereMeshCreator* Engine::getSphereMeshCreator() const
{
    return builtInCreators_ ? builtInCreators_->getSphereMeshCreator() : nullptr;
}

TorusMeshCreator* Engine::getTorusMeshCreator() const
{
    return builtInCreators_ ? builtInCreators_->getTorusMeshCreator() : nullptr;
}

GridMeshCreator* Engine::getGridMeshCreator() const
{
    return builtInCreators_ ? builtInCreators_->getGridMeshCreator() : nullptr;
}

SkyBoxMeshCreator* Engine::getSkyBoxMeshCreator() const
{
    return builtInCreators_ ? builtInCreators_->getSkyBoxMeshCreator() : nullptr;
}

SkyDomeMeshCreator* Engine::getSkyDomeMeshCreator() const
{
    return builtInCreators_ ? builtInCreators_->getSkyDomeMeshCreator() : nullptr;
}

IntrusivePointer<BuiltInCreators> Engine::creatorsFor(const char* operation, const char* creator) const
{
    if (!builtInCreators_) {
        log(Logger::WARNING, String(operation) + ": no " + creator + " before installHandlers");
    }
    return builtInCreators_;
}

core::IntrusivePointer<material::Material> Engine::createDiffuseMaterial(render::Texture* texture,
                                                                      render::RenderState* renderState)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createDiffuseMaterial", "DiffuseMaterialCreator");
    if (!creators) {
        return nullptr;
    }
    IntrusivePointer<material::Material> material = creators->createDiffuseMaterial(texture, renderState);
    materialManager_->manage(material.get(), String());
    return material;
}

core::IntrusivePointer<material::Material> Engine::createPointSpriteMaterial(render::Texture* texture, float size,
                                                                          bool attenuate)
{
    IntrusivePointer<BuiltInCreators> creators =
        creatorsFor("createPointSpriteMaterial", "DiffuseMaterialCreator");
    if (!creators) {
        return nullptr;
    }
    IntrusivePointer<material::Material> material = creators->createPointSpriteMaterial(texture, size, attenuate);
    materialManager_->manage(material.get(), String());
    return material;
}

core::IntrusivePointer<material::Material> Engine::createFontMaterial(Font* font)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createFontMaterial", "DiffuseMaterialCreator");
    if (!creators) {
        return nullptr;
    }
    IntrusivePointer<material::Material> material = creators->createFontMaterial(font);
    if (material) {
        materialManager_->manage(material.get(), String());
    }
    return material;
}

core::IntrusivePointer<material::Material> Engine::createSkyBoxMaterial(render::Texture* texture, bool clamp,
                                                                     render::RenderState* renderState)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createSkyBoxMaterial", "SkyBoxMaterialCreator");
    if (!creators) {
        return nullptr;
    }
    IntrusivePointer<material::Material> material = creators->createSkyBoxMaterial(texture, clamp, renderState);
    materialManager_->manage(material.get(), String());
    return material;
}

core::IntrusivePointer<material::Material> Engine::createWaterMaterial(render::Texture* reflectTexture,
                                                                    render::Texture* refractTexture,
                                                                    render::Texture* waveTexture,
                                                                    const core::math::Vector4& unused)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createWaterMaterial", "WaterMaterialCreator");
    if (!creators) {
        return nullptr;
    }
    IntrusivePointer<material::Material> material =
        creators->createWaterMaterial(reflectTexture, refractTexture, waveTexture, unused);
    materialManager_->manage(material.get(), String());
    return material;
}

core::IntrusivePointer<render::Texture> Engine::createNormalizationTexture(int size)
{
    IntrusivePointer<BuiltInCreators> creators =
        creatorsFor("createNormalizationTexture", "NormalizationTextureCreator");
    if (!creators) {
        return nullptr;
    }
    IntrusivePointer<render::Texture> texture = creators->createNormalizationTexture(size);
    textureManager_->manage(texture.get(), String());
    return texture;
}

IntrusivePointer<Mesh> Engine::manageMesh(IntrusivePointer<Mesh> mesh)
{
    meshManager_->manage(mesh.get(), String());
    return mesh;
}

IntrusivePointer<Mesh> Engine::createAABoxMesh(const core::math::AABox& box,
                                               IntrusivePointer<material::Material> material)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createAABoxMesh", "AABoxMeshCreator");
    return creators ? manageMesh(creators->createAABoxMesh(box, material)) : nullptr;
}

IntrusivePointer<Mesh> Engine::createSphereMesh(const core::math::Sphere& sphere,
                                                IntrusivePointer<material::Material> material)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createSphereMesh", "SphereMeshCreator");
    return creators ? manageMesh(creators->createSphereMesh(sphere, 16, 16, material)) : nullptr;
}

IntrusivePointer<Mesh> Engine::createTorusMesh(float ringRadius, float tubeRadius, int ringSteps,
                                               int tubeSteps, IntrusivePointer<material::Material> material)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createTorusMesh", "TorusMeshCreator");
    return creators
               ? manageMesh(creators->createTorusMesh(ringRadius, tubeRadius, ringSteps, tubeSteps, material))
               : nullptr;
}

IntrusivePointer<Mesh> Engine::createGridMesh(float width, float height, int nx, int ny,
                                              IntrusivePointer<material::Material> material)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createGridMesh", "GridMeshCreator");
    return creators ? manageMesh(creators->createGridMesh(width, height, nx, ny, material)) : nullptr;
}

IntrusivePointer<Mesh> Engine::createSkyBoxMesh(float size, bool crossLayout, bool flipV,
                                                IntrusivePointer<material::Material> material0,
                                                IntrusivePointer<material::Material> material1,
                                                IntrusivePointer<material::Material> material2,
                                                IntrusivePointer<material::Material> material3,
                                                IntrusivePointer<material::Material> material4,
                                                IntrusivePointer<material::Material> material5)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createSkyBoxMesh", "SkyBoxMeshCreator");
    return creators ? manageMesh(creators->createSkyBoxMesh(size, crossLayout, flipV, material0, material1,
                                                            material2, material3, material4, material5))
                    : nullptr;
}

IntrusivePointer<Mesh> Engine::createSkyDomeMesh(const core::math::Sphere& sphere, int numSegments,
                                                 int numRings, float textureScale,
                                                 IntrusivePointer<material::Material> material)
{
    IntrusivePointer<BuiltInCreators> creators = creatorsFor("createSkyDomeMesh", "SkyDomeMeshCreator");
    return creators
               ? manageMesh(creators->createSkyDomeMesh(sphere, numSegments, numRings, textureScale, material))
               : nullptr;
}

bool Engine::isBacked() const
{
    return backableRenderCaps_.hasShader[0] || backableRenderCaps_.hasFixed[0];
}

void Engine::addContextListener(ContextListener* listener)
{
    contextListeners_.add(listener);
}

void Engine::removeContextListener(ContextListener* listener)
{
    contextListeners_.remove(listener);
}

} // namespace rezezaz::scene

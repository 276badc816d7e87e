#include "scene/SimpleRenderManager.h"

#include "core/math/Math.h"
#include "render/RenderCaps.h"
#include "render/RenderDevice.h"
#include "render/RenderState.h"
#include "render/RenderTarget.h"
#include "render/ShaderState.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/Node.h"
#include "scene/Renderable.h"
#include "scene/Scene.h"
#include "scene/Transform.h"
#include "scene/material/RenderPath.h"

#include <cmath>

namespace rezezaz::scene {

using core::math::Math;
using core::math::Matrix4x4;
using core::math::Quaternion;
using core::math::Vector3;
using core::math::Vector4;
using render::RenderDevice;
using ShaderType = render::Shader::ShaderType;

static render::MaterialState materialState(const Vector4& colour)
{
    render::MaterialState state;
    state.light = true;
    state.trackColor = false;
    state.shade = 1;
    state.normalize = 1;
    state.ambient = colour;
    state.diffuse = colour;
    state.specular = colour;
    state.shininess = 1.0f;
    state.emissive = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
    state.alphaTest = 0;
    state.alphaCutoff = 0.5f;
    return state;
}

SimpleRenderManager::SimpleRenderManager(Scene* scene)
    : scene(scene), sceneParameters(new material::SceneParameters()), renderableSet(new RenderableSet(scene))
{
    sceneParameters->scene = scene;
    // Marked as the whole target, so the first render always sets the viewport.
    sceneParameters->viewport = render::Viewport{0, 0, 0, 0, true};
    sceneParameters->materialState = materialState(Vector4(1.0f, 1.0f, 1.0f, 1.0f));
    Engine* engine = scene != nullptr ? scene->getEngine() : nullptr;
    if (engine != nullptr) {
        defaultMaterial = engine->createDiffuseMaterial(nullptr, nullptr);
    }
    if (defaultMaterial) {
        material::RenderPass* pass = defaultMaterial->getPass(-1, -1);
        if (pass != nullptr && pass->getRenderState() != nullptr) {
            pass->getRenderState()->setMaterialState(materialState(Vector4(0.0f, 0.0f, 0.0f, 0.0f)));
        }
    }
}

SimpleRenderManager::~SimpleRenderManager() = default;

void SimpleRenderManager::renderScene(RenderDevice* renderDevice, Node* node, Camera* renderCamera)
{
    device = renderDevice;
    camera = renderCamera;
    render::RenderTarget* target =
        camera->getRenderTarget() != nullptr ? camera->getRenderTarget() : device->getPrimaryRenderTarget();
    device->setRenderTarget(target);

    render::Viewport viewport = camera->getViewport();
    bool haveViewport = true;
    if (viewport.fullTarget) {
        render::RenderTarget* current = device->getRenderTarget();
        if (current != nullptr) {
            viewport = render::Viewport{0, 0, current->getWidth(), current->getHeight(), false};
        } else {
            haveViewport = false;
        }
    }
    const render::Viewport& stored = sceneParameters->viewport;
    if (haveViewport && (stored.fullTarget || stored.x != viewport.x || stored.y != viewport.y ||
                         stored.width != viewport.width || stored.height != viewport.height)) {
        device->setViewport(viewport);
        sceneParameters->viewport = viewport;
        sceneParameters->viewport.fullTarget = false;
    }

    gatherRenderables(renderableSet.get(), node, camera);
    sceneParameters->camera = camera;
    renderRenderables(renderableSet.get(), device, camera, true);
    sceneParameters->camera = nullptr;

    device = nullptr;
    camera = nullptr;
    lastPass = nullptr;
    currentRenderState = nullptr;
    currentShaderState = nullptr;
}

void SimpleRenderManager::gatherRenderables(RenderableSet* set, Node* node, Camera* gatherCamera)
{
    set->setCamera(gatherCamera);
    set->startQueuing();
    if (scene != nullptr && node == scene->getRoot() && scene->getBackground() != nullptr) {
        scene->getBackground()->gatherRenderables(gatherCamera, set);
    }
    node->gatherRenderables(gatherCamera, set);
    set->endQueuing();
}

void SimpleRenderManager::applyRenderState(render::RenderState* state)
{
    device->setRenderState(state);
    state->getMaterialState(sceneParameters->materialState);
    state->getGeometryState(sceneParameters->geometryState);
    state->getFogState(sceneParameters->fogState);
}

void SimpleRenderManager::renderRenderables(RenderableSet* set, RenderDevice* renderDevice,
                                            Camera* renderCamera, bool useMaterials)
{
    if (renderCamera->getClearFlags() != 0 && !renderCamera->getSkipFirstClear()) {
        renderDevice->clear(renderCamera->getClearFlags(), renderCamera->getClearColor());
    }
    renderDevice->setMatrix(RenderDevice::MatrixType_VIEW, renderCamera->getViewMatrix());
    renderDevice->setMatrix(RenderDevice::MatrixType_PROJECTION, renderCamera->getProjectionMatrix());
    renderDevice->setMatrix(RenderDevice::MatrixType_MODEL, Math::IDENTITY_MATRIX4X4);
    sceneParameters->viewMatrix = renderCamera->getViewMatrix();
    sceneParameters->projectionMatrix = renderCamera->getProjectionMatrix();
    sceneParameters->modelMatrix = Math::IDENTITY_MATRIX4X4;

    if (useMaterials && renderCamera->getDefaultState() != nullptr) {
        applyRenderState(renderCamera->getDefaultState());
    }
    setupLights(set->getLights(), renderDevice);

    const core::Collection<int>& sortedOrder = set->getDepthSortedQueueOrder();
    int sortedDrawn = 0;
    const core::Collection<int>& order = set->getMaterialQueueOrder();
    for (int i = 0; i < order.size(); ++i) {
        const RenderableSet::RenderableQueue& queue = set->getQueue(order[i]);
        const int layer = set->getQueueLayer(order[i]);
        while (sortedDrawn < sortedOrder.size() && set->getQueueLayer(sortedOrder[sortedDrawn]) < layer) {
            renderDepthSortedRenderables(set->getQueue(sortedOrder[sortedDrawn]), useMaterials);
            ++sortedDrawn;
        }
        if (queue.size() > 0) {
            renderQueueItems(useMaterials ? queue[0].material : nullptr, &queue[0], queue.size());
        }
    }
    interRenderRenderables(set, renderDevice, renderCamera, useMaterials);
    for (; sortedDrawn < sortedOrder.size(); ++sortedDrawn) {
        renderDepthSortedRenderables(set->getQueue(sortedOrder[sortedDrawn]), useMaterials);
    }
}

void SimpleRenderManager::interRenderRenderables(RenderableSet*, RenderDevice*, Camera*, bool) {}

void SimpleRenderManager::renderDepthSortedRenderables(const RenderableSet::RenderableQueue& queue,
                                                       bool useMaterials)
{
    for (int i = 0; i < queue.size(); ++i) {
        renderQueueItems(useMaterials ? queue[i].material : nullptr, &queue[i], 1);
    }
}

void SimpleRenderManager::renderQueueItems(material::Material* itemMaterial,
                                           const RenderableSet::RenderableQueueItem* items, int count)
{
    material::RenderPath* path = itemMaterial != nullptr ? itemMaterial->getBestPath() : nullptr;
    if (path != nullptr) {
        for (int p = 0; p < path->getNumPasses(); ++p) {
            material::RenderPass* pass = path->getPass(p);
            setupPass(pass, device);
            for (int i = 0; i < count; ++i) {
                setupPassForRenderable(pass, device, items[i].renderable, items[i].ambient);
                items[i].renderable->render(this);
            }
        }
        return;
    }
    if (!defaultMaterial) {
        // Nothing usable to draw these with.
        return;
    }
    material::RenderPass* pass = defaultMaterial->getPass(-1, -1);
    setupPass(pass, device);
    for (int i = 0; i < count; ++i) {
        setupPassForRenderable(pass, device, items[i].renderable, items[i].ambient);
        items[i].renderable->render(this);
    }
}

void SimpleRenderManager::setupPass(material::RenderPass* pass, RenderDevice* renderDevice)
{
    sceneParameters->renderPass = pass;
    render::ShaderState* shaderState = pass->getShaderState();
    if (shaderState != currentShaderState || currentShaderState == nullptr) {
        currentShaderState = shaderState;
        renderDevice->setShaderState(shaderState);
    }
    render::RenderState* renderState = pass->getRenderState();
    if (renderState != currentRenderState || currentRenderState == nullptr) {
        render::RenderState* defaultState = camera != nullptr ? camera->getDefaultState() : nullptr;
        if (renderState != nullptr && currentRenderState != nullptr && defaultState != nullptr) {
            // Kinds the last state set that this one leaves alone go back to the camera's.
            const int left = currentRenderState->getSetStates() & ~renderState->getSetStates() &
                             defaultState->getSetStates();
            if (left != 0) {
                applyRenderState(defaultState);
            }
        }
        currentRenderState = renderState;
        if (renderState != nullptr) {
            applyRenderState(renderState);
        } else {
            renderDevice->setRenderState(nullptr);
        }
    }
    for (int type = 0; type < material::RenderPass::NUM_SHADER_TYPES; ++type) {
        const ShaderType shaderType = static_cast<ShaderType>(type);
        const int count = pass->getNumTextures(shaderType);
        for (int i = 0; i < count; ++i) {
            const material::RenderPass::TextureData* data = pass->getTexture(shaderType, i);
            renderDevice->setTexture(shaderType, i, data != nullptr ? data->texture.get() : nullptr);
        }
        if (shaderState == nullptr && lastPass != nullptr) {
            for (int i = count; i < lastPass->getNumTextures(shaderType); ++i) {
                renderDevice->setTexture(shaderType, i, nullptr);
            }
        }
    }
    setupVariableBuffers(pass, 1);
    lastPass = pass;
}

void SimpleRenderManager::setupVariableBuffers(material::RenderPass* pass, int scope)
{
    pass->updateVariables(scope, sceneParameters.get());
    for (int type = 0; type < material::RenderPass::NUM_SHADER_TYPES; ++type) {
        const ShaderType shaderType = static_cast<ShaderType>(type);
        for (int i = 0; i < pass->getNumBuffers(shaderType); ++i) {
            const material::RenderPass::BufferData* data = pass->getBuffer(shaderType, i);
            if (data == nullptr) {
                continue;
            }
            if ((data->scope & scope) != 0 && (data->scope & ~scope) <= scope) {
                device->setBuffer(shaderType, i, data->buffer.get());
            }
        }
    }
}

static Vector3 column(const Matrix4x4& m, int c)
{
    return Vector3(m.data[4 * c], m.data[4 * c + 1], m.data[4 * c + 2]);
}

void SimpleRenderManager::adjustModelMatrix(Matrix4x4& m, const render::GeometryState& geometry)
{
    const Vector3 translate(m.data[12], m.data[13], m.data[14]);
    float scale[3];
    Vector3 axes[3];
    for (int c = 0; c < 3; ++c) {
        axes[c] = column(m, c);
        scale[c] = Math::length(axes[c]);
        if (scale[c] != 0.0f) {
            axes[c] /= scale[c];
        }
    }
    if ((geometry.matrixFlags & render::GeometryState::MatrixFlag_FACE_CAMERA) != 0 && camera != nullptr) {
        Vector3 axis = geometry.alignmentAxis;
        if (axis == Math::ZERO_VECTOR3 && camera->getAlignment()) {
            axis = camera->getUp();
        }
        if (axis != Math::ZERO_VECTOR3) {
            const Vector3 towards = camera->getPosition() - translate;
            Vector3 side = Math::cross(axis, towards);
            // With the camera on the axis there is no side to face; keep the rotation.
            if (Math::lengthSquared(side) > 0.0f) {
                Math::normalize(side);
                core::math::Matrix3x3 r;
                // Completed right-handed, so the turn is a rotation and its z axis faces the camera.
                const Vector3 third = Math::cross(side, axis);
                const Vector3 cols[3] = {side, axis, third};
                for (int c = 0; c < 3; ++c) {
                    r.data[3 * c] = cols[c].x;
                    r.data[3 * c + 1] = cols[c].y;
                    r.data[3 * c + 2] = cols[c].z;
                }
                Quaternion q;
                Math::setQuaternionFromMatrix3x3(q, r);
                Math::normalize(q);
                Transform unit;
                unit.rotate = q;
                const Matrix4x4 turned = unit.getMatrix();
                for (int c = 0; c < 3; ++c) {
                    axes[c] = column(turned, c);
                }
            }
        } else {
            const Matrix4x4& view = camera->getViewMatrix();
            // The inverse of a rotation is its transpose.
            for (int c = 0; c < 3; ++c) {
                axes[c] = Vector3(view.data[c], view.data[4 + c], view.data[8 + c]);
            }
        }
    }
    if ((geometry.matrixFlags & render::GeometryState::MatrixFlag_CONSTANT_SIZE) != 0 && camera != nullptr) {
        Vector4 v(translate.x, translate.y, translate.z, 1.0f);
        Vector4 viewed;
        Math::mul(viewed, camera->getViewMatrix(), v);
        Vector4 projected;
        Math::mul(projected, camera->getProjectionMatrix(), viewed);
        for (float& s : scale) {
            s *= projected.w;
        }
    }
    if ((geometry.matrixFlags & render::GeometryState::MatrixFlag_ASPECT_CORRECT) != 0) {
        const render::Viewport& viewport = sceneParameters->viewport;
        // Without a width there is no aspect to correct for.
        if (viewport.width != 0) {
            scale[0] *= static_cast<float>(viewport.height) / static_cast<float>(viewport.width);
        }
    }
    for (int c = 0; c < 3; ++c) {
        m.data[4 * c] = axes[c].x * scale[c];
        m.data[4 * c + 1] = axes[c].y * scale[c];
        m.data[4 * c + 2] = axes[c].z * scale[c];
    }
}

void SimpleRenderManager::setupPassForRenderable(material::RenderPass* pass, RenderDevice* renderDevice,
                                                 Renderable* renderable, const Vector4& ambient)
{
    Transform* transform = renderable->getRenderTransform();
    Matrix4x4 m = transform != nullptr ? transform->getMatrix() : Matrix4x4();
    if (pass != nullptr && pass->getRenderState() != nullptr) {
        render::GeometryState geometry;
        if (pass->getRenderState()->getGeometryState(geometry) && geometry.matrixFlags != 0) {
            adjustModelMatrix(m, geometry);
        }
    }
    renderDevice->setMatrix(RenderDevice::MatrixType_MODEL, m);
    sceneParameters->modelMatrix = m;
    renderDevice->setAmbientColor(ambient);
    sceneParameters->ambientColor = ambient;
    if (pass != nullptr) {
        sceneParameters->renderable = renderable;
        setupVariableBuffers(pass, 2);
        sceneParameters->renderable = nullptr;
    }
}

void SimpleRenderManager::setupLights(const core::Collection<RenderableSet::LightQueueItem>& lights,
                                      RenderDevice* renderDevice)
{
    if (lights.size() > 0) {
        sceneParameters->lightState = lights[0].light->getLightState();
    }
    render::RenderCaps caps;
    renderDevice->getRenderCaps(caps);
    for (int i = 0; i < caps.maxLights; ++i) {
        if (i < lights.size()) {
            renderDevice->setLightState(i, lights[i].light->getLightState());
            renderDevice->setLightEnabled(i, lights[i].light->getEnabled());
        } else {
            renderDevice->setLightEnabled(i, false);
        }
    }
}

} // namespace rezezaz::scene

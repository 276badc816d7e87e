#include "calibration/view/CalibrationScene.h"

#include "calibration/view/CalibrationSteps.h"
#include "calibration/view/FadeAnimation.h"
#include "calibration/view/QtArchive.h"
#include "calibration/view/RotateAnimation.h"
#include "content/EngineHandlers.h"
#include "core/Log.h"
#include "core/String.h"
#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "render/RenderDevice.h"
#include "render/RenderTarget.h"
#include "scene/ArchiveManager.h"
#include "scene/Camera.h"
#include "scene/CameraComponent.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/Scene.h"

#include <exception>
#include <utility>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Log;
using rezezaz::core::String;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using rezezaz::scene::Camera;
using rezezaz::scene::CameraComponent;
using rezezaz::scene::Engine;
using rezezaz::scene::LightComponent;
using rezezaz::scene::MeshComponent;
using rezezaz::scene::Node;
using rezezaz::scene::Scene;

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;
// A placement's fades and the crank's turn take a second, the model's turn back after a drag less.
constexpr int kStepMs = 1000;
constexpr int kDragResetMs = 300;

const Vector3 kCrankAxis(0.0f, 1.0f, 0.0f);
const Vector3 kUpAxis(0.0f, 0.0f, 1.0f);

} // namespace

IntrusivePointer<Engine> CalibrationScene::createEngine(rezezaz::render::RenderDevice* renderDevice,
                                                        rezezaz::audio::AudioDevice* audioDevice)
{
    IntrusivePointer<Engine> engine(new Engine(nullptr, nullptr));
    installHandlers(*engine);
    engine->setRenderDevice(renderDevice);
    engine->setAudioDevice(audioDevice);

    IntrusivePointer<QtArchive> archive(new QtArchive());
    engine->getArchiveManager()->manage(static_cast<rezezaz::core::io::Archive*>(archive.get()), "");
    return engine;
}

CalibrationScene::CalibrationScene(Engine* engine) : engine(engine)
{
    scene = new Scene(engine, 0.001f);

    IntrusivePointer<Node> cameraNode(new Node(scene.get()));
    camera = new Camera(engine);
    camera->setAutoProjectionFov(kPi / 2.0f, true, 0.1f, 10.0f);
    // The view is drawn anew every frame: colour and depth of the last one go first.
    camera->setClearFlags(rezezaz::render::RenderDevice::ClearFlag_COLOR |
                          rezezaz::render::RenderDevice::ClearFlag_DEPTH);
    camera->setClearColor(Vector4(1.0f, 1.0f, 1.0f, 1.0f));
    IntrusivePointer<CameraComponent> cameraComponent(new CameraComponent(camera.get()));
    cameraNode->attach(cameraComponent.get());
    camera->setLookAt(Vector3(1.5f, -4.0f, 1.0f), Vector3(0.0f, 0.0f, 0.0f), kUpAxis);
    cameraComponent->setTransformFromCamera();
    scene->getRoot()->attach(cameraNode.get());

    rootNode = new Node(scene.get());
    scene->getRoot()->attach(rootNode.get());

    crankNode = createModelNode(":tmsh/crank.tmsh");
    bigChainNode = createModelNode(":tmsh/bigChain.tmsh");
    smallChainNode = createModelNode(":tmsh/smallChain.tmsh");
    backArrowNode = createModelNode(":tmsh/backArrow.tmsh");
    frontArrowNode = createModelNode(":tmsh/frontArrow.tmsh");

    IntrusivePointer<LightComponent> light(new LightComponent());
    light->setDirection(Vector3(0.0f, 1.0f, 0.0f));
    scene->getRoot()->attach(light.get());

    displayNode(bigChainNode.get(), false);
    displayNode(smallChainNode.get(), false);
    displayNode(frontArrowNode.get(), false);
    displayNode(backArrowNode.get(), false);
}

CalibrationScene::~CalibrationScene()
{
    scene->destroy();
    deleteAnimations();
    frontArrowNode = nullptr;
    backArrowNode = nullptr;
    smallChainNode = nullptr;
    bigChainNode = nullptr;
    crankNode = nullptr;
    rootNode = nullptr;
    camera = nullptr;
    scene = nullptr;
    engine = nullptr;
}

IntrusivePointer<Node> CalibrationScene::createModelNode(const char* name)
{
    IntrusivePointer<Node> node(new Node(scene.get()));
    IntrusivePointer<MeshComponent> mesh(new MeshComponent(engine.get()));
    try {
        mesh->setMesh(String(name));
    } catch (const std::exception& failure) {
        Log::error("CalibrationScene::createModelNode " + String(name) + ": " + String(failure.what()));
    }
    if (mesh->getMesh() == nullptr) {
        // The view goes on without the part; the wizard needs none of it.
        Log::warning("CalibrationScene::createModelNode no model " + String(name));
    }
    node->attach(mesh.get());
    rootNode->attach(node.get());
    return node;
}

void CalibrationScene::displayNode(Node* node, bool show)
{
    FadeAnimation::setAlpha(node, show ? 1.0f : 0.0f, false);
    node->setScope(show ? -1 : 0);
    changed();
}

bool CalibrationScene::frame(int ms)
{
    rezezaz::render::RenderDevice* renderDevice = engine->getRenderDevice();
    rezezaz::render::RenderTarget* target = renderDevice != nullptr ? renderDevice->getRenderTarget() : nullptr;
    // The target learns its window's size from the window system in its own time, later than the
    // toolkit's resize: a frame drawn at the old size leaves the rest of the window as it was.
    const int width = target != nullptr ? target->getWidth() : 0;
    const int height = target != nullptr ? target->getHeight() : 0;
    const bool newSize = target != nullptr && (width != drawnWidth || height != drawnHeight);
    if (newSize) {
        redraw = true;
    }
    // A still view draws nothing: the picture on the window is still the last one drawn.
    if (animations.isEmpty() && !redraw) {
        return false;
    }
    redraw = false;
    for (int i = 0; i < animations.size();) {
        PelotuneAnimation* animation = animations[i];
        animation->update(ms);
        if (animation->finished()) {
            animations.remove(i);
            delete animation;
        } else {
            ++i;
        }
    }
    scene->update(ms);
    if (renderDevice == nullptr) {
        return false;
    }
    renderDevice->beginScene();
    camera->render(renderDevice, scene.get(), nullptr);
    renderDevice->endScene();
    renderDevice->swap();
    drawnWidth = width;
    drawnHeight = height;
    if (newSize) {
        // The driver may take a drawable's new size only at the swap: the next frame fills it.
        redraw = true;
    }
    return true;
}

void CalibrationScene::deleteAnimations()
{
    qDeleteAll(animations);
    animations.clear();
}

void CalibrationScene::fade(Node* node, bool in)
{
    animations.append(new FadeAnimation(node, in ? 0.0f : 1.0f, in ? 1.0f : 0.0f, kStepMs));
}

void CalibrationScene::turnCrank(float from, float to)
{
    animations.append(new RotateAnimation(crankNode.get(), kCrankAxis, from, to, kStepMs));
}

void CalibrationScene::turnCrankOnce()
{
    turnCrank(0.0f, kTwoPi);
}

void CalibrationScene::setModelTurn(float angle)
{
    rootNode->setRotate(kUpAxis, angle);
    changed();
}

void CalibrationScene::turnModelBack(float from, float to)
{
    animations.append(new RotateAnimation(rootNode.get(), kUpAxis, from, to, kDragResetMs));
}

void CalibrationScene::moveTo(int parts, float crankAngle)
{
    // Only what changes moves: a part that stays shown (or hidden) is left as it is.
    const std::pair<CalibrationSteps::Part, Node*> nodes[] = {{CalibrationSteps::BigChain, bigChainNode.get()},
                                                              {CalibrationSteps::SmallChain, smallChainNode.get()},
                                                              {CalibrationSteps::BackArrow, backArrowNode.get()},
                                                              {CalibrationSteps::FrontArrow, frontArrowNode.get()}};
    for (const auto& [part, node] : nodes) {
        const bool shown = (shownParts & part) != 0;
        const bool show = (parts & part) != 0;
        if (shown != show) {
            fade(node, show);
        }
    }
    if (crankAngle != shownCrankAngle) {
        // Forward always: from level to turned by half, then on to the whole turn.
        if (shownCrankAngle == 0.0f) {
            turnCrank(0.0f, crankAngle);
        } else {
            turnCrank(shownCrankAngle, kTwoPi);
        }
    }
    shownParts = parts;
    shownCrankAngle = crankAngle;
}

void CalibrationScene::poseAtOnce(int parts, float crankAngle)
{
    displayNode(bigChainNode.get(), (parts & CalibrationSteps::BigChain) != 0);
    displayNode(smallChainNode.get(), (parts & CalibrationSteps::SmallChain) != 0);
    displayNode(backArrowNode.get(), (parts & CalibrationSteps::BackArrow) != 0);
    displayNode(frontArrowNode.get(), (parts & CalibrationSteps::FrontArrow) != 0);
    crankNode->setRotate(kCrankAxis, crankAngle);
    shownParts = parts;
    shownCrankAngle = crankAngle;
    changed();
}

void CalibrationScene::stopAtPose()
{
    deleteAnimations();
    poseAtOnce(shownParts, shownCrankAngle);
}

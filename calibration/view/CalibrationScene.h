#pragma once

#include "core/IntrusivePointer.h"

#include <QVector>

class PelotuneAnimation;

namespace rezezaz::audio {
class AudioDevice;
}
namespace rezezaz::render {
class RenderDevice;
}
namespace rezezaz::scene {
class Camera;
class Engine;
class Node;
class Scene;
} // namespace rezezaz::scene

// The slope calibration's 3D view of the crank: the engine's scene with its camera and light, the
// five model nodes (the crank, the big and the small chainring, the arrows behind and in front) and
// the pose of each placement, which parts show and the crank's angle, with the fades and turns that
// move the model from one pose to the next. The Calibrate page owns one and plays its frames; the
// view holds the engine it was given and knows nothing of the page.
class CalibrationScene
{
public:
    // An engine for the view: its handlers installed, the given devices (null where there is none)
    // and the archive of compiled-in files, through which the model's meshes are read.
    static rezezaz::core::IntrusivePointer<rezezaz::scene::Engine>
    createEngine(rezezaz::render::RenderDevice* renderDevice, rezezaz::audio::AudioDevice* audioDevice);

    // Builds the scene on `engine`: the camera, the light and the model with the crank alone shown,
    // level. A part whose mesh can't be read is logged and left empty: the wizard needs none of it.
    explicit CalibrationScene(rezezaz::scene::Engine* engine);
    // Stops what is moving and takes the scene down.
    ~CalibrationScene();

    CalibrationScene(const CalibrationScene&) = delete;
    CalibrationScene& operator=(const CalibrationScene&) = delete;

    // Fades in and out the parts that change and turns the crank, forward, to `crankAngle`. `parts`
    // is a set of CalibrationSteps::Part, as a row of the step table gives it with the angle.
    void moveTo(int parts, float crankAngle);
    // Shows `parts` and puts the crank at `crankAngle` at once.
    void poseAtOnce(int parts, float crankAngle);
    // Stops what is moving where it was going: the parts and the crank of the pose last moved to.
    void stopAtPose();
    // The crank's whole turn that shows the meter taking its calibration setting.
    void turnCrankOnce();
    // Turns the whole model about its upright axis to `angle` at once (a drag).
    void setModelTurn(float angle);
    // Turns the whole model from `from` to `to` over a short while (back to a whole turn after a drag).
    void turnModelBack(float from, float to);
    // Shows or hides a node at once: the alpha of its meshes' colours and whether it is drawn.
    void displayNode(rezezaz::scene::Node* node, bool show);

    // One frame of `ms`: the animations, the scene and, with a render device, its drawing. A frame
    // with nothing moving, nothing changed and the render target at the size last drawn draws
    // nothing. True when it drew.
    bool frame(int ms);
    // The view needs drawing on the next frame (it changed, or the window was exposed).
    void changed() { redraw = true; }

    // The parts shown and the crank's angle of the pose the model is at, or is moving to.
    int getShownParts() const { return shownParts; }
    float getShownCrankAngle() const { return shownCrankAngle; }
    const QVector<PelotuneAnimation*>& getAnimations() const { return animations; }
    rezezaz::scene::Engine* getEngine() const { return engine.get(); }
    rezezaz::scene::Scene* getScene() const { return scene.get(); }
    rezezaz::scene::Camera* getCamera() const { return camera.get(); }
    rezezaz::scene::Node* getModelRoot() const { return rootNode.get(); }
    rezezaz::scene::Node* getCrankNode() const { return crankNode.get(); }
    rezezaz::scene::Node* getBigChainNode() const { return bigChainNode.get(); }
    rezezaz::scene::Node* getSmallChainNode() const { return smallChainNode.get(); }
    rezezaz::scene::Node* getBackArrowNode() const { return backArrowNode.get(); }
    rezezaz::scene::Node* getFrontArrowNode() const { return frontArrowNode.get(); }

private:
    // A node of the model root showing the compiled-in mesh `name`.
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> createModelNode(const char* name);
    void fade(rezezaz::scene::Node* node, bool in);
    void turnCrank(float from, float to);
    void deleteAnimations();

    rezezaz::core::IntrusivePointer<rezezaz::scene::Engine> engine;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Scene> scene;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Camera> camera;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> rootNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> crankNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> bigChainNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> smallChainNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> backArrowNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> frontArrowNode;
    int shownParts = 0;
    float shownCrankAngle = 0.0f;
    bool redraw = true;
    // The size of the render target that the last drawn frame filled; the window system sizes the
    // view's window after it was made, and a frame at a new size is always drawn.
    int drawnWidth = -1;
    int drawnHeight = -1;
    QVector<PelotuneAnimation*> animations;
};

#pragma once

#include "app/MeterPage.h"
#include "core/IntrusivePointer.h"

#include <QPointer>
#include <QVector>

#include <cstdint>
#include <memory>

class PelotuneAnimation;
class QCloseEvent;
class QDialog;
class QMouseEvent;
class QTimer;
class Ui_calibrate;

namespace rezezaz::scene {
class Camera;
class Engine;
class Node;
class Scene;
} // namespace rezezaz::scene

// The slope-calibration wizard of a connected meter: the user hangs a known weight on the level crank
// arm, in a fixed sequence of placements (left or right arm, small or big chainring, no weight), and
// the wizard records the meter's torque at each, checks that the unloaded reading did not drift and
// hands the readings to the Results page. The meter is switched into its calibration setting for
// the time (the cadence register, 60 on entry, 0 on leaving). A 3D view of crank, chainrings and
// arrows shows each placement; dragging turns it. Meters of type 5 (one strain gauge side) take four
// readings, all others six. The Slope page creates it with the slope in the meter and pushes it; the
// window's page stack owns it. Back steps back through the placements, then leaves through the
// meter's confirmation.
class Calibrate : public MeterPage
{
    Q_OBJECT

public:
    Calibrate(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, float currentSlope);
    // Writes the typed length and weight back to the settings store.
    ~Calibrate() override;

    // Shows or hides a node at once: the alpha of its meshes' colours and whether it is drawn.
    void displayNode(rezezaz::scene::Node* node, bool show);

    // vant::device::SportDeviceListener
    void dataReceived(vant::device::SportDevice* device, int fields) override;
    // vant::device::VelonixPowerMeterDeviceListener
    void cadenceChanged(vant::device::VelonixPowerMeterDevice* device) override;

    // What the wizard holds, for the view and for tests.
    int getStep() const { return step; }
    float getCurrentReading() const { return currentReading; }
    // r1 to r4 at 0 to 3.
    float getReading(int index) const { return readings[index]; }
    float getFirstReference() const { return firstReference; }
    float getFinalReference() const { return finalReference; }
    int getModeRequest() const { return modeRequest; }
    float getDragAngle() const { return dragAngle; }
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

public slots:
    // The step machine: the push button.
    void continueClicked();
    void showWarning();
    void warningClicked();
    void cancel();
    void finishCalibration();
    void exitCalibration();
    // One frame of the view: the animations, the scene and its drawing.
    void update();
    void helpClicked() override;

protected:
    void pageShown() override;
    void meterLost() override;
    // Back: steps back one placement, or leaves through the meter's confirmation.
    void closeEvent(QCloseEvent* event) override;
    // Dragging sideways turns the model about its upright axis.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Builds the engine, the scene, the camera, the light and the five model nodes.
    void createScene();
    // A node of the model root showing the compiled-in mesh `name`.
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> createModelNode(const char* name);
    // The length in metres and the weight in kg as typed (unreadable text is 0).
    double typedLength() const;
    float typedWeight() const;
    // Replaces the page's box by a busy box with `text` and "Cancel".
    void openModeBox(const QString& text, bool cancelGoesBack);
    void closeDialog();
    QMessageBox* warningBox(const QString& title, const QString& text);
    void fade(rezezaz::scene::Node* node, bool in);
    void turnCrank(float from, float to);
    // The steps of continueClicked() that move the weight: each takes the reading of the step before
    // (unless `store` is false), shows `text` and, with `animate`, moves the model.
    // The chain on the largest ring and the weight to the left arm; the reading goes to readings[1].
    void bigRingLeft(const char* text, bool store, bool animate);
    // The weight to the right arm; the reading goes to `reading`.
    void weightRight(float& reading, const char* text, bool store, bool animate);
    // The poses that go with the instruction before the one shown at `step`, set at once by Back.
    void poseForBack();
    void checkDrift();
    void deleteAnimations();

    std::unique_ptr<Ui_calibrate> ui;
    QPointer<QDialog> dialog;
    QTimer* frameTimer = nullptr;

    rezezaz::core::IntrusivePointer<rezezaz::scene::Engine> engine;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Scene> scene;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Camera> camera;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> rootNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> crankNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> bigChainNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> smallChainNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> backArrowNode;
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> frontArrowNode;

    std::int32_t lastX = 0;
    std::int32_t lastY = 0;
    float dragAngle = 0.0f;
    bool replaying = false;
    bool dragging = false;
    // The mode change last asked of the meter: 0 start, 1 finish, 2 exit.
    std::int32_t modeRequest = 0;
    std::int32_t powerMeterType = 0;
    bool lowWeightWarned = false;
    std::int32_t step = 0;
    float currentReading = 0.0f;
    float currentSlope = 0.0f;
    float readings[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float firstReference = 0.0f;
    float finalReference = 0.0f;
    QVector<PelotuneAnimation*> animations;
};

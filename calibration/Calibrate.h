#pragma once

#include "app/MeterPage.h"
#include "calibration/CalibrationSteps.h"
#include "core/IntrusivePointer.h"

#include <QPointer>
#include <QVector>

#include <cstdint>
#include <deque>
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
// meter's confirmation. The placements are the rows of a CalibrationSteps table.
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
    // Whether the last frame drew the view (a frame with nothing changed draws nothing).
    bool drewLastFrame() const { return drew; }
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
    // The press of the button at `row`: stores the reading (not when replaying), shows the next
    // instruction and moves the model there (at once when replaying).
    void press(const CalibrationSteps::Step& row);
    // Where a slot's reading is kept.
    float& slot(CalibrationSteps::Slot slot);
    // A new step waits for a reading: the ones before it are no reading of its placement.
    void beginStep();
    // Whether the readings since the step began swing up and down, as a weight that still sways.
    bool readingSwings(float& lowest, float& highest) const;
    // Fades in and out the parts that change and turns the crank to `row`'s placement.
    void moveTo(int parts, float crankAngle);
    // Shows `parts` and puts the crank at `crankAngle` at once.
    void poseAtOnce(int parts, float crankAngle);
    void checkDrift();
    // The view needs drawing on the next frame.
    void viewChanged() { redraw = true; }
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
    CalibrationSteps steps;
    // The parts shown and the crank's angle of the placement the model is at, or is moving to.
    int shownParts = 0;
    float shownCrankAngle = 0.0f;
    // Readings received since the step began, the latest last (a few seconds' worth).
    std::deque<float> stepReadings;
    // A confirmation of the meter is awaited for the mode last asked.
    bool modePending = false;
    // Back was pressed while the meter was leaving its calibration setting: its confirmation is no
    // longer the end of the calibration, and the meter goes back into the setting.
    bool finishGivenUp = false;
    // The meter's confirmation of calibration mode turns the crank only at the start.
    bool quietStart = false;
    // The view has changed since it was last drawn, or was exposed.
    bool redraw = true;
    // The user was told that the view has no render device.
    bool viewReported = false;
    bool drew = false;
    float currentReading = 0.0f;
    float currentSlope = 0.0f;
    float readings[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float firstReference = 0.0f;
    float finalReference = 0.0f;
    QVector<PelotuneAnimation*> animations;
};

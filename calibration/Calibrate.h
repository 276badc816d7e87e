#pragma once

#include "app/MeterPage.h"
#include "calibration/view/CalibrationSteps.h"
#include "calibration/view/CalibrationScene.h"

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

// The slope-calibration wizard of a connected meter: the user hangs a known weight on the level crank
// arm, in a fixed sequence of placements (left or right arm, small or big chainring, no weight), and
// the wizard records the meter's torque at each, checks that the unloaded reading did not drift and
// hands the readings to the Results page. The meter is switched into its calibration setting for
// the time (the cadence register, 60 on entry, 0 on leaving). A 3D view of crank, chainrings and
// arrows (a CalibrationScene) shows each placement; dragging turns it. The meter's model tells how
// many readings it takes: four (one chainring) or six. The Slope page creates it with the slope in the meter and pushes it; the
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
    void displayNode(rezezaz::scene::Node* node, bool show) { view->displayNode(node, show); }

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
    const QVector<PelotuneAnimation*>& getAnimations() const { return view->getAnimations(); }
    rezezaz::scene::Engine* getEngine() const { return view->getEngine(); }
    rezezaz::scene::Scene* getScene() const { return view->getScene(); }
    rezezaz::scene::Camera* getCamera() const { return view->getCamera(); }
    rezezaz::scene::Node* getModelRoot() const { return view->getModelRoot(); }
    rezezaz::scene::Node* getCrankNode() const { return view->getCrankNode(); }
    rezezaz::scene::Node* getBigChainNode() const { return view->getBigChainNode(); }
    rezezaz::scene::Node* getSmallChainNode() const { return view->getSmallChainNode(); }
    rezezaz::scene::Node* getBackArrowNode() const { return view->getBackArrowNode(); }
    rezezaz::scene::Node* getFrontArrowNode() const { return view->getFrontArrowNode(); }

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
    // The length in metres and the weight in kg as typed (unreadable text is 0).
    double typedLength() const;
    float typedWeight() const;
    // Replaces the page's box by a busy box with `text` and "Cancel".
    void openModeBox(const QString& text, bool cancelGoesBack);
    void closeDialog();
    QMessageBox* warningBox(const QString& title, const QString& text);
    // The press of the button at `row`: stores the reading (not when replaying), shows the next
    // instruction and moves the model there (at once when replaying).
    void press(const CalibrationSteps::Step& row);
    // Where a slot's reading is kept.
    float& slot(CalibrationSteps::Slot slot);
    // A new step waits for a reading: the ones before it are no reading of its placement.
    void beginStep();
    // Whether the readings since the step began swing up and down, as a weight that still sways.
    bool readingSwings(float& lowest, float& highest) const;
    void checkDrift();

    std::unique_ptr<Ui_calibrate> ui;
    QPointer<QDialog> dialog;
    QTimer* frameTimer = nullptr;

    // The 3D view: the model and the pose of the placement shown.
    std::unique_ptr<CalibrationScene> view;

    std::int32_t lastX = 0;
    std::int32_t lastY = 0;
    float dragAngle = 0.0f;
    bool replaying = false;
    bool dragging = false;
    // The mode change last asked of the meter: 0 start, 1 finish, 2 exit.
    std::int32_t modeRequest = 0;
    bool lowWeightWarned = false;
    std::int32_t step = 0;
    CalibrationSteps steps;
    // Readings received since the step began, the latest last (a few seconds' worth).
    std::deque<float> stepReadings;
    // A confirmation of the meter is awaited for the mode last asked.
    bool modePending = false;
    // Back was pressed while the meter was leaving its calibration setting: its confirmation is no
    // longer the end of the calibration, and the meter goes back into the setting.
    bool finishGivenUp = false;
    // The meter's confirmation of calibration mode turns the crank only at the start.
    bool quietStart = false;
    // The user was told that the view has no render device.
    bool viewReported = false;
    bool drew = false;
    float currentReading = 0.0f;
    float currentSlope = 0.0f;
    float readings[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float firstReference = 0.0f;
    float finalReference = 0.0f;
};

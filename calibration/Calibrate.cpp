#include "calibration/Calibrate.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "calibration/Results.h"
#include "calibration/view/RezezazWidget.h"
#include "core/Log.h"
#include "core/String.h"
#include "scene/Engine.h"
#include "ui_calibrate.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;
constexpr int kFrameMs = 33;
// Sideways pixels of drag per radian of turn.
constexpr float kDragPixels = 50.0f;
// Readings beyond this (N·m) are no torque a hanging weight makes.
constexpr float kLargestReading = 500.0f;
// The unloaded readings may differ by this much (N·m) before the user is asked to retest.
constexpr float kAllowedDrift = 0.5f;
constexpr double kPoundsToKg = 0.45359237;

const char* const kWarningText =
    "<p>Slope Calibration is not a normal maintenance procedure.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
    "<p>It is only useful when changing to different chainrings.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
    "<p>It is less accurate than factory calibration.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
    "<p>The slope does not change with time or usage.</p>";

// A reading the user may take is one whose recent values do not swing by more than this (N·m) up and
// down: about 3 % of the torque of 20 kg on a 175 mm arm.
constexpr float kSteadyReading = 1.0f;
// How many of the latest readings (the meter sends about four a second) show whether it swings.
constexpr std::size_t kReadingsLooked = 6;
// A typed crank-arm length (mm) and weight (kg) outside these are no real ones.
constexpr double kShortestArm = 50.0;
constexpr double kLongestArm = 300.0;
constexpr float kHeaviestWeight = 200.0f;

using Slot = CalibrationSteps::Slot;

} // namespace

Calibrate::Calibrate(VelonixPowerMeterDevice* device, Pelotune* mainWindow, float currentSlope)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_calibrate>()),
      steps(CalibrationSteps::forReadings(device->getPowerMeterModel().calibrationReadings))
{
    ui->setupUi(this);
    ui->rezezaz->create(true, false);
    connect(ui->rezezaz, &RezezazWidget::needsFrame, this, [this] {
        if (view) {
            view->changed();
        }
    });

    frameTimer = new QTimer(this);
    frameTimer->setInterval(kFrameMs);
    connect(frameTimer, &QTimer::timeout, this, &Calibrate::update);
    frameTimer->start();

    connect(ui->button, &QPushButton::clicked, this, &Calibrate::continueClicked);
    ui->button->setObjectName("continueButton");
    this->currentSlope = currentSlope;

    QSettings settings("drivana", "pelotune");
    ui->crankArmLengthValue->setText(QString::number(settings.value("length", 0).toFloat()));
    ui->weightUsedValue->setText(QString::number(settings.value("weight", 0).toFloat()));
    if (settings.value("weightUnits", 0).toInt() == 0) {
        ui->weightUsedKg->setChecked(true);
    } else {
        ui->weightUsedLbs->setChecked(true);
    }

    view = std::make_unique<CalibrationScene>(
        CalibrationScene::createEngine(ui->rezezaz->getRenderDevice(), ui->rezezaz->getAudioDevice()).get());

    ui->button->setText("Continue");
    lowWeightWarned = false;
    setProperty(Pelotune::kLostWorkProperty, "calibration");
    QTimer::singleShot(0, this, &Calibrate::showWarning);
}

Calibrate::~Calibrate()
{
    Log::alert("Calibrate::~Calibrate");
    QSettings settings("drivana", "pelotune");
    settings.setValue("length", ui->crankArmLengthValue->text().toFloat());
    settings.setValue("weight", ui->weightUsedValue->text().toFloat());
    settings.setValue("weightUnits", ui->weightUsedKg->isChecked() ? 0 : 1);
    settings.sync();

    view.reset();
    device->removePowerMeterDeviceListener(this);
    delete frameTimer;
    frameTimer = nullptr;
    delete dialog.data();
}

// ---- The 3D view ----

void Calibrate::update()
{
    drew = view != nullptr && view->frame(kFrameMs);
}

void Calibrate::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    lastX = static_cast<std::int32_t>(event->position().x());
    lastY = static_cast<std::int32_t>(event->position().y());
    dragging = true;
}

void Calibrate::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (!dragging) {
        return;
    }
    const auto x = static_cast<std::int32_t>(event->position().x());
    dragAngle += static_cast<float>(x - lastX) / kDragPixels;
    if (dragAngle > kTwoPi) {
        dragAngle -= kTwoPi;
    } else if (dragAngle < 0.0f) {
        dragAngle += kTwoPi;
    }
    view->setModelTurn(dragAngle);
    lastX = x;
    lastY = static_cast<std::int32_t>(event->position().y());
}

void Calibrate::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    dragging = false;
}

// ---- Readings and the step machine ----

void Calibrate::pageShown()
{
    ui->instructions->setStyleSheet("QLabel { color:black; }");
}

void Calibrate::meterLost()
{
    closeDialog();
}

void Calibrate::dataReceived(SportDevice*, int)
{
    float torque = 0.0f;
    if (!device->sportData || !device->sportData->getField(&torque, vbabel::data::Field::Torque)) {
        return;
    }
    if (!(std::fabs(torque) <= kLargestReading)) {
        return;
    }
    currentReading = torque;
    stepReadings.push_back(torque);
    while (stepReadings.size() > kReadingsLooked) {
        stepReadings.pop_front();
    }
    const CalibrationSteps::Step* row = steps.at(step);
    if (row != nullptr && row->slot != Slot::None) {
        ui->button->setText(QString::asprintf("Take reading (%.4f)", static_cast<double>(torque)));
    }
}

void Calibrate::beginStep()
{
    stepReadings.clear();
    const CalibrationSteps::Step* row = steps.at(step);
    ui->button->setText(row != nullptr && row->slot != Slot::None ? "Waiting for a reading..." : "Continue");
}

bool Calibrate::readingSwings(float& lowest, float& highest) const
{
    // A weight settling moves the reading one way; one that sways takes it up and down again: some
    // reading stands clear above (or below) readings both before and after it.
    const std::vector<float> values(stepReadings.begin(), stepReadings.end());
    lowest = highest = values.empty() ? 0.0f : values.front();
    for (float value : values) {
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    for (std::size_t middle = 1; middle + 1 < values.size(); ++middle) {
        const auto beforeRange = std::minmax_element(values.begin(), values.begin() + middle);
        const auto afterRange = std::minmax_element(values.begin() + middle + 1, values.end());
        const float value = values[middle];
        const bool peak = value - *beforeRange.first > kSteadyReading && value - *afterRange.first > kSteadyReading;
        const bool trough =
            *beforeRange.second - value > kSteadyReading && *afterRange.second - value > kSteadyReading;
        if (peak || trough) {
            return true;
        }
    }
    return false;
}

double Calibrate::typedLength() const
{
    return static_cast<double>(ui->crankArmLengthValue->text().toFloat()) * 0.001;
}

float Calibrate::typedWeight() const
{
    const float typed = ui->weightUsedValue->text().toFloat();
    if (ui->weightUsedKg->isChecked()) {
        return typed;
    }
    return static_cast<float>(static_cast<double>(typed) * kPoundsToKg);
}

QMessageBox* Calibrate::warningBox(const QString& title, const QString& text)
{
    return openMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, true);
}

void Calibrate::continueClicked()
{
    if (dragAngle != 0.0f) {
        const float target = dragAngle > kPi ? kTwoPi : 0.0f;
        if (replaying) {
            view->setModelTurn(target);
        } else {
            view->turnModelBack(dragAngle, target);
        }
        dragAngle = 0.0f;
    }

    // Lengths and weights that are no numbers, or none a crank arm and a hanging weight could have,
    // would give a slope of nothing measured.
    const double length = typedLength();
    const float weight = typedWeight();
    const bool lengthValid = length * 1000.0 >= kShortestArm && length * 1000.0 <= kLongestArm;
    const bool weightValid = weight > 0.0f && weight <= kHeaviestWeight;
    if (!lengthValid || !weightValid) {
        if (!lengthValid) {
            ui->crankArmLengthValue->clear();
        }
        if (!weightValid) {
            ui->weightUsedValue->clear();
        }
        warningBox("Invalid values", "Please enter a valid length and weight and try again.");
        return;
    }
    if (weight <= 9.0f) {
        warningBox("Invalid weight",
                   "The weight is too low to properly calibrate a power meter. Velonix recommands at least 20kg.");
        return;
    }
    if (weight < 20.0f && !lowWeightWarned) {
        lowWeightWarned = true;
        warningBox("Low weight", "Velonix recommends a minimum of 20kg to calibrate your power meter. You may "
                                 "continue, but your results may be inaccurate.");
    }

    const CalibrationSteps::Step* row = steps.at(step);
    if (row == nullptr) {
        Log::error("Calibrate::continueClicked no placement at step:" + String() + step);
        return;
    }
    if (!replaying && row->slot != Slot::None) {
        // Only a reading of this placement will do: none from before the step began (a meter that
        // fell silent, a second click).
        if (stepReadings.empty()) {
            Log::alert("Calibrate::continueClicked no reading yet at step:" + String() + step);
            ui->button->setText("Waiting for a reading...");
            return;
        }
        float lowest = 0.0f;
        float highest = 0.0f;
        if (readingSwings(lowest, highest)) {
            Log::alert("Calibrate::continueClicked reading swings at step:" + String() + step);
            warningBox("Unsteady reading",
                       QString::asprintf("The reading swings between %.2f and %.2f Nm. Let the weight hang still, "
                                         "then press the button again.",
                                         static_cast<double>(lowest), static_cast<double>(highest)));
            return;
        }
    }
    press(*row);
}

float& Calibrate::slot(Slot slot)
{
    const int index = CalibrationSteps::readingIndex(slot);
    if (index >= 0) {
        return readings[index];
    }
    return slot == Slot::FirstReference ? firstReference : finalReference;
}

void Calibrate::press(const CalibrationSteps::Step& row)
{
    Log::alert("Calibrate::continueClicked step:" + String() + step + " reading:" + currentReading +
               " replaying:" + replaying);
    // A press replayed by Back only shows its instruction again: the reading it took stays.
    const bool replay = replaying;
    replaying = false;
    if (!replay && row.slot != Slot::None) {
        slot(row.slot) = currentReading;
    }
    if (row.instruction == nullptr) {
        // The final unloaded reading: a press after a retest or "Redo Step 6" takes a new one.
        beginStep();
        checkDrift();
        return;
    }
    ui->instructions->setText(row.instruction);
    if (!replay) {
        if (row.step == 0) {
            ui->crankArmLengthValue->setEnabled(false);
            ui->weightUsedValue->setEnabled(false);
            ui->weightUsedKg->setEnabled(false);
            ui->weightUsedLbs->setEnabled(false);
        }
        view->moveTo(row.parts, row.crankAngle);
    }
    step = row.next;
    beginStep();
}

void Calibrate::checkDrift()
{
    const float initial = slot(steps.initialReference());
    if (std::fabs(initial - finalReference) <= kAllowedDrift) {
        finishCalibration();
        return;
    }
    closeDialog();
    auto* box = new QMessageBox(QMessageBox::Warning, "Warning",
                                "The initial and final reference measurements differ by more than 0.5 Nm.  "
                                "Pelotune suggests retesting the measurements.",
                                QMessageBox::NoButton, this);
    QPushButton* retest = box->addButton("Retest", QMessageBox::NoRole);
    box->addButton("Redo Step 6", QMessageBox::YesRole);
    QPushButton* ignore = box->addButton("Ignore", QMessageBox::ApplyRole);
    dialog = box;
    // The box runs its own event loop, in which the page may be taken down (the meter lost).
    QPointer<Calibrate> self(this);
    box->exec();
    if (self.isNull()) {
        return;
    }
    QAbstractButton* pressed = box->clickedButton();
    if (dialog == box) {
        dialog = nullptr;
    }
    box->deleteLater();
    if (pressed == ignore) {
        finishCalibration();
    } else if (pressed == retest) {
        step = 0;
        continueClicked();
    }
    // "Redo Step 6" or the box closed: the next press takes the final unloaded reading again.
}

// ---- Mode changes ----

void Calibrate::closeDialog()
{
    if (dialog) {
        // A busy box that is closed says it was cancelled: that is no longer the user's doing.
        dialog->disconnect(this);
        dialog->close();
        dialog->deleteLater();
        dialog = nullptr;
    }
}

void Calibrate::showWarning()
{
    closeDialog();
    if (!viewReported && ui->rezezaz->getRenderDevice() == nullptr) {
        // Told once the page stands on the window, never while it is being made: the meter may go
        // while the box is up.
        viewReported = true;
        auto* box = new QMessageBox(QMessageBox::Critical, "Error", RezezazWidget::unavailableText(),
                                    QMessageBox::Ok, this);
        box->setModal(true);
        connect(box, &QMessageBox::finished, this, &Calibrate::showWarning);
        dialog = box;
        box->show();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, "Warning", kWarningText, QMessageBox::Ok, this);
    box->setModal(true);
    connect(box, &QMessageBox::buttonClicked, this, &Calibrate::warningClicked);
    dialog = box;
    box->show();
}

void Calibrate::openModeBox(const QString& text, bool cancelGoesBack)
{
    closeDialog();
    auto* box = new QProgressDialog(text, "Cancel", 0, 0, this);
    box->setModal(true);
    if (cancelGoesBack) {
        connect(box, &QProgressDialog::canceled, this, &Calibrate::cancel);
    }
    dialog = box;
    box->show();
}

void Calibrate::warningClicked()
{
    openModeBox("Starting Calibration", true);
    modeRequest = 0;
    modePending = true;
    quietStart = false;
    device->setCadence(60);
}

void Calibrate::finishCalibration()
{
    openModeBox("Finishing Calibration", false);
    modeRequest = 1;
    modePending = true;
    finishGivenUp = false;
    device->setCadence(0);
}

void Calibrate::exitCalibration()
{
    openModeBox("Exiting Calibration", false);
    modeRequest = 2;
    modePending = true;
    finishGivenUp = false;
    device->setCadence(0);
}

void Calibrate::cancel()
{
    closeDialog();
    mainWindow->backClicked();
}

void Calibrate::cadenceChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Calibrate::cadenceChanged modeRequest:" + String() + modeRequest);
    closeDialog();
    modePending = false;
    if (modeRequest == 2) {
        mainWindow->backClicked();
    } else if (modeRequest == 1) {
        if (finishGivenUp) {
            // The user went back to a placement: the meter, now out of its calibration setting, goes
            // back into it for the readings still to come.
            Log::alert("Calibrate::cadenceChanged the finish was given up, back into calibration");
            finishGivenUp = false;
            openModeBox("Starting Calibration", false);
            modeRequest = 0;
            modePending = true;
            quietStart = true;
            device->setCadence(60);
            return;
        }
        const float length = static_cast<float>(typedLength());
        const float weight = typedWeight();
        const float zero = (slot(steps.initialReference()) + finalReference) * 0.5f;
        deleteLater();
        mainWindow->addStackedWidget(new Results(device.get(), mainWindow, currentSlope, length, weight, readings[0],
                                                 readings[1], readings[2], readings[3], zero, 0.0f));
    } else if (!quietStart) {
        view->turnCrankOnce();
    }
}

// ---- Back ----

void Calibrate::closeEvent(QCloseEvent* event)
{
    if (modeRequest == 2) {
        event->accept();
        return;
    }
    event->ignore();
    // What was moving stops where it was going: the parts at their placement, the crank at its
    // angle, the model at its whole turn when it was turning back from a drag.
    view->stopAtPose();
    if (dragAngle == 0.0f) {
        view->setModelTurn(0.0f);
    }
    if (modeRequest == 1 && modePending) {
        // The meter is still leaving its calibration setting; its confirmation ends nothing now.
        finishGivenUp = true;
        openModeBox("Starting Calibration", false);
    }
    const CalibrationSteps::Step* again = steps.backTo(step);
    if (again == nullptr) {
        exitCalibration();
        return;
    }
    // The pose that goes with the instruction before the one shown; its press runs again.
    view->poseAtOnce(again->parts, again->crankAngle);
    replaying = true;
    step = again->step;
    continueClicked();
}

void Calibrate::helpClicked()
{
    mainWindow->showHelp("calibrateSlope");
}

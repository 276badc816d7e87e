#include "calibration/Calibrate.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "calibration/FadeAnimation.h"
#include "calibration/QtArchive.h"
#include "calibration/Results.h"
#include "calibration/RezezazWidget.h"
#include "calibration/RotateAnimation.h"
#include "core/Log.h"
#include "core/String.h"
#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "render/RenderDevice.h"
#include "scene/ArchiveManager.h"
#include "scene/Camera.h"
#include "scene/CameraComponent.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/PartitionNode.h"
#include "scene/Scene.h"
#include "ui_calibrate.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <cmath>
#include <exception>

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
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;
constexpr int kFrameMs = 33;
constexpr int kStepMs = 1000;
constexpr int kDragResetMs = 300;
// Sideways pixels of drag per radian of turn.
constexpr float kDragPixels = 50.0f;
// Readings beyond this (N·m) are no torque a hanging weight makes.
constexpr float kLargestReading = 500.0f;
// The unloaded readings may differ by this much (N·m) before the user is asked to retest.
constexpr float kAllowedDrift = 0.5f;
constexpr double kPoundsToKg = 0.45359237;
// The torque field of the meter's decoder, in N·m.
constexpr int kTorqueField = 20;

const Vector3 kCrankAxis(0.0f, 1.0f, 0.0f);
const Vector3 kUpAxis(0.0f, 0.0f, 1.0f);

const char* const kWarningText =
    "<p>Slope Calibration is not a normal maintenance procedure.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
    "<p>It is only useful when changing to different chainrings.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
    "<p>It is less accurate than factory calibration.</p> \t\t\t\t\t\t\t\t\t\t\t\t   "
    "<p>The slope does not change with time or usage.</p>";

// The instructions, by the press that shows them.
const char* const kSixStart =
    "To calibrate you will need to place the weight and chain & chainrings in four separate combinations, and "
    "take a reading for each one.  A first and a sixth reading will also be taken without any weight.";
const char* const kFourStart =
    "To calibrate you will need to place the weight in two separate combinations, and take a reading for each "
    "one.  A first and a fourth reading will also be taken without any weight.";
const char* const kSixUnloaded = "Place the chain on the Largest chainring.  Ensure the crank is level, and there "
                                 "is no weight on the crank.  Then press the button.";
const char* const kFourUnloaded =
    " Ensure the crank is level, and there is no weight on the crank.  Then press the button.";
const char* const kSmallLeft = "Place the chain on the Smallest chainring and the weight on the Left crank arm.  "
                               "Ensure the crank is level.  Then press the button.";
const char* const kSmallRight = "Place the chain on the Smallest chainring and the weight on the Right crank arm.  "
                                "Ensure the crank is level.  Then press the button.";
const char* const kBigLeft = "Place the chain on the Largest chainring and the weight on the Left crank arm.  "
                             "Ensure the crank is level.  Then press the button.";
const char* const kBigRight = "Place the chain on the Largest chainring and the weight on the Right crank arm.  "
                              "Ensure the crank is level.  Then press the button.";
const char* const kLeft = "Place the weight on the Left crank arm.  Ensure the crank is level.  Then press the button.";
const char* const kRight =
    "Place the weight on the Right crank arm.  Ensure the crank is level.  Then press the button.";
const char* const kRemove = "Remove the weight.  Ensure the crank is level.  Then press the button.";

} // namespace

Calibrate::Calibrate(VelonixPowerMeterDevice* device, Pelotune* mainWindow, float currentSlope)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_calibrate>())
{
    ui->setupUi(this);
    ui->rezezaz->create(true, false);

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

    createScene();

    ui->button->setText("Continue");
    powerMeterType = device->getPowerMeterType();
    lowWeightWarned = false;
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

    if (scene) {
        scene->destroy();
    }
    device->removePowerMeterDeviceListener(this);
    deleteAnimations();
    delete frameTimer;
    frameTimer = nullptr;
    frontArrowNode = nullptr;
    backArrowNode = nullptr;
    smallChainNode = nullptr;
    bigChainNode = nullptr;
    crankNode = nullptr;
    rootNode = nullptr;
    camera = nullptr;
    scene = nullptr;
    engine = nullptr;
    delete dialog.data();
}

// ---- The 3D view ----

void Calibrate::createScene()
{
    engine = new Engine(nullptr, nullptr);
    engine->installHandlers();
    engine->setRenderDevice(ui->rezezaz->getRenderDevice());
    engine->setAudioDevice(ui->rezezaz->getAudioDevice());

    IntrusivePointer<QtArchive> archive(new QtArchive());
    engine->getArchiveManager()->manage(static_cast<rezezaz::core::io::Archive*>(archive.get()), "");

    scene = new Scene(engine.get(), 0.001f);

    IntrusivePointer<Node> cameraNode(new Node(scene.get()));
    camera = new Camera(engine.get());
    camera->setAutoProjectionFov(kPi / 2.0f, true, 0.1f, 10.0f);
    // The view is drawn anew every frame: colour and depth of the last one go first.
    camera->setClearFlags(rezezaz::render::RenderDevice::ClearFlag_COLOR | rezezaz::render::RenderDevice::ClearFlag_DEPTH);
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

IntrusivePointer<Node> Calibrate::createModelNode(const char* name)
{
    IntrusivePointer<Node> node(new Node(scene.get()));
    IntrusivePointer<MeshComponent> mesh(new MeshComponent(engine.get()));
    try {
        mesh->setMesh(String(name));
    } catch (const std::exception& failure) {
        Log::error("Calibrate::createModelNode " + String(name) + ": " + String(failure.what()));
    }
    if (mesh->getMesh() == nullptr) {
        // The view goes on without the part; the wizard needs none of it.
        Log::warning("Calibrate::createModelNode no model " + String(name));
    }
    node->attach(mesh.get());
    rootNode->attach(node.get());
    return node;
}

void Calibrate::displayNode(Node* node, bool show)
{
    FadeAnimation::setAlpha(node, show ? 1.0f : 0.0f, false);
    node->setScope(show ? -1 : 0);
}

void Calibrate::update()
{
    if (!scene) {
        return;
    }
    for (int i = 0; i < animations.size();) {
        PelotuneAnimation* animation = animations[i];
        animation->update(kFrameMs);
        if (animation->finished()) {
            animations.remove(i);
            delete animation;
        } else {
            ++i;
        }
    }
    scene->update(kFrameMs);
    if (rezezaz::render::RenderDevice* renderDevice = engine->getRenderDevice()) {
        renderDevice->beginScene();
        camera->render(renderDevice, scene.get(), nullptr);
        renderDevice->endScene();
        renderDevice->swap();
    }
}

void Calibrate::deleteAnimations()
{
    qDeleteAll(animations);
    animations.clear();
}

void Calibrate::fade(Node* node, bool in)
{
    animations.append(new FadeAnimation(node, in ? 0.0f : 1.0f, in ? 1.0f : 0.0f, kStepMs));
}

void Calibrate::turnCrank(float from, float to)
{
    animations.append(new RotateAnimation(crankNode.get(), kCrankAxis, from, to, kStepMs));
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
    rootNode->setRotate(kUpAxis, dragAngle);
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
    if (!device->sportData || !device->sportData->getField(&torque, kTorqueField)) {
        return;
    }
    if (!(std::fabs(torque) <= kLargestReading)) {
        return;
    }
    currentReading = torque;
    if (step >= 2) {
        ui->button->setText(QString::asprintf("Take reading (%.4f)", static_cast<double>(torque)));
    }
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
            rootNode->setRotate(kUpAxis, target);
        } else {
            animations.append(new RotateAnimation(rootNode.get(), kUpAxis, dragAngle, target, kDragResetMs));
        }
        dragAngle = 0.0f;
    }

    const double length = typedLength();
    const float weight = typedWeight();
    if (!(length > 0.0) || !(weight > 0.0f)) {
        if (!(length > 0.0)) {
            ui->crankArmLengthValue->clear();
        }
        if (!(weight > 0.0f)) {
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

    const bool four = powerMeterType == 5;
    // A press replayed by Back only shows its instruction again: the reading it took stays.
    const bool store = !replaying;
    const bool animate = !replaying;
    Log::alert("Calibrate::continueClicked step:" + String() + step + " reading:" + currentReading +
               " replaying:" + replaying);
    switch (step) {
    case 0:
        ui->instructions->setText(four ? kFourStart : kSixStart);
        if (animate) {
            ui->crankArmLengthValue->setEnabled(false);
            ui->weightUsedValue->setEnabled(false);
            ui->weightUsedKg->setEnabled(false);
            ui->weightUsedLbs->setEnabled(false);
        }
        break;
    case 1:
        ui->instructions->setText(four ? kFourUnloaded : kSixUnloaded);
        if (animate) {
            fade(bigChainNode.get(), true);
        }
        break;
    case 2:
        if (four) {
            bigRingLeft(kLeft, store, animate);
            step = 4;
        } else {
            if (store) {
                firstReference = currentReading;
            }
            ui->instructions->setText(kSmallLeft);
            if (animate) {
                fade(bigChainNode.get(), false);
                fade(smallChainNode.get(), true);
                fade(backArrowNode.get(), true);
                turnCrank(0.0f, kPi);
            }
        }
        break;
    case 3:
        weightRight(readings[0], kSmallRight, store, animate);
        break;
    case 4:
        bigRingLeft(four ? kLeft : kBigLeft, store, animate);
        break;
    case 5:
        weightRight(readings[2], four ? kRight : kBigRight, store, animate);
        break;
    case 6:
        if (store) {
            readings[3] = currentReading;
        }
        ui->instructions->setText(kRemove);
        if (animate) {
            fade(frontArrowNode.get(), false);
        }
        break;
    default:
        finalReference = currentReading;
        replaying = false;
        checkDrift();
        return;
    }
    replaying = false;
    ++step;
}

void Calibrate::bigRingLeft(const char* text, bool store, bool animate)
{
    if (store) {
        readings[1] = currentReading;
    }
    ui->instructions->setText(text);
    if (animate) {
        fade(bigChainNode.get(), true);
        fade(smallChainNode.get(), false);
        fade(backArrowNode.get(), true);
        fade(frontArrowNode.get(), false);
        turnCrank(0.0f, kPi);
    }
}

void Calibrate::weightRight(float& reading, const char* text, bool store, bool animate)
{
    if (store) {
        reading = currentReading;
    }
    ui->instructions->setText(text);
    if (animate) {
        fade(backArrowNode.get(), false);
        fade(frontArrowNode.get(), true);
        turnCrank(kPi, kTwoPi);
    }
}

void Calibrate::checkDrift()
{
    const float initial = powerMeterType == 5 ? readings[1] : firstReference;
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
    device->setCadence(60);
}

void Calibrate::finishCalibration()
{
    openModeBox("Finishing Calibration", false);
    modeRequest = 1;
    device->setCadence(0);
}

void Calibrate::exitCalibration()
{
    openModeBox("Exiting Calibration", false);
    modeRequest = 2;
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
    if (modeRequest == 2) {
        mainWindow->backClicked();
    } else if (modeRequest == 1) {
        const float length = static_cast<float>(typedLength());
        const float weight = typedWeight();
        const float initial = powerMeterType == 5 ? readings[1] : firstReference;
        const float zero = (initial + finalReference) * 0.5f;
        deleteLater();
        mainWindow->addStackedWidget(new Results(device.get(), mainWindow, currentSlope, length, weight, readings[0],
                                                 readings[1], readings[2], readings[3], zero, 0.0f));
    } else {
        animations.append(new RotateAnimation(crankNode.get(), kCrankAxis, 0.0f, kTwoPi, kStepMs));
    }
}

// ---- Back ----

void Calibrate::poseForBack()
{
    bool big = false;
    bool small = false;
    bool backArrow = false;
    bool frontArrow = false;
    float angle = 0.0f;
    if (step == 2) {
        ui->button->setText("Continue");
    } else if (step == 3 || (step == 5 && powerMeterType == 5)) {
        step = 3;
        big = true;
    } else if (step == 4) {
        small = backArrow = true;
        angle = kPi;
    } else if (step == 5) {
        small = frontArrow = true;
    } else if (step == 6) {
        big = backArrow = true;
        angle = kPi;
    } else {
        big = frontArrow = true;
    }
    displayNode(bigChainNode.get(), big);
    displayNode(smallChainNode.get(), small);
    displayNode(backArrowNode.get(), backArrow);
    displayNode(frontArrowNode.get(), frontArrow);
    crankNode->setRotate(kCrankAxis, angle);
}

void Calibrate::closeEvent(QCloseEvent* event)
{
    if (modeRequest == 2) {
        event->accept();
        return;
    }
    event->ignore();
    deleteAnimations();
    if (step < 2) {
        exitCalibration();
        return;
    }
    poseForBack();
    replaying = true;
    step -= 2;
    continueClicked();
}

void Calibrate::helpClicked()
{
    mainWindow->showHelp("calibrateSlope");
}

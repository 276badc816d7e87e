#include "app/Slope.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Adjust.h"
#include "app/Pelotune.h"
#include "app/Tables.h"
#include "app/UnfinishedRingChange.h"
#include "calibration/Calibrate.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_slope.h"

#include <QInputDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>

#include <cmath>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::VelonixPowerMeterDevice;

namespace {

constexpr float kMinimumSlope = 3.0f;
constexpr float kMaximumSlope = 25.0f;

QString slopeText(float slope)
{
    return QString::asprintf("%.2f", static_cast<double>(slope));
}

// A slope as the user typed it: digits with at most one decimal point, "." or the locale's own, and
// an optional sign. Anything else is no slope, rather than the part of it a number field would keep.
bool typedSlope(const QString& typed, double& slope)
{
    QString text = typed.trimmed();
    const QString separator = QLocale().decimalPoint();
    if (separator != ".") {
        text.replace(separator, ".");
    }
    static const QRegularExpression plain("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$");
    if (!plain.match(text).hasMatch()) {
        return false;
    }
    bool number = false;
    slope = text.toDouble(&number);
    return number && std::isfinite(slope);
}

} // namespace

float Slope::startSetSlope = 0.0f;

bool Slope::clampSlope(VelonixPowerMeterDevice*, float& slope)
{
    if (slope < kMinimumSlope) {
        slope = kMinimumSlope;
        return true;
    }
    if (slope > kMaximumSlope) {
        slope = kMaximumSlope;
        return true;
    }
    return false;
}

bool Slope::inRange(float slope)
{
    return slope >= kMinimumSlope && slope <= kMaximumSlope;
}

bool Slope::withinMargin(float slope)
{
    return slope >= kMinimumSlope * 0.9f && slope <= kMaximumSlope * 1.1f;
}

Slope::Slope(VelonixPowerMeterDevice* device, Pelotune* mainWindow)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_slope>())
{
    ui->setupUi(this);
    connect(ui->adjustSlopeButton, &QPushButton::clicked, this, &Slope::adjustSlope);
    connect(ui->enterSlopeButton, &QPushButton::clicked, this, &Slope::enterSlope);
    connect(ui->calibrateSlopeButton, &QPushButton::clicked, this, &Slope::calibrateSlope);
    connect(ui->calibrationTablesButton, &QPushButton::clicked, this, &Slope::calibrationTables);
    connect(ui->resetSlopeButton, &QPushButton::clicked, this, &Slope::resetSlope);
}

Slope::~Slope() = default;

void Slope::pageShown()
{
    float handedOver = startSetSlope;
    startSetSlope = 0.0f;
    if (handedOver > 0.0f && std::isfinite(handedOver)) {
        // The register holds slope x 65536 in three bytes: a slope far out of range would wrap into
        // a corrupt calibration.
        if (clampSlope(device.get(), handedOver)) {
            Log::warning("Slope::showEvent slope handed over out of range, limited to:" + String() +
                         handedOver);
        }
        setSlope(handedOver, false);
    } else {
        if (handedOver > 0.0f) {
            Log::warning("Slope::showEvent slope handed over is not a number, ignored");
        }
        querySlope(true);
    }
}

void Slope::meterLost()
{
    MeterPage::meterLost();
    if (slopeWritePending) {
        Log::error("Slope::meterLost the power meter was lost before its new slope was confirmed");
    }
}

void Slope::helpClicked()
{
    mainWindow->showHelp("slope");
}

void Slope::setSlope(float slope, bool factory)
{
    Log::alert("Slope::setSlope slope" + String() + slope + " factory:" + factory);
    showProgress(factory ? "Setting Factory Slope..." : "Setting Slope...");
    slopeWritePending = !factory;
    device->setSlope(slope, factory);
}

void Slope::querySlope(bool factory)
{
    Log::alert("Slope::querySlope factory:" + String() + factory);
    showProgress(factory ? "Reading Factory Slope..." : "Reading Slope...");
    readUnderWay = factory ? Read::Factory : Read::User;
    device->doQuerySlope(factory);
}

void Slope::slopeReceived(VelonixPowerMeterDevice*, float slope, bool factory)
{
    Log::alert("Slope::slopeReceived slope" + String() + slope + " factory:" + factory);
    readUnderWay = Read::None;
    closeProgress();
    if (factory) {
        factorySlope = slope;
        factorySlopeRead = true;
        ui->factorySlopeValue->setText(slopeText(slope));
        querySlope(false);
    } else {
        currentSlope = slope;
        currentSlopeRead = true;
        ui->currentSlopeValue->setText(slopeText(slope));
    }
}

void Slope::slopeChanged(VelonixPowerMeterDevice*, bool factory)
{
    Log::alert("Slope::slopeChanged factory:" + String() + factory);
    if (!factory) {
        slopeWritePending = false;
        UnfinishedRingChange(mainWindow->dataFolder())
            .forget(UnfinishedRingChange::serialNumber(device.get()));
    }
    closeProgress();
    querySlope(false);
}

// ---- The pages that work out a new slope ----

bool Slope::slopesRead(const char* action)
{
    if (currentSlopeRead && factorySlopeRead) {
        return true;
    }
    // A slope that was never read is no value of the meter's: a page working from it would write a
    // slope made from 0. The slopes are read instead; the user can go on once they are shown.
    Log::warning("Slope::" + String(action) + " slopes not read yet, reading them first");
    if (readUnderWay == Read::None) {
        querySlope(true);
    } else {
        // Its box was cancelled: the read goes on, its box comes back until the answer.
        showProgress(readUnderWay == Read::Factory ? "Reading Factory Slope..." : "Reading Slope...");
    }
    return false;
}

void Slope::adjustSlope()
{
    if (!slopesRead("adjustSlope")) {
        return;
    }
    mainWindow->addStackedWidget(new Adjust(device.get(), mainWindow, currentSlope));
}

void Slope::calibrateSlope()
{
    if (!slopesRead("calibrateSlope")) {
        return;
    }
    QPointer<Slope> self(this);
    auto* wizard = new Calibrate(device.get(), mainWindow, currentSlope);
    if (self.isNull() || !isVisible()) {
        // The meter went (and the window home) while the wizard was being made: nothing to calibrate.
        Log::warning("Slope::calibrateSlope the meter is gone, no calibration");
        delete wizard;
        return;
    }
    mainWindow->addStackedWidget(wizard);
}

void Slope::calibrationTables()
{
    if (!slopesRead("calibrationTables")) {
        return;
    }
    mainWindow->addStackedWidget(new Tables(device.get(), mainWindow, currentSlope, factorySlope));
}

// ---- Typing a slope in, resetting it ----

void Slope::enterSlope()
{
    // The dialog runs its own event loop, in which the page may be taken down: it belongs to the
    // window, so that it stays up for the user to answer, as the page's other boxes do.
    QPointer<Slope> self(this);
    QPointer<QInputDialog> dialog = new QInputDialog(mainWindow);
    dialog->setWindowTitle("Enter Slope");
    dialog->setLabelText("Valid slopes are between 3 and 25.");
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->setTextValue(QLocale().toString(static_cast<double>(currentSlope), 'g', 7));
    const bool confirmed = dialog->exec() == QDialog::Accepted;
    if (dialog.isNull()) {
        return;
    }
    const QString typed = dialog->textValue();
    delete dialog.data();
    if (self.isNull() || !confirmed) {
        return;
    }
    double entered = 0.0;
    if (!typedSlope(typed, entered)) {
        Log::warning("Slope::enterSlope not a slope:" + String(typed));
        openMessageBox(QMessageBox::Warning, "Invalid Slope",
                       "\"" + typed + "\" is not a slope. Valid slopes are between 3 and 25.",
                       QMessageBox::Ok, true, true);
        return;
    }
    auto slope = static_cast<float>(entered);
    clampSlope(device.get(), slope);
    setSlope(slope, false);
}

void Slope::resetSlope()
{
    const bool factoryInvalid = factorySlope < 1.0f;
    // A slope that was never read is no value of the meter's: writing it would replace a calibration
    // with 0. The slopes are read instead, and the user can reset them once they are shown.
    if (!factorySlopeRead || (factoryInvalid && !currentSlopeRead)) {
        Log::warning("Slope::resetSlope slopes not read yet, reading them first");
        querySlope(true);
        return;
    }
    const QString text = factoryInvalid
                             ? QString::asprintf("Factory slope is invalid at %f, reset factory slope?",
                                                 static_cast<double>(factorySlope))
                             : QString("Reset slope with factory slope?");
    // On the window, which outlives the page while the box runs its own event loop.
    QMessageBox box(QMessageBox::Question, "Reset Slope", text, QMessageBox::Ok | QMessageBox::Cancel, mainWindow);
    QPointer<Slope> self(this);
    const int answer = box.exec();
    if (self.isNull() || answer != QMessageBox::Ok) {
        return;
    }
    // Whatever a read brought, only a slope the meter can work with is written back.
    float slope = factoryInvalid ? currentSlope : factorySlope;
    if (clampSlope(device.get(), slope)) {
        Log::warning("Slope::resetSlope slope out of range, limited to:" + String() + slope);
    }
    setSlope(slope, factoryInvalid);
}

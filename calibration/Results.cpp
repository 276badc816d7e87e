#include "calibration/Results.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Implementer.h"
#include "app/Pelotune.h"
#include "app/Slope.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_results.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

#include <cmath>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::VelonixPowerMeterDevice;

namespace {

constexpr float kStandardGravity = 9.80665f;
// Below this mean torque (N·m) a reading is taken as no load at all.
constexpr double kLeastTorque = 0.0001;
// A slope this far (as a fraction of the limit) outside the limits of a user slope is no measurement
// of this meter: the weight, the arm or the readings were wrong. Closer, it is offered clamped.
constexpr float kClampMargin = 0.1f;
constexpr float kLowestSlope = 3.0f;
constexpr float kHighestSlope = 25.0f;

QString twoDecimals(float value)
{
    return QString::asprintf("%.2f", static_cast<double>(value));
}

const char* directionName(bool forward)
{
    return forward ? "forward" : "reverse";
}

} // namespace

Results::Results(VelonixPowerMeterDevice* device, Pelotune* mainWindow, float oldSlope, float length, float weight,
                 float r1, float r2, float r3, float r4, float zero, float gravity)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_results>()), oldSlope(oldSlope), length(length),
      weight(weight), readings{r1, r2, r3, r4}, zero(zero), gravity(gravity),
      steps(CalibrationSteps::forReadings(device->getPowerMeterModel().calibrationReadings))
{
    ui->setupUi(this);
    calculate();
    connect(ui->acceptButton, &QPushButton::clicked, this, &Results::acceptClicked);
    connect(ui->declineButton, &QPushButton::clicked, this, &Results::declineClicked);
}

Results::~Results() = default;

void Results::calculate()
{
    const float g = gravity > 0.0f ? gravity : kStandardGravity;
    // The torque the weight puts on the level arm, times the slope the meter used for its readings.
    const float expected = length * weight * g * oldSlope;
    // The loaded readings less the zero, summed in the table's order (left arm first, big ring
    // first): over all of them, and over those of each chainring. The sums start at -0, which
    // added to any value leaves it as it is (a reading of -0 stays one).
    float sum = -0.0f;
    float smallSum = -0.0f;
    float bigSum = -0.0f;
    int smallCount = 0;
    int bigCount = 0;
    const std::vector<CalibrationSteps::Loaded> loaded = steps.loadedReadings();
    for (const CalibrationSteps::Loaded& taken : loaded) {
        const float load = reading(taken.slot) - zero;
        sum += load;
        if ((taken.parts & CalibrationSteps::SmallChain) != 0) {
            smallSum += load;
            ++smallCount;
        } else {
            bigSum += load;
            ++bigCount;
        }
    }
    const float mean = loaded.empty() ? 0.0f : sum / static_cast<float>(loaded.size());
    if (static_cast<double>(mean) > kLeastTorque) {
        newSlope = expected / mean;
    }
    const float small = smallCount > 0 ? smallSum / static_cast<float>(smallCount) : 0.0f;
    const float big = bigCount > 0 ? bigSum / static_cast<float>(bigCount) : 0.0f;
    const float smallSlope = static_cast<double>(small) > kLeastTorque ? expected / small : 0.0f;
    const float bigSlope = static_cast<double>(big) > kLeastTorque ? expected / big : 0.0f;
    float difference = 0.0f;
    if (std::fabs(static_cast<double>(smallSlope + bigSlope)) > kLeastTorque) {
        difference = (bigSlope - smallSlope) * 200.0f / (smallSlope + bigSlope);
    }
    Log::alert("Results::calculate newSlope:" + String() + newSlope + " small:" + smallSlope + " big:" + bigSlope);

    ui->oldSlopeValue->setText(twoDecimals(oldSlope));
    ui->balanceValue->setText(std::isfinite(difference) ? twoDecimals(difference) : QString("--"));
    if (smallCount == 0 || bigCount == 0) {
        // One chainring only: there is no second slope to compare.
        ui->balanceValue->setText("N/A");
    }

    // A calibration that measured nothing offers no slope: clamping it into the limits would write
    // a slope the meter never showed.
    if (!std::isfinite(newSlope) || !std::isfinite(mean) || !std::isfinite(expected)) {
        fail("the readings, the crank length or the weight are not numbers a slope can be worked out "
             "from.");
        return;
    }
    if (!(newSlope > 0.0f)) {
        fail(QString::asprintf("the weight added no torque (%.2f Nm on average over the unloaded reading). Check "
                               "that the weight hangs from the level crank arm, then calibrate again.",
                               static_cast<double>(mean)));
        return;
    }
    if (newSlope < kLowestSlope * (1.0f - kClampMargin) || newSlope > kHighestSlope * (1.0f + kClampMargin)) {
        fail("the slope measured, " + QString::number(static_cast<double>(newSlope), 'g', 3) +
             ", is far outside the limits of 3 to 25. Check the crank length, the weight and where it hangs, then "
             "calibrate again.");
        return;
    }
    const bool clamped = Slope::clampSlope(device.get(), newSlope);
    ui->slopeText->setText(clamped ? "Slope (clamped to limit!)" : "New Slope");
    ui->slopeValue->setText(twoDecimals(newSlope));
}

float Results::reading(CalibrationSteps::Slot slot) const
{
    const int index = CalibrationSteps::readingIndex(slot);
    return index >= 0 ? readings[index] : 0.0f;
}

void Results::fail(const QString& reason)
{
    Log::warning("Results::calculate calibration failed: " + String(reason.toUtf8().constData()));
    failed = true;
    ui->slopeText->setText("Calibration failed");
    ui->slopeValue->setText("--");
    ui->failureText->setText("The calibration failed: " + reason);
    ui->failureText->setVisible(true);
    ui->acceptButton->setVisible(false);
    ui->acceptButton->setEnabled(false);
}

void Results::helpClicked()
{
    mainWindow->showHelp("calibrateSlope");
}

void Results::declineClicked()
{
    mainWindow->backClicked();
}

void Results::acceptClicked()
{
    if (failed) {
        return;
    }
    QMessageBox question(QMessageBox::Question, "Send Data",
                         "Send calibration data to Velonix?\nIt will be automatically archived, no response "
                         "will be returned.",
                         QMessageBox::Yes | QMessageBox::No, mainWindow);
    // The box runs its own event loop, in which the page may be taken down (the meter lost): it
    // belongs to the window, which outlives the page, and is centred on it.
    QPointer<Results> self(this);
    const int answer = question.exec();
    if (self.isNull()) {
        return;
    }
    if (answer == QMessageBox::Yes) {
        queryDirection();
        return;
    }
    Slope::startSetSlope = newSlope;
    mainWindow->backClicked();
}

void Results::queryDirection()
{
    showProgress("Reading Direction..");
    if (device->getDirectionCapability() == 1) {
        device->doQueryDirection();
    } else {
        device->doQueryTorqueDirection();
    }
}

void Results::directionReceived(VelonixPowerMeterDevice*, bool forward)
{
    directionForward = forward;
    if (device->getDirectionCapability() == 2) {
        device->doQueryCadenceDirection();
        return;
    }
    closeProgress();
    queryMode();
}

void Results::torqueDirectionReceived(VelonixPowerMeterDevice* device, bool forward)
{
    directionReceived(device, forward);
}

void Results::cadenceDirectionReceived(VelonixPowerMeterDevice*, bool forward)
{
    cadenceDirectionForward = forward;
    closeProgress();
    queryMode();
}

void Results::queryMode()
{
    showProgress("Reading Mode...");
    device->doQueryMode();
}

void Results::modeReceived(VelonixPowerMeterDevice*, int value)
{
    closeProgress();
    mode = value;
    sendData();
}

void Results::sendData()
{
    QString body = QString::asprintf(
        "Power Meter ID:%d\n Old Slope:%f\n Local Gravity:%f\n Length:%f\n Weight:%f\n Torque Left Small:%f\n "
        "Torque Right Small:%f\n Torque Left Big:%f\n Torque Right Big:%f\n Torque No Weight:%f\n New Slope:%f\n",
        device->getDeviceNumber(), static_cast<double>(oldSlope), static_cast<double>(gravity),
        static_cast<double>(length), static_cast<double>(weight), static_cast<double>(readings[0]),
        static_cast<double>(readings[1]), static_cast<double>(readings[2]), static_cast<double>(readings[3]),
        static_cast<double>(zero), static_cast<double>(newSlope));
    const int capability = device->getDirectionCapability();
    if (capability == 2) {
        body += QString("Torque Direction:") + directionName(directionForward) + "\n";
        body += QString("Cadence Direction:") + directionName(cadenceDirectionForward) + "\n";
    } else if (capability == 1) {
        body += QString("Direction:") + directionName(directionForward) + "\n";
    }
    body += QString("GAM:") + (mode == 1 ? "enabled" : "disabled") + "\n";
    const int version = mainWindow->radioManagerVersion();
    body += QString::asprintf("Pelotune Version:%s\nANT Service Library Version:%s\n", "1.9",
                              QString::asprintf("%d.%d.%d", (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                                                version & 0xFF)
                                  .toUtf8()
                                  .constData());

    const QString link = QString("mailto:") + VELONIX_EMAIL + "?subject=Pelotune:calibration&body=" + body;
    if (!QDesktopServices::openUrl(QUrl(link))) {
        Log::warning("Results::sendData no mail client took the report");
        // The page goes back below; the box, which carries the whole report, belongs to the window so
        // that it stays until the user has copied it.
        auto* box = new QMessageBox(QMessageBox::Warning, "No email client found",
                                    QString("<Please copy the following message into an email to: ") +
                                        VELONIX_EMAIL + "\nWith the subject: Pelotune:calibration\nThank you!\n\n" +
                                        body,
                                    QMessageBox::Ok, mainWindow);
        box->setTextFormat(Qt::PlainText);
        box->setModal(false);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    }
    Slope::startSetSlope = newSlope;
    mainWindow->backClicked();
}

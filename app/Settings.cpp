#include "app/Settings.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_settings.h"

#include <QTimer>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::VelonixPowerMeterDevice;
using vbabel::data::Field;

namespace {

constexpr int kReadInterval = 1000;
constexpr int kPowerControlOn = 48;

const char* enabledText(bool on)
{
    return on ? "Enabled" : "Disabled";
}

const char* forwardText(bool forward)
{
    return forward ? "Forward" : "Reverse";
}

} // namespace

Settings::Settings(VelonixPowerMeterDevice* device, Pelotune* mainWindow)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_settings>())
{
    ui->setupUi(this);

    using Slot = void (Settings::*)();
    const Slot targets[TimerCount] = {&Settings::resetDefaults,
                                      &Settings::queryAutozero,
                                      &Settings::queryDirection,
                                      &Settings::queryCadenceDirection,
                                      &Settings::queryTorqueDirection,
                                      &Settings::queryPedalBalance,
                                      &Settings::queryMode};
    for (int i = 0; i < TimerCount; ++i) {
        timers[i] = new QTimer(this);
        timers[i]->setSingleShot(true);
        timers[i]->setInterval(kReadInterval);
        connect(timers[i], &QTimer::timeout, this, targets[i]);
    }

    connect(ui->autozeroButton, &QPushButton::clicked, this, &Settings::toggleAutozero);
    connect(ui->torqueDirButton, &QPushButton::clicked, this, &Settings::toggleTorqueDir);
    connect(ui->cadenceDirButton, &QPushButton::clicked, this, &Settings::toggleCadenceDir);
    connect(ui->pedalBalButton, &QPushButton::clicked, this, &Settings::togglePedalBalance);
    connect(ui->gamButton, &QPushButton::clicked, this, &Settings::toggleGAM);
    connect(ui->resetButton, &QPushButton::clicked, this, &Settings::resetDefaults);

    ui->gamButton->setEnabled(false);
    directionCapability = device->getDirectionCapability();
    if (directionCapability == 1) {
        ui->cadenceDirButton->setEnabled(false);
    }
    meterModel = device->getPowerMeterModel();
    if (!meterModel.powerBalance) {
        ui->pedalBalButton->setEnabled(false);
    }
}

Settings::~Settings() = default;

void Settings::pageShown()
{
    timers[AutozeroTimer]->start();
}

void Settings::pageHidden()
{
    for (QTimer* timer : timers) {
        timer->stop();
    }
}

void Settings::helpClicked()
{
    mainWindow->showHelp("settings");
}

// ---- Reads ----

void Settings::queryAutozero()
{
    showProgress("Reading Autozero...");
    device->doQueryAutozero();
}

void Settings::queryDirection()
{
    Log::alert("Settings::queryDirection got capability:" + String() + directionCapability);
    if (directionCapability == 2) {
        queryTorqueDirection();
    } else if (directionCapability == 1) {
        showProgress("Reading Direction...");
        device->doQueryDirection();
    }
}

void Settings::queryTorqueDirection()
{
    showProgress("Reading Torque Direction...");
    device->doQueryTorqueDirection();
}

void Settings::queryCadenceDirection()
{
    showProgress("Reading Cadence Direction...");
    device->doQueryCadenceDirection();
}

void Settings::queryPedalBalance()
{
    showProgress("Reading Power Balance...");
    device->doQueryPedalBalance();
}

void Settings::queryMode()
{
    showProgress("Reading SRM PowerControl...");
    device->doQueryMode();
}

// ---- Toggles ----

bool Settings::autozeroFlagsKnown()
{
    if (autozeroRead) {
        return true;
    }
    // Both flags are written together: toggling one from a guess would lose the other. They are
    // read now instead of a second after the show, and the user toggles once they are shown.
    Log::warning("Settings::toggle autozero flags not read yet, reading them first");
    timers[AutozeroTimer]->stop();
    queryAutozero();
    return false;
}

bool Settings::settingKnown(bool read, const char* what, Timer timer, void (Settings::*query)())
{
    if (read) {
        return true;
    }
    Log::warning("Settings::toggle " + String(what) + " not read yet, reading it first");
    timers[timer]->stop();
    (this->*query)();
    return false;
}

void Settings::toggleAutozero()
{
    if (!autozeroFlagsKnown()) {
        return;
    }
    showProgress("Toggling Autozero...");
    autozeroFlags ^= 1;
    device->setAutozero(autozeroFlags);
}

void Settings::toggleCoastzero()
{
    if (!autozeroFlagsKnown()) {
        return;
    }
    showProgress("Toggling Coasting Zero...");
    autozeroFlags ^= 2;
    device->setAutozero(autozeroFlags);
}

void Settings::toggleTorqueDir()
{
    if (!settingKnown(directionRead, "direction", DirectionTimer, &Settings::queryDirection)) {
        return;
    }
    if (directionCapability == 1) {
        showProgress("Toggling Direction...");
        device->setDirection(!direction);
    } else {
        showProgress("Toggling Torque Direction...");
        device->setTorqueDirection(!direction);
    }
}

void Settings::toggleCadenceDir()
{
    if (!settingKnown(cadenceDirectionRead, "cadence direction", CadenceDirectionTimer,
                      &Settings::queryCadenceDirection)) {
        return;
    }
    if (!device->cadenceDirectionWritable()) {
        // The device refuses with a log line and never confirms: no box waits for it.
        device->setCadenceDirection(!cadenceDirection);
        return;
    }
    showProgress("Toggling Cadence Direction...");
    device->setCadenceDirection(!cadenceDirection);
}

void Settings::togglePedalBalance()
{
    if (!settingKnown(powerBalanceRead, "power balance", PedalBalanceTimer, &Settings::queryPedalBalance)) {
        return;
    }
    showProgress("Toggling Power Balance...");
    device->setPedalBalance(!powerBalance);
}

void Settings::toggleGAM()
{
    showProgress("Toggling SRM PowerControl...");
    device->setMode(powerControlMode == 0 ? kPowerControlOn : 0);
}

// ---- Confirmations: each is read back at once ----

void Settings::autozeroChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Settings::autozeroChanged");
    closeProgress();
    queryAutozero();
}

void Settings::directionChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Settings::directionChanged");
    closeProgress();
    queryDirection();
}

void Settings::torqueDirectionChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Settings::torqueDirectionChanged");
    closeProgress();
    queryTorqueDirection();
}

void Settings::cadenceDirectionChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Settings::cadenceDirectionChanged");
    closeProgress();
    queryCadenceDirection();
}

void Settings::pedalBalanceChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Settings::pedalBalanceChanged");
    closeProgress();
    queryPedalBalance();
}

void Settings::modeChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Settings::modeChanged");
    closeProgress();
    queryMode();
}

// ---- Replies ----

void Settings::replyHandled(Timer next)
{
    if (resetting) {
        // The box stays until the next pass replaces it.
        timers[ResetTimer]->start();
    } else {
        closeProgress();
    }
    if (firstPass && next != TimerCount) {
        timers[next]->start();
    }
}

void Settings::autozeroReceived(VelonixPowerMeterDevice*, int flags)
{
    Log::alert("Settings::autozeroReceived:" + String() + flags);
    autozeroFlags = flags;
    autozeroRead = true;
    ui->autozeroValue->setText(enabledText((flags & 1) != 0));
    replyHandled(DirectionTimer);
}

void Settings::directionReceived(VelonixPowerMeterDevice*, bool forward)
{
    Log::alert("Settings::directionReceived forware:" + String() + forward);
    if (directionCapability != 1) {
        return;
    }
    direction = forward;
    directionRead = true;
    ui->torqueDirValue->setText(forwardText(forward));
    replyHandled(ModeTimer);
}

void Settings::torqueDirectionReceived(VelonixPowerMeterDevice*, bool forward)
{
    Log::alert("Settings::torqueDirectionReceived forward:" + String() + forward);
    direction = forward;
    directionRead = true;
    ui->torqueDirValue->setText(forwardText(forward));
    replyHandled(CadenceDirectionTimer);
}

void Settings::cadenceDirectionReceived(VelonixPowerMeterDevice*, bool forward)
{
    Log::alert("Settings::cadenceDirectionReceived forward:" + String() + forward);
    cadenceDirection = forward;
    cadenceDirectionRead = true;
    ui->cadenceDirValue->setText(forwardText(forward));
    replyHandled(PedalBalanceTimer);
}

void Settings::pedalBalanceReceived(VelonixPowerMeterDevice*, bool enabled)
{
    Log::alert("Settings::pedalBalanceReceived pedal:" + String() + enabled);
    powerBalance = enabled;
    powerBalanceRead = true;
    if (meterModel.powerBalance) {
        ui->pedalBalValue->setText(enabledText(enabled));
    }
    replyHandled(ModeTimer);
}

void Settings::modeReceived(VelonixPowerMeterDevice*, int mode)
{
    Log::alert("Settings::modeReceived mode:" + String() + mode);
    powerControlMode = mode;
    if (modeSeen) {
        ui->gamValue->setText(enabledText(mode == kPowerControlOn));
    } else {
        modeSeen = true;
        decidePowerControl();
    }
    replyHandled(TimerCount);
    firstPass = false;
}

void Settings::decidePowerControl()
{
    int softwareRevision = 0;
    if (device->sportData) {
        device->sportData->getField(&softwareRevision, Field::SoftwareRevision);
    }
    const int family = device->getPowerMeterDeviceFamily();
    if ((family == 0 && softwareRevision >= 29) ||
        (family == 1 && (softwareRevision == 15 || softwareRevision >= 19))) {
        ui->gamButton->setEnabled(true);
        ui->gamValue->setText(enabledText(powerControlMode == kPowerControlOn));
    } else if (family == 1 && softwareRevision == 12) {
        openMessageBox(QMessageBox::Warning, "Notice",
                       "Please update your firmware to enable SRM PowerControl", QMessageBox::Ok, false);
    }
}

// ---- Reset to the defaults ----

void Settings::resetDefaults()
{
    resetting = true;
    closeProgress();
    if (autozeroRead && autozeroFlags == 0) {
        toggleAutozero();
    } else if (!direction) {
        toggleTorqueDir();
    } else if (directionCapability == 2 && !cadenceDirection && device->cadenceDirectionWritable()) {
        toggleCadenceDir();
    } else if (meterModel.powerBalance && !powerBalance) {
        togglePedalBalance();
    } else if (powerControlMode != 0) {
        toggleGAM();
    } else {
        openMessageBox(QMessageBox::Information, "Complete", "All values are now set to default.",
                       QMessageBox::Ok, true);
        resetting = false;
    }
}

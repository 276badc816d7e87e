#include "app/Sensor.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/ConnectionWatchdog.h"
#include "app/Diagnostics.h"
#include "app/Info.h"
#include "app/Parse.h"
#include "app/Pelotune.h"
#include "app/Settings.h"
#include "app/Slope.h"
#include "app/TrustedCertificates.h"
#include "app/UnfinishedRingChange.h"
#include "core/Log.h"
#include "core/PosixSystem.h"
#include "core/String.h"
#include "firmware/Firmware.h"
#include "ui_sensor.h"

#include <QDir>
#include <QHideEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;
using vbabel::data::Field;
using vbabel::data::fieldBit;

namespace {

// Bits of the decoder's mask of received fields; the manufacturer page brings the hardware revision
// with the rest.
constexpr int kManufacturerReceived = fieldBit(Field::HardwareRevision);
constexpr int kSoftwareRevisionReceived = fieldBit(Field::SoftwareRevision);

// Registers.
constexpr int kUserChainring = 0x60;
constexpr int kFactoryChainring = 0x42;
constexpr int kProductionFlags = 0x7F;
constexpr int kBleDisabled = 0x04;

constexpr int kFirstWatchdog = 20000;
constexpr int kWatchdog = 5000;
constexpr int kStaleAfter = 5000;
constexpr int kSilenceCheck = 1000;

const char* const kOtherChainring = "Other";
const char* const kTeethFormat = "Z-Mesh %dT";

// A live value as the page shows it: truncated toward zero; a value no int can hold shows as 0.
int truncated(float value)
{
    if (!std::isfinite(value) || value >= 2147483648.0f || value < -2147483648.0f) {
        return 0;
    }
    return static_cast<int>(value);
}

// The log carries Latin-1 text.
String text(const QString& value)
{
    return String(value);
}

} // namespace

Sensor::Sensor(VelonixPowerMeterDevice* device, Pelotune* mainWindow, Clock clock)
    : QWidget(mainWindow), mainWindow(mainWindow), device(device), ui(std::make_unique<Ui_sensor>()),
      clock(std::move(clock))
{
    if (!this->clock) {
        this->clock = [] { return static_cast<std::int64_t>(rezezaz::core::PosixSystem::mtime()); };
    }
    ui->setupUi(this);
    ui->idValue->setText(QString::number(device->getDeviceNumber()));

    // Qt 6 reports a selection by index only; the page wants the entry's text.
    connect(ui->velcoriaCombo, &QComboBox::currentIndexChanged, this,
            [this](int index) { velcoriaChainringSelected(ui->velcoriaCombo->itemText(index)); });
    connect(ui->setzeroButton, &QPushButton::clicked, this, &Sensor::setZero);
    connect(ui->infoButton, &QPushButton::clicked, this, &Sensor::info);
    connect(ui->settingsButton, &QPushButton::clicked, this, &Sensor::settings);
    connect(ui->slopeButton, &QPushButton::clicked, this, &Sensor::slope);
    connect(ui->diagnosticsButton, &QPushButton::clicked, this, &Sensor::diagnostics);
    connect(ui->firmwareButton, &QPushButton::clicked, this, &Sensor::firmware);

    ui->velcoriaBox->hide();
    for (QPushButton* button : {ui->diagnosticsButton, ui->settingsButton, ui->firmwareButton}) {
        button->setText("Waiting for data...");
        button->setEnabled(false);
    }

    silenceCheck = new QTimer(this);
    silenceCheck->setObjectName("silenceCheck");
    silenceCheck->setInterval(kSilenceCheck);
    connect(silenceCheck, &QTimer::timeout, this, &Sensor::checkSilence);

    // The page lives as long as the connection: its watchdog of silence is the connection's.
    connectionWatch = new ConnectionWatchdog(device, this->clock, kFirstWatchdog, this);
    connect(connectionWatch, &ConnectionWatchdog::lost, this, &Sensor::meterSilent);
    // Queued: the hold may end inside the destruction of what held it.
    connect(connectionWatch, &ConnectionWatchdog::released, this, &Sensor::holdReleased,
            Qt::QueuedConnection);
    mainWindow->setMeterWatch(connectionWatch);

    if (QSslSocket::supportsSsl()) {
        Log::alert("Sensor::Sensor SSL sockets supported. Loading root certificates.");
        TrustedCertificates::addBundleToDefault("Sensor::Sensor");
    } else {
        Log::alert("Sensor::Sensor SSL sockets not supported. Chainring data updates may fail.");
    }
}

Sensor::~Sensor()
{
    device->removePowerMeterDeviceListener(this);
}

// ---- Showing and hiding ----

void Sensor::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Restoring the minimised window is no navigation: the page never stopped listening.
    if (event->spontaneous()) {
        return;
    }
    // A show without a hide before it must not make the page hear everything twice.
    device->removePowerMeterDeviceListener(this);
    device->addPowerMeterDeviceListener(this);
    verify();
}

void Sensor::verify()
{
    closeProgress();

    if (firstConnection) {
        Log::alert("Sensor::showEvent firstConnection waiting for SportManufacturer");
        showProgress("Gathering Power Meter Data");
    } else {
        showProgress("Verifying Power Meter");
        if (connectionWatch->held()) {
            // A firmware upload runs (the user left its page): a meter in its bootloader answers
            // nothing, and no question may come between the upload's messages.
            Log::alert("Sensor::showEvent the connection is held, verifying once it is released");
            verifyAfterHold = true;
            return;
        }
        if (meterModel.chainringRegisters) {
            Log::alert("Sensor::showEvent parsing chainring data");
            fillChainrings();
        } else {
            Log::alert("Sensor::showEvent doQueryCadenceMode");
            device->doQueryCadenceMode();
        }
    }

    if (watchdog == nullptr) {
        startWatchdog(firstConnection ? kFirstWatchdog : kWatchdog, &Sensor::forceCadenceMode);
    }
}

void Sensor::hideEvent(QHideEvent* event)
{
    // Minimising the window is no navigation: the meter's work goes on.
    if (event->spontaneous()) {
        QWidget::hideEvent(event);
        return;
    }
    stopWatchdog();
    verifyAfterHold = false;
    silenceCheck->stop();
    device->removePowerMeterDeviceListener(this);
    QWidget::hideEvent(event);
}

// ---- Pages and buttons ----

void Sensor::setZero()
{
    showProgress("Zeroing power meter");
    device->requestCalibrate();
}

void Sensor::info()
{
    mainWindow->addStackedWidget(new Info(device.get(), mainWindow));
}

void Sensor::settings()
{
    mainWindow->addStackedWidget(new Settings(device.get(), mainWindow));
}

void Sensor::slope()
{
    mainWindow->addStackedWidget(new Slope(device.get(), mainWindow));
}

void Sensor::diagnostics()
{
    mainWindow->addStackedWidget(new Diagnostics(device.get(), mainWindow));
}

void Sensor::firmware()
{
    mainWindow->addStackedWidget(new Firmware(device.get(), mainWindow, false));
}

void Sensor::helpClicked()
{
    mainWindow->showHelp(meterModel.chainringRegisters ? "sensorKV7" : "sensor");
}

// ---- Live values ----

void Sensor::dataReceived(SportDevice*, int fields)
{
    vbabel::data::SportData* data = device->sportData.get();
    if (data == nullptr) {
        return;
    }
    float power = 0.0f;
    float cadence = 0.0f;
    float torque = 0.0f;
    int revolutions = 0;
    int softwareRevision = 0;
    data->getField(&power, Field::Power);
    data->getField(&cadence, Field::Cadence);
    data->getField(&torque, Field::Torque);
    data->getField(&revolutions, Field::RevolutionsSinceStart);
    data->getField(&softwareRevision, Field::SoftwareRevision);

    const std::int64_t now = clock();
    if (!silenceCheck->isActive()) {
        silenceCheck->start();
    }
    if (staleDeadline == 0) {
        lastPower = power;
        lastCadence = cadence;
        lastTorque = torque;
        lastRevolutions = revolutions;
        staleDeadline = now - 1000;
        lastChangeTime = now;
    } else if (power != lastPower || cadence != lastCadence || torque != lastTorque ||
               revolutions != lastRevolutions) {
        // != is true for a NaN too, so an unordered value counts as a change.
        lastPower = power;
        lastCadence = cadence;
        lastTorque = torque;
        lastRevolutions = revolutions;
        staleDeadline = now + kStaleAfter;
        lastChangeTime = now;
    } else if (stale(now)) {
        // Values frozen for longer than the deadline: the meter repeats its last page.
        power = 0.0f;
        cadence = 0.0f;
        torque = 0.0f;
    }

    if ((fields & kSoftwareRevisionReceived) != 0 && versionPending) {
        versionPending = false;
        ui->versionValue->setText(QString::number(softwareRevision));
    }

    if ((fields & kManufacturerReceived) != 0 && manufacturerPending && !versionPending) {
        manufacturerPending = false;
        if (!ui->settingsButton->isEnabled()) {
            ui->settingsButton->setText("Settings");
            ui->settingsButton->setEnabled(true);
        }
        if (!ui->diagnosticsButton->isEnabled()) {
            if (softwareRevision > 17 || device->getPowerMeterDeviceFamily() != 0) {
                ui->diagnosticsButton->setText("Diagnostics");
                ui->diagnosticsButton->setEnabled(true);
            } else {
                ui->diagnosticsButton->setText("Unavailable, Requires SW>17");
            }
        }
        meterModel = device->getPowerMeterModel();
        Log::alert("Sensor::DataReceived found power meter model:" + String() + meterModel.type);
        if (meterModel.ble) {
            Log::alert("Sensor::DataReceived found lumora power meter");
            ui->firmwareButton->setText("Unavailable");
        }
        if (firstConnection) {
            device->doQueryPedalBalance();
            Log::alert("Sensor::DataReceived querying power balance...");
        }
    }

    showValues(power, cadence, torque, revolutions);
}

bool Sensor::stale(std::int64_t now) const
{
    return staleDeadline != 0 && staleDeadline < now && staleDeadline >= lastChangeTime;
}

void Sensor::showValues(float power, float cadence, float torque, int revolutions)
{
    // A value the meter has not sent yet is no 0: it shows "--" until its first data page.
    vbabel::data::SportData* data = device->sportData.get();
    auto shown = [data](Field field, float value, const char* unit) {
        float received = 0.0f;
        if (data == nullptr || !data->getField(&received, field)) {
            return QString("--");
        }
        return QString::number(truncated(value)) + unit;
    };
    ui->wattsValue->setText(shown(Field::Power, power, " W"));
    ui->cadenceValue->setText(shown(Field::Cadence, cadence, " rpm"));
    ui->torqueValue->setText(shown(Field::Torque, torque, " Nm"));
    ui->revsValue->setText(QString::number(revolutions));
}

void Sensor::checkSilence()
{
    const std::int64_t now = clock();
    if (stale(now)) {
        showValues(0.0f, 0.0f, 0.0f, lastRevolutions);
    }
}

void Sensor::meterSilent(qint64 silenceMs)
{
    // The meter's channel stays open when the meter goes: only its silence tells. A write sequence
    // cut short by it (a new ring without its slope) ends here too, with the message.
    Log::warning("Sensor::checkSilence no data from the power meter for " + String() +
                 static_cast<int>(std::min<qint64>(silenceMs, std::numeric_limits<int>::max())) + " ms");
    if (stale(clock())) {
        showValues(0.0f, 0.0f, 0.0f, lastRevolutions);
    }
    disconnected();
}

// ---- First connection ----

void Sensor::pedalBalanceReceived(VelonixPowerMeterDevice*, bool on)
{
    Log::alert("Sensor::pedalBalanceReceived pedal:" + String() + on);
    if (!meterModel.powerBalance) {
        Log::alert("Sensor::pedalBalanceReceived forcibly disabling the setting of power balance");
    } else if (!on) {
        device->setPedalBalance(true);
    }
    if (firstConnection) {
        afterPowerBalance(
            "Sensor::pedalBalanceReceived no bootload queries for ble powermeters instead check for ble");
    }
}

void Sensor::pedalBalanceChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Sensor::pedalBalanceChanged");
    openMessageBox(QMessageBox::Information, "Congratulations!",
                   "<p>Power Balance has been turned on. To manage this feature please refer to the "
                   "<b>Settings</b> page.</p>",
                   QMessageBox::Ok);
    if (firstConnection) {
        afterPowerBalance(
            "Sensor::pedalBalanceChanged no bootload queries for ble powermeters instead check for ble");
    }
}

void Sensor::afterPowerBalance(const char* bleLogText)
{
    if (meterModel.ble) {
        Log::alert(bleLogText);
        device->queryRegister(kProductionFlags, 1);
    } else {
        device->doQueryBootload();
    }
}

void Sensor::bootloadReceived(VelonixPowerMeterDevice*, int version)
{
    Log::alert("Sensor::bootloadReceived version:" + String() + version);
    bootloaderVersion = version;
    if (!ui->firmwareButton->isEnabled()) {
        ui->firmwareButton->setText("Firmware");
        ui->firmwareButton->setEnabled(version != 0 && version != 0xFFFF);
    }
    if (firstConnection) {
        updateChainringData();
    }
}

void Sensor::registerReceived(VelonixPowerMeterDevice*, int location, int length, unsigned char* data)
{
    Log::alert("Sensor::registerReceived location:" + String() + location + " length:" + length);
    if (data == nullptr) {
        return;
    }
    if (location == kProductionFlags && length == 1) {
        productionFlagsReceived(data[0]);
    } else if ((location == kUserChainring || location == kFactoryChainring) && length == 3) {
        chainringReceived(location, data);
    }
}

void Sensor::productionFlagsReceived(int flags)
{
    Log::alert("Sensor::registerReceived production flags=" + String() + flags);
    if ((flags & kBleDisabled) != 0) {
        Log::alert("Sensor::registerReceived ble is disabled, fixing");
        unsigned char cleared = 0x00;
        device->setRegister(kProductionFlags, 1, &cleared);
    } else {
        Log::alert("Sensor::registerReceived ble is enabled, keep going");
        updateChainringData();
    }
}

void Sensor::registerChanged(VelonixPowerMeterDevice*, int location, int length)
{
    Log::alert("Sensor::registerChanged location:" + String() + location + " length:" + length);
    closeProgress();
    if (location == kProductionFlags && length == 1) {
        Log::alert("Sensor::registerChanged production flags updated");
        bleFixPending = true;
        updateChainringData();
        return;
    }
    if (location == kUserChainring && length == 3) {
        userMake = pendingBytes[0];
        userModel = pendingBytes[1];
        userTeeth = pendingBytes[2];
        QComboBox* combo = ui->velcoriaCombo;
        if (pendingSlope > 0.0f) {
            const float slope = pendingSlope;
            pendingSlope = 0.0f;
            showProgress(combo->currentText() + " saved. \nUpdating slope...");
            writeUserSlope(slope);
            return;
        }
        showProgress(combo->currentText() + " saved. \nVerifying slope...");
        Log::alert("Sensor:registerChanged: querying factory slope");
        device->doQuerySlope(true);
    }
}

void Sensor::updateChainringData()
{
    Log::alert("Sensor::updateChainringData");
    Log::warning("Sensor::updateChainringData currently disabled, skipping download attempt");
    updateFinished();
}

void Sensor::updateFinished()
{
    Log::alert("Sensor::updateFinished");
    if (meterModel.chainringRegisters) {
        fillChainrings();
    } else {
        device->doQueryCadenceMode();
    }
}

// ---- Cadence mode and watchdog ----

void Sensor::cadenceModeReceived(VelonixPowerMeterDevice* meter, int cadence, int mode)
{
    Log::alert("Sensor::cadenceModeReceived cadence:" + String() + cadence + " mode:" + mode);
    stopWatchdog();
    if (cadence == 0 && (mode == 0 || mode == 48)) {
        lastCadenceMode = mode;
        cadenceModeChanged(meter);
    } else {
        Log::warning("Sensor::cadenceModeReceived incorrect cadence mode, resetting to last known" +
                     String() + lastCadenceMode);
        device->setCadenceMode(0, lastCadenceMode);
    }
}

void Sensor::cadenceModeChanged(VelonixPowerMeterDevice*)
{
    Log::alert("Sensor::cadenceModeChanged");
    const bool verifiedFirst = firstConnection && !bleFixPending;
    firstConnection = false;
    connectionWatch->setLimit(kWatchdog);
    closeProgress();
    stopWatchdog();
    if (bleFixPending) {
        bleFixPending = false;
        // No data comes while the box waits for the user.
        silenceCheck->stop();
        connectionWatch->hold(true);
        // The box runs its own event loop inside the meter's callback, in which the window may take
        // this page down (the stick pulled): the box belongs to the window, which outlives the page.
        // Keep the meter, and learn whether the page is still there afterwards.
        rezezaz::core::IntrusivePointer<VelonixPowerMeterDevice> meter(device);
        QPointer<Sensor> self(this);
        QMessageBox::information(mainWindow, "BLE Update",
                                 "<p>BLE was turned off.</p><p>Pelotune has now set BLE to on.</p>");
        if (self.isNull()) {
            return;
        }
        connectionWatch->hold(false);
        device->startSleep();
    }
    if (verifiedFirst) {
        checkUnfinishedRingChange();
    }
}

void Sensor::sleepStarted(VelonixPowerMeterDevice*)
{
    Log::alert("Sensor::sleepStarted");
    disconnected();
}

void Sensor::forceCadenceMode()
{
    stopWatchdog();
    if (connectionWatch->held()) {
        Log::alert("Sensor::forceCadenceMode the connection is held, verifying once it is released");
        verifyAfterHold = true;
        return;
    }
    Log::alert("Sensor::forceCadenceMode timeout forcing proper cadence");
    startWatchdog(kWatchdog, &Sensor::cadenceModeUnanswered);
    device->setCadenceMode(0, 0);
}

void Sensor::cadenceModeUnanswered()
{
    stopWatchdog();
    if (connectionWatch->held()) {
        Log::alert("Sensor::forceCadenceMode the connection is held, verifying once it is released");
        verifyAfterHold = true;
        return;
    }
    disconnected();
}

void Sensor::holdReleased()
{
    if (!verifyAfterHold || !isVisible() || connectionWatch->held()) {
        return;
    }
    verifyAfterHold = false;
    Log::alert("Sensor::holdReleased verifying the power meter again");
    verify();
}

void Sensor::disconnected()
{
    stopWatchdog();
    silenceCheck->stop();
    connectionWatch->stop();
    closeProgress();
    // The meter is taken as lost: nothing it may still send reaches the page, so that no second
    // box comes while this one is up.
    device->removePowerMeterDeviceListener(this);
    // The box runs its own event loop; the page may be taken down meanwhile, so the box belongs to
    // the window, which stays.
    rezezaz::core::IntrusivePointer<VelonixPowerMeterDevice> meter(device);
    Pelotune* window = mainWindow;
    QMessageBox::information(window, "Disconnected",
                             "<p>The power meter appears to have disconnected.</p><p>Pelotune will "
                             "close the connection.</p>");
    window->allBackTimer();
}

void Sensor::closed(SportDevice*)
{
    mainWindow->allBackTimer();
}

// ---- Zero calibration ----

void Sensor::calibrateReceived(SportDevice*, bool passed, int value)
{
    Log::alert("Sensor::calibrateReceived passed:" + String() + passed + " result:" + value);
    closeProgress();
    openMessageBox(QMessageBox::Information, passed ? "Passed" : "Failed",
                   QString::asprintf("Returned Value: %d\n[%.2f Nm]", value,
                                     static_cast<double>(static_cast<float>(value) * 0.03125f)),
                   QMessageBox::Ok);
}

// ---- Chainrings of the KV7 model ----

void Sensor::fillChainrings()
{
    const QList<QVariant> tables = Parse::loadChainringData(mainWindow->dataFolder());

    QComboBox* combo = ui->velcoriaCombo;
    combo->clear();
    chainringCodes.clear();
    chainringFactors.clear();
    chainringNames.clear();

    for (const QVariant& table : tables) {
        const QMap<QString, QVariant> element = table.toMap();
        const QString kind = element.value("data").toString();
        if (kind == "calibrations") {
            for (const QVariant& entry : element.value("values").toList()) {
                const QMap<QString, QVariant> model = entry.toMap();
                if (model.value("marlet").toString() != "KV7") {
                    continue;
                }
                const QList<QVariant> rings = model.value("calibrations").toList();
                // Whole triples only: a ring without its code and factor can't be written or scaled.
                for (qsizetype i = 0; i + 2 < rings.size(); i += 3) {
                    {
                        const QSignalBlocker blocker(combo);
                        combo->addItem(rings[i].toString());
                    }
                    chainringCodes.append(rings[i + 1].toString());
                    chainringFactors.append(Parse::ringFactor(rings[i + 2]));
                }
                if (rings.size() % 3 != 0) {
                    Log::warning("Sensor::parseChainringData incomplete chainring entry ignored");
                }
            }
        } else if (kind == "chainrings") {
            chainringNames = element.value("values").toMap();
        } else {
            Log::alert("Sensor::parseChainringData unknown data type found");
        }
    }

    device->queryRegister(kUserChainring, 3);
}

QString Sensor::chainringCode(int make, int model) const
{
    // A ring without a maker of its own has the code "00", like its entry in the data file.
    const QString maker = make == 0 ? QString("0") : QString(QChar(make));
    return maker + QString::number(model);
}

void Sensor::chainringReceived(int location, const unsigned char* data)
{
    const int make = data[0];
    const int model = data[1];
    const int teeth = data[2];
    const QString code = chainringCode(make, model);
    const QString name = chainringNames.value(code).toString();

    if (location == kUserChainring) {
        Log::alert("Sensor::registerReceived user outer chainring make:" + String() + make +
                   " model:" + model + " teeth:" + teeth);
        userMake = make;
        userModel = model;
        userTeeth = teeth;
        userRingRead = true;
        Log::alert("Sensor::registerReceived user chainring code=" + text(code) +
                   " translates to=" + text(name));
        device->queryRegister(kFactoryChainring, 3);
        return;
    }

    Log::alert("Sensor::registerReceived factory outer chainring make:" + String() + make +
               " model:" + model + " teeth:" + teeth);
    factoryMake = make;
    factoryModel = model;
    factoryTeeth = teeth;
    Log::alert("Sensor::registerReceived factory chainring code=" + text(code) +
               " translates to=" + text(name));

    chainringIndex = ui->velcoriaCombo->count() - 1;
    selectChainring(chainringIndex);
    const int userEntry = chainringEntryForTeeth(userTeeth);
    if (userEntry >= 0) {
        Log::alert("Sensor:registerReceived changing velcoria combo to:" + String() + userEntry);
        chainringIndex = userEntry;
        selectChainring(userEntry);
    }
    ui->velcoriaBox->show();
    if (firstConnection) {
        openMessageBox(QMessageBox::Information, "KV7 Detected",
                       "<p>You appear to be using an KV7 power meter.</p> <p>Please ensure you have "
                       "the proper ring selected in the KV7 dropdown menu.</p>",
                       QMessageBox::Ok);
    }
    device->doQueryCadenceMode();
}

void Sensor::selectChainring(int index)
{
    const QSignalBlocker blocker(ui->velcoriaCombo);
    ui->velcoriaCombo->setCurrentIndex(index);
}

int Sensor::chainringEntryForTeeth(int teeth)
{
    return ui->velcoriaCombo->findText(QString::asprintf(kTeethFormat, teeth),
                                       Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void Sensor::velcoriaChainringSelected(QString selected)
{
    Log::alert("Sensor::velcoriaChainringSelected");
    const QString current = ui->velcoriaCombo->itemText(chainringIndex);
    if (selected == current) {
        return;
    }
    QString question;
    if (selected == kOtherChainring) {
        question = "<p>You are switching to an unknown chainring.</p> <p>Your slope will not be "
                   "changed.</p> <p>You will need to use the \"Calibrate Slope\" option to perform a "
                   "manual calibration of your power meter with this new ring.</p> <p>Are you sure?</p>";
    } else {
        question = "You are switching from chainring " + current + " to " + selected + ".\n\nAre you sure?";
    }
    QMessageBox* box = openMessageBox(QMessageBox::Warning, "Notice", question,
                                      QMessageBox::Ok | QMessageBox::Cancel, selected != kOtherChainring);
    connect(box, &QMessageBox::finished, this, &Sensor::velcoriaChainringChange);
}

void Sensor::velcoriaChainringChange(int result)
{
    QComboBox* combo = ui->velcoriaCombo;
    const int index = combo->currentIndex();
    if (result != QMessageBox::Ok || index < 0 || index >= chainringCodes.size()) {
        selectChainring(chainringIndex);
        return;
    }

    const QString code = chainringCodes[index];
    const QString ring = combo->itemText(index);
    const Parse::RingRegister chosen = Parse::ringRegister(code, ring);
    if (!chosen.teethFit || chosen.teeth > 255) {
        Log::error("Sensor::velcoriaChainringChange chainring " + text(ring) +
                   " has no teeth count, keeping the current ring");
        refuseRing("The chainring " + ring +
                   " has no teeth count that the power meter can store: its name must be \"Z-Mesh \" "
                   "followed by two digits and \"T\".\n\nYour chainring was not changed. Correct the "
                   "ring's name in the chainring data file, or choose another ring.");
        return;
    }
    if (!chosen.codeFits || chosen.model < 0 || chosen.model > 255) {
        // A byte can't hold it: writing it would store another ring than the one chosen.
        Log::error("Sensor::velcoriaChainringChange chainring code " + text(code) +
                   " can't be stored, keeping the current ring");
        refuseRing("The chainring " + ring + " has a code (" + code +
                   ") that the power meter can't store.\n\nYour chainring was not changed. Correct "
                   "the ring's code in the chainring data file, or choose another ring.");
        return;
    }
    pendingBytes[0] = static_cast<unsigned char>(chosen.make);
    pendingBytes[1] = static_cast<unsigned char>(chosen.model);
    pendingBytes[2] = static_cast<unsigned char>(chosen.teeth);

    if (index == combo->count() - 1) {
        // "Other" keeps the slope: nothing is half done while its ring goes out.
        chainringIndex = index;
        pendingSlope = 0.0f;
        Log::alert("Sensor::velcoriaChainringChange forcing user chainrings to make:" + String() +
                   chosen.make + " model:" + chosen.model + " teeth:" + chosen.teeth);
        showProgress("Setting chainring");
        device->setRegister(kUserChainring, 3, pendingBytes);
        return;
    }
    if (!std::isfinite(chainringFactors[index])) {
        Log::error("Sensor::velcoriaChainringChange chainring " + text(ring) +
                   " has no usable factor, keeping the current ring");
        refuseRing("The chainring data file holds no usable factor for the chainring " + ring +
                   ": no slope can be worked out for it.\n\nYour chainring and slope were not changed. "
                   "Correct the ring's factor in the chainring data file, or choose another ring.");
        return;
    }
    // The slope that goes with the new ring is known before the ring goes out: a ring whose factors
    // give no slope is never written.
    pendingRing = index;
    showProgress("Working out the slope for " + ring + "...");
    Log::alert("Sensor::velcoriaChainringChange querying factory slope");
    device->doQuerySlope(true);
}

bool Sensor::ringSlope(int entry, float factorySlope, float& slope, QString& why) const
{
    const QString ring = ui->velcoriaCombo->itemText(entry);
    const float currentFactor = entry >= 0 && entry < chainringFactors.size()
                                    ? chainringFactors[entry]
                                    : std::numeric_limits<float>::quiet_NaN();
    if (!std::isfinite(currentFactor)) {
        why = "The chainring data file holds no usable factor for the chainring " + ring +
              ": no slope can be worked out for it.";
        return false;
    }
    slope = factorySlope;
    const QString factoryRing = QString::asprintf(kTeethFormat, factoryTeeth);
    const int factoryEntry =
        ui->velcoriaCombo->findText(factoryRing, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (factoryEntry < 0 || factoryEntry >= chainringFactors.size()) {
        Log::error("Sensor:slopeReceived: velcoria factory chainring:" + text(factoryRing) +
                   " not found in velcoria combo box. Slope will not change.");
    } else if (!std::isfinite(chainringFactors[factoryEntry])) {
        Log::error("Sensor:slopeReceived: chainring factors give no slope, keeping the factory slope");
    } else {
        const float factoryFactor = chainringFactors[factoryEntry];
        slope = factorySlope + (currentFactor - factoryFactor) * factorySlope / factoryFactor;
    }
    if (!std::isfinite(slope) || !Slope::withinMargin(slope)) {
        why = QString::asprintf("The factors of the chainring data file give the chainring %s a slope of "
                                "%.2f, far outside the range of 3.00 to 25.00.",
                                ring.toUtf8().constData(), static_cast<double>(slope));
        return false;
    }
    Slope::clampSlope(device.get(), slope);
    return true;
}

void Sensor::refuseRing(const QString& why)
{
    closeProgress();
    selectChainring(chainringIndex);
    openMessageBox(QMessageBox::Warning, "Failed", why, QMessageBox::Ok, true);
}

void Sensor::writeUserSlope(float slope)
{
    Log::alert("Sensor:slopeReceived: setting new slope:" + String() + slope);
    if (!device->setSlope(slope, false)) {
        Log::error("Sensor::writeUserSlope the power meter's device refused the slope " + String() + slope);
        closeProgress();
        openMessageBox(QMessageBox::Warning, "Failed",
                       QString::asprintf("The slope %.2f could not be sent to the power meter.\n\nYour "
                                         "slope was not changed. Set it on the Slope page.",
                                         static_cast<double>(slope)),
                       QMessageBox::Ok, true);
    }
}

void Sensor::slopeReceived(VelonixPowerMeterDevice*, float slope, bool factory)
{
    Log::alert("Sensor:slopeReceived:" + String() + slope + "," + factory);
    if (!factory && unfinishedSlopeCheck) {
        unfinishedSlopeCheck = false;
        UnfinishedRingChange unfinished(mainWindow->dataFolder());
        const unsigned serial = UnfinishedRingChange::serialNumber(device.get());
        UnfinishedRingChange::Change change;
        if (!unfinished.find(serial, change)) {
            return;
        }
        if (UnfinishedRingChange::sameSlope(slope, change.slope)) {
            Log::alert("Sensor::checkUnfinishedRingChange chainring " + text(change.ring) +
                       " and its slope " + String() + change.slope +
                       " are both in the power meter, nothing to finish");
            unfinished.forget(serial);
        } else {
            offerUnfinishedRingChange(change.ring, change.slope);
        }
        return;
    }
    if (!factory) {
        Log::alert("Sensor:slopeReceived: slope will not be changed.");
        closeProgress();
        return;
    }
    QComboBox* combo = ui->velcoriaCombo;
    if (pendingRing >= 0) {
        // The ring chosen in the list goes out only with a slope that belongs to it.
        const int entry = pendingRing;
        pendingRing = -1;
        float newSlope = 0.0f;
        QString why;
        if (!ringSlope(entry, slope, newSlope, why)) {
            Log::error("Sensor:slopeReceived: the chainring factors give no slope, keeping the current ring");
            refuseRing(why + "\n\nYour chainring and slope were not changed. Correct the ring's factor in "
                             "the chainring data file, or choose another ring.");
            return;
        }
        UnfinishedRingChange::Change change;
        change.ring = combo->itemText(entry);
        change.make = pendingBytes[0];
        change.model = pendingBytes[1];
        change.teeth = pendingBytes[2];
        change.slope = newSlope;
        if (userRingRead) {
            change.oldMake = userMake;
            change.oldModel = userModel;
            change.oldTeeth = userTeeth;
        }
        // Kept before the ring goes out: the meter may take the ring and be lost before anything
        // confirms it, and until its slope lands the change is half done. A change that can't be kept
        // is not made.
        UnfinishedRingChange unfinished(mainWindow->dataFolder());
        if (!unfinished.remember(UnfinishedRingChange::serialNumber(device.get()), change)) {
            Log::error("Sensor:slopeReceived: the settings file " + text(unfinished.fileName()) +
                       " can't be written, keeping the current ring");
            refuseRing("The chainring change cannot be made safely: the settings file " +
                       QDir::toNativeSeparators(unfinished.fileName()) +
                       " cannot be written, so a change cut short could not be finished later.\n\n"
                       "Nothing was sent to the power meter. Make the file writable and try again.");
            return;
        }
        chainringIndex = entry;
        pendingSlope = newSlope;
        Log::alert("Sensor::velcoriaChainringChange forcing user chainrings to make:" + String() +
                   change.make + " model:" + change.model + " teeth:" + change.teeth);
        showProgress("Setting chainring");
        device->setRegister(kUserChainring, 3, pendingBytes);
        return;
    }
    const int current = combo->currentIndex();
    if (current == combo->count() - 1 || current < 0 || current >= chainringFactors.size()) {
        Log::alert("Sensor:slopeReceived: slope will not be changed.");
        closeProgress();
        return;
    }

    // An unfinished change whose slope is worked out afresh, for the ring the meter holds.
    float newSlope = 0.0f;
    QString why;
    if (!ringSlope(current, slope, newSlope, why)) {
        Log::error("Sensor:slopeReceived: the chainring factors give no slope, none is written");
        closeProgress();
        UnfinishedRingChange(mainWindow->dataFolder())
            .forget(UnfinishedRingChange::serialNumber(device.get()));
        openMessageBox(QMessageBox::Warning, "Failed",
                       why + "\n\nNo slope was written. Set the slope on the Slope page "
                             "(\"Calibrate Slope\").",
                       QMessageBox::Ok, true);
        return;
    }
    UnfinishedRingChange(mainWindow->dataFolder())
        .rememberSlope(UnfinishedRingChange::serialNumber(device.get()), newSlope);
    writeUserSlope(newSlope);
}

void Sensor::slopeChanged(VelonixPowerMeterDevice*, bool factory)
{
    Log::alert("Sensor:slopeChanged:" + String() + factory);
    closeProgress();
    if (!factory) {
        UnfinishedRingChange(mainWindow->dataFolder())
            .forget(UnfinishedRingChange::serialNumber(device.get()));
    }
}

void Sensor::checkUnfinishedRingChange()
{
    UnfinishedRingChange unfinished(mainWindow->dataFolder());
    const unsigned serial = UnfinishedRingChange::serialNumber(device.get());
    UnfinishedRingChange::Change change;
    if (!unfinished.find(serial, change)) {
        return;
    }
    if (!meterModel.chainringRegisters) {
        // Only a meter that keeps its ring in registers has its ring changed: there is none to finish.
        Log::warning("Sensor::checkUnfinishedRingChange chainring " + text(change.ring) +
                     " kept for a power meter of another model, forgetting it");
        unfinished.forget(serial);
        return;
    }
    if (!userRingRead) {
        // The verification went on without the ring (the meter did not answer in time): left for the
        // next connection rather than guessed.
        Log::warning("Sensor::checkUnfinishedRingChange chainring not read, the change to " +
                     text(change.ring) + " is left for the next connection");
        return;
    }
    const QComboBox* combo = ui->velcoriaCombo;
    const QString shown =
        chainringIndex >= 0 && chainringIndex < combo->count() ? combo->itemText(chainringIndex) : QString();
    if (!UnfinishedRingChange::holdsRing(change, userMake, userModel, userTeeth, shown) &&
        !UnfinishedRingChange::holdsOldRing(change, userMake, userModel, userTeeth)) {
        // Another ring was mounted or written meanwhile: neither the old slope nor the new one is
        // known to belong to it. The change stays kept until the user sets ring and slope.
        Log::warning("Sensor::checkUnfinishedRingChange the power meter holds a ring that is neither "
                     "the old one nor " +
                     text(change.ring));
        openMessageBox(QMessageBox::Warning, "Unfinished Chainring Change",
                       "The change to the chainring " + change.ring +
                           " was cut short, and the power meter now holds a ring that is neither that "
                           "ring nor the one before it (" +
                           chainringCode(userMake, userModel) + ", " + QString::number(userTeeth) +
                           " teeth).\n\nChoose the mounted ring in the KV7 list, then check the slope "
                           "on the Slope page.",
                       QMessageBox::Ok, true);
        return;
    }
    if (!UnfinishedRingChange::holdsRing(change, userMake, userModel, userTeeth, shown)) {
        // The ring write never landed: the meter's ring and slope still belong together.
        Log::alert("Sensor::checkUnfinishedRingChange chainring " + text(change.ring) +
                   " never reached the power meter, forgetting the change");
        unfinished.forget(serial);
        return;
    }
    if (change.slope > 0.0f) {
        // The new slope may have landed without its confirmation: the meter's own tells.
        Log::alert("Sensor::checkUnfinishedRingChange reading the user slope");
        unfinishedSlopeCheck = true;
        device->doQuerySlope(false);
        return;
    }
    offerUnfinishedRingChange(change.ring, change.slope);
}

void Sensor::offerUnfinishedRingChange(const QString& ring, float slope)
{
    Log::warning("Sensor::offerUnfinishedRingChange chainring " + text(ring) + " written, its slope " +
                 String() + slope + " not");
    QMessageBox* box = openMessageBox(QMessageBox::Warning, "Unfinished Chainring Change",
                                      "The change to the chainring " + ring +
                                          " was cut short: the power meter has the new ring but not its "
                                          "slope.\n\nFinish the change now?",
                                      QMessageBox::Ok | QMessageBox::Cancel, true);
    connect(box, &QMessageBox::finished, this, [this, slope](int result) {
        if (result != QMessageBox::Ok) {
            return;
        }
        if (slope > 0.0f) {
            float written = slope;
            Slope::clampSlope(device.get(), written);
            Log::alert("Sensor::offerUnfinishedRingChange setting slope:" + String() + written);
            showProgress("Setting slope...");
            writeUserSlope(written);
        } else {
            // Worked out from the factory slope for the ring now in the meter, as after a ring change.
            showProgress(ui->velcoriaCombo->currentText() + " saved. \nUpdating slope...");
            Log::alert("Sensor:registerChanged: querying factory slope");
            device->doQuerySlope(true);
        }
    });
}

// ---- Busy box, watchdog and boxes ----

void Sensor::closeProgress()
{
    if (progress != nullptr) {
        progress->close();
        progress->deleteLater();
        progress = nullptr;
    }
}

void Sensor::showProgress(const QString& label)
{
    closeProgress();
    progress = new QProgressDialog(this);
    // The label may carry a ring's name from the data file: shown as it stands.
    auto* shown = new QLabel(progress);
    shown->setTextFormat(Qt::PlainText);
    progress->setLabel(shown);
    progress->setLabelText(label);
    progress->setCancelButtonText("Cancel");
    progress->setRange(0, 0);
    progress->setModal(true);
    progress->show();
}

void Sensor::stopWatchdog()
{
    if (watchdog != nullptr) {
        watchdog->stop();
        // It may be the timer whose timeout is running now.
        watchdog->deleteLater();
        watchdog = nullptr;
    }
}

void Sensor::startWatchdog(int interval, void (Sensor::*slot)())
{
    watchdog = new QTimer(this);
    watchdog->setSingleShot(true);
    watchdog->setInterval(interval);
    connect(watchdog, &QTimer::timeout, this, slot);
    watchdog->start();
}

QMessageBox* Sensor::openMessageBox(QMessageBox::Icon icon, const QString& title, const QString& message,
                                    QMessageBox::StandardButtons buttons, bool plain)
{
    auto* box = new QMessageBox(icon, title, message, buttons, this);
    if (plain) {
        box->setTextFormat(Qt::PlainText);
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
    return box;
}

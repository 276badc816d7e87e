#include "app/Tables.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Parse.h"
#include "app/Pelotune.h"
#include "app/Slope.h"
#include "app/UnfinishedRingChange.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_tables.h"

#include <QComboBox>
#include <QDir>
#include <QSignalBlocker>

#include <cmath>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::VelonixPowerMeterDevice;

namespace {

constexpr int kUserChainring = 0x60;
constexpr int kFactoryChainring = 0x42;
constexpr int kRingBytes = 6;

const char* const kKV7 = "KV7";

// The log carries Latin-1 text.
String text(const QString& value)
{
    return String(value);
}

QString slopeText(float slope, float change)
{
    return QString::asprintf("%.2f (%.1f%%)", static_cast<double>(slope), static_cast<double>(change));
}

} // namespace

Tables::Tables(VelonixPowerMeterDevice* device, Pelotune* mainWindow, float userSlope, float factorySlope)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_tables>()), userSlope(userSlope),
      factorySlope(factorySlope), newSlope(userSlope)
{
    ui->setupUi(this);
    // Qt 6 reports a selection by index only; the model is chosen by its entry's text.
    modelConnection = connect(ui->powerMeterCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        powermeterTypeClicked(ui->powerMeterCombo->itemText(index));
    });
    currentRingConnection =
        connect(ui->currentChainringsCombo, &QComboBox::currentIndexChanged, this, &Tables::chainringClicked);
    connect(ui->newChainringsCombo, &QComboBox::currentIndexChanged, this, &Tables::chainringClicked);
    connect(ui->acceptButton, &QPushButton::clicked, this, &Tables::acceptClicked);
    connect(ui->cancelButton, &QPushButton::clicked, this, &Tables::cancelClicked);
    ui->acceptButton->setEnabled(false);
    ui->currentSlopeValue->setText(QString::asprintf("%.2f", static_cast<double>(userSlope)));
    meterModel = device->getPowerMeterModel();
}

Tables::~Tables() = default;

void Tables::pageShown()
{
    parseChainringData();
}

void Tables::helpClicked()
{
    mainWindow->showHelp("calibrationTable");
}

void Tables::cancelClicked()
{
    mainWindow->backClicked();
}

// ---- The data file ----

void Tables::parseChainringData()
{
    Log::alert("Tables::parseChainringData");
    ringNames.clear();
    ringCodes.clear();
    ringFactors.clear();
    chainringNames.clear();

    const QList<QVariant> tables = Parse::loadChainringData(mainWindow->dataFolder());
    for (const QVariant& table : tables) {
        const QMap<QString, QVariant> element = table.toMap();
        const QString kind = element.value("data").toString();
        if (kind == "calibrations") {
            for (const QVariant& entry : element.value("values").toList()) {
                const QMap<QString, QVariant> values = entry.toMap();
                const QString model = values.value("marlet").toString();
                if (model == kKV7 && !meterModel.chainringRegisters) {
                    continue;
                }
                const QList<QVariant> rings = values.value("calibrations").toList();
                QList<QString> names;
                QList<QString> codes;
                QList<float> factors;
                // Whole triples only: a ring without its code and factor can't be used.
                for (qsizetype i = 0; i + 2 < rings.size(); i += 3) {
                    names.append(rings[i].toString());
                    codes.append(rings[i + 1].toString());
                    factors.append(Parse::ringFactor(rings[i + 2]));
                }
                if (rings.size() % 3 != 0) {
                    Log::warning("Tables::parseChainringData incomplete chainring entry ignored");
                }
                {
                    const QSignalBlocker blocker(ui->powerMeterCombo);
                    ui->powerMeterCombo->addItem(model);
                }
                ringNames[model] = names;
                ringCodes[model] = codes;
                ringFactors[model] = factors;
            }
        } else if (kind == "chainrings") {
            chainringNames = element.value("values").toMap();
        } else {
            Log::alert("Sensor::parseChainringData unknown data type found");
        }
    }

    if (meterModel.chainringRegisters) {
        const int entry = ui->powerMeterCombo->findText(kKV7, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (entry >= 0) {
            // The meter's own table, and its current ring from its register: the user chooses only
            // the new ring.
            disconnect(modelConnection);
            disconnect(currentRingConnection);
            ui->powerMeterCombo->setEnabled(false);
            ui->currentChainringsCombo->setEnabled(false);
            ui->powerMeterCombo->setCurrentIndex(entry);
            powermeterTypeClicked(kKV7);
        }
    }

    showProgress("Querying powermeter...");
    device->queryRegister(kUserChainring, kRingBytes);
}

void Tables::powermeterTypeClicked(QString model)
{
    if (!ringNames.contains(model)) {
        return;
    }
    {
        const QSignalBlocker currentBlocker(ui->currentChainringsCombo);
        const QSignalBlocker newBlocker(ui->newChainringsCombo);
        ui->currentChainringsCombo->clear();
        ui->newChainringsCombo->clear();
        ui->currentChainringsCombo->addItem("Select Current Chainrings");
        ui->newChainringsCombo->addItem("Select New Chainrings");
        for (const QString& name : ringNames.value(model)) {
            ui->currentChainringsCombo->addItem(name);
            ui->newChainringsCombo->addItem(name);
        }
        currentModel = model;
        ui->currentChainringsCombo->setCurrentIndex(0);
        ui->newChainringsCombo->setCurrentIndex(0);
    }
    ui->acceptButton->setEnabled(false);
}

// ---- The meter's ring registers ----

QString Tables::chainringCode(int make, int model)
{
    QString maker("0");
    if (make >= 1 && make <= 26) {
        maker = QChar('A' + make - 1);
    } else if (make >= 'A' && make <= 'Z') {
        maker = QChar(make);
    }
    return maker + QString::number(model);
}

QString Tables::chainringName(int make, int model) const
{
    return chainringNames.value(chainringCode(make, model)).toString();
}

int Tables::teethEntry(QComboBox* combo, int teeth)
{
    return combo->findText(QString::asprintf("Z-Mesh %dT", teeth), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void Tables::registerReceived(VelonixPowerMeterDevice*, int location, int length, unsigned char* data)
{
    Log::alert("Tables::registerReceived location:" + String() + location + " length:" + length);
    if (data == nullptr || length != kRingBytes ||
        (location != kUserChainring && location != kFactoryChainring)) {
        return;
    }
    std::array<std::int32_t, 6>& rings = location == kUserChainring ? userRings : factoryRings;
    for (int i = 0; i < kRingBytes; ++i) {
        rings[i] = data[i];
    }
    const QString outerCode = chainringCode(rings[0], rings[1]);
    const QString innerCode = chainringCode(rings[3], rings[4]);

    if (location == kUserChainring) {
        Log::alert("Tables::registerReceived user outer chainring make:" + String() + rings[0] +
                   " model:" + rings[1] + " teeth:" + rings[2]);
        Log::alert("Tables::registerReceived user outer chainring code=" + text(outerCode) +
                   " translates to=" + text(chainringName(rings[0], rings[1])));
        Log::alert("Tables::registerReceived user inner chainring code=" + text(innerCode) +
                   " translates to=" + text(chainringName(rings[3], rings[4])));
        device->queryRegister(kFactoryChainring, kRingBytes);
        return;
    }

    Log::alert("Tables:registerReceived factory outer chainring info: " + String() + rings[0] + "," +
               rings[1] + "," + rings[2]);
    Log::alert("Tables::registerReceived factory outer chainring code=" + text(outerCode) +
               " translates to=" + text(chainringName(rings[0], rings[1])));
    Log::alert("Tables::registerReceived factory inner chainring code=" + text(innerCode) +
               " translates to=" + text(chainringName(rings[3], rings[4])));

    if (meterModel.chainringRegisters) {
        QComboBox* current = ui->currentChainringsCombo;
        const QSignalBlocker blocker(current);
        current->setCurrentIndex(current->count() - 1);
        const int entry = teethEntry(current, userRings[2]);
        if (entry >= 0) {
            Log::alert("Tables::registerReceived changing combo to:" + String() + entry +
                       " equals:" + text(current->itemText(entry)));
            current->setCurrentIndex(entry);
        }
    }
    closeProgress();
}

// ---- The new slope ----

float Tables::factor(int entry) const
{
    const QList<float> factors = ringFactors.value(currentModel);
    return entry >= 1 && entry <= factors.size() ? factors[entry - 1] : 0.0f;
}

void Tables::chainringClicked(int)
{
    if (!ringFactors.contains(currentModel)) {
        return;
    }
    const int current = ui->currentChainringsCombo->currentIndex();
    const int next = ui->newChainringsCombo->currentIndex();
    if (current <= 0 || next <= 0) {
        ui->acceptButton->setEnabled(false);
        return;
    }

    const bool kv7 = meterModel.chainringRegisters;
    // A ring without a usable factor gives no slope at all: nothing to accept.
    const bool lastCurrent = current == ui->currentChainringsCombo->count() - 1;
    const bool lastNext = next == ui->newChainringsCombo->count() - 1;
    const int refused = !lastNext && !(factor(next) > 0.0f)
                            ? next
                            : (!kv7 && !lastCurrent && !(factor(current) > 0.0f) ? current : -1);
    if (refused >= 0) {
        refuseSlope("The chainring data file holds no usable factor for the chainring " +
                    (refused == next ? ui->newChainringsCombo->itemText(next)
                                     : ui->currentChainringsCombo->itemText(current)) +
                    ": no slope can be worked out for it.");
        return;
    }
    // The meter's factory slope belongs to its factory ring: on the KV7 the new slope is scaled from
    // there, which needs the factory ring's factor.
    const int reference = kv7 ? teethEntry(ui->newChainringsCombo, factoryRings[2]) : -1;
    const float referenceFactor = reference >= 0 ? factor(reference) : 0.0f;
    const bool unknownReference = kv7 && !(referenceFactor > 0.0f);
    if (unknownReference) {
        Log::error("Tables::chainringClicked factory chainring teeth:" + String() + factoryRings[2] +
                   " not in the table, the slope will not be changed");
    }
    if (next == ui->newChainringsCombo->count() - 1 ||
        (current == ui->currentChainringsCombo->count() - 1 && !kv7) || unknownReference) {
        percent = 0.0f;
        newSlope = userSlope;
        ui->newSlopeValue->setText(slopeText(newSlope, percent));
        const QString text = kv7 ? "<p>You are switching to an unknown chainring.</p> <p>Your slope will not "
                                   "be changed.</p> <p>You "
                                   "will need to use the \"Calibrate Slope\" option to perform a manual "
                                   "calibration of your power "
                                   "meter with this new ring.</p>"
                                 : "<p>You are switching to or from an unknown chainring.</p> <p>Your slope "
                                   "will not be changed.</p> "
                                   "<p>You will need to use the \"Calibrate Slope\" option to perform a "
                                   "manual calibration of your "
                                   "power meter with this new ring.</p>";
        openMessageBox(QMessageBox::Warning, "Notice", text, QMessageBox::Ok, true);
        ui->acceptButton->setEnabled(true);
        return;
    }

    const float currentFactor = factor(current);
    const float newFactor = factor(next);
    if (!kv7) {
        percent = currentFactor != 0.0f ? (newFactor - currentFactor) * 100.0f / currentFactor : 0.0f;
        newSlope = percent * userSlope * 0.01f + userSlope;
        ui->newSlopeValue->setText(slopeText(newSlope, percent));
    } else {
        percent = (newFactor - referenceFactor) * 100.0f / referenceFactor;
        newSlope = percent * factorySlope * 0.01f + factorySlope;
        const float shown =
            currentFactor != 0.0f ? (newFactor - currentFactor) * 100.0f / currentFactor : 0.0f;
        ui->newSlopeValue->setText(slopeText(newSlope, shown));
    }
    if (!std::isfinite(newSlope) || !Slope::withinMargin(newSlope)) {
        refuseSlope(QString::asprintf("The factors of the chainring data file give a slope of %.2f, far "
                                      "outside the range of 3.00 to 25.00.",
                                      static_cast<double>(newSlope)));
        return;
    }
    ui->acceptButton->setEnabled(true);
}

void Tables::refuseSlope(const QString& why)
{
    Log::error("Tables::chainringClicked the chainring factors give no slope, nothing to accept");
    newSlope = userSlope;
    percent = 0.0f;
    ui->newSlopeValue->setText("--");
    ui->acceptButton->setEnabled(false);
    openMessageBox(QMessageBox::Warning, "Notice",
                   why + "\n\nCorrect the chainring data file, or choose other rings.", QMessageBox::Ok, true,
                   true);
}

void Tables::acceptClicked()
{
    if (!std::isfinite(newSlope) || !(newSlope > 0.0f)) {
        return;
    }
    if (!meterModel.chainringRegisters) {
        Slope::startSetSlope = newSlope;
        mainWindow->backClicked();
        return;
    }

    const int next = ui->newChainringsCombo->currentIndex();
    const QList<QString> codes = ringCodes.value(currentModel);
    const QString code = next >= 1 && next <= codes.size() ? codes[next - 1] : QString();
    const QString ring = ui->newChainringsCombo->currentText();
    const Parse::RingRegister chosen = Parse::ringRegister(code, ring);
    const int make = chosen.make;
    const int model = chosen.model;
    const int teeth = chosen.teeth;
    QString refused;
    if (!chosen.teethFit || teeth > 255) {
        Log::error("Tables::acceptClicked chainring " + text(ring) + " has no teeth count, nothing changed");
        refused = "The chainring " + ring +
                  " has no teeth count that the power meter can store: its name must be \"Z-Mesh \" "
                  "followed by two digits and \"T\".\n\nYour chainring was not changed. Correct the "
                  "ring's name in the chainring data file, or choose another ring.";
    } else if (!chosen.codeFits || model < 0 || model > 255) {
        // A byte can't hold it: writing it would store another ring than the one chosen.
        Log::error("Tables::acceptClicked chainring code " + text(code) +
                   " can't be stored, nothing changed");
        refused = "The chainring " + ring + " has a code (" + code +
                  ") that the power meter can't store.\n\nYour chainring was not changed. Correct the "
                  "ring's code in the chainring data file, or choose another ring.";
    }
    if (!refused.isEmpty()) {
        openMessageBox(QMessageBox::Warning, "Failed", refused, QMessageBox::Ok, true, true);
        return;
    }

    // Kept before the ring goes out: the meter may take the ring and be lost before anything confirms
    // it, and until its slope lands the change is half done. The slope as the Slope page writes it.
    UnfinishedRingChange::Change change;
    change.ring = ring;
    change.make = make;
    change.model = model;
    change.teeth = teeth;
    change.oldMake = userRings[0];
    change.oldModel = userRings[1];
    change.oldTeeth = userRings[2];
    if (std::isfinite(newSlope) && newSlope > 0.0f) {
        change.slope = newSlope;
        Slope::clampSlope(device.get(), change.slope);
    }
    // A change that can't be kept is not made: cut short, it could not be finished later.
    UnfinishedRingChange unfinished(mainWindow->dataFolder());
    if (!unfinished.remember(UnfinishedRingChange::serialNumber(device.get()), change)) {
        Log::error("Tables::acceptClicked the settings file " + text(unfinished.fileName()) +
                   " can't be written, nothing changed");
        openMessageBox(QMessageBox::Warning, "Failed",
                       "The chainring change cannot be made safely: the settings file " +
                           QDir::toNativeSeparators(unfinished.fileName()) +
                           " cannot be written, so a change cut short could not be finished later.\n\n"
                           "Nothing was sent to the power meter. Make the file writable and try again.",
                       QMessageBox::Ok, true, true);
        return;
    }
    // The slope is handed over once the meter has the ring: a ring it never took needs no new slope.
    ringSlope = newSlope;
    Log::alert("Tables::acceptClicked forcing user chainrings to make:" + String() + make +
               " model:" + model + " teeth:" + teeth);
    showProgress("Setting chainring:" + ring);
    unsigned char bytes[3] = {static_cast<unsigned char>(make), static_cast<unsigned char>(model),
                              static_cast<unsigned char>(teeth)};
    device->setRegister(kUserChainring, 3, bytes);
}

void Tables::registerChanged(VelonixPowerMeterDevice*, int location, int length)
{
    Log::alert("Tables::registerChanged location:" + String() + location + " length:" + length);
    closeProgress();
    if (location == kUserChainring && length == 3) {
        if (ringSlope > 0.0f) {
            Slope::startSetSlope = ringSlope;
        }
        mainWindow->backClicked();
    }
}

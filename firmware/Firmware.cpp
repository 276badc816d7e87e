#include "firmware/Firmware.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "ui_firmware.h"

#include <QHideEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

namespace {

// Decoder field of the firmware version (software revision) the meter reports.
constexpr int FIRMWARE_VERSION_FIELD = 5;

const char* const WARNING_TEXT =
    "<p>Firmware updating should NOT be taken lightly.</p> \t\t"
    "<p>If you are on a laptop make sure it is fully charged.</p> \t\t"
    "<p>Your power meter battery should be nearly new.<p> \t\t"
    "</p>You will need a working internet connection to check for firmware.</p> \t\t"
    "<p>Read the help page for details</p>";

} // namespace

Firmware::Firmware(VelonixPowerMeterDevice* device, Pelotune* mainWindow, bool bootloadMode)
    : QWidget(mainWindow), mainWindow(mainWindow), device(device), ui(std::make_unique<Ui_firmware>())
{
    ui->setupUi(this);

    if (bootloadMode) {
        ui->currentValue->setText("None");
    } else {
        ui->checkButton->setEnabled(false);
        ui->checkButton->setText("Waiting for data...");
    }
    ui->uploadButton->setEnabled(false);
    ui->uploadBetaButton->setEnabled(false);

    QMessageBox* warning =
        new QMessageBox(QMessageBox::Information, "Warning", WARNING_TEXT, QMessageBox::NoButton, this);
    warning->setTextFormat(Qt::RichText);
    warning->addButton("I Understand", QMessageBox::AcceptRole);
    warning->setAttribute(Qt::WA_DeleteOnClose);
    warning->setModal(true);
    warning->show();
}

Firmware::~Firmware()
{
    device->removePowerMeterDeviceListener(this);
}

void Firmware::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Minimising and restoring the window is no navigation: the page keeps listening meanwhile.
    if (!event->spontaneous()) {
        device->addPowerMeterDeviceListener(this);
    }
}

void Firmware::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous()) {
        device->removePowerMeterDeviceListener(this);
    }
    QWidget::hideEvent(event);
}

void Firmware::helpClicked()
{
    mainWindow->showHelp("firmware");
}

void Firmware::closed(SportDevice*)
{
    mainWindow->allBack();
}

void Firmware::dataReceived(SportDevice*, int fields)
{
    int version = 0;
    if ((fields & (1 << FIRMWARE_VERSION_FIELD)) && device->sportData &&
        device->sportData->getField(&version, FIRMWARE_VERSION_FIELD)) {
        ui->currentValue->setText(QString::number(version));
        ui->checkButton->setText("Check for Firmware");
        ui->checkButton->setEnabled(true);
    }
}

void Firmware::opened(SportDevice*) {}
void Firmware::calibrateReceived(SportDevice*, bool, int) {}
void Firmware::autozeroChanged(VelonixPowerMeterDevice*) {}
void Firmware::autozeroReceived(VelonixPowerMeterDevice*, int) {}
void Firmware::cadenceChanged(VelonixPowerMeterDevice*) {}
void Firmware::cadenceReceived(VelonixPowerMeterDevice*, int) {}
void Firmware::modeChanged(VelonixPowerMeterDevice*) {}
void Firmware::modeReceived(VelonixPowerMeterDevice*, int) {}
void Firmware::cadenceModeChanged(VelonixPowerMeterDevice*) {}
void Firmware::cadenceModeReceived(VelonixPowerMeterDevice*, int, int) {}
void Firmware::slopeChanged(VelonixPowerMeterDevice*, bool) {}
void Firmware::slopeReceived(VelonixPowerMeterDevice*, float, bool) {}
void Firmware::offsetChanged(VelonixPowerMeterDevice*, bool) {}
void Firmware::offsetReceived(VelonixPowerMeterDevice*, int, bool) {}
void Firmware::directionChanged(VelonixPowerMeterDevice*) {}
void Firmware::directionReceived(VelonixPowerMeterDevice*, bool) {}
void Firmware::cadenceDirectionChanged(VelonixPowerMeterDevice*) {}
void Firmware::cadenceDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void Firmware::torqueDirectionChanged(VelonixPowerMeterDevice*) {}
void Firmware::torqueDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void Firmware::bootloadReceived(VelonixPowerMeterDevice*, int) {}
void Firmware::bootloadChanged(VelonixPowerMeterDevice*) {}
void Firmware::bootloadProgress(VelonixPowerMeterDevice*, int) {}
void Firmware::bootloadFinished(VelonixPowerMeterDevice*, bool) {}
void Firmware::sleepStarted(VelonixPowerMeterDevice*) {}

#include "app/MeterPage.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"

#include <QProgressDialog>
#include <QShowEvent>

using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

MeterPage::MeterPage(VelonixPowerMeterDevice* device, Pelotune* mainWindow)
    : QWidget(mainWindow), mainWindow(mainWindow), device(device)
{
    if (ConnectionWatchdog* watch = mainWindow->meterWatch()) {
        connect(watch, &ConnectionWatchdog::lost, this, [this] { meterLost(); });
    }
}

MeterPage::~MeterPage()
{
    device->removePowerMeterDeviceListener(this);
    // A box without parent would outlive the page.
    delete progress.data();
}

void MeterPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // A show without a hide before it must not make the page hear everything twice.
    device->removePowerMeterDeviceListener(this);
    device->addPowerMeterDeviceListener(this);
    pageShown();
}

void MeterPage::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous()) {
        pageHidden();
        device->removePowerMeterDeviceListener(this);
    }
    QWidget::hideEvent(event);
}

void MeterPage::showProgress(const QString& text, bool parented)
{
    closeProgress();
    progress = new QProgressDialog(text, "Cancel", 0, 0, parented ? this : nullptr);
    progress->setModal(true);
    if (!parented) {
        mainWindow->placeOverWindow(progress);
    }
    progress->show();
}

void MeterPage::closeProgress()
{
    if (progress) {
        progress->close();
        progress->deleteLater();
        progress = nullptr;
    }
}

QMessageBox* MeterPage::openMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                                       QMessageBox::StandardButtons buttons, bool modal)
{
    auto* box = new QMessageBox(icon, title, text, buttons, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(modal);
    box->show();
    return box;
}

void MeterPage::closed(SportDevice*)
{
    mainWindow->allBack();
}

// ---- Callbacks a page has no use for unless it says so ----

void MeterPage::opened(SportDevice*) {}
void MeterPage::dataReceived(SportDevice*, int) {}
void MeterPage::calibrateReceived(SportDevice*, bool, int) {}
void MeterPage::autozeroChanged(VelonixPowerMeterDevice*) {}
void MeterPage::autozeroReceived(VelonixPowerMeterDevice*, int) {}
void MeterPage::cadenceChanged(VelonixPowerMeterDevice*) {}
void MeterPage::cadenceReceived(VelonixPowerMeterDevice*, int) {}
void MeterPage::modeChanged(VelonixPowerMeterDevice*) {}
void MeterPage::modeReceived(VelonixPowerMeterDevice*, int) {}
void MeterPage::cadenceModeChanged(VelonixPowerMeterDevice*) {}
void MeterPage::cadenceModeReceived(VelonixPowerMeterDevice*, int, int) {}
void MeterPage::slopeChanged(VelonixPowerMeterDevice*, bool) {}
void MeterPage::slopeReceived(VelonixPowerMeterDevice*, float, bool) {}
void MeterPage::offsetChanged(VelonixPowerMeterDevice*, bool) {}
void MeterPage::offsetReceived(VelonixPowerMeterDevice*, int, bool) {}
void MeterPage::directionChanged(VelonixPowerMeterDevice*) {}
void MeterPage::directionReceived(VelonixPowerMeterDevice*, bool) {}
void MeterPage::cadenceDirectionChanged(VelonixPowerMeterDevice*) {}
void MeterPage::cadenceDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void MeterPage::torqueDirectionChanged(VelonixPowerMeterDevice*) {}
void MeterPage::torqueDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void MeterPage::bootloadReceived(VelonixPowerMeterDevice*, int) {}
void MeterPage::bootloadChanged(VelonixPowerMeterDevice*) {}
void MeterPage::bootloadProgress(VelonixPowerMeterDevice*, int) {}
void MeterPage::bootloadFinished(VelonixPowerMeterDevice*, bool) {}
void MeterPage::sleepStarted(VelonixPowerMeterDevice*) {}

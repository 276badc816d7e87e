#include "app/MeterPage.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"

#include <QLabel>
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
    // The busy box goes before the page it belongs to is taken apart.
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

void MeterPage::showProgress(const QString& text)
{
    closeProgress();
    progress = new QProgressDialog(this);
    // The text may carry a name from a file or the meter: shown as it stands.
    auto* label = new QLabel(progress);
    label->setTextFormat(Qt::PlainText);
    progress->setLabel(label);
    progress->setLabelText(text);
    progress->setCancelButtonText("Cancel");
    progress->setRange(0, 0);
    progress->setModal(true);
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
                                       QMessageBox::StandardButtons buttons, bool modal, bool plain)
{
    auto* box = new QMessageBox(icon, title, text, buttons, this);
    if (plain) {
        box->setTextFormat(Qt::PlainText);
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(modal);
    box->show();
    return box;
}

void MeterPage::closed(SportDevice*)
{
    mainWindow->allBack();
}

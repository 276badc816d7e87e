#include "firmware/FirmwareUpload.h"

#include "ant/babel/Field.h"
#include "ant/device/BootloadImage.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "core/Log.h"

#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

using rezezaz::core::Log;
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;
using vbabel::data::Field;

namespace {

const char* const NO_BOOTLOADER_TEXT = "No bootloader available.\nThis power meter cannot be updated.";
const char* const FAILED_TEXT =
    "Firmware was not uploaded. Please reset the power meter, replace your battery, and try again.";

// On the window, which outlives the firmware page: a box that deletes itself when closed and
// doesn't block.
QMessageBox* showBox(QWidget* window, const QString& title, const QString& text,
                     QMessageBox::Icon icon = QMessageBox::Warning)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
    return box;
}

void showReportFailure(QWidget* window)
{
    showBox(window, "Network Error", "Unable to upload report.");
}

} // namespace

FirmwareUpload::FirmwareUpload(VelonixPowerMeterDevice* device, Pelotune* mainWindow, QWidget* page,
                               const QByteArray& image, int limitMs, const FirmwareCheckInput& report,
                               const QString& firmwareFolder, const FirmwareServer& server,
                               ConnectionWatchdog* watch)
    : QObject(mainWindow), device(device), mainWindow(mainWindow), image(image), reportInput(report),
      folder(firmwareFolder), server(server), page(page), watch(watch)
{
    limit = new QTimer(this);
    limit->setSingleShot(true);
    limit->setInterval(limitMs);
    connect(limit, &QTimer::timeout, this, &FirmwareUpload::stalled);
    device->addPowerMeterDeviceListener(this);
}

FirmwareUpload::~FirmwareUpload()
{
    device->removePowerMeterDeviceListener(this);
    delete reportBox.data();
    releaseWatch();
}

void FirmwareUpload::releaseWatch()
{
    if (watch && (page.isNull() || !page->isVisible())) {
        watch->hold(false);
    }
}

int FirmwareUpload::deviceField(int id) const
{
    int value = 0;
    if (device->sportData && device->sportData->getField(&value, id)) {
        return value;
    }
    return 0;
}

void FirmwareUpload::start()
{
    state = State::Switching;
    percent = -1;
    // The meter restarts into its bootloader and is silent meanwhile: the upload's own limits hold.
    if (watch) {
        watch->hold(true);
    }
    limit->start();
    if (device->getBootload()) {
        // The upload starts with the meter's next data page.
        waitingForBootloader = true;
        return;
    }
    Log::alert("Firmware::prepareBootload changing device to bootload");
    device->changeBootload();
}

void FirmwareUpload::dataReceived(SportDevice*, int)
{
    // The meter's data is no progress of an upload: a meter that ignores the switch, or a bootloader
    // that never takes the image, keeps sending it.
    int crc = 0;
    if (state == State::Switching && waitingForBootloader && device->sportData &&
        device->sportData->getField(&crc, Field::ImageCrc)) {
        waitingForBootloader = false;
        startBootload();
    }
}

void FirmwareUpload::bootloadChanged(VelonixPowerMeterDevice*)
{
    // The switch is under way, not done: its limit runs on until the bootloader shows.
    if (state == State::Switching) {
        waitingForBootloader = true;
    }
}

void FirmwareUpload::startBootload()
{
    Log::alert("Firmware::startBootload");
    const int crc = deviceField(Field::ImageCrc);
    const int start = deviceField(Field::BootloaderStartAddress);
    const int version = deviceField(Field::BootloaderVersion);
    const int revision = deviceField(Field::BootloadHardwareRevision);
    Log::alert(QString("Firmware::startBootload crc:") + QString("crc:0x%1").arg(crc, 0, 16) +
               QString(" blStart:0x%1").arg(start, 0, 16) + " hwRev:" + QString::number(revision) +
               " blVer:" + QString::number(version));
    // A bootloader that starts where the application must be leaves no room for an image; the meter
    // would refuse it anyway, the user is told why.
    if (!vant::device::validBootloaderStart(start)) {
        Log::alert(QString("Firmware::startBootload no bootloader at start address:0x%1").arg(start, 0, 16));
        state = State::Over;
        limit->stop();
        emit ended(false);
        showBox(mainWindow, "Error", NO_BOOTLOADER_TEXT);
        deleteLater();
        return;
    }
    state = State::Uploading;
    percent = 0;
    limit->start();
    emit uploading();
    device->bootloadData(crc, start, reinterpret_cast<unsigned char*>(image.data()));
}

void FirmwareUpload::bootloadProgress(VelonixPowerMeterDevice*, int value)
{
    if (state != State::Uploading) {
        return;
    }
    if (value > percent) {
        percent = value;
        limit->start();
    }
    emit progressed(value);
}

void FirmwareUpload::bootloadFinished(VelonixPowerMeterDevice*, bool success)
{
    if (state == State::Uploading) {
        end(success);
    }
}

void FirmwareUpload::closed(SportDevice*)
{
    if (uploadRunning()) {
        Log::alert("Firmware::upload the meter's channel closed");
        end(false);
    }
}

void FirmwareUpload::stalled()
{
    if (!uploadRunning()) {
        return;
    }
    if (percent < 0) {
        Log::alert(QString("Firmware::uploadStalled no progress switching to the bootloader for %1 ms")
                       .arg(limit->interval()));
    } else {
        Log::alert(QString("Firmware::uploadStalled no progress uploading at %1% for %2 ms")
                       .arg(percent)
                       .arg(limit->interval()));
    }
    end(false);
}

void FirmwareUpload::end(bool success)
{
    limit->stop();
    state = State::Over;
    image.clear();
    emit ended(success);
    if (success) {
        successBox = showBox(mainWindow, "Success!",
                             "Firmware uploaded. Please reconnect to the power meter after Pelotune resets.",
                             QMessageBox::Information);
        report();
        return;
    }
    showBox(mainWindow, "Failed", FAILED_TEXT);
    deleteLater();
}

void FirmwareUpload::report()
{
    Log::alert("Firmware::reportSuccessfulUpload");
    state = State::Reporting;
    // The meter restarts after the upload and its channel may close before the server answers: the
    // pages go, the report does not.
    if (watch) {
        watch->hold(true);
    }
    delete reportBox.data();
    reportBox = new QProgressDialog("Reporting successful upload", "Cancel", 0, 0, mainWindow);
    reportBox->setModal(true);
    reportBox->setMinimumDuration(0);
    // "Cancel" only closes the box: the report goes on.
    connect(reportBox, &QProgressDialog::canceled, reportBox, &QObject::deleteLater);
    reportBox->show();

    auto* checker = new FirmwareChecker(reportInput, folder, nullptr, server);
    // Queued: the job emits on its own thread.
    connect(checker, &FirmwareChecker::networkError, this, &FirmwareUpload::networkError);
    connect(checker, &FirmwareChecker::finished, this, &FirmwareUpload::reportComplete);
    mainWindow->keepJob(FirmwareChecker::start(checker, &FirmwareChecker::reportSuccessfulUpload));
}

void FirmwareUpload::reportComplete()
{
    if (reportBox) {
        reportBox->close();
        reportBox->deleteLater();
    }
    if (reportFailed) {
        // The upload's result is read first: the report's failure comes once its box is closed.
        if (successBox && successBox->isVisible()) {
            Pelotune* window = mainWindow;
            connect(
                successBox.data(), &QDialog::finished, window, [window] { showReportFailure(window); },
                Qt::QueuedConnection);
        } else {
            showReportFailure(mainWindow);
        }
    }
    state = State::Over;
    deleteLater();
    mainWindow->allBack();
}

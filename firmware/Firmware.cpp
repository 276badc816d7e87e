#include "firmware/Firmware.h"

#include "ant/babel/Field.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Implementer.h"
#include "app/Pelotune.h"
#include "app/TrustedCertificates.h"
#include "core/Log.h"
#include "firmware/FirmwareChecker.h"
#include "firmware/FirmwareImageFile.h"
#include "firmware/FirmwareUpload.h"
#include "firmware/HardwareRevisionQuery.h"
#include "ui_firmware.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHideEvent>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QSslSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

using rezezaz::core::Log;
using vbabel::data::Field;
using vbabel::data::fieldBit;
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

namespace {

const char* const WARNING_TEXT =
    "<p>Firmware updating should NOT be taken lightly.</p> \t\t"
    "<p>If you are on a laptop make sure it is fully charged.</p> \t\t"
    "<p>Your power meter battery should be nearly new.<p> \t\t"
    "</p>You will need a working internet connection to check for firmware.</p> \t\t"
    "<p>Read the help page for details</p>";

const char* const NO_BOOTLOADER_TEXT = "No bootloader available.\nThis power meter cannot be updated.";
const char* const BETA_SUBJECT = "Pelotune:beta firmware request";

// A box that deletes itself when closed and doesn't block. Its text is shown as it stands: the mail
// to copy carries the installation's identifier.
void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
}

} // namespace

Firmware::Firmware(VelonixPowerMeterDevice* device, Pelotune* mainWindow, bool bootloadMode,
                   int uploadSilenceLimitMs)
    : QWidget(mainWindow), mainWindow(mainWindow), device(device), ui(std::make_unique<Ui_firmware>()),
      uploadLimitMs(uploadSilenceLimitMs)
{
    ui->setupUi(this);
    connect(ui->checkButton, &QPushButton::clicked, this, &Firmware::checkForFirmware);
    connect(ui->requestBetaButton, &QPushButton::clicked, this, &Firmware::requestBetaFirmware);
    connect(ui->uploadButton, &QPushButton::clicked, this, &Firmware::uploadFirmware);
    connect(ui->uploadBetaButton, &QPushButton::clicked, this, &Firmware::uploadBetaFirmware);
    connect(ui->releaseNotesButton, &QPushButton::clicked, this, &Firmware::releaseNotesClicked);

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

    const QString dataFolder = mainWindow->dataFolder();
    QFile uuidFile(dataFolder + "/uuid");
    if (uuidFile.exists()) {
        // A text that is no UUID gives the null one, for as long as the file stays.
        if (uuidFile.open(QIODevice::ReadOnly)) {
            uuid = QUuid::fromString(QString::fromLatin1(uuidFile.readAll()));
        }
    } else {
        uuid = QUuid::createUuid();
        if (!uuidFile.open(QIODevice::WriteOnly) || uuidFile.write(uuid.toString().toLatin1()) != 38) {
            Log::alert("Firmware::Firmware unable to write the uuid file");
        }
    }
    uuidFile.close();
    Log::alert("Firmware::Firmware using UUID:" + getUUIDString());

    firmwareFolder = QDir::toNativeSeparators(dataFolder + "/firmware");
    QDir().mkpath(firmwareFolder);
    Log::alert("Firmware::Firmware using firmware folder:" + firmwareFolder);

    if (QSslSocket::supportsSsl()) {
        Log::alert("Firmware::Firmware SSL sockets supported. Loading root certificates.");
        TrustedCertificates::addBundleToDefault("Firmware::Firmware");
    } else {
        Log::alert("Firmware::Firmware SSL sockets not supported. Firmware updates may fail.");
    }

    revisionQuery = std::make_shared<HardwareRevisionQuery>([this] { return hardwareRevision(); });
    noteSerialNumber();
}

Firmware::~Firmware()
{
    // A job waiting for the hardware revision gets 0; every job ends, and what it would still send is
    // dropped with this page.
    revisionQuery->detach();
    for (const QPointer<QThread>& job : jobs) {
        if (!job.isNull()) {
            job->quit();
            job->wait();
            delete job.data();
        }
    }
    device->removePowerMeterDeviceListener(this);
}

void Firmware::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Minimising and restoring the window is no navigation: the page keeps listening meanwhile.
    if (!event->spontaneous()) {
        device->addPowerMeterDeviceListener(this);
        device->doQueryBootload();
        // The page has limits of its own for its upload, the meter's restarts among it.
        // Kept here: the page may be hidden while the window goes.
        watch = mainWindow->meterWatch();
        if (watch) {
            watch->hold(true);
        }
    }
}

void Firmware::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous()) {
        device->removePowerMeterDeviceListener(this);
        uploadAwaitsAnswer = false;
        // An upload keeps it held until its end.
        if (watch && !uploadRunning()) {
            watch->hold(false);
        }
    }
    QWidget::hideEvent(event);
}

QString Firmware::getUUIDString() const
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

int Firmware::hardwareRevision()
{
    return device->getManufacturerVersion();
}

int Firmware::deviceField(int id) const
{
    int value = 0;
    if (device->sportData && device->sportData->getField(&value, id)) {
        return value;
    }
    return 0;
}

void Firmware::noteSerialNumber()
{
    const int told = deviceField(Field::SerialNumber);
    if (told != 0) {
        serialNumber = static_cast<quint32>(told);
    }
}

void Firmware::setFirmware(const QString& fileName, int version, bool isBeta)
{
    if (isBeta) {
        betaFile = fileName;
        betaVersion = version;
    } else {
        releaseFile = fileName;
        releaseVersion = version;
    }
}

void Firmware::setNetworkError()
{
    networkError = true;
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
    noteSerialNumber();
    int version = 0;
    if ((fields & fieldBit(Field::SoftwareRevision)) && device->sportData &&
        device->sportData->getField(&version, Field::SoftwareRevision)) {
        ui->currentValue->setText(QString::number(version));
        ui->checkButton->setText("Check for Firmware");
        ui->checkButton->setEnabled(true);
    }
}

// ---- Progress boxes ----

void Firmware::showBusyBox(const QString& text)
{
    closeProgressBox();
    progress = new QProgressDialog(text, "Cancel", 0, 0, this);
    progress->setModal(true);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    // "Cancel" only closes the box: whatever runs behind it goes on.
    connect(progress, &QProgressDialog::canceled, this, &Firmware::closeProgressBox);
    progress->show();
}

void Firmware::showProgressBox(const QString& text)
{
    showBusyBox(text);
    progress->setRange(0, 100);
    progress->setValue(0);
}

void Firmware::closeProgressBox()
{
    if (progress == nullptr) {
        return;
    }
    progress->disconnect(this);
    progress->close();
    progress->deleteLater();
    progress = nullptr;
}

// ---- Check for firmware ----

void Firmware::checkForFirmware()
{
    Log::alert("Firmware::checkForFirmware");
    // Only what this check chooses is offered: an image of an earlier check may be gone from the cache.
    betaFile.clear();
    releaseFile.clear();
    betaVersion = 0;
    releaseVersion = 0;
    ui->uploadButton->setEnabled(false);
    ui->uploadBetaButton->setEnabled(false);
    showBusyBox("Checking for the latest firmware");
    jobs.removeAll(QPointer<QThread>());
    jobs.append(startJob(&FirmwareChecker::checkFirmware, &Firmware::checkComplete));
}

FirmwareServer Firmware::server() const
{
    FirmwareServer where;
    if (!mainWindow->firmwareServer().isEmpty()) {
        where.url = mainWindow->firmwareServer();
    }
    return where;
}

QThread* Firmware::startJob(void (FirmwareChecker::*job)(), void (Firmware::*complete)())
{
    FirmwareCheckInput input;
    input.uuid = getUUIDString();
    // After the switch into the bootloader the meter's decoder no longer has the serial number: the
    // one it told before is reported.
    noteSerialNumber();
    input.serialNumber = serialNumber;
    input.uploadedImageName = uploadingBeta ? betaFile : releaseFile;
    auto* checker = new FirmwareChecker(input, firmwareFolder, revisionQuery, server());
    // Queued: the job emits on its own thread.
    connect(checker, &FirmwareChecker::firmwareChosen, this, &Firmware::setFirmware);
    connect(checker, &FirmwareChecker::networkError, this, &Firmware::setNetworkError);
    connect(checker, &FirmwareChecker::finished, this, complete);
    return FirmwareChecker::start(checker, job);
}

void Firmware::checkComplete()
{
    closeProgressBox();
    if (networkError) {
        networkError = false;
        showBox(this, QMessageBox::Warning, "Network Error",
                "Unable to download new firmware. Cached firmware will be used if available.");
    }
    if (betaVersion > 0) {
        ui->betaValue->setText(QString::number(betaVersion));
        ui->uploadBetaButton->setEnabled(true);
    }
    if (releaseVersion > 0) {
        ui->availableValue->setText(QString::number(releaseVersion));
        ui->uploadButton->setEnabled(true);
    }
}

// ---- Upload ----

bool Firmware::extractFirmwareImage(QByteArray& image, const QString& fileName)
{
    Log::alert("Firmware::extractFirmwareImage");
    QFile file(QDir::toNativeSeparators(firmwareFolder + "/" + fileName));
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        Log::alert("Firmware::extractFirmwareImage unable to open file:" + fileName);
        return false;
    }
    if (!FirmwareImageFile::decode(file, image)) {
        return false;
    }
    // The upload takes one whole program space; anything else is a damaged or foreign file.
    if (image.size() != FirmwareImageFile::IMAGE_SIZE) {
        Log::alert(QString("Firmware::extractFirmwareImage firmware has %1 bytes, not %2")
                       .arg(image.size())
                       .arg(FirmwareImageFile::IMAGE_SIZE));
        return false;
    }
    return true;
}

void Firmware::uploadFirmware()
{
    upload(false);
}

void Firmware::uploadBetaFirmware()
{
    upload(true);
}

bool Firmware::uploadRunning() const
{
    // Also one that an earlier page started: the meter takes one upload at a time.
    for (FirmwareUpload* running :
         mainWindow->findChildren<FirmwareUpload*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (running->underWay()) {
            return true;
        }
    }
    return false;
}

void Firmware::upload(bool beta)
{
    if (uploadRunning()) {
        // Its box was closed with "Cancel"; the upload goes on.
        Log::alert("Firmware::upload already under way");
        return;
    }
    uploadingBeta = beta;
    // Nothing of a file that failed is uploaded, nor an image left from before.
    if (!extractFirmwareImage(image, beta ? betaFile : releaseFile)) {
        image.clear();
    }
    prepareBootload();
}

FirmwareUpload* Firmware::makeUpload()
{
    FirmwareCheckInput input;
    input.uuid = getUUIDString();
    // After the switch into the bootloader the meter's decoder no longer has the serial number: the
    // one it told before is reported.
    noteSerialNumber();
    input.serialNumber = serialNumber;
    input.uploadedImageName = uploadingBeta ? betaFile : releaseFile;
    auto* upload = new FirmwareUpload(device.get(), mainWindow, this, image, uploadLimitMs, input,
                                      firmwareFolder, server(), watch);
    connect(upload, &FirmwareUpload::uploading, this, [this] { showProgressBox("Uploading Firmware"); });
    connect(upload, &FirmwareUpload::progressed, this, [this](int percent) {
        if (progress != nullptr) {
            progress->setValue(percent);
        }
    });
    connect(upload, &FirmwareUpload::ended, this, &Firmware::closeProgressBox);
    return upload;
}

void Firmware::prepareBootload()
{
    Log::alert("Firmware::prepareBootload");
    showBusyBox("Preparing bootloader...");
    if (image.isEmpty()) {
        closeProgressBox();
        showBox(this, QMessageBox::Warning, "Error", "No firmware image was loaded.");
        Log::alert("Firmware::prepareBootload no firmware image");
        return;
    }
    if (!device->getBootload() && !bootloaderAnswered) {
        // Asked before the meter answered the query of its bootloader: decided once it has, with the
        // busy box up meanwhile (the meter repeats an unanswered query itself).
        Log::alert("Firmware::prepareBootload waiting for the bootloader version");
        uploadAwaitsAnswer = true;
        return;
    }
    if (!device->getBootload() && (bootloaderVersion == 0 || bootloaderVersion == 0xFFFF)) {
        closeProgressBox();
        showBox(this, QMessageBox::Warning, "Error", NO_BOOTLOADER_TEXT);
        Log::alert("Firmware::prepareBootload no bootloader");
        return;
    }
    // The upload belongs to the window from here on: it ends, and is reported, also when the user
    // leaves this page.
    makeUpload()->start();
}

void Firmware::bootloadReceived(VelonixPowerMeterDevice*, int version)
{
    bootloaderVersion = version;
    bootloaderAnswered = true;
    if (uploadAwaitsAnswer) {
        uploadAwaitsAnswer = false;
        prepareBootload();
    }
}

void Firmware::reportSuccessfulUpload()
{
    closeProgressBox();
    makeUpload()->report();
}

// ---- Release notes and beta request ----

void Firmware::releaseNotesClicked()
{
    // The box runs its own event loop, in which the window may take this page down (the stick
    // pulled): the box belongs to the window, which outlives the page, and nothing of the page is
    // used after it.
    const QMessageBox::StandardButton answer = QMessageBox::information(
        mainWindow, "Firmware Release Notes", "You will be redirected to the Velonix web site.",
        QMessageBox::Ok | QMessageBox::Cancel);
    if (answer == QMessageBox::Ok) {
        QDesktopServices::openUrl(QUrl(FIRMWARE_UPDATES_URL));
    }
}

void Firmware::requestBetaFirmware()
{
    const QString body = "User's UUID:" + getUUIDString();
    const QString address = QString("mailto:") + VELONIX_EMAIL + "?subject=" + BETA_SUBJECT + "&body=" + body;
    if (!QDesktopServices::openUrl(QUrl(address))) {
        showBox(this, QMessageBox::Warning, "No email client found",
                QString("Please copy the following message into an email to: ") + VELONIX_EMAIL +
                    "\nWith the subject: " + BETA_SUBJECT + "\nThank you!\n\n" + body);
    }
}

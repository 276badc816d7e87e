#pragma once

#include "app/ConnectionWatchdog.h"
#include "app/MeterListener.h"
#include "core/IntrusivePointer.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <memory>

class FirmwareChecker;
class FirmwareUpload;
struct FirmwareServer;
class HardwareRevisionQuery;
class Pelotune;
class QProgressDialog;
class QThread;
class Ui_firmware;

namespace vant::device {
class SportDevice;
class VelonixPowerMeterDevice;
} // namespace vant::device

// The firmware page of a connected power meter: shows the firmware version the meter reports, checks
// the firmware server for newer images (each check and each upload report a FirmwareChecker job on a
// thread of its own), uploads the newest fitting release or beta image through the meter's
// bootloader, then reports the upload. The upload itself runs on the GUI thread, driven by the meter's
// callbacks from the window's pump, and shows its progress. The main window opens the page for a meter
// found in its bootloader, the meter's home page for a meter running its firmware; either pushes it
// on the main window's page stack, which owns it from then on. It holds its own reference to the
// meter for as long as it lives and listens to the meter while it is shown. When it goes, its running
// checks are told to quit and waited for, and nothing they would still send reaches it. The upload
// and its report (a FirmwareUpload) belong to the main window, so that the user sees the result and
// the server hears of it also when the page is left during the upload or the meter's reset takes it
// down first.
class Firmware : public QWidget, public MeterListener
{
    Q_OBJECT

public:
    // `bootloadMode`: the meter was opened with the bootloader's channel settings and answers only in
    // its bootloader, so no firmware version will come and the check is possible at once.
    // `uploadSilenceLimitMs`: how long each phase of an upload may go without progress before it fails.
    Firmware(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, bool bootloadMode,
             int uploadSilenceLimitMs = UPLOAD_SILENCE_LIMIT_MS);
    ~Firmware() override;

    Firmware(const Firmware&) = delete;
    Firmware& operator=(const Firmware&) = delete;

    // Well beyond the longest the meter is silent in an upload that still succeeds: every retry of a
    // failed burst, and the bootloader's restart after the switch.
    static constexpr int UPLOAD_SILENCE_LIMIT_MS = 30000;

    // This installation's identifier: 36 upper-case characters, without braces.
    QString getUUIDString() const;
    // The meter's hardware revision; what a check job asks, answered on this page's thread.
    int hardwareRevision();
    // Decodes the image file `fileName` of the firmware folder into `image`; false (logged) when it
    // cannot be read or decoded, or when it does not give exactly one whole program space.
    bool extractFirmwareImage(QByteArray& image, const QString& fileName);
    // Checks that the upload can start, then starts it: into the bootloader, then the upload itself.
    void prepareBootload();

    // vant::device::SportDeviceListener
    // The meter's channel closed: back to the menu.
    void closed(vant::device::SportDevice* device) override;
    // Shows the firmware version once the meter has reported it, and allows the check.
    void dataReceived(vant::device::SportDevice* device, int fields) override;

    // vant::device::VelonixPowerMeterDeviceListener
    void bootloadReceived(vant::device::VelonixPowerMeterDevice* device, int version) override;

public slots:
    // A check job chose an image; queued from its thread.
    void setFirmware(const QString& fileName, int version, bool isBeta);
    // An exchange of a job failed; queued from its thread.
    void setNetworkError();

    void checkForFirmware();
    void checkComplete();
    void requestBetaFirmware();
    void uploadFirmware();
    void uploadBetaFirmware();
    // Reports the upload just made; the report, and the return to the menu after it, belong to the
    // main window.
    void reportSuccessfulUpload();
    void releaseNotesClicked();
    // Wired by the main window's Help button: the help topic "firmware".
    void helpClicked();

protected:
    // The page listens to the meter only while it is shown.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void upload(bool beta);
    // True while an upload runs on the meter or reports its success, this page's or an earlier one's.
    bool uploadRunning() const;
    // An upload of `image` that shows its progress on this page while it lives.
    FirmwareUpload* makeUpload();
    FirmwareServer server() const;
    // Starts a checker job and returns its thread; `complete` is called when it is over.
    QThread* startJob(void (FirmwareChecker::*job)(), void (Firmware::*complete)());
    void showBusyBox(const QString& text);
    void showProgressBox(const QString& text);
    void closeProgressBox();
    int deviceField(int id) const;
    // Keeps the serial number the meter has told, which its bootloader does not tell.
    void noteSerialNumber();

    Pelotune* mainWindow; // not owned
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    QProgressDialog* progress = nullptr;
    std::unique_ptr<Ui_firmware> ui;
    bool uploadingBeta = false;
    QString betaFile;
    QString releaseFile;
    int betaVersion = 0;
    int releaseVersion = 0;
    QUuid uuid;
    QByteArray image;
    int bootloaderVersion = 0;
    // The meter answered the bootloader query since the page was shown; until then an upload asked
    // for waits for the answer (`uploadAwaitsAnswer`) rather than take the version for 0.
    bool bootloaderAnswered = false;
    bool uploadAwaitsAnswer = false;
    bool networkError = false;

    QString firmwareFolder;
    // The meter's serial number as it told it while running its firmware; 0 until then.
    quint32 serialNumber = 0;
    // How long each phase of an upload may go without progress.
    int uploadLimitMs;
    // The connection's watchdog, held while the page is shown (and by an upload while it runs).
    QPointer<ConnectionWatchdog> watch;
    // Shared with the jobs, which may outlive the page.
    std::shared_ptr<HardwareRevisionQuery> revisionQuery;
    QList<QPointer<QThread>> jobs;
};

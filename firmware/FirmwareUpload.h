#pragma once

#include "app/ConnectionWatchdog.h"
#include "app/MeterListener.h"
#include "core/IntrusivePointer.h"
#include "firmware/FirmwareChecker.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class Pelotune;
class QMessageBox;
class QProgressDialog;
class QTimer;

namespace vant::device {
class SportDevice;
class VelonixPowerMeterDevice;
} // namespace vant::device

// One firmware upload, from the switch into the meter's bootloader to the report of its success.
// The firmware page starts it and shows its progress while it is shown, but the upload belongs to the
// main window (its parent): a user who cancels the progress box and goes back still sees the
// result, "Success!" or "Failed", on the window, and the server still hears of a successful upload.
// Each phase (the switch into the bootloader, then each step of the upload) has a limit on progress;
// at the limit the upload fails. After a success the report runs as a job the window keeps; its end
// takes the window back to its first pages. The object deletes itself when it is over.
class FirmwareUpload : public QObject, public MeterListener
{
    Q_OBJECT

public:
    // `image`: the 65,536 bytes to upload. `report`: what the report of a success names. `watch`: the
    // connection's watchdog, held while the upload and its report run (the meter restarts on purpose);
    // `page`, the firmware page, holds it itself while it is shown.
    FirmwareUpload(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, QWidget* page,
                   const QByteArray& image, int limitMs, const FirmwareCheckInput& report,
                   const QString& firmwareFolder, const FirmwareServer& server, ConnectionWatchdog* watch);
    ~FirmwareUpload() override;

    FirmwareUpload(const FirmwareUpload&) = delete;
    FirmwareUpload& operator=(const FirmwareUpload&) = delete;

    // Into the bootloader (unless the meter is there already), then the upload with its next data page.
    void start();
    // Reports the successful upload to the server, then goes back to the window's first pages.
    void report();
    // From start() until the end of the report that follows a success: the meter takes no other
    // upload meanwhile, and its restart after the upload is no loss.
    bool underWay() const { return state != State::Idle && state != State::Over; }

    // vant::device::SportDeviceListener
    // The meter's channel closed: the upload cannot go on.
    void closed(vant::device::SportDevice* device) override;
    // The bootloader's first data page starts the upload.
    void dataReceived(vant::device::SportDevice* device, int fields) override;

    // vant::device::VelonixPowerMeterDeviceListener
    void bootloadChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void bootloadProgress(vant::device::VelonixPowerMeterDevice* device, int percent) override;
    void bootloadFinished(vant::device::VelonixPowerMeterDevice* device, bool success) override;

signals:
    // The bootloader is there: the upload itself begins, at 0%.
    void uploading();
    void progressed(int percent);
    // The upload is over, the result box is up; after a success the report follows.
    void ended(bool success);

private:
    enum class State
    {
        Idle,
        Switching, // into the bootloader, waiting for its first data page
        Uploading,
        Reporting,
        Over
    };

    // Into the bootloader or uploading: the upload's result is still to come.
    bool uploadRunning() const { return state == State::Switching || state == State::Uploading; }
    void startBootload();
    // The upload ends: the result on the window, then the report or the end of this object.
    void end(bool success);
    void stalled();
    void reportComplete();
    void networkError() { reportFailed = true; }
    // Lets the connection's watchdog count silence again, unless the firmware page holds it.
    void releaseWatch();
    int deviceField(int id) const;

    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    Pelotune* mainWindow; // the owner
    QByteArray image;
    FirmwareCheckInput reportInput;
    QString folder;
    FirmwareServer server;
    QPointer<QWidget> page;
    QPointer<ConnectionWatchdog> watch;
    State state = State::Idle;
    bool waitingForBootloader = false;
    // The percentage reached; -1 while the meter switches into its bootloader.
    int percent = -1;
    bool reportFailed = false;
    QTimer* limit = nullptr; // child
    QPointer<QProgressDialog> reportBox;
    QPointer<QMessageBox> successBox; // the window's, until the user closes it
};

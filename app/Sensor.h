#pragma once

#include "ant/device/PowerMeterModel.h"
#include "app/MeterListener.h"
#include "core/IntrusivePointer.h"

#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class ConnectionWatchdog;
class Pelotune;
class QProgressDialog;
class QTimer;
class Ui_sensor;

namespace vant::device {
class SportDevice;
class VelonixPowerMeterDevice;
} // namespace vant::device

// The home page of a connected power meter: its device number, software revision and live power,
// cadence, torque and revolutions, and the buttons to every other page of the meter. The first time
// it is shown it brings the meter into shape (power balance on, BLE on for the model that has it, the
// cadence mode the program needs); every later show verifies the cadence mode again, and for the KV7
// model the chainring registers, whose ring it lets the user change with the slope rescaled to match.
// A watchdog declares the meter lost when it stops answering, and another one when it falls silent
// under any of its pages. The main window creates it once a
// meter is opened and owns it on its page stack; the page holds its own reference to the meter.
class Sensor : public QWidget, public MeterListener
{
    Q_OBJECT

public:
    // Milliseconds of a steady clock; the stale-data rule measures with it.
    using Clock = std::function<std::int64_t()>;

    // `clock` empty takes the system's millisecond clock.
    Sensor(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, Clock clock = {});
    ~Sensor() override;

    Sensor(const Sensor&) = delete;
    Sensor& operator=(const Sensor&) = delete;

    // vant::device::SportDeviceListener
    // The meter's channel closed: back to the menu without a message.
    void closed(vant::device::SportDevice* device) override;
    void dataReceived(vant::device::SportDevice* device, int fields) override;
    void calibrateReceived(vant::device::SportDevice* device, bool passed, int value) override;

    // vant::device::VelonixPowerMeterDeviceListener
    void cadenceModeChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceModeReceived(vant::device::VelonixPowerMeterDevice* device, int cadence, int mode) override;
    void slopeChanged(vant::device::VelonixPowerMeterDevice* device, bool factory) override;
    void slopeReceived(vant::device::VelonixPowerMeterDevice* device, float slope, bool factory) override;
    void pedalBalanceChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void pedalBalanceReceived(vant::device::VelonixPowerMeterDevice* device, bool on) override;
    void registerChanged(vant::device::VelonixPowerMeterDevice* device, int location, int length) override;
    void registerReceived(vant::device::VelonixPowerMeterDevice* device, int location, int length,
                          unsigned char* data) override;
    void bootloadReceived(vant::device::VelonixPowerMeterDevice* device, int version) override;
    // The meter went to sleep (after the BLE fix): the connection ends with a message.
    void sleepStarted(vant::device::VelonixPowerMeterDevice* device) override;

signals:
    // Declared for pages that want to hear of a lost meter; nothing emits it.
    void disconnect();

public slots:
    // The meter is taken as lost: tells the user and returns to the menu.
    void disconnected();
    // Asks the meter for its ANT+ zero calibration.
    void setZero();
    // The pages of the meter's information, settings, slope and diagnostics.
    void info();
    void settings();
    void slope();
    void diagnostics();
    // The firmware page, for a meter that runs its firmware.
    void firmware();
    // The watchdog ran out: writes the cadence mode the program needs and waits 5000 ms for a reply.
    // While the connection is held (a firmware upload or its report under way, the meter in its
    // bootloader) it judges nothing and asks again once the hold ends.
    void forceCadenceMode();
    // The chainring combo's selection: asks the user to confirm a change of ring.
    void velcoriaChainringSelected(QString text);
    // The answer to that question: writes the new ring, or puts the old one back.
    void velcoriaChainringChange(int result);
    // The help topic of the page: "sensorKV7" for the KV7 model, else "sensor".
    void helpClicked();
    // Chainring data download; the download is switched off, so it goes on with updateFinished().
    void updateChainringData();
    // Goes on with the verification: chainring registers for the KV7 model, else the cadence mode.
    void updateFinished();

protected:
    // Listens to the meter and starts the verification (and the watchdog) on every show.
    void showEvent(QShowEvent* event) override;
    // Stops listening and stops the watchdog; the busy box stays.
    void hideEvent(QHideEvent* event) override;

private:
    // Closes the busy box (if any) and schedules its deletion.
    void closeProgress();
    // Replaces the busy box by a new modal one with `text` and "Cancel", shown at once.
    void showProgress(const QString& text);
    // The busy box of the verification, the meter asked for its cadence mode and the watchdog on it;
    // while the connection is held, only noted for the end of the hold.
    void verify();
    // The second wait ran out: the meter is lost, unless the connection is held meanwhile.
    void cadenceModeUnanswered();
    // The connection's hold ended: a verification put off meanwhile runs now.
    void holdReleased();
    // Stops the watchdog (if any) and schedules its deletion.
    void stopWatchdog();
    // Starts a new single-shot watchdog of `interval` ms that calls `slot` when it runs out.
    void startWatchdog(int interval, void (Sensor::*slot)());
    // Runs every second while the page is shown and the meter's data comes: the stale rule without
    // new data.
    void checkSilence();
    // First connection verified: a ring change of this meter that was cut short is looked at against
    // the ring (and, when it is known, the slope) the meter now holds.
    void checkUnfinishedRingChange();
    // The meter holds the new ring `ring` without its slope: tells the user and offers to finish the
    // change with `slope`, or with the slope worked out from the factory slope when it is 0.
    void offerUnfinishedRingChange(const QString& ring, float slope);
    // The connection's watchdog heard nothing for `silenceMs`, on whatever page is shown.
    void meterSilent(qint64 silenceMs);
    // True when unchanged values count as stale at `now` (a change was seen, and the deadline passed).
    bool stale(std::int64_t now) const;
    void showValues(float power, float cadence, float torque, int revolutions);
    // Opens a modal, non-blocking box that deletes itself when closed. A message that carries text
    // of a file, the meter or a server is `plain`: shown as it stands, never as markup.
    QMessageBox* openMessageBox(QMessageBox::Icon icon, const QString& title, const QString& message,
                                QMessageBox::StandardButtons buttons, bool plain = false);
    // The slope that goes with ring entry `entry` for a meter of factory slope `factorySlope`,
    // limited to the user slope range; false with `why` set when the ring's factors give none.
    bool ringSlope(int entry, float factorySlope, float& slope, QString& why) const;
    // The ring list's choice is not written: the old ring is selected again and a box says `why`.
    void refuseRing(const QString& why);
    // Writes `slope` as the user slope behind the busy box; a slope the meter's device refuses
    // closes the box and says so.
    void writeUserSlope(float slope);
    // The chainring choices of the KV7 model from the chainring data file, then the user chainring read.
    void fillChainrings();
    // Selects a combo entry without reporting the selection as the user's.
    void selectChainring(int index);
    // The index of the combo entry named after `teeth` ("Z-Mesh 34T"), or -1.
    int chainringEntryForTeeth(int teeth);
    // The name of the chainring code of a register's make and model bytes.
    QString chainringCode(int make, int model) const;
    // The production-flags register byte: BLE on, or on to the next step.
    void productionFlagsReceived(int flags);
    // The user (0x60) or factory (0x42) chainring register.
    void chainringReceived(int location, const unsigned char* data);
    // First connection: the step after the power balance (bootloader version, or the BLE check).
    void afterPowerBalance(const char* bleLogText);

    Pelotune* mainWindow; // not owned
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    std::unique_ptr<Ui_sensor> ui;
    QProgressDialog* progress = nullptr;
    QTimer* watchdog = nullptr;
    QTimer* silenceCheck = nullptr;                // owned; runs from the first data after a show to a hide
    ConnectionWatchdog* connectionWatch = nullptr; // owned; runs for the page's whole life
    std::int32_t lastCadenceMode = 0;
    bool versionPending = true;
    bool manufacturerPending = true;
    bool firstConnection = true;
    // Settled by the first manufacturer data, with the button texts.
    vant::device::PowerMeterModel meterModel;
    bool bleFixPending = false;
    float lastPower = 0.0f;
    float lastTorque = 0.0f;
    float lastCadence = 0.0f;
    std::int32_t lastRevolutions = 0;
    std::int32_t bootloaderVersion = 0;
    std::int64_t staleDeadline = 0;
    std::int64_t lastChangeTime = 0;
    QList<QString> chainringCodes;
    QList<float> chainringFactors;
    std::int32_t chainringIndex = 0;
    std::int32_t userMake = 0;
    std::int32_t userModel = 0;
    std::int32_t userTeeth = 0;
    std::int32_t factoryMake = 0;
    std::int32_t factoryModel = 0;
    std::int32_t factoryTeeth = 0;
    QMap<QString, QVariant> chainringNames;
    bool userRingRead = false;         // the user chainring register has been read since the page was made
    bool unfinishedSlopeCheck = false; // the user slope was asked for to look at an unfinished ring change
    bool verifyAfterHold = false;      // a verification waits for the end of the connection's hold
    int pendingRing = -1;              // the ring entry whose slope the factory slope asked for decides
    float pendingSlope = 0.0f;         // the slope to write once the ring written is confirmed; 0 for none
    unsigned char pendingBytes[3] = {0, 0, 0}; // the ring register being written
    Clock clock;
};

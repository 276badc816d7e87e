#pragma once

#include "ant/device/VelonixPowerMeterDeviceListener.h"
#include "core/IntrusivePointer.h"

#include <QWidget>

#include <memory>

class Pelotune;
class Ui_firmware;

namespace vant::device {
class SportDevice;
class VelonixPowerMeterDevice;
} // namespace vant::device

// The firmware page of a connected power meter: shows the firmware version the meter reports and
// holds the buttons that check for, and upload, new firmware. The main window opens it for a meter
// found in its bootloader, the meter's home page for a meter running its firmware; either pushes it
// on the main window's page stack, which owns it from then on. It holds its own reference to the
// meter for as long as it lives and listens to the meter while it is shown.
class Firmware : public QWidget, public vant::device::VelonixPowerMeterDeviceListener
{
    Q_OBJECT

public:
    // `bootloadMode`: the meter was opened with the bootloader's channel settings and answers only in
    // its bootloader, so no firmware version will come and the check is possible at once.
    Firmware(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, bool bootloadMode);
    ~Firmware() override;

    Firmware(const Firmware&) = delete;
    Firmware& operator=(const Firmware&) = delete;

    // vant::device::SportDeviceListener
    void opened(vant::device::SportDevice* device) override;
    // The meter's channel closed: back to the menu.
    void closed(vant::device::SportDevice* device) override;
    // Shows the firmware version once the meter has reported it, and allows the check.
    void dataReceived(vant::device::SportDevice* device, int fields) override;
    void calibrateReceived(vant::device::SportDevice* device, bool passed, int value) override;

    // vant::device::VelonixPowerMeterDeviceListener
    void autozeroChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void autozeroReceived(vant::device::VelonixPowerMeterDevice* device, int autozero) override;
    void cadenceChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceReceived(vant::device::VelonixPowerMeterDevice* device, int cadence) override;
    void modeChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void modeReceived(vant::device::VelonixPowerMeterDevice* device, int mode) override;
    void cadenceModeChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceModeReceived(vant::device::VelonixPowerMeterDevice* device, int cadence, int mode) override;
    void slopeChanged(vant::device::VelonixPowerMeterDevice* device, bool factory) override;
    void slopeReceived(vant::device::VelonixPowerMeterDevice* device, float slope, bool factory) override;
    void offsetChanged(vant::device::VelonixPowerMeterDevice* device, bool factory) override;
    void offsetReceived(vant::device::VelonixPowerMeterDevice* device, int offset, bool factory) override;
    void directionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void directionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void cadenceDirectionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void torqueDirectionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void torqueDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void bootloadReceived(vant::device::VelonixPowerMeterDevice* device, int version) override;
    void bootloadChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void bootloadProgress(vant::device::VelonixPowerMeterDevice* device, int percent) override;
    void bootloadFinished(vant::device::VelonixPowerMeterDevice* device, bool success) override;
    void sleepStarted(vant::device::VelonixPowerMeterDevice* device) override;

public slots:
    // Wired by the main window's Help button: the help topic "firmware".
    void helpClicked();

protected:
    // The page listens to the meter only while it is shown.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Pelotune* mainWindow; // not owned
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    std::unique_ptr<Ui_firmware> ui;
};

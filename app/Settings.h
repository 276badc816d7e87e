#pragma once

#include "ant/device/PowerMeterModel.h"
#include "app/MeterPage.h"

#include <array>
#include <cstdint>
#include <memory>

class QTimer;
class Ui_settings;

// The page on which the user reads and toggles the meter's switchable settings: autozero, torque (or
// the one combined) direction, cadence direction, power balance and the SRM PowerControl mode, and
// puts them all back to their defaults. Reads follow each other 1000 ms apart; each toggle is read
// back once the meter confirms it. The Sensor page creates it; the window's page stack owns it.
class Settings : public MeterPage
{
    Q_OBJECT

public:
    // Sends nothing: the first read goes out 1000 ms after the page is shown.
    Settings(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow);
    ~Settings() override;

    void autozeroReceived(vant::device::VelonixPowerMeterDevice* device, int flags) override;
    void directionReceived(vant::device::VelonixPowerMeterDevice* device, bool forward) override;
    void torqueDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool forward) override;
    void cadenceDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool forward) override;
    void pedalBalanceReceived(vant::device::VelonixPowerMeterDevice* device, bool enabled) override;
    void modeReceived(vant::device::VelonixPowerMeterDevice* device, int mode) override;
    void autozeroChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void directionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void torqueDirectionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void cadenceDirectionChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void pedalBalanceChanged(vant::device::VelonixPowerMeterDevice* device) override;
    void modeChanged(vant::device::VelonixPowerMeterDevice* device) override;

public slots:
    void queryAutozero();
    // The combined direction, or the torque direction where the meter has both directions.
    void queryDirection();
    void queryCadenceDirection();
    void queryTorqueDirection();
    void queryPedalBalance();
    void queryMode();
    void toggleAutozero();
    void toggleCoastzero();
    // The torque direction, or the combined direction where the meter has only that one.
    void toggleTorqueDir();
    void toggleCadenceDir();
    void togglePedalBalance();
    void toggleGAM();
    void helpClicked() override;
    // One step towards the defaults per pass; each pass is started again by the read-back.
    void resetDefaults();

protected:
    void pageShown() override;
    void pageHidden() override;

private:
    enum Timer
    {
        ResetTimer,
        AutozeroTimer,
        DirectionTimer,
        CadenceDirectionTimer,
        TorqueDirectionTimer,
        PedalBalanceTimer,
        ModeTimer,
        TimerCount
    };

    // After a reply: the next pass of a reset, else the box goes; then the next read of the chain.
    void replyHandled(Timer next);
    // True once the autozero flags have been read; until then asks the meter for them.
    bool autozeroFlagsKnown();
    // True when the setting has been read; otherwise reads it now (its timer stopped) and false: a
    // toggle of a setting never read would write the assumed value back.
    bool settingKnown(bool read, const char* what, Timer timer, void (Settings::*query)());
    // PowerControl is offered from this family and software revision on.
    void decidePowerControl();

    std::unique_ptr<Ui_settings> ui;
    std::array<QTimer*, TimerCount> timers{};
    bool firstPass = true;
    bool resetting = false;
    bool modeSeen = false;
    // What the meter holds, at the defaults until read, so that a reset never toggles what it has
    // not read. The autozero flags count as read only once they are.
    std::int32_t autozeroFlags = 0;
    bool autozeroRead = false;
    bool directionRead = false;
    bool cadenceDirectionRead = false;
    bool powerBalanceRead = false;
    bool direction = true;
    bool cadenceDirection = true;
    bool powerBalance = true;
    std::int32_t powerControlMode = 0;
    std::int32_t directionCapability = 0;
    vant::device::PowerMeterModel meterModel;
};

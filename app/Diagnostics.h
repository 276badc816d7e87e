#pragma once

#include "app/MeterPage.h"

#include <cstdint>
#include <memory>

class Ui_diagnostics;

// Checks the strain-gauge side of a connected meter while the user slowly turns the crank: the live
// reed switches, the switches that never toggled and a strain reading out of range. It reads the
// meter's directions, slopes and mode for the report it mails to the maker's support. While it
// exists the meter runs in the cadence mode the check needs; the page puts it back when it goes. The
// Sensor page creates it; the window's page stack owns it.
class Diagnostics : public MeterPage
{
    Q_OBJECT

public:
    Diagnostics(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow);
    // Puts the meter's cadence mode back to 0 with the mode it read (0 when it read none or another
    // than 0 and PowerControl's 48).
    ~Diagnostics() override;

    void dataReceived(vant::device::SportDevice* device, int fields) override;
    void directionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void torqueDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void cadenceDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool direction) override;
    void slopeReceived(vant::device::VelonixPowerMeterDevice* device, float slope, bool factory) override;
    void modeReceived(vant::device::VelonixPowerMeterDevice* device, int mode) override;
    void cadenceModeChanged(vant::device::VelonixPowerMeterDevice* device) override;

    // The mail body of the report: one labelled line per item, each ended by "\n".
    QString report();

public slots:
    // Asks first, then drafts the report as a mail to the support address.
    void sendDiagnostics();
    void helpClicked() override;

protected:
    // Starts the chain of reads: direction(s), slopes, mode, then the check's cadence mode.
    void pageShown() override;

private:
    void queryDirection();
    void querySlope();
    void queryMode();
    // The bits 0 to g - 1 of `bits` as "0" and "1" joined by ",".
    QString gaugeText(std::uint32_t bits) const;

    std::unique_ptr<Ui_diagnostics> ui;
    bool direction = false;
    bool cadenceDirection = false;
    float factorySlope = 0.0f;
    float userSlope = 0.0f;
    std::int32_t mode = 0;
    bool modeRead = false;
    int gaugeCount;
    std::uint32_t gaugeMask;
    std::uint32_t stuckMask;
    std::uint32_t seenMask = 0;
    std::int32_t sampleCount = 0;
};

#pragma once

#include "app/MeterPage.h"

#include <cstdint>
#include <memory>

class QPoint;
class Ui_info;

// The read-only information page of a connected meter: battery, revisions, maker and model, device
// and spider serial numbers, autozero status, zero offset and power balance, from the meter's data
// pages and one query. A fixed sequence of clicks on four of its labels reveals the "Factory Zero"
// button for service staff. The Sensor page creates it; the window's page stack owns it.
class Info : public MeterPage
{
    Q_OBJECT

public:
    Info(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow);
    ~Info() override;

    void dataReceived(vant::device::SportDevice* device, int fields) override;
    void pedalBalanceReceived(vant::device::VelonixPowerMeterDevice* device, bool on) override;

public slots:
    void autozeroClicked(QPoint position);
    void zeroOffsetLeftClicked(QPoint position);
    void zeroOffsetRightClicked(QPoint position);
    void pedalBalanceClicked(QPoint position);
    void factoryZero();
    void helpClicked() override;

protected:
    // Asks the meter for its calibration page; the first show also waits for the power balance.
    void pageShown() override;

private:
    enum Touch
    {
        AutozeroTouch,
        ZeroOffsetLeftTouch,
        ZeroOffsetRightTouch,
        PedalBalanceTouch
    };

    // One click of the hidden sequence: advances when `touch` is the next one wanted.
    void touched(Touch touch);

    std::unique_ptr<Ui_info> ui;
    bool firstShow = true;
    std::int32_t mFactoryZeroCount = 0;
};

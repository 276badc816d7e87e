#pragma once

#include "app/MeterPage.h"

#include <cstdint>
#include <memory>

class Ui_factoryzero;

// The service page that shows the meter's user and factory zero offsets and offers the ANT+ zero
// calibration and the factory zero: calibrate, fold the user offset into the factory offset,
// calibrate again. The Info page opens it once its hidden button is revealed; the window's page stack
// owns it.
class FactoryZero : public MeterPage
{
    Q_OBJECT

public:
    FactoryZero(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow);
    ~FactoryZero() override;

    void calibrateReceived(vant::device::SportDevice* device, bool passed, int value) override;
    void offsetReceived(vant::device::VelonixPowerMeterDevice* device, int offset, bool factory) override;
    void offsetChanged(vant::device::VelonixPowerMeterDevice* device, bool factory) override;

public slots:
    void setZero();
    void factoryZero();
    void helpClicked() override;

protected:
    // Reads the user offset (and, the first time, the factory offset after it).
    void pageShown() override;

private:
    // The first calibration of the factory zero has been answered: writes the sum of the offsets.
    void writeFactoryOffset();

    std::unique_ptr<Ui_factoryzero> ui;
    // 0: no factory zero under way; 1 to 3: its step.
    // A calibration of the factory zero under way did not pass.
    bool zeroFailed = false;
    std::int32_t zeroStep = 0;
    bool readFactoryPending = true;
};

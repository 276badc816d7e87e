#pragma once

#include "app/MeterPage.h"

#include <cstdint>
#include <memory>

class Ui_adjust;

// Proposes a new slope in steps of 1 % of the slope it was opened with, within the range a slope may
// have. "Accept" hands the proposal to the Slope page through Slope::startSetSlope and goes back;
// it sends nothing to the meter itself. The Slope page creates it; the window's page stack owns it.
class Adjust : public MeterPage
{
    Q_OBJECT

public:
    Adjust(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, float slope);
    ~Adjust() override;

    // Shows the proposal and its steps: "21.42 (+2%)".
    void updateSlope();

public slots:
    void increaseClicked();
    void decreaseClicked();
    void acceptClicked();
    void cancelClicked();
    void helpClicked() override;

private:
    // One step of `direction` (+1 or -1) from the start slope, undone when the limit leaves the
    // proposal where it was.
    void step(int direction, const char* logText);

    std::unique_ptr<Ui_adjust> ui;
    float startSlope;
    float newSlope;
    std::int32_t steps = 0;
};

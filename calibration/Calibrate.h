#pragma once

#include "app/MeterPage.h"

#include <memory>

class QCloseEvent;
class Ui_calibrate;

// The slope-calibration wizard of a connected meter: the user hangs a known weight on the level crank
// arm and the wizard works out a new slope from the meter's readings. It starts from the user slope
// the Slope page shows. The Slope page creates it and pushes it; the window's page stack owns it.
// Going back steps back through the wizard's stages first: the page refuses to close until it is at
// its first stage.
class Calibrate : public MeterPage
{
    Q_OBJECT

public:
    Calibrate(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, float currentSlope);
    ~Calibrate() override;

    // The stage the wizard is at; 0 is the first.
    int stage() const { return currentStage; }

public slots:
    void helpClicked() override;

protected:
    // At a later stage: one stage back, and the page stays.
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui_calibrate> ui;
    float startSlope;
    int currentStage = 0;
};

#pragma once

#include "app/MeterPage.h"

#include <memory>

class Ui_slope;

// The page of the meter's slope, its calibration factor: shows the user and the factory slope,
// writes a new user slope, lets the user type one in, puts the factory slope back, and opens the
// pages that work out a new slope (Adjust, the chainring tables, the calibration wizard). Those pages
// leave an accepted slope in startSetSlope and go back; this page writes it when it is shown again.
// The Sensor page creates it; the window's page stack owns it.
class Slope : public MeterPage
{
    Q_OBJECT

public:
    // A slope that the next Slope page shown writes as the user slope, then clears; 0 when none.
    static float startSetSlope;

    // Limits `slope` to the range a user slope may have (3 to 25); true when it changed it. `device`
    // is not used. A slope that is not a number stays one: callers refuse it themselves.
    static bool clampSlope(vant::device::VelonixPowerMeterDevice* device, float& slope);
    // True when `slope` lies in the range a user slope may have (3 to 25); false for NaN.
    static bool inRange(float slope);
    // True when a slope worked out from ring factors may be limited to the range: it lies no more than
    // 10 % of the range's limits outside it (2.7 to 27.5). Further out the factors are senseless.
    static bool withinMargin(float slope);

    Slope(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow);
    ~Slope() override;

    // Writes the user slope (`factory` false) or the factory slope behind a busy box.
    void setSlope(float slope, bool factory);
    // Reads one of the slopes behind a busy box.
    void querySlope(bool factory);

    void slopeChanged(vant::device::VelonixPowerMeterDevice* device, bool factory) override;
    void slopeReceived(vant::device::VelonixPowerMeterDevice* device, float slope, bool factory) override;

public slots:
    void adjustSlope();
    void enterSlope();
    void calibrateSlope();
    void calibrationTables();
    void resetSlope();
    void helpClicked() override;

protected:
    // Writes a slope handed over by another page, or reads both slopes.
    void pageShown() override;
    void meterLost() override;

private:
    // True when both slopes have been read; otherwise reads them again (logged with `action`).
    bool slopesRead(const char* action);

private:
    std::unique_ptr<Ui_slope> ui;
    float currentSlope = 0.0f;
    float factorySlope = 0.0f;
    // Whether each slope has been read from the meter since the page was made.
    bool currentSlopeRead = false;
    bool factorySlopeRead = false;
    // The slope read under way (its box may have been cancelled): none, the factory or the user slope.
    enum class Read
    {
        None,
        Factory,
        User
    };
    Read readUnderWay = Read::None;
    // A user slope written and not confirmed yet.
    bool slopeWritePending = false;
};

#pragma once

#include "app/MeterPage.h"
#include "calibration/view/CalibrationSteps.h"

#include <cstdint>
#include <memory>

class Ui_results;

// The last page of the slope calibration: works out the new slope from the wizard's readings, shows
// it beside the old one with the difference between the slopes the two chainrings give, and on
// Accept hands it to the Slope page through Slope::startSetSlope, after mailing the calibration to the
// maker's support when the user agrees. Decline hands on nothing. The wizard pushes it as it deletes
// itself, so going back lands on the Slope page; the window's page stack owns it.
//
// Readings, in N·m: r1 to r4 are those of the slots R1 to R4 of the meter's calibration table
// (CalibrationSteps), which tells which of them the weight was hung for, on which arm and chainring.
// For the six-reading procedure r1 is small ring left arm, r2 small ring right arm, r3 big ring left
// arm, r4 big ring right arm; for the four-reading one r3 left arm, r4 right arm, r2 the first
// unloaded reading and r1 0. `zero` is the mean unloaded reading.
class Results : public MeterPage
{
    Q_OBJECT

public:
    // `length` in metres, `weight` in kg, `gravity` in m/s² (0 or less: standard gravity).
    Results(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow, float oldSlope, float length,
            float weight, float r1, float r2, float r3, float r4, float zero, float gravity);
    ~Results() override;

    // The new slope, clamped into the limits of a user slope.
    float getNewSlope() const { return newSlope; }
    // The readings gave no slope to offer: the page says why and has no Accept.
    bool calibrationFailed() const { return failed; }

    void directionReceived(vant::device::VelonixPowerMeterDevice* device, bool forward) override;
    void torqueDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool forward) override;
    void cadenceDirectionReceived(vant::device::VelonixPowerMeterDevice* device, bool forward) override;
    void modeReceived(vant::device::VelonixPowerMeterDevice* device, int value) override;

public slots:
    void acceptClicked();
    void declineClicked();
    void queryDirection();
    void queryMode();
    void sendData();
    void helpClicked() override;

private:
    void calculate();
    float reading(CalibrationSteps::Slot slot) const;
    // Shows that the calibration failed and why, and takes Accept away.
    void fail(const QString& reason);

    std::unique_ptr<Ui_results> ui;
    float newSlope = 0.0f;
    float oldSlope;
    float length;
    float weight;
    // r1 to r4, at CalibrationSteps::readingIndex of their slots.
    float readings[4];
    float zero;
    float gravity;
    bool directionForward = false;
    bool cadenceDirectionForward = false;
    std::int32_t mode = 0;
    CalibrationSteps steps;
    bool failed = false;
};

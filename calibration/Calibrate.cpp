#include "calibration/Calibrate.h"

#include "app/Pelotune.h"
#include "ui_calibrate.h"

#include <QCloseEvent>

using vant::device::VelonixPowerMeterDevice;

Calibrate::Calibrate(VelonixPowerMeterDevice* device, Pelotune* mainWindow, float currentSlope)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_calibrate>()), startSlope(currentSlope)
{
    ui->setupUi(this);
    ui->currentSlopeValue->setText(QString::asprintf("%.2f", static_cast<double>(startSlope)));
}

Calibrate::~Calibrate() = default;

void Calibrate::helpClicked()
{
    mainWindow->showHelp("calibrateSlope");
}

void Calibrate::closeEvent(QCloseEvent* event)
{
    if (currentStage > 0) {
        --currentStage;
        event->ignore();
        return;
    }
    event->accept();
}

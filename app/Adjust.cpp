#include "app/Adjust.h"

#include "app/Pelotune.h"
#include "app/Slope.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_adjust.h"

#include <cmath>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::VelonixPowerMeterDevice;

Adjust::Adjust(VelonixPowerMeterDevice* device, Pelotune* mainWindow, float slope)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_adjust>()), startSlope(slope), newSlope(slope)
{
    ui->setupUi(this);
    connect(ui->increaseSlopeButton, &QPushButton::clicked, this, &Adjust::increaseClicked);
    connect(ui->decreaseSlopeButton, &QPushButton::clicked, this, &Adjust::decreaseClicked);
    connect(ui->acceptButton, &QPushButton::clicked, this, &Adjust::acceptClicked);
    connect(ui->cancelButton, &QPushButton::clicked, this, &Adjust::cancelClicked);
    ui->currentSlopeValue->setText(QString::asprintf("%.2f", static_cast<double>(startSlope)));
    updateSlope();
}

Adjust::~Adjust() = default;

void Adjust::updateSlope()
{
    ui->newSlopeValue->setText(QString::asprintf("%.2f (%+d%%)", static_cast<double>(newSlope), steps));
}

void Adjust::step(int direction, const char* logText)
{
    const float oldSlope = newSlope;
    steps += direction;
    // Always from the start slope, so that steps never compound.
    newSlope = static_cast<float>(steps) * startSlope * 0.01f + startSlope;
    Slope::clampSlope(device.get(), newSlope);
    Log::alert(logText + String() + oldSlope + " newSlope:" + newSlope);
    if (std::fabs(newSlope - oldSlope) < 0.01f) {
        steps -= direction;
    }
    updateSlope();
}

void Adjust::increaseClicked()
{
    step(1, "Adjust::increaseClicked oldSlope:");
}

void Adjust::decreaseClicked()
{
    step(-1, "Adjust::decreaseClicked oldSlope:");
}

void Adjust::acceptClicked()
{
    Slope::startSetSlope = newSlope;
    mainWindow->backClicked();
}

void Adjust::cancelClicked()
{
    mainWindow->backClicked();
}

void Adjust::helpClicked()
{
    mainWindow->showHelp("adjustSlope");
}

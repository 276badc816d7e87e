#include "app/FactoryZero.h"

#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/Pelotune.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_factoryzero.h"

#include <cstdint>
#include <limits>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

FactoryZero::FactoryZero(VelonixPowerMeterDevice* device, Pelotune* mainWindow)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_factoryzero>())
{
    ui->setupUi(this);
    connect(ui->setZeroButton, &QPushButton::clicked, this, &FactoryZero::setZero);
    connect(ui->factoryZeroButton, &QPushButton::clicked, this, &FactoryZero::factoryZero);
}

FactoryZero::~FactoryZero() = default;

void FactoryZero::pageShown()
{
    showProgress("Reading Offset");
    device->doQueryOffset(false);
}

void FactoryZero::helpClicked()
{
    mainWindow->showHelp("diagnostics");
}

void FactoryZero::setZero()
{
    zeroStep = 0;
    showProgress("Zeroing");
    device->requestCalibrate();
}

void FactoryZero::factoryZero()
{
    zeroStep = 1;
    zeroFailed = false;
    showProgress("Performing factory zero\nStep 1: Calibrating");
    device->requestCalibrate();
}

void FactoryZero::calibrateReceived(SportDevice*, bool passed, int value)
{
    Log::alert("FactoryZero.calibrateReceived passed=" + String() + passed + " result=" + value);
    closeProgress();
    if (zeroStep == 1 || zeroStep == 3) {
        zeroFailed = zeroFailed || !passed;
    }
    if (zeroStep == 3) {
        Log::alert("FactoryZero.factoryZeroStep=" + String() + 3);
        zeroStep = 0;
        if (zeroFailed) {
            // A success shows nothing; a failure must not look like one.
            Log::error("FactoryZero.factoryZero a calibration failed");
            auto* box = new QMessageBox(
                QMessageBox::Warning, "Failed",
                QString::asprintf("Factory zero failed: the power meter did not pass its calibration.\n"
                                  "Returned Value: %d\n[%.2f Nm]",
                                  value, static_cast<double>(static_cast<float>(value)) * 0.03125),
                QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(true);
            box->show();
        }
        readFactoryPending = false;
        showProgress("Reading Offset");
        device->doQueryOffset(false);
    } else if (zeroStep == 1) {
        Log::alert("FactoryZero.factoryZeroStep=" + String() + 1);
        writeFactoryOffset();
    } else {
        auto* box =
            new QMessageBox(QMessageBox::Information, passed ? "Passed" : "Failed",
                            QString::asprintf("Returned Value: %d\n[%.2f Nm]", value,
                                              static_cast<double>(static_cast<float>(value)) * 0.03125),
                            QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(true);
        box->show();
        readFactoryPending = false;
        device->doQueryOffset(false);
    }
}

void FactoryZero::writeFactoryOffset()
{
    bool userShown = false;
    bool factoryShown = false;
    const qlonglong user = ui->userOffsetValue->text().toLongLong(&userShown);
    const qlonglong factory = ui->factoryOffsetValue->text().toLongLong(&factoryShown);
    const qlonglong sum = user + factory;
    if (!userShown || !factoryShown || sum < std::numeric_limits<std::int16_t>::min() ||
        sum > std::numeric_limits<std::int16_t>::max()) {
        // An offset that was never read, or a sum the register can't hold, would write a factory
        // offset that is not the meter's: the factory zero ends here and the offsets are read again.
        Log::error("FactoryZero.factoryZero offsets not known or out of range, factory offset not written");
        zeroStep = 0;
        readFactoryPending = true;
        showProgress("Reading Offset");
        device->doQueryOffset(false);
        return;
    }
    Log::alert("FactoryZero.settingFactoryOffset=" + String() + static_cast<int>(sum));
    zeroStep = 2;
    showProgress("Performing factory zero\nStep 2: Updating Offset");
    device->setOffset(static_cast<int>(sum), true);
}

void FactoryZero::offsetChanged(VelonixPowerMeterDevice*, bool factory)
{
    Log::alert("FactoryZeroActivity.offsetChanged factory=" + String() + factory);
    device->doQueryOffset(factory);
}

void FactoryZero::offsetReceived(VelonixPowerMeterDevice*, int offset, bool factory)
{
    Log::alert("FactoryZeroActivity.offsetReceived offset=" + String() + offset + " factory=" + factory);
    if (factory) {
        ui->factoryOffsetValue->setText(QString::asprintf("%d", offset));
        if (zeroStep == 2) {
            Log::alert("FactoryZeroController::factoryZeroStep=" + String() + 2);
            zeroStep = 3;
            closeProgress();
            showProgress("Performing factory zero\nStep 3: Recalibrating");
            device->requestCalibrate();
            return;
        }
    } else {
        ui->userOffsetValue->setText(QString::asprintf("%d", offset));
        if (readFactoryPending) {
            readFactoryPending = false;
            device->doQueryOffset(true);
            return;
        }
    }
    closeProgress();
}

#include "app/Info.h"

#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "app/FactoryZero.h"
#include "app/Pelotune.h"
#include "core/Log.h"
#include "core/String.h"
#include "ui_info.h"

#include <cstdint>

using rezezaz::core::Log;
using rezezaz::core::String;
using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;
using vbabel::data::Field;

namespace {

constexpr int kSequenceLength = 8;

} // namespace

Info::Info(VelonixPowerMeterDevice* device, Pelotune* mainWindow)
    : MeterPage(device, mainWindow), ui(std::make_unique<Ui_info>())
{
    ui->setupUi(this);
    ui->menuBox->hide();
    connect(ui->factoryZeroButton, &QPushButton::clicked, this, &Info::factoryZero);
    connect(ui->autozeroText, &TouchableLabel::mousePressed, this, &Info::autozeroClicked);
    connect(ui->zeroOffsetText, &TouchableLabel::mousePressed, this, &Info::zeroOffsetLeftClicked);
    connect(ui->zeroOffsetValue, &TouchableLabel::mousePressed, this, &Info::zeroOffsetRightClicked);
    connect(ui->pedalBalanceText, &TouchableLabel::mousePressed, this, &Info::pedalBalanceClicked);
}

Info::~Info() = default;

void Info::pageShown()
{
    if (firstShow) {
        showProgress("Reading Power Balance...");
    }
    device->requestCalibratePass();
}

void Info::helpClicked()
{
    mainWindow->showHelp("diagnostics");
}

void Info::factoryZero()
{
    mainWindow->addStackedWidget(new FactoryZero(device.get(), mainWindow));
}

void Info::dataReceived(SportDevice*, int)
{
    vbabel::data::SportData* data = device->sportData.get();
    if (data == nullptr) {
        return;
    }
    float battery = 0.0f;
    if (data->getField(&battery, Field::BatteryVoltage)) {
        ui->batteryLevelValue->setText(QString::number(static_cast<double>(battery), 'g', 4));
    }
    int value = 0;
    if (data->getField(&value, Field::HardwareRevision)) {
        ui->hardwareRevValue->setText(QString::number(value));
    }
    if (data->getField(&value, Field::ManufacturerId)) {
        ui->manufactValue->setText(QString::number(value));
    }
    const bool modelReceived = data->getField(&value, Field::ModelNumber);
    if (modelReceived) {
        ui->modelNumValue->setText(QString::number(value));
    }
    if (data->getField(&value, Field::SoftwareRevision)) {
        ui->softwareRevValue->setText(QString::number(value));
    }
    if (data->getField(&value, Field::SerialNumber)) {
        const auto serial = static_cast<std::uint32_t>(value);
        ui->meterIdValue->setText(QString::number(serial & 0xFFFFu));
        ui->spiderSerialValue->setText(QString::number(serial >> 16));
    }
    if (data->getField(&value, Field::AutoZeroStatus)) {
        ui->autozeroValue->setText(value != 0 ? "On" : "Off");
    }
    if (data->getField(&value, Field::ZeroOffset)) {
        ui->zeroOffsetValue->setText(QString::number(value));
    }
    if (modelReceived && firstShow) {
        firstShow = false;
        device->doQueryPedalBalance();
    }
}

void Info::pedalBalanceReceived(VelonixPowerMeterDevice*, bool on)
{
    Log::alert("Info::pedalBalanceReceived pedal:" + String() + on);
    closeProgress();
    ui->pedalBalanceValue->setText(on ? "On" : "Off");
    device->requestCalibratePass();
}

// ---- The hidden Factory Zero button ----

void Info::autozeroClicked(QPoint)
{
    touched(AutozeroTouch);
}

void Info::zeroOffsetLeftClicked(QPoint)
{
    touched(ZeroOffsetLeftTouch);
}

void Info::zeroOffsetRightClicked(QPoint)
{
    touched(ZeroOffsetRightTouch);
}

void Info::pedalBalanceClicked(QPoint)
{
    touched(PedalBalanceTouch);
}

void Info::touched(Touch touch)
{
    // The access code. A click on a label that is not the next one is ignored; it does not start over.
    static constexpr Touch kSequence[kSequenceLength] = {
        AutozeroTouch,        PedalBalanceTouch, ZeroOffsetLeftTouch, ZeroOffsetRightTouch,
        ZeroOffsetRightTouch, AutozeroTouch,     PedalBalanceTouch,   ZeroOffsetLeftTouch};
    if (kSequence[mFactoryZeroCount] != touch) {
        return;
    }
    ++mFactoryZeroCount;
    Log::alert("Info::mFactoryZeroCount:" + String() + mFactoryZeroCount);
    if (mFactoryZeroCount == kSequenceLength) {
        Log::alert("Info::factoryZero unlocked");
        ui->menuBox->show();
        mFactoryZeroCount = 0;
    }
}

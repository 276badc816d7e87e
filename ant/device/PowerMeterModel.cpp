#include "ant/device/PowerMeterModel.h"

namespace vant::device {

namespace {

// The bits of the manufacturer model number that hold the power-meter type.
constexpr int kPowerMeterTypeBits = 0x3F;

} // namespace

PowerMeterModel PowerMeterModel::of(int manufacturerModel)
{
    PowerMeterModel model;
    model.type = manufacturerModel & kPowerMeterTypeBits;
    switch (static_cast<PowerMeterType>(model.type)) {
    case PowerMeterType::NoPowerBalance:
        model.powerBalance = false;
        break;
    case PowerMeterType::KV7:
        model.strainGauges = 4;
        model.calibrationReadings = 4;
        model.chainringRegisters = true;
        break;
    case PowerMeterType::Lumora:
        model.ble = true;
        break;
    default:
        break;
    }
    return model;
}

} // namespace vant::device

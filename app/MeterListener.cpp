#include "app/MeterListener.h"

using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

void MeterListener::opened(SportDevice*) {}
void MeterListener::closed(SportDevice*) {}
void MeterListener::dataReceived(SportDevice*, int) {}
void MeterListener::calibrateReceived(SportDevice*, bool, int) {}
void MeterListener::autozeroChanged(VelonixPowerMeterDevice*) {}
void MeterListener::autozeroReceived(VelonixPowerMeterDevice*, int) {}
void MeterListener::cadenceChanged(VelonixPowerMeterDevice*) {}
void MeterListener::cadenceReceived(VelonixPowerMeterDevice*, int) {}
void MeterListener::modeChanged(VelonixPowerMeterDevice*) {}
void MeterListener::modeReceived(VelonixPowerMeterDevice*, int) {}
void MeterListener::cadenceModeChanged(VelonixPowerMeterDevice*) {}
void MeterListener::cadenceModeReceived(VelonixPowerMeterDevice*, int, int) {}
void MeterListener::slopeChanged(VelonixPowerMeterDevice*, bool) {}
void MeterListener::slopeReceived(VelonixPowerMeterDevice*, float, bool) {}
void MeterListener::offsetChanged(VelonixPowerMeterDevice*, bool) {}
void MeterListener::offsetReceived(VelonixPowerMeterDevice*, int, bool) {}
void MeterListener::directionChanged(VelonixPowerMeterDevice*) {}
void MeterListener::directionReceived(VelonixPowerMeterDevice*, bool) {}
void MeterListener::cadenceDirectionChanged(VelonixPowerMeterDevice*) {}
void MeterListener::cadenceDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void MeterListener::torqueDirectionChanged(VelonixPowerMeterDevice*) {}
void MeterListener::torqueDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void MeterListener::bootloadReceived(VelonixPowerMeterDevice*, int) {}
void MeterListener::bootloadChanged(VelonixPowerMeterDevice*) {}
void MeterListener::bootloadProgress(VelonixPowerMeterDevice*, int) {}
void MeterListener::bootloadFinished(VelonixPowerMeterDevice*, bool) {}
void MeterListener::sleepStarted(VelonixPowerMeterDevice*) {}

#include "app/ConnectionWatchdog.h"

#include "ant/device/VelonixPowerMeterDevice.h"

#include <QTimer>

using vant::device::SportDevice;
using vant::device::VelonixPowerMeterDevice;

namespace {

constexpr int kCheckInterval = 1000;

} // namespace

ConnectionWatchdog::ConnectionWatchdog(VelonixPowerMeterDevice* device, Clock clock, int limitMs,
                                       QObject* parent)
    : QObject(parent), device(device), clock(std::move(clock)), limit(limitMs)
{
    lastHeard = this->clock();
    timer = new QTimer(this);
    timer->setInterval(kCheckInterval);
    connect(timer, &QTimer::timeout, this, &ConnectionWatchdog::check);
    timer->start();
    device->addPowerMeterDeviceListener(this);
}

ConnectionWatchdog::~ConnectionWatchdog()
{
    device->removePowerMeterDeviceListener(this);
}

void ConnectionWatchdog::hold(bool held)
{
    holding = held;
    lastHeard = clock();
}

void ConnectionWatchdog::stop()
{
    timer->stop();
    device->removePowerMeterDeviceListener(this);
}

void ConnectionWatchdog::check()
{
    const std::int64_t now = clock();
    const std::int64_t silence = now - lastHeard;
    if (holding || silence < 0) {
        // Held, or the clock was set back: the silence counts from now rather than not at all.
        if (silence < 0) {
            lastHeard = now;
        }
        return;
    }
    if (silence >= limit) {
        stop();
        emit lost(silence);
    }
}

void ConnectionWatchdog::dataReceived(SportDevice*, int)
{
    lastHeard = clock();
}

// ---- Only the meter's data counts: the other callbacks answer what a page asked ----

void ConnectionWatchdog::opened(SportDevice*) {}
void ConnectionWatchdog::closed(SportDevice*) {}
void ConnectionWatchdog::calibrateReceived(SportDevice*, bool, int) {}
void ConnectionWatchdog::autozeroChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::autozeroReceived(VelonixPowerMeterDevice*, int) {}
void ConnectionWatchdog::cadenceChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::cadenceReceived(VelonixPowerMeterDevice*, int) {}
void ConnectionWatchdog::modeChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::modeReceived(VelonixPowerMeterDevice*, int) {}
void ConnectionWatchdog::cadenceModeChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::cadenceModeReceived(VelonixPowerMeterDevice*, int, int) {}
void ConnectionWatchdog::slopeChanged(VelonixPowerMeterDevice*, bool) {}
void ConnectionWatchdog::slopeReceived(VelonixPowerMeterDevice*, float, bool) {}
void ConnectionWatchdog::offsetChanged(VelonixPowerMeterDevice*, bool) {}
void ConnectionWatchdog::offsetReceived(VelonixPowerMeterDevice*, int, bool) {}
void ConnectionWatchdog::directionChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::directionReceived(VelonixPowerMeterDevice*, bool) {}
void ConnectionWatchdog::cadenceDirectionChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::cadenceDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void ConnectionWatchdog::torqueDirectionChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::torqueDirectionReceived(VelonixPowerMeterDevice*, bool) {}
void ConnectionWatchdog::bootloadReceived(VelonixPowerMeterDevice*, int) {}
void ConnectionWatchdog::bootloadChanged(VelonixPowerMeterDevice*) {}
void ConnectionWatchdog::bootloadProgress(VelonixPowerMeterDevice*, int) {}
void ConnectionWatchdog::bootloadFinished(VelonixPowerMeterDevice*, bool) {}
void ConnectionWatchdog::sleepStarted(VelonixPowerMeterDevice*) {}

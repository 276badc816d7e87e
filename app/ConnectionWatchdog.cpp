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
    sinceCheck.start();
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
    const bool ending = holding && !held;
    holding = held;
    lastHeard = clock();
    if (ending) {
        emit released();
    }
}

void ConnectionWatchdog::stop()
{
    timer->stop();
    device->removePowerMeterDeviceListener(this);
}

void ConnectionWatchdog::check()
{
    // The meter's data reach the page only through the window's pump, on this same thread. A check
    // that comes long after the one before found the thread busy meanwhile (a slow machine loading
    // the calibration view): nothing could be pumped, so it waits for the next check before judging.
    const bool late = sinceCheck.restart() > 2 * kCheckInterval;
    const std::int64_t now = clock();
    const std::int64_t silence = now - lastHeard;
    if (holding || silence < 0) {
        // Held, or the clock was set back: the silence counts from now rather than not at all.
        if (silence < 0) {
            lastHeard = now;
        }
        return;
    }
    if (silence >= limit && !late) {
        stop();
        emit lost(silence);
    }
}

void ConnectionWatchdog::dataReceived(SportDevice*, int)
{
    lastHeard = clock();
}

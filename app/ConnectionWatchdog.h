#pragma once

#include "app/MeterListener.h"
#include "core/IntrusivePointer.h"

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>

class QTimer;

namespace vant::device {
class SportDevice;
class VelonixPowerMeterDevice;
} // namespace vant::device

// Watches a connected meter for silence whatever page of it is shown: the meter's channel stays open
// when the meter goes out of range, so only its silence tells that it is gone. It listens to the
// meter for its whole life and checks once a second; when no data came for the limit it reports the
// meter lost, once. The meter's home page makes it for the connection and owns it; the main window
// hands it to the other pages, whose busy boxes close with it, and to the firmware upload, which
// holds it while the meter restarts on purpose.
class ConnectionWatchdog : public QObject, public MeterListener
{
    Q_OBJECT

public:
    // Milliseconds of a steady clock.
    using Clock = std::function<std::int64_t()>;

    ConnectionWatchdog(vant::device::VelonixPowerMeterDevice* device, Clock clock, int limitMs,
                       QObject* parent = nullptr);
    ~ConnectionWatchdog() override;

    ConnectionWatchdog(const ConnectionWatchdog&) = delete;
    ConnectionWatchdog& operator=(const ConnectionWatchdog&) = delete;

    void setLimit(int limitMs) { limit = limitMs; }
    int limitMs() const { return limit; }
    // While held, silence is no loss; released, the silence is counted from then, and released()
    // tells the pages that wait for the end of the hold.
    void hold(bool held);
    bool held() const { return holding; }
    // Stops for good: nothing more is reported.
    void stop();

    // vant::device::SportDeviceListener
    void dataReceived(vant::device::SportDevice* device, int fields) override;

signals:
    // The meter sent nothing for `silenceMs`, at least the limit.
    void lost(qint64 silenceMs);
    // A hold has ended.
    void released();

private:
    void check();

    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    Clock clock;
    int limit;
    QTimer* timer = nullptr; // child
    std::int64_t lastHeard = 0;
    QElapsedTimer sinceCheck; // real time since the last check, whatever `clock` says
    bool holding = false;
};

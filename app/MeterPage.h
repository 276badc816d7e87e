#pragma once

#include "app/MeterListener.h"
#include "core/IntrusivePointer.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class Pelotune;
class QProgressDialog;

namespace vant::device {
class SportDevice;
class VelonixPowerMeterDevice;
} // namespace vant::device

// What every page of a connected power meter shares, below the home page: the main window whose
// stack owns it, its own reference to the meter for its whole life, listening to the meter only
// while it is shown, going back to the menu when the meter's channel closes, and the one busy box of
// a request the page waits for. The callbacks of the meter do nothing unless a page overrides them.
class MeterPage : public QWidget, public MeterListener
{
    Q_OBJECT

public:
    MeterPage(vant::device::VelonixPowerMeterDevice* device, Pelotune* mainWindow);
    // Stops listening, deletes a busy box that is still there, lets go of the meter.
    ~MeterPage() override;

    MeterPage(const MeterPage&) = delete;
    MeterPage& operator=(const MeterPage&) = delete;

    // vant::device::SportDeviceListener
    // The meter's channel closed: back to the menu.
    void closed(vant::device::SportDevice* device) override;

public slots:
    // Wired by the main window's Help button while the page is on top: the page's help topic.
    virtual void helpClicked() = 0;

protected:
    // The page listens to the meter from its show to its hide. Shows and hides that the window
    // system makes (minimising the window, another desktop) change nothing.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The page's own work when it is shown (after it listens) and hidden (before it stops).
    virtual void pageShown() {}
    virtual void pageHidden() {}
    // The connection's watchdog took the meter as lost (its home page tells the user): the busy box
    // closes; a page whose write was cut short says so in the log.
    virtual void meterLost() { closeProgress(); }

    // Replaces the busy box by a new modal one with `text`, "Cancel" and no range, shown at once.
    // A child of the page, centred on the window.
    // "Cancel" only hides it: the answer is still awaited and handled.
    void showProgress(const QString& text);
    // Closes the busy box, if any, and schedules its deletion.
    void closeProgress();
    // A box with the page as parent that deletes itself when closed, shown without blocking. A text
    // that carries text of a file, the meter or a server is `plain`: shown as it stands, never as
    // markup.
    QMessageBox* openMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                                QMessageBox::StandardButtons buttons, bool modal, bool plain = false);

    Pelotune* mainWindow; // not owned
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
    QPointer<QProgressDialog> progress;
};

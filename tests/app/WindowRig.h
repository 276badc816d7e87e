#pragma once

#include "app/Pelotune.h"
#include "app/PowermeterWidget.h"
#include "core/IntrusivePointer.h"
#include "support/LogCapture.h"
#include "support/SimulatedStickRadio.h"
#include "support/TemporaryFolder.h"
#include "support/qt/ModalBoxAnswerer.h"
#include "support/qt/UrlRecorder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace apptest {

// A simulated stick that can run a test's hook at the start of each update, as a callback of the
// pump would run inside it.
class HookedStickRadio : public support::SimulatedStickRadio
{
public:
    using support::SimulatedStickRadio::SimulatedStickRadio;

    void update() override
    {
        ++updates;
        if (beforeUpdate) {
            beforeUpdate();
        }
        support::SimulatedStickRadio::update();
    }

    std::function<void()> beforeUpdate;
    int updates = 0;
};

// The ANT sticks plugged into the test machine, as the window's radio factory finds them. Every
// radio it makes is a simulated stick; one whose product isn't plugged in is made pulled out, so it
// doesn't open. The meters in range are put on each stick that opens.
class StickBench
{
public:
    void plug(int product) { plugged.insert(product); }
    // Pulls the stick out: the open radio reports the loss at its next update, and new radios for
    // this product don't open until it is plugged again.
    void pull(int product)
    {
        plugged.erase(product);
        if (current && currentProduct == product) {
            current->unplug();
        }
    }

    Pelotune::RadioFactory factory()
    {
        return [this](int baud, int vendor, int product) -> vant::ant::AntRadio* {
            asked.push_back(product);
            bauds.push_back(baud);
            vendors.push_back(vendor);
            auto* radio = new HookedStickRadio(product);
            if (plugged.count(product) == 0) {
                radio->unplug();
                return radio;
            }
            if (meters) {
                meters(*radio);
            }
            current = radio;
            currentProduct = product;
            return radio;
        };
    }

    // The last stick that was plugged in when the window made its radio.
    HookedStickRadio* stick() { return current.get(); }

    // Puts the meters in range of a stick when it opens.
    std::function<void(support::SimulatedStickRadio&)> meters;
    // The window's requests, in order.
    std::vector<int> asked;
    std::vector<int> bauds;
    std::vector<int> vendors;

private:
    std::set<int> plugged;
    rezezaz::core::IntrusivePointer<HookedStickRadio> current;
    int currentProduct = 0;
};

// A meter that only answers in its bootloader: other channel period, frequency and network.
inline void makeBootloaderMeter(support::SimulatedPowerMeter& meter)
{
    meter.period = 3136;
    meter.frequency = 70;
    meter.networkKey = support::Bytes(8, 0);
}

// A page of a connected meter as the window sees one: it may refuse to close a number of times
// and counts its Help clicks.
class TestPage : public QWidget
{
    Q_OBJECT

public:
    explicit TestPage(QWidget* parent = nullptr) : QWidget(parent) {}

    int refusals = 0;
    int helps = 0;

public slots:
    void helpClicked() { ++helps; }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (refusals > 0) {
            --refusals;
            event->ignore();
        } else {
            event->accept();
        }
    }
};

// The main window on a bench of simulated sticks, with its data folder in a temporary folder, its
// log recorded, its desktop URLs caught and its modal boxes answered by rule. The window's pump is
// driven tick by tick (33 ms of the stick's time each); the toolkit's events are handled between
// ticks.
class WindowRig
{
public:
    enum class Exit
    {
        Recorded, // the window's exit request is only noted
        Real      // the program's own exit
    };

    explicit WindowRig(Exit exit = Exit::Recorded) : exitMode(exit) {}

    ~WindowRig()
    {
        window.reset();
        flush();
    }

    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;

    void start()
    {
        Pelotune::ExitHandler handler;
        if (exitMode == Exit::Recorded) {
            handler = [this](int status) { exitStatuses.push_back(status); };
        }
        window = std::make_unique<Pelotune>(bench.factory(), QString::fromStdString(folder.path()), handler);
        window->show();
        flush();
    }

    // Handles posted events, deferred deletes among them. Ends with the deletes: whatever the last
    // turn closed and let go (a box that a real timer of the window closed meanwhile) is gone before
    // the caller looks, not left closed but alive.
    static void flush()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            window->update();
            boxes.poll();
            flush();
        }
    }

    // Ticks until `done` holds, at most `limitTicks` times; false when it never did.
    bool runUntil(const std::function<bool()>& done, int limitTicks = 2000)
    {
        for (int i = 0; !done(); ++i) {
            if (i >= limitTicks) {
                return false;
            }
            tick();
        }
        return true;
    }

    QStackedWidget* stack() const { return window->findChild<QStackedWidget*>("stackedWidget"); }
    QPushButton* button(const char* name) const { return window->findChild<QPushButton*>(name); }
    QWidget* currentPage() const { return stack()->currentWidget(); }
    QString currentPageClass() const { return currentPage()->metaObject()->className(); }

    // The timer that runs either the pump or the stick check (the other one is the single-shot
    // back timer).
    QTimer* stickTimer() const
    {
        for (QTimer* timer : window->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!timer->isSingleShot()) {
                return timer;
            }
        }
        return nullptr;
    }

    // The device numbers of the search list's entries, top to bottom.
    std::vector<int> listed() const
    {
        std::vector<int> ids;
        QLayout* list = window->findChild<QWidget*>("powermeterList")->layout();
        for (int i = 0; i < list->count(); ++i) {
            if (auto* entry = qobject_cast<PowermeterWidget*>(list->itemAt(i)->widget())) {
                ids.push_back(entry->id);
            }
        }
        return ids;
    }

    bool logged(const std::string& text) const { return count(text) > 0; }
    int count(const std::string& text) const
    {
        const auto texts = log.listener.texts();
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }

    // Declared in the order they must outlive each other: the window goes first.
    support::LogCapture log;
    support::TemporaryFolder folder;
    support::ModalBoxAnswerer boxes;
    support::UrlRecorder urls;
    StickBench bench;
    std::vector<int> exitStatuses;
    std::unique_ptr<Pelotune> window;

private:
    Exit exitMode;
};

} // namespace apptest

#pragma once

#include "PageTimers.h"
#include "ant/AntRadioManager.h"
#include "ant/babel/SportData.h"
#include "ant/device/VelonixPowerMeterDevice.h"
#include "ant/search/SportDeviceSearch.h"
#include "ant/search/SportDeviceSearchListener.h"
#include "app/Pelotune.h"
#include "core/IntrusivePointer.h"
#include "support/LogCapture.h"
#include "support/SimulatedMeterFirmware.h"
#include "support/SimulatedPowerMeter.h"
#include "support/SimulatedStickRadio.h"
#include "support/TemporaryFolder.h"
#include "support/qt/ModalBoxAnswerer.h"
#include "support/qt/UrlRecorder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace apptest {

// A decoder whose fields the test sets: what a page shows and decides from them.
class FixedFields : public vbabel::data::SportData
{
public:
    bool getField(float* out, int id) override
    {
        auto field = floats.find(id);
        if (field == floats.end()) {
            return false;
        }
        *out = field->second;
        return true;
    }
    bool getField(int* out, int id) override
    {
        auto field = ints.find(id);
        if (field == ints.end()) {
            return false;
        }
        *out = field->second;
        return true;
    }
    int receivedFields() override { return mask; }
    bool broadcastReceived(unsigned char*) override { return false; }

    std::map<int, float> floats;
    std::map<int, int> ints;
    int mask = 0;
};

// The slope a register's three bytes hold.
inline float slopeOf(const support::Bytes& bytes)
{
    return static_cast<float>(bytes[0] << 16 | bytes[1] << 8 | bytes[2]) / 65536.0f;
}

// The three bytes of a slope register.
inline support::Bytes slopeBytes(float slope)
{
    const auto value = static_cast<unsigned>(slope * 65536.0f);
    return {static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value)};
}

// The main window without a stick of its own and a simulated meter running its firmware behind a
// stick that the test pumps as the window would (update(33), 33 ms of the stick's time each). The
// meter is opened as the window opens it, and a page of it is pushed on the window's stack as the
// page before it would push it.
class MeterBench
{
public:
    static constexpr int kMeterNumber = 4321;
    static constexpr int kTick = 33;

    MeterBench()
        : radio(new support::SimulatedStickRadio(0x1008)), meter(radio->addMeter(kMeterNumber)),
          firmware(meter)
    {
        manager = new vant::ant::AntRadioManager(radio.get(), nullptr);
        EXPECT_TRUE(manager->create());
        window = std::make_unique<Pelotune>(
            [](int, int, int product) -> vant::ant::AntRadio* {
                auto* absent = new support::SimulatedStickRadio(product);
                absent->unplug();
                return absent;
            },
            QString::fromStdString(dataFolder.path()), [](int) {});
        window->show();
        timers.watch(stack());
    }

    virtual ~MeterBench()
    {
        window.reset();
        flush();
        if (device) {
            device->destroy();
        }
        device = nullptr;
        manager->destroy();
    }

    MeterBench(const MeterBench&) = delete;
    MeterBench& operator=(const MeterBench&) = delete;

    // Opens the meter and waits for its product pages, which the pages decide from.
    void openMeter()
    {
        openChannel();
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(runUntil(
            [&] {
                int revision = 0;
                return device->getManufacturerModel() != 0 && device->sportData &&
                       device->sportData->getField(&revision, 5);
            },
            30000));
    }

    // Opens the meter as the main window does: a search by its number leaves channel 0 open on it.
    void openChannel()
    {
        struct SearchEnd : vant::search::SportDeviceSearchListener
        {
            void deviceFound(int, int) override { found = true; }
            void searchFinished(bool) override { ended = true; }
            bool found = false;
            bool ended = false;
        } end;
        rezezaz::core::IntrusivePointer<vant::search::SportDeviceSearch> search =
            new vant::search::SportDeviceSearch(manager.get());
        search->addSportDeviceSearchListener(&end);
        ASSERT_TRUE(search->search(6, kMeterNumber, -1, -1, -1, -1, false));
        ASSERT_TRUE(runUntil([&] { return end.ended; }, 10000));
        search->destroy();
        ASSERT_TRUE(end.found);
        device = new vant::device::VelonixPowerMeterDevice(kMeterNumber, manager.get(), 0, false);
    }

    // Pushes the page on the window, which shows it.
    template <class Page> Page* push(Page* page)
    {
        window->addStackedWidget(page);
        flush();
        return page;
    }

    // As WindowRig::flush: ends with the deferred deletes.
    static void flush()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // One step of the stick's time.
    virtual void tick()
    {
        manager->update(kTick);
        timers.advance(kTick);
        QCoreApplication::processEvents();
        answerer.poll();
    }

    void run(int ms)
    {
        for (int elapsed = 0; elapsed < ms; elapsed += kTick) {
            tick();
        }
    }

    // Ticks until `done` holds, at most `limitMs` of the stick's time; false when it never did.
    bool runUntil(const std::function<bool()>& done, int limitMs = 30000)
    {
        for (int elapsed = 0; !done(); elapsed += kTick) {
            if (elapsed >= limitMs) {
                return false;
            }
            tick();
        }
        return true;
    }

    int logged(const std::string& text) const
    {
        const auto texts = log.listener.texts();
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }

    // The texts of the visible busy boxes.
    static QStringList busyTexts()
    {
        QStringList texts;
        for (QWidget* widget : QApplication::allWidgets()) {
            auto* box = qobject_cast<QProgressDialog*>(widget);
            if (box != nullptr && box->isVisible()) {
                texts << box->labelText();
            }
        }
        return texts;
    }
    static bool busy() { return !busyTexts().isEmpty(); }

    // The busy boxes shown while the meter runs until `done`, each text once in the order they came.
    std::vector<QString> busyTextsUntil(const std::function<bool()>& done, int limitMs = 30000)
    {
        std::vector<QString> texts;
        auto note = [&] {
            for (const QString& text : busyTexts()) {
                if (texts.empty() || texts.back() != text) {
                    texts.push_back(text);
                }
            }
        };
        note();
        EXPECT_TRUE(runUntil(
            [&] {
                note();
                return done();
            },
            limitMs));
        return texts;
    }

    QStackedWidget* stack() const { return window->findChild<QStackedWidget*>("stackedWidget"); }
    QWidget* currentPage() const { return stack()->currentWidget(); }
    QPushButton* windowButton(const char* name) const { return window->findChild<QPushButton*>(name); }

    static QString text(QWidget* page, const char* name) { return page->findChild<QLabel*>(name)->text(); }
    static QPushButton* button(QWidget* page, const char* name)
    {
        return page->findChild<QPushButton*>(name);
    }

    // Declared in the order they must outlive each other.
    support::LogCapture log;
    support::TemporaryFolder dataFolder;
    support::ModalBoxAnswerer answerer;
    support::UrlRecorder urls;
    rezezaz::core::IntrusivePointer<support::SimulatedStickRadio> radio;
    rezezaz::core::IntrusivePointer<vant::ant::AntRadioManager> manager;
    support::SimulatedPowerMeter& meter;
    support::SimulatedMeterFirmware firmware;
    std::unique_ptr<Pelotune> window;
    PageTimers timers;
    rezezaz::core::IntrusivePointer<vant::device::VelonixPowerMeterDevice> device;
};

} // namespace apptest

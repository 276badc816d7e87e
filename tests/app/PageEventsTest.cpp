// The window system hides and shows the pages of a minimised window, or of a window on another
// desktop, by itself: the meter's pages go on as they were, listening and without asking again.
#include "app/Adjust.h"
#include "app/Diagnostics.h"
#include "app/FactoryZero.h"
#include "app/Info.h"
#include "app/Settings.h"
#include "app/Slope.h"
#include "app/Tables.h"
#include "calibration/Calibrate.h"

#include "MeterBench.h"

#include <QHideEvent>
#include <QPointer>
#include <QShowEvent>
#include <QSpontaneKeyEvent>

#include <gtest/gtest.h>

#include <functional>

namespace {

using apptest::MeterBench;

void windowSystemHidesAndShows(QWidget* page)
{
    QHideEvent hide;
    QSpontaneKeyEvent::setSpontaneous(&hide);
    QCoreApplication::instance()->notify(page, &hide);
    QShowEvent show;
    QSpontaneKeyEvent::setSpontaneous(&show);
    QCoreApplication::instance()->notify(page, &show);
}

TEST(PageEventsTest, SlopePageNeitherStopsListeningNorReadsAgain)
{
    MeterBench b;
    b.openMeter();
    auto* page = b.push(new Slope(b.device.get(), b.window.get()));
    ASSERT_TRUE(
        b.runUntil([&] { return b.logged("Slope::querySlope factory:0") == 1 && !MeterBench::busy(); }));

    windowSystemHidesAndShows(page);
    page->setSlope(14.0f, false);
    ASSERT_TRUE(
        b.runUntil([&] { return b.logged("Slope::querySlope factory:0") == 2 && !MeterBench::busy(); }));
    EXPECT_EQ(b.logged("Slope::querySlope factory:1"), 1);
    EXPECT_EQ(b.logged("Slope::slopeChanged factory:0"), 1);
    EXPECT_EQ(MeterBench::text(page, "currentSlopeValue"), "14.00");
}

TEST(PageEventsTest, InfoPageAsksForItsCalibrationPageOnlyOnItsOwnShow)
{
    MeterBench b;
    b.openMeter();
    auto* page = b.push(new Info(b.device.get(), b.window.get()));
    windowSystemHidesAndShows(page);
    ASSERT_TRUE(b.runUntil([&] { return MeterBench::text(page, "pedalBalanceValue") != "--"; }));
    b.run(3000);
    EXPECT_FALSE(MeterBench::busy());
    int calibrationPassRequests = 0;
    for (const support::Bytes& message : b.meter.acknowledgedReceived()) {
        calibrationPassRequests += message[0] == 0x46 ? 1 : 0;
    }
    // One when shown, one after the power balance came.
    EXPECT_EQ(calibrationPassRequests, 2);
}

TEST(PageEventsTest, EveryPageGoesBackToTheMenuWhenTheMetersChannelCloses)
{
    using Make = std::function<QWidget*(MeterBench&)>;
    struct Case
    {
        const char* page;
        bool asks;
        Make make;
    };
    const Case cases[] = {
        {"Info", true, [](MeterBench& b) -> QWidget* { return new Info(b.device.get(), b.window.get()); }},
        {"Settings", true,
         [](MeterBench& b) -> QWidget* { return new Settings(b.device.get(), b.window.get()); }},
        {"Slope", true, [](MeterBench& b) -> QWidget* { return new Slope(b.device.get(), b.window.get()); }},
        {"Adjust", false,
         [](MeterBench& b) -> QWidget* { return new Adjust(b.device.get(), b.window.get(), 12.0f); }},
        {"Tables", true,
         [](MeterBench& b) -> QWidget* { return new Tables(b.device.get(), b.window.get(), 12.0f, 12.0f); }},
        {"Diagnostics", true,
         [](MeterBench& b) -> QWidget* { return new Diagnostics(b.device.get(), b.window.get()); }},
        {"FactoryZero", true,
         [](MeterBench& b) -> QWidget* { return new FactoryZero(b.device.get(), b.window.get()); }},
        {"Calibrate", false,
         [](MeterBench& b) -> QWidget* { return new Calibrate(b.device.get(), b.window.get(), 12.0f); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        MeterBench b;
        // The wizard's view has no display here.
        b.answerer.press("Error", "OK");
        b.openMeter();
        // The page that opened it lies below it, as on the window's stack.
        b.push(new QWidget);
        QPointer<QWidget> page = b.push(c.make(b));
        // A request of the page is out and unanswered (the Settings page's a second after the show);
        // the Adjust page and the wizard ask nothing.
        EXPECT_EQ(b.runUntil([] { return MeterBench::busy(); }, 1500), c.asks);
        // The meter's channel closes: the device tells its listeners.
        b.device->destroy();
        MeterBench::flush();
        EXPECT_EQ(b.stack()->count(), 2);
        EXPECT_EQ(b.stack()->currentIndex(), 0);
        EXPECT_TRUE(page.isNull());
        // No busy box of a request outlives its page, with or without a parent.
        EXPECT_FALSE(MeterBench::busy());
        b.run(3000);
    }
}

} // namespace

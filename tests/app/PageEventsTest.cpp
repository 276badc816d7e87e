// The window system hides and shows the pages of a minimised window, or of a window on another
// desktop, by itself: the meter's pages go on as they were, listening and without asking again.
#include "app/Info.h"
#include "app/Slope.h"

#include "MeterBench.h"

#include <QHideEvent>
#include <QShowEvent>
#include <QSpontaneKeyEvent>

#include <gtest/gtest.h>

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

} // namespace

// Every box of the program belongs to the window and stands centred on it, wherever the window is:
// never at the centre of the screen, half outside the window.
#include "MeterBench.h"
#include "Screenshot.h"
#include "WindowRig.h"

#include "app/Diagnostics.h"
#include "app/Settings.h"
#include "app/Slope.h"
#include "calibration/Results.h"

#include <QInputDialog>
#include <QScreen>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using apptest::MeterBench;
using apptest::slopeBytes;
using apptest::WindowRig;
using Box = support::ModalBoxAnswerer::Box;

// Where a road's box stood and where the window stood as it was shown.
struct Placement
{
    std::vector<Box> boxes; // those with the road's title
    QRect window;
};

// Moves the window away from the screen's centre, so that a box centred on the screen is not
// centred on the window.
void moveAside(QWidget& window)
{
    const QRect screen = window.screen()->availableGeometry();
    window.move(screen.left() + 5, screen.top() + 5);
    window.resize(screen.width() / 2, screen.height() / 2);
    MeterBench::flush();
}

// A meter opened on a bench whose window is moved aside.
struct AsideBench : MeterBench
{
    AsideBench()
    {
        firmware.setRegisters(0x09, slopeBytes(12.5f));
        firmware.setRegisters(0x21, slopeBytes(12.0f));
        openMeter();
        moveAside(*window);
        // The window as the user reads the box: a page that goes after the answer changes its size.
        answerer.beforeAnswer = [this](QWidget* box) {
            windowAtAnswer = window->frameGeometry();
            apptest::Screenshot::screen(window.get(), "box-over-the-window-" + box->windowTitle());
        };
    }

    Placement seen(const QString& title)
    {
        return {answerer.boxes(title), windowAtAnswer.isValid() ? windowAtAnswer : window->frameGeometry()};
    }

    QRect windowAtAnswer;
};

Placement sendData()
{
    AsideBench b;
    b.push(new QWidget);
    auto* page = b.push(new Results(b.device.get(), b.window.get(), 12.0f, 0.25f, 16.0f, 25.0f, 25.0f, 49.0f,
                                    49.0f, 1.0f, 8.0f));
    b.answerer.press("Send Data", "No");
    MeterBench::button(page, "acceptButton")->click();
    MeterBench::flush();
    // The slope handed on is not for the next road's Slope page.
    Slope::startSetSlope = 0.0f;
    return b.seen("Send Data");
}

Placement sendDiagnostics()
{
    AsideBench b;
    b.push(new QWidget);
    auto* page = b.push(new Diagnostics(b.device.get(), b.window.get()));
    EXPECT_TRUE(b.runUntil([&] { return b.logged("Diagnostics::cadenceModeChanged") == 1; }));
    b.answerer.press("Send Diagnostics", "Cancel");
    MeterBench::button(page, "sendButton")->click();
    MeterBench::flush();
    return b.seen("Send Diagnostics");
}

Placement resetSlope()
{
    AsideBench b;
    auto* page = b.push(new Slope(b.device.get(), b.window.get()));
    EXPECT_TRUE(b.runUntil([&] { return b.logged("Slope::querySlope factory:0") == 1 && !MeterBench::busy(); }));
    b.answerer.press("Reset Slope", "Cancel");
    MeterBench::button(page, "resetSlopeButton")->click();
    MeterBench::flush();
    return b.seen("Reset Slope");
}

Placement enterSlope()
{
    AsideBench b;
    auto* page = b.push(new Slope(b.device.get(), b.window.get()));
    EXPECT_TRUE(b.runUntil([&] { return b.logged("Slope::querySlope factory:0") == 1 && !MeterBench::busy(); }));
    b.answerer.press("Enter Slope", "Cancel");
    MeterBench::button(page, "enterSlopeButton")->click();
    MeterBench::flush();
    return b.seen("Enter Slope");
}

// A page's busy box: the Settings page reads the meter's settings as it is shown.
Placement readingSettings()
{
    AsideBench b;
    b.push(new Settings(b.device.get(), b.window.get()));
    EXPECT_TRUE(b.runUntil([&] { return !b.answerer.boxes().empty() && !MeterBench::busy(); }));
    std::vector<Box> busy;
    for (const Box& box : b.answerer.boxes()) {
        if (box.text == "Reading Autozero...") {
            busy.push_back(box);
        }
    }
    return {busy, b.window->frameGeometry()};
}

// The window's own busy box, over a meter opened by its number.
Placement connecting()
{
    WindowRig rig;
    rig.bench.plug(0x1008);
    rig.bench.meters = [](support::SimulatedStickRadio& stick) { stick.addMeter(1234); };
    rig.boxes.press("Warning", "I Understand");
    rig.start();
    moveAside(*rig.window);
    rig.window->enterID();
    rig.boxes.poll(); // as the user sees it, before typing
    auto* dialog = rig.window->findChild<QInputDialog*>();
    EXPECT_NE(dialog, nullptr);
    if (dialog != nullptr) {
        dialog->setIntValue(1234);
        dialog->accept();
    }
    rig.tick();
    std::vector<Box> shown;
    for (const Box& box : rig.boxes.boxes()) {
        if (box.text == "Connecting to power meter..." || box.title == "Enter Power Meter ID") {
            shown.push_back(box);
        }
    }
    return {shown, rig.window->frameGeometry()};
}

TEST(BoxPlacementTest, EveryBoxStandsCentredOnTheWindow)
{
    struct Case
    {
        const char* road;
        std::function<Placement()> open;
        std::size_t boxes;
    };
    const Case cases[] = {
        {"Results: Send Data", sendData, 1},
        {"Diagnostics: Send Diagnostics", sendDiagnostics, 1},
        {"Slope: Reset Slope", resetSlope, 1},
        {"Slope: Enter Slope", enterSlope, 1},
        {"a page's busy box", readingSettings, 1},
        {"the window: Enter Power Meter ID, then its busy box", connecting, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.road);
        const Placement seen = c.open();
        ASSERT_EQ(seen.boxes.size(), c.boxes);
        for (const Box& box : seen.boxes) {
            SCOPED_TRACE(box.title.toStdString());
            EXPECT_TRUE(seen.window.contains(box.frame));
            EXPECT_LE((box.frame.center() - seen.window.center()).manhattanLength(), 4);
        }
    }
}

} // namespace

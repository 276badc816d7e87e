// The calibration view with a real render device: what makes a frame draw. A still page draws
// nothing; a change of the model, the window's size or its exposure draws one frame.
#include "CalibrateBench.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace gltest {
bool contextRequired();
}

namespace {

using apptest::CalibrateBench;
using apptest::MeterBench;

// The meter opened and the wizard on the window, its warning answered, the meter in calibration
// mode and the crank's first turn played; the test plays the frames itself.
struct StillBench : CalibrateBench
{
    StillBench() : CalibrateBench(3)
    {
        for (QTimer* timer : page->findChildren<QTimer*>()) {
            timer->stop();
        }
    }

    // Frames until the animations have ended and one more frame has drawn what they left.
    bool settle()
    {
        for (int frame = 0; frame < 1000; ++frame) {
            page->update();
            if (page->getAnimations().isEmpty()) {
                page->update();
                return true;
            }
        }
        return false;
    }

    // How many of `frames` frames drew.
    int framesDrawn(int frames)
    {
        int drawn = 0;
        for (int frame = 0; frame < frames; ++frame) {
            page->update();
            drawn += page->drewLastFrame() ? 1 : 0;
        }
        return drawn;
    }
};

TEST(CalibrationViewGLTest, AStillPageDrawsOnlyWhenTheModelTheWindowsSizeOrItsExposureChanged)
{
    if (QGuiApplication::platformName() != "xcb") {
        if (gltest::contextRequired()) {
            FAIL() << "no X display";
        }
        GTEST_SKIP() << "no X display";
    }
    StillBench b;
    ASSERT_NE(b.view->getRenderDevice(), nullptr);
    ASSERT_TRUE(b.runUntil([&] { return b.firmware.registers(0x3D, 1) == support::Bytes{60} && !MeterBench::busy(); }));
    MeterBench::flush();
    ASSERT_TRUE(b.settle());
    EXPECT_EQ(b.framesDrawn(30), 0);

    struct Change
    {
        const char* name;
        std::function<void()> make;
        int frames;
    };
    const Change changes[] = {
        {"a drag",
         [&] {
             QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 50), QPointF(100, 50), Qt::LeftButton,
                               Qt::LeftButton, Qt::NoModifier);
             QCoreApplication::sendEvent(b.page, &press);
             QMouseEvent move(QEvent::MouseMove, QPointF(110, 50), QPointF(110, 50), Qt::NoButton, Qt::LeftButton,
                              Qt::NoModifier);
             QCoreApplication::sendEvent(b.page, &move);
             QMouseEvent release(QEvent::MouseButtonRelease, QPointF(110, 50), QPointF(110, 50), Qt::LeftButton,
                                 Qt::NoButton, Qt::NoModifier);
             QCoreApplication::sendEvent(b.page, &release);
         },
         1},
        {"a part shown at once", [&] { b.page->displayNode(b.page->getBigChainNode(), true); }, 1},
        {"the window's size",
         [&] {
             const QSize before = b.view->size();
             b.window->resize(b.window->width() + 60, b.window->height() + 40);
             ASSERT_TRUE(b.runUntil([&] { return b.view->size() != before; }));
         },
         // The frame at the new size and the one after its swap, from which the driver may only
         // take the new size; one more when the toolkit's resize came before the window system's
         // notice of it.
         -1},
        {"the window exposed", [&] { b.view->repaint(); }, 1},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        change.make();
        const int drawn = b.framesDrawn(30);
        if (change.frames < 0) {
            EXPECT_GE(drawn, 2);
            EXPECT_LE(drawn, 3);
        } else {
            EXPECT_EQ(drawn, change.frames);
        }
    }

    // A step's animations draw every frame while they play, then nothing.
    b.page->findChild<QLineEdit*>("crankArmLengthValue")->setText("175");
    b.page->findChild<QLineEdit*>("weightUsedValue")->setText("20");
    b.page->findChild<QRadioButton*>("weightUsedKg")->setChecked(true);
    MeterBench::button(b.page, "continueButton")->click();
    MeterBench::button(b.page, "continueButton")->click();
    ASSERT_EQ(b.page->getStep(), 2);
    ASSERT_FALSE(b.page->getAnimations().isEmpty());
    EXPECT_EQ(b.framesDrawn(60), 31);
}

} // namespace

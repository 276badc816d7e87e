// The calibration wizard as a user sees it: its 3D view drawn by the GLX target on the view's own X
// window, read back from the X server.
#include "calibration/Calibrate.h"
#include "calibration/RezezazWidget.h"
#include "scene/Engine.h"

#include "MeterBench.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace gltest {
bool contextRequired();
}

namespace {

using apptest::MeterBench;

// Skips without an X display, or fails where one is required.
#define REQUIRE_DISPLAY()                                                                                     \
    do {                                                                                                      \
        if (QGuiApplication::platformName() != "xcb") {                                                       \
            if (gltest::contextRequired()) {                                                                  \
                FAIL() << "no X display";                                                                     \
            }                                                                                                 \
            GTEST_SKIP() << "no X display";                                                                   \
        }                                                                                                     \
    } while (false)

// The meter opened, the wizard shown on the window with its warning answered.
struct ViewBench : MeterBench
{
    explicit ViewBench(int model)
    {
        meter.product.model = model;
        // Answered so that a failure shows as a failure, not as a test that waits.
        answerer.press("Error", "OK");
        answerer.press("Warning", "OK");
        openMeter();
        window->resize(268, 700);
        push(new QWidget);
        page = push(new Calibrate(device.get(), window.get(), 12.5f));
        view = page->findChild<RezezazWidget*>("rezezaz");
    }

    // The view's window as the X server shows it.
    QImage grabView() const
    {
        return QGuiApplication::primaryScreen()->grabWindow(view->winId()).toImage();
    }

    // Draws frames until `seen` holds for a picture of the view; false when it never did.
    bool drawUntil(const std::function<bool(const QImage&)>& seen, int frames = 600)
    {
        for (int frame = 0; frame < frames; ++frame) {
            page->update();
            flush();
            const QImage picture = grabView();
            if (!picture.isNull() && seen(picture)) {
                return true;
            }
        }
        return false;
    }

    Calibrate* page = nullptr;
    RezezazWidget* view = nullptr;
};

TEST(CalibrateGLTest, TheViewDrawsOnItsOwnWindow)
{
    REQUIRE_DISPLAY();
    ViewBench b(3);
    EXPECT_TRUE(b.answerer.boxes("Error").empty());
    ASSERT_NE(b.view->getRenderDevice(), nullptr);
    EXPECT_EQ(b.page->getEngine()->getRenderDevice(), b.view->getRenderDevice());
    ASSERT_GT(b.view->width(), 100);
    ASSERT_GT(b.view->height(), 100);
    // Each frame is cleared to the page's white before the model is drawn.
    EXPECT_TRUE(b.drawUntil([&](const QImage& picture) {
        return picture.pixel(5, 5) == qRgb(255, 255, 255) &&
               picture.pixel(picture.width() - 5, picture.height() - 5) == qRgb(255, 255, 255);
    }));
}

} // namespace

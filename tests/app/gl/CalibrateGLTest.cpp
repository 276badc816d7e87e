// The calibration wizard as a user sees it: its 3D view drawn by the GLX target on the view's own X
// window, read back from the X server.
#include "calibration/Calibrate.h"
#include "calibration/RezezazWidget.h"
#include "core/math/AABox.h"
#include "core/math/Vector3.h"
#include "render/MaterialState.h"
#include "render/RenderState.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/Mesh.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"

#include "MeterBench.h"

#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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
using rezezaz::core::IntrusivePointer;

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

// Whether any pixel of the part of `picture` between the fractions (x0, y0) and (x1, y1) of its size
// (from the top left) differs from the background.
bool drawnIn(const QImage& picture, double x0, double y0, double x1, double y1)
{
    const QRgb background = qRgb(255, 255, 255);
    for (int y = static_cast<int>(y0 * picture.height()); y < static_cast<int>(y1 * picture.height()); ++y) {
        for (int x = static_cast<int>(x0 * picture.width()); x < static_cast<int>(x1 * picture.width()); ++x) {
            if (picture.pixel(x, y) != background) {
                return true;
            }
        }
    }
    return false;
}

// Boxes stand in for the compiled-in models: the crank's at the middle, the big chain's up and to the
// right as the camera sees it. Only what the step shows is drawn.
TEST(CalibrateGLTest, ThePartsOfTheModelAreDrawnWhenTheStepShowsThem)
{
    REQUIRE_DISPLAY();
    ViewBench b(3);
    ASSERT_NE(b.view->getRenderDevice(), nullptr);
    rezezaz::scene::Engine* engine = b.page->getEngine();
    // Lit red, as a model's material carries its colours.
    IntrusivePointer<rezezaz::render::RenderState> colours = engine->getMaterialManager()->createRenderState();
    ASSERT_TRUE(colours);
    rezezaz::render::MaterialState lit;
    lit.light = true;
    lit.ambient = {0.4f, 0.1f, 0.1f, 1.0f};
    lit.diffuse = {0.8f, 0.2f, 0.2f, 1.0f};
    colours->setMaterialState(lit);
    auto standIn = [&](rezezaz::scene::Node* node, const rezezaz::core::math::Vector3& low,
                       const rezezaz::core::math::Vector3& high) {
        auto* mesh = dynamic_cast<rezezaz::scene::MeshComponent*>(node->getVisible(0));
        ASSERT_NE(mesh, nullptr);
        mesh->setMesh(engine
                          ->createAABoxMesh(rezezaz::core::math::AABox(low, high),
                                            engine->createDiffuseMaterial(nullptr, colours.get()))
                          .get());
        ASSERT_NE(mesh->getMesh(), nullptr);
        // As the page would have had it with its model: the shared state from the mesh's colours, and
        // the node placed anew so that its bound takes in the mesh.
        mesh->setSharedRenderState(nullptr);
        node->setTranslate(0.0f, 0.0f, 0.0f);
    };
    standIn(b.page->getCrankNode(), {-0.3f, -0.3f, -0.3f}, {0.3f, 0.3f, 0.3f});
    standIn(b.page->getBigChainNode(), {2.3f, -0.2f, 1.8f}, {2.7f, 0.2f, 2.2f});
    // The stand-in of the big chain starts hidden, as the page's own.
    b.page->displayNode(b.page->getBigChainNode(), false);
    ASSERT_TRUE(b.runUntil([&] { return b.firmware.registers(0x3D, 1) == support::Bytes{60} && !MeterBench::busy(); }));
    ASSERT_TRUE(b.drawUntil([&](const QImage&) { return b.page->getAnimations().isEmpty(); }));

    // Before the first step: the crank only.
    EXPECT_TRUE(b.drawUntil([](const QImage& picture) {
        return drawnIn(picture, 0.4, 0.4, 0.6, 0.6) && !drawnIn(picture, 0.7, 0.0, 1.0, 0.35);
    }));
    // The step that asks for the big chain fades it in.
    b.page->findChild<QLineEdit*>("crankArmLengthValue")->setText("175");
    b.page->findChild<QLineEdit*>("weightUsedValue")->setText("20");
    b.page->findChild<QRadioButton*>("weightUsedKg")->setChecked(true);
    MeterBench::button(b.page, "continueButton")->click();
    MeterBench::button(b.page, "continueButton")->click();
    ASSERT_EQ(b.page->getStep(), 2);
    EXPECT_TRUE(b.drawUntil([&](const QImage& picture) {
        return b.page->getAnimations().isEmpty() && drawnIn(picture, 0.7, 0.0, 1.0, 0.35);
    }));
    // Back: the chain hidden at once.
    b.window->backClicked();
    EXPECT_TRUE(b.drawUntil([](const QImage& picture) {
        return drawnIn(picture, 0.4, 0.4, 0.6, 0.6) && !drawnIn(picture, 0.7, 0.0, 1.0, 0.35);
    }));
}

} // namespace

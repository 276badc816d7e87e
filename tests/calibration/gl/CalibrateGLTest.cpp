// The calibration wizard as a user sees it: its 3D view drawn by the GLX target on the view's own X
// window, read back from the X server, with the models the program carries.
#include "CalibrateBench.h"
#include "core/Logger.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Vector3.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/Transform.h"
#include "scene/material/Material.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Last: Xlib's macros would break the toolkit's headers.
#include "support/gl/XTestWindow.h"

namespace gltest {
bool contextRequired();
}

namespace {

using apptest::MeterBench;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector3;

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

// What a widget's window holds: the frames the page swapped into it.
QImage windowPicture(gltest::XTestDisplay& x, QWidget* view)
{
    int width = 0;
    int height = 0;
    const std::vector<uint32_t> pixels = x.image(view->winId(), &width, &height);
    QImage picture(width, height, QImage::Format_RGB32);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            picture.setPixel(column, row, 0xFF000000u | pixels[static_cast<size_t>(row * width + column)]);
        }
    }
    return picture;
}

// The meter opened, the wizard shown on the window with its warning answered.
struct ViewBench : apptest::CalibrateBench
{
    explicit ViewBench(int model) : CalibrateBench(model)
    {
        if (x.get() != nullptr) {
            // The view's own pixels are read, not the screen: another test's window over the view,
            // as under a parallel run on one screen, hides nothing.
            EXPECT_TRUE(x.keepContents(view->winId()));
            const QPoint corner = view->mapToGlobal(QPoint(0, 0));
            x.createWindow(320, 240, corner.x(), corner.y());
        }
    }

    QImage grabView() { return windowPicture(x, view); }

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

    gltest::XTestDisplay x;
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

// What a pixel of the view shows: the white background, the lit silver of the crank's arms, the grey
// of a chain, the red of an arrow, or something else (the dark rings, edges).
enum class Shows
{
    background,
    silver,
    chain,
    red,
    other
};

Shows shown(QRgb colour)
{
    const int r = qRed(colour);
    const int g = qGreen(colour);
    const int b = qBlue(colour);
    if (colour == qRgb(255, 255, 255)) {
        return Shows::background;
    }
    if (r > 100 && g * 3 < r && b * 3 < r) {
        return Shows::red;
    }
    if (std::abs(r - g) <= 4 && std::abs(b - r) <= 12) {
        // Lit by the light along +y: unlit, the silver is no brighter than its ambient part.
        if (r >= 150 && r <= 235) {
            return Shows::silver;
        }
        if (r >= 95 && r <= 140) {
            return Shows::chain;
        }
    }
    return Shows::other;
}

const char* nameOf(Shows what)
{
    switch (what) {
    case Shows::background:
        return "background";
    case Shows::silver:
        return "silver";
    case Shows::chain:
        return "chain";
    case Shows::red:
        return "red";
    default:
        return "other";
    }
}

// Points of the model (world units, the crank at rest): the front faces of the arms' ends, a chain's
// links at the top of its ring, the back arrow's head. The front (right) arm lies along +x at 0.
const Vector3 kRightArmEnd(1.5f, -0.64f, 0.0f);
const Vector3 kRightArmEndTurned(-1.5f, -0.64f, 0.0f);
const Vector3 kBigChainTop(0.0f, -0.48f, 1.07f);
const Vector3 kSmallChainTop(0.0f, -0.40f, 0.795f);
const Vector3 kBackArrowHead(1.6f, 0.58f, -0.9f);

// What the view's last frame shows where the page's camera sees `point`.
Shows at(const Calibrate* page, const QImage& picture, const Vector3& point)
{
    const rezezaz::core::math::Matrix4x4& m = page->getCamera()->getViewProjectionMatrix();
    float clip[4];
    for (int row = 0; row < 4; ++row) {
        clip[row] = m.at(row, 0) * point.x + m.at(row, 1) * point.y + m.at(row, 2) * point.z + m.at(row, 3);
    }
    const auto x = static_cast<int>(std::lround((clip[0] / clip[3] + 1.0f) * 0.5f * picture.width()));
    const auto y = static_cast<int>(std::lround((1.0f - clip[1] / clip[3]) * 0.5f * picture.height()));
    if (clip[3] <= 0.0f || x < 0 || y < 0 || x >= picture.width() || y >= picture.height()) {
        return Shows::other;
    }
    return shown(picture.pixel(x, y));
}

// The pose a picture must show: what each point of the model shows.
struct Pose
{
    Shows rightArmEnd;
    Shows rightArmEndTurned;
    Shows bigChain;
    Shows smallChain;
    Shows backArrow;
};

bool shows(const Calibrate* page, const QImage& picture, const Pose& pose)
{
    return at(page, picture, kRightArmEnd) == pose.rightArmEnd &&
           at(page, picture, kRightArmEndTurned) == pose.rightArmEndTurned &&
           (at(page, picture, kBigChainTop) == Shows::chain) == (pose.bigChain == Shows::chain) &&
           (at(page, picture, kSmallChainTop) == Shows::chain) == (pose.smallChain == Shows::chain) &&
           at(page, picture, kBackArrowHead) == pose.backArrow;
}

std::string describe(const Calibrate* page, const QImage& picture)
{
    std::string text;
    for (const auto& [name, point] : {std::pair<const char*, Vector3>{"right arm end", kRightArmEnd},
                                      {"right arm end turned", kRightArmEndTurned},
                                      {"big chain", kBigChainTop},
                                      {"small chain", kSmallChainTop},
                                      {"back arrow", kBackArrowHead}}) {
        text += std::string(name) + ": " + nameOf(at(page, picture, point)) + "; ";
    }
    return text;
}

// How often the engine's scene layer logged `text` at `level` while the bench lived.
int logged(const ViewBench& b, rezezaz::core::Logger::Level level, const std::string& text)
{
    int count = 0;
    for (const auto& entry : b.log.listener.entries.snapshot()) {
        count += entry.categoryName == "rezezaz.scene" && entry.level == level && entry.text == text ? 1 : 0;
    }
    return count;
}

// The page reads its five models from the program's compiled-in files through its archive; the
// materials that the files name are none the material manager holds, so each file gets its own.
TEST(CalibrateGLTest, TheFiveModelsComeFromTheCompiledInFilesEachWithItsOwnMaterials)
{
    REQUIRE_DISPLAY();
    ViewBench b(3);
    ASSERT_NE(b.view->getRenderDevice(), nullptr);
    struct Model
    {
        rezezaz::scene::Node* node;
        const char* file;
        std::vector<std::string> materials;
    };
    const Model models[] = {
        {b.page->getCrankNode(), ":tmsh/crank.tmsh", {"Material", "Material.002"}},
        {b.page->getBigChainNode(), ":tmsh/bigChain.tmsh", {"Chain"}},
        {b.page->getSmallChainNode(), ":tmsh/smallChain.tmsh", {"Chain"}},
        {b.page->getBackArrowNode(), ":tmsh/backArrow.tmsh", {"Arrow"}},
        {b.page->getFrontArrowNode(), ":tmsh/frontArrow.tmsh", {"Arrow"}},
    };
    std::set<const rezezaz::scene::material::Material*> materials;
    for (const Model& model : models) {
        SCOPED_TRACE(model.file);
        ASSERT_EQ(model.node->getNumVisibles(), 1);
        auto* component = dynamic_cast<rezezaz::scene::MeshComponent*>(model.node->getVisible(0));
        ASSERT_NE(component, nullptr);
        rezezaz::scene::Mesh* mesh = component->getMesh();
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(std::string(mesh->getName().c_str()), model.file);
        ASSERT_EQ(mesh->getNumSubMeshes(), static_cast<int>(model.materials.size()));
        for (int i = 0; i < mesh->getNumSubMeshes(); ++i) {
            const rezezaz::scene::material::Material* material = mesh->getSubMesh(i)->material.get();
            ASSERT_NE(material, nullptr);
            EXPECT_EQ(std::string(material->getName().c_str()), model.materials[i]);
            materials.insert(material);
        }
        EXPECT_EQ(logged(b, rezezaz::core::Logger::DEBUG, std::string("ResourceManager::findFromFile:") + model.file),
                  1);
    }
    EXPECT_EQ(materials.size(), 6u);
    // The look-up of each material name without a dot ends there; "Material.002" reads as a file of
    // the type "002", which no reader takes.
    EXPECT_EQ(logged(b, rezezaz::core::Logger::WARNING, "extension not found on file"), 5);
    EXPECT_EQ(logged(b, rezezaz::core::Logger::ERROR, "streamer for Material.002 not found"), 1);
}

// The models drawn as the steps place them: at the start the crank alone, lit, its right arm along
// +x; after the press at step 2 the small chain and the back arrow, the crank turned to pi; Back puts
// the pose of the step before at once.
TEST(CalibrateGLTest, TheViewShowsThePartsThatTheStepPlaces)
{
    REQUIRE_DISPLAY();
    ViewBench b(3);
    ASSERT_NE(b.view->getRenderDevice(), nullptr);
    ASSERT_TRUE(b.runUntil([&] { return b.firmware.registers(0x3D, 1) == support::Bytes{60} && !MeterBench::busy(); }));
    ASSERT_TRUE(b.drawUntil([&](const QImage&) { return b.page->getAnimations().isEmpty(); }));

    QImage last;
    auto drawsPose = [&](const Pose& pose) {
        return b.drawUntil([&](const QImage& picture) {
            last = picture;
            return b.page->getAnimations().isEmpty() && shows(b.page, picture, pose);
        });
    };
    // Where the chains and arrows will be, the background or the rings behind them.
    EXPECT_TRUE(drawsPose({Shows::silver, Shows::background, Shows::other, Shows::other, Shows::background}))
        << describe(b.page, last);

    b.page->findChild<QLineEdit*>("crankArmLengthValue")->setText("175");
    b.page->findChild<QLineEdit*>("weightUsedValue")->setText("20");
    b.page->findChild<QRadioButton*>("weightUsedKg")->setChecked(true);
    for (int press = 0; press < 3; ++press) {
        if (press == 2) {
            // The press at step 2 takes a reading of its placement: one must have come.
            ASSERT_TRUE(b.runUntil(
                [&] { return MeterBench::button(b.page, "continueButton")->text().startsWith("Take reading"); }));
        }
        MeterBench::button(b.page, "continueButton")->click();
    }
    ASSERT_EQ(b.page->getStep(), 3);
    // The left arm, behind, now reaches to +x above the arrow; the right arm's end is at -x.
    EXPECT_TRUE(drawsPose({Shows::background, Shows::silver, Shows::other, Shows::chain, Shows::red}))
        << describe(b.page, last);
    EXPECT_NEAR(std::fabs(b.page->getCrankNode()->getTransform()->rotate.y), 1.0f, 1e-6f);

    // Back to the step that asks for the big chain: shown at once, the crank at rest.
    b.window->backClicked();
    ASSERT_EQ(b.page->getStep(), 2);
    EXPECT_TRUE(b.page->getAnimations().isEmpty());
    EXPECT_TRUE(drawsPose({Shows::silver, Shows::background, Shows::chain, Shows::other, Shows::background}))
        << describe(b.page, last);
}

// The wizard as it opens: its warning box up and nothing pressed, the page's frames on the toolkit's
// own timer. The view's window is sized by the window system after the view was made; the first frame
// at that size is drawn even though nothing in the scene moves, at every opening.
TEST(CalibrateGLTest, TheViewShowsTheModelAtItsRealSizeWhileTheOpeningWarningIsUp)
{
    REQUIRE_DISPLAY();
    MeterBench b;
    b.meter.product.model = 3;
    b.answerer.press("Error", "OK");
    b.openMeter();
    b.window->resize(268, 700);
    b.push(new QWidget);
    gltest::XTestDisplay x;
    GLTEST_REQUIRE(x.get() != nullptr, "X display");

    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening == 1 ? "first opening" : "second opening");
        QPointer<Calibrate> page = new Calibrate(b.device.get(), b.window.get(), 12.5f);
        auto* view = page->findChild<RezezazWidget*>("rezezaz");
        ASSERT_NE(view->getRenderDevice(), nullptr);
        // Read from the view's own window before anything is drawn into it.
        ASSERT_TRUE(x.keepContents(view->winId()));
        b.window->addStackedWidget(page);

        auto warningUp = [&] {
            for (QMessageBox* box : page->findChildren<QMessageBox*>()) {
                if (box->isVisible() && box->windowTitle() == "Warning") {
                    return true;
                }
            }
            return false;
        };
        auto grab = [&] { return windowPicture(x, view); };
        auto drawnWhole = [&](const QImage& picture) {
            const int w = picture.width();
            const int h = picture.height();
            return w == view->width() && h == view->height() && w > 100 && h > 100 &&
                   picture.pixel(3, 3) == qRgb(255, 255, 255) && picture.pixel(w - 4, 3) == qRgb(255, 255, 255) &&
                   picture.pixel(3, h - 4) == qRgb(255, 255, 255) &&
                   picture.pixel(w - 4, h - 4) == qRgb(255, 255, 255) &&
                   at(page, picture, kRightArmEnd) == Shows::silver;
        };
        // Only the toolkit's events and timers run: no frame is asked for by the test.
        QImage picture;
        QDeadlineTimer deadline(30000);
        bool seen = false;
        while (!seen && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (warningUp()) {
                picture = grab();
                seen = drawnWhole(picture);
            }
        }
        if (!seen && !qEnvironmentVariable("PELOTUNE_SCREENSHOTS").isEmpty()) {
            picture.save(qEnvironmentVariable("PELOTUNE_SCREENSHOTS") + QString("/opening-%1.png").arg(opening));
        }
        EXPECT_TRUE(warningUp());
        EXPECT_TRUE(seen) << "view " << view->width() << "x" << view->height() << ", window " << picture.width()
                          << "x" << picture.height() << "; " << describe(page, picture);
        EXPECT_TRUE(b.answerer.boxes("Warning").size() == static_cast<size_t>(opening));

        // The wizard goes (its warning with it) and is opened again over the same page.
        b.stack()->removeWidget(page);
        delete page.data();
        MeterBench::flush();
    }
}

} // namespace

// The pieces of the calibration wizard's 3D view that need no display: the animations on the nodes of
// a backed engine, the page's drag and frame, and the archive of compiled-in files.
#include "calibration/Calibrate.h"
#include "calibration/view/FadeAnimation.h"
#include "calibration/view/PelotuneAnimation.h"
#include "calibration/view/QtArchive.h"
#include "calibration/view/RezezazWidget.h"
#include "calibration/view/RotateAnimation.h"
#include "content/EngineHandlers.h"
#include "core/IntrusivePointer.h"
#include "core/io/Stream.h"
#include "render/BlendState.h"
#include "render/MaterialState.h"
#include "render/RenderState.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/Mesh.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/Scene.h"
#include "scene/Transform.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"

#include "MeterBench.h"
#include "Screenshot.h"

#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using apptest::MeterBench;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::AABox;
using rezezaz::core::math::Vector3;
using rezezaz::render::BlendState;
using rezezaz::render::MaterialState;
using rezezaz::render::RenderState;
using rezezaz::scene::Engine;
using rezezaz::scene::MeshComponent;
using rezezaz::scene::Node;
using rezezaz::scene::Scene;

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 2.0f * kPi;

// A node showing a box mesh on an engine without a device; `backed` lets it make device-independent
// buffers and render states (and so give the mesh a shared one).
struct ViewScene
{
    explicit ViewScene(bool backed)
    {
        engine = new Engine(nullptr, nullptr);
        engine->setHasBackableFixed(backed);
        engine->setHasBackableShader(backed);
        installHandlers(*engine);
        scene = new Scene(engine.get(), 0.001f);
        node = new Node(scene.get());
        scene->getRoot()->attach(node.get());
        mesh = new MeshComponent(engine.get());
        // Without a device nor backable buffers no mesh can be made: the component stays empty, as
        // the view's are without a display.
        if (backed) {
            mesh->setMesh(
                engine->createAABoxMesh(AABox(Vector3(-1.0f, -1.0f, -1.0f), Vector3(1.0f, 1.0f, 1.0f)), nullptr).get());
        }
        node->attach(mesh.get());
    }
    ~ViewScene() { scene->destroy(); }

    IntrusivePointer<Engine> engine;
    IntrusivePointer<Scene> scene;
    IntrusivePointer<Node> node;
    IntrusivePointer<MeshComponent> mesh;
};

float angleAbout(const Node* node, float (*component)(const rezezaz::core::math::Quaternion&))
{
    const auto& q = node->getTransform()->rotate;
    return std::remainder(2.0f * std::atan2(component(q), q.w), kTwoPi);
}
float yOf(const rezezaz::core::math::Quaternion& q)
{
    return q.y;
}
float zOf(const rezezaz::core::math::Quaternion& q)
{
    return q.z;
}

TEST(CalibrationViewTest, AnAnimationOfOneSecondEndsOnTheThirtyFirstFrameAtItsLastPose)
{
    ViewScene view(true);
    RotateAnimation turn(view.node.get(), Vector3(0.0f, 1.0f, 0.0f), 0.0f, kPi, 1000);
    for (int tick = 1; tick <= 30; ++tick) {
        turn.update(33);
        ASSERT_FALSE(turn.finished()) << tick;
    }
    EXPECT_EQ(turn.getElapsed(), 990);
    EXPECT_NEAR(angleAbout(view.node.get(), yOf), kPi * 0.99f, 1e-5f);
    turn.update(33);
    EXPECT_TRUE(turn.finished());
    EXPECT_EQ(turn.getElapsed(), 1000);
    EXPECT_NEAR(std::fabs(angleAbout(view.node.get(), yOf)), kPi, 1e-5f);
    // Played out: more time changes nothing.
    turn.update(33);
    EXPECT_EQ(turn.getElapsed(), 1000);
}

TEST(CalibrationViewTest, FadesSetTheAlphaTheBlendingAndWhetherTheNodeIsDrawn)
{
    struct Case
    {
        float from, to;
        int ticks;
        float alpha;
        int source, dest;
        int scope;
    };
    const Case cases[] = {
        // 1/33 of the way in: drawn, blending.
        {0.0f, 1.0f, 1, 0.033f, 7, 9, -1},
        {0.0f, 1.0f, 31, 1.0f, 0, 1, -1},
        {1.0f, 0.0f, 1, 0.967f, 7, 9, -1},
        {1.0f, 0.0f, 31, 0.0f, 7, 9, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + " after " + std::to_string(c.ticks));
        ViewScene view(true);
        view.node->setScope(c.from > 0.0f ? -1 : 0);
        FadeAnimation fade(view.node.get(), c.from, c.to, 1000);
        for (int tick = 0; tick < c.ticks; ++tick) {
            fade.update(33);
        }
        EXPECT_EQ(fade.finished(), c.ticks == 31);
        EXPECT_EQ(view.node->getScope(), c.scope);
        RenderState* state = view.mesh->getSharedRenderState();
        ASSERT_NE(state, nullptr);
        MaterialState material;
        ASSERT_TRUE(state->getMaterialState(material));
        for (float alpha : {material.ambient.w, material.diffuse.w, material.specular.w, material.emissive.w}) {
            EXPECT_NEAR(alpha, c.alpha, 1e-6f);
        }
        // Every piece of the mesh draws with that one state.
        ASSERT_GT(view.mesh->getNumSubMeshes(), 0);
        for (int i = 0; i < view.mesh->getNumSubMeshes(); ++i) {
            rezezaz::scene::material::Material* material = view.mesh->getSubMesh(i)->getRenderMaterial();
            ASSERT_NE(material, nullptr);
            ASSERT_NE(material->getPass(-1, -1), nullptr);
            EXPECT_EQ(material->getPass(-1, -1)->getRenderState(), state);
        }
        BlendState blend;
        ASSERT_TRUE(state->getBlendState(blend));
        EXPECT_EQ(blend.source, c.source);
        EXPECT_EQ(blend.dest, c.dest);
        EXPECT_EQ(blend.colorWrite, 15);
    }
}

TEST(CalibrationViewTest, WithoutARenderStateOnlyWhetherTheNodeIsDrawnChanges)
{
    // No device and nothing backable: no render state can be had.
    ViewScene view(false);
    FadeAnimation fade(view.node.get(), 1.0f, 0.0f, 1000);
    for (int tick = 0; tick < 31; ++tick) {
        fade.update(33);
    }
    EXPECT_TRUE(fade.finished());
    EXPECT_EQ(view.node->getScope(), 0);
    EXPECT_EQ(view.mesh->getSharedRenderState(), nullptr);
}

// The wizard's page with its warning answered.
struct PageBench : MeterBench
{
    PageBench()
    {
        answerer.press("Error", "OK");
        answerer.press("Warning", "OK");
        openMeter();
        push(new QWidget);
        page = push(new Calibrate(device.get(), window.get(), 12.5f));
        // The test plays the frames itself.
        for (QTimer* timer : page->findChildren<QTimer*>()) {
            timer->stop();
        }
        EXPECT_TRUE(runUntil([&] { return !MeterBench::busy() && page->getAnimations().size() == 1; }));
    }

    void drag(int fromX, int toX, int y)
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(fromX, y), QPointF(fromX, y), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &press);
        // Up and down turn nothing.
        QMouseEvent down(QEvent::MouseMove, QPointF(fromX, y + 40), QPointF(fromX, y + 40), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &down);
        QMouseEvent move(QEvent::MouseMove, QPointF(toX, y), QPointF(toX, y), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(page, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(toX, y), QPointF(toX, y), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &release);
    }

    // Frames until the animations have ended; the count.
    int settle()
    {
        int frames = 0;
        while (frames < 1000 && !page->getAnimations().isEmpty()) {
            page->update();
            ++frames;
        }
        return frames;
    }

    Calibrate* page = nullptr;
};

TEST(CalibrationViewTest, TheMetersConfirmationTurnsTheCrankOnceInThirtyOneFrames)
{
    PageBench b;
    // Off screen the view has no window to draw on: the user was told, and the engine runs without
    // a device.
    ASSERT_EQ(b.answerer.boxes("Error").size(), 1u);
    EXPECT_EQ(b.answerer.boxes("Error")[0].text, RezezazWidget::unavailableText());
    EXPECT_EQ(b.page->findChild<RezezazWidget*>("rezezaz")->getRenderDevice(), nullptr);
    EXPECT_EQ(b.page->getEngine()->getRenderDevice(), nullptr);
    EXPECT_EQ(b.settle(), 31);
    EXPECT_NEAR(angleAbout(b.page->getCrankNode(), yOf), 0.0f, 1e-5f);
    // The frame goes on with nothing left to play and nothing to draw with.
    b.page->update();
}

TEST(CalibrationViewTest, DraggingSidewaysTurnsTheModelAndTheNextPressTurnsItBackToAWholeTurn)
{
    struct Case
    {
        const char* name;
        int fromX, toX;
        float angle;
        float back; // the turn it goes back to
    };
    const Case cases[] = {
        {"50 px right", 100, 150, 1.0f, 0.0f},
        {"past a whole turn", 0, 350, 7.0f - kTwoPi, 0.0f},
        {"50 px left", 150, 100, kTwoPi - 1.0f, kTwoPi},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PageBench b;
        b.settle();
        b.drag(c.fromX, c.toX, 50);
        EXPECT_NEAR(b.page->getDragAngle(), c.angle, 1e-5f);
        EXPECT_NEAR(std::remainder(angleAbout(b.page->getModelRoot(), zOf) - c.angle, kTwoPi), 0.0f, 1e-5f);
        // Moving without a button held down turns nothing.
        QMouseEvent move(QEvent::MouseMove, QPointF(400, 50), QPointF(400, 50), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(b.page, &move);
        EXPECT_NEAR(b.page->getDragAngle(), c.angle, 1e-5f);

        b.page->findChild<QLineEdit*>("crankArmLengthValue")->setText("175");
        b.page->findChild<QLineEdit*>("weightUsedValue")->setText("20");
        b.page->findChild<QRadioButton*>("weightUsedKg")->setChecked(true);
        MeterBench::button(b.page, "continueButton")->click();
        EXPECT_EQ(b.page->getDragAngle(), 0.0f);
        ASSERT_EQ(b.page->getAnimations().size(), 1);
        b.page->update();
        EXPECT_NEAR(std::remainder(angleAbout(b.page->getModelRoot(), zOf) -
                                       (c.angle + (c.back - c.angle) * 33.0f / 300.0f),
                                   kTwoPi),
                    0.0f, 1e-5f);
        EXPECT_EQ(b.settle(), 9);
        EXPECT_NEAR(std::remainder(angleAbout(b.page->getModelRoot(), zOf) - c.back, kTwoPi), 0.0f, 1e-5f);
    }
}

TEST(CalibrationViewTest, TheArchiveOpensCompiledInFilesAndNothingElse)
{
    IntrusivePointer<QtArchive> archive(new QtArchive());
    // The back arrow's model as the view reads it, byte for byte the file of the source tree.
    IntrusivePointer<rezezaz::core::io::Stream> stream = archive->openStream(":tmsh/backArrow.tmsh");
    ASSERT_TRUE(stream);
    QFile original(QString(PELOTUNE_TEST_DATA) + "/../../resources/tmsh/backArrow.tmsh");
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    EXPECT_EQ(stream->length(), 2863);
    EXPECT_EQ(bytes.size(), 2863);
    EXPECT_FALSE(stream->closed());
    EXPECT_TRUE(stream->readable());
    EXPECT_FALSE(stream->writeable());
    unsigned char head[4] = {};
    EXPECT_EQ(stream->read(head, 4), 4);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(head), 4), QByteArray("HSMT"));
    EXPECT_EQ(stream->position(), 4);
    EXPECT_EQ(stream->write(head, 4), -1);
    EXPECT_TRUE(stream->seek(2));
    EXPECT_EQ(stream->read(head, 1), 1);
    EXPECT_EQ(head[0], static_cast<unsigned char>(bytes[2]));
    // The rest of the file, and nothing past its end.
    std::vector<unsigned char> rest(4000);
    EXPECT_EQ(stream->read(rest.data(), static_cast<int>(rest.size())), 2863 - 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(rest.data()), 2863 - 3), bytes.mid(3));
    EXPECT_EQ(stream->read(rest.data(), 1), 0);
    EXPECT_TRUE(stream->reset());
    EXPECT_EQ(stream->position(), 0);
    stream->close();
    EXPECT_TRUE(stream->closed());

    // A name with no file: no stream (the address sanitizer sees that none is left behind).
    EXPECT_FALSE(archive->openStream(":tmsh/noSuchModel.tmsh"));
    EXPECT_FALSE(archive->openStream("/no/such/file"));
    EXPECT_FALSE(archive->openResource(":tmsh/backArrow.tmsh"));
    EXPECT_EQ(archive->getEntries().size(), 0);
}

TEST(CalibrationViewTest, BackDuringTheTurnBackFromADragLeavesTheModelAtItsWholeTurn)
{
    PageBench b;
    b.settle();
    b.page->findChild<QLineEdit*>("crankArmLengthValue")->setText("175");
    b.page->findChild<QLineEdit*>("weightUsedValue")->setText("20");
    b.page->findChild<QRadioButton*>("weightUsedKg")->setChecked(true);
    QPushButton* button = MeterBench::button(b.page, "continueButton");
    button->click();
    ASSERT_EQ(b.page->getStep(), 1);
    // 67 px right: 1.34 rad; the press turns it back over 300 ms, and Back comes a frame into it.
    b.drag(100, 167, 50);
    button->click();
    ASSERT_EQ(b.page->getStep(), 2);
    b.page->update();
    ASSERT_GT(std::fabs(angleAbout(b.page->getModelRoot(), zOf)), 1.0f);
    b.window->backClicked();
    MeterBench::flush();
    EXPECT_EQ(b.page->getStep(), 1);
    EXPECT_TRUE(b.page->getAnimations().isEmpty());
    EXPECT_NEAR(angleAbout(b.page->getModelRoot(), zOf), 0.0f, 1e-5f);
    b.page->update();
    EXPECT_NEAR(angleAbout(b.page->getModelRoot(), zOf), 0.0f, 1e-5f);
}

// Off screen no render device can be made: the view is the toolkit's to paint.
TEST(CalibrationViewTest, WithoutARenderDeviceTheViewSaysSoOnThePagesBackgroundAndCalibratingGoesOn)
{
    PageBench b;
    auto* view = b.page->findChild<RezezazWidget*>("rezezaz");
    ASSERT_EQ(view->getRenderDevice(), nullptr);
    EXPECT_FALSE(view->testAttribute(Qt::WA_PaintOnScreen));
    b.window->resize(582, 700);
    MeterBench::flush();
    apptest::Screenshot::screen(b.window.get(), "calibrate-no-opengl");
    const QImage picture = view->grab().toImage();
    ASSERT_FALSE(picture.isNull());
    const QRgb background = b.page->palette().color(QPalette::Window).rgb();
    // The corners are the page's background; a line of text runs across the middle and nowhere else.
    for (const QPoint& corner : {QPoint(1, 1), QPoint(picture.width() - 2, 1), QPoint(1, picture.height() - 2),
                                 QPoint(picture.width() - 2, picture.height() - 2)}) {
        EXPECT_EQ(picture.pixel(corner), background);
    }
    int textRows = 0;
    int firstRow = picture.height();
    int lastRow = -1;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != background) {
                ++textRows;
                firstRow = std::min(firstRow, y);
                lastRow = std::max(lastRow, y);
                break;
            }
        }
    }
    EXPECT_GT(textRows, 5);
    EXPECT_LT(lastRow - firstRow, 40);
    EXPECT_NEAR((firstRow + lastRow) / 2, picture.height() / 2, 10);
    EXPECT_EQ(RezezazWidget::unavailableLine(), "3D view unavailable (no OpenGL): calibrating still works.");
    // The box told the user the same, once the page stood on the window.
    ASSERT_EQ(b.answerer.boxes("Error").size(), 1u);
    EXPECT_EQ(b.answerer.boxes("Error")[0].text,
              "Unable to create RenderDevice\n\nThe 3D view is unavailable: this computer offers no usable OpenGL. "
              "Calibrating still works without it; follow the instructions above the view.");
    EXPECT_EQ(b.answerer.boxes()[0].title, "Error");
}

} // namespace

#include "SceneFixture.h"

#include "core/math/Math.h"
#include "scene/Camera.h"
#include "scene/CameraComponent.h"
#include "scene/LightComponent.h"
#include "scene/material/CameraPositionVariable.h"
#include "scene/material/SceneParameters.h"
#include "support/RecordingRenderTarget.h"

#include <cmath>

using namespace scenetest;
using rezezaz::core::math::Math;
using rezezaz::core::math::Matrix4x4;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::render::LightState;
using rezezaz::scene::Bound;
using rezezaz::scene::Camera;
using rezezaz::scene::CameraComponent;
using rezezaz::scene::LightComponent;
using rezezaz::scene::Node;

namespace {

constexpr float QUARTER_PI = 0.7853982f;

void expectNear(const Vector3& actual, const Vector3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectMatrixNear(const Matrix4x4& actual, const Matrix4x4& expected, float tolerance = 1e-5f)
{
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual.data[i], expected.data[i], tolerance) << "element " << i;
    }
}

class LightComponentTest : public SceneFixture
{
};

TEST_F(LightComponentTest, PointAndDirectionalLightsReachAsFarAsTheirKind)
{
    Pointer<LightComponent> light(new LightComponent());
    EXPECT_TRUE(light->getEnabled());
    EXPECT_EQ(light->getBound()->kind, Bound::Kind_INFINITE);
    EXPECT_EQ(light->getWorldBound()->kind, Bound::Kind_EMPTY);
    EXPECT_EQ(light->getLightState().diffuseColor.x, 1.0f);
    EXPECT_EQ(light->getLightState().constantAttenuation, 1.0f);
    EXPECT_FLOAT_EQ(light->getLightState().radius, 1.8446743e19f);
    expectNear(light->getDirection(), Vector3(0, 0, -1));

    LightState point = LightComponent::defaultLightState();
    point.type = LightState::Type_POINT;
    point.radius = 10;
    light->setLightState(point);
    EXPECT_EQ(light->getBound()->kind, Bound::Kind_SPHERE);
    EXPECT_EQ(light->getBound()->sphere.radius, 10.0f);
    expectNear(light->getBound()->box.minimum, Vector3(-10, -10, -10));
    expectNear(light->getBound()->box.maximum, Vector3(10, 10, 10));
    EXPECT_STREQ(light->getType()->getFullName().c_str(), "LightComponent");
    EXPECT_EQ(light->getTransform(), nullptr);

    // Without a parent, destroying does nothing.
    light->destroy();
    EXPECT_EQ(light->getParent(), nullptr);
}

TEST_F(LightComponentTest, FollowsItsNodeAndMovesBetweenNodes)
{
    Pointer<Node> first = newNode(root());
    first->setTranslate(1, 2, 3);
    first->setRotate(Vector3(0, 0, 1), 3.14159265f / 2);
    Pointer<LightComponent> light(new LightComponent());
    light->setDirection(Vector3(1, 0, 0));
    // The world direction follows only at the next transform change.
    expectNear(light->getLightState().direction, Vector3(1, 0, 0));
    first->attach(light.get());
    expectNear(light->getLightState().direction, Vector3(0, 1, 0));
    expectNear(light->getLightState().position, Vector3(1, 2, 3));
    EXPECT_EQ(first->getNumLights(), 1);
    EXPECT_EQ(first->getNumSpacials(), 1);
    EXPECT_EQ(first->getLight(0), light.get());
    // A directional light reaches everywhere, so the subtree does too.
    EXPECT_EQ(root()->getWorldBound()->kind, Bound::Kind_INFINITE);

    light->setDirection(Vector3(0, 0, 1));
    expectNear(light->getLightState().direction, Vector3(0, 0, 1));

    Pointer<Node> second = newNode(root());
    second->setTranslate(-4, 0, 0);
    second->attach(light.get());
    EXPECT_EQ(first->getNumLights(), 0);
    EXPECT_EQ(first->getNumSpacials(), 0);
    EXPECT_EQ(first->getComponents().size(), 0);
    EXPECT_EQ(second->getNumLights(), 1);
    expectNear(light->getLightState().position, Vector3(-4, 0, 0));
    first->setTranslate(9, 9, 9);
    expectNear(light->getLightState().position, Vector3(-4, 0, 0));
}

class CameraTest : public ::testing::Test
{
};

TEST_F(CameraTest, ProjectionKindsBuildTheirMatrices)
{
    Camera camera;
    EXPECT_EQ(camera.getProjectionType(), Camera::ProjectionType_AUTO_FOV);
    EXPECT_EQ(camera.getClearFlags(), 3);
    EXPECT_EQ(camera.getScope(), -1);
    EXPECT_TRUE(camera.getViewport().fullTarget);

    // Orthographic, by hand: x and y scaled by 2 / extent, z mapped from [near, far] to [-1, 1].
    camera.setProjectionOrtho(-2, 2, -1, 1, 1, 3);
    const Matrix4x4 ortho(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -2, 0, 0, 0, 1);
    expectMatrixNear(camera.getProjectionMatrix(), ortho);
    // Without an oblique plane the final projection is the projection.
    EXPECT_EQ(camera.getFinalProjectionMatrix(), camera.getProjectionMatrix());

    // A symmetric frustum, by hand.
    camera.setProjectionFrustum(-1, 1, -1, 1, 1, 3);
    const Matrix4x4 frustum(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -2, -3, 0, 0, -1, 0);
    expectMatrixNear(camera.getProjectionMatrix(), frustum);
    EXPECT_EQ(camera.getProjectionType(), Camera::ProjectionType_FRUSTUM);

    camera.setProjectionFovX(1.0f, 0.5f, 2, 100);
    Matrix4x4 expected;
    Math::setMatrix4x4FromPerspectiveX(expected, 1.0f, 0.5f, 2, 100);
    EXPECT_EQ(camera.getProjectionMatrix(), expected);

    // Near and far move; the field of view and aspect stay.
    camera.setNearAndFarDist(5, 50);
    Math::setMatrix4x4FromPerspectiveX(expected, 1.0f, 0.5f, 5, 50);
    EXPECT_EQ(camera.getProjectionMatrix(), expected);
    EXPECT_EQ(camera.getFov(), 1.0f);
    EXPECT_EQ(camera.getAspect(), 0.5f);

    camera.setProjectionMatrix(ortho);
    EXPECT_EQ(camera.getProjectionType(), Camera::ProjectionType_MATRIX);
    EXPECT_ANY_THROW(camera.setNearAndFarDist(1, 2));
    EXPECT_EQ(camera.getNearDist(), 1.0f);
    EXPECT_EQ(camera.getProjectionMatrix(), ortho);
}

TEST_F(CameraTest, AutomaticProjectionFollowsTheTargetSides)
{
    struct Case
    {
        bool largerSide;
        int width;
        int height;
        bool perspectiveY;
        float aspect;
    };
    const Case cases[] = {
        {false, 800, 600, true, 800.0f / 600.0f},
        {true, 800, 600, false, 600.0f / 800.0f},
        {false, 600, 800, false, 800.0f / 600.0f},
        {true, 600, 800, true, 600.0f / 800.0f},
        {false, 512, 512, true, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        Camera camera;
        camera.setAutoProjectionFov(QUARTER_PI, c.largerSide, 1, 1000);
        support::RecordingRenderTarget target;
        target.width = c.width;
        target.height = c.height;
        camera.autoUpdateProjection(&target);
        Matrix4x4 expected;
        if (c.perspectiveY) {
            Math::setMatrix4x4FromPerspectiveY(expected, QUARTER_PI, c.aspect, 1, 1000);
        } else {
            Math::setMatrix4x4FromPerspectiveX(expected, QUARTER_PI, c.aspect, 1, 1000);
        }
        EXPECT_EQ(camera.getProjectionMatrix(), expected);
        EXPECT_EQ(camera.getViewport(), (rezezaz::render::Viewport{0, 0, c.width, c.height, false}));
    }

    // A target without area leaves viewport and projection alone.
    Camera camera;
    const Matrix4x4 before = camera.getProjectionMatrix();
    support::RecordingRenderTarget empty;
    empty.width = 0;
    empty.height = 600;
    camera.autoUpdateProjection(&empty);
    EXPECT_EQ(camera.getProjectionMatrix(), before);
    EXPECT_TRUE(camera.getViewport().fullTarget);

    // A render target gives the viewport its size.
    Pointer<support::RecordingRenderTarget> target(new support::RecordingRenderTarget());
    target->width = 320;
    target->height = 200;
    camera.setRenderTarget(target.get());
    EXPECT_EQ(camera.getViewport(), (rezezaz::render::Viewport{0, 0, 320, 200, false}));
    camera.setRenderTarget(nullptr);
    EXPECT_EQ(camera.getViewport(), (rezezaz::render::Viewport{0, 0, 0, 0, false}));
}

TEST_F(CameraTest, CullsWhatLiesOutsideAndCountsWhatPasses)
{
    Camera camera;
    camera.setLookAt(Vector3(0, 0, 0), Vector3(0, 0, -1), Vector3(0, 1, 0));
    expectNear(camera.getForward(), Vector3(0, 0, -1));
    expectNear(camera.getUp(), Vector3(0, 1, 0));

    Pointer<Bound> behind(new Bound());
    behind->setBox(box(-1, -1, 5, 1, 1, 6));
    Pointer<Bound> straddling(new Bound());
    straddling->setBox(box(-1, -1, -2, 1, 1, 0));
    Pointer<Bound> ahead(new Bound());
    ahead->setSphere(Sphere(Vector3(0, 0, -50), 1));
    Pointer<Bound> empty(new Bound());
    Pointer<Bound> everywhere(new Bound());
    everywhere->setInfinite();

    EXPECT_TRUE(camera.culled(behind.get()));
    EXPECT_FALSE(camera.culled(straddling.get()));
    EXPECT_FALSE(camera.culled(ahead.get()));
    EXPECT_TRUE(camera.culled(empty.get()));
    EXPECT_FALSE(camera.culled(everywhere.get()));
    EXPECT_EQ(camera.getVisibleCount(), 3);
    EXPECT_TRUE(camera.culled(behind->box));
    EXPECT_EQ(camera.getVisibleCount(), 3);

    Pointer<Bound> odd(new Bound());
    odd->kind = 7;
    EXPECT_ANY_THROW(camera.culled(odd.get()));

    // Moving the camera round makes the box behind visible.
    camera.setLookAt(Vector3(0, 0, 0), Vector3(0, 0, 1), Vector3(0, 1, 0));
    EXPECT_FALSE(camera.culled(behind.get()));
    camera.setPosition(Vector3(0, 0, 20));
    expectNear(camera.getPosition(), Vector3(0, 0, 20));
    EXPECT_TRUE(camera.culled(behind.get()));
}

TEST_F(CameraTest, FramesPerSecondOverTheLastHundredFrames)
{
    Camera camera;
    // The first frame, half a second after the start.
    camera.updateFramesPerSecond(500);
    EXPECT_FLOAT_EQ(camera.getFramesPerSecond(), 2.0f);

    Camera steady;
    for (int i = 1; i <= 100; ++i) {
        steady.updateFramesPerSecond(1000u * i);
    }
    EXPECT_FLOAT_EQ(steady.getFramesPerSecond(), 1.0f);
    steady.updateFramesPerSecond(101000);
    EXPECT_FLOAT_EQ(steady.getFramesPerSecond(), 1.0f);
}

TEST_F(CameraTest, CameraPositionVariableWritesTheDrawingCamerasPlace)
{
    rezezaz::scene::material::CameraPositionVariable variable;
    EXPECT_EQ(variable.getFormat(), 0x0406);
    Pointer<rezezaz::scene::material::SceneParameters> parameters(
        new rezezaz::scene::material::SceneParameters());
    float written[4] = {9, 9, 9, 9};
    // Outside a render there is no camera: the origin.
    variable.update(reinterpret_cast<unsigned char*>(written), parameters.get());
    EXPECT_EQ(std::vector<float>(written, written + 4), (std::vector<float>{0, 0, 0, 1}));

    Camera camera;
    camera.setPosition(Vector3(1, 2, 3));
    parameters->camera = &camera;
    variable.update(reinterpret_cast<unsigned char*>(written), parameters.get());
    EXPECT_EQ(std::vector<float>(written, written + 4), (std::vector<float>{1, 2, 3, 1}));
}

class CameraComponentTest : public SceneFixture
{
};

TEST_F(CameraComponentTest, CameraFollowsItsNode)
{
    Pointer<Camera> camera(new Camera());
    Pointer<CameraComponent> component(new CameraComponent(camera.get()));
    EXPECT_STREQ(component->getType()->getFullName().c_str(), "CameraComponent");

    // Without a parent nothing moves.
    const Matrix4x4 before = camera->getWorldMatrix();
    component->setTransformFromCamera();
    component->setCameraFromTransform();
    EXPECT_EQ(camera->getWorldMatrix(), before);

    Pointer<Node> first = newNode(root());
    first->setTranslate(1, 2, 3);
    first->attach(component.get());
    EXPECT_EQ(camera->getWorldMatrix().data[12], 1.0f);
    EXPECT_EQ(camera->getWorldMatrix().data[13], 2.0f);
    EXPECT_EQ(camera->getWorldMatrix().data[14], 3.0f);
    expectNear(camera->getPosition(), Vector3(1, 2, 3));
    // The component adds nothing to the node's bound.
    EXPECT_EQ(first->getWorldBound()->kind, Bound::Kind_EMPTY);

    first->setScale(2, 1, 1);
    EXPECT_EQ(camera->getWorldMatrix().data[0], 2.0f);
    EXPECT_EQ(camera->getWorldMatrix().data[5], 1.0f);

    Pointer<Node> second = newNode(root());
    second->setTranslate(7, 0, 0);
    second->attach(component.get());
    expectNear(camera->getPosition(), Vector3(7, 0, 0));
    first->setTranslate(-1, -1, -1);
    expectNear(camera->getPosition(), Vector3(7, 0, 0));

    // And back: the node goes where the camera is.
    camera->setLookAt(Vector3(0, 5, 0), Vector3(0, 5, -1), Vector3(0, 1, 0));
    component->setTransformFromCamera();
    expectNear(second->getTransform()->translate, Vector3(0, 5, 0));
    expectNear(camera->getPosition(), Vector3(0, 5, 0));
}

} // namespace

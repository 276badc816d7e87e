// The five calibration models drawn as the calibration view draws them: the camera at (1.5, -4, 1)
// looking at the origin with z up, a field of view of pi/2, and one light shining along +y. The
// picture is saved beside the test (calibration-scene.ppm); the pixels at the right arm's end, the
// big ring and the front arrow's head show the lit colours of their materials.
#include "support/gl/GLEngineFixture.h"

#include "core/math/Matrix4x4.h"
#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "scene/Camera.h"
#include "scene/CameraComponent.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/Scene.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector3;
using rezezaz::scene::Node;

const std::string MODELS = std::string(PELOTUNE_RESOURCES) + "/tmsh/";

int channel(uint32_t colour, int shift)
{
    return static_cast<int>((colour >> shift) & 0xFF);
}

class CalibrationSceneGLTest : public gltest::GLEngineFixture
{
protected:
    // The pixel (from the top left) where the camera shows a world point.
    std::array<int, 2> onScreen(const rezezaz::scene::Camera& camera, const Vector3& p) const
    {
        const rezezaz::core::math::Matrix4x4& m = camera.getViewProjectionMatrix();
        float clip[4];
        for (int r = 0; r < 4; ++r) {
            clip[r] = m.at(r, 0) * p.x + m.at(r, 1) * p.y + m.at(r, 2) * p.z + m.at(r, 3);
        }
        const float x = clip[0] / clip[3];
        const float y = clip[1] / clip[3];
        return {int(std::lround((x + 1) * 0.5f * width)), int(std::lround((1 - y) * 0.5f * height))};
    }

    void savePicture(const std::string& path) const
    {
        const std::vector<unsigned char> rgba = frame();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << path;
        std::fprintf(file, "P6\n%d %d\n255\n", width, height);
        for (int row = height - 1; row >= 0; --row) {
            for (int column = 0; column < width; ++column) {
                std::fwrite(&rgba[(size_t(row) * width + column) * 4], 1, 3, file);
            }
        }
        std::fclose(file);
    }
};

TEST_F(CalibrationSceneGLTest, TheFiveModelsShowTheirLitColours)
{
    IntrusivePointer<rezezaz::scene::Scene> scene(new rezezaz::scene::Scene(engine.get(), 0.001f));

    IntrusivePointer<rezezaz::scene::Camera> camera(new rezezaz::scene::Camera(engine.get()));
    camera->setClearColor(rezezaz::core::math::Vector4(0, 0, 0, 1));
    camera->setAutoProjectionFov(float(M_PI / 2), true, 0.1f, 10.0f);
    IntrusivePointer<Node> eye(new Node(scene.get()));
    IntrusivePointer<rezezaz::scene::CameraComponent> lens(new rezezaz::scene::CameraComponent(camera.get()));
    eye->attach(lens.get());
    camera->setLookAt(Vector3(1.5f, -4.0f, 1.0f), Vector3(0, 0, 0), Vector3(0, 0, 1));
    lens->setTransformFromCamera();
    scene->getRoot()->attach(eye.get());

    IntrusivePointer<Node> model(new Node(scene.get()));
    for (const char* name : {"crank", "bigChain", "smallChain", "backArrow", "frontArrow"}) {
        IntrusivePointer<Node> node(new Node(scene.get()));
        IntrusivePointer<rezezaz::scene::MeshComponent> mesh(new rezezaz::scene::MeshComponent(engine.get()));
        mesh->setMesh((MODELS + name + ".tmsh").c_str());
        ASSERT_NE(mesh->getMesh(), nullptr) << name;
        node->attach(mesh.get());
        model->attach(node.get());
    }
    scene->getRoot()->attach(model.get());
    IntrusivePointer<rezezaz::scene::LightComponent> light(new rezezaz::scene::LightComponent());
    light->setDirection(Vector3(0, 1, 0));
    scene->getRoot()->attach(light.get());

    scene->update(33);
    device->beginScene();
    camera->render(device.get(), scene.get(), nullptr);
    device->endScene();
    savePicture(std::string(PELOTUNE_PICTURES) + "/calibration-scene.ppm");

    struct Spot
    {
        const char* what;
        Vector3 point;
        // Silver, dark or red.
        char colour;
    };
    const float ring = 0.99f;
    const Spot spots[] = {
        {"right arm end", Vector3(1.5f, -0.64f, 0.0f), 's'},
        {"big ring", Vector3(ring * std::cos(1.25f), -0.47f, ring * std::sin(1.25f)), 'd'},
        {"front arrow head", Vector3(1.6f, -0.58f, -0.97f), 'r'},
    };
    for (const Spot& spot : spots) {
        const std::array<int, 2> at = onScreen(*camera, spot.point);
        ASSERT_TRUE(at[0] > 0 && at[0] < width && at[1] > 0 && at[1] < height) << spot.what;
        const uint32_t colour = pixel(at[0], at[1]);
        const int r = channel(colour, 16);
        const int g = channel(colour, 8);
        const int b = channel(colour, 0);
        SCOPED_TRACE(std::string(spot.what) + " at " + std::to_string(at[0]) + "," + std::to_string(at[1]) +
                     ": " + std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b));
        if (spot.colour == 'r') {
            EXPECT_GT(r, 120);
            EXPECT_LT(g * 3, r);
            EXPECT_LT(b * 3, r);
        } else {
            // Grey: the channels within a few steps of each other, blue a little ahead.
            EXPECT_LE(std::abs(r - g), 6);
            EXPECT_LE(b - r, 12);
            EXPECT_GE(b - r, -2);
            if (spot.colour == 's') {
                EXPECT_GT(r, 140);
            } else {
                EXPECT_GT(r, 15);
                EXPECT_LT(r, 90);
            }
        }
    }
    scene->destroy();
}

} // namespace

// The procedural meshes drawn through a scene and its camera on Mesa, back faces culled as the
// camera's default state has it: each shows lit where it stands and leaves the clear colour around
// it; the sky box and dome, seen from inside, show their textures unlit.
#include "support/gl/GLEngineFixture.h"

#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "render/LightState.h"
#include "render/TextureFormat.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/Mesh.h"
#include "scene/Node.h"
#include "scene/RenderManager.h"
#include "scene/Renderable.h"
#include "scene/RenderableSet.h"
#include "scene/Scene.h"
#include "scene/Spacial.h"
#include "scene/TextureManager.h"
#include "scene/Visible.h"
#include "scene/material/Material.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::AABox;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using rezezaz::scene::Mesh;
using rezezaz::scene::Node;
using rezezaz::scene::material::Material;

// Draws one submesh of a mesh with the submesh's material.
// Its bound is the mesh's own.
class SubMeshComponent : public gltest::DrawnComponent
{
public:
    SubMeshComponent(Mesh* mesh, int index) : mesh(mesh), subMesh(mesh->getSubMesh(index)) { bound = mesh->bound; }

    Material* getRenderMaterial() override { return subMesh->material.get(); }
    void render(rezezaz::scene::RenderManager* manager) override
    {
        manager->getDevice()->renderPrimitive(mesh->staticVertexData.get(), subMesh->indexData.get());
    }

    IntrusivePointer<Mesh> mesh;
    Mesh::SubMesh* subMesh;
};

int channel(uint32_t colour, int shift)
{
    return static_cast<int>((colour >> shift) & 0xFF);
}

class MeshCreatorsGLTest : public gltest::GLEngineFixture
{
protected:
    // Draws the mesh's submeshes through a scene lit from above, seen by a camera at eye looking at
    // target, on the blue clear colour.
    void draw(Mesh* mesh, const Vector3& eye, const Vector3& target, const Vector3& up)
    {
        IntrusivePointer<rezezaz::scene::Scene> scene(new rezezaz::scene::Scene(engine.get(), 0.001f));
        camera = new rezezaz::scene::Camera(engine.get());
        camera->setClearColor(Vector4(0, 0, 1, 1));
        camera->setAutoProjectionFov(0.7853982f, false, 0.1f, 100.0f);
        camera->setLookAt(eye, target, up);

        addLamp(scene.get(), Vector3(0, 0, -1));

        IntrusivePointer<Node> model(new Node(scene.get()));
        for (int i = 0; i < mesh->getNumSubMeshes(); ++i) {
            model->attach(new SubMeshComponent(mesh, i));
        }
        scene->getRoot()->attach(model.get());
        scene->update(33);
        camera->render(device.get(), scene.get(), nullptr);
        scene->destroy();
    }

    // The back-buffer pixel (counted from the top) where a world point lands.
    std::array<int, 2> screenOf(const Vector3& point) const
    {
        const auto& m = camera->getViewProjectionMatrix();
        float clip[4];
        for (int r = 0; r < 4; ++r) {
            clip[r] = m.at(r, 0) * point.x + m.at(r, 1) * point.y + m.at(r, 2) * point.z + m.at(r, 3);
        }
        const float x = (clip[0] / clip[3] * 0.5f + 0.5f) * width;
        const float y = (1.0f - (clip[1] / clip[3] * 0.5f + 0.5f)) * height;
        return {static_cast<int>(x), static_cast<int>(y)};
    }

    static void expectColour(uint32_t got, uint32_t expected, const std::string& where)
    {
        for (int shift : {16, 8, 0}) {
            EXPECT_NEAR(channel(got, shift), channel(expected, shift), 2)
                << where << " got " << std::hex << got;
        }
    }

    IntrusivePointer<rezezaz::scene::Camera> camera;
};

TEST_F(MeshCreatorsGLTest, EachMeshShowsLitWhereItStandsWithTheDefaultMaterial)
{
    struct Case
    {
        const char* name;
        std::function<IntrusivePointer<Mesh>()> make;
        // A point of the mesh's surface facing the camera.
        Vector3 surface;
    } cases[] = {
        {"box",
         [&] { return engine->createAABoxMesh(AABox(Vector3(-1, -1, -1), Vector3(1, 1, 1)), nullptr); },
         {0, 0, 1}},
        {"sphere",
         [&] { return engine->createSphereMesh(Sphere(Vector3(0, 0, 0), 1.0f), nullptr); },
         {0, 0, 1}},
        {"grid", [&] { return engine->createGridMesh(2.0f, 2.0f, 5, 5, nullptr); }, {0.1f, 0.1f, 0}},
        // The centre is the torus's hole: look at its tube.
        {"torus", [&] { return engine->createTorusMesh(1.0f, 0.4f, 24, 12, nullptr); }, {1, 0, 0.4f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Mesh> mesh = c.make();
        ASSERT_NE(mesh, nullptr);
        draw(mesh.get(), Vector3(0, 0, 6), Vector3(0, 0, 0), Vector3(0, 1, 0));
        const std::array<int, 2> at = screenOf(c.surface);
        const uint32_t lit = pixel(at[0], at[1]);
        EXPECT_GT(channel(lit, 16), 64) << std::hex << lit;
        EXPECT_GT(channel(lit, 8), 64) << std::hex << lit;
        for (const auto& corner :
             {std::array<int, 2>{1, 1}, std::array<int, 2>{width - 2, 1}, std::array<int, 2>{1, height - 2},
              std::array<int, 2>{width - 2, height - 2}}) {
            expectColour(pixel(corner[0], corner[1]), 0x0000FF, "corner");
        }
        if (std::string(c.name) == "torus") {
            expectColour(pixel(width / 2, height / 2), 0x0000FF, "hole");
        }
    }
}

TEST_F(MeshCreatorsGLTest, TheSkyBoxSeenFromInsideShowsEachFaceTextureUnlit)
{
    // Faces -Z, +Z, -X, +X, -Y, +Y, each of its own colour.
    const uint32_t colours[6] = {0x204060, 0x608020, 0x802040, 0x40A0C0, 0xC02080, 0x20C0A0};
    IntrusivePointer<Material> materials[6];
    for (int k = 0; k < 6; ++k) {
        materials[k] = engine->createSkyBoxMaterial(texel(colours[k]).get(), true, nullptr);
    }
    IntrusivePointer<Mesh> mesh =
        engine->createSkyBoxMesh(10.0f, false, false, materials[0], materials[1], materials[2], materials[3],
                                 materials[4], materials[5]);
    ASSERT_NE(mesh, nullptr);
    const struct
    {
        Vector3 direction;
        Vector3 up;
        int face;
    } views[] = {{{0, 0, -1}, {0, 1, 0}, 0}, {{0, 0, 1}, {0, 1, 0}, 1},  {{-1, 0, 0}, {0, 0, 1}, 2},
                 {{1, 0, 0}, {0, 0, 1}, 3},  {{0, -1, 0}, {0, 0, 1}, 4}, {{0, 1, 0}, {0, 0, 1}, 5}};
    for (const auto& view : views) {
        SCOPED_TRACE(view.face);
        draw(mesh.get(), Vector3(0, 0, 0), view.direction, view.up);
        expectColour(pixel(width / 2, height / 2), colours[view.face], "centre");
        expectColour(pixel(1, 1), colours[view.face], "corner");
        expectColour(pixel(width - 2, height - 2), colours[view.face], "corner");
    }

    // One texture for the cross: every face draws it.
    IntrusivePointer<Mesh> cross = engine->createSkyBoxMesh(10.0f, true, false, materials[3], nullptr,
                                                            nullptr, nullptr, nullptr, nullptr);
    draw(cross.get(), Vector3(0, 0, 0), Vector3(0, 1, 0), Vector3(0, 0, 1));
    expectColour(pixel(width / 2, height / 2), colours[3], "cross");
}

TEST_F(MeshCreatorsGLTest, TheSkyDomeSeenFromBelowShowsItsTextureUnlit)
{
    IntrusivePointer<Material> material = engine->createSkyBoxMaterial(texel(0x3070B0).get(), true, nullptr);
    IntrusivePointer<Mesh> dome =
        engine->createSkyDomeMesh(Sphere(Vector3(0, 0, 0), 20.0f), 16, 8, 0.35f, material);
    ASSERT_NE(dome, nullptr);
    draw(dome.get(), Vector3(0, 0, 1), Vector3(0, 0, 2), Vector3(0, 1, 0));
    expectColour(pixel(width / 2, height / 2), 0x3070B0, "zenith");
    expectColour(pixel(1, 1), 0x3070B0, "corner");
    expectColour(pixel(width - 2, height - 2), 0x3070B0, "corner");

    // Seen from above, its outside is culled: only the clear colour.
    draw(dome.get(), Vector3(0, 0, 60), Vector3(0, 0, 0), Vector3(0, 1, 0));
    expectColour(pixel(width / 2, height / 2), 0x0000FF, "from above");
}

} // namespace

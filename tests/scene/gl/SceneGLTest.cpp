#include "support/gl/GLEngineFixture.h"

#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "render/IndexData.h"
#include "render/LightState.h"
#include "render/RenderDevice.h"
#include "render/VertexData.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Camera.h"
#include "scene/CameraComponent.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/Node.h"
#include "scene/RenderManager.h"
#include "scene/Renderable.h"
#include "scene/RenderableSet.h"
#include "scene/Scene.h"
#include "scene/Spacial.h"
#include "scene/Visible.h"

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector3;
using rezezaz::core::math::Vector4;
using rezezaz::render::IndexData;
using rezezaz::render::VertexData;
using rezezaz::scene::Node;

constexpr int FLOAT2 =
    rezezaz::render::VertexFormat::makeFormat(rezezaz::render::VertexFormat::Type_FLOAT32, 2);
constexpr int FLOAT3 =
    rezezaz::render::VertexFormat::makeFormat(rezezaz::render::VertexFormat::Type_FLOAT32, 3);

// A box of side 2 about its node's origin, drawn by its face towards +z, with no material of its own.
class BoxComponent : public gltest::DrawnComponent
{
public:
    BoxComponent(VertexData* vertices, IndexData* indices) : vertices(vertices), indices(indices)
    {
        rezezaz::core::math::AABox box(Vector3(-1, -1, -1), Vector3(1, 1, 1));
        bound->setBox(box);
    }

    rezezaz::scene::material::Material* getRenderMaterial() override { return nullptr; }
    void render(rezezaz::scene::RenderManager* manager) override
    {
        manager->getDevice()->renderPrimitive(vertices.get(), indices.get());
        ++draws;
    }

    IntrusivePointer<VertexData> vertices;
    IntrusivePointer<IndexData> indices;
    int draws = 0;
};

class SceneGLTest : public gltest::GLEngineFixture
{
};

int channel(uint32_t colour, int shift)
{
    return static_cast<int>((colour >> shift) & 0xFF);
}

TEST_F(SceneGLTest, ALitBoxThroughTheSceneCameraFromTheFirstFrame)
{
    IntrusivePointer<rezezaz::scene::Scene> scene(new rezezaz::scene::Scene(engine.get(), 0.001f));

    // The camera on a node five units back, looking down -z; the clear colour is blue.
    IntrusivePointer<rezezaz::scene::Camera> camera(new rezezaz::scene::Camera(engine.get()));
    camera->setClearColor(Vector4(0, 0, 1, 1));
    IntrusivePointer<Node> eye(new Node(scene.get()));
    eye->setTranslate(0, 0, 5);
    eye->attach(new rezezaz::scene::CameraComponent(camera.get()));
    scene->getRoot()->attach(eye.get());

    addLamp(scene.get(), Vector3(0, 0, -1));

    IntrusivePointer<rezezaz::render::VertexFormat> format =
        makeFormat({{rezezaz::render::VertexFormat::Semantic_POSITION, 0, FLOAT3},
                    {rezezaz::render::VertexFormat::Semantic_NORMAL, 0, FLOAT3},
                    {rezezaz::render::VertexFormat::Semantic_TEXCOORD, 0, FLOAT2}});
    const float face[] = {-1, -1, 1, 0, 0, 1, 0, 0, 1,  -1, 1, 0, 0, 1, 1, 0,
                          1,  1,  1, 0, 0, 1, 1, 1, -1, 1,  1, 0, 0, 1, 0, 1};
    IntrusivePointer<VertexData> vertices(new VertexData(makeVertices(format, face, 4)));
    IntrusivePointer<IndexData> fan(new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4));

    // The model is built before it is attached, as a loaded model is.
    IntrusivePointer<Node> model(new Node(scene.get()));
    IntrusivePointer<Node> part(new Node(scene.get()));
    model->attach(part.get());
    IntrusivePointer<BoxComponent> box(new BoxComponent(vertices.get(), fan.get()));
    part->attach(box.get());
    scene->getRoot()->attach(model.get());

    scene->update(33);
    camera->render(device.get(), scene.get(), nullptr);
    EXPECT_EQ(box->draws, 1);

    for (const auto& corner : {std::array<int, 2>{2, 2}, std::array<int, 2>{width - 3, height - 3}}) {
        const uint32_t colour = pixel(corner[0], corner[1]);
        EXPECT_EQ(channel(colour, 16), 0) << std::hex << colour;
        EXPECT_EQ(channel(colour, 8), 0) << std::hex << colour;
        EXPECT_EQ(channel(colour, 0), 255) << std::hex << colour;
    }
    // The default material's colours are black: lit, the face shows no blue of the clear colour.
    const uint32_t centre = pixel(width / 2, height / 2);
    EXPECT_LT(channel(centre, 0), 8) << std::hex << centre;

    scene->destroy();
}

} // namespace

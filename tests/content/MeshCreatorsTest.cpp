#include "CreatorFixture.h"
#include "MeshReadBack.h"

#include "content/AABoxMeshCreator.h"
#include "content/GridMeshCreator.h"
#include "content/SkyBoxMeshCreator.h"
#include "content/SkyDomeMeshCreator.h"
#include "content/SphereMeshCreator.h"
#include "content/TorusMeshCreator.h"
#include "scene/BufferManager.h"
#include "scene/MaterialManager.h"
#include "scene/Mesh.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using contenttest::MeshReadBack;
using contenttest::Names;
using contenttest::Triangle;
using contenttest::Vec2;
using contenttest::Vec3;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::AABox;
using rezezaz::core::math::Sphere;
using rezezaz::core::math::Vector3;
using rezezaz::render::IndexBuffer;
using rezezaz::render::IndexData;
using rezezaz::scene::Bound;
using rezezaz::scene::Mesh;
using rezezaz::scene::material::Material;

constexpr float EPSILON = 1e-5f;

void expectNear(const Vec3& actual, const Vec3& expected, float tolerance = EPSILON)
{
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(actual[k], expected[k], tolerance) << "component " << k;
    }
}

void expectNear(const Vec2& actual, const Vec2& expected, float tolerance = EPSILON)
{
    EXPECT_NEAR(actual[0], expected[0], tolerance);
    EXPECT_NEAR(actual[1], expected[1], tolerance);
}

float fromBits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

class MeshCreatorsTest : public contenttest::CreatorFixture
{
protected:
    void SetUp() override { installBacked(); }

    rezezaz::scene::AABoxMeshCreator& box() const { return *engine->getAABoxMeshCreator(); }
    rezezaz::scene::GridMeshCreator& grid() const { return *engine->getGridMeshCreator(); }
    rezezaz::scene::SphereMeshCreator& sphere() const { return *engine->getSphereMeshCreator(); }
    rezezaz::scene::TorusMeshCreator& torus() const { return *engine->getTorusMeshCreator(); }
    rezezaz::scene::SkyBoxMeshCreator& skyBox() const { return *engine->getSkyBoxMeshCreator(); }
    rezezaz::scene::SkyDomeMeshCreator& skyDome() const { return *engine->getSkyDomeMeshCreator(); }

    static IntrusivePointer<Mesh> asMesh(const IntrusivePointer<rezezaz::core::Resource>& resource)
    {
        return dynamic_cast<Mesh*>(resource.get());
    }

    static std::vector<uint32_t> indicesOf(const Mesh& mesh, int subMesh = 0)
    {
        return MeshReadBack::indices(*mesh.getSubMesh(subMesh)->indexData);
    }

    int vertexBuffers() const { return engine->getBufferManager()->getVertexBuffers().size(); }
    int indexBuffers() const { return engine->getBufferManager()->getIndexBuffers().size(); }
    int materialSlots() const { return engine->getMaterialManager()->getNumResourceSlots(); }

    IntrusivePointer<Material> given() { return engine->getMaterialManager()->createMaterial(); }

    // Counts and a radius a sphere-shaped creator refuses.
    struct RefusedSphere
    {
        const char* name;
        int segments, rings;
        float radius;
    };

    // Each case makes no mesh, and no vertex buffer or material is left behind.
    void expectRefused(const std::vector<RefusedSphere>& refused,
                       const std::function<IntrusivePointer<Mesh>(const Sphere&, int, int)>& make)
    {
        const int vertices = vertexBuffers();
        const int materials = materialSlots();
        for (const RefusedSphere& c : refused) {
            EXPECT_EQ(make(Sphere(Vector3(0, 0, 0), c.radius), c.segments, c.rings), nullptr) << c.name;
        }
        EXPECT_EQ(vertexBuffers(), vertices);
        EXPECT_EQ(materialSlots(), materials);
    }

    const Sphere unit{Vector3(0.0f, 0.0f, 0.0f), 1.0f};
};

TEST_F(MeshCreatorsTest, TheDefaultBoxHasTwentyFourVerticesOfSixFlatFaces)
{
    IntrusivePointer<Mesh> mesh = asMesh(box().create("box", nullptr, nullptr));
    ASSERT_NE(mesh, nullptr);
    const MeshReadBack read(*mesh);
    ASSERT_EQ(read.positions.size(), 24u);
    for (const Vec3& p : read.positions) {
        for (float c : p) {
            EXPECT_EQ(std::fabs(c), 1.0f);
        }
    }
    ASSERT_EQ(mesh->getNumSubMeshes(), 1);
    const IndexData& data = *mesh->getSubMesh(0)->indexData;
    EXPECT_EQ(data.primitive, IndexData::Primitive_TRIANGLES);
    EXPECT_EQ(data.indexBuffer->getIndexFormat(), IndexBuffer::IndexFormat_UINT8);
    EXPECT_EQ(data.start, 0);
    EXPECT_EQ(data.count, 36);
    const std::vector<uint32_t> indices = indicesOf(*mesh);
    ASSERT_EQ(indices.size(), 36u);
    for (int face = 0; face < 6; ++face) {
        const uint32_t b = 4 * face;
        EXPECT_EQ(std::vector<uint32_t>(indices.begin() + 6 * face, indices.begin() + 6 * face + 6),
                  (std::vector<uint32_t>{b, b + 1, b + 2, b, b + 2, b + 3}));
    }
}

TEST_F(MeshCreatorsTest, BoxFacesFollowTheVertexTableAndTheBoundIsTheBox)
{
    const AABox given(Vector3(1, 2, 3), Vector3(4, 6, 8));
    IntrusivePointer<Mesh> mesh = box().createAABoxMesh(given, nullptr);
    ASSERT_NE(mesh, nullptr);
    const MeshReadBack read(*mesh);
    // Faces -Z, +Z, -X, +X, -Y, +Y: the normal, and the coordinate every vertex shares on its axis.
    const struct
    {
        Vec3 normal;
        int axis;
        float value;
    } faces[6] = {{{0, 0, -1}, 2, 3}, {{0, 0, 1}, 2, 8},  {{-1, 0, 0}, 0, 1},
                  {{1, 0, 0}, 0, 4},  {{0, -1, 0}, 1, 2}, {{0, 1, 0}, 1, 6}};
    const Vec2 square[4] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int v = 0; v < 24; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(read.normals[v], faces[v / 4].normal);
        EXPECT_EQ(read.positions[v][faces[v / 4].axis], faces[v / 4].value);
        EXPECT_EQ(read.texCoords[v], square[v % 4]);
    }
    // Rows of the table: vertex 0 is (x1, y0, z0), 10 is (x0, y1, z1), 21 is (x1, y1, z1).
    EXPECT_EQ(read.positions[0], (Vec3{4, 2, 3}));
    EXPECT_EQ(read.positions[10], (Vec3{1, 6, 8}));
    EXPECT_EQ(read.positions[21], (Vec3{4, 6, 8}));

    ASSERT_NE(mesh->bound, nullptr);
    EXPECT_EQ(mesh->bound->kind, Bound::Kind_BOX);
    EXPECT_EQ(mesh->bound->box.minimum, given.minimum);
    EXPECT_EQ(mesh->bound->box.maximum, given.maximum);
    EXPECT_EQ(mesh->bound->sphere.origin, Vector3(2.5f, 4.0f, 5.5f));
    EXPECT_NEAR(mesh->bound->sphere.radius, std::sqrt(9.0f + 16.0f + 25.0f) / 2.0f, EPSILON);

    // Corners are not sorted: a mirrored box keeps the table's normals on mirrored positions.
    IntrusivePointer<Mesh> mirrored =
        box().createAABoxMesh(AABox(Vector3(1, 1, 1), Vector3(-1, -1, -1)), nullptr);
    const MeshReadBack flipped(*mirrored);
    EXPECT_EQ(flipped.normals[0], (Vec3{0, 0, -1}));
    EXPECT_EQ(flipped.positions[0], (Vec3{-1, 1, 1}));
}

TEST_F(MeshCreatorsTest, TheDefaultGridSnakesOverItsRows)
{
    IntrusivePointer<Mesh> mesh = asMesh(grid().create("", nullptr, nullptr));
    ASSERT_NE(mesh, nullptr);
    const MeshReadBack read(*mesh);
    ASSERT_EQ(read.positions.size(), 16u);
    const float steps[4] = {-0.5f, -1.0f / 6.0f, 1.0f / 6.0f, 0.5f};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            expectNear(read.positions[y * 4 + x], {steps[x], steps[y], 0.0f});
            EXPECT_EQ(read.normals[y * 4 + x], (Vec3{0, 0, 1}));
        }
    }
    const IndexData& data = *mesh->getSubMesh(0)->indexData;
    EXPECT_EQ(data.primitive, IndexData::Primitive_TRIANGLE_STRIP);
    EXPECT_EQ(data.indexBuffer->getIndexFormat(), IndexBuffer::IndexFormat_UINT16);
    EXPECT_EQ(indicesOf(*mesh), (std::vector<uint32_t>{4, 0, 5, 1, 6, 2,  7, 3,  3, 11, 7,  10, 6,
                                                       9, 5, 8, 4, 4, 12, 8, 13, 9, 14, 10, 15, 11}));
    // Texture coordinates run from (0, 0) at (-w/2, -h/2) to (1, 1) at (w/2, h/2).
    EXPECT_EQ(read.texCoords[0], (Vec2{0, 0}));
    EXPECT_EQ(read.texCoords[3], (Vec2{1, 0}));
    EXPECT_EQ(read.texCoords[15], (Vec2{1, 1}));
    EXPECT_EQ(mesh->bound->kind, Bound::Kind_BOX);
    EXPECT_EQ(mesh->bound->box.minimum, Vector3(-0.5f, -0.5f, 0.0f));
    EXPECT_EQ(mesh->bound->box.maximum, Vector3(0.5f, 0.5f, 0.0f));
}

TEST_F(MeshCreatorsTest, ASmallestGridIsOneQuadAndCountsBelowTwoGiveNothing)
{
    IntrusivePointer<Mesh> quad = grid().createGridMesh(2.0f, 4.0f, 2, 2, nullptr);
    ASSERT_NE(quad, nullptr);
    EXPECT_EQ(indicesOf(*quad), (std::vector<uint32_t>{2, 0, 3, 1}));
    const MeshReadBack read(*quad);
    EXPECT_EQ(read.positions[0], (Vec3{-1, -2, 0}));
    EXPECT_EQ(read.positions[3], (Vec3{1, 2, 0}));

    const int vertices = vertexBuffers();
    const int indices = indexBuffers();
    const int materials = materialSlots();
    const struct
    {
        int nx, ny;
    } refused[] = {{1, 4}, {4, 1}, {0, 0}, {-3, 5}, {257, 256}, {65537, 2}, {2, 1 << 30}};
    for (const auto& c : refused) {
        EXPECT_EQ(grid().createGridMesh(1.0f, 1.0f, c.nx, c.ny, nullptr), nullptr) << c.nx << " x " << c.ny;
    }
    // Nothing was asked of the buffer manager, and no material was made.
    EXPECT_EQ(vertexBuffers(), vertices);
    EXPECT_EQ(indexBuffers(), indices);
    EXPECT_EQ(materialSlots(), materials);
    // The largest grid that 16-bit indices reach.
    EXPECT_NE(grid().createGridMesh(1.0f, 1.0f, 256, 256, nullptr), nullptr);
}

TEST_F(MeshCreatorsTest, TheDefaultSphereStartsAtItsTopPoleAndClosesAtItsSeam)
{
    IntrusivePointer<Mesh> mesh = asMesh(sphere().create("ball", nullptr, nullptr));
    ASSERT_NE(mesh, nullptr);
    const MeshReadBack read(*mesh);
    ASSERT_EQ(read.positions.size(), 81u);
    const std::vector<uint32_t> indices = indicesOf(*mesh);
    EXPECT_EQ(indices.size(), 432u);
    for (uint32_t index : indices) {
        EXPECT_LT(index, 81u);
    }
    for (int j = 0; j < 9; ++j) {
        SCOPED_TRACE(j);
        expectNear(read.positions[j], {0, 1, 0});
        expectNear(read.normals[j], {0, 1, 0});
        expectNear(read.texCoords[j], {j / 8.0f, 0.0f});
    }
    for (int i = 0; i <= 8; ++i) {
        SCOPED_TRACE(i);
        const int first = i * 9;
        const int last = i * 9 + 8;
        expectNear(read.positions[first], read.positions[last]);
        expectNear(read.normals[first], read.normals[last]);
        EXPECT_EQ(read.texCoords[first][0], 0.0f);
        EXPECT_EQ(read.texCoords[last][0], 1.0f);
        EXPECT_EQ(read.texCoords[first][1], i / 8.0f);
    }
    expectNear(read.positions[80], {0, -1, 0});
    // The equator at phi 0 lies on +z.
    expectNear(read.positions[4 * 9], {0, 0, 1});
    // The first band's first quad: k + s + 1, k, k + s, then k + s + 1, k + 1, k.
    EXPECT_EQ(std::vector<uint32_t>(indices.begin(), indices.begin() + 12),
              (std::vector<uint32_t>{9, 0, 8, 9, 1, 0, 10, 1, 9, 10, 2, 1}));
    EXPECT_EQ(mesh->bound->kind, Bound::Kind_SPHERE);
    EXPECT_EQ(mesh->bound->sphere.radius, 1.0f);
    // The facade's sphere is always 16 by 16.
    IntrusivePointer<Mesh> facade = engine->createSphereMesh(unit, nullptr);
    EXPECT_EQ(MeshReadBack(*facade).positions.size(), 289u);
    EXPECT_EQ(indicesOf(*facade).size(), 1632u);
    EXPECT_EQ(mesh->bound->box.minimum, Vector3(-1, -1, -1));
    EXPECT_EQ(mesh->bound->box.maximum, Vector3(1, 1, 1));
}

TEST_F(MeshCreatorsTest, SphereCountsThatDivideByZeroOrOverflowTheIndicesGiveNothing)
{
    expectRefused(
        {
            {"no segments", 0, 8, 1.0f},
            {"no rings", 8, 0, 1.0f},
            {"negative", -2, 8, 1.0f},
            {"radius 0", 8, 8, 0.0f},
            {"257 x 256 vertices", 256, 255, 1.0f},
            {"products beyond 32 bits", 1 << 20, 1 << 20, 1.0f},
        },
        [&](const Sphere& s, int segments, int rings) {
            return sphere().createSphereMesh(s, segments, rings, nullptr);
        });
    // 256 x 256 vertices still fit.
    EXPECT_NE(sphere().createSphereMesh(unit, 255, 255, nullptr), nullptr);
}

TEST_F(MeshCreatorsTest, TheDefaultTorusIsOneStripOfPairsAroundTheRing)
{
    IntrusivePointer<Mesh> mesh = asMesh(torus().create("ring", nullptr, nullptr));
    ASSERT_NE(mesh, nullptr);
    const MeshReadBack read(*mesh);
    ASSERT_EQ(read.positions.size(), 544u);
    const IndexData& data = *mesh->getSubMesh(0)->indexData;
    EXPECT_EQ(data.primitive, IndexData::Primitive_TRIANGLE_STRIP);
    EXPECT_EQ(data.indexBuffer, nullptr);
    EXPECT_EQ(data.start, 0);
    EXPECT_EQ(data.count, 544);
    expectNear(read.positions[0], {1.5f, 0, 0});
    expectNear(read.normals[0], {1, 0, 0});
    expectNear(read.texCoords[0], {0, 0});
    // The odd vertex of a pair lies one ring step on; the tube's top is at z = 0.5.
    const float step = 6.2831855f / 16.0f;
    expectNear(read.positions[1], {1.5f * std::cos(step), 1.5f * std::sin(step), 0});
    expectNear(read.texCoords[1], {1.0f / 16.0f, 0});
    expectNear(read.positions[2 * 4], {1.0f, 0, 0.5f});
    expectNear(read.normals[2 * 4], {0, 0, 1});
    // The bound holds the whole tube.
    EXPECT_EQ(mesh->bound->kind, Bound::Kind_SPHERE);
    EXPECT_EQ(mesh->bound->sphere.origin, Vector3(0, 0, 0));
    EXPECT_EQ(mesh->bound->sphere.radius, 1.5f);
    for (const Vec3& p : read.positions) {
        EXPECT_LE(contenttest::length(p), 1.5f + EPSILON);
    }

    const int refused[][2] = {{0, 16}, {16, 0}, {-1, 4}};
    for (const auto& c : refused) {
        EXPECT_EQ(torus().createTorusMesh(1.0f, 0.5f, c[0], c[1], nullptr), nullptr) << c[0] << ", " << c[1];
    }
    EXPECT_EQ(torus().createTorusMesh(1.0f, 0.0f, 16, 16, nullptr), nullptr);
    EXPECT_EQ(torus().createTorusMesh(1.0f, 0.5f, 1 << 16, 1 << 16, nullptr), nullptr);
}

TEST_F(MeshCreatorsTest, TheDefaultSkyBoxHasSixFacesOfItsOwnWithoutMaterials)
{
    IntrusivePointer<Mesh> mesh = asMesh(skyBox().create("sky", nullptr, nullptr));
    ASSERT_NE(mesh, nullptr);
    const MeshReadBack read(*mesh);
    ASSERT_EQ(read.positions.size(), 24u);
    EXPECT_TRUE(read.normals.empty());
    for (const Vec3& p : read.positions) {
        for (float c : p) {
            EXPECT_EQ(std::fabs(c), 1.0f);
        }
    }
    ASSERT_EQ(mesh->getNumSubMeshes(), 6);
    for (int k = 0; k < 6; ++k) {
        const Mesh::SubMesh& subMesh = *mesh->getSubMesh(k);
        EXPECT_EQ(subMesh.material, nullptr);
        EXPECT_EQ(subMesh.indexData->primitive, IndexData::Primitive_TRIANGLES);
        EXPECT_EQ(subMesh.indexData->start, 6 * k);
        EXPECT_EQ(subMesh.indexData->count, 6);
        EXPECT_EQ(subMesh.indexData->indexBuffer->getIndexFormat(), IndexBuffer::IndexFormat_UINT8);
        for (uint32_t index : indicesOf(*mesh, k)) {
            EXPECT_GE(index, 4u * k);
            EXPECT_LT(index, 4u * k + 4);
        }
    }
    EXPECT_EQ(indicesOf(*mesh, 1), (std::vector<uint32_t>{5, 4, 6, 7, 6, 4}));
    EXPECT_EQ(mesh->bound->kind, Bound::Kind_BOX);
    EXPECT_EQ(mesh->bound->box.minimum, Vector3(-1, -1, -1));
    EXPECT_EQ(mesh->bound->box.maximum, Vector3(1, 1, 1));
    EXPECT_EQ(mesh->bound->sphere.origin, Vector3(0, 0, 0));
    EXPECT_NEAR(mesh->bound->sphere.radius, std::sqrt(3.0f), EPSILON);
}

TEST_F(MeshCreatorsTest, SkyBoxTextureLayouts)
{
    IntrusivePointer<Material> first = given();
    IntrusivePointer<Material> other = given();
    IntrusivePointer<Mesh> separate =
        skyBox().createSkyBoxMesh(2.0f, false, false, first, other, nullptr, other, nullptr, other);
    IntrusivePointer<Mesh> flipped =
        skyBox().createSkyBoxMesh(2.0f, false, true, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    IntrusivePointer<Mesh> cross =
        skyBox().createSkyBoxMesh(2.0f, true, false, first, other, other, other, other, other);
    IntrusivePointer<Mesh> crossFlipped =
        skyBox().createSkyBoxMesh(2.0f, true, true, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(separate, nullptr);
    ASSERT_NE(cross, nullptr);
    EXPECT_EQ(separate->getSubMesh(0)->material, first);
    EXPECT_EQ(separate->getSubMesh(1)->material, other);
    EXPECT_EQ(separate->getSubMesh(2)->material, nullptr);
    EXPECT_EQ(separate->bound->box.maximum, Vector3(2, 2, 2));

    const MeshReadBack faces(*separate);
    const MeshReadBack flips(*flipped);
    expectNear(faces.positions[6], {2, 2, 2});
    for (int v = 0; v < 24; ++v) {
        EXPECT_EQ(flips.texCoords[v][0], faces.texCoords[v][0]) << v;
        EXPECT_EQ(flips.texCoords[v][1], 1.0f - faces.texCoords[v][1]) << v;
    }
    EXPECT_EQ(faces.texCoords[0], (Vec2{1, 1}));
    EXPECT_EQ(faces.texCoords[14], (Vec2{0, 1}));

    // One submesh over all 36 indices with the first material; the rows stay 1/1024 clear of the thirds.
    ASSERT_EQ(cross->getNumSubMeshes(), 1);
    EXPECT_EQ(cross->getSubMesh(0)->material, first);
    EXPECT_EQ(cross->getSubMesh(0)->indexData->start, 0);
    EXPECT_EQ(cross->getSubMesh(0)->indexData->count, 36);
    const float t1 = fromBits(0x3EAB2AABu);
    const float t2 = fromBits(0x3F2A6AABu);
    const MeshReadBack cells(*cross);
    const MeshReadBack cellsFlipped(*crossFlipped);
    const Vec2 expected[24] = {{0.25f, 1},  {0.5f, 1},   {0.5f, t2},  {0.25f, t2}, {0.25f, 0},  {0.5f, 0},
                               {0.5f, t1},  {0.25f, t1}, {0, t2},     {0.25f, t2}, {0.25f, t1}, {0, t1},
                               {0.75f, t2}, {0.5f, t2},  {0.5f, t1},  {0.75f, t1}, {1, t2},     {0.75f, t2},
                               {0.75f, t1}, {1, t1},     {0.25f, t2}, {0.5f, t2},  {0.5f, t1},  {0.25f, t1}};
    for (int v = 0; v < 24; ++v) {
        EXPECT_EQ(cells.texCoords[v], expected[v]) << v;
        EXPECT_EQ(cellsFlipped.texCoords[v], expected[v]) << v;
    }
    EXPECT_FLOAT_EQ(t1, 1.0f / 3.0f + 1.0f / 1024.0f);
    EXPECT_FLOAT_EQ(t2, 2.0f / 3.0f - 1.0f / 1024.0f);
}

TEST_F(MeshCreatorsTest, ASkyDomeOfFourSegmentsAndOneRing)
{
    IntrusivePointer<Mesh> mesh =
        skyDome().createSkyDomeMesh(Sphere(Vector3(1, 2, 3), 2.0f), 4, 1, 0.25f, nullptr);
    ASSERT_NE(mesh, nullptr);
    const MeshReadBack read(*mesh);
    ASSERT_EQ(read.positions.size(), 10u);
    const std::vector<uint32_t> indices = indicesOf(*mesh);
    EXPECT_EQ(indices.size(), 30u);
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        expectNear(read.positions[k], {1, 2, 5});
        EXPECT_EQ(read.normals[k], (Vec3{0, 0, 1}));
        EXPECT_EQ(read.texCoords[k], (Vec2{0.5f, 0.5f}));
    }
    // The horizon at azimuths 0, 90, 180, 270 and 360 degrees.
    const Vec3 horizon[5] = {{3, 2, 3}, {1, 4, 3}, {-1, 2, 3}, {1, 0, 3}, {3, 2, 3}};
    for (int k = 0; k < 5; ++k) {
        expectNear(read.positions[5 + k], horizon[k]);
    }
    EXPECT_NEAR(read.texCoords[5][0], 0.5f + std::sqrt(2.0f) * 0.25f, EPSILON);
    EXPECT_NEAR(read.texCoords[5][1], 0.5f, EPSILON);
    EXPECT_NEAR(read.texCoords[5][0], 0.8536f, 1e-4f);
    // The first six: s, v, s + 1, v, v + 1, s + 1 with s = v + 4.
    EXPECT_EQ(std::vector<uint32_t>(indices.begin(), indices.begin() + 6),
              (std::vector<uint32_t>{4, 0, 5, 0, 1, 5}));
    EXPECT_EQ(mesh->bound->kind, Bound::Kind_SPHERE);
    EXPECT_EQ(mesh->bound->sphere.origin, Vector3(1, 2, 3));
    EXPECT_EQ(mesh->bound->sphere.radius, 2.0f);
    EXPECT_EQ(mesh->bound->box.minimum, Vector3(-1, 0, 1));

    // Without a material the dome draws with an untextured, clamped sky-box material before the rest.
    const IntrusivePointer<Material>& material = mesh->getSubMesh(0)->material;
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->getLayer(), -1);
    EXPECT_EQ(material->getSort(), Material::Sort_NEVER);
    IntrusivePointer<Material> own = given();
    EXPECT_EQ(skyDome().createSkyDomeMesh(unit, 4, 1, 0.25f, own)->getSubMesh(0)->material, own);
}

TEST_F(MeshCreatorsTest, SkyDomeCountsBelowOneOrBeyondTheIndicesAndARadiusOfZeroGiveNothing)
{
    expectRefused(
        {
            {"no segments", 0, 4, 1.0f},
            {"no rings", 4, 0, 1.0f},
            {"negative rings", 4, -1, 1.0f},
            {"radius 0", 4, 4, 0.0f},
            {"65537 vertices and more", 256, 256, 1.0f},
        },
        [&](const Sphere& s, int segments, int rings) {
            return skyDome().createSkyDomeMesh(s, segments, rings, 0.5f, nullptr);
        });
}

// A negative radius or size would turn the mesh inside out (and a sphere's bound negative): each is
// refused as a radius of zero is, with no buffer or material left behind.
TEST_F(MeshCreatorsTest, NegativeRadiiAndSizesGiveNothing)
{
    struct Case
    {
        const char* name;
        std::function<IntrusivePointer<Mesh>()> make;
    };
    const Sphere inverted(Vector3(0, 0, 0), -1.0f);
    const Sphere notANumber(Vector3(0, 0, 0), std::nanf(""));
    const Case cases[] = {
        {"sphere of radius -1", [&] { return sphere().createSphereMesh(inverted, 8, 8, nullptr); }},
        {"sphere of radius NaN", [&] { return sphere().createSphereMesh(notANumber, 8, 8, nullptr); }},
        {"sky dome of radius -1", [&] { return skyDome().createSkyDomeMesh(inverted, 8, 4, 0.5f, nullptr); }},
        {"torus of tube radius -0.5", [&] { return torus().createTorusMesh(1.0f, -0.5f, 8, 8, nullptr); }},
        {"torus of ring radius -1", [&] { return torus().createTorusMesh(-1.0f, 0.5f, 8, 8, nullptr); }},
        {"grid of width -1", [&] { return grid().createGridMesh(-1.0f, 1.0f, 4, 4, nullptr); }},
        {"grid of height -1", [&] { return grid().createGridMesh(1.0f, -1.0f, 4, 4, nullptr); }},
        {"grid of width NaN", [&] { return grid().createGridMesh(std::nanf(""), 1.0f, 4, 4, nullptr); }},
        {"engine's sphere of radius -1", [&] { return engine->createSphereMesh(inverted, nullptr); }},
        {"engine's sky dome of radius -1",
         [&] { return engine->createSkyDomeMesh(inverted, 8, 4, 0.5f, nullptr); }},
        {"engine's torus of tube radius -0.5",
         [&] { return engine->createTorusMesh(1.0f, -0.5f, 8, 8, nullptr); }},
        {"engine's grid of width -1", [&] { return engine->createGridMesh(-1.0f, 1.0f, 4, 4, nullptr); }},
    };
    const int vertices = vertexBuffers();
    const int materials = materialSlots();
    for (const Case& c : cases) {
        EXPECT_EQ(c.make(), nullptr) << c.name;
    }
    EXPECT_EQ(vertexBuffers(), vertices);
    EXPECT_EQ(materialSlots(), materials);

    // The filling operations refuse them too, before writing into the given buffers.
    const IntrusivePointer<rezezaz::render::VertexBuffer> vertexBuffer =
        engine->getBufferManager()->createVertexBuffer(1, 2, engine->getVertexFormats().POSITION_NORMAL_TEX_COORD, 1024);
    const IntrusivePointer<IndexBuffer> indexBuffer =
        engine->getBufferManager()->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 4096);
    EXPECT_EQ(sphere().createSphereMesh(vertexBuffer, indexBuffer, inverted, 8, 8), nullptr);
    EXPECT_EQ(skyDome().createSkyDomeMesh(vertexBuffer, indexBuffer, inverted, 8, 4, 0.5f), nullptr);
    EXPECT_EQ(torus().createTorusMesh(vertexBuffer, -1.0f, 0.5f, 8, 8), nullptr);
    EXPECT_EQ(grid().createGridMesh(vertexBuffer, indexBuffer, 1.0f, -1.0f, 4, 4), nullptr);
    // A ring radius of 0 (a horn torus) and a grid of width 0 still make meshes.
    EXPECT_NE(torus().createTorusMesh(0.0f, 0.5f, 8, 8, nullptr), nullptr);
    EXPECT_NE(grid().createGridMesh(0.0f, 1.0f, 4, 4, nullptr), nullptr);
}

TEST_F(MeshCreatorsTest, EveryTriangleFacesTheViewerAndAgreesWithItsNormals)
{
    enum Side
    {
        // Seen from outside the centre's sphere, normals pointing the same way.
        OUTSIDE,
        // Seen from +z only.
        FROM_PLUS_Z,
        // Seen from outside the tube: the normals say which way.
        OUTSIDE_NORMALS,
        // Seen from the centre; the normals (if any) point away from it.
        INSIDE,
    };
    struct Case
    {
        const char* name;
        std::function<IntrusivePointer<Mesh>()> make;
        Vec3 centre;
        Side side;
        size_t faces;
    } cases[] = {
        {"box",
         [&] { return box().createAABoxMesh(AABox(Vector3(-1, -2, -3), Vector3(3, 2, 1)), nullptr); },
         {1, 0, -1},
         OUTSIDE,
         12},
        {"sphere",
         [&] { return sphere().createSphereMesh(Sphere(Vector3(1, 2, 3), 2.0f), 7, 5, nullptr); },
         {1, 2, 3},
         OUTSIDE,
         2 * 7 * 5 - 2 * 7},
        {"grid",
         [&] { return grid().createGridMesh(3.0f, 2.0f, 5, 4, nullptr); },
         {0, 0, 0},
         FROM_PLUS_Z,
         2 * 4 * 3},
        {"torus",
         [&] { return torus().createTorusMesh(2.0f, 0.5f, 9, 7, nullptr); },
         {0, 0, 0},
         OUTSIDE_NORMALS,
         2 * 9 * 7},
        {"sky box",
         [&] {
             return skyBox().createSkyBoxMesh(5.0f, false, false, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr);
         },
         {0, 0, 0},
         INSIDE,
         12},
        {"sky box, cross",
         [&] {
             return skyBox().createSkyBoxMesh(5.0f, true, false, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr);
         },
         {0, 0, 0},
         INSIDE,
         12},
        {"sky dome",
         [&] { return skyDome().createSkyDomeMesh(Sphere(Vector3(0, 0, 1), 3.0f), 6, 4, 0.5f, nullptr); },
         {0, 0, 1},
         INSIDE,
         2 * 6 * 4 - 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<Mesh> mesh = c.make();
        ASSERT_NE(mesh, nullptr);
        const MeshReadBack read(*mesh);
        size_t faces = 0;
        for (int s = 0; s < mesh->getNumSubMeshes(); ++s) {
            for (const Triangle& t : MeshReadBack::triangles(*mesh->getSubMesh(s)->indexData)) {
                const Vec3& a = read.positions[t[0]];
                const Vec3& b = read.positions[t[1]];
                const Vec3& d = read.positions[t[2]];
                // Counter-clockwise seen from where the face normal points.
                const Vec3 face = contenttest::cross(contenttest::minus(b, a), contenttest::minus(d, a));
                if (contenttest::length(face) < 1e-6f) {
                    continue;
                }
                ++faces;
                const Vec3 centroid = {(a[0] + b[0] + d[0]) / 3, (a[1] + b[1] + d[1]) / 3,
                                       (a[2] + b[2] + d[2]) / 3};
                const float outward = contenttest::dot(face, contenttest::minus(centroid, c.centre));
                switch (c.side) {
                case OUTSIDE:
                    EXPECT_GT(outward, 0.0f) << t[0] << " " << t[1] << " " << t[2];
                    break;
                case FROM_PLUS_Z:
                    EXPECT_GT(face[2], 0.0f) << t[0] << " " << t[1] << " " << t[2];
                    break;
                case OUTSIDE_NORMALS:
                    break;
                case INSIDE:
                    EXPECT_LT(outward, 0.0f) << t[0] << " " << t[1] << " " << t[2];
                    break;
                }
                if (!read.normals.empty()) {
                    const float sign = c.side == INSIDE ? -1.0f : 1.0f;
                    for (uint32_t v : t) {
                        EXPECT_GT(sign * contenttest::dot(face, read.normals[v]), 0.0f)
                            << "vertex " << v << " of " << t[0] << " " << t[1] << " " << t[2];
                    }
                }
            }
        }
        EXPECT_EQ(faces, c.faces);
    }
}

TEST_F(MeshCreatorsTest, OnAFixedPointEngineEachValueIsStoredTimes65536Truncated)
{
    IntrusivePointer<Mesh> floating = asMesh(sphere().create("", nullptr, nullptr));
    const MeshReadBack expected(*floating);
    ASSERT_FALSE(expected.fixed);

    device.caps.vertexElementType = rezezaz::render::VertexFormat::Type_FIXED32;
    engine->setRenderDevice(&device);
    engine->updateVertexFormats();
    IntrusivePointer<Mesh> fixed = asMesh(sphere().create("", nullptr, nullptr));
    const MeshReadBack read(*fixed);
    ASSERT_TRUE(read.fixed);
    ASSERT_EQ(read.words.size(), expected.words.size());
    for (size_t i = 0; i < read.words.size(); ++i) {
        float value;
        std::memcpy(&value, &expected.words[i], 4);
        EXPECT_EQ(read.words[i], static_cast<int32_t>(static_cast<double>(value) * 65536.0)) << "word " << i;
    }
    // The pole's y and the first seam u, exactly.
    EXPECT_EQ(read.words[1], 65536);
    EXPECT_EQ(read.words[8 * 8 + 6], 65536);
}

TEST_F(MeshCreatorsTest, CreateNamesItsMeshAndTheFacadesManageThemUnnamed)
{
    using Make = std::function<IntrusivePointer<Mesh>(IntrusivePointer<Material>)>;
    struct Case
    {
        const char* name;
        rezezaz::scene::ResourceCreator* creator;
        Make facade;
        // Whether a null material becomes a new default diffuse one.
        bool defaultMaterial;
        size_t facadeVertices;
    } cases[] = {
        {"box", &box(), [&](IntrusivePointer<Material> m) { return engine->createAABoxMesh(AABox(), m); },
         true, 24},
        {"sphere", &sphere(), [&](IntrusivePointer<Material> m) { return engine->createSphereMesh(unit, m); },
         true, 289},
        {"torus", &torus(),
         [&](IntrusivePointer<Material> m) { return engine->createTorusMesh(1, 0.25f, 3, 4, m); }, true, 30},
        {"grid", &grid(), [&](IntrusivePointer<Material> m) { return engine->createGridMesh(1, 1, 3, 2, m); },
         true, 6},
        {"sky box", &skyBox(),
         [&](IntrusivePointer<Material> m) {
             return engine->createSkyBoxMesh(1, false, false, m, nullptr, nullptr, nullptr, nullptr, nullptr);
         },
         false, 24},
        {"sky dome", &skyDome(),
         [&](IntrusivePointer<Material> m) { return engine->createSkyDomeMesh(unit, 3, 2, 0.5f, m); }, false,
         12},
    };
    rezezaz::scene::ResourceManager& meshes = *engine->getMeshManager();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<rezezaz::core::Resource> named = c.creator->create(c.name, nullptr, nullptr);
        ASSERT_NE(named, nullptr);
        EXPECT_EQ(std::string(named->getName().c_str()), c.name);
        EXPECT_EQ(named->getUniqueHandle(), 0) << "create leaves the mesh unmanaged";
        EXPECT_EQ(std::string(c.creator->create("", nullptr, nullptr)->getName().c_str()), "");

        IntrusivePointer<Mesh> plain = c.facade(nullptr);
        ASSERT_NE(plain, nullptr);
        EXPECT_EQ(MeshReadBack(*plain).positions.size(), c.facadeVertices);
        EXPECT_GT(plain->getUniqueHandle(), 0);
        EXPECT_EQ(std::string(plain->getName().c_str()), "");
        EXPECT_EQ(meshes.get(plain->getUniqueHandle()).get(),
                  static_cast<rezezaz::core::Resource*>(plain.get()));
        const IntrusivePointer<Material>& made = plain->getSubMesh(0)->material;
        if (c.defaultMaterial) {
            ASSERT_NE(made, nullptr);
            // A diffuse material of its own, managed without a name.
            EXPECT_NE(made, c.facade(nullptr)->getSubMesh(0)->material);
            EXPECT_EQ(pathNames(*made), (Names{"", "fixed"}));
            EXPECT_EQ(engine->getMaterialManager()->get(made->getUniqueHandle()).get(),
                      static_cast<rezezaz::core::Resource*>(made.get()));
        }
        IntrusivePointer<Material> own = given();
        EXPECT_EQ(c.facade(own)->getSubMesh(0)->material, own);

        // destroy leaves the creator usable.
        c.creator->destroy();
        EXPECT_NE(c.creator->create("again", nullptr, nullptr), nullptr);
    }
}

TEST_F(MeshCreatorsTest, FillingMissingOrTooSmallBuffersGivesNothing)
{
    rezezaz::scene::BufferManager& buffers = *engine->getBufferManager();
    const auto& format = engine->getVertexFormats().POSITION_NORMAL_TEX_COORD;
    IntrusivePointer<rezezaz::render::VertexBuffer> few = buffers.createVertexBuffer(1, 2, format, 3);
    IntrusivePointer<IndexBuffer> someIndices =
        buffers.createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 3);
    IntrusivePointer<rezezaz::render::VertexBuffer> many = buffers.createVertexBuffer(1, 2, format, 1000);
    IntrusivePointer<IndexBuffer> manyIndices =
        buffers.createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 1000);

    EXPECT_EQ(grid().createGridMesh(nullptr, manyIndices, 1, 1, 4, 4), nullptr);
    EXPECT_EQ(grid().createGridMesh(many, nullptr, 1, 1, 4, 4), nullptr);
    EXPECT_EQ(grid().createGridMesh(few, manyIndices, 1, 1, 4, 4), nullptr);
    EXPECT_EQ(grid().createGridMesh(many, someIndices, 1, 1, 4, 4), nullptr);
    EXPECT_EQ(sphere().createSphereMesh(nullptr, manyIndices, unit, 4, 4), nullptr);
    EXPECT_EQ(sphere().createSphereMesh(many, someIndices, unit, 4, 4), nullptr);
    EXPECT_EQ(torus().createTorusMesh(nullptr, 1, 0.5f, 4, 4), nullptr);
    EXPECT_EQ(torus().createTorusMesh(few, 1, 0.5f, 4, 4), nullptr);
    EXPECT_EQ(skyDome().createSkyDomeMesh(many, nullptr, unit, 4, 4, 0.5f), nullptr);
    EXPECT_EQ(skyDome().createSkyDomeMesh(few, manyIndices, unit, 4, 4, 0.5f), nullptr);

    // Buffers large enough are filled, and the mesh draws the counts asked for, not the whole buffer.
    IntrusivePointer<Mesh> mesh = grid().createGridMesh(many, manyIndices, 1, 1, 2, 2);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->getSubMesh(0)->material, nullptr);
    EXPECT_EQ(mesh->getSubMesh(0)->indexData->count, 4);
}

TEST_F(MeshCreatorsTest, BeforeTheHandlersTheFacadesMakeNothing)
{
    engine = new rezezaz::scene::Engine(nullptr, nullptr);
    EXPECT_EQ(engine->createAABoxMesh(AABox(), nullptr), nullptr);
    EXPECT_EQ(engine->createSphereMesh(unit, nullptr), nullptr);
    EXPECT_EQ(engine->createTorusMesh(1, 0.5f, 4, 4, nullptr), nullptr);
    EXPECT_EQ(engine->createGridMesh(1, 1, 2, 2, nullptr), nullptr);
    EXPECT_EQ(engine->createSkyBoxMesh(1, false, false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(engine->createSkyDomeMesh(unit, 4, 4, 0.5f, nullptr), nullptr);
    EXPECT_EQ(sceneWarnings(), (Names{"createAABoxMesh: no AABoxMeshCreator before installHandlers",
                                      "createSphereMesh: no SphereMeshCreator before installHandlers",
                                      "createTorusMesh: no TorusMeshCreator before installHandlers",
                                      "createGridMesh: no GridMeshCreator before installHandlers",
                                      "createSkyBoxMesh: no SkyBoxMeshCreator before installHandlers",
                                      "createSkyDomeMesh: no SkyDomeMeshCreator before installHandlers"}));
}

} // namespace

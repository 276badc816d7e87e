// Makes the calibration view's five compiled-in meshes (resources/tmsh/*.tmsh) with the engine:
//
//     make_calibration_models <folder>
//
// writes crank.tmsh, bigChain.tmsh, smallChain.tmsh, backArrow.tmsh and frontArrow.tmsh into the
// folder. The world is z up with the axle along y, one unit is 0.1 m, the drive side is at -y facing
// the camera, and the loaded arm lies at +x: the right arm at angle 0, the left arm (bone "Bone.001")
// at pi. Every coordinate is rounded to a multiple of 2^-12 so that the files come out byte for byte
// the same whatever the C library's sine and cosine. Every triangle is wound counter-clockwise seen
// from the side its vertex normals point to.
#include "content/EngineHandlers.h"
#include "content/TMSHStreamer.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/io/FileStream.h"
#include "core/math/AABox.h"
#include "core/math/Quaternion.h"
#include "core/math/Vector3.h"
#include "render/BlendState.h"
#include "render/Buffer.h"
#include "render/IndexBuffer.h"
#include "render/IndexData.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderState.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexData.h"
#include "scene/Bound.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/Skeleton.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
namespace math = rezezaz::core::math;
namespace render = rezezaz::render;
namespace scene = rezezaz::scene;

namespace {

constexpr double PI = 3.14159265358979323846;

struct V3
{
    double x, y, z;
};

V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 normalised(V3 a) { return a * (1.0 / std::sqrt(dot(a, a))); }
double grid(double v) { return std::round(v * 4096.0) / 4096.0; }
V3 grid(V3 a) { return {grid(a.x), grid(a.y), grid(a.z)}; }

// A point of the x-z plane (the crank's plane of turning) at angle a and radius r, at depth y.
V3 turning(double a, double r, double y) { return {r * std::cos(a), y, r * std::sin(a)}; }
V3 radial(double a) { return {std::cos(a), 0.0, std::sin(a)}; }

// Vertices of one mesh and the triangles of each of its submeshes.
struct Model
{
    std::vector<V3> positions;
    std::vector<V3> normals;
    std::vector<int> bones;
    std::vector<std::vector<uint16_t>> submeshes;
    int bone = 0;

    int vertex(V3 p, V3 n)
    {
        positions.push_back(grid(p));
        normals.push_back(grid(normalised(n)));
        bones.push_back(bone);
        return int(positions.size()) - 1;
    }

    // Wound so that its face normal agrees with its vertices' normals.
    void triangle(int a, int b, int c)
    {
        const V3 face = cross(positions[b] - positions[a], positions[c] - positions[a]);
        const double side = dot(face, normals[a] + normals[b] + normals[c]);
        if (dot(face, face) == 0.0 || side == 0.0) {
            std::fprintf(stderr, "degenerate triangle %d %d %d\n", a, b, c);
            std::exit(1);
        }
        if (side < 0.0) {
            std::swap(b, c);
        }
        submeshes.back().insert(submeshes.back().end(), {uint16_t(a), uint16_t(b), uint16_t(c)});
    }

    void quad(int a, int b, int c, int d)
    {
        triangle(a, b, c);
        triangle(a, c, d);
    }

    // Triangles between two closed loops of vertices that run the same way round: n + m of them.
    void band(const std::vector<int>& outer, const std::vector<double>& outerAngles, const std::vector<int>& inner,
              const std::vector<double>& innerAngles)
    {
        const int n = int(outer.size());
        const int m = int(inner.size());
        int i = 0;
        int j = 0;
        while (i < n || j < m) {
            const double nextOuter = i < n ? outerAngles[i + 1 < n ? i + 1 : 0] + (i + 1 < n ? 0.0 : 2 * PI) : 1e9;
            const double nextInner = j < m ? innerAngles[j + 1 < m ? j + 1 : 0] + (j + 1 < m ? 0.0 : 2 * PI) : 1e9;
            if (nextOuter <= nextInner) {
                triangle(outer[i % n], outer[(i + 1) % n], inner[j % m]);
                ++i;
            } else {
                triangle(outer[i % n], inner[(j + 1) % m], inner[j % m]);
                ++j;
            }
        }
    }

    // The side between two copies of a closed loop: 2n triangles.
    void sides(const std::vector<int>& front, const std::vector<int>& back)
    {
        const int n = int(front.size());
        for (int i = 0; i < n; ++i) {
            quad(front[i], front[(i + 1) % n], back[(i + 1) % n], back[i]);
        }
    }
};

std::vector<double> angles(int count, double offset)
{
    std::vector<double> result;
    for (int i = 0; i < count; ++i) {
        result.push_back(offset + 2 * PI * i / count);
    }
    return result;
}

// One crank arm, side +1 along +x, -1 along -x, between y0 and y1: a stadium outline of 40 points,
// a fan about the centre on each face and a smooth side (162 vertices, 160 triangles).
void arm(Model& model, double side, double y0, double y1)
{
    const double length = 1.58;
    const double radius = 0.12;
    std::vector<V3> outline;
    std::vector<V3> outward;
    for (int i = 0; i < 20; ++i) {
        const double a = -PI / 2 + PI * i / 19;
        outline.push_back({side * (length + radius * std::cos(a)), 0.0, radius * std::sin(a)});
        outward.push_back({side * std::cos(a), 0.0, std::sin(a)});
    }
    for (int i = 0; i < 20; ++i) {
        const double a = PI / 2 + PI * i / 19;
        outline.push_back({side * radius * std::cos(a), 0.0, radius * std::sin(a)});
        outward.push_back({side * std::cos(a), 0.0, std::sin(a)});
    }
    for (double y : {y0, y1}) {
        const V3 normal{0.0, y == y0 ? -1.0 : 1.0, 0.0};
        const int centre = model.vertex({side * length / 2, y, 0.0}, normal);
        std::vector<int> ring;
        for (const V3& p : outline) {
            ring.push_back(model.vertex(p + V3{0.0, y, 0.0}, normal));
        }
        for (int i = 0; i < 40; ++i) {
            model.triangle(centre, ring[i], ring[(i + 1) % 40]);
        }
    }
    std::vector<int> front;
    std::vector<int> back;
    for (int i = 0; i < 40; ++i) {
        front.push_back(model.vertex(outline[i] + V3{0.0, y0, 0.0}, outward[i]));
    }
    for (int i = 0; i < 40; ++i) {
        back.push_back(model.vertex(outline[i] + V3{0.0, y1, 0.0}, outward[i]));
    }
    model.sides(front, back);
}

// The spindle: a 65-sided cylinder along y with a smooth side and a fan on each end (262/260).
void spindle(Model& model, double y0, double y1)
{
    const int sidesCount = 65;
    const double radius = 0.1;
    const std::vector<double> a = angles(sidesCount, 0.0);
    for (double y : {y0, y1}) {
        const V3 normal{0.0, y == y0 ? -1.0 : 1.0, 0.0};
        const int centre = model.vertex({0.0, y, 0.0}, normal);
        std::vector<int> ring;
        for (double angle : a) {
            ring.push_back(model.vertex(turning(angle, radius, y), normal));
        }
        for (int i = 0; i < sidesCount; ++i) {
            model.triangle(centre, ring[i], ring[(i + 1) % sidesCount]);
        }
    }
    std::vector<int> front;
    std::vector<int> back;
    for (double angle : a) {
        front.push_back(model.vertex(turning(angle, radius, y0), radial(angle)));
    }
    for (double angle : a) {
        back.push_back(model.vertex(turning(angle, radius, y1), radial(angle)));
    }
    model.sides(front, back);
}

// A box of flat faces from corner along three perpendicular edges (24 vertices, 12 triangles).
void box(Model& model, V3 corner, V3 u, V3 v, V3 w)
{
    const V3 axes[3] = {u, v, w};
    for (int axis = 0; axis < 3; ++axis) {
        const V3 b = axes[(axis + 1) % 3];
        const V3 c = axes[(axis + 2) % 3];
        for (int high = 0; high < 2; ++high) {
            const V3 base = corner + axes[axis] * double(high);
            const V3 normal = normalised(axes[axis]) * (high ? 1.0 : -1.0);
            const int p0 = model.vertex(base, normal);
            const int p1 = model.vertex(base + b, normal);
            const int p2 = model.vertex(base + b + c, normal);
            const int p3 = model.vertex(base + c, normal);
            model.quad(p0, p1, p2, p3);
        }
    }
}

// The spider: five flat arms from the spindle to the big ring (120/60).
void spider(Model& model)
{
    for (int k = 0; k < 5; ++k) {
        const double a = PI / 5 + 2 * PI * k / 5;
        const V3 along = radial(a);
        const V3 across{-std::sin(a), 0.0, std::cos(a)};
        const V3 corner = along * 0.08 + across * -0.06 + V3{0.0, -0.46, 0.0};
        box(model, corner, along * 0.9, V3{0.0, 0.09, 0.0}, across * 0.12);
    }
}

// A toothed outline of 2 * teeth points, tips and roots in turn, and its smooth outward normals.
void teethOutline(int teeth, double tip, double root, std::vector<V3>& points, std::vector<V3>& outward,
                  std::vector<double>& pointAngles)
{
    pointAngles = angles(2 * teeth, 0.0);
    for (int i = 0; i < 2 * teeth; ++i) {
        points.push_back(turning(pointAngles[i], i % 2 == 0 ? tip : root, 0.0));
    }
    const int n = int(points.size());
    for (int i = 0; i < n; ++i) {
        const V3 before = points[(i + n - 1) % n];
        const V3 after = points[(i + 1) % n];
        const V3 e1 = points[i] - before;
        const V3 e2 = after - points[i];
        // In the x-z plane, counter-clockwise about +y seen from -y: the outward normal of (ex, ez)
        // is (ez, -ex).
        const V3 n1 = normalised({e1.z, 0.0, -e1.x});
        const V3 n2 = normalised({e2.z, 0.0, -e2.x});
        outward.push_back(normalised(n1 + n2));
    }
}

// The big ring: 53 teeth, an inner circle of 130 points shared by both faces and a rounded inner
// edge (684/944).
void bigRing(Model& model, double y0, double y1)
{
    std::vector<V3> outline;
    std::vector<V3> outward;
    std::vector<double> outlineAngles;
    teethOutline(53, 1.10, 1.03, outline, outward, outlineAngles);
    const std::vector<double> innerAngles = angles(130, 0.0);
    const double innerRadius = 0.95;
    std::vector<int> innerFront;
    std::vector<int> innerBack;
    for (double y : {y0, y1}) {
        const V3 normal{0.0, y == y0 ? -1.0 : 1.0, 0.0};
        std::vector<int> ring;
        for (const V3& p : outline) {
            ring.push_back(model.vertex(p + V3{0.0, y, 0.0}, normal));
        }
        std::vector<int> inner;
        for (double a : innerAngles) {
            inner.push_back(model.vertex(turning(a, innerRadius, y), normal + radial(a) * -1.0));
        }
        model.band(ring, outlineAngles, inner, innerAngles);
        (y == y0 ? innerFront : innerBack) = inner;
    }
    std::vector<int> front;
    std::vector<int> back;
    for (size_t i = 0; i < outline.size(); ++i) {
        front.push_back(model.vertex(outline[i] + V3{0.0, y0, 0.0}, outward[i]));
    }
    for (size_t i = 0; i < outline.size(); ++i) {
        back.push_back(model.vertex(outline[i] + V3{0.0, y1, 0.0}, outward[i]));
    }
    model.sides(front, back);
    model.sides(innerFront, innerBack);
}

// The small ring: 39 teeth, an inner circle of 66 points with its own flat rim (576/576).
void smallRing(Model& model, double y0, double y1)
{
    std::vector<V3> outline;
    std::vector<V3> outward;
    std::vector<double> outlineAngles;
    teethOutline(39, 0.82, 0.77, outline, outward, outlineAngles);
    const std::vector<double> innerAngles = angles(66, 0.0);
    const double innerRadius = 0.68;
    for (double y : {y0, y1}) {
        const V3 normal{0.0, y == y0 ? -1.0 : 1.0, 0.0};
        std::vector<int> ring;
        for (const V3& p : outline) {
            ring.push_back(model.vertex(p + V3{0.0, y, 0.0}, normal));
        }
        std::vector<int> inner;
        for (double a : innerAngles) {
            inner.push_back(model.vertex(turning(a, innerRadius, y), normal));
        }
        model.band(ring, outlineAngles, inner, innerAngles);
    }
    std::vector<int> front;
    std::vector<int> back;
    for (size_t i = 0; i < outline.size(); ++i) {
        front.push_back(model.vertex(outline[i] + V3{0.0, y0, 0.0}, outward[i]));
    }
    for (size_t i = 0; i < outline.size(); ++i) {
        back.push_back(model.vertex(outline[i] + V3{0.0, y1, 0.0}, outward[i]));
    }
    model.sides(front, back);
    std::vector<int> rimFront;
    std::vector<int> rimBack;
    for (double a : innerAngles) {
        rimFront.push_back(model.vertex(turning(a, innerRadius, y0), radial(a) * -1.0));
    }
    for (double a : innerAngles) {
        rimBack.push_back(model.vertex(turning(a, innerRadius, y1), radial(a) * -1.0));
    }
    model.sides(rimFront, rimBack);
}

// A chain over a ring's teeth: a one-sided band facing -y (outer 44, inner 43 points: 87/87) and
// seven hexagonal link plates in front of it (36/20 each).
Model chain(double y, double inner, double outer)
{
    Model model;
    model.submeshes.emplace_back();
    const V3 front{0.0, -1.0, 0.0};
    const std::vector<double> outerAngles = angles(44, 0.0);
    const std::vector<double> innerAngles = angles(43, PI / 43);
    std::vector<int> outerRing;
    std::vector<int> innerRing;
    for (double a : outerAngles) {
        outerRing.push_back(model.vertex(turning(a, outer, y), front));
    }
    for (double a : innerAngles) {
        innerRing.push_back(model.vertex(turning(a, inner, y), front));
    }
    model.band(outerRing, outerAngles, innerRing, innerAngles);

    const double middle = (inner + outer) / 2;
    const double size = (outer - inner) * 0.45;
    for (int k = 0; k < 7; ++k) {
        const double a = PI / 7 + 2 * PI * k / 7;
        const V3 centre = turning(a, middle, 0.0);
        const double y0 = y - 0.02;
        const double y1 = y - 0.005;
        std::vector<V3> hexagon;
        for (int i = 0; i < 6; ++i) {
            hexagon.push_back(centre + turning(a + PI * i / 3, size, 0.0));
        }
        for (double face : {y0, y1}) {
            const V3 normal{0.0, face == y0 ? -1.0 : 1.0, 0.0};
            int corners[6];
            for (int i = 0; i < 6; ++i) {
                corners[i] = model.vertex(hexagon[i] + V3{0.0, face, 0.0}, normal);
            }
            for (int i = 1; i < 5; ++i) {
                model.triangle(corners[0], corners[i], corners[i + 1]);
            }
        }
        for (int i = 0; i < 6; ++i) {
            const V3 p = hexagon[i];
            const V3 q = hexagon[(i + 1) % 6];
            const V3 e = q - p;
            const V3 normal{e.z, 0.0, -e.x};
            // One statement each: the order of a call's arguments is not fixed.
            const int a = model.vertex(p + V3{0.0, y0, 0.0}, normal);
            const int b = model.vertex(q + V3{0.0, y0, 0.0}, normal);
            const int c = model.vertex(q + V3{0.0, y1, 0.0}, normal);
            const int d = model.vertex(p + V3{0.0, y1, 0.0}, normal);
            model.quad(a, b, c, d);
        }
    }
    return model;
}

// An arrow pointing down at (1.6, y) from z -0.25 to its tip at -1.15, of 12 sides: shaft, top
// cap, the ring on top of the head and the cone (74/72). The back arrow splits the tip per face and
// carries a seam on the shaft and cap rings (88/72).
Model arrow(double y, bool seams)
{
    Model model;
    model.submeshes.emplace_back();
    const int n = 12;
    const V3 axis{1.6, y, 0.0};
    const double top = -0.25;
    const double headTop = -0.85;
    const double tip = -1.15;
    const double shaftRadius = 0.035;
    const double headRadius = 0.1;
    const int ringCount = seams ? n + 1 : n;
    auto around = [&](double a, double r, double z) { return axis + V3{r * std::cos(a), r * std::sin(a), z}; };
    auto out = [](double a) { return V3{std::cos(a), std::sin(a), 0.0}; };

    std::vector<int> upper;
    std::vector<int> lower;
    for (int k = 0; k < ringCount; ++k) {
        upper.push_back(model.vertex(around(2 * PI * k / n, shaftRadius, top), out(2 * PI * k / n)));
    }
    for (int k = 0; k < ringCount; ++k) {
        lower.push_back(model.vertex(around(2 * PI * k / n, shaftRadius, headTop), out(2 * PI * k / n)));
    }
    for (int k = 0; k < n; ++k) {
        const int next = seams ? k + 1 : (k + 1) % n;
        model.quad(upper[k], upper[next], lower[next], lower[k]);
    }

    const V3 up{0.0, 0.0, 1.0};
    const int centre = model.vertex(axis + V3{0.0, 0.0, top}, up);
    std::vector<int> cap;
    for (int k = 0; k < ringCount; ++k) {
        cap.push_back(model.vertex(around(2 * PI * k / n, shaftRadius, top), up));
    }
    for (int k = 0; k < n; ++k) {
        model.triangle(centre, cap[k], cap[seams ? k + 1 : (k + 1) % n]);
    }

    std::vector<int> inner;
    std::vector<int> outer;
    for (int k = 0; k < n; ++k) {
        inner.push_back(model.vertex(around(2 * PI * k / n, shaftRadius, headTop), up));
    }
    for (int k = 0; k < n; ++k) {
        outer.push_back(model.vertex(around(2 * PI * k / n, headRadius, headTop), up));
    }
    model.sides(outer, inner);

    const double height = headTop - tip;
    auto slant = [&](double a) { return out(a) * height + V3{0.0, 0.0, -headRadius}; };
    std::vector<int> base;
    for (int k = 0; k < n; ++k) {
        base.push_back(model.vertex(around(2 * PI * k / n, headRadius, headTop), slant(2 * PI * k / n)));
    }
    const int sharedTip = seams ? -1 : model.vertex(axis + V3{0.0, 0.0, tip}, {0.0, 0.0, -1.0});
    for (int k = 0; k < n; ++k) {
        const int point =
            seams ? model.vertex(axis + V3{0.0, 0.0, tip}, slant(2 * PI * (k + 0.5) / n)) : sharedTip;
        model.triangle(point, base[k], base[(k + 1) % n]);
    }
    return model;
}

// The crank: the silver "Material" (both arms, spindle, spider) and the dark "Material.002" (both
// rings); the left arm moves with bone 1, the rest with bone 0.
Model crank()
{
    Model model;
    model.submeshes.emplace_back();
    arm(model, 1.0, -0.64, -0.52);
    model.bone = 1;
    arm(model, -1.0, 0.52, 0.64);
    model.bone = 0;
    spindle(model, -0.52, 0.52);
    spider(model);
    model.submeshes.emplace_back();
    bigRing(model, -0.47, -0.44);
    smallRing(model, -0.39, -0.36);
    return model;
}

struct Look
{
    const char* name;
    math::Vector4 ambient;
    math::Vector4 diffuse;
    math::Vector4 specular;
    float shininess;
};

IntrusivePointer<scene::material::Material> makeMaterial(scene::Engine* engine, const Look& look)
{
    IntrusivePointer<scene::material::Material> material = engine->createDiffuseMaterial(nullptr, nullptr);
    scene::material::RenderPass* pass = material ? material->getPass(-1, -1) : nullptr;
    render::RenderState* state = pass != nullptr ? pass->getRenderState() : nullptr;
    if (state == nullptr) {
        std::fprintf(stderr, "the diffuse material has no render state\n");
        std::exit(1);
    }
    material->setName(look.name);
    render::MaterialState materialState;
    materialState.light = true;
    materialState.shade = render::MaterialState::ShadeType_GOURAUD;
    materialState.normalize = render::MaterialState::Normalize_NORMALIZE;
    materialState.ambient = look.ambient;
    materialState.diffuse = look.diffuse;
    materialState.specular = look.specular;
    materialState.shininess = look.shininess;
    materialState.emissive = math::Vector4(0.0f, 0.0f, 0.0f, 1.0f);
    materialState.alphaTest = render::MaterialState::AlphaTest_NONE;
    materialState.alphaCutoff = 0.5f;
    state->setMaterialState(materialState);
    render::RasterizerState rasterizer;
    rasterizer.cull = render::RasterizerState::CullType_BACK;
    rasterizer.fill = render::RasterizerState::FillType_SOLID;
    state->setRasterizerState(rasterizer);
    render::BlendState blend;
    blend.source = render::BlendState::Operation_ONE;
    blend.dest = render::BlendState::Operation_ZERO;
    blend.colorWrite = render::BlendState::ColorWrite_ALL;
    state->setBlendState(blend);
    return material;
}

IntrusivePointer<scene::Mesh> makeMesh(scene::Engine* engine, const Model& model, int usage, int access,
                                       const std::vector<Look>& looks)
{
    scene::BufferManager* buffers = engine->getBufferManager();
    IntrusivePointer<render::VertexFormat> format = engine->getVertexFormats().POSITION_NORMAL;
    if (!format || format->getVertexSize() != 24) {
        std::fprintf(stderr, "the position and normal format is not 24 bytes\n");
        std::exit(1);
    }
    const int count = int(model.positions.size());
    IntrusivePointer<render::VertexBuffer> vertices = buffers->createVertexBuffer(usage, access, format, count);
    {
        render::VertexBufferAccessor accessor(vertices.get(), render::Buffer::Access_WRITE);
        const int position = format->findElement(render::VertexFormat::Semantic_POSITION);
        const int normal = format->findElement(render::VertexFormat::Semantic_NORMAL);
        for (int i = 0; i < count; ++i) {
            const V3& p = model.positions[i];
            const V3& n = model.normals[i];
            accessor.set3(i, position, float(p.x), float(p.y), float(p.z));
            accessor.set3(i, normal, float(n.x), float(n.y), float(n.z));
        }
    }
    IntrusivePointer<scene::Mesh> mesh(new scene::Mesh());
    mesh->setStaticVertexData(new render::VertexData(vertices));
    for (size_t s = 0; s < model.submeshes.size(); ++s) {
        const std::vector<uint16_t>& indices = model.submeshes[s];
        IntrusivePointer<render::IndexBuffer> buffer = buffers->createIndexBuffer(
            render::Buffer::Usage_STATIC, 6, render::IndexBuffer::IndexFormat_UINT16, int(indices.size()));
        buffer->update(reinterpret_cast<unsigned char*>(const_cast<uint16_t*>(indices.data())), 0,
                       int(indices.size() * 2));
        IntrusivePointer<scene::Mesh::SubMesh> subMesh(new scene::Mesh::SubMesh());
        subMesh->indexData = new render::IndexData(render::IndexData::Primitive_TRIANGLES, buffer);
        subMesh->material = makeMaterial(engine, looks[s]);
        mesh->addSubMesh(subMesh);
    }
    math::Vector3 low(1e9f, 1e9f, 1e9f);
    math::Vector3 high(-1e9f, -1e9f, -1e9f);
    for (const V3& p : model.positions) {
        low = math::Vector3(std::min(low.x, float(p.x)), std::min(low.y, float(p.y)), std::min(low.z, float(p.z)));
        high = math::Vector3(std::max(high.x, float(p.x)), std::max(high.y, float(p.y)), std::max(high.z, float(p.z)));
    }
    IntrusivePointer<scene::Bound> bound(new scene::Bound());
    bound->setBox(math::AABox(low, high));
    mesh->setBound(bound);
    return mesh;
}

// Both bones are roots at the origin; their rotations are exact in binary and the world-to-bone
// rotation is the conjugate, so skinning gives back the stored vertices exactly.
void addSkeleton(scene::Mesh* mesh, const Model& model)
{
    IntrusivePointer<scene::Skeleton> skeleton(new scene::Skeleton());
    const math::Quaternion rotates[2] = {math::Quaternion(0.5f, 0.5f, 0.5f, 0.5f),
                                         math::Quaternion(-0.5f, 0.5f, -0.5f, 0.5f)};
    const char* names[2] = {"Bone", "Bone.001"};
    for (int i = 0; i < 2; ++i) {
        IntrusivePointer<scene::Skeleton::Bone> bone(new scene::Skeleton::Bone());
        bone->index = i;
        bone->parentIndex = -1;
        bone->rotate = rotates[i];
        bone->worldToBoneRotate = math::Quaternion(-rotates[i].x, -rotates[i].y, -rotates[i].z, rotates[i].w);
        bone->name = names[i];
        skeleton->addBone(bone.get());
    }
    mesh->setSkeleton(skeleton);
    rezezaz::core::Collection<scene::Mesh::BoneAssignmentList> lists;
    for (int b : model.bones) {
        scene::Mesh::BoneAssignmentList list;
        scene::Mesh::VertexBoneAssignment assignment;
        assignment.bone = uint16_t(b);
        assignment.weight = 1.0f;
        list.add(assignment);
        lists.add(list);
    }
    mesh->setVertexBoneAssignments(lists);
    mesh->compile();
}

bool save(scene::Engine* engine, scene::Mesh* mesh, const std::string& path)
{
    IntrusivePointer<rezezaz::core::io::FileStream> file(new rezezaz::core::io::FileStream(
        path.c_str(), rezezaz::core::io::FileStream::Write | rezezaz::core::io::FileStream::Binary));
    IntrusivePointer<scene::TMSHStreamer> streamer(new scene::TMSHStreamer(engine));
    const bool saved = streamer->save(file.get(), mesh, nullptr, nullptr);
    file->close();
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", path.c_str());
    }
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        // A backed engine without a device: its buffers and render states live in memory.
        IntrusivePointer<scene::Engine> engine(new scene::Engine(nullptr, nullptr));
        engine->setHasBackableFixed(true);
        installHandlers(*engine);

        const Look silver{"Material", math::Vector4(0.22f, 0.22f, 0.23f, 1.0f),
                          math::Vector4(0.62f, 0.62f, 0.64f, 1.0f), math::Vector4(0.50f, 0.50f, 0.50f, 1.0f), 24.0f};
        const Look dark{"Material.002", math::Vector4(0.10f, 0.10f, 0.11f, 1.0f),
                        math::Vector4(0.22f, 0.22f, 0.24f, 1.0f), math::Vector4(0.40f, 0.40f, 0.40f, 1.0f), 32.0f};
        const Look chainLook{"Chain", math::Vector4(0.18f, 0.18f, 0.18f, 1.0f),
                             math::Vector4(0.36f, 0.36f, 0.37f, 1.0f), math::Vector4(0.30f, 0.30f, 0.30f, 1.0f), 16.0f};
        const Look red{"Arrow", math::Vector4(0.45f, 0.04f, 0.04f, 1.0f), math::Vector4(0.90f, 0.10f, 0.10f, 1.0f),
                       math::Vector4(0.30f, 0.30f, 0.30f, 1.0f), 8.0f};

        bool ok = true;
        const Model crankModel = crank();
        IntrusivePointer<scene::Mesh> crankMesh = makeMesh(engine.get(), crankModel, 8, 7, {silver, dark});
        addSkeleton(crankMesh.get(), crankModel);
        ok = save(engine.get(), crankMesh.get(), folder + "/crank.tmsh") && ok;
        const struct
        {
            const char* file;
            Model model;
            Look look;
        } others[] = {
            {"bigChain", chain(-0.48, 1.02, 1.12), chainLook},
            {"smallChain", chain(-0.40, 0.75, 0.84), chainLook},
            {"backArrow", arrow(0.58, true), red},
            {"frontArrow", arrow(-0.58, false), red},
        };
        for (const auto& other : others) {
            IntrusivePointer<scene::Mesh> mesh = makeMesh(engine.get(), other.model, 1, 6, {other.look});
            ok = save(engine.get(), mesh.get(), folder + "/" + other.file + ".tmsh") && ok;
        }
        engine->destroy();
        return ok ? 0 : 1;
    } catch (const rezezaz::core::Exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
}

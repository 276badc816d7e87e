#include "content/GridMeshCreator.h"

#include "scene/Engine.h"
#include "scene/Mesh.h"

namespace rezezaz::scene {

GridMeshCreator::GridMeshCreator(Engine* engine_) : ProceduralMeshCreator(engine_) {}

core::IntrusivePointer<core::Resource> GridMeshCreator::create(const core::String& name, ResourceData*,
                                                               ProgressListener*)
{
    core::IntrusivePointer<Mesh> mesh = createGridMesh(1.0f, 1.0f, 4, 4, nullptr);
    if (!mesh) {
        return nullptr;
    }
    mesh->setName(name);
    return mesh.get();
}

bool GridMeshCreator::countsValid(int nx, int ny)
{
    return nx >= 2 && ny >= 2 && int64_t(nx) * ny <= MAX_INDEXED_VERTICES;
}

bool GridMeshCreator::sizesValid(float width, float height)
{
    return width >= 0.0f && height >= 0.0f;
}

core::IntrusivePointer<Mesh>
GridMeshCreator::createGridMesh(float width, float height, int nx, int ny,
                                core::IntrusivePointer<material::Material> material)
{
    // Checked before any buffer is asked for, so that none of zero or negative size is. A negative
    // width or height would turn the grid over, facing -Z under its +Z normals.
    if (!countsValid(nx, ny) || !sizesValid(width, height)) {
        return nullptr;
    }
    core::IntrusivePointer<Mesh> mesh = createGridMesh(
        createVertexBuffer(engine->getVertexFormats().POSITION_NORMAL_TEX_COORD.get(), int64_t(nx) * ny),
        createIndexBuffer(render::IndexBuffer::IndexFormat_UINT16, indexCount(nx, ny)), width, height, nx,
        ny);
    if (mesh) {
        setFirstMaterial(mesh.get(), materialOrDefault(material));
    }
    return mesh;
}

core::IntrusivePointer<Mesh>
GridMeshCreator::createGridMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                core::IntrusivePointer<render::IndexBuffer> indexBuffer, float width,
                                float height, int nx, int ny)
{
    if (!countsValid(nx, ny) || !sizesValid(width, height)) {
        return nullptr;
    }
    const int indices = static_cast<int>(indexCount(nx, ny));
    if (!lock(vertexBuffer.get(), int64_t(nx) * ny, indexBuffer.get(), indices)) {
        return nullptr;
    }

    const auto [position, normal, texCoord] = findElements(vertexBuffer.get());
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            const int v = y * nx + x;
            if (position >= 0) {
                vertexAccessor.set3(v, position, (float(x) * width) / float(nx - 1) - width * 0.5f,
                                    (float(y) * height) / float(ny - 1) - height * 0.5f, 0.0f);
            }
            if (normal >= 0) {
                vertexAccessor.set3(v, normal, 0.0f, 0.0f, 1.0f);
            }
            if (texCoord >= 0) {
                vertexAccessor.set2(v, texCoord, float(x) / float(nx - 1), float(y) / float(ny - 1));
            }
        }
    }

    // Even bands run left to right, odd ones back; the last index of every band but the last is
    // repeated, which keeps the strip's winding in step at the turn.
    int i = 0;
    for (int r = 0; r + 1 < ny; ++r) {
        for (int k = 0; k < nx; ++k) {
            const int x = (r % 2 == 0) ? k : nx - 1 - k;
            indexAccessor.set(i++, static_cast<uint32_t>((r + 1) * nx + x));
            indexAccessor.set(i++, static_cast<uint32_t>(r * nx + x));
        }
        if (r + 2 < ny) {
            indexAccessor.set(i++, static_cast<uint32_t>(r % 2 == 0 ? r * nx + nx - 1 : r * nx));
        }
    }
    unlock();

    core::IntrusivePointer<Bound> bound = new Bound();
    bound->setBox(core::math::AABox(core::math::Vector3(-width / 2.0f, -height / 2.0f, 0.0f),
                                    core::math::Vector3(width / 2.0f, height / 2.0f, 0.0f)));
    return singleSubMeshMesh(
        vertexBuffer,
        new render::IndexData(render::IndexData::Primitive_TRIANGLE_STRIP, indexBuffer, 0, indices), bound);
}

} // namespace rezezaz::scene

#include "content/ProceduralMeshCreator.h"

#include "render/VertexData.h"
#include "render/VertexFormat.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"

#include <cmath>
#include <limits>

namespace rezezaz::scene {

namespace {

constexpr int USAGE_STATIC = 1;
constexpr int ACCESS_WRITE = 2;

bool countFits(int64_t count)
{
    return count >= 1 && count <= std::numeric_limits<int32_t>::max();
}

} // namespace

ProceduralMeshCreator::ProceduralMeshCreator(Engine* engine_) : engine(engine_) {}

ProceduralMeshCreator::~ProceduralMeshCreator()
{
    unlock();
}

core::IntrusivePointer<render::VertexBuffer>
ProceduralMeshCreator::createVertexBuffer(render::VertexFormat* format, int64_t count)
{
    if (!countFits(count) || format == nullptr) {
        return nullptr;
    }
    return engine->getBufferManager()->createVertexBuffer(USAGE_STATIC, ACCESS_WRITE, format,
                                                          static_cast<int>(count));
}

core::IntrusivePointer<render::IndexBuffer>
ProceduralMeshCreator::createIndexBuffer(render::IndexBuffer::IndexFormat format, int64_t count)
{
    if (!countFits(count)) {
        return nullptr;
    }
    return engine->getBufferManager()->createIndexBuffer(USAGE_STATIC, ACCESS_WRITE, format,
                                                         static_cast<int>(count));
}

bool ProceduralMeshCreator::lockVertices(render::VertexBuffer* buffer, int64_t needed)
{
    vertexAccessor.unlock();
    if (buffer == nullptr || buffer->getSize() < needed) {
        return false;
    }
    vertexAccessor.lock(buffer, buffer->getVertexFormat().get(), ACCESS_WRITE);
    if (vertexAccessor.data == nullptr) {
        vertexAccessor.unlock();
        return false;
    }
    return true;
}

bool ProceduralMeshCreator::lockIndices(render::IndexBuffer* buffer, int64_t needed)
{
    indexAccessor.unlock();
    if (buffer == nullptr || buffer->getSize() < needed) {
        return false;
    }
    indexAccessor.lock(buffer, buffer->getIndexFormat(), ACCESS_WRITE);
    if (indexAccessor.data == nullptr) {
        indexAccessor.unlock();
        return false;
    }
    return true;
}

void ProceduralMeshCreator::unlock()
{
    vertexAccessor.unlock();
    indexAccessor.unlock();
}

bool ProceduralMeshCreator::lock(render::VertexBuffer* vertices, int64_t neededVertices,
                                 render::IndexBuffer* indices, int64_t neededIndices)
{
    if (!lockVertices(vertices, neededVertices)) {
        return false;
    }
    if (!lockIndices(indices, neededIndices)) {
        unlock();
        return false;
    }
    return true;
}

ProceduralMeshCreator::Elements ProceduralMeshCreator::findElements(render::VertexBuffer* buffer)
{
    render::VertexFormat* format = buffer->getVertexFormat().get();
    return Elements{format->findElement(render::VertexFormat::Semantic_POSITION),
                    format->findElement(render::VertexFormat::Semantic_NORMAL),
                    format->findElement(render::VertexFormat::Semantic_TEXCOORD)};
}

float ProceduralMeshCreator::sine(float angle)
{
    return static_cast<float>(std::sin(static_cast<double>(angle)));
}

float ProceduralMeshCreator::cosine(float angle)
{
    return static_cast<float>(std::cos(static_cast<double>(angle)));
}

core::IntrusivePointer<Mesh>
ProceduralMeshCreator::singleSubMeshMesh(core::IntrusivePointer<render::VertexBuffer> vertexBuffer,
                                         core::IntrusivePointer<render::IndexData> indexData,
                                         core::IntrusivePointer<Bound> bound)
{
    core::IntrusivePointer<Mesh::SubMesh> subMesh = new Mesh::SubMesh();
    subMesh->indexData = indexData;
    core::IntrusivePointer<Mesh> mesh = new Mesh();
    mesh->addSubMesh(subMesh);
    mesh->setStaticVertexData(new render::VertexData(vertexBuffer));
    mesh->setBound(bound);
    return mesh;
}

core::IntrusivePointer<material::Material>
ProceduralMeshCreator::materialOrDefault(core::IntrusivePointer<material::Material> material)
{
    if (material) {
        return material;
    }
    return engine->createDiffuseMaterial(nullptr, nullptr);
}

void ProceduralMeshCreator::setFirstMaterial(Mesh* mesh, core::IntrusivePointer<material::Material> material)
{
    if (mesh != nullptr && mesh->getNumSubMeshes() > 0) {
        mesh->getSubMesh(0)->material = material;
    }
}

} // namespace rezezaz::scene

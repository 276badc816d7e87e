// Builds a mesh, its skeleton with key-frame sequences and its bone assignments from arbitrary bytes,
// as a file reader would fill them, and runs them through the mesh's bone bounds, a mesh component's
// setMesh, posing, skinning and the skeleton's debug drawing. Whatever the bytes say, no index may
// leave its list and no read may leave its buffer.
#include "content/EngineHandlers.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "render/IndexData.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexData.h"
#include "render/VertexFormat.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/Mesh.h"
#include "scene/MeshComponent.h"
#include "scene/Node.h"
#include "scene/Scene.h"
#include "scene/Sequence.h"
#include "scene/Skeleton.h"
#include "scene/SkeletonComponent.h"
#include "scene/Track.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Quaternion;
using rezezaz::core::math::Vector3;
using rezezaz::render::VertexFormat;
using namespace rezezaz::scene;

namespace {

// Takes values off the front of the input; past its end every value is 0.
class Input
{
public:
    Input(const uint8_t* data, size_t size) : data(data), size(size) {}

    void bytes(void* out, size_t count)
    {
        const size_t n = std::min(count, size - position);
        std::memcpy(out, data + position, n);
        std::memset(static_cast<uint8_t*>(out) + n, 0, count - n);
        position += n;
    }
    template <class T> T take()
    {
        T value;
        bytes(&value, sizeof value);
        return value;
    }
    float number() { return take<float>(); }
    Vector3 vector()
    {
        const float x = number(), y = number(), z = number();
        return Vector3(x, y, z);
    }
    Quaternion quaternion()
    {
        const float x = number(), y = number(), z = number(), w = number();
        return Quaternion(x, y, z, w);
    }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

Engine& engine()
{
    static Engine* const instance = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        Engine* e = new Engine(nullptr, nullptr);
        e->retain();
        e->setHasBackableFixed(true);
        installHandlers(*e);
        return e;
    }();
    return *instance;
}

// The formats made for one input; the buffer manager lists each until it is destroyed.
std::vector<IntrusivePointer<VertexFormat>> madeFormats;

const int FORMAT_TYPES[] = {VertexFormat::Type_FLOAT32, VertexFormat::Type_FIXED32, VertexFormat::Type_INT16,
                            VertexFormat::Type_UINT8};

// A format of up to three elements whose semantics, types and counts the input chooses.
IntrusivePointer<VertexFormat> makeFormat(Input& in)
{
    IntrusivePointer<VertexFormat> format = engine().getBufferManager()->createVertexFormat();
    const int elements = 1 + in.take<uint8_t>() % 3;
    for (int e = 0; e < elements; ++e) {
        const uint8_t code = in.take<uint8_t>();
        const int semantic = (code & 7) == 7 ? 7 : (code & 7) % 7;
        const int type = FORMAT_TYPES[(code >> 3) & 3];
        const int count = 1 + ((code >> 5) & 3);
        format->addElement(semantic, 0, VertexFormat::makeFormat(type, count));
    }
    madeFormats.push_back(format);
    return format;
}

IntrusivePointer<Track> makeTrack(Input& in)
{
    const uint8_t choice = in.take<uint8_t>();
    IntrusivePointer<VertexFormat> format;
    if (choice % 3 == 0) {
        format = engine().getVertexFormats().POSITION_SEMANTIC7_SEMANTIC6;
    } else if (choice % 3 == 1) {
        format = engine().getVertexFormats().COLOR;
    } else {
        format = makeFormat(in);
    }
    IntrusivePointer<Track> track(new Track(format.get()));
    track->index = in.take<int8_t>();
    const int keys = in.take<uint8_t>() % 12;
    std::vector<uint8_t> record(static_cast<size_t>(format->getVertexSize()));
    for (int k = 0; k < keys; ++k) {
        const float time = in.number();
        in.bytes(record.data(), record.size());
        track->addKeyFrame(time, (choice & 0x80) != 0 ? nullptr : record.data());
    }
    if ((choice & 0x40) != 0) {
        track->compile();
    }
    return track;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16)) {
        return 0;
    }
    Input in(data, size);
    Engine& e = engine();

    // The static vertices, raw.
    IntrusivePointer<VertexFormat> format = makeFormat(in);
    const int vertices = in.take<uint16_t>() % 600;
    IntrusivePointer<rezezaz::render::VertexBuffer> buffer =
        e.getBufferManager()->createVertexBuffer(1, 3, format, vertices);
    if (!buffer) {
        format->destroy();
        madeFormats.clear();
        return 0;
    }
    if (unsigned char* bytes = buffer->lock(2)) {
        in.bytes(bytes, static_cast<size_t>(buffer->getDataSize()));
    }
    buffer->unlock();

    // The skeleton: any parent index, any pose, any sequences.
    IntrusivePointer<Skeleton> skeleton(new Skeleton());
    const int bones = in.take<uint8_t>() % 40;
    for (int b = 0; b < bones; ++b) {
        IntrusivePointer<Skeleton::Bone> bone(new Skeleton::Bone());
        bone->index = b;
        bone->parentIndex = in.take<int8_t>();
        bone->translate = in.vector();
        bone->rotate = in.quaternion();
        bone->worldToBoneTranslate = in.vector();
        bone->worldToBoneRotate = in.quaternion();
        bone->bound.minimum = in.vector();
        bone->bound.maximum = in.vector();
        skeleton->addBone(bone.get());
    }
    const uint8_t skeletonFlags = in.take<uint8_t>();
    if ((skeletonFlags & 1) != 0) {
        skeleton->compile();
    }
    const int sequences = (skeletonFlags >> 1) % 4;
    for (int s = 0; s < sequences; ++s) {
        IntrusivePointer<Sequence> sequence(new Sequence());
        const int tracks = in.take<uint8_t>() % (bones + 3);
        for (int t = 0; t < tracks; ++t) {
            sequence->addTrack((in.take<uint8_t>() & 7) == 0 ? nullptr : makeTrack(in).get());
        }
        sequence->removeTrack(in.take<int8_t>());
        if ((skeletonFlags & 0x40) != 0) {
            sequence->compile();
        }
        skeleton->addSequence(sequence.get());
    }

    // The assignment lists: any count, any bone, any weight.
    rezezaz::core::Collection<Mesh::BoneAssignmentList> lists;
    const int listCount = in.take<uint16_t>() % 700;
    lists.resize(listCount);
    for (int i = 0; i < listCount; ++i) {
        const int n = in.take<uint8_t>() % 4;
        for (int a = 0; a < n; ++a) {
            Mesh::VertexBoneAssignment assignment;
            assignment.bone = in.take<uint16_t>() % 64;
            assignment.weight = in.number();
            lists[i].add(assignment);
        }
    }

    IntrusivePointer<Mesh> mesh(new Mesh());
    IntrusivePointer<Mesh::SubMesh> sub(new Mesh::SubMesh());
    sub->indexData = new rezezaz::render::IndexData(rezezaz::render::IndexData::Primitive_TRIANGLES, nullptr, 0, vertices);
    mesh->addSubMesh(sub);
    mesh->setStaticVertexData(new rezezaz::render::VertexData(buffer));
    mesh->setVertexBoneAssignments(lists);
    mesh->setSkeleton(skeleton);
    mesh->compileBoneBounds();

    IntrusivePointer<Scene> scene(new Scene(&e, 0.001f));
    IntrusivePointer<Node> node(new Node(scene.get()));
    scene->getRoot()->attach(node.get());
    IntrusivePointer<MeshComponent> component(new MeshComponent(&e));
    node->attach(component.get());
    component->setMesh(mesh.get());
    SkeletonComponent* posed = component->getSkeleton();
    const int frames = 1 + in.take<uint8_t>() % 4;
    for (int f = 0; f < frames && posed != nullptr; ++f) {
        const uint8_t step = in.take<uint8_t>();
        rezezaz::scene::action::Animation* animation = posed->getAnimation(step % 5);
        if (animation != nullptr) {
            animation->setValue(in.number());
            animation->setWeight(in.number());
            animation->setScope(in.take<int8_t>());
        }
        if ((step & 0x20) != 0) {
            posed->setBoneScope(in.take<int8_t>(), in.take<int8_t>(), (step & 0x40) != 0);
        }
        if (SkeletonComponent::Bone* bone = posed->getBone(in.take<uint8_t>() % 48)) {
            bone->keepFlags = in.take<uint8_t>() & 7;
        }
        if ((step & 0x80) != 0) {
            posed->setRenderSkeleton((f & 1) == 0);
        }
        scene->update(33);
    }
    if (posed != nullptr) {
        Transform attachment;
        posed->getAttachmentTransform(&attachment, in.take<int8_t>());
    }
    component->setMesh(mesh.get());
    component->destroy();
    scene->destroy();
    mesh->destroy();
    for (const IntrusivePointer<VertexFormat>& made : madeFormats) {
        made->destroy();
    }
    madeFormats.clear();
    return 0;
}

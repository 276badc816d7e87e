#include "scene/Skeleton.h"

#include "core/math/Math.h"

namespace rezezaz::scene {

using core::math::Math;
using core::math::Quaternion;
using core::math::Vector3;

void Skeleton::destroy()
{
    sequences.clear();
    core::BaseResource::destroy();
}

void Skeleton::addBone(Bone* bone)
{
    bones.add(bone);
}

void Skeleton::addSequence(Sequence* sequence)
{
    sequences.add(sequence);
}

Skeleton::Bone* Skeleton::getBone(const core::String& name) const
{
    for (int i = 0; i < bones.size(); ++i) {
        if (bones[i] && bones[i]->name.equals(name)) {
            return bones[i].get();
        }
    }
    return nullptr;
}

int Skeleton::getParentIndex(int index) const
{
    if (index < 0 || index >= bones.size() || !bones[index]) {
        return -1;
    }
    const int parent = bones[index]->parentIndex;
    return parent >= 0 && parent < index && bones[parent] ? parent : -1;
}

void Skeleton::compile()
{
    for (int i = 0; i < bones.size(); ++i) {
        Bone* bone = bones[i].get();
        if (bone == nullptr) {
            continue;
        }
        Vector3 t = bone->translate;
        Quaternion r = bone->rotate;
        for (int p = getParentIndex(i); p >= 0; p = getParentIndex(p)) {
            const Bone* parent = bones[p].get();
            t = parent->rotate * t + parent->translate;
            r = parent->rotate * r;
        }
        const float norm = Math::dot(r, r);
        const Quaternion conjugate(-r.x, -r.y, -r.z, r.w);
        // A zero rotation has no inverse; it stays zero rather than becoming NaN.
        const Quaternion inverse = norm > 0.0f ? conjugate * (1.0f / norm) : conjugate;
        bone->worldToBoneRotate = inverse;
        bone->worldToBoneTranslate = -(inverse * t);
    }
}

} // namespace rezezaz::scene

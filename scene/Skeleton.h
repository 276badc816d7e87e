#pragma once

#include "core/BaseResource.h"
#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/String.h"
#include "core/math/AABox.h"
#include "core/math/Quaternion.h"
#include "core/math/Vector3.h"
#include "scene/Sequence.h"

#include <cstdint>

namespace rezezaz::scene {

// The shareable bone hierarchy of a skinned mesh: each bone's bind pose relative to its parent, the
// world-to-bone transform that carries a model-space point into the bone's space, a box around the
// bone's vertices in bone space, and the key-frame sequences that animate the bones. Held by its mesh;
// every skeleton component made over it reads it and never changes it. Owns its bones and sequences.
class Skeleton : public core::BaseResource
{
public:
    // One bone. A bone's place in the list is the index that bone assignments and tracks use; a bone
    // whose parent index does not name an earlier bone counts as a root.
    class Bone : public core::Object
    {
    public:
        Bone() = default;

        int32_t index = -1;
        int32_t parentIndex = -1;
        core::math::Vector3 translate{0.0f, 0.0f, 0.0f};
        core::math::Quaternion rotate{0.0f, 0.0f, 0.0f, 1.0f};
        // Kept and stored, not used by compile or skinning.
        core::math::Vector3 scale{1.0f, 1.0f, 1.0f};
        core::math::Vector3 worldToBoneTranslate{0.0f, 0.0f, 0.0f};
        core::math::Quaternion worldToBoneRotate{0.0f, 0.0f, 0.0f, 1.0f};
        core::math::AABox bound;
        core::String name;
    };

    Skeleton() = default;

    // Empties the sequences and tells the destroyed-listener; the bones stay until the skeleton goes.
    void destroy() override;

    // Appended as given: indices are neither checked nor assigned.
    void addBone(Bone* bone);
    void addSequence(Sequence* sequence);
    // The first bone of that name, or null.
    Bone* getBone(const core::String& name) const;
    // Recomputes every bone's world-to-bone transform from the bind pose.
    void compile();

    // The parent of the bone at position index, or -1 for a root: a parent index that does not name
    // an earlier bone (outside [0, index)) makes a root, so walking up always ends.
    int getParentIndex(int index) const;

    int getNumBones() const { return bones.size(); }
    int getNumSequences() const { return sequences.size(); }

    core::Collection<core::IntrusivePointer<Bone>> bones;
    core::Collection<core::IntrusivePointer<Sequence>> sequences;
};

} // namespace rezezaz::scene

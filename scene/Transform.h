#pragma once

#include "core/Object.h"
#include "core/math/Math.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Quaternion.h"
#include "core/math/Vector3.h"

namespace rezezaz::scene {

class TransformListener;

// A translate, per-axis scale and rotate, with a listener (not owned) that is told after every
// change made through the setters. Nodes hold their local and world transforms in these.
class Transform : public core::Object
{
public:
    Transform() = default;
    explicit Transform(TransformListener* listener) : listener(listener) {}

    core::math::Vector3 translate{0.0f, 0.0f, 0.0f};
    core::math::Vector3 scale{1.0f, 1.0f, 1.0f};
    core::math::Quaternion rotate = core::math::Math::IDENTITY_QUATERNION;
    TransformListener* listener = nullptr;

    void setTranslate(const core::math::Vector3& value);
    void setScale(const core::math::Vector3& value);
    void setRotate(const core::math::Quaternion& value);
    // Copies translate, scale and rotate of `source` (the identity when null).
    void set(const Transform* source);
    // This = parent combined with child: the child's frame placed inside the parent's.
    void setTransform(const Transform& parent, const Transform& child);
    void notify();
    // The matrix of this transform: rotate, each axis scaled, translate in the last column.
    core::math::Matrix4x4 getMatrix() const;
};

} // namespace rezezaz::scene

#include "scene/Transform.h"

#include "scene/TransformListener.h"

namespace rezezaz::scene {

using core::math::Vector3;

void Transform::setTranslate(const Vector3& value)
{
    translate = value;
    notify();
}

void Transform::setScale(const Vector3& value)
{
    scale = value;
    notify();
}

void Transform::setRotate(const core::math::Quaternion& value)
{
    rotate = value;
    notify();
}

void Transform::set(const Transform* source)
{
    if (source != nullptr) {
        translate = source->translate;
        scale = source->scale;
        rotate = source->rotate;
    } else {
        translate = Vector3(0.0f, 0.0f, 0.0f);
        scale = Vector3(1.0f, 1.0f, 1.0f);
        rotate = core::math::Math::IDENTITY_QUATERNION;
    }
    notify();
}

void Transform::setTransform(const Transform& parent, const Transform& child)
{
    // Read everything first: `this` may be `child`.
    const core::math::Quaternion childRotate = child.rotate;
    const Vector3 childScale = child.scale;
    const Vector3 turned = parent.rotate * child.translate;
    const Vector3 parentScale = parent.scale;
    const Vector3 parentTranslate = parent.translate;
    rotate = parent.rotate * childRotate;
    scale = Vector3(parentScale.x * childScale.x, parentScale.y * childScale.y, parentScale.z * childScale.z);
    translate = parentTranslate +
                Vector3(turned.x * parentScale.x, turned.y * parentScale.y, turned.z * parentScale.z);
    notify();
}

void Transform::notify()
{
    if (listener != nullptr) {
        listener->transformChanged(this);
    }
}

core::math::Matrix4x4 Transform::getMatrix() const
{
    const core::math::Quaternion& q = rotate;
    const Vector3& s = scale;
    core::math::Matrix4x4 m;
    float* d = m.data;
    d[0] = (1.0f - 2.0f * (q.y * q.y + q.z * q.z)) * s.x;
    d[1] = 2.0f * (q.x * q.y + q.w * q.z) * s.x;
    d[2] = 2.0f * (q.x * q.z - q.w * q.y) * s.x;
    d[4] = 2.0f * (q.x * q.y - q.w * q.z) * s.y;
    d[5] = (1.0f - 2.0f * (q.x * q.x + q.z * q.z)) * s.y;
    d[6] = 2.0f * (q.y * q.z + q.w * q.x) * s.y;
    d[8] = 2.0f * (q.x * q.z + q.w * q.y) * s.z;
    d[9] = 2.0f * (q.y * q.z - q.w * q.x) * s.z;
    d[10] = (1.0f - 2.0f * (q.x * q.x + q.y * q.y)) * s.z;
    d[12] = translate.x;
    d[13] = translate.y;
    d[14] = translate.z;
    return m;
}

} // namespace rezezaz::scene

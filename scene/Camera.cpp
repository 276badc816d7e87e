#include "scene/Camera.h"

#include "core/Error.h"
#include "core/math/Math.h"
#include "render/RenderDevice.h"
#include "scene/Arguments.h"
#include "scene/Bound.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/Scene.h"

#include <cmath>

namespace rezezaz::scene {

using core::math::Math;
using core::math::Matrix4x4;
using core::math::Vector3;
using core::math::Vector4;

Camera::Camera(Engine* engine)
{
    fov = 0.7853982f; // a quarter turn of pi
    Math::setMatrix4x4FromPerspectiveX(projectionMatrix, fov, 1.0f, 1.0f, 1000.0f);
    projectionUpdated();
    if (engine != nullptr && engine->getMaterialManager() != nullptr) {
        // The records start as drawing without blending, depth-tested, back faces culled, no fog.
        core::IntrusivePointer<render::RenderState> state = engine->getMaterialManager()->createRenderState();
        if (state) {
            state->setBlendState(render::BlendState());
            state->setDepthState(render::DepthState());
            state->setRasterizerState(render::RasterizerState());
            state->setFogState(render::FogState());
            state->setGeometryState(render::GeometryState());
            defaultState = state;
        }
    }
}

Camera::~Camera() = default;

void Camera::setRenderTarget(render::RenderTarget* target)
{
    renderTarget = target;
    if (target != nullptr) {
        viewport = render::Viewport{0, 0, target->getWidth(), target->getHeight(), false};
    } else {
        viewport = render::Viewport{0, 0, 0, 0, false};
    }
}

void Camera::setAutoProjectionFov(float newFov, bool newLargerSide, float newNear, float newFar)
{
    projectionType = ProjectionType_AUTO_FOV;
    fov = newFov;
    aspect = 1.0f;
    left = right_ = bottom = top = 0.0f;
    nearDist = newNear;
    farDist = newFar;
    largerSide = newLargerSide;
    Math::setMatrix4x4FromPerspectiveX(projectionMatrix, fov, 1.0f, nearDist, farDist);
    projectionUpdated();
}

void Camera::setProjectionFovX(float newFov, float newAspect, float newNear, float newFar)
{
    projectionType = ProjectionType_FOV_X;
    fov = newFov;
    aspect = newAspect;
    left = right_ = bottom = top = 0.0f;
    nearDist = newNear;
    farDist = newFar;
    Math::setMatrix4x4FromPerspectiveX(projectionMatrix, fov, aspect, nearDist, farDist);
    projectionUpdated();
}

void Camera::setProjectionFovY(float newFov, float newAspect, float newNear, float newFar)
{
    projectionType = ProjectionType_FOV_Y;
    fov = newFov;
    aspect = newAspect;
    left = right_ = bottom = top = 0.0f;
    nearDist = newNear;
    farDist = newFar;
    Math::setMatrix4x4FromPerspectiveY(projectionMatrix, fov, aspect, nearDist, farDist);
    projectionUpdated();
}

void Camera::setProjectionOrtho(float l, float r, float b, float t, float n, float f)
{
    setProjectionPlanes(ProjectionType_ORTHO, l, r, b, t, n, f);
    Math::setMatrix4x4FromOrtho(projectionMatrix, l, r, b, t, n, f);
    projectionUpdated();
}

void Camera::setProjectionFrustum(float l, float r, float b, float t, float n, float f)
{
    setProjectionPlanes(ProjectionType_FRUSTUM, l, r, b, t, n, f);
    Math::setMatrix4x4FromFrustum(projectionMatrix, l, r, b, t, n, f);
    projectionUpdated();
}

void Camera::setProjectionPlanes(ProjectionType type, float l, float r, float b, float t, float n, float f)
{
    projectionType = type;
    fov = aspect = 0.0f;
    left = l;
    right_ = r;
    bottom = b;
    top = t;
    nearDist = n;
    farDist = f;
}

void Camera::setProjectionMatrix(const Matrix4x4& matrix)
{
    projectionType = ProjectionType_MATRIX;
    fov = aspect = 0.0f;
    left = right_ = bottom = top = 0.0f;
    nearDist = farDist = 0.0f;
    projectionMatrix = matrix;
    projectionUpdated();
}

void Camera::setObliqueNearPlaneMatrix(const Matrix4x4& matrix)
{
    obliqueMatrix = matrix;
    projectionUpdated();
}

void Camera::setNearAndFarDist(float newNear, float newFar)
{
    nearDist = newNear;
    farDist = newFar;
    switch (projectionType) {
    case ProjectionType_AUTO_FOV:
        aspect = 1.0f;
        Math::setMatrix4x4FromPerspectiveX(projectionMatrix, fov, 1.0f, nearDist, farDist);
        break;
    case ProjectionType_FOV_X:
        Math::setMatrix4x4FromPerspectiveX(projectionMatrix, fov, aspect, nearDist, farDist);
        break;
    case ProjectionType_FOV_Y:
        Math::setMatrix4x4FromPerspectiveY(projectionMatrix, fov, aspect, nearDist, farDist);
        break;
    case ProjectionType_ORTHO:
        Math::setMatrix4x4FromOrtho(projectionMatrix, left, right_, bottom, top, nearDist, farDist);
        break;
    case ProjectionType_FRUSTUM:
        Math::setMatrix4x4FromFrustum(projectionMatrix, left, right_, bottom, top, nearDist, farDist);
        break;
    default:
        core::Error::unimplemented(core::String(""), true,
                                   core::String("projection type does not support adjusting near and far"));
    }
    projectionUpdated();
}

void Camera::setLookAt(const Vector3& eye, const Vector3& point, const Vector3& upVector)
{
    Math::setMatrix4x4FromLookAt(worldMatrix, eye, point, upVector, true);
    updateWorldTransform();
}

void Camera::setLookDir(const Vector3& eye, const Vector3& dir, const Vector3& upVector)
{
    Math::setMatrix4x4FromLookDir(worldMatrix, eye, dir, upVector, true);
    updateWorldTransform();
}

void Camera::setWorldMatrix(const Matrix4x4& matrix)
{
    worldMatrix = matrix;
    updateWorldTransform();
}

void Camera::setPosition(const Vector3& value)
{
    worldMatrix.data[12] = value.x;
    worldMatrix.data[13] = value.y;
    worldMatrix.data[14] = value.z;
    updateWorldTransform();
}

void Camera::projectionUpdated()
{
    finalProjectionMatrix = projectionMatrix;
    if (obliqueMatrix != Math::IDENTITY_MATRIX4X4) {
        Matrix4x4 m;
        Math::mul(m, finalProjectionMatrix, obliqueMatrix);
        Matrix4x4 inverse;
        Math::invert(inverse, m);
        Math::transpose(m, inverse);
        Vector4 v;
        Math::mul(v, m, Vector4(0.0f, 0.0f, -1.0f, 0.0f));
        const int s = static_cast<int>(std::fabs(v.z));
        if (s != 0) {
            v = Vector4(v.x / s, v.y / s, v.z / s, v.w / s);
        }
        v.w -= 1.0f;
        if (v.z < 0.0f) {
            v = Vector4(-v.x, -v.y, -v.z, -v.w);
        }
        Matrix4x4 t;
        t.data[2] = v.x;
        t.data[6] = v.y;
        t.data[10] = v.z;
        t.data[14] = v.w;
        Math::preMul(finalProjectionMatrix, t);
    }
    updateWorldTransform();
}

static Vector3 rotateByMatrix(const Matrix4x4& m, const Vector3& v)
{
    const float* d = m.data;
    return Vector3(d[0] * v.x + d[4] * v.y + d[8] * v.z, d[1] * v.x + d[5] * v.y + d[9] * v.z,
                   d[2] * v.x + d[6] * v.y + d[10] * v.z);
}

void Camera::updateWorldTransform()
{
    forward = rotateByMatrix(worldMatrix, Math::NEG_Z_UNIT_VECTOR3);
    right = rotateByMatrix(worldMatrix, Math::X_UNIT_VECTOR3);
    up = rotateByMatrix(worldMatrix, Math::Y_UNIT_VECTOR3);
    position = Vector3(worldMatrix.data[12], worldMatrix.data[13], worldMatrix.data[14]);
    Math::invert(viewMatrix, worldMatrix);
    Math::mul(viewProjectionMatrix, finalProjectionMatrix, viewMatrix);
    updateClippingPlanes();
}

void Camera::updateClippingPlanes()
{
    const float* d = viewProjectionMatrix.data;
    auto row = [d](int i) { return Vector4(d[i], d[4 + i], d[8 + i], d[12 + i]); };
    const Vector4 r0 = row(0), r1 = row(1), r2 = row(2), r3 = row(3);
    const Vector4 planes[6] = {r3 - r0, r3 + r0, r3 + r1, r3 - r1, r3 - r2, r3 + r2};
    for (int i = 0; i < 6; ++i) {
        const Vector4& p = planes[i];
        const float length = Math::length(Vector3(p.x, p.y, p.z));
        const float scale = length != 0.0f ? 1.0f / length : 1.0f;
        clippingPlanes[i] = core::math::Plane(Vector3(p.x * scale, p.y * scale, p.z * scale), p.w * scale);
    }
}

void Camera::render(render::RenderDevice* device, Scene* scene, Node* node)
{
    if (projectionType == ProjectionType_AUTO_FOV) {
        render::RenderTarget* target = renderTarget ? renderTarget.get() : device->getPrimaryRenderTarget();
        if (target != nullptr) {
            autoUpdateProjection(target);
        }
    }
    updateFramesPerSecond(static_cast<uint64_t>(static_cast<int64_t>(scene->getTime())));
    visibleCount = 0;
    scene->render(device, this, node);
}

void Camera::autoUpdateProjection(render::RenderTarget* target)
{
    const int w = target->getWidth();
    const int h = target->getHeight();
    if (w <= 0 || h <= 0) {
        // A target without area has no aspect; keep the last projection and viewport.
        return;
    }
    setViewport(render::Viewport{0, 0, w, h, false});
    if ((w >= h && !largerSide) || (h >= w && largerSide)) {
        Math::setMatrix4x4FromPerspectiveY(projectionMatrix, fov, static_cast<float>(w) / h, nearDist,
                                           farDist);
    } else {
        Math::setMatrix4x4FromPerspectiveX(projectionMatrix, fov, static_cast<float>(h) / w, nearDist,
                                           farDist);
    }
    projectionUpdated();
}

void Camera::updateFramesPerSecond(uint64_t time)
{
    const FrameEntry& oldest = frames[frameStart];
    const FrameEntry& newest = frames[(frameStart + FRAME_WINDOW - 1) % FRAME_WINDOW];
    const int64_t next = newest.frame + 1;
    const int32_t elapsed = static_cast<int32_t>(time - oldest.time);
    if (elapsed > 0) {
        // In float: a window shorter than a second still gives a rate.
        framesPerSecond = static_cast<float>(next - oldest.frame) / (static_cast<float>(elapsed) / 1000.0f);
    }
    frames[frameStart] = FrameEntry{time, next};
    frameStart = (frameStart + 1) % FRAME_WINDOW;
}

bool Camera::culled(const Bound* bound)
{
    requireArgument(bound, "Camera::culled: null bound");
    bool out;
    switch (bound->kind) {
    case Bound::Kind_EMPTY:
        return true;
    case Bound::Kind_BOX:
        out = !Math::testIntersection(bound->box, clippingPlanes, 6);
        break;
    case Bound::Kind_SPHERE:
        out = !Math::testIntersection(bound->sphere, clippingPlanes, 6);
        break;
    case Bound::Kind_INFINITE:
        out = false;
        break;
    default:
        core::Error::unimplemented(core::String(""), true, core::String("unknown bound type"));
    }
    if (!out) {
        ++visibleCount;
    }
    return out;
}

bool Camera::culled(const core::math::AABox& box) const
{
    return !Math::testIntersection(box, clippingPlanes, 6);
}

} // namespace rezezaz::scene

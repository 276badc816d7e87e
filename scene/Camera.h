#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/AABox.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Plane.h"
#include "core/math/Vector3.h"
#include "core/math/Vector4.h"
#include "render/RenderState.h"
#include "render/RenderTarget.h"
#include "render/Viewport.h"

#include <cstdint>

namespace rezezaz::render {
class RenderDevice;
}

namespace rezezaz::scene {

class Bound;
class Engine;
class Node;
class Scene;

// Everything needed to look into a scene: the projection, the world transform with the view and
// view-projection matrices and clipping planes derived from it, the render target and viewport,
// clear settings, the render state drawing starts from and a frames-per-second counter. `render`
// draws the scene through this camera once per frame.
class Camera : public core::Object
{
public:
    enum ProjectionType : int
    {
        ProjectionType_AUTO_FOV = 0,
        ProjectionType_FOV_X = 1,
        ProjectionType_FOV_Y = 2,
        ProjectionType_ORTHO = 3,
        ProjectionType_FRUSTUM = 4,
        ProjectionType_MATRIX = 5,
    };

    static constexpr int FRAME_WINDOW = 100;

    explicit Camera(Engine* engine = nullptr);
    ~Camera() override;

    virtual void setScope(int scope) { this->scope = scope; }
    virtual void setRenderTarget(render::RenderTarget* target);
    virtual void setViewport(const render::Viewport& viewport) { this->viewport = viewport; }
    virtual void setClearFlags(int flags) { clearFlags = flags; }
    virtual void setClearColor(const core::math::Vector4& color) { clearColor = color; }
    virtual void setSkipFirstClear(bool skip) { skipFirstClear = skip; }
    virtual void setDefaultState(render::RenderState* state) { defaultState = state; }
    virtual void render(render::RenderDevice* device, Scene* scene, Node* node);
    virtual void projectionUpdated();
    virtual void updateWorldTransform();
    virtual void updateClippingPlanes();
    virtual void autoUpdateProjection(render::RenderTarget* target);

    void setAutoProjectionFov(float fov, bool largerSide, float nearDist, float farDist);
    void setProjectionFovX(float fov, float aspect, float nearDist, float farDist);
    void setProjectionFovY(float fov, float aspect, float nearDist, float farDist);
    void setProjectionOrtho(float left, float right, float bottom, float top, float nearDist, float farDist);
    void setProjectionFrustum(float left, float right, float bottom, float top, float nearDist,
                              float farDist);
    void setProjectionMatrix(const core::math::Matrix4x4& matrix);
    void setObliqueNearPlaneMatrix(const core::math::Matrix4x4& matrix);
    void setNearAndFarDist(float nearDist, float farDist);
    void setLookAt(const core::math::Vector3& eye, const core::math::Vector3& point,
                   const core::math::Vector3& up);
    void setLookDir(const core::math::Vector3& eye, const core::math::Vector3& dir,
                    const core::math::Vector3& up);
    void setWorldMatrix(const core::math::Matrix4x4& matrix);
    void setPosition(const core::math::Vector3& position);

    // True when the bound lies wholly outside the view; counts the bounds that pass.
    bool culled(const Bound* bound);
    bool culled(const core::math::AABox& box) const;

    void updateFramesPerSecond(uint64_t time);

    int getScope() const { return scope; }
    int getProjectionType() const { return projectionType; }
    float getFov() const { return fov; }
    float getAspect() const { return aspect; }
    float getNearDist() const { return nearDist; }
    float getFarDist() const { return farDist; }
    bool getLargerSide() const { return largerSide; }
    render::RenderTarget* getRenderTarget() const { return renderTarget.get(); }
    const render::Viewport& getViewport() const { return viewport; }
    int getClearFlags() const { return clearFlags; }
    const core::math::Vector4& getClearColor() const { return clearColor; }
    bool getSkipFirstClear() const { return skipFirstClear; }
    // Whether a face-the-camera piece without an axis of its own turns about the camera's up vector.
    void setAlignment(bool alignment) { this->alignment = alignment; }
    bool getAlignment() const { return alignment; }
    render::RenderState* getDefaultState() const { return defaultState.get(); }
    const core::math::Matrix4x4& getProjectionMatrix() const { return projectionMatrix; }
    const core::math::Matrix4x4& getFinalProjectionMatrix() const { return finalProjectionMatrix; }
    const core::math::Matrix4x4& getViewMatrix() const { return viewMatrix; }
    const core::math::Matrix4x4& getViewProjectionMatrix() const { return viewProjectionMatrix; }
    const core::math::Matrix4x4& getWorldMatrix() const { return worldMatrix; }
    const core::math::Plane* getClippingPlanes() const { return clippingPlanes; }
    const core::math::Vector3& getForward() const { return forward; }
    const core::math::Vector3& getRight() const { return right; }
    const core::math::Vector3& getUp() const { return up; }
    const core::math::Vector3& getPosition() const { return position; }
    float getFramesPerSecond() const { return framesPerSecond; }
    int getVisibleCount() const { return visibleCount; }

private:
    struct FrameEntry
    {
        uint64_t time = 0;
        int64_t frame = 0;
    };

    // The plane distances of an ortho or frustum projection, with the type they belong to.
    void setProjectionPlanes(ProjectionType type, float l, float r, float b, float t, float n, float f);

    int scope = -1;
    int projectionType = ProjectionType_AUTO_FOV;
    float fov = 0.0f;
    float aspect = 1.0f;
    float left = 0.0f;
    float right_ = 0.0f;
    float bottom = 0.0f;
    float top = 0.0f;
    float nearDist = 1.0f;
    float farDist = 1000.0f;
    core::IntrusivePointer<render::RenderTarget> renderTarget;
    render::Viewport viewport{0, 0, 0, 0, true};
    int clearFlags = 3;
    core::math::Vector4 clearColor;
    bool skipFirstClear = false;
    bool largerSide = false;
    bool alignment = false;
    core::IntrusivePointer<render::RenderState> defaultState;
    core::math::Matrix4x4 projectionMatrix;
    core::math::Matrix4x4 obliqueMatrix;
    core::math::Matrix4x4 finalProjectionMatrix;
    core::math::Matrix4x4 viewMatrix;
    core::math::Matrix4x4 viewProjectionMatrix;
    core::math::Matrix4x4 worldMatrix;
    core::math::Plane clippingPlanes[6];
    core::math::Vector3 forward;
    core::math::Vector3 right;
    core::math::Vector3 up;
    core::math::Vector3 position;
    // The last FRAME_WINDOW frames, oldest at `frameStart`.
    FrameEntry frames[FRAME_WINDOW];
    int frameStart = 0;
    float framesPerSecond = 0.0f;
    int visibleCount = 0;
};

} // namespace rezezaz::scene

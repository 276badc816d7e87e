#pragma once

#include "core/IntrusivePointer.h"
#include "scene/BaseComponent.h"
#include "scene/Camera.h"
#include "scene/Spacial.h"

namespace rezezaz::scene {

// Ties a camera to a node: the camera follows the node's world transform, and on request the node
// is moved to where the camera is. Holds a reference to its camera.
class CameraComponent : public BaseComponent, public Spacial
{
public:
    explicit CameraComponent(Camera* camera);
    ~CameraComponent() override;

    const core::Type<Component>* getType() const override;
    void parentChanged(Node* parent) override;

    Transform* getTransform() override { return nullptr; }
    Bound* getBound() override { return nullptr; }
    Transform* getWorldTransform() override { return nullptr; }
    Bound* getWorldBound() override { return nullptr; }
    void transformChanged(Transform* transform) override;

    void setCameraFromTransform();
    void setTransformFromCamera();
    Camera* getCamera() const { return camera.get(); }

private:
    core::IntrusivePointer<Camera> camera;
};

} // namespace rezezaz::scene

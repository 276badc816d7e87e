#include "scene/CameraComponent.h"

#include "core/NonInstantiableType.h"
#include "scene/Node.h"

namespace rezezaz::scene {

CameraComponent::CameraComponent(Camera* camera) : camera(camera) {}

CameraComponent::~CameraComponent() = default;

const core::Type<Component>* CameraComponent::getType() const
{
    static const core::NonInstantiableType<CameraComponent, Component> type{core::String("CameraComponent")};
    return &type;
}

void CameraComponent::parentChanged(Node* newParent)
{
    if (parent != nullptr) {
        parent->spacialRemoved(this);
    }
    BaseComponent::parentChanged(newParent);
    if (parent != nullptr) {
        parent->spacialAttached(this);
    }
}

void CameraComponent::transformChanged(Transform*)
{
    setCameraFromTransform();
}

void CameraComponent::setCameraFromTransform()
{
    if (parent == nullptr) {
        return;
    }
    camera->setWorldMatrix(parent->getWorldTransform()->getMatrix());
}

void CameraComponent::setTransformFromCamera()
{
    if (parent == nullptr) {
        return;
    }
    parent->setMatrix4x4(camera->getWorldMatrix());
}

} // namespace rezezaz::scene

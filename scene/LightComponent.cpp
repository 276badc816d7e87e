#include "scene/LightComponent.h"

#include "core/NonInstantiableType.h"
#include "scene/Node.h"

#include <cstring>

namespace rezezaz::scene {

using core::math::Vector3;
using core::math::Vector4;

render::LightState LightComponent::defaultLightState()
{
    render::LightState state;
    state.type = render::LightState::Type_DIRECTION;
    state.specularColor = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
    state.diffuseColor = Vector4(1.0f, 1.0f, 1.0f, 1.0f);
    state.constantAttenuation = 1.0f;
    state.linearAttenuation = 0.0f;
    state.quadraticAttenuation = 0.0f;
    state.spotInnerRadius = 0.0f;
    state.spotOuterRadius = 3.1415927f;
    state.spotFalloff = 1.0f;
    const uint32_t largestBits = 0x5F7FFFFFu;
    std::memcpy(&state.radius, &largestBits, sizeof(state.radius));
    state.position = Vector3(0.0f, 0.0f, 0.0f);
    state.direction = Vector3(0.0f, 0.0f, -1.0f);
    return state;
}

LightComponent::LightComponent() : bound(new Bound()), worldBound(new Bound())
{
    setLightState(defaultLightState());
}

LightComponent::~LightComponent() = default;

const core::Type<Component>* LightComponent::getType() const
{
    static const core::NonInstantiableType<LightComponent, Component> type{core::String("LightComponent")};
    return &type;
}

void LightComponent::setLightState(const render::LightState& state)
{
    direction = state.direction;
    lightState = state;
    if (state.type == render::LightState::Type_DIRECTION) {
        bound->setInfinite();
    } else {
        bound->setSphere(core::math::Sphere(Vector3(0.0f, 0.0f, 0.0f), state.radius));
    }
}

void LightComponent::setDirection(const Vector3& value)
{
    direction = value;
    lightState.direction = value;
}

void LightComponent::parentChanged(Node* newParent)
{
    if (parent != nullptr) {
        parent->spacialRemoved(this);
        parent->lightRemoved(this);
    }
    BaseComponent::parentChanged(newParent);
    if (parent != nullptr) {
        parent->spacialAttached(this);
        parent->lightAttached(this);
    }
}

void LightComponent::transformChanged(Transform*)
{
    if (parent == nullptr) {
        return;
    }
    const Transform* world = parent->getWorldTransform();
    lightState.position = world->translate;
    lightState.direction = world->rotate * direction;
    worldBound->transform(*bound, *world);
}

} // namespace rezezaz::scene

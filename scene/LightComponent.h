#pragma once

#include "core/IntrusivePointer.h"
#include "core/math/Vector3.h"
#include "render/LightState.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Spacial.h"

namespace rezezaz::scene {

// Puts a light into a node: keeps the light state's position and direction in step with the
// node's world transform and gives the light a bound of its reach. Owned by its node.
class LightComponent : public BaseComponent, public Spacial
{
public:
    LightComponent();
    ~LightComponent() override;

    const core::Type<Component>* getType() const override;
    void parentChanged(Node* parent) override;
    bool getActive() override { return false; }

    Transform* getTransform() override { return nullptr; }
    Bound* getBound() override { return bound.get(); }
    Transform* getWorldTransform() override { return nullptr; }
    Bound* getWorldBound() override { return worldBound.get(); }
    void transformChanged(Transform* transform) override;

    void setLightState(const render::LightState& state);
    const render::LightState& getLightState() const { return lightState; }
    void setDirection(const core::math::Vector3& direction);
    const core::math::Vector3& getDirection() const { return direction; }
    // A disabled light is not queued and so lights nothing.
    void setEnabled(bool enabled) { this->enabled = enabled; }
    bool getEnabled() const { return enabled; }

    static render::LightState defaultLightState();

private:
    bool enabled = true;
    core::math::Vector3 direction{0.0f, 0.0f, -1.0f};
    render::LightState lightState;
    core::IntrusivePointer<Bound> bound;
    core::IntrusivePointer<Bound> worldBound;
};

} // namespace rezezaz::scene

#include "scene/BaseComponent.h"

#include "core/NonInstantiableType.h"
#include "scene/Node.h"

namespace rezezaz::scene {

void BaseComponent::destroy()
{
    if (parent != nullptr) {
        parent->remove(this);
    }
}

const core::Type<Component>* BaseComponent::getType() const
{
    static const core::NonInstantiableType<BaseComponent, Component> type{core::String("")};
    return &type;
}

void BaseComponent::parentChanged(Node* newParent)
{
    if (parent != nullptr) {
        notifyParentRemoved();
    }
    parent = newParent;
    if (parent != nullptr) {
        notifyParentAttached();
    }
    Node* newRoot = parent != nullptr ? parent->getRoot() : nullptr;
    if (newRoot != root) {
        rootChanged(newRoot);
    }
}

void BaseComponent::notifyParentAttached()
{
    parent->componentAttached(this);
}

void BaseComponent::notifyParentRemoved()
{
    parent->componentRemoved(this);
}

} // namespace rezezaz::scene

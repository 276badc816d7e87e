#include "scene/Node.h"

#include "core/InstantiableType.h"
#include "core/math/Math.h"
#include "scene/ActionComponent.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/NodeManager.h"
#include "scene/PartitionNode.h"
#include "scene/RenderableSet.h"
#include "scene/Scene.h"
#include "scene/Spacial.h"
#include "scene/Visible.h"

#include <cmath>
#include <typeinfo>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::math::Math;
using core::math::Quaternion;
using core::math::Vector3;

Node::Node(Scene* scene)
    : transform(new Transform(this)), worldTransform(new Transform()), bound(new Bound()),
      worldBound(new Bound())
{
    if (scene != nullptr) {
        create(scene);
    }
}

Node::~Node() = default;

void Node::create(Scene* newScene)
{
    scene = newScene;
    engine = newScene != nullptr ? newScene->getEngine() : nullptr;
    if (newScene != nullptr && newScene->getNodeManager() != nullptr) {
        newScene->getNodeManager()->nodeCreated(this);
    }
}

const core::Type<Component>* Node::getType() const
{
    static const core::InstantiableType<Node, Component> type{core::String("Node")};
    return &type;
}

void Node::destroy()
{
    destroyAllChildren();
    if (scene && scene->getNodeManager() != nullptr) {
        scene->getNodeManager()->nodeDestroyed(this);
    }
    BaseComponent::destroy();
}

// Each entry removes itself from its list when destroyed. One that stays is removed here so that
// the loop ends; the hold keeps an entry alive while it takes itself out.
template <class T> static void destroyEach(core::Collection<IntrusivePointer<T>>& list)
{
    while (list.size() > 0) {
        IntrusivePointer<T> entry = list[0];
        entry->destroy();
        if (list.size() > 0 && list[0] == entry) {
            list.remove(entry.get());
        }
    }
}

void Node::destroyAllChildren()
{
    destroyEach(components);
    destroyEach(nodes);
}

void Node::parentChanged(Node* newParent)
{
    Node* oldRoot = root;
    BaseComponent::parentChanged(newParent);
    if (root != nullptr && root == oldRoot) {
        for (int i = 0; i < components.size(); ++i) {
            components[i]->rootChanged(root);
        }
    }
}

void Node::rootChanged(Node* newRoot)
{
    root = newRoot;
    for (int i = 0; i < components.size(); ++i) {
        components[i]->rootChanged(newRoot);
    }
    for (int i = 0; i < nodes.size(); ++i) {
        nodes[i]->rootChanged(newRoot);
    }
}

void Node::notifyParentAttached()
{
    parent->nodeAttached(this);
}

void Node::notifyParentRemoved()
{
    parent->nodeRemoved(this);
}

bool Node::attach(Component* component)
{
    IntrusivePointer<Component> hold(component);
    component->parentChanged(this);
    if (!active) {
        activate();
    }
    return true;
}

bool Node::remove(Component* component)
{
    IntrusivePointer<Component> hold(component);
    component->parentChanged(nullptr);
    if (!active) {
        activate();
    }
    return true;
}

void Node::componentAttached(Component* component)
{
    unsettle();
    components.add(IntrusivePointer<Component>(component));
    addBusy(1);
}

void Node::componentRemoved(Component* component)
{
    if (components.remove(component)) {
        addBusy(-1);
    }
}

void Node::nodeAttached(Node* node)
{
    unsettle();
    nodes.add(IntrusivePointer<Node>(node));
    node->plainKind = node->isPlainKind();
    if (node->busyInParent() != 0) {
        addBusy(node->busyInParent());
    }
    // Place the child at once and count it in this subtree's bound, so that a subtree attached
    // under a still node is neither misplaced nor culled until something moves.
    node->transformChanged(worldTransform.get());
    boundChanged();
}

void Node::nodeRemoved(Node* node)
{
    IntrusivePointer<Node> hold(node);
    if (nodes.remove(node)) {
        if (node->busyInParent() != 0) {
            addBusy(-node->busyInParent());
        }
        boundChanged();
    }
}

Component* Node::getChild(const core::String& childName) const
{
    for (int i = 0; i < components.size(); ++i) {
        if (components[i]->getName().equals(childName)) {
            return components[i].get();
        }
    }
    return getNode(childName);
}

Component* Node::getChild(const core::Type<Component>* type) const
{
    if (type == nullptr || type->getFullName().equals("")) {
        return nullptr;
    }
    for (int i = 0; i < components.size(); ++i) {
        if (components[i]->getType()->getFullName().equals(type->getFullName())) {
            return components[i].get();
        }
    }
    return getNode(type);
}

Node* Node::getNode(const core::String& nodeName) const
{
    for (int i = 0; i < nodes.size(); ++i) {
        if (nodes[i]->getName().equals(nodeName)) {
            return nodes[i].get();
        }
    }
    return nullptr;
}

Node* Node::getNode(const core::Type<Component>* type) const
{
    if (type == nullptr || type->getFullName().equals("")) {
        return nullptr;
    }
    for (int i = 0; i < nodes.size(); ++i) {
        if (nodes[i]->getType()->getFullName().equals(type->getFullName())) {
            return nodes[i].get();
        }
    }
    return nullptr;
}

void Node::actionAttached(ActionComponent* action)
{
    actions.add(action);
}

void Node::actionRemoved(ActionComponent* action)
{
    actions.remove(action);
}

ActionComponent* Node::getAction(const core::String& actionName) const
{
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->getName().equals(actionName)) {
            return actions[i];
        }
    }
    return nullptr;
}

void Node::startAction(const core::String& actionName)
{
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->getName().equals(actionName)) {
            actions[i]->start();
        }
    }
}

void Node::stopAction(const core::String& actionName)
{
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->getName().equals(actionName)) {
            actions[i]->stop();
        }
    }
}

void Node::stopAllActions()
{
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->getActive()) {
            actions[i]->stop();
        }
    }
}

bool Node::getActionActive(const core::String& actionName) const
{
    ActionComponent* action = getAction(actionName);
    return action != nullptr && action->getActive();
}

void Node::spacialAttached(Spacial* spacial)
{
    spacials.add(spacial);
    spacial->transformChanged(spacial->getTransform());
    // Its bound is part of this subtree's from now on, not only after the next move.
    boundChanged();
}

void Node::spacialRemoved(Spacial* spacial)
{
    if (spacials.remove(spacial)) {
        boundChanged();
    }
}

void Node::visibleAttached(Visible* visible)
{
    visibles.add(visible);
}

void Node::visibleRemoved(Visible* visible)
{
    visibles.remove(visible);
}

void Node::animatableAttached(Animatable* animatable)
{
    animatables.add(animatable);
}

void Node::animatableRemoved(Animatable* animatable)
{
    animatables.remove(animatable);
}

void Node::lightAttached(LightComponent* light)
{
    lights.add(light);
}

void Node::lightRemoved(LightComponent* light)
{
    lights.remove(light);
}

void Node::setTranslate(const Vector3& translate)
{
    transform->setTranslate(translate);
}

void Node::setTranslate(float x, float y, float z)
{
    transform->setTranslate(Vector3(x, y, z));
}

void Node::setRotate(const Quaternion& rotate)
{
    transform->setRotate(rotate);
}

void Node::setRotate(const core::math::Matrix3x3& rotate)
{
    Quaternion q;
    Math::setQuaternionFromMatrix3x3(q, rotate);
    transform->setRotate(q);
}

void Node::setRotate(const Vector3& axis, float angle)
{
    const float s = std::sin(angle * 0.5f);
    transform->setRotate(Quaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)));
}

void Node::setScale(const Vector3& scale)
{
    transform->setScale(scale);
}

void Node::setScale(float x, float y, float z)
{
    transform->setScale(Vector3(x, y, z));
}

void Node::setScale(float scale)
{
    setScale(scale, scale, scale);
}

void Node::setMatrix4x4(const core::math::Matrix4x4& m)
{
    const float* d = m.data;
    transform->scale =
        Vector3(Math::length(Vector3(d[0], d[1], d[2])), Math::length(Vector3(d[4], d[5], d[6])),
                Math::length(Vector3(d[8], d[9], d[10])));
    Math::setQuaternionFromMatrix4x4(transform->rotate, m);
    transform->translate = Vector3(d[12], d[13], d[14]);
    transform->notify();
}

void Node::setTransform(const Transform* source)
{
    transform->set(source);
}

void Node::setBound(const Bound* source)
{
    bound->set(*source);
    boundChanged();
}

void Node::setStayActive(bool stayActive)
{
    if (stayActive) {
        activate();
        deactivateCount = -1;
    } else {
        deactivateCount = 0;
    }
}

void Node::activate()
{
    unsettle();
    activateChildren = true;
    if (deactivateCount > 0) {
        deactivateCount = 0;
    }
    if (active) {
        return;
    }
    active = true;
    if (parent != nullptr && !parent->getActive()) {
        parent->activate();
    }
}

void Node::deactivate()
{
    if (!active) {
        return;
    }
    active = false;
    deactivateCount = 0;
    for (int i = 0; i < nodes.size(); ++i) {
        nodes[i]->deactivate();
    }
}

void Node::tryDeactivate()
{
    if (deactivateCount < 0) {
        return;
    }
    if (anyActive) {
        deactivateCount = 0;
        return;
    }
    const int before = deactivateCount++;
    if (before > 3) {
        deactivate();
    }
}

void Node::logicUpdate(int dt, int updateScope)
{
    if (activateChildren) {
        for (int i = 0; i < nodes.size(); ++i) {
            nodes[i]->activate();
        }
        activateChildren = false;
    }
    anyActive = false;
    for (int i = 0; i < components.size(); ++i) {
        IntrusivePointer<Component> component = components[i];
        component->logicUpdate(dt, updateScope);
        anyActive = component->getActive() || anyActive;
    }
    for (int i = 0; i < nodes.size(); ++i) {
        // A settled child is asleep and its update would leave everything as it is: it adds no
        // activity and is not a candidate for sleep.
        if (nodes[i]->settled) {
            continue;
        }
        // Held through its update when something in it may take it out of the tree; a subtree of
        // plain nodes without components runs nothing that could.
        Node* node = nodes[i].get();
        IntrusivePointer<Node> hold(node->busyInParent() != 0 ? node : nullptr);
        node->logicUpdate(dt, updateScope);
        const bool nodeActive = node->getActive();
        anyActive = nodeActive || anyActive;
        if (nodeActive && (node->getScope() & updateScope) != 0) {
            node->tryDeactivate();
        }
    }
    trySettle();
}

bool Node::isPlainKind() const
{
    return typeid(*this) == typeid(Node) || typeid(*this) == typeid(PartitionNode);
}

void Node::trySettle()
{
    // Only this class's own update is known to do nothing more; a derived node may do more in its own.
    if (active || anyActive || activateChildren || components.size() > 0 || !isPlainKind()) {
        return;
    }
    for (int i = 0; i < nodes.size(); ++i) {
        if (!nodes[i]->settled) {
            return;
        }
    }
    settled = true;
}

void Node::frameUpdate(int dt, int updateScope)
{
    for (int i = 0; i < components.size(); ++i) {
        components[i]->frameUpdate(dt, updateScope);
    }
    for (int i = 0; i < nodes.size(); ++i) {
        // A subtree of plain nodes without components has nothing to run in its frame update.
        if (nodes[i]->busyInParent() != 0) {
            nodes[i]->frameUpdate(dt, updateScope);
        }
    }
}

bool Node::handleEvent(core::Event* event)
{
    bool handled = false;
    for (int i = 0; i < components.size(); ++i) {
        handled = components[i]->handleEvent(event) || handled;
    }
    for (int i = 0; i < nodes.size(); ++i) {
        handled = nodes[i]->handleEvent(event) || handled;
    }
    return handled;
}

void Node::transformChanged(Transform* changed)
{
    if (parent != nullptr) {
        worldTransform->setTransform(*parent->getWorldTransform(), *transform);
        worldScope = scope & parent->getWorldScope();
    } else {
        worldTransform->translate = transform->translate;
        worldTransform->scale = transform->scale;
        worldTransform->rotate = transform->rotate;
        worldScope = scope;
    }
    for (int i = 0; i < nodes.size(); ++i) {
        nodes[i]->transformChanged(worldTransform.get());
    }
    for (int i = 0; i < spacials.size(); ++i) {
        spacials[i]->transformChanged(worldTransform.get());
    }
    if (changed == transform.get()) {
        boundChanged();
    } else {
        calculateBound();
    }
}

void Node::boundChanged()
{
    calculateBound();
    if (parent != nullptr) {
        parent->nodeBoundChanged(this);
    }
}

void Node::nodeBoundChanged(Node*)
{
    // The merge waits for the next read of this world bound, so a frame that turns every child of a
    // node merges the children once, not once per turned child. The result is the same: the merge
    // always runs over the children's latest bounds, in their order.
    if (boundStale) {
        return;
    }
    boundStale = true;
    if (parent != nullptr) {
        parent->nodeBoundChanged(this);
    }
}

void Node::calculateBound()
{
    boundStale = false;
    Bound& world = *worldBound;
    const float epsilon = scene ? scene->getEpsilon() : 0.0f;
    // Merging a box into a box forms the sphere anew from the grown box, so only the sphere of the
    // last such merge is ever read: it is formed once, before a merge of another kind reads it and
    // at the end.
    world.transform(*bound, *worldTransform, false);
    bool sphereDue = world.kind == Bound::Kind_BOX;
    const auto add = [&world, &sphereDue, epsilon](const Bound& other) {
        if (world.kind == Bound::Kind_BOX && other.kind == Bound::Kind_BOX) {
            world.growBox(other.box);
            sphereDue = true;
            return;
        }
        if (sphereDue) {
            world.formBoxSphere();
            sphereDue = false;
        }
        world.merge(other, epsilon);
    };
    for (int i = 0; i < nodes.size(); ++i) {
        add(*nodes[i]->getWorldBound());
    }
    for (int i = 0; i < spacials.size(); ++i) {
        if (Bound* spacialBound = spacials[i]->getWorldBound()) {
            add(*spacialBound);
        }
    }
    if (sphereDue) {
        world.formBoxSphere();
    }
}

void Node::gatherRenderables(Camera* camera, RenderableSet* set)
{
    set->queueNode(this);
    for (int i = 0; i < nodes.size(); ++i) {
        Node* node = nodes[i].get();
        if ((node->getScope() & camera->getScope()) != 0 && !camera->culled(node->getWorldBound())) {
            node->gatherRenderables(camera, set);
        }
    }
    for (int i = 0; i < lights.size(); ++i) {
        if (lights[i]->getEnabled()) {
            set->queueLight(lights[i]);
        }
    }
    for (int i = 0; i < visibles.size(); ++i) {
        visibles[i]->gatherRenderables(camera, set);
    }
}

} // namespace rezezaz::scene

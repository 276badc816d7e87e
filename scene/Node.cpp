#include "scene/Node.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/InstantiableType.h"
#include "core/math/Math.h"
#include "scene/ActionComponent.h"
#include "scene/Arguments.h"
#include "scene/Camera.h"
#include "scene/Engine.h"
#include "scene/LightComponent.h"
#include "scene/NodeManager.h"
#include "scene/PartitionNode.h"
#include "scene/RenderableSet.h"
#include "scene/Scene.h"
#include "scene/Spacial.h"
#include "scene/Visible.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::math::Math;
using core::math::Quaternion;
using core::math::Vector3;

namespace {

// One step of a walk over a subtree: a node and the next of its children to visit.
struct Visit
{
    Node* node;
    int next;
};

// The list a walk keeps instead of recursing, so that a tree of any depth fits the thread's stack.
// The storage stays from walk to walk, so that an update or a gather takes no memory once the tree has
// been walked; a walk nested in another (a node of another kind walking its own subtree, or a
// component moving a node in its update) works above the outer walk's entries and leaves them as they
// were. Entries are reached by value or through back() anew after every call that may walk again.
template <class Entry> class WalkStack
{
public:
    WalkStack() : kept(storage()), base(kept.used) {}
    ~WalkStack()
    {
        // Entries left by an exception let go of what they hold.
        while (kept.used > base) {
            pop();
        }
    }
    WalkStack(const WalkStack&) = delete;
    WalkStack& operator=(const WalkStack&) = delete;

    bool empty() const { return kept.used == base; }
    std::size_t size() const { return kept.used - base; }
    Entry& back() { return kept.entries[kept.used - 1]; }
    void push(Entry entry)
    {
        if (kept.used == kept.entries.size()) {
            grow();
        }
        kept.entries[kept.used++] = std::move(entry);
    }
    void pop()
    {
        --kept.used;
        if constexpr (!std::is_trivially_destructible_v<Entry>) {
            kept.entries[kept.used] = Entry{};
        }
    }

private:
    // The entries in use are the first `used`; those past them are empty.
    struct Kept
    {
        std::vector<Entry> entries;
        std::size_t used = 0;
    };

    static Kept& storage()
    {
        thread_local Kept kept;
        return kept;
    }

    void grow() { kept.entries.resize(std::max<std::size_t>(256, kept.entries.size() * 2)); }

    Kept& kept;
    std::size_t base;
};

// How many more levels the walks on this thread may go down by recursion, which costs less than a
// list of their own, before they keep a list instead. Nested walks share the allowance, so however
// they nest, the recursion stays within a small part of the stack.
constexpr int recursionLevels = 1024;
thread_local int recursionLeft = recursionLevels;

// One level of recursion taken from the allowance while it lasts.
struct RecursionLevel
{
    RecursionLevel() { --recursionLeft; }
    ~RecursionLevel() { ++recursionLeft; }
    RecursionLevel(const RecursionLevel&) = delete;
    RecursionLevel& operator=(const RecursionLevel&) = delete;
};

} // namespace

template <class Enter, class Leave> void Node::walk(Node* root, Enter enter, Leave leave)
{
    walkBelow(root, enter, leave);
}

template <class Enter, class Leave> void Node::walkBelow(Node* node, Enter& enter, Leave& leave)
{
    // The list is read anew for each child: enter may change it.
    for (int i = 0; i < node->nodes.size(); ++i) {
        Node* child = node->nodes[i].get();
        if (!enter(node, child)) {
            continue;
        }
        if (recursionLeft > 0) {
            const RecursionLevel level;
            walkBelow(child, enter, leave);
        } else {
            walkListed(child, enter, leave);
        }
    }
    leave(node);
}

template <class Enter, class Leave> void Node::walkListed(Node* root, Enter& enter, Leave& leave)
{
    WalkStack<Visit> path;
    path.push({root, 0});
    while (!path.empty()) {
        // The entry is read anew each time: a walk in enter or leave may move the list's storage.
        Visit& top = path.back();
        if (top.next < top.node->nodes.size()) {
            Node* parent = top.node;
            Node* child = parent->nodes[top.next++].get();
            if (enter(parent, child)) {
                path.push({child, 0});
            }
            continue;
        }
        Node* done = top.node;
        path.pop();
        leave(done);
    }
}

Node::Node(Scene* scene)
    : worldTransform(this), transform(this, this), bound(this), worldBound(this)
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
    finishDestroy();
}

void Node::finishDestroy()
{
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
    // The nodes below in the order destroy takes them, without recursion: a node's components go when
    // it is reached, its own end comes once every node below it has gone. A node of another kind is
    // destroyed through its own destroy. Each node's children are taken off its list at once rather
    // than one by one from its front, which would move every later sibling down at each step.
    struct Level
    {
        IntrusivePointer<Node> node; // null for this node, which is not held (it may be in its last release)
        std::vector<IntrusivePointer<Node>> children;
        std::size_t next;
    };
    std::vector<Level> path;
    path.push_back({nullptr, takeChildren(), 0});
    while (!path.empty()) {
        Node* owner = path.back().node ? path.back().node.get() : this;
        if (path.back().next < path.back().children.size()) {
            const IntrusivePointer<Node> child = path.back().children[path.back().next++];
            if (child->plainKind) {
                destroyEach(child->components);
                path.push_back({child, child->takeChildren(), 0});
            } else {
                child->destroy();
                owner->childDestroyed(child.get());
            }
            continue;
        }
        // Nodes attached while the others went are destroyed too.
        if (owner->nodes.size() > 0) {
            path.back().children = owner->takeChildren();
            path.back().next = 0;
            continue;
        }
        const IntrusivePointer<Node> done = path.back().node;
        path.pop_back();
        if (done) {
            done->finishDestroy();
            (path.back().node ? path.back().node.get() : this)->childDestroyed(done.get());
        }
    }
}

std::vector<IntrusivePointer<Node>> Node::takeChildren()
{
    std::vector<IntrusivePointer<Node>> taken;
    taken.reserve(static_cast<std::size_t>(nodes.size()));
    for (int i = 0; i < nodes.size(); ++i) {
        taken.push_back(nodes[i]);
    }
    nodes.clear();
    if (!taken.empty()) {
        nodeBoundChanged(nullptr);
    }
    return taken;
}

void Node::childDestroyed(Node* child)
{
    // The child was off the list when it left this node, so its leaving took nothing from the counts.
    if (child->busyInParent() != 0) {
        addBusy(-child->busyInParent());
    }
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
    const auto enter = [newRoot](Node* node) {
        node->root = newRoot;
        for (int i = 0; i < node->components.size(); ++i) {
            node->components[i]->rootChanged(newRoot);
        }
    };
    enter(this);
    walk(this, [&enter, newRoot](Node*, Node* child) {
        if (!child->plainKind) {
            child->rootChanged(newRoot);
            return false;
        }
        enter(child);
        return true;
    });
}

void Node::notifyParentAttached()
{
    parent->nodeAttached(this);
}

void Node::notifyParentRemoved()
{
    parent->nodeRemoved(this);
}

bool Node::isAncestorOrSelf(const Node* node) const
{
    for (const Node* above = node; above != nullptr; above = above->parent) {
        if (above == this) {
            return true;
        }
    }
    return false;
}

bool Node::attach(Component* component)
{
    requireArgument(component, "Node::attach: null component");
    Node* node = dynamic_cast<Node*>(component);
    // Held through the move when leaving its old parent may let it go, or when something it holds
    // hears of the move and may take it out again; a node without a parent, and without components
    // anywhere below, runs nothing that could.
    IntrusivePointer<Component> hold(node == nullptr || node->parent != nullptr || node->busyInParent() != 0
                                         ? component
                                         : nullptr);
    if (node != nullptr) {
        // Under itself or under one of its own descendants the node would become its own ancestor,
        // and every walk of the tree would go round the loop for ever. A node with no children of
        // its own can be nobody's ancestor but its own, so building a chain downwards costs nothing
        // here.
        if (node == this || (node->nodes.size() > 0 && node->isAncestorOrSelf(this))) {
            // Held, so that a refused node that nobody owns goes now.
            hold = component;
            core::Error::invalidParameters(core::Categories::REZEZAZ_SCENE, true,
                                           "Node::attach: a node cannot be attached under itself or its own descendant");
        }
    }
    component->parentChanged(this);
    if (!active) {
        activate();
    }
    return true;
}

bool Node::remove(Component* component)
{
    requireArgument(component, "Node::remove: null component");
    IntrusivePointer<Component> hold(component);
    component->parentChanged(nullptr);
    if (!active) {
        activate();
    }
    return true;
}

void Node::componentAttached(Component* component)
{
    requireArgument(component, "Node::componentAttached: null component");
    unsettle();
    components.add(IntrusivePointer<Component>(component));
    addBusy(1);
}

void Node::componentRemoved(Component* component)
{
    requireArgument(component, "Node::componentRemoved: null component");
    if (components.remove(component)) {
        addBusy(-1);
    }
}

void Node::nodeAttached(Node* node)
{
    requireArgument(node, "Node::nodeAttached: null node");
    unsettle();
    childrenSettledSeen = false;
    nodes.add(IntrusivePointer<Node>(node));
    node->plainKind = node->isPlainKind();
    if (node->busyInParent() != 0) {
        addBusy(node->busyInParent());
    }
    // Place the child at once and count it in this subtree's bound, so that a subtree attached
    // under a still node is neither misplaced nor culled until something moves. The merge waits for
    // the next read of the bound: merging over every sibling at each attach would make building n
    // children cost n squared. A plain leaf with nothing in it that hears of its moves is only
    // placed: its own world bound is formed at that read too.
    if (node->nodes.size() == 0 && node->plainKind && node->roles().spacials.size() == 0) {
        node->placeInWorld();
        node->boundStale = true;
    } else {
        node->transformChanged(&worldTransform);
    }
    nodeBoundChanged(node);
}

void Node::nodeRemoved(Node* node)
{
    requireArgument(node, "Node::nodeRemoved: null node");
    IntrusivePointer<Node> hold(node);
    if (nodes.remove(node)) {
        if (node->busyInParent() != 0) {
            addBusy(-node->busyInParent());
        }
        nodeBoundChanged(node);
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
    requireArgument(action, "Node::actionAttached: null action");
    ownRoles().actions.add(action);
}

void Node::actionRemoved(ActionComponent* action)
{
    requireArgument(action, "Node::actionRemoved: null action");
    ownRoles().actions.remove(action);
}

ActionComponent* Node::getAction(const core::String& actionName) const
{
    for (int i = 0; i < roles().actions.size(); ++i) {
        if (roles().actions[i]->getName().equals(actionName)) {
            return roles().actions[i];
        }
    }
    return nullptr;
}

void Node::startAction(const core::String& actionName)
{
    for (int i = 0; i < roles().actions.size(); ++i) {
        if (roles().actions[i]->getName().equals(actionName)) {
            roles().actions[i]->start();
        }
    }
}

void Node::stopAction(const core::String& actionName)
{
    for (int i = 0; i < roles().actions.size(); ++i) {
        if (roles().actions[i]->getName().equals(actionName)) {
            roles().actions[i]->stop();
        }
    }
}

void Node::stopAllActions()
{
    for (int i = 0; i < roles().actions.size(); ++i) {
        if (roles().actions[i]->getActive()) {
            roles().actions[i]->stop();
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
    requireArgument(spacial, "Node::spacialAttached: null spacial");
    ownRoles().spacials.add(spacial);
    spacial->transformChanged(spacial->getTransform());
    // Its bound is part of this subtree's from now on, not only after the next move.
    boundChanged();
}

void Node::spacialRemoved(Spacial* spacial)
{
    requireArgument(spacial, "Node::spacialRemoved: null spacial");
    if (ownRoles().spacials.remove(spacial)) {
        boundChanged();
    }
}

void Node::visibleAttached(Visible* visible)
{
    requireArgument(visible, "Node::visibleAttached: null visible");
    ownRoles().visibles.add(visible);
}

void Node::visibleRemoved(Visible* visible)
{
    requireArgument(visible, "Node::visibleRemoved: null visible");
    ownRoles().visibles.remove(visible);
}

void Node::animatableAttached(Animatable* animatable)
{
    requireArgument(animatable, "Node::animatableAttached: null animatable");
    ownRoles().animatables.add(animatable);
}

void Node::animatableRemoved(Animatable* animatable)
{
    requireArgument(animatable, "Node::animatableRemoved: null animatable");
    ownRoles().animatables.remove(animatable);
}

void Node::lightAttached(LightComponent* light)
{
    requireArgument(light, "Node::lightAttached: null light");
    ownRoles().lights.add(light);
}

void Node::lightRemoved(LightComponent* light)
{
    requireArgument(light, "Node::lightRemoved: null light");
    ownRoles().lights.remove(light);
}

void Node::setTranslate(const Vector3& translate)
{
    transform.setTranslate(translate);
}

void Node::setTranslate(float x, float y, float z)
{
    transform.setTranslate(Vector3(x, y, z));
}

void Node::setRotate(const Quaternion& rotate)
{
    transform.setRotate(rotate);
}

void Node::setRotate(const core::math::Matrix3x3& rotate)
{
    Quaternion q;
    Math::setQuaternionFromMatrix3x3(q, rotate);
    transform.setRotate(q);
}

void Node::setRotate(const Vector3& axis, float angle)
{
    const float s = std::sin(angle * 0.5f);
    transform.setRotate(Quaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)));
}

void Node::setScale(const Vector3& scale)
{
    transform.setScale(scale);
}

void Node::setScale(float x, float y, float z)
{
    transform.setScale(Vector3(x, y, z));
}

void Node::setScale(float scale)
{
    setScale(scale, scale, scale);
}

void Node::setMatrix4x4(const core::math::Matrix4x4& m)
{
    const float* d = m.data;
    transform.scale =
        Vector3(Math::length(Vector3(d[0], d[1], d[2])), Math::length(Vector3(d[4], d[5], d[6])),
                Math::length(Vector3(d[8], d[9], d[10])));
    Math::setQuaternionFromMatrix4x4(transform.rotate, m);
    transform.translate = Vector3(d[12], d[13], d[14]);
    transform.notify();
}

void Node::setTransform(const Transform* source)
{
    transform.set(source);
}

void Node::setBound(const Bound* source)
{
    requireArgument(source, "Node::setBound: null bound");
    bound.set(*source);
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
    // Climbs while the parents sleep, without recursion.
    for (Node* node = this;; node = node->parent) {
        node->unsettle();
        node->activateChildren = true;
        if (node->deactivateCount > 0) {
            node->deactivateCount = 0;
        }
        if (node->active) {
            return;
        }
        node->active = true;
        if (node->parent == nullptr || node->parent->getActive()) {
            return;
        }
        if (!node->parent->plainKind) {
            node->parent->activate();
            return;
        }
    }
}

void Node::deactivate()
{
    if (!active) {
        return;
    }
    active = false;
    deactivateCount = 0;
    walk(this, [](Node*, Node* child) {
        if (!child->plainKind) {
            child->deactivate();
            return false;
        }
        if (!child->active) {
            return false;
        }
        child->active = false;
        child->deactivateCount = 0;
        return true;
    });
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

void Node::beginLogicUpdate(int dt, int updateScope)
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
}

void Node::childLogicUpdated(Node* child, int updateScope)
{
    const bool childActive = child->getActive();
    anyActive = childActive || anyActive;
    if (childActive && (child->getScope() & updateScope) != 0) {
        child->tryDeactivate();
    }
}

void Node::logicUpdate(int dt, int updateScope)
{
    // A settled subtree's update would change nothing.
    if (settled) {
        return;
    }
    beginLogicUpdate(dt, updateScope);
    logicUpdateBelow(dt, updateScope);
}

void Node::logicUpdateBelow(int dt, int updateScope)
{
    // The list is read anew for each child: an update may change it.
    for (int i = 0; i < nodes.size(); ++i) {
        Node* child = nodes[i].get();
        // A settled child is asleep and its update would leave everything as it is: it adds no
        // activity and is not a candidate for sleep.
        if (child->settled) {
            continue;
        }
        // Held through its update when something in it may take it out of the tree; a subtree of
        // plain nodes without components runs nothing that could.
        const IntrusivePointer<Node> hold(child->busyInParent() != 0 ? child : nullptr);
        if (child->plainKind) {
            child->beginLogicUpdate(dt, updateScope);
            if (recursionLeft > 0) {
                const RecursionLevel level;
                child->logicUpdateBelow(dt, updateScope);
            } else {
                child->logicUpdateListed(dt, updateScope);
            }
        } else {
            child->logicUpdate(dt, updateScope);
        }
        childLogicUpdated(child, updateScope);
    }
    trySettle();
}

void Node::logicUpdateListed(int dt, int updateScope)
{
    // The subtree in the order of a recursive walk, with a list of its own, so that a deep tree does
    // not run the thread out of stack. A node of another kind runs its own update.
    WalkStack<LogicVisit> path;
    path.push({this, 0, nullptr});
    while (!path.empty()) {
        Node* node = path.back().node;
        if (path.back().next < node->nodes.size()) {
            Node* child = node->nodes[path.back().next++].get();
            if (child->settled) {
                continue;
            }
            IntrusivePointer<Node> hold(child->busyInParent() != 0 ? child : nullptr);
            if (child->plainKind) {
                child->beginLogicUpdate(dt, updateScope);
                path.push({child, 0, std::move(hold)});
            } else {
                child->logicUpdate(dt, updateScope);
                node->childLogicUpdated(child, updateScope);
            }
            continue;
        }
        node->trySettle();
        const IntrusivePointer<Node> hold = std::move(path.back().hold);
        path.pop();
        if (!path.empty()) {
            path.back().node->childLogicUpdated(node, updateScope);
        }
    }
}

const Node::Roles& Node::roles() const
{
    static const Roles none;
    return heldRoles ? *heldRoles : none;
}

Node::Roles& Node::ownRoles()
{
    if (!heldRoles) {
        heldRoles = std::make_unique<Roles>();
    }
    return *heldRoles;
}

bool Node::findPlainKind() const
{
    kindPlain = typeid(*this) == typeid(Node) || typeid(*this) == typeid(PartitionNode);
    kindKnown = true;
    return kindPlain;
}

void Node::trySettle()
{
    // Only this class's own update is known to do nothing more; a derived node may do more in its own.
    if (active || anyActive || activateChildren || components.size() > 0 || !isPlainKind() || !childrenSettled()) {
        return;
    }
    settled = true;
}

void Node::frameUpdate(int dt, int updateScope)
{
    // No component here or below, and no node of another kind: nothing to run.
    if (busy == 0) {
        return;
    }
    const auto enter = [dt, updateScope](Node* node) {
        for (int i = 0; i < node->components.size(); ++i) {
            node->components[i]->frameUpdate(dt, updateScope);
        }
    };
    enter(this);
    walk(this, [&enter, dt, updateScope](Node*, Node* child) {
        // A subtree of plain nodes without components has nothing to run in its frame update.
        if (child->busyInParent() == 0) {
            return false;
        }
        if (!child->plainKind) {
            child->frameUpdate(dt, updateScope);
            return false;
        }
        enter(child);
        return true;
    });
}

bool Node::handleEvent(core::Event* event)
{
    bool handled = false;
    const auto enter = [event, &handled](Node* node) {
        for (int i = 0; i < node->components.size(); ++i) {
            handled = node->components[i]->handleEvent(event) || handled;
        }
    };
    enter(this);
    walk(this, [&enter, &handled, event](Node*, Node* child) {
        if (!child->plainKind) {
            handled = child->handleEvent(event) || handled;
            return false;
        }
        enter(child);
        return true;
    });
    return handled;
}

void Node::placeInWorld()
{
    if (parent != nullptr) {
        worldTransform.setTransform(*parent->getWorldTransform(), transform);
        worldScope = scope & parent->getWorldScope();
    } else {
        worldTransform.translate = transform.translate;
        worldTransform.scale = transform.scale;
        worldTransform.rotate = transform.rotate;
        worldScope = scope;
    }
}

void Node::transformChanged(Transform* changed)
{
    placeInWorld();
    // Each node below is placed before its children, and its spacials and bound follow once its
    // children are done, as a recursive walk would do; the walk keeps a list of its own, so that a deep
    // tree does not run the thread out of stack. A node of another kind is told through its own call.
    const auto leave = [](Node* node) {
        for (int i = 0; i < node->roles().spacials.size(); ++i) {
            node->roles().spacials[i]->transformChanged(&node->worldTransform);
        }
    };
    if (nodes.size() > 0) {
        walk(
            this,
            [](Node* above, Node* child) {
                if (!child->plainKind) {
                    child->transformChanged(&above->worldTransform);
                    return false;
                }
                child->placeInWorld();
                return true;
            },
            [this, &leave](Node* done) {
                // This node's own end follows below.
                if (done != this) {
                    leave(done);
                    done->calculateBound();
                }
            });
    }
    leave(this);
    if (changed == &transform) {
        boundChanged();
    } else {
        calculateBound();
    }
}

void Node::boundChanged()
{
    // The world bound is formed again at its next read, as an ancestor's is: a node that is placed
    // and given its bound before it is attached, or moved several times between two reads, forms it
    // once. A stale node's ancestors are all stale already.
    if (boundStale) {
        return;
    }
    boundStale = true;
    if (parent != nullptr) {
        parent->nodeBoundChanged(this);
    }
}

void Node::nodeBoundChanged(Node*)
{
    // The merge waits for the next read of this world bound, so a frame that turns every child of a
    // node merges the children once, not once per turned child. The result is the same: the merge
    // always runs over the children's latest bounds, in their order. Every ancestor of a stale node is
    // stale, so the climb ends at the first stale one.
    for (Node* node = this; node != nullptr && !node->boundStale; node = node->parent) {
        node->boundStale = true;
    }
}

void Node::mergeStaleBounds()
{
    // The stale nodes below form a subtree under this one (a stale node's ancestors are all stale):
    // gathered parents first, merged children first, so that no merge reads a stale child and the
    // walk needs no recursion however deep the tree.
    // A node's children are merged before it: each parent is visited again once its stale children
    // are done (next past its last child), and merged then.
    walk(
        this, [](Node*, Node* child) { return child->boundStale; },
        [](Node* done) { done->calculateBound(); });
}

void Node::calculateBound()
{
    boundStale = false;
    Bound& world = worldBound;
    const float epsilon = scene ? scene->getEpsilon() : 0.0f;
    // Merging a box into a box forms the sphere anew from the grown box, so only the sphere of the
    // last such merge is ever read: it is formed once, before a merge of another kind reads it and
    // at the end.
    world.transform(bound, worldTransform, false);
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
    for (int i = 0; i < roles().spacials.size(); ++i) {
        if (Bound* spacialBound = roles().spacials[i]->getWorldBound()) {
            add(*spacialBound);
        }
    }
    if (sphereDue) {
        world.formBoxSphere();
    }
}

void Node::gatherRenderables(Camera* camera, RenderableSet* set)
{
    // In the order of a recursive walk (a node, the subtrees of its children that the camera sees, then
    // its lights and visibles), with a list of its own so that a deep tree does not run the thread out
    // of stack. A node of another kind gathers through its own call.
    const auto leave = [camera, set](Node* node) {
        for (int i = 0; i < node->roles().lights.size(); ++i) {
            if (node->roles().lights[i]->getEnabled()) {
                set->queueLight(node->roles().lights[i]);
            }
        }
        for (int i = 0; i < node->roles().visibles.size(); ++i) {
            node->roles().visibles[i]->gatherRenderables(camera, set);
        }
    };
    set->queueNode(this);
    walk(
        this,
        [camera, set](Node*, Node* child) {
            if ((child->getScope() & camera->getScope()) == 0 || camera->culled(child->getWorldBound())) {
                return false;
            }
            if (!child->plainKind) {
                child->gatherRenderables(camera, set);
                return false;
            }
            set->queueNode(child);
            return true;
        },
        leave);
}

} // namespace rezezaz::scene

#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/math/Matrix3x3.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Quaternion.h"
#include "core/math/Vector3.h"
#include "scene/Arguments.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/Transform.h"
#include "scene/TransformListener.h"

#include <memory>
#include <vector>

namespace rezezaz::scene {

class ActionComponent;
class Animatable;
class Camera;
class Engine;
class LightComponent;
class PhysicsComponent;
class RenderableSet;
class Scene;
class Spacial;
class Visible;

// One node of the scene graph: holds components and child nodes (both owned, in attach order),
// keeps the local and world transform and bound of its subtree, runs the updates of what it holds
// and puts idle subtrees to sleep. A node created in a scene holds that scene; the scene is
// therefore torn down explicitly with Scene::destroy.
class Node : public BaseComponent, public TransformListener
{
public:
    explicit Node(Scene* scene = nullptr);
    ~Node() override;

    void destroy() override;
    // Destroys every component and child node, keeping the node itself.
    void destroyAllChildren();

    const core::Type<Component>* getType() const override;
    // A move within the same tree leaves the root as it was; the components still hear of it, as
    // whether their node hangs directly under the root may have changed.
    void parentChanged(Node* parent) override;
    void rootChanged(Node* root) override;
    void notifyParentAttached() override;
    void notifyParentRemoved() override;
    void logicUpdate(int dt, int scope) override;
    void frameUpdate(int dt, int scope) override;
    bool handleEvent(core::Event* event) override;
    bool getActive() override { return active; }

    virtual void create(Scene* scene);
    virtual Node* getRoot() const { return root; }
    // Raises Error::nullPointer for a null component, and Error::invalidParameters, with the tree
    // unchanged, for a node that would become its own ancestor (this node itself or one above it).
    virtual bool attach(Component* component);
    virtual bool remove(Component* component);
    virtual void componentAttached(Component* component);
    virtual void componentRemoved(Component* component);
    virtual Component* getChild(const core::String& name) const;
    virtual Component* getChild(const core::Type<Component>* type) const;
    virtual void nodeAttached(Node* node);
    virtual void nodeRemoved(Node* node);
    virtual const core::Collection<core::IntrusivePointer<Node>>& getNodes() const { return nodes; }
    virtual Node* getNode(const core::String& name) const;
    virtual Node* getNode(const core::Type<Component>* type) const;

    virtual void actionAttached(ActionComponent* action);
    virtual void actionRemoved(ActionComponent* action);
    virtual ActionComponent* getAction(const core::String& name) const;
    virtual void startAction(const core::String& name);
    virtual void stopAction(const core::String& name);
    virtual void stopAllActions();
    virtual bool getActionActive(const core::String& name) const;

    virtual void spacialAttached(Spacial* spacial);
    virtual void spacialRemoved(Spacial* spacial);
    virtual int getNumSpacials() const { return roles().spacials.size(); }
    virtual Spacial* getSpacial(int index) const { return roles().spacials[index]; }
    virtual void visibleAttached(Visible* visible);
    virtual void visibleRemoved(Visible* visible);
    virtual int getNumVisibles() const { return roles().visibles.size(); }
    virtual Visible* getVisible(int index) const { return roles().visibles[index]; }
    virtual void animatableAttached(Animatable* animatable);
    virtual void animatableRemoved(Animatable* animatable);
    virtual int getNumAnimatables() const { return roles().animatables.size(); }
    virtual Animatable* getAnimatable(int index) const { return roles().animatables[index]; }
    virtual void lightAttached(LightComponent* light);
    virtual void lightRemoved(LightComponent* light);
    virtual int getNumLights() const { return roles().lights.size(); }
    virtual LightComponent* getLight(int index) const { return roles().lights[index]; }
    virtual void physicsAttached(PhysicsComponent* physics)
    {
        requireArgument(physics, "Node::physicsAttached: null physics");
        this->physics = physics;
    }
    virtual void physicsRemoved(PhysicsComponent*) { physics = nullptr; }
    virtual PhysicsComponent* getPhysics() const { return physics; }

    virtual void setTranslate(const core::math::Vector3& translate);
    virtual void setTranslate(float x, float y, float z);
    virtual void setRotate(const core::math::Quaternion& rotate);
    virtual void setRotate(const core::math::Matrix3x3& rotate);
    virtual void setRotate(const core::math::Vector3& axis, float angle);
    virtual void setScale(const core::math::Vector3& scale);
    virtual void setScale(float x, float y, float z);
    virtual void setScale(float scale);
    virtual void setMatrix4x4(const core::math::Matrix4x4& matrix);
    virtual void setTransform(const Transform* transform);
    virtual void setBound(const Bound* bound);
    virtual void setScope(int scope) { this->scope = scope; }
    virtual void setStayActive(bool stayActive);
    virtual void activate();
    virtual void deactivate();
    virtual void tryDeactivate();
    void transformChanged(Transform* transform) override;
    virtual void boundChanged();
    virtual void nodeBoundChanged(Node* node);
    virtual void gatherRenderables(Camera* camera, RenderableSet* set);
    virtual void calculateBound();

    Engine* getEngine() const { return engine.get(); }
    Scene* getScene() const { return scene.get(); }
    int getHandle() const { return handle; }
    void setHandle(int handle) { this->handle = handle; }
    const core::Collection<core::IntrusivePointer<Component>>& getComponents() const { return components; }
    // The node's own parts, which callers may change (through the node's setters, as a rule).
    Transform* getTransform() const { return const_cast<Part<Transform>*>(&transform); }
    Transform* getWorldTransform() const { return const_cast<Part<Transform>*>(&worldTransform); }
    Bound* getBound() const { return const_cast<Part<Bound>*>(&bound); }
    // The subtree's bound in world space, merged again first when a descendant's bound changed since
    // it was last merged. Read it through this call: the pointer's contents are brought up to date here.
    Bound* getWorldBound() const
    {
        if (boundStale) {
            const_cast<Node*>(this)->mergeStaleBounds();
        }
        return const_cast<Part<Bound>*>(&worldBound);
    }
    int getScope() const { return scope; }
    int getWorldScope() const { return worldScope; }
    // Whether this node is node itself or lies above it.
    bool isAncestorOrSelf(const Node* node) const;
    bool getAnyActive() const { return anyActive; }
    int getDeactivateCount() const { return deactivateCount; }
    // Asleep, with no component anywhere below and nothing pending, and so is every descendant:
    // updating this subtree would change nothing, so its parent's updates pass it by. Anything that
    // could give its update work again (waking, attaching a component or node anywhere below) clears
    // it on the way up.
    bool getSettled() const { return settled; }
    // Whether a logic or frame update of this node would change nothing now: it is settled, or it is
    // a plain node that stays awake (a scene's root) with no component, nothing to wake or report,
    // and only settled children.
    bool getAtRest() const
    {
        return settled || (!anyActive && !activateChildren && components.size() == 0 && childrenSettled() && isPlainKind());
    }
    // How many components this subtree holds, with the nodes below of a kind derived from this one:
    // a subtree of plain nodes without any has nothing to run in its frame update.
    int getBusy() const { return busy; }

protected:
    // A transform or bound that lives inside its node, so that a node takes one allocation with all
    // four of them. It is counted with the node: an owning pointer to one keeps the whole node alive.
    template <class Base> class Part final : public Base
    {
    public:
        template <class... Arguments>
        explicit Part(Node* owner, Arguments... arguments) : Base(arguments...), owner(owner)
        {}
        int32_t retain() override { return owner->retain(); }
        int32_t release() override { return owner->release(); }

    private:
        Node* owner;
    };

    // What the components of a node are besides components, each list in attach order.
    struct Roles
    {
        core::Collection<Spacial*> spacials;
        core::Collection<ActionComponent*> actions;
        core::Collection<Visible*> visibles;
        core::Collection<Animatable*> animatables;
        core::Collection<LightComponent*> lights;
    };
    // The lists, empty ones for a node that has never held a component with a role.
    const Roles& roles() const;
    // The lists, made first when the node has none.
    Roles& ownRoles();

    // The world transform and scope from the parent's, or from the local ones without a parent.
    void placeInWorld();
    // Merges the world bound of every stale node below, deepest first, then this one's.
    void mergeStaleBounds();
    // Walks the subtree under `root` depth first: by recursion for the first levels (walkBelow), and
    // below them with a list of its own (walkListed), so that a tree of any depth fits the thread's
    // stack. `enter(parent, child)` is asked for each child in order and returns whether to walk below
    // it; `leave(node)` runs for every node walked (the root last), once its children are done. Either
    // may walk again (a node of another kind walking its own subtree).
    template <class Enter, class Leave> static void walk(Node* root, Enter enter, Leave leave);
    template <class Enter, class Leave> static void walkBelow(Node* node, Enter& enter, Leave& leave);
    template <class Enter, class Leave> static void walkListed(Node* root, Enter& enter, Leave& leave);
    template <class Enter> static void walk(Node* root, Enter enter)
    {
        walk(root, enter, [](Node*) {});
    }
    // One step of the logic update's walk over the subtree (which keeps a list instead of recursing):
    // a node, its next child, and a hold on the node while its update may take it out of the tree.
    struct LogicVisit
    {
        Node* node;
        int next;
        core::IntrusivePointer<Node> hold;
    };

    // A node's own share of a logic update before its children's, and what each child's update adds.
    void beginLogicUpdate(int dt, int scope);
    // The logic updates below this node, whose own share has run, then its try to settle: by
    // recursion for the first levels, below them with a list.
    void logicUpdateBelow(int dt, int scope);
    void logicUpdateListed(int dt, int scope);
    void childLogicUpdated(Node* child, int scope);
    // Takes every child node off the list at once, still attached, for a teardown; childDestroyed
    // settles the counts for each when it has gone.
    std::vector<core::IntrusivePointer<Node>> takeChildren();
    void childDestroyed(Node* child);
    // The end of destroy once everything below has gone: the node manager hears of it, then the node
    // leaves its parent.
    void finishDestroy();

    // Clears the settled mark here and on every settled ancestor: a settled node's descendants are
    // all settled, so the first one that is not ends the climb.
    void unsettle()
    {
        for (Node* node = this; node != nullptr && node->settled; node = node->parent) {
            node->settled = false;
            if (node->parent != nullptr) {
                node->parent->childrenSettledSeen = false;
            }
        }
    }
    // Settles this node after its logic update when the update changed nothing and will not.
    void trySettle();
    // Adds to the busy count of this node and its ancestors.
    void addBusy(int change)
    {
        for (Node* node = this; node != nullptr; node = node->parent) {
            node->busy += change;
        }
    }
    // What a child adds to its parent's busy count.
    int busyInParent() const { return busy + (plainKind ? 0 : 1); }
    // A node of this class or the scene's partition node, whose updates do only what this class's do.
    bool isPlainKind() const { return kindKnown ? kindPlain : findPlainKind(); }
    bool findPlainKind() const;
    // Whether every child is settled.
    bool childrenSettled() const
    {
        if (childrenSettledSeen) {
            return true;
        }
        for (int i = 0; i < nodes.size(); ++i) {
            if (!nodes[i]->settled) {
                return false;
            }
        }
        childrenSettledSeen = true;
        return true;
    }

    // What every update reads of every node comes first, so that a walk over a large tree touches
    // as few cache lines of each node as it can.
    bool anyActive = false;
    bool activateChildren = true;
    bool active = true;
    // The world bound is out of date: a descendant's bound changed after it was last merged, or the
    // node was attached as a leaf and its own has not been formed yet. Every ancestor of a stale node
    // is stale too, so the climb stops at the first stale one.
    bool boundStale = false;
    bool settled = false;
    // childrenSettled found every child settled, and none has been attached or unsettled since (a
    // child settles only while it is unsettled here, and leaving changes nothing of the answer).
    mutable bool childrenSettledSeen = false;
    // Set when the node is attached under a parent: the kind is only known once it is built.
    bool plainKind = true;
    // isPlainKind's answer once asked (the kind never changes once the node is built).
    mutable bool kindKnown = false;
    mutable bool kindPlain = false;
    int busy = 0;
    int deactivateCount = 0;
    int scope = -1;
    int worldScope = -1;
    core::Collection<core::IntrusivePointer<Component>> components;
    core::Collection<core::IntrusivePointer<Node>> nodes;
    // The world transform before the local one: a walk that places the nodes reads the parent's.
    Part<Transform> worldTransform;
    // Its listener is this node.
    Part<Transform> transform;
    Part<Bound> bound;
    Part<Bound> worldBound;
    core::IntrusivePointer<Engine> engine;
    core::IntrusivePointer<Scene> scene;
    int handle = 0;
    // The lists of the roles its components play, made when the first component with a role comes:
    // most nodes hold only nodes, and the lists would more than double what such a node takes.
    std::unique_ptr<Roles> heldRoles;
    PhysicsComponent* physics = nullptr;
};

} // namespace rezezaz::scene

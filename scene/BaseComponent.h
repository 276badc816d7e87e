#pragma once

#include "core/Object.h"
#include "core/String.h"
#include "scene/Component.h"

namespace rezezaz::scene {

// The common base of concrete components: reference counted, with the parent node, the root node
// and a name. Parent and root are not owned; the node owns its components.
class BaseComponent : public core::Object, public Component
{
public:
    BaseComponent() = default;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    void destroy() override;

    const core::Type<Component>* getType() const override;
    virtual Component* componentThis() { return this; }
    virtual void setName(const core::String& name) { this->name = name; }
    const core::String& getName() const override { return name; }
    void parentChanged(Node* parent) override;
    void rootChanged(Node* root) override { this->root = root; }
    virtual void notifyParentAttached();
    virtual void notifyParentRemoved();
    virtual Node* getParent() const { return parent; }
    void logicUpdate(int, int) override {}
    void frameUpdate(int, int) override {}
    bool handleEvent(core::Event*) override { return false; }
    bool getActive() override { return false; }

protected:
    Node* parent = nullptr;
    Node* root = nullptr;
    core::String name;
};

} // namespace rezezaz::scene

#pragma once

#include "core/Interface.h"
#include "core/String.h"
#include "core/Type.h"

namespace rezezaz::core {
class Event;
}

namespace rezezaz::scene {

class Node;

// What a node holds: anything that takes part in the scene is a component attached to a node.
class Component : public core::Interface
{
public:
    virtual void destroy() = 0;
    virtual const core::Type<Component>* getType() const = 0;
    virtual const core::String& getName() const = 0;
    virtual void parentChanged(Node* parent) = 0;
    virtual void rootChanged(Node* root) = 0;
    virtual void logicUpdate(int dt, int scope) = 0;
    virtual void frameUpdate(int dt, int scope) = 0;
    virtual bool handleEvent(core::Event* event) = 0;
    virtual bool getActive() = 0;
};

} // namespace rezezaz::scene

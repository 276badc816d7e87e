#pragma once

#include "scene/Component.h"

namespace rezezaz::scene {

// A component that can be started and stopped by name through its node.
class ActionComponent : public Component
{
public:
    virtual void start() = 0;
    virtual void stop() = 0;
};

} // namespace rezezaz::scene

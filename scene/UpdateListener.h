#pragma once

namespace rezezaz::scene {

// Takes over a scene's six update steps; each gets the step's dt in milliseconds.
class UpdateListener
{
public:
    virtual ~UpdateListener() = default;

    virtual void preLogicUpdate(int dt) = 0;
    virtual void logicUpdate(int dt) = 0;
    virtual void postLogicUpdate(int dt) = 0;
    virtual void preFrameUpdate(int dt) = 0;
    virtual void frameUpdate(int dt) = 0;
    virtual void postFrameUpdate(int dt) = 0;
};

} // namespace rezezaz::scene

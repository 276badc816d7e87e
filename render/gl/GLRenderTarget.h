#pragma once

#include "core/IntrusivePointer.h"
#include "render/AdaptorInfo.h"
#include "render/BaseRenderResource.h"
#include "render/RenderTarget.h"

namespace rezezaz::render {

// Common base of the OpenGL targets: a RenderTarget that also owns (or stands for) an OpenGL context
// the device makes current, swaps and resets. The base does nothing and reports an invalid target of
// size 0; the window target and the off-screen targets override what they have.
class GLRenderTarget : public BaseRenderResource<RenderTarget>
{
public:
    // Stands for one OpenGL context of a target while it lives: made with the context and marked
    // gone when the context is freed. What was made in that context holds it, so that nothing reaches
    // into a later context through names that meant something only in this one.
    class ContextLife : public core::Object
    {
    public:
        bool live = true;
    };

    GLRenderTarget() = default;
    ~GLRenderTarget() override;

    // Nothing to free here; tells the destroyed listener.
    void destroy() override;

    RenderTarget* getRootRenderTarget() override;
    bool isPrimary() const override;
    bool isValid() const override;
    int getWidth() const override;
    int getHeight() const override;
    AdaptorInfo* getAdaptorInfo() const override;

    // Shows the finished frame; false when there is nothing to show it on.
    virtual bool swap();
    // Catches up with a change of the drawable's size.
    virtual void reset();
    // Makes the target's context current on the calling thread.
    virtual bool activate();
    // Clears the calling thread's current context.
    virtual bool deactivate();
    // Gives the calling (loading) thread one of the contexts that share the main one's objects.
    virtual bool activateAdditionalContext();
    // Gives back the calling thread's extra context, if it holds one.
    virtual void deactivateAdditionalContext();

    // Whether the target's context, or one sharing its objects, is current on the calling thread.
    // The base has no context of its own and says true.
    virtual bool isCurrent() const;
    // The life of the target's own context, null while it has none (or for a target without one).
    ContextLife* getContextLife() const { return contextLife.get(); }

    // Describes the adaptor behind the current context (a context must be current).
    void findAdaptorInfo();

protected:
    core::IntrusivePointer<AdaptorInfo> adaptorInfo;
    core::IntrusivePointer<ContextLife> contextLife;
};

} // namespace rezezaz::render

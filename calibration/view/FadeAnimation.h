#pragma once

#include "calibration/view/PelotuneAnimation.h"
#include "core/IntrusivePointer.h"

namespace rezezaz::scene {
class Node;
}

// Fades a node's meshes from one opacity to another (0 to 1) evenly over its duration: the alpha of
// their material colours, blending while they are not opaque, and the node drawn only while its
// alpha is above 0. The node is held for the animation's life.
class FadeAnimation : public PelotuneAnimation
{
public:
    FadeAnimation(rezezaz::scene::Node* node, float from, float to, int duration);
    ~FadeAnimation() override;

    void update(int ms) override;
    rezezaz::scene::Node* getNode() const { return node.get(); }

    // Sets the alpha of the material colours of every visible component of `node`, giving each one a
    // shared render state of its own when it has none; with `blend` also the blend state that goes
    // with the alpha. A component that can have no render state (the view has no device) keeps its
    // colours.
    static void setAlpha(rezezaz::scene::Node* node, float alpha, bool blend);

private:
    rezezaz::core::IntrusivePointer<rezezaz::scene::Node> node;
    float from;
    float to;
};

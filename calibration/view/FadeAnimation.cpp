#include "calibration/view/FadeAnimation.h"

#include "render/BlendState.h"
#include "render/MaterialState.h"
#include "render/RenderState.h"
#include "scene/Node.h"
#include "scene/Visible.h"

using rezezaz::render::BlendState;
using rezezaz::render::MaterialState;
using rezezaz::render::RenderState;
using rezezaz::scene::Node;
using rezezaz::scene::Visible;

FadeAnimation::FadeAnimation(Node* node, float from, float to, int duration)
    : PelotuneAnimation(duration), node(node), from(from), to(to)
{
}

FadeAnimation::~FadeAnimation() = default;

void FadeAnimation::update(int ms)
{
    const float t = advance(ms);
    const float alpha = from + (to - from) * t;
    setAlpha(node.get(), alpha, true);
    node->setScope(alpha > 0.0f ? -1 : 0);
}

void FadeAnimation::setAlpha(Node* node, float alpha, bool blend)
{
    for (int i = 0; i < node->getNumVisibles(); ++i) {
        Visible* visible = node->getVisible(i);
        RenderState* state = visible->getSharedRenderState();
        if (state == nullptr) {
            // One shared state for all the component's submeshes, taking the first one's colours.
            visible->setSharedRenderState(nullptr);
            state = visible->getSharedRenderState();
        }
        if (state == nullptr) {
            continue;
        }
        MaterialState material;
        state->getMaterialState(material);
        material.ambient.w = alpha;
        material.diffuse.w = alpha;
        material.specular.w = alpha;
        material.emissive.w = alpha;
        state->setMaterialState(material);
        if (blend) {
            BlendState blending;
            if (alpha < 1.0f) {
                blending.source = BlendState::Operation_SRC_ALPHA;
                blending.dest = BlendState::Operation_ONE_MINUS_SRC_ALPHA;
            } else {
                blending.source = BlendState::Operation_ONE;
                blending.dest = BlendState::Operation_ZERO;
            }
            blending.colorWrite = BlendState::ColorWrite_ALL;
            state->setBlendState(blending);
        }
    }
}

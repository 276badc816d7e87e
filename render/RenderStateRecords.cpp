#include "render/RenderStateRecords.h"

namespace rezezaz::render {

namespace {

template <class State>
void replaySingle(const State* record, RenderState& target, void (RenderState::*setter)(const State&))
{
    if (record != nullptr) {
        (target.*setter)(*record);
    }
}

template <class State, class Setter>
void replayStages(const std::vector<std::vector<std::unique_ptr<State>>>& lists, RenderState& target,
                  Setter setter)
{
    for (size_t list = 0; list < lists.size(); ++list) {
        for (size_t stage = 0; stage < lists[list].size(); ++stage) {
            if (const State* record = lists[list][stage].get()) {
                (target.*setter)(static_cast<Shader::ShaderType>(list), static_cast<int>(stage), *record);
            }
        }
    }
}

} // namespace

RenderStateRecords::RenderStateRecords(int numLists) : numLists_(numLists)
{
    lists<SamplerState>().resize(static_cast<size_t>(numLists));
    lists<TextureState>().resize(static_cast<size_t>(numLists));
}

void RenderStateRecords::clear()
{
    singles_ = {};
    for (Stages<SamplerState>& stages : lists<SamplerState>()) {
        stages.clear();
    }
    for (Stages<TextureState>& stages : lists<TextureState>()) {
        stages.clear();
    }
}

int RenderStateRecords::getSetStates() const
{
    int set = 0;
    set |= find<BlendState>() != nullptr ? RenderState::State_BLEND : 0;
    set |= find<DepthState>() != nullptr ? RenderState::State_DEPTH : 0;
    set |= find<RasterizerState>() != nullptr ? RenderState::State_RASTERIZER : 0;
    set |= find<FogState>() != nullptr ? RenderState::State_FOG : 0;
    set |= find<GeometryState>() != nullptr ? RenderState::State_GEOMETRY : 0;
    set |= find<MaterialState>() != nullptr ? RenderState::State_MATERIAL : 0;
    return set;
}

void RenderStateRecords::replayOnto(RenderState& target) const
{
    replaySingle(find<BlendState>(), target, &RenderState::setBlendState);
    replaySingle(find<DepthState>(), target, &RenderState::setDepthState);
    replaySingle(find<RasterizerState>(), target, &RenderState::setRasterizerState);
    replaySingle(find<FogState>(), target, &RenderState::setFogState);
    replaySingle(find<GeometryState>(), target, &RenderState::setGeometryState);
    replaySingle(find<MaterialState>(), target, &RenderState::setMaterialState);
    replayStages(lists<SamplerState>(), target, &RenderState::setSamplerState);
    replayStages(lists<TextureState>(), target, &RenderState::setTextureState);
}

bool RenderStateRecords::refuses(int list, int stage) const
{
    return list < 0 || list >= numLists_ || stage < 0;
}

} // namespace rezezaz::render

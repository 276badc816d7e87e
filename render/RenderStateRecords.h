#pragma once

#include "render/RenderState.h"

#include <memory>
#include <tuple>
#include <vector>

namespace rezezaz::render {

// The state records a render state keeps: each single state (blend, depth, rasterizer, fog,
// geometry, material) once it is set, and the sampler and texture states by stage in a number of
// lists, one per shader type or one that serves them all. A record stays where it is from its first
// set until clear(), so a device may keep pointers to it. Owned by the render state that keeps it.
class RenderStateRecords
{
public:
    explicit RenderStateRecords(int numLists);

    // Frees every record.
    void clear();
    // The RenderState::State_* bits of the single states that are set.
    int getSetStates() const;
    // Sets every record onto target: the single states in the order above, then the sampler states
    // of each list (the list's number taken as the shader type), then the texture states.
    void replayOnto(RenderState& target) const;

    // A single state. The first set makes the record, later ones copy into it; get of a state never
    // set answers false and leaves state as it was; find answers the record or null.
    template <class State> void set(const State& state);
    template <class State> bool get(State& state) const;
    template <class State> const State* find() const;

    // A sampler or texture state of one stage. A list outside the ones made or a negative stage is
    // refused: set keeps nothing and answers false, get answers false, find null and count 0. A
    // list grows to the highest stage set; count is its length.
    template <class State> bool set(int list, int stage, const State& state);
    template <class State> bool get(int list, int stage, State& state) const;
    template <class State> State* find(int list, int stage) const;
    template <class State> int count(int list) const;

private:
    template <class State> using Record = std::unique_ptr<State>;
    template <class State> using Stages = std::vector<Record<State>>;

    // The one bounds check of the staged states.
    bool refuses(int list, int stage) const;
    // The first keep makes the record, later ones copy into it, so that it stays where it is.
    template <class State> static void keep(Record<State>& record, const State& state);
    template <class State> static bool copyOut(const State* record, State& state);
    template <class State> const std::vector<Stages<State>>& lists() const
    {
        return std::get<std::vector<Stages<State>>>(staged_);
    }
    template <class State> std::vector<Stages<State>>& lists()
    {
        return std::get<std::vector<Stages<State>>>(staged_);
    }

    int numLists_;
    std::tuple<Record<BlendState>, Record<DepthState>, Record<RasterizerState>, Record<FogState>,
               Record<GeometryState>, Record<MaterialState>>
        singles_;
    std::tuple<std::vector<Stages<SamplerState>>, std::vector<Stages<TextureState>>> staged_;
};

template <class State> void RenderStateRecords::keep(Record<State>& record, const State& state)
{
    if (record) {
        *record = state;
    } else {
        record = std::make_unique<State>(state);
    }
}

template <class State> bool RenderStateRecords::copyOut(const State* record, State& state)
{
    if (record == nullptr) {
        return false;
    }
    state = *record;
    return true;
}

template <class State> void RenderStateRecords::set(const State& state)
{
    keep(std::get<Record<State>>(singles_), state);
}

template <class State> bool RenderStateRecords::get(State& state) const
{
    return copyOut(find<State>(), state);
}

template <class State> const State* RenderStateRecords::find() const
{
    return std::get<Record<State>>(singles_).get();
}

template <class State> bool RenderStateRecords::set(int list, int stage, const State& state)
{
    if (refuses(list, stage)) {
        return false;
    }
    Stages<State>& stages = lists<State>()[static_cast<size_t>(list)];
    if (stage >= static_cast<int>(stages.size())) {
        stages.resize(static_cast<size_t>(stage) + 1);
    }
    keep(stages[static_cast<size_t>(stage)], state);
    return true;
}

template <class State> bool RenderStateRecords::get(int list, int stage, State& state) const
{
    return copyOut(find<State>(list, stage), state);
}

template <class State> State* RenderStateRecords::find(int list, int stage) const
{
    if (refuses(list, stage)) {
        return nullptr;
    }
    const Stages<State>& stages = lists<State>()[static_cast<size_t>(list)];
    return stage < static_cast<int>(stages.size()) ? stages[static_cast<size_t>(stage)].get() : nullptr;
}

template <class State> int RenderStateRecords::count(int list) const
{
    return refuses(list, 0) ? 0 : static_cast<int>(lists<State>()[static_cast<size_t>(list)].size());
}

} // namespace rezezaz::render

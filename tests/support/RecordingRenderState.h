#pragma once

#include "render/BaseRenderResource.h"
#include "render/RenderState.h"
#include "support/CallLog.h"

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace support {

// A device render state that keeps what it is given, as a device state does, and logs each change
// and its destruction.
class RecordingRenderState : public rezezaz::render::BaseRenderResource<rezezaz::render::RenderState>
{
public:
    using ShaderType = rezezaz::render::Shader::ShaderType;

    RecordingRenderState(SharedCallLog log, std::string label)
        : log_(std::move(log)), label_(std::move(label))
    {}

    rezezaz::render::RenderState* getRootRenderState() override { return this; }
    bool create() override
    {
        record("create()");
        return true;
    }
    int getSetStates() const override
    {
        return (blend ? State_BLEND : 0) | (depth ? State_DEPTH : 0) | (rasterizer ? State_RASTERIZER : 0) |
               (fog ? State_FOG : 0) | (geometry ? State_GEOMETRY : 0) | (material ? State_MATERIAL : 0);
    }
    void setBlendState(const rezezaz::render::BlendState& state) override
    {
        set(blend, state, "setBlendState()");
    }
    bool getBlendState(rezezaz::render::BlendState& state) const override { return get(blend, state); }
    void setDepthState(const rezezaz::render::DepthState& state) override
    {
        set(depth, state, "setDepthState()");
    }
    bool getDepthState(rezezaz::render::DepthState& state) const override { return get(depth, state); }
    void setRasterizerState(const rezezaz::render::RasterizerState& state) override
    {
        set(rasterizer, state, "setRasterizerState()");
    }
    bool getRasterizerState(rezezaz::render::RasterizerState& state) const override
    {
        return get(rasterizer, state);
    }
    void setFogState(const rezezaz::render::FogState& state) override { set(fog, state, "setFogState()"); }
    bool getFogState(rezezaz::render::FogState& state) const override { return get(fog, state); }
    void setGeometryState(const rezezaz::render::GeometryState& state) override
    {
        set(geometry, state, "setGeometryState()");
    }
    bool getGeometryState(rezezaz::render::GeometryState& state) const override
    {
        return get(geometry, state);
    }
    void setMaterialState(const rezezaz::render::MaterialState& state) override
    {
        set(material, state, "setMaterialState()");
    }
    bool getMaterialState(rezezaz::render::MaterialState& state) const override
    {
        return get(material, state);
    }
    void setSamplerState(ShaderType type, int index, const rezezaz::render::SamplerState& state) override
    {
        samplers[{type, index}] = state;
        record("setSamplerState(" + std::to_string(type) + "," + std::to_string(index) + ")");
    }
    bool getSamplerState(ShaderType type, int index, rezezaz::render::SamplerState& state) const override
    {
        auto found = samplers.find({type, index});
        if (found == samplers.end()) {
            return false;
        }
        state = found->second;
        return true;
    }
    int getNumSamplerStates(ShaderType type) const override { return count(samplers, type); }
    void setTextureState(ShaderType type, int index, const rezezaz::render::TextureState& state) override
    {
        textures[{type, index}] = state;
        record("setTextureState(" + std::to_string(type) + "," + std::to_string(index) + ")");
    }
    bool getTextureState(ShaderType type, int index, rezezaz::render::TextureState& state) const override
    {
        auto found = textures.find({type, index});
        if (found == textures.end()) {
            return false;
        }
        state = found->second;
        return true;
    }
    int getNumTextureStates(ShaderType type) const override { return count(textures, type); }

    void fullyReleased() override
    {
        finalRelease_ = true;
        BaseRenderResource::fullyReleased();
    }

    void destroy() override
    {
        record("destroy()");
        BaseRenderResource::destroy();
    }

    std::optional<rezezaz::render::BlendState> blend;
    std::optional<rezezaz::render::DepthState> depth;
    std::optional<rezezaz::render::RasterizerState> rasterizer;
    std::optional<rezezaz::render::FogState> fog;
    std::optional<rezezaz::render::GeometryState> geometry;
    std::optional<rezezaz::render::MaterialState> material;
    std::map<std::pair<int, int>, rezezaz::render::SamplerState> samplers;
    std::map<std::pair<int, int>, rezezaz::render::TextureState> textures;

private:
    template <class State> void set(std::optional<State>& slot, const State& state, const char* call)
    {
        slot = state;
        record(call);
    }
    template <class State> static bool get(const std::optional<State>& slot, State& state)
    {
        if (!slot) {
            return false;
        }
        state = *slot;
        return true;
    }
    // One past the highest index set for the type, as a device state counts its slots.
    template <class Map> static int count(const Map& map, int type)
    {
        int highest = 0;
        for (const auto& entry : map) {
            if (entry.first.first == type && entry.first.second + 1 > highest) {
                highest = entry.first.second + 1;
            }
        }
        return highest;
    }
    void record(const std::string& call)
    {
        if (!finalRelease_) {
            log_->add(label_ + "." + call);
        }
    }

    SharedCallLog log_;
    std::string label_;
    // The destroy that the last release runs is not logged: only calls that someone made are.
    bool finalRelease_ = false;
};

} // namespace support

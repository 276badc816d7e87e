#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/SharedPointer.h"
#include "core/String.h"
#include "render/RenderState.h"
#include "render/SamplerState.h"
#include "render/Shader.h"
#include "render/ShaderState.h"
#include "render/Texture.h"
#include "render/TextureState.h"
#include "render/VariableBuffer.h"
#include "render/VariableBufferFormat.h"
#include "scene/material/RenderVariable.h"

namespace rezezaz::scene {
class MaterialManager;
}

namespace rezezaz::scene::material {

class SceneParameters;

// One drawing pass of a render path: the render and shader states to draw with, the textures bound
// per shader type and unit, the shader's variable buffers per shader type and the named render
// variables that fill them. compile() links the names to what the shader state reports about its
// variables; the render manager binds the states and textures and refreshes the buffers through
// updateVariables. Owned by its render path (and by the copies a shared material makes of it).
class RenderPass : public core::Object
{
public:
    using ShaderType = render::Shader::ShaderType;
    static constexpr int NUM_SHADER_TYPES = render::Shader::NUM_SHADER_TYPES;

    // One shader variable buffer.
    struct BufferData
    {
        // The buffer's location name, taken from its format.
        core::String name;
        core::IntrusivePointer<render::VariableBuffer> buffer;
        // The OR of the scopes of the variables linked into it.
        int scope = 0;
        // Indexes into the pass's variables, in link order.
        core::Collection<int> variables;
        // Made by this pass's compile: destroyed when the pass replaces it or is destroyed, so that the
        // buffer manager, which keeps every buffer until it is destroyed, does not keep it for ever.
        bool own = false;
    };

    // One texture binding: by unit in the per-type lists, or by name until compile binds it.
    struct TextureData
    {
        // The unit's location name, or the name to look for.
        core::String name;
        core::IntrusivePointer<render::Texture> texture;
        core::String samplerName;
        render::SamplerState samplerState;
        render::TextureState textureState;
    };

    struct VariableData
    {
        core::String name;
        core::SharedPointer<RenderVariable> variable;
        // Byte offset inside its buffer; -1 while unlinked.
        int location = -1;
        int scope = 0;
    };

    // A pass with a render state and a shader state of its own, made by the manager.
    explicit RenderPass(MaterialManager* manager);
    // A pass drawing with the given states (either may be null), owning neither.
    RenderPass(MaterialManager* manager, render::RenderState* renderState, render::ShaderState* shaderState);
    // A copy of source that shares its states, buffers, textures and variables.
    RenderPass(MaterialManager* manager, RenderPass* source);

    // Destroys the own states, lets go of both states and empties the texture and buffer lists.
    void destroy() override;

    // An own render state is destroyed first; the new one is not owned.
    void setRenderState(render::RenderState* state);
    void setShaderState(render::ShaderState* state);
    // Makes a shader state of the pass's own first when it has none.
    void setShader(ShaderType type, render::Shader* shader);

    // Keeps the texture by name until compile binds it to the unit of that location name.
    bool setTexture(const core::String& name, render::Texture* texture, const core::String& samplerName,
                    const render::SamplerState& samplerState, const render::TextureState& textureState);
    // Binds the texture to a unit and hands the sampler and texture states to the render state; false
    // without a render state, for a shader type outside 0-2 or for a negative unit.
    bool setTexture(ShaderType type, int index, render::Texture* texture, const render::SamplerState& samplerState,
                    const render::TextureState& textureState);
    // The lowest shader type and unit whose location name is name or samplerName + "+" + name.
    bool findTexture(ShaderType& type, int& index, const core::String& name,
                     const core::String& samplerName) const;
    bool setBuffer(ShaderType type, int index, render::VariableBuffer* buffer);
    bool setTextureLocationName(ShaderType type, int index, const core::String& name);
    bool setBufferLocationName(ShaderType type, int index, const core::String& name);
    bool addVariable(const core::String& name, const core::SharedPointer<RenderVariable>& variable, int scope);

    // Refreshes every buffer whose highest scope is the given one.
    void updateVariables(int scope, SceneParameters* parameters);
    // True when the render state writes no depth.
    bool isDepthSorted() const;
    // Links variables and textures to the shader state's reports; may run again after a context change.
    bool compile();

    void setName(const core::String& name) { this->name = name; }
    const core::String& getName() const { return name; }
    render::RenderState* getRenderState() const { return renderState.get(); }
    render::ShaderState* getShaderState() const { return shaderState.get(); }
    bool ownsRenderState() const { return ownRenderState.get() != nullptr; }
    bool ownsShaderState() const { return ownShaderState.get() != nullptr; }
    int getNumTextures(ShaderType type) const;
    // Null for a unit outside the list.
    const TextureData* getTexture(ShaderType type, int index) const;
    int getNumBuffers(ShaderType type) const;
    const BufferData* getBuffer(ShaderType type, int index) const;
    int getNumVariables() const { return variables.size(); }
    const VariableData& getVariable(int index) const { return variables[index]; }
    int getNumPendingTextures() const { return pendingTextures.size(); }
    const TextureData& getPendingTexture(int index) const { return pendingTextures[index]; }

private:
    static bool validSlot(int type, int index);
    void populateLocationNames();
    void createBuffers();
    void linkVariables();
    bool linkTextures();
    // The format variable of that name, with the type and index of its buffer; null when none.
    render::VariableBufferFormat::Variable* findFormatVariable(const core::String& name, ShaderType& type,
                                                               int& index) const;

    MaterialManager* manager;
    core::String name;
    core::IntrusivePointer<render::RenderState> renderState;
    core::IntrusivePointer<render::RenderState> ownRenderState;
    core::IntrusivePointer<render::ShaderState> shaderState;
    core::IntrusivePointer<render::ShaderState> ownShaderState;
    core::Collection<BufferData> buffers[NUM_SHADER_TYPES];
    core::Collection<TextureData> textures[NUM_SHADER_TYPES];
    core::Collection<VariableData> variables;
    core::Collection<TextureData> pendingTextures;
};

} // namespace rezezaz::scene::material

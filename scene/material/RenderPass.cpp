#include "scene/material/RenderPass.h"

#include "core/Categories.h"
#include "core/DestroyHeld.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "scene/BufferManager.h"
#include "scene/MaterialManager.h"

#include <cstdint>

namespace rezezaz::scene::material {

namespace {

using Variable = render::VariableBufferFormat::Variable;

constexpr int VARIABLE_BUFFER_USAGE = 4; // dynamic
constexpr int WRITE_ACCESS = 2;

void warn(const core::String& text)
{
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_SCENE, core::Logger::WARNING, text);
}

bool isSampler(int format)
{
    return render::VariableBufferFormat::getFormatType(format) == render::VariableBufferFormat::Type_SAMPLER;
}

Variable* findByFullName(const render::VariableBufferFormat& format, const core::String& name)
{
    for (int i = 0; i < format.getNumVariables(); ++i) {
        Variable* variable = format.getVariable(i).get();
        if (variable != nullptr && variable->fullName.equals(name)) {
            return variable;
        }
    }
    return nullptr;
}

// The entry at (type, index) of a per-shader-type table, the table grown to hold it; null for a slot
// outside the shader types or a negative index.
template <class T> T* slotOf(core::Collection<T> (&table)[RenderPass::NUM_SHADER_TYPES], int type, int index)
{
    if (type < 0 || type >= RenderPass::NUM_SHADER_TYPES || index < 0) {
        return nullptr;
    }
    if (table[type].size() <= index) {
        table[type].resize(index + 1);
    }
    return &table[type][index];
}

} // namespace

RenderPass::RenderPass(MaterialManager* manager_) : manager(manager_)
{
    if (manager != nullptr) {
        ownRenderState = manager->createRenderState();
        renderState = ownRenderState;
        ownShaderState = manager->createShaderState();
        shaderState = ownShaderState;
    }
}

RenderPass::RenderPass(MaterialManager* manager_, render::RenderState* renderState_,
                       render::ShaderState* shaderState_)
    : manager(manager_), renderState(renderState_), shaderState(shaderState_)
{}

RenderPass::RenderPass(MaterialManager* manager_, RenderPass* source) : manager(manager_)
{
    if (source == nullptr) {
        return;
    }
    name = source->name;
    renderState = source->renderState;
    shaderState = source->shaderState;
    for (int type = 0; type < NUM_SHADER_TYPES; ++type) {
        buffers[type] = source->buffers[type];
        // Shared until this pass makes its own: the source's are the source's to destroy.
        for (int j = 0; j < buffers[type].size(); ++j) {
            buffers[type][j].own = false;
        }
        textures[type] = source->textures[type];
    }
    variables = source->variables;
    pendingTextures = source->pendingTextures;
}

void RenderPass::destroy()
{
    core::destroyHeld(ownRenderState);
    core::destroyHeld(ownShaderState);
    renderState = nullptr;
    shaderState = nullptr;
    for (int type = 0; type < NUM_SHADER_TYPES; ++type) {
        textures[type].clear();
        core::Collection<BufferData> old = buffers[type];
        buffers[type].clear();
        for (int j = 0; j < old.size(); ++j) {
            if (old[j].own && old[j].buffer) {
                old[j].buffer->destroy();
            }
        }
    }
}

void RenderPass::setRenderState(render::RenderState* state)
{
    // Given back its own state, the pass keeps it as a plain one.
    core::destroyHeld(ownRenderState, state);
    renderState = state;
}

void RenderPass::setShaderState(render::ShaderState* state)
{
    core::destroyHeld(ownShaderState, state);
    shaderState = state;
}

void RenderPass::setShader(ShaderType type, render::Shader* shader)
{
    if (!shaderState && manager != nullptr) {
        ownShaderState = manager->createShaderState();
        shaderState = ownShaderState;
    }
    // The manager may have no shader state to give (no device, or the device refused one).
    if (shaderState) {
        shaderState->setShader(type, shader);
    }
}

bool RenderPass::setTexture(const core::String& name_, render::Texture* texture, const core::String& samplerName,
                            const render::SamplerState& samplerState, const render::TextureState& textureState)
{
    TextureData data;
    data.name = name_;
    data.texture = texture;
    data.samplerName = samplerName;
    data.samplerState = samplerState;
    data.textureState = textureState;
    pendingTextures.add(data);
    return true;
}

bool RenderPass::setTexture(ShaderType type, int index, render::Texture* texture,
                            const render::SamplerState& samplerState, const render::TextureState& textureState)
{
    TextureData* entry = renderState ? slotOf(textures, type, index) : nullptr;
    if (!entry) {
        return false;
    }
    entry->texture = texture;
    entry->samplerState = samplerState;
    entry->textureState = textureState;
    renderState->setSamplerState(type, index, samplerState);
    renderState->setTextureState(type, index, textureState);
    return true;
}

bool RenderPass::findTexture(ShaderType& type, int& index, const core::String& name_,
                             const core::String& samplerName) const
{
    const core::String qualified = samplerName + "+" + name_;
    for (int t = 0; t < NUM_SHADER_TYPES; ++t) {
        for (int i = 0; i < textures[t].size(); ++i) {
            const core::String& location = textures[t][i].name;
            if (location.equals(name_) || location.equals(qualified)) {
                type = static_cast<ShaderType>(t);
                index = i;
                return true;
            }
        }
    }
    return false;
}

bool RenderPass::setBuffer(ShaderType type, int index, render::VariableBuffer* buffer)
{
    auto* entry = slotOf(buffers, type, index);
    if (!entry) {
        return false;
    }
    core::IntrusivePointer<render::VariableBuffer> old = entry->own ? entry->buffer : nullptr;
    entry->buffer = buffer;
    entry->own = false;
    if (old && old.get() != buffer) {
        old->destroy();
    }
    return true;
}

bool RenderPass::setTextureLocationName(ShaderType type, int index, const core::String& name_)
{
    auto* entry = slotOf(textures, type, index);
    if (!entry) {
        return false;
    }
    entry->name = name_;
    return true;
}

bool RenderPass::setBufferLocationName(ShaderType type, int index, const core::String& name_)
{
    auto* entry = slotOf(buffers, type, index);
    if (!entry) {
        return false;
    }
    entry->name = name_;
    return true;
}

bool RenderPass::addVariable(const core::String& name_, const core::SharedPointer<RenderVariable>& variable,
                             int scope)
{
    VariableData data;
    data.name = name_;
    data.variable = variable;
    data.location = -1;
    data.scope = scope;
    variables.add(data);
    return true;
}

void RenderPass::updateVariables(int scope, SceneParameters* parameters)
{
    for (int type = 0; type < NUM_SHADER_TYPES; ++type) {
        for (int j = 0; j < buffers[type].size(); ++j) {
            BufferData& data = buffers[type][j];
            // A buffer holding variables of several scopes is refreshed for its highest one only.
            if ((data.scope & scope) == 0 || (data.scope & ~scope) > scope || !data.buffer) {
                continue;
            }
            unsigned char* bytes = data.buffer->lock(WRITE_ACCESS);
            if (bytes == nullptr) {
                continue;
            }
            for (int k = 0; k < data.variables.size(); ++k) {
                VariableData& variable = variables[data.variables[k]];
                variable.variable->update(bytes + variable.location, parameters);
            }
            data.buffer->unlock();
        }
    }
}

bool RenderPass::isDepthSorted() const
{
    render::DepthState depth;
    return renderState && renderState->getDepthState(depth) && !depth.write;
}

bool RenderPass::compile()
{
    // A recompile (after a context change, or of a shared material's copy) links afresh rather than
    // adding every variable to its buffer once more.
    for (int type = 0; type < NUM_SHADER_TYPES; ++type) {
        for (int j = 0; j < buffers[type].size(); ++j) {
            buffers[type][j].variables.clear();
            buffers[type][j].scope = 0;
        }
    }
    for (int i = 0; i < variables.size(); ++i) {
        variables[i].location = -1;
    }
    populateLocationNames();
    createBuffers();
    linkVariables();
    return linkTextures();
}

int RenderPass::getNumTextures(ShaderType type) const
{
    return validSlot(type, 0) ? textures[type].size() : 0;
}

const RenderPass::TextureData* RenderPass::getTexture(ShaderType type, int index) const
{
    return validSlot(type, index) && index < textures[type].size() ? &textures[type][index] : nullptr;
}

int RenderPass::getNumBuffers(ShaderType type) const
{
    return validSlot(type, 0) ? buffers[type].size() : 0;
}

const RenderPass::BufferData* RenderPass::getBuffer(ShaderType type, int index) const
{
    return validSlot(type, index) && index < buffers[type].size() ? &buffers[type][index] : nullptr;
}

bool RenderPass::validSlot(int type, int index)
{
    return type >= 0 && type < NUM_SHADER_TYPES && index >= 0;
}

void RenderPass::populateLocationNames()
{
    if (!shaderState) {
        return;
    }
    for (int t = 0; t < NUM_SHADER_TYPES; ++t) {
        const ShaderType type = static_cast<ShaderType>(t);
        const int count = shaderState->getNumVariableBuffers(type);
        for (int j = 0; j < count; ++j) {
            core::IntrusivePointer<render::VariableBufferFormat> format = shaderState->getVariableBufferFormat(type, j);
            if (!format) {
                continue;
            }
            setBufferLocationName(type, j, format->getName());
            for (int v = 0; v < format->getNumVariables(); ++v) {
                const Variable* variable = format->getVariable(v).get();
                if (variable != nullptr && isSampler(variable->format)) {
                    setTextureLocationName(type, variable->textureUnit, variable->name);
                }
            }
        }
    }
}

void RenderPass::createBuffers()
{
    if (!shaderState || manager == nullptr || manager->getBufferManager() == nullptr) {
        return;
    }
    for (int t = 0; t < NUM_SHADER_TYPES; ++t) {
        const ShaderType type = static_cast<ShaderType>(t);
        const int count = shaderState->getNumVariableBuffers(type);
        for (int j = 0; j < count; ++j) {
            core::IntrusivePointer<render::VariableBufferFormat> format = shaderState->getVariableBufferFormat(type, j);
            core::IntrusivePointer<render::VariableBuffer> buffer;
            if (format) {
                try {
                    buffer = manager->getBufferManager()->createVariableBuffer(VARIABLE_BUFFER_USAGE, WRITE_ACCESS,
                                                                               format);
                } catch (const core::Exception&) {
                    // Logged by the buffer manager; the pass draws without the buffer.
                }
            }
            setBuffer(type, j, buffer.get());
            if (buffer) {
                buffers[type][j].own = true;
            }
        }
    }
}

void RenderPass::linkVariables()
{
    for (int i = 0; i < variables.size(); ++i) {
        VariableData& data = variables[i];
        ShaderType type = render::Shader::ShaderType_VERTEX;
        int index = -1;
        Variable* found = data.variable ? findFormatVariable(data.name, type, index) : nullptr;
        if (found == nullptr) {
            if (shaderState) {
                warn(core::String("RenderVariable not found with name:") + data.name);
            }
            continue;
        }
        const int format = data.variable->getFormat();
        const int64_t difference = static_cast<int64_t>(static_cast<int32_t>(found->format ^ format));
        if ((difference & static_cast<int64_t>(0xFFFFFFFF0000FFFFLL)) != 0) {
            warn(core::String("RenderVariable:") + data.name + " format does not match format:" +
                 static_cast<int>(found->format) + "!=" + format);
            continue;
        }
        data.location = found->offset;
        data.variable->linked(this);
        BufferData& buffer = buffers[type][index];
        buffer.variables.add(i);
        buffer.scope |= data.scope;
        found->format |= data.variable->getFormat();
    }
}

render::VariableBufferFormat::Variable* RenderPass::findFormatVariable(const core::String& name_, ShaderType& type,
                                                                       int& index) const
{
    index = -1;
    const int dot = name_.find('.');
    if (dot > 0) {
        const core::String block = name_.substr(0, dot);
        const core::String member = name_.substr(dot + 1, -1);
        for (int t = 0; t < NUM_SHADER_TYPES; ++t) {
            for (int j = 0; j < buffers[t].size(); ++j) {
                const core::IntrusivePointer<render::VariableBuffer>& buffer = buffers[t][j].buffer;
                core::IntrusivePointer<render::VariableBufferFormat> format =
                    buffer ? buffer->getVariableBufferFormat() : nullptr;
                if (format && format->getName().equals(block)) {
                    type = static_cast<ShaderType>(t);
                    index = j;
                    return findByFullName(*format, member);
                }
            }
        }
    }
    for (int t = 0; t < NUM_SHADER_TYPES; ++t) {
        for (int j = 0; j < buffers[t].size(); ++j) {
            const core::IntrusivePointer<render::VariableBuffer>& buffer = buffers[t][j].buffer;
            core::IntrusivePointer<render::VariableBufferFormat> format =
                buffer ? buffer->getVariableBufferFormat() : nullptr;
            if (!format || !format->getPrimary()) {
                continue;
            }
            type = static_cast<ShaderType>(t);
            index = j;
            if (Variable* variable = findByFullName(*format, name_)) {
                return variable;
            }
        }
    }
    return nullptr;
}

bool RenderPass::linkTextures()
{
    for (int i = 0; i < pendingTextures.size(); ++i) {
        const TextureData& pending = pendingTextures[i];
        ShaderType type = render::Shader::ShaderType_VERTEX;
        int index = 0;
        if (findTexture(type, index, pending.name, pending.samplerName)) {
            setTexture(type, index, pending.texture.get(), pending.samplerState, pending.textureState);
        } else {
            warn(core::String("Texture not found with name:") + pending.name);
        }
    }
    return true;
}

} // namespace rezezaz::scene::material

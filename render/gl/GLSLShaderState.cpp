#include "render/gl/GLSLShaderState.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/SharedPointer.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLSLShader.h"
#include "render/gl/GLVertexFormat.h"

#include <GL/glew.h>

#include <string>
#include <vector>

namespace rezezaz::render {

namespace {

GLuint shaderHandle(Shader* shader)
{
    Shader* root = shader != nullptr ? shader->getRootShader() : nullptr;
    auto* glsl = dynamic_cast<GLSLShader*>(root);
    return glsl != nullptr ? glsl->getHandle() : 0;
}

} // namespace

GLSLShaderState::GLSLShaderState(GLRenderDevice* device) : device(device) {}

void GLSLShaderState::destroy()
{
    destroyContext();
    shaders.clear();
    variableBufferFormats.clear();
    if (device != nullptr) {
        device->shaderStateDestroyed(this);
        device = nullptr;
    }
    for (auto& layout : vertexLayouts) {
        if (layout) {
            layout->destroy();
        }
    }
    vertexLayouts.clear();
    BaseRenderResource::destroy();
}

bool GLSLShaderState::create()
{
    createContext();
    if (device != nullptr) {
        device->shaderStateCreated(this);
    }
    return true;
}

bool GLSLShaderState::createContext()
{
    if (program == 0) {
        program = glCreateProgram();
    }
    return program != 0;
}

bool GLSLShaderState::destroyContext()
{
    // Without its device or its context the name may be another context's: it is only forgotten.
    if (program != 0 && device.inContext()) {
        glDeleteProgram(program);
    }
    program = 0;
    linked = false;
    return true;
}

void GLSLShaderState::setShader(Shader::ShaderType type, core::IntrusivePointer<Shader> shader)
{
    while (shaders.size() <= type) {
        shaders.add(core::IntrusivePointer<Shader>());
    }
    const GLuint old = shaderHandle(shaders[type].get());
    if (old != 0 && program != 0) {
        glDetachShader(program, old);
    }
    shaders[type] = shader;
    const GLuint handle = shaderHandle(shader.get());
    if (handle != 0 && program != 0) {
        glAttachShader(program, handle);
    }
    needsLink = true;
    linked = false;
}

core::IntrusivePointer<Shader> GLSLShaderState::getShader(Shader::ShaderType type)
{
    return type >= 0 && type < shaders.size() ? shaders[type] : core::IntrusivePointer<Shader>();
}

int GLSLShaderState::getNumVariableBuffers(Shader::ShaderType type)
{
    if (needsLink) {
        try {
            link();
        } catch (const core::Exception&) {
        }
    }
    return type == Shader::ShaderType_VERTEX ? variableBufferFormats.size() : 0;
}

core::IntrusivePointer<VariableBufferFormat> GLSLShaderState::getVariableBufferFormat(Shader::ShaderType type, int index)
{
    if (needsLink) {
        try {
            link();
        } catch (const core::Exception&) {
        }
    }
    if (type != Shader::ShaderType_VERTEX || index < 0 || index >= variableBufferFormats.size()) {
        return nullptr;
    }
    return variableBufferFormats[index];
}

bool GLSLShaderState::link()
{
    bool any = false;
    for (const auto& shader : shaders) {
        any = any || shader;
    }
    if (!any || program == 0) {
        return false;
    }
    needsLink = false;
    linked = false;
    glLinkProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_TRUE) {
        linked = true;
        // The layouts and formats of an earlier link no longer hold.
        for (auto& layout : vertexLayouts) {
            if (layout) {
                layout->destroy();
            }
        }
        vertexLayouts.clear();
        reflect();
        return true;
    }
    GLint logLength = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &logLength);
    std::vector<GLchar> log(static_cast<size_t>(logLength > 0 ? logLength : 0) + 1, 0);
    if (logLength > 0) {
        glGetProgramInfoLog(program, logLength, nullptr, log.data());
    }
    core::Error::unknown(core::Categories::REZEZAZ_RENDER, true, core::String("glsl link error:\n") + log.data());
}

bool GLSLShaderState::activate()
{
    if (needsLink) {
        try {
            link();
        } catch (const core::Exception&) {
        }
    }
    glUseProgram(linked ? program : 0);
    return linked;
}

void GLSLShaderState::reflect()
{
    using Variable = VariableBufferFormat::Variable;
    variableBufferFormats.clear();

    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    // Indexed by the active uniform index; a block member leaves the loose list (null here).
    std::vector<core::SharedPointer<Variable>> loose(static_cast<size_t>(count > 0 ? count : 0));
    int samplers = 0;
    for (GLint i = 0; i < count; ++i) {
        GLchar name[128] = {};
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program, static_cast<GLuint>(i), sizeof(name), nullptr, &size, &type, name);
        core::SharedPointer<Variable> variable(new Variable);
        variable->name = core::String(name);
        variable->format = GLRenderDevice::getVariableFormat(type);
        variable->arraySize = size;
        variable->index = glGetUniformLocation(program, name);
        if (VariableBufferFormat::getFormatType(variable->format) == VariableBufferFormat::Type_SAMPLER) {
            variable->textureUnit = samplers++;
        }
        loose[static_cast<size_t>(i)] = variable;
    }

    if (device != nullptr && device->getGLVersion() > 30) {
        GLint blocks = 0;
        glGetProgramiv(program, GL_ACTIVE_UNIFORM_BLOCKS, &blocks);
        for (GLint b = 0; b < blocks; ++b) {
            GLchar name[128] = {};
            glGetActiveUniformBlockName(program, static_cast<GLuint>(b), sizeof(name), nullptr, name);
            GLint dataSize = 0;
            GLint members = 0;
            glGetActiveUniformBlockiv(program, static_cast<GLuint>(b), GL_UNIFORM_BLOCK_DATA_SIZE, &dataSize);
            glGetActiveUniformBlockiv(program, static_cast<GLuint>(b), GL_UNIFORM_BLOCK_ACTIVE_UNIFORMS, &members);
            std::vector<GLint> indices(static_cast<size_t>(members > 0 ? members : 0));
            if (members > 0) {
                glGetActiveUniformBlockiv(program, static_cast<GLuint>(b), GL_UNIFORM_BLOCK_ACTIVE_UNIFORM_INDICES,
                                          indices.data());
            }
            core::IntrusivePointer<VariableBufferFormat> format =
                new VariableBufferFormat(false, core::String(name), dataSize, members);
            for (GLint j = 0; j < members; ++j) {
                const GLint index = indices[static_cast<size_t>(j)];
                core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_RENDER, core::Logger::ALERT,
                                                      core::String("Uniform block uniform index:") + index);
                core::SharedPointer<Variable> member;
                if (index >= 0 && index < count && loose[static_cast<size_t>(index)]) {
                    member = loose[static_cast<size_t>(index)];
                    loose[static_cast<size_t>(index)] = core::SharedPointer<Variable>();
                } else {
                    member = core::SharedPointer<Variable>(new Variable);
                }
                member->index = index;
                // Where OpenGL places the member in the block's data.
                GLint offset = 0;
                const GLuint uniform = static_cast<GLuint>(index);
                glGetActiveUniformsiv(program, 1, &uniform, GL_UNIFORM_OFFSET, &offset);
                member->offset = offset;
                format->setStructVariable(j, member);
            }
            format->compile();
            variableBufferFormats.add(format);
        }
    }

    int offset = 0;
    int remaining = 0;
    int previousSize = 0;
    for (auto& variable : loose) {
        if (!variable) {
            continue;
        }
        offset += previousSize;
        variable->offset = offset;
        previousSize = VariableBufferFormat::getFormatSize(variable->format);
        ++remaining;
    }
    if (remaining > 0) {
        core::IntrusivePointer<VariableBufferFormat> primary =
            new VariableBufferFormat(true, core::String(), offset + previousSize, remaining);
        int slot = 0;
        for (auto& variable : loose) {
            if (variable) {
                primary->setStructVariable(slot++, variable);
            }
        }
        primary->compile();
        variableBufferFormats.insert(variableBufferFormats.begin(), primary);
    }
}

GLSLVertexLayout* GLSLShaderState::findVertexLayout(GLVertexFormat* format)
{
    const int index = format->getDeviceIndex();
    while (vertexLayouts.size() <= index) {
        vertexLayouts.add(core::IntrusivePointer<GLSLVertexLayout>());
    }
    if (!vertexLayouts[index]) {
        core::IntrusivePointer<GLSLVertexLayout> layout = new GLSLVertexLayout(device);
        layout->create(format, this);
        vertexLayouts[index] = layout;
    }
    return vertexLayouts[index].get();
}

void GLSLShaderState::dropVertexLayout(int deviceIndex)
{
    if (deviceIndex < 0 || deviceIndex >= vertexLayouts.size()) {
        return;
    }
    if (vertexLayouts[deviceIndex]) {
        vertexLayouts[deviceIndex]->destroy();
    }
    vertexLayouts.erase(vertexLayouts.begin() + deviceIndex);
}

} // namespace rezezaz::render

#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/ShaderState.h"
#include "render/VariableBufferFormat.h"
#include "render/gl/GLSLVertexLayout.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLRenderDevice;
class GLVertexFormat;

// One GLSL program: a shader per stage, linked when first needed, its uniforms reflected into
// variable buffer formats (the loose uniforms first, then each uniform block), and per vertex
// format the attribute locations the device binds.
class GLSLShaderState : public BaseRenderResource<ShaderState>
{
public:
    explicit GLSLShaderState(GLRenderDevice* device);

    // Deletes the program, lets go of the shaders, unregisters from the device, drops every vertex
    // layout, then tells the listener.
    void destroy() override;

    ShaderState* getRootShaderState() override { return this; }
    // Makes the program and registers with the device.
    bool create() override;
    bool createContext();
    bool destroyContext();
    void setShader(Shader::ShaderType type, core::IntrusivePointer<Shader> shader) override;
    core::IntrusivePointer<Shader> getShader(Shader::ShaderType type) override;
    // All of the program's blocks are reported under the vertex stage; other stages have none.
    int getNumVariableBuffers(Shader::ShaderType type) override;
    // Null for another stage or an index out of range.
    core::IntrusivePointer<VariableBufferFormat> getVariableBufferFormat(Shader::ShaderType type, int index) override;

    // Links when a shader changed since the last try. False when no stage holds a shader; a link
    // error throws Error::unknown with "glsl link error:\n" and the info log, and is not tried again
    // until a shader changes.
    bool link();
    // Links when needed and makes the program current. False, with program 0 current, when it has
    // no shader or its link failed.
    bool activate();
    // The attribute layout of format in this program, made on first use.
    GLSLVertexLayout* findVertexLayout(GLVertexFormat* format);
    // Drops the layout kept at a vertex format's device index (the format is going away); later
    // layouts move down one place with their formats.
    void dropVertexLayout(int deviceIndex);

    unsigned int getProgram() const { return program; }
    bool isLinked() const { return linked; }

private:
    void reflect();

    GLDeviceRef device;
    uint32_t program = 0;
    bool needsLink = true;
    bool linked = false;
    core::Collection<core::IntrusivePointer<Shader>> shaders;
    core::Collection<core::IntrusivePointer<VariableBufferFormat>> variableBufferFormats;
    core::Collection<core::IntrusivePointer<GLSLVertexLayout>> vertexLayouts;
};

} // namespace rezezaz::render

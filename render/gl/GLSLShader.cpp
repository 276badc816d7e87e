#include "render/gl/GLSLShader.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"

#include <GL/glew.h>

#include <vector>

namespace rezezaz::render {

GLSLShader::GLSLShader(GLRenderDevice* device) : device(device) {}

void GLSLShader::destroy()
{
    destroyContext();
    glShaderKind = 0;
    BaseRenderResource::destroy();
}

bool GLSLShader::destroyContext()
{
    // Without its device or its context the name may be another context's: it is only forgotten.
    if (handle != 0 && device.inContext()) {
        glDeleteShader(handle);
    }
    handle = 0;
    return true;
}

bool GLSLShader::create(ShaderType type, const core::String& newProfile, const core::String& newCode)
{
    shaderType = type;
    profile = newProfile;
    code = newCode;
    GLenum kind = 0;
    switch (type) {
    case ShaderType_VERTEX:
        kind = GL_VERTEX_SHADER;
        break;
    case ShaderType_FRAGMENT:
        kind = GL_FRAGMENT_SHADER;
        break;
    case ShaderType_GEOMETRY:
        kind = GL_GEOMETRY_SHADER;
        break;
    default:
        return false;
    }
    destroyContext();
    glShaderKind = kind;
    handle = glCreateShader(kind);
    const GLchar* text = code.c_str();
    const GLint length = code.length();
    glShaderSource(handle, 1, &text, &length);
    glCompileShader(handle);
    GLint compiled = GL_FALSE;
    glGetShaderiv(handle, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) {
        return true;
    }
    GLint logLength = 0;
    glGetShaderiv(handle, GL_INFO_LOG_LENGTH, &logLength);
    std::vector<GLchar> log(static_cast<size_t>(logLength > 0 ? logLength : 0) + 1, 0);
    if (logLength > 0) {
        glGetShaderInfoLog(handle, logLength, nullptr, log.data());
    }
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_RENDER, core::Logger::DEBUG,
                                          core::String("program being compiled:\n") + code);
    core::Error::unknown(core::Categories::REZEZAZ_RENDER, true, core::String("glsl compile error:\n") + log.data());
}

} // namespace rezezaz::render

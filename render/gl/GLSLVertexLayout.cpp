#include "render/gl/GLSLVertexLayout.h"

#include "core/Categories.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLSLShaderState.h"
#include "render/gl/GLVertexFormat.h"

#include <GL/glew.h>

#include <string>

namespace rezezaz::render {

GLSLVertexLayout::GLSLVertexLayout(GLRenderDevice* device) : device(device) {}

bool GLSLVertexLayout::create(GLVertexFormat* format, GLSLShaderState* program)
{
    locations.clear();
    const int count = format->getNumElements();
    for (int i = 0; i < count; ++i) {
        const core::String& name = format->getElementName(i);
        const GLuint handle = program->getProgram();
        GLint location = glGetAttribLocation(handle, name.c_str());
        if (location == -1) {
            const std::string indexed = std::string(name.c_str()) + std::to_string(format->getElementIndex(i));
            location = glGetAttribLocation(handle, indexed.c_str());
        }
        if (location == -1) {
            location = GLRenderDevice::getFixedAttribFromSemantic(format->getElementSemantic(i), format->getElementIndex(i));
        }
        core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_RENDER, core::Logger::ALERT,
                                              core::String("Semantic name:") + name + " found location:" +
                                                  core::String(std::to_string(location).c_str()));
        locations.add(location);
    }
    return true;
}

void GLSLVertexLayout::destroy()
{
    locations.clear();
}

} // namespace rezezaz::render

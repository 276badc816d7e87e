#include "render/gl/GLRenderTarget.h"

#include <GL/glew.h>

namespace rezezaz::render {

GLRenderTarget::~GLRenderTarget() = default;

void GLRenderTarget::destroy()
{
    BaseRenderResource<RenderTarget>::destroy();
}

RenderTarget* GLRenderTarget::getRootRenderTarget()
{
    return this;
}

bool GLRenderTarget::isPrimary() const
{
    return false;
}

bool GLRenderTarget::isValid() const
{
    return false;
}

int GLRenderTarget::getWidth() const
{
    return 0;
}

int GLRenderTarget::getHeight() const
{
    return 0;
}

AdaptorInfo* GLRenderTarget::getAdaptorInfo() const
{
    return adaptorInfo.get();
}

bool GLRenderTarget::swap()
{
    return false;
}

void GLRenderTarget::reset() {}

bool GLRenderTarget::activate()
{
    return false;
}

bool GLRenderTarget::deactivate()
{
    return false;
}

bool GLRenderTarget::activateAdditionalContext()
{
    return false;
}

void GLRenderTarget::deactivateAdditionalContext() {}

bool GLRenderTarget::isCurrent() const
{
    return true;
}

void GLRenderTarget::findAdaptorInfo()
{
    const GLubyte* renderer = glGetString(GL_RENDERER);
    core::IntrusivePointer<AdaptorInfo> info = new AdaptorInfo();
    info->description = renderer != nullptr ? core::String(renderer) : core::String();
    adaptorInfo = info;
}

} // namespace rezezaz::render

#include "render/gl/GLQuery.h"

#include "core/Error.h"
#include "core/String.h"

#include <GL/glew.h>

namespace rezezaz::render {

GLQuery::GLQuery(GLRenderDevice* device) : device_(device) {}

void GLQuery::destroy()
{
    // Without its device or its context the name may be another context's: it is only forgotten.
    if (handle_ != 0 && device_.inContext()) {
        GLuint handle = handle_;
        glDeleteQueries(1, &handle);
    }
    handle_ = 0;
    BaseRenderResource::destroy();
}

Query* GLQuery::getRootQuery()
{
    return this;
}

bool GLQuery::create(QueryType type)
{
    if (type != QueryType_OCCLUSION) {
        core::Error::unknown(core::String(), true, "GLQuery only supports QueryType_OCCLUSION");
    }
    type_ = type;
    if (handle_ == 0) {
        GLuint handle = 0;
        glGenQueries(1, &handle);
        handle_ = handle;
    }
    return true;
}

void GLQuery::beginQuery()
{
    if (handle_ != 0) {
        glBeginQuery(GL_SAMPLES_PASSED, handle_);
    }
}

void GLQuery::endQuery()
{
    if (handle_ != 0) {
        glEndQuery(GL_SAMPLES_PASSED);
    }
}

int GLQuery::getResult()
{
    if (handle_ == 0) {
        return 0;
    }
    GLuint result = 0;
    glGetQueryObjectuiv(handle_, GL_QUERY_RESULT, &result);
    return static_cast<int>(result);
}

} // namespace rezezaz::render

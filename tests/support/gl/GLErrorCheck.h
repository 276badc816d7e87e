#pragma once

#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GL/glx.h>

#include <vector>

namespace gltest {

// Fails the running test for each OpenGL error left in the current context (none without one). The
// GL fixtures call it after every test.
inline void expectNoGLErrorLeft()
{
    if (glXGetCurrentContext() == nullptr) {
        return;
    }
    std::vector<GLenum> left;
    for (GLenum error = glGetError(); error != GL_NO_ERROR && left.size() < 8; error = glGetError()) {
        left.push_back(error);
    }
    for (GLenum error : left) {
        ADD_FAILURE() << "OpenGL error 0x" << std::hex << error << " left after the test";
    }
}

// The OpenGL error a test expects to have caused (GL_NO_ERROR when there is none), taken out of the
// context together with any further ones, so the check after the test does not report it.
inline GLenum takeGLError()
{
    const GLenum first = glGetError();
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
    }
    return first;
}

} // namespace gltest

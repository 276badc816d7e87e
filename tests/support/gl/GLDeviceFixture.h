#pragma once

// GoogleTest before Xlib: Xlib defines None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "support/gl/GLErrorCheck.h"
#include "support/gl/XTestWindow.h"

#include "core/Categories.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/IntrusivePointer.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLXRenderTarget.h"

#include <GL/glew.h>

#include <functional>
#include <string>

namespace gltest {

// A created GLRenderDevice on a window target of its own (320x240), its context current. After each
// test no OpenGL error may be left in the current context: a test that expects one takes it with
// takeGLError, and so says which.
class GLDeviceFixture : public ::testing::Test
{
protected:
    static constexpr int width = 320;
    static constexpr int height = 240;

    void SetUp() override
    {
        GLTEST_REQUIRE(x.get() != nullptr, "X display");
        // The device's own life-cycle lines (the whole extension list among them) would drown the
        // test log; a test that reads them opens the category again.
        rezezaz::core::Log::getInstance()->setCategoryReportingLevel(rezezaz::core::Categories::REZEZAZ_RENDER,
                                                                     rezezaz::core::Logger::WARNING);
        window = x.createWindow(width, height);
        rezezaz::render::WindowRenderTargetFormat format;
        format.threadCount = 1;
        try {
            target = new_GLXRenderTarget(nullptr, window, &format);
        } catch (const rezezaz::core::Exception& e) {
            GLTEST_REQUIRE(false, std::string("GL context: ") + e.getDescription());
        }
        device = static_cast<rezezaz::render::GLRenderDevice*>(new_GLRenderDevice());
        ASSERT_TRUE(device->create(target.get(), options()));
    }

    void TearDown() override
    {
        expectNoGLErrorLeft();
        if (device) {
            device->destroy();
        }
        rezezaz::core::Log::getInstance()->setCategoryReportingLevel(rezezaz::core::Categories::REZEZAZ_RENDER,
                                                                     rezezaz::core::Logger::ALL);
    }

    virtual int options() const { return 0; }

    static GLint integer(GLenum name)
    {
        GLint value = 0;
        glGetIntegerv(name, &value);
        return value;
    }

    static bool enabled(GLenum name) { return glIsEnabled(name) == GL_TRUE; }

    XTestDisplay x;
    Window window = 0;
    rezezaz::core::IntrusivePointer<rezezaz::render::RenderTarget> target;
    rezezaz::core::IntrusivePointer<rezezaz::render::GLRenderDevice> device;
};

// The description of the engine error that call throws, or "" when it throws none.
inline std::string thrownText(const std::function<void()>& call)
{
    try {
        call();
    } catch (const rezezaz::core::Exception& e) {
        return e.getDescription();
    }
    return "";
}

} // namespace gltest

#pragma once

#include "support/gl/GLDeviceFixture.h"

#include "core/math/Matrix4x4.h"
#include "core/math/Vector4.h"
#include "render/IndexData.h"
#include "render/MaterialState.h"
#include "render/VertexData.h"
#include "render/gl/GLBuffer.h"
#include "render/gl/GLVertexFormat.h"

#include <array>
#include <cstring>
#include <vector>

namespace gltest {

// A device whose matrices are identity, so positions are clip coordinates, drawing unlit unless a
// test says otherwise; with helpers to build formats and buffers and to read the back buffer.
class GLDrawFixture : public GLDeviceFixture
{
protected:
    using VertexFormat = rezezaz::render::VertexFormat;

    void SetUp() override
    {
        GLDeviceFixture::SetUp();
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        device->beginScene();
        rezezaz::render::Viewport whole;
        whole.width = width;
        whole.height = height;
        device->setViewport(whole);
        const rezezaz::core::math::Matrix4x4 identity;
        device->setMatrix(rezezaz::render::RenderDevice::MatrixType_PROJECTION, identity);
        device->setMatrix(rezezaz::render::RenderDevice::MatrixType_VIEW, identity);
        device->setMatrix(rezezaz::render::RenderDevice::MatrixType_MODEL, identity);
        rezezaz::render::MaterialState material;
        material.light = false;
        setMaterial(material);
        clear();
    }

    void setMaterial(const rezezaz::render::MaterialState& material)
    {
        rezezaz::core::IntrusivePointer<rezezaz::render::RenderState> state = device->createRenderState();
        state->setMaterialState(material);
        ASSERT_TRUE(device->setRenderState(state.get()));
        states.push_back(state);
    }

    void clear() { device->clear(1 | 2, rezezaz::core::math::Vector4(0, 0, 0, 1)); }

    // A created device vertex format of the elements {semantic, index, format}.
    rezezaz::core::IntrusivePointer<VertexFormat> makeFormat(std::initializer_list<std::array<int, 3>> elements)
    {
        rezezaz::core::IntrusivePointer<VertexFormat> format = device->createVertexFormat();
        format->create();
        for (const auto& e : elements) {
            format->addElement(e[0], e[1], e[2]);
        }
        return format;
    }

    // A created vertex buffer holding bytes.
    rezezaz::core::IntrusivePointer<rezezaz::render::VertexBuffer> makeVertices(
        const rezezaz::core::IntrusivePointer<VertexFormat>& format, const void* bytes, int count, int usage = 1,
        int access = 2)
    {
        rezezaz::core::IntrusivePointer<rezezaz::render::VertexBuffer> buffer = device->createVertexBuffer();
        buffer->create(usage, access, format, count);
        unsigned char* data = buffer->lock(2);
        std::memcpy(data, bytes, static_cast<size_t>(format->getVertexSize()) * count);
        buffer->unlock();
        return buffer;
    }

    rezezaz::core::IntrusivePointer<rezezaz::render::IndexBuffer> makeIndices(
        rezezaz::render::IndexBuffer::IndexFormat indexFormat, const std::vector<uint32_t>& indices)
    {
        rezezaz::core::IntrusivePointer<rezezaz::render::IndexBuffer> buffer = device->createIndexBuffer();
        buffer->create(1, 2, indexFormat, static_cast<int>(indices.size()));
        unsigned char* data = buffer->lock(2);
        for (size_t i = 0; i < indices.size(); ++i) {
            const uint32_t value = indices[i];
            std::memcpy(data + i * static_cast<size_t>(indexFormat), &value, static_cast<size_t>(indexFormat));
        }
        buffer->unlock();
        return buffer;
    }

    // The colour of the back buffer at x, y counted from the top, as 0xRRGGBB.
    static uint32_t pixel(int px, int py)
    {
        GLubyte rgba[4] = {};
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(px, height - 1 - py, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return (uint32_t(rgba[0]) << 16) | (uint32_t(rgba[1]) << 8) | rgba[2];
    }

    // The whole back buffer, bottom row first, RGBA.
    static std::vector<unsigned char> frame()
    {
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    static void* glPointer(GLenum name)
    {
        void* pointer = nullptr;
        glGetPointerv(name, &pointer);
        return pointer;
    }

    std::vector<rezezaz::core::IntrusivePointer<rezezaz::render::RenderState>> states;
};

// x, y, z positions of a quad from (x0, y0) to (x1, y1) in clip space, counter-clockwise, as two
// triangles of the vertices 0 1 2 and 0 2 3.
struct Quad
{
    float x0, y0, x1, y1;
    void corner(int i, float* out) const
    {
        const float xs[4] = {x0, x1, x1, x0};
        const float ys[4] = {y0, y0, y1, y1};
        out[0] = xs[i];
        out[1] = ys[i];
        out[2] = 0.0f;
    }
};

} // namespace gltest

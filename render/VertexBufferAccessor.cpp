#include "render/VertexBufferAccessor.h"

#include <cstdint>
#include <cstring>

namespace rezezaz::render {

namespace {

// value times 65536 truncated toward zero; values beyond the 32-bit range saturate, NaN gives 0.
int32_t toFixed(float value)
{
    const double scaled = static_cast<double>(value) * 65536.0;
    if (!(scaled == scaled)) {
        return 0;
    }
    if (scaled >= 2147483647.0) {
        return INT32_MAX;
    }
    if (scaled <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(scaled);
}

} // namespace

VertexBufferAccessor::VertexBufferAccessor(VertexBuffer* buffer_, int access)
{
    if (buffer_ != nullptr) {
        core::IntrusivePointer<VertexFormat> format = buffer_->getVertexFormat();
        lock(buffer_, format.get(), access);
    }
}

VertexBufferAccessor::VertexBufferAccessor(Buffer* buffer_, VertexFormat* format, int access)
{
    lock(buffer_, format, access);
}

VertexBufferAccessor::~VertexBufferAccessor()
{
    unlock();
}

void VertexBufferAccessor::lock(Buffer* buffer_, VertexFormat* format, int access)
{
    unlock();
    if (buffer_ == nullptr) {
        return;
    }
    buffer = buffer_;
    vertexSize = 0;
    std::memset(elementOffsets, 0, sizeof(elementOffsets));
    fixed = false;
    int colorElement = -1;
    if (format != nullptr) {
        vertexSize = format->getVertexSize() / 4;
        int elements = format->getNumElements();
        for (int i = 0; i < elements && i < MAX_ELEMENTS; ++i) {
            elementOffsets[i] = format->getElementOffset(i) / 4;
        }
        fixed = elements > 0 && (format->getElementFormat(0) & 0xFF) == VertexFormat::Type_FIXED32;
        colorElement = format->findElement(static_cast<int>(VertexFormat::Semantic_COLOR));
    }
    data = buffer->lock(access);
    if (fixed) {
        fixedData = reinterpret_cast<int32_t*>(data);
    } else {
        floatData = reinterpret_cast<float*>(data);
    }
    if (colorElement > 0) {
        colorData = reinterpret_cast<uint32_t*>(data);
    }
}

void VertexBufferAccessor::unlock()
{
    if (buffer != nullptr) {
        buffer->unlock();
    }
    buffer = nullptr;
    data = nullptr;
    fixedData = nullptr;
    floatData = nullptr;
    colorData = nullptr;
}

void VertexBufferAccessor::setComponent(int word, float value)
{
    if (fixed) {
        if (fixedData != nullptr) {
            fixedData[word] = toFixed(value);
        }
    } else if (floatData != nullptr) {
        floatData[word] = value;
    }
}

void VertexBufferAccessor::set2(int vertex, int element, float x, float y)
{
    if (element < 0 || element >= MAX_ELEMENTS) {
        return;
    }
    int word = wordIndex(vertex, element);
    setComponent(word, x);
    setComponent(word + 1, y);
}

void VertexBufferAccessor::set3(int vertex, int element, float x, float y, float z)
{
    if (element < 0 || element >= MAX_ELEMENTS) {
        return;
    }
    int word = wordIndex(vertex, element);
    setComponent(word, x);
    setComponent(word + 1, y);
    setComponent(word + 2, z);
}

void VertexBufferAccessor::setColor(int vertex, int element, uint32_t color)
{
    if (element < 0 || element >= MAX_ELEMENTS || colorData == nullptr) {
        return;
    }
    colorData[wordIndex(vertex, element)] = color;
}

} // namespace rezezaz::render

#include "render/gl/GLBuffer.h"

#include "core/math/Math.h"
#include "core/math/Matrix4x4.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLTexture.h"
#include "render/gl/GLTextureMipPixelBuffer.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace rezezaz::render {

GLBuffer::GLBuffer(GLRenderDevice* device) : device(device) {}

GLBuffer::~GLBuffer() = default;

void GLBuffer::bindTarget(uint32_t name)
{
    glBindBuffer(target, name);
    if (target == GL_ELEMENT_ARRAY_BUFFER) {
        if (GLRenderDevice* owner = device.get()) {
            owner->forgetIndexBinding();
        }
    }
}

GLBuffer::Kind GLBuffer::kind() const
{
    if (indexFormat > 0) {
        return Kind_INDEX;
    }
    if (vertexFormat) {
        return Kind_VERTEX;
    }
    if (textureFormat) {
        return Kind_PIXEL;
    }
    if (variableFormat) {
        return Kind_VARIABLE;
    }
    return Kind_NONE;
}

core::Resource* GLBuffer::resourceThis()
{
    switch (kind()) {
    case Kind_INDEX:
        return static_cast<IndexBuffer*>(this);
    case Kind_VERTEX:
        return static_cast<VertexBuffer*>(this);
    case Kind_PIXEL:
        return static_cast<PixelBuffer*>(this);
    default:
        return static_cast<VariableBuffer*>(this);
    }
}

void GLBuffer::release_()
{
    // Without its device or its context nothing of OpenGL's is touched.
    if (mapped && mappedData != nullptr && handle != 0 && device.inContext()) {
        bindTarget(handle);
        glUnmapBuffer(target);
        bindTarget(0);
    }
    mappedData = nullptr;
    destroyContext();
    copy.reset();
    elementPointers.clear();
    ++storageRevision;
    mapped = false;
    keepCopy = false;
}

void GLBuffer::forgetKind()
{
    // The kind follows from the formats: a buffer made again as another kind must not keep the
    // earlier one's, or its colours would be swapped over bytes it does not have.
    indexFormat = 0;
    vertexFormat = nullptr;
    textureFormat = nullptr;
    variableFormat = nullptr;
    size = 0;
}

void GLBuffer::destroy()
{
    release_();
    BaseRenderResource::destroy();
}

unsigned int GLBuffer::getGLUsage(int usage, int access)
{
    // A usage outside the table still gets a hint, so an upload is never lost.
    int row = usage;
    if (row != 1 && row != 2 && row != 4 && row != 8) {
        row = (usage & (4 | 8)) != 0 ? 4 : (usage & 2) != 0 ? 2 : 1;
    }
    const int column = (access & Access_WRITE) != 0 ? 0 : (access & Access_READ) != 0 ? 1 : 2;
    static const GLenum table[3][3] = {{GL_STATIC_DRAW, GL_STATIC_READ, GL_STATIC_COPY},
                                       {GL_STREAM_DRAW, GL_STREAM_READ, GL_STREAM_COPY},
                                       {GL_DYNAMIC_DRAW, GL_DYNAMIC_READ, GL_DYNAMIC_COPY}};
    const int line = row == 1 ? 0 : row == 2 ? 1 : 2;
    return table[line][column];
}

bool GLBuffer::createContext()
{
    if (handle != 0) {
        return true;
    }
    if (device == nullptr || !device->hardwareBuffersSupported(this)) {
        return true;
    }
    glGenBuffers(1, &handle);
    ++storageRevision;
    bindTarget(handle);
    glBufferData(target, dataSize, nullptr, getGLUsage(usage, access));
    bindTarget(0);
    return handle != 0;
}

int64_t GLBuffer::getLargestIndex()
{
    if (!largestIndexKnown) {
        largestIndex = getLargestIndex(0, size);
        largestIndexKnown = true;
    }
    return largestIndex;
}

int64_t GLBuffer::getLargestIndex(int start, int count) const
{
    const unsigned char* indices = copy.get();
    const int width = static_cast<int>(indexFormat);
    if (indices == nullptr || (width != 2 && width != 4) || start < 0 || count < 0 ||
        int64_t(start) + count > int64_t(dataSize) / width) {
        return -1;
    }
    int64_t largest = -1;
    indices += static_cast<size_t>(start) * width;
    for (int i = 0; i < count; ++i) {
        if (width == 2) {
            uint16_t index;
            std::memcpy(&index, indices + size_t(i) * 2, 2);
            largest = std::max<int64_t>(largest, index);
        } else {
            uint32_t index;
            std::memcpy(&index, indices + size_t(i) * 4, 4);
            largest = std::max<int64_t>(largest, index);
        }
    }
    return largest;
}

bool GLBuffer::destroyContext()
{
    if (handle != 0) {
        if (GLRenderDevice* owner = device.inContext()) {
            glDeleteBuffers(1, &handle);
            // A bound buffer object is unbound as it goes, and its name may come back for another.
            owner->forgetIndexBinding();
        }
    }
    handle = 0;
    ++storageRevision;
    return true;
}

void GLBuffer::createCommon()
{
    largestIndexKnown = false;
    createContext();
    mapped = handle != 0 && device != nullptr && device->hardwareMappingSupported(this);
    if (!mapped) {
        copy.reset(new unsigned char[static_cast<size_t>(std::max(dataSize, 1))]);
        ++storageRevision;
    }
}

namespace {

// A count and the bytes it takes, in 64 bits: a negative count or a size past 32 bits makes no buffer.
bool validSize(int count, int64_t dataSize)
{
    return count >= 0 && dataSize >= 0 && dataSize <= INT32_MAX;
}

} // namespace

bool GLBuffer::create(int newUsage, int newAccess, IndexFormat newIndexFormat, int newSize)
{
    if (!validSize(newSize, int64_t(newIndexFormat) * newSize)) {
        return false;
    }
    release_();
    forgetKind();
    usage = newUsage;
    access = newAccess;
    size = newSize;
    indexFormat = newIndexFormat;
    dataSize = newSize * newIndexFormat;
    target = GL_ELEMENT_ARRAY_BUFFER;
    createCommon();
    return true;
}

bool GLBuffer::create(int newUsage, int newAccess, core::IntrusivePointer<VertexFormat> newFormat, int newSize)
{
    if (!validSize(newSize, newFormat ? int64_t(newFormat->getVertexSize()) * newSize : 0)) {
        return false;
    }
    release_();
    forgetKind();
    usage = newUsage;
    access = newAccess;
    size = newSize;
    vertexFormat = newFormat;
    dataSize = vertexFormat ? vertexFormat->getVertexSize() * newSize : 0;
    target = GL_ARRAY_BUFFER;
    createCommon();
    if (vertexFormat) {
        const int count = vertexFormat->getNumElements();
        for (int i = 0; i < count; ++i) {
            const intptr_t offset = vertexFormat->getElementOffset(i);
            elementPointers.push_back(handle != 0 ? offset : reinterpret_cast<intptr_t>(copy.get()) + offset);
        }
    }
    ++storageRevision;
    return true;
}

bool GLBuffer::create(int newUsage, int newAccess, core::IntrusivePointer<TextureFormat> newFormat)
{
    destroy();
    forgetKind();
    usage = newUsage;
    access = newAccess;
    textureFormat = newFormat;
    dataSize = textureFormat ? textureFormat->getDataSize() : 0;
    target = GL_PIXEL_UNPACK_BUFFER;
    createCommon();
    return true;
}

bool GLBuffer::create(int newUsage, int newAccess, core::IntrusivePointer<VariableBufferFormat> newFormat)
{
    destroy();
    forgetKind();
    usage = newUsage;
    access = newAccess;
    variableFormat = newFormat;
    dataSize = variableFormat ? variableFormat->getDataSize() : 0;
    target = GL_UNIFORM_BUFFER;
    createCommon();
    return true;
}

void GLBuffer::swapColors(unsigned char* bytes)
{
    if (!vertexFormat || bytes == nullptr) {
        return;
    }
    const int stride = vertexFormat->getVertexSize();
    const int count = vertexFormat->getNumElements();
    for (int e = 0; e < count; ++e) {
        if (vertexFormat->getElementFormat(e) != VertexFormat::Format_COLOR) {
            continue;
        }
        unsigned char* p = bytes + vertexFormat->getElementOffset(e);
        for (int i = 0; i < size; ++i, p += stride) {
            std::swap(p[0], p[3]);
            std::swap(p[1], p[2]);
        }
    }
}

void GLBuffer::restoreCopy()
{
    copy.reset(new unsigned char[static_cast<size_t>(std::max(dataSize, 1))]);
    ++storageRevision;
    if (handle != 0 && dataSize > 0) {
        bindTarget(handle);
        glGetBufferSubData(target, 0, dataSize, copy.get());
        bindTarget(0);
    }
}

unsigned char* GLBuffer::lock(int newAccess)
{
    largestIndexKnown = false;
    lockAccess = newAccess;
    lockFailed = false;
    unsigned char* bytes = nullptr;
    if (mapped) {
        GLenum mode = 0;
        if ((newAccess & Access_READ_WRITE) == Access_READ_WRITE) {
            mode = GL_READ_WRITE;
        } else if ((newAccess & Access_READ) != 0) {
            mode = GL_READ_ONLY;
        } else if ((newAccess & Access_WRITE) != 0) {
            mode = GL_WRITE_ONLY;
        }
        mappedData = nullptr;
        if (mode != 0) {
            bindTarget(handle);
            mappedData = static_cast<unsigned char*>(glMapBuffer(target, mode));
        }
        bytes = mappedData;
    } else {
        if (!copy) {
            // The contents live in the buffer object only: bring them back, so that a reader sees
            // them and a partial write does not upload garbage around itself.
            restoreCopy();
            keepCopy = (newAccess & Access_READ) != 0;
        }
        bytes = copy.get();
    }
    if (bytes == nullptr) {
        lockFailed = true;
        return nullptr;
    }
    swapColors(bytes);
    return bytes;
}

bool GLBuffer::unlock()
{
    if (mapped) {
        if (!lockFailed && mappedData != nullptr) {
            swapColors(mappedData);
            bindTarget(handle);
            glUnmapBuffer(target);
        }
        bindTarget(0);
        mappedData = nullptr;
        lockFailed = false;
        return true;
    }
    if (!lockFailed) {
        swapColors(copy.get());
    }
    lockFailed = false;
    if (lockAccess != Access_READ && handle != 0 && copy) {
        bindTarget(handle);
        glBufferSubData(target, 0, dataSize, copy.get());
        bindTarget(0);
    }
    if (copy && (access & Access_READ) == 0 && (usage & (Usage_STREAM | Usage_DYNAMIC)) == 0 && handle != 0 &&
        !keepCopy) {
        copy.reset();
        ++storageRevision;
    }
    return true;
}

void GLBuffer::swapColorsInRange(unsigned char* bytes, int start, int count)
{
    if (!vertexFormat || bytes == nullptr) {
        return;
    }
    const int stride = vertexFormat->getVertexSize();
    const int elements = vertexFormat->getNumElements();
    for (int e = 0; e < elements; ++e) {
        if (vertexFormat->getElementFormat(e) != VertexFormat::Format_COLOR) {
            continue;
        }
        const int offset = vertexFormat->getElementOffset(e);
        for (int i = 0; i < size; ++i) {
            const int at = i * stride + offset;
            if (at >= start && at + 4 <= start + count) {
                unsigned char* p = bytes + (at - start);
                std::swap(p[0], p[3]);
                std::swap(p[1], p[2]);
            }
        }
    }
}

bool GLBuffer::update(unsigned char* bytes, int start, int count)
{
    largestIndexKnown = false;
    if (bytes == nullptr || start < 0 || count < 0 || start > dataSize || count > dataSize - start) {
        return false;
    }
    // While mapped by a lock the buffer object takes no other writes.
    if (mapped && mappedData != nullptr) {
        return false;
    }
    // Packed colours arrive in the engine's order and are stored in OpenGL's, as an unlock stores them.
    std::vector<unsigned char> turned;
    if (copy) {
        std::memcpy(copy.get() + start, bytes, static_cast<size_t>(count));
        bytes = copy.get() + start;
        swapColorsInRange(bytes, start, count);
    } else if (handle == 0) {
        return false;
    } else if (vertexFormat) {
        turned.assign(bytes, bytes + count);
        bytes = turned.data();
        swapColorsInRange(bytes, start, count);
    }
    if (handle != 0) {
        bindTarget(handle);
        glBufferSubData(target, start, count, bytes);
        bindTarget(0);
    }
    return true;
}

void GLBuffer::activateUniforms()
{
    if (!variableFormat || !copy) {
        return;
    }
    const int count = variableFormat->getNumVariables();
    for (int v = 0; v < count; ++v) {
        const auto& variable = variableFormat->getVariable(v);
        const int format = variable->format;
        if (variable->offset < 0 || variable->offset + VariableBufferFormat::getFormatSize(format) > dataSize) {
            continue;
        }
        const unsigned char* value = copy.get() + variable->offset;
        const GLboolean transpose = VariableBufferFormat::getFormatTranspose(format) ? GL_TRUE : GL_FALSE;
        const GLint location = variable->index;
        core::math::Matrix4x4 matrix;
        const int transform = VariableBufferFormat::getFormatTransform(format);
        if (transform != 0 && VariableBufferFormat::getFormatSize(format) >= 64) {
            std::memcpy(matrix.data, value, sizeof(matrix.data));
            GLTexture* texture = device != nullptr ? device->getLastTexture(transform - 1) : nullptr;
            if (texture != nullptr) {
                core::math::Math::postMul(matrix, texture->getTextureMatrix());
            }
            value = reinterpret_cast<const unsigned char*>(matrix.data);
        }
        const auto* f = reinterpret_cast<const GLfloat*>(value);
        const auto* i = reinterpret_cast<const GLint*>(value);
        switch (format & 0xFFFF) {
        case 0x0009:
            glUniform1i(location, variable->textureUnit);
            break;
        case 0x0104:
            glUniform1iv(location, 1, i);
            break;
        case 0x0106:
            glUniform1fv(location, 1, f);
            break;
        case 0x0204:
            glUniform2iv(location, 1, i);
            break;
        case 0x0206:
            glUniform2fv(location, 1, f);
            break;
        case 0x0304:
            glUniform3iv(location, 1, i);
            break;
        case 0x0306:
            glUniform3fv(location, 1, f);
            break;
        case 0x0404:
            glUniform4iv(location, 1, i);
            break;
        case 0x0406:
            glUniform4fv(location, 1, f);
            break;
        case 0x0506:
            glUniformMatrix2fv(location, 1, transpose, f);
            break;
        case 0x0606:
            glUniformMatrix2x3fv(location, 1, transpose, f);
            break;
        case 0x0706:
            glUniformMatrix2x4fv(location, 1, transpose, f);
            break;
        case 0x0806:
            glUniformMatrix3x2fv(location, 1, transpose, f);
            break;
        case 0x0906:
            glUniformMatrix3fv(location, 1, transpose, f);
            break;
        case 0x0A06:
            glUniformMatrix3x4fv(location, 1, transpose, f);
            break;
        case 0x0B06:
            glUniformMatrix4x2fv(location, 1, transpose, f);
            break;
        case 0x0C06:
            glUniformMatrix4x3fv(location, 1, transpose, f);
            break;
        case 0x0D06:
            glUniformMatrix4fv(location, 1, transpose, f);
            break;
        default:
            break;
        }
    }
}

bool GLBuffer::readTextureLevel(GLTextureMipPixelBuffer* level)
{
    if (level == nullptr || !textureFormat) {
        return false;
    }
    if (handle != 0) {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, handle);
        const bool done = level->readInto(*textureFormat, nullptr);
        // A local copy would show the old pixels to the next lock.
        if (done && copy) {
            glGetBufferSubData(GL_PIXEL_PACK_BUFFER, 0, dataSize, copy.get());
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        return done;
    }
    return copy && level->readInto(*textureFormat, copy.get());
}

bool GLBuffer::writeTextureLevel(GLTextureMipPixelBuffer* level)
{
    if (level == nullptr || !textureFormat) {
        return false;
    }
    if (handle != 0) {
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, handle);
        const bool done = level->writeFrom(*textureFormat, nullptr);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        return done;
    }
    return copy && level->writeFrom(*textureFormat, copy.get());
}

} // namespace rezezaz::render

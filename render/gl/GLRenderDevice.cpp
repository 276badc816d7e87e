#include "render/gl/GLRenderDevice.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "render/gl/GLBuffer.h"
#include "render/gl/GLFBORenderTarget.h"
#include "render/gl/GLQuery.h"
#include "render/gl/GLRenderState.h"
#include "render/gl/GLSLShaderState.h"
#include "render/gl/GLSLShader.h"
#include "render/gl/GLSLVertexLayout.h"
#include "render/gl/GLTexture.h"
#include "render/gl/GLTextureMipPixelBuffer.h"
#include "render/gl/GLVertexFormat.h"
#include "render/gl/GLRenderTarget.h"
#include "render/IndexData.h"
#include "render/TextureFormat.h"
#include "render/VertexData.h"

#include <GL/glew.h>

#include <algorithm>
#include <string>
#include <typeinfo>

namespace rezezaz::render {

namespace {

// The device's own class of resource behind one of its interfaces, as dynamic_cast finds it (null for
// another device's); the exact class, by far the usual one, is known from its type alone, which saves
// a walk over the classes at every draw.
template <class Own, class Interface> Own* ownResource(Interface* resource)
{
    if (resource == nullptr) {
        return nullptr;
    }
    if (typeid(*resource) == typeid(Own)) {
        return static_cast<Own*>(resource);
    }
    return dynamic_cast<Own*>(resource);
}

// What a resource given to the device stands for (root is the interface's root operation: a backable
// resource hands over the one behind it). An object of the device's own class is its own root, known
// without the call.
template <class Own, class Interface> Interface* rootOf(Interface* resource, Interface* (Interface::*root)())
{
    if (resource == nullptr || typeid(*resource) == typeid(Own)) {
        return resource;
    }
    return (resource->*root)();
}

GLenum glPrimitive(int primitive)
{
    static constexpr GLenum primitives[] = {GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
    return primitive >= 0 && primitive <= 5 ? primitives[primitive] : GL_POINTS;
}

// The index type of an index width; the device's mapping for any but the usual two bytes.
GLenum glIndexType(int width)
{
    return width == IndexBuffer::IndexFormat_UINT16 ? GLenum(GL_UNSIGNED_SHORT) : GLRenderDevice::getGLIndexType(width);
}

const core::String& category()
{
    return core::Categories::REZEZAZ_RENDER;
}

void alert(const core::String& text)
{
    core::Log::getInstance()->addLogEntry(category(), core::Logger::ALERT, text);
}

void warning(const core::String& text)
{
    core::Log::getInstance()->addLogEntry(category(), core::Logger::WARNING, text);
}

core::String glText(GLenum name)
{
    const GLubyte* text = glGetString(name);
    return text != nullptr ? core::String(text) : core::String();
}

[[noreturn]] void invalid(const char* text)
{
    core::Error::unknown(category(), true, text);
}

// The two test tables share one list of functions.
const GLenum compareFunctions[] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};

void setEnabled(GLenum capability, bool enabled)
{
    if (enabled) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

// The semantics the fixed pipeline takes.
enum Semantic
{
    Semantic_POSITION = 0,
    Semantic_NORMAL = 3,
    Semantic_COLOR = 4,
    Semantic_TEXCOORD = 5,
};

// The fixed pipeline's client arrays, by the semantic they carry.
const struct
{
    int semantic;
    GLenum array;
} fixedArrays[] = {{Semantic_POSITION, GL_VERTEX_ARRAY}, {Semantic_NORMAL, GL_NORMAL_ARRAY}, {Semantic_COLOR, GL_COLOR_ARRAY}};

// What setTexture applies of a sampler record: the same values apply the same.
bool sameSampling(const SamplerState& a, const SamplerState& b)
{
    return a.minFilter == b.minFilter && a.mipFilter == b.mipFilter && a.magFilter == b.magFilter &&
           a.uAddress == b.uAddress && a.vAddress == b.vAddress && a.wAddress == b.wAddress;
}

// What setTexture applies of a texture record: the coordinates, their matrix and the depth compare.
bool sameCoordinates(const TextureState& a, const TextureState& b)
{
    return a.calculation == b.calculation && a.shadowResult == b.shadowResult && a.texCoordIndex == b.texCoordIndex &&
           a.matrix == b.matrix;
}

void setLightVector(GLenum light, GLenum name, const core::math::Vector3& v, float w, float* scratch)
{
    scratch[0] = v.x;
    scratch[1] = v.y;
    scratch[2] = v.z;
    scratch[3] = w;
    glLightfv(light, name, scratch);
}

} // namespace

GLRenderDevice::GLRenderDevice() : link(new GLDeviceRef::Link)
{
    link->device = this;
}

GLRenderDevice::~GLRenderDevice()
{
    defaultState = nullptr;
    // Resources that outlive the device no longer reach it.
    link->device = nullptr;
}

bool GLRenderDevice::create(RenderTarget* target, int options)
{
    alert(core::String("creating ") + category() + ".GLRenderDevice");
    if (target == nullptr) {
        core::Error::nullPointer(category(), true, "NULL RenderTarget");
    }
    RenderTarget* root = target->getRootRenderTarget();
    GLRenderTarget* glTarget = dynamic_cast<GLRenderTarget*>(root);
    if (glTarget == nullptr) {
        core::Error::nullPointer(category(), true, "NULL RenderTarget");
    }
    if (primaryRenderTarget) {
        // Created again without destroy: what the earlier context made is of that context.
        newContextGeneration();
    }
    // GLEW reads the version and the extensions of the current context: the target's.
    glTarget->activate();
    forgetIndexBinding();
    glewExperimental = GL_TRUE;
    const GLenum glewResult = glewInit();
    if (glewResult != GLEW_OK) {
        core::Error::unknown(category(), true,
                             core::String("glewInit failed:") +
                                 reinterpret_cast<const char*>(glewGetErrorString(glewResult)));
    }
    // Cleared: glewInit may leave an error behind on some drivers.
    glGetError();

    const struct
    {
        bool available;
        int version;
    } versions[] = {{GLEW_VERSION_4_1 != 0, 41}, {GLEW_VERSION_4_0 != 0, 40}, {GLEW_VERSION_3_3 != 0, 33},
                    {GLEW_VERSION_3_2 != 0, 32}, {GLEW_VERSION_3_1 != 0, 31}, {GLEW_VERSION_3_0 != 0, 30},
                    {GLEW_VERSION_2_1 != 0, 21}, {GLEW_VERSION_2_0 != 0, 20}, {GLEW_VERSION_1_5 != 0, 15},
                    {GLEW_VERSION_1_4 != 0, 14}, {GLEW_VERSION_1_3 != 0, 13}, {GLEW_VERSION_1_2 != 0, 12},
                    {GLEW_VERSION_1_1 != 0, 11}};
    glVersion = 10;
    for (const auto& v : versions) {
        if (v.available) {
            glVersion = v.version;
            break;
        }
    }
    alert(core::String("CALCULATED GL VERSION:") + (glVersion / 10) + "." + (glVersion % 10));

    primaryRenderTarget = target;
    primaryGLRenderTarget = glTarget;
    renderTarget = target;
    glRenderTarget = glTarget;
    // What is made from here on belongs to this target's context, and to no later one.
    link->context = glTarget->getContextLife();
    contextLife = link->context.get();
    lostContextSeen = false;
    glRenderTarget->activate();

    alert(core::String("GL_VENDOR:") + glText(GL_VENDOR));
    alert(core::String("GL_RENDERER:") + glText(GL_RENDERER));
    alert(core::String("GL_VERSION:") + glText(GL_VERSION));
    alert(core::String("GL_SHADING_LANGUAGE_VERSION:") + glText(GL_SHADING_LANGUAGE_VERSION));
    alert(core::String("GL_EXTENSIONS:") + glText(GL_EXTENSIONS));

    // Fixed-function texture stages: the texture units, not the (larger) image-unit count.
    int textureUnits = 1;
    if (glVersion >= 11) {
        GLint reported = 0;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &reported);
        textureUnits = std::max(1, static_cast<int>(reported));
    }
    multiTexture = textureUnits > 1;
    clampToEdge = glVersion > 11;
    sizeUnits(textureUnits);

    pbuffersAvailable = false;
    fboAvailable = (options & Option_NO_FBO) == 0 && GLFBORenderTarget::available(this);

    const bool hardware = (options & Option_NO_HARDWARE_BUFFERS) == 0;
    hardwareVertexBuffers = hardware && GLEW_ARB_vertex_buffer_object;
    hardwareIndexBuffers = hardwareVertexBuffers;
    hardwarePixelBuffers = hardware && GLEW_ARB_pixel_buffer_object;
    hardwareUniformBuffers = hardware && GLEW_ARB_uniform_buffer_object;

    textureRectangle = GLEW_EXT_texture_rectangle || GLEW_ARB_texture_rectangle || GLEW_NV_texture_rectangle;
    textureNonPowerOf2 = GLEW_ARB_texture_non_power_of_two;
    caps = RenderCaps();
    caps.hardwareRendering = true;
    caps.maxTextureStages = textureUnits;
    GLint maxTextureSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    caps.maxTextureSize = maxTextureSize < 1 ? 256 : maxTextureSize;
    caps.renderToTexture = fboAvailable || pbuffersAvailable;
    caps.renderToDepthTexture = fboAvailable;
    caps.renderToTextureNonPowerOf2Restricted = textureRectangle && fboAvailable;
    caps.textureDot3 = GLEW_ARB_texture_env_dot3;
    caps.textureNonPowerOf2Restricted = textureRectangle;
    caps.textureNonPowerOf2 = textureNonPowerOf2;
    caps.textureAutogenMipMaps = GLEW_EXT_framebuffer_object;
    caps.hardwareBuffers = true;
    caps.vertexElementType = 6;
    caps.triangleFan = true;
    for (int type = 0; type < Shader::NUM_SHADER_TYPES; ++type) {
        caps.hasFixed[type] = (options & Option_NO_FIXED) == 0;
        caps.hasShader[type] = (options & Option_NO_SHADERS) == 0;
    }
    GLint maxLights = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    caps.maxLights = maxLights < 1 ? 8 : maxLights;
    caps.pointSprites = GLEW_ARB_point_parameters;

    defaultState = new GLRenderState(this);
    BlendState blend;
    blend.source = BlendState::Operation_ONE;
    blend.dest = BlendState::Operation_ZERO;
    blend.colorWrite = BlendState::ColorWrite_ALL;
    defaultState->setBlendState(blend);
    DepthState depth;
    depth.test = DepthState::DepthTest_LESS_EQUAL;
    depth.write = true;
    defaultState->setDepthState(depth);
    FogState fog;
    fog.fogType = FogState::FogType_NONE;
    fog.density = 0;
    fog.nearDistance = 0;
    fog.farDistance = 1;
    fog.color = core::math::Vector4(0, 0, 0, 0);
    defaultState->setFogState(fog);
    GeometryState geometry;
    geometry.sprite = false;
    geometry.size = 1;
    geometry.attenuated = false;
    geometry.constant = 0;
    geometry.linear = 0;
    geometry.quadratic = 0;
    geometry.minSize = 1;
    geometry.maxSize = 1;
    defaultState->setGeometryState(geometry);
    RasterizerState rasterizer;
    rasterizer.cull = RasterizerState::CullType_BACK;
    rasterizer.fill = RasterizerState::FillType_SOLID;
    rasterizer.depthBiasConstant = 0;
    rasterizer.depthBiasSlope = 0;
    rasterizer.multisample = false;
    rasterizer.dither = false;
    rasterizer.lineSize = 1;
    defaultState->setRasterizerState(rasterizer);
    MaterialState material;
    material.light = true;
    material.trackColor = false;
    material.shade = MaterialState::ShadeType_GOURAUD;
    material.normalize = MaterialState::Normalize_RESCALE;
    material.ambient = core::math::Vector4(1, 1, 1, 1);
    material.diffuse = core::math::Vector4(1, 1, 1, 1);
    material.specular = core::math::Vector4(1, 1, 1, 1);
    material.shininess = 1;
    material.emissive = core::math::Vector4(0, 0, 0, 0);
    material.alphaTest = MaterialState::AlphaTest_NONE;
    material.alphaCutoff = 0.5f;
    defaultState->setMaterialState(material);

    setDefaultState();
    alert("created GLRenderDevice");
    return true;
}

void GLRenderDevice::destroy()
{
    // What the device kept alive goes while its context is still there.
    sentBuffers.clear();
    boundTextures.assign(boundTextures.size(), nullptr);
    if (primaryRenderTarget) {
        primaryRenderTarget = nullptr;
        primaryGLRenderTarget = nullptr;
        renderTarget = nullptr;
        glRenderTarget = nullptr;
        alert("destroyed GLRenderDevice");
        newContextGeneration();
    }
}

void GLRenderDevice::newContextGeneration()
{
    // Resources made so far belong to the context that goes (their OpenGL names mean nothing, or
    // something else, in the next one): they lose their device and destroy nothing of OpenGL's.
    link->device = nullptr;
    link = new GLDeviceRef::Link;
    link->device = this;
    contextLife = nullptr;
    lostContextSeen = false;
    forgetIndexBinding();
    vertexFormats.clear();
    shaderStates.clear();
    lastShaderState = nullptr;
    sentProgram = nullptr;
}

bool GLRenderDevice::forgetLostContext()
{
    if (!lostContextSeen) {
        lostContextSeen = true;
        warning("GLRenderDevice: the render target's context is gone");
        // The resources of that context resolve their link to nothing from now on and tell the
        // device nothing more: what it lists or keeps of them goes without a word to OpenGL, where
        // the names may by now be another context's.
        vertexFormats.clear();
        shaderStates.clear();
        lastShaderState = nullptr;
        sentProgram = nullptr;
        sentBuffers.clear();
        boundTextures.assign(boundTextures.size(), nullptr);
        lastTextures.assign(lastTextures.size(), nullptr);
        appliedTexture.valid = false;
        forgetIndexBinding();
    }
    return true;
}

bool GLRenderDevice::makeContextCurrent()
{
    if (contextLost()) {
        return false;
    }
    if (!primaryGLRenderTarget || primaryGLRenderTarget->isCurrent()) {
        return true;
    }
    forgetIndexBinding();
    return primaryGLRenderTarget->activate();
}

void GLRenderDevice::activate()
{
    if (primaryGLRenderTarget && !contextLost()) {
        forgetIndexBinding();
        primaryGLRenderTarget->activate();
    }
}

bool GLRenderDevice::reset()
{
    appliedTexture.valid = false;
    forgetIndexBinding();
    if (contextLost()) {
        return false;
    }
    if (primaryGLRenderTarget) {
        primaryGLRenderTarget->reset();
    }
    setDefaultState();
    return true;
}

bool GLRenderDevice::activateAdditionalContext()
{
    return primaryGLRenderTarget ? primaryGLRenderTarget->activateAdditionalContext() : false;
}

void GLRenderDevice::sizeUnits(int count)
{
    appliedTexture.valid = false;
    units = count;
    lastTextures.assign(count, nullptr);
    lastSamplerStates.assign(count, nullptr);
    lastTextureStates.assign(count, nullptr);
    samplerRecords.assign(count, SamplerState());
    textureRecords.assign(count, TextureState());
    lastShaderTypes.assign(count, Shader::ShaderType_VERTEX);
    lastTexTargets.assign(count, 0);
    lastTexCoordIndexes.assign(count, -1);
    lastBoundTexCoordIndexes.assign(count, -1);
    lastMaxTexCoordIndex = 0;
    lastActiveTexture = -1;
    boundTextures.assign(count, nullptr);
    boundTextureHandles.assign(count, 0);
}

Texture* GLRenderDevice::createTexture()
{
    return new GLTexture(this);
}

PixelBufferRenderTarget* GLRenderDevice::createPixelBufferRenderTarget()
{
    if (!fboAvailable) {
        core::Error::unimplemented(category(), true, "PixelBufferRenderTargets are unavailable");
    }
    return new GLFBORenderTarget(this);
}

PixelBuffer* GLRenderDevice::createPixelBuffer()
{
    return new GLBuffer(this);
}

VertexFormat* GLRenderDevice::createVertexFormat()
{
    return new GLVertexFormat(this);
}

VertexBuffer* GLRenderDevice::createVertexBuffer()
{
    return new GLBuffer(this);
}

IndexBuffer* GLRenderDevice::createIndexBuffer()
{
    return new GLBuffer(this);
}

VariableBuffer* GLRenderDevice::createVariableBuffer()
{
    return new GLBuffer(this);
}

Shader* GLRenderDevice::createShader()
{
    if (!caps.hasShader[Shader::ShaderType_VERTEX]) {
        core::Error::unimplemented(category(), true, "Shaders are unavailable");
    }
    return new GLSLShader(this);
}

Query* GLRenderDevice::createQuery()
{
    return new GLQuery(this);
}

RenderState* GLRenderDevice::createRenderState()
{
    return new GLRenderState(this);
}

ShaderState* GLRenderDevice::createShaderState()
{
    if (!caps.hasShader[Shader::ShaderType_VERTEX]) {
        core::Error::unimplemented(category(), true, "ShaderStates are unavailable");
    }
    return new GLSLShaderState(this);
}

RenderTarget* GLRenderDevice::getPrimaryRenderTarget()
{
    return primaryRenderTarget.get();
}

bool GLRenderDevice::setRenderTarget(RenderTarget* target)
{
    if (target == nullptr || target == renderTarget.get()) {
        return false;
    }
    GLRenderTarget* glTarget = dynamic_cast<GLRenderTarget*>(target->getRootRenderTarget());
    if (glTarget == nullptr) {
        return false;
    }
    if (glRenderTarget && glRenderTarget != primaryGLRenderTarget) {
        glRenderTarget->deactivate();
    }
    renderTarget = target;
    glRenderTarget = glTarget;
    forgetIndexBinding();
    glRenderTarget->activate();
    setDefaultState();
    return true;
}

RenderTarget* GLRenderDevice::getRenderTarget()
{
    return renderTarget.get();
}

void GLRenderDevice::setViewport(const Viewport& newViewport)
{
    if (newViewport.width < 0 || newViewport.height < 0) {
        core::Error::errorLog(category(), "setViewport: negative size");
        return;
    }
    viewport = newViewport;
    if (!renderTarget) {
        glViewport(0, 0, viewport.width, viewport.height);
        glDisable(GL_SCISSOR_TEST);
        core::Error::unknown(category(), true, "setViewport called without a valid render target");
    }
    const int targetWidth = renderTarget->getWidth();
    const int targetHeight = renderTarget->getHeight();
    // The engine's origin is the top left, OpenGL's the bottom left.
    const int y = targetHeight - viewport.y - viewport.height;
    glViewport(viewport.x, y, viewport.width, viewport.height);
    if (viewport.x == 0 && viewport.y == 0 && viewport.width == targetWidth && viewport.height == targetHeight) {
        glDisable(GL_SCISSOR_TEST);
    } else {
        glScissor(viewport.x, y, viewport.width, viewport.height);
        glEnable(GL_SCISSOR_TEST);
    }
    const GeometryState geometry = geometryState;
    setGeometryState(&geometry);
}

void GLRenderDevice::clear(int clearFlags, const core::math::Vector4& color)
{
    GLbitfield mask = 0;
    if ((clearFlags & ClearFlag_COLOR) != 0) {
        glClearColor(color.x, color.y, color.z, color.w);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((clearFlags & ClearFlag_DEPTH) != 0) {
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if ((clearFlags & ClearFlag_STENCIL) != 0) {
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    // Depth is cleared only where depth writes are on.
    const bool openDepth = (mask & GL_DEPTH_BUFFER_BIT) != 0 && !lastDepthWrite;
    if (openDepth) {
        glDepthMask(GL_TRUE);
    }
    glClear(mask);
    if (openDepth) {
        glDepthMask(GL_FALSE);
    }
}

void GLRenderDevice::swap()
{
    if (glRenderTarget && !contextLost()) {
        glRenderTarget->swap();
    }
}

void GLRenderDevice::beginScene()
{
    appliedTexture.valid = false;
    // What ran between the scenes may have bound its own.
    forgetIndexBinding();
    if (glRenderTarget && !contextLost()) {
        glRenderTarget->activate();
    }
}

void GLRenderDevice::dropFixedVertexData()
{
    for (const auto& a : fixedArrays) {
        if ((lastFixedClientStateBits & (1 << a.semantic)) != 0) {
            glDisableClientState(a.array);
        }
    }
    lastFixedClientStateBits = 0;
    for (int unit = 0; unit < units; ++unit) {
        if ((lastFixedTexCoordBits & (1 << unit)) != 0) {
            if (multiTexture) {
                glClientActiveTexture(GL_TEXTURE0 + unit);
            }
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        lastBoundTexCoordIndexes[unit] = -1;
    }
    lastFixedTexCoordBits = 0;
}

void GLRenderDevice::dropVertexState()
{
    dropFixedVertexData();
    dropShaderVertexData();
}

void GLRenderDevice::unbindAllUnits()
{
    for (int unit = 0; unit < units; ++unit) {
        const size_t u = static_cast<size_t>(unit);
        lastSamplerStates[u] = nullptr;
        lastTextureStates[u] = nullptr;
        // A unit with nothing bound or enabled needs no OpenGL call, nor the switch to it: only its
        // coordinate set goes back to the first, as unbinding it would leave it.
        if (lastTexTargets[u] == 0 && lastTextures[u] == nullptr && boundTextures[u] == nullptr && boundTextureHandles[u] == 0) {
            lastTexCoordIndexes[u] = 0;
            continue;
        }
        for (Shader::ShaderType type : {Shader::ShaderType_VERTEX, Shader::ShaderType_FRAGMENT, Shader::ShaderType_GEOMETRY}) {
            setTexture(type, unit, nullptr);
        }
    }
    while (lastMaxTexCoordIndex > 0 && lastTexTargets[static_cast<size_t>(lastMaxTexCoordIndex - 1)] == 0) {
        --lastMaxTexCoordIndex;
    }
}

void GLRenderDevice::endScene()
{
    if (contextLost()) {
        return;
    }
    releaseSceneState();
}

void GLRenderDevice::releaseSceneState()
{
    appliedTexture.valid = false;
    dropVertexState();
    sentBuffers.clear();
    setShaderState(nullptr);
    unbindAllUnits();
}

void GLRenderDevice::renderPrimitive(VertexData* vertexData, IndexData* indexData)
{
    // The usual draw, settled without a call before OpenGL's: a range within an index buffer object
    // of the device's own class, from vertices set up as the last draw left them, the context live.
    if (vertexData != nullptr && indexData != nullptr && (contextLife == nullptr || contextLife->live)) {
        const IndexBuffer* given = indexData->indexBuffer.get();
        const int start = indexData->start;
        const int count = indexData->count;
        // (The same class known by the one object that describes it; another object for it, as a
        // second copy of a library could give, leaves the draw to the whole checks.)
        if (given != nullptr && &typeid(*given) == &typeid(GLBuffer) && start >= 0 && count >= 1) {
            const auto* indices = static_cast<const GLBuffer*>(given);
            const unsigned int handle = indices->getHandle();
            const int width = indices->getIndexFormat();
            const GLenum type = width == IndexBuffer::IndexFormat_UINT16   ? GLenum(GL_UNSIGNED_SHORT)
                                : width == IndexBuffer::IndexFormat_UINT32 ? GLenum(GL_UNSIGNED_INT)
                                                                           : GLenum(0);
            // Bound already (a draw that binds first leaves it to the whole checks).
            if (handle != 0 && type != 0 && boundIndexBuffer.load(std::memory_order_relaxed) == handle &&
                indices->getLocalCopy() == nullptr && count <= indices->getSize() - start && vertexDataAsSent(vertexData)) {
                glDrawElements(glPrimitive(indexData->primitive), count, type,
                               reinterpret_cast<const void*>(static_cast<intptr_t>(width) * start));
                return;
            }
        }
    }
    checkAndDraw(vertexData, indexData);
}

void GLRenderDevice::checkAndDraw(VertexData* vertexData, IndexData* indexData)
{
    if (vertexData == nullptr || indexData == nullptr) {
        core::Error::nullPointer(category(), true, "VertexData or IndexData is NULL");
    }
    if (indexData->count < 1 || contextLost()) {
        return;
    }
    GLBuffer* indices = ownResource<GLBuffer>(rootOf<GLBuffer>(indexData->indexBuffer.get(), &IndexBuffer::getRootIndexBuffer));
    drawPrimitive(vertexData, indexData, indices);
}

void GLRenderDevice::drawPrimitive(VertexData* vertexData, IndexData* indexData, GLBuffer* indices)
{
    const GLenum primitive = glPrimitive(indexData->primitive);
    // A range beyond the buffers would have OpenGL read past their memory: nothing is drawn.
    const int start = indexData->start;
    const int count = indexData->count;
    if (start < 0) {
        return;
    }
    if (indices != nullptr) {
        if (count > indices->getSize() - start) {
            return;
        }
    } else if (indexData->indexBuffer) {
        return;
    } else {
        for (const auto& buffer : vertexData->vertexBuffers) {
            if (buffer && count > buffer->getSize() - start) {
                return;
            }
        }
    }
    if (indices != nullptr && indices->getLocalCopy() != nullptr && !indicesWithinVertices(vertexData, indices, start, count)) {
        return;
    }
    if (vertexDataChanged(vertexData)) {
        setVertexData(vertexData);
    }
    if (indices == nullptr) {
        glDrawArrays(primitive, start, count);
        return;
    }
    const int width = indices->getIndexFormat();
    const GLenum type = glIndexType(width);
    const intptr_t offset = static_cast<intptr_t>(width) * start;
    if (indices->getHandle() != 0) {
        bindIndexBuffer(indices->getHandle());
        glDrawElements(primitive, count, type, reinterpret_cast<const void*>(offset));
        return;
    }
    if (hardwareIndexBuffers) {
        bindIndexBuffer(0);
    }
    const unsigned char* memory = indices->getLocalCopy();
    if (memory != nullptr) {
        glDrawElements(primitive, count, type, memory + offset);
    }
}

void GLRenderDevice::bindIndexBuffer(unsigned int handle)
{
    if (boundIndexBuffer.load(std::memory_order_relaxed) != handle) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, handle);
        boundIndexBuffer.store(handle, std::memory_order_relaxed);
    }
}

bool GLRenderDevice::indicesWithinVertices(VertexData* vertexData, GLBuffer* indices, int start, int count)
{
    // OpenGL reads an index's vertex wherever it lies: one at or past the end of the vertices (a
    // local copy above all) would be read from memory beyond them. Most draws are settled by the
    // largest index of the whole buffer, known once per change of its contents.
    int64_t vertices = INT64_MAX;
    for (const auto& buffer : vertexData->vertexBuffers) {
        if (buffer) {
            vertices = std::min<int64_t>(vertices, buffer->getSize());
        }
    }
    if (indices->getLargestIndex() < vertices) {
        return true;
    }
    return indices->getLargestIndex(start, count) < vertices;
}

bool GLRenderDevice::SentBuffer::sameObject(const VertexBuffer* given) const
{
    return own != nullptr && given == own && own->getStorageRevision() == revision;
}

bool GLRenderDevice::vertexDataChanged(VertexData* vertexData) const
{
    const auto& buffers = vertexData->vertexBuffers;
    if (static_cast<size_t>(buffers.size()) != sentBuffers.size() || sentProgram != lastShaderState) {
        return true;
    }
    for (int i = 0; i < buffers.size(); ++i) {
        const SentBuffer& sent = sentBuffers[static_cast<size_t>(i)];
        VertexBuffer* given = buffers[i].get();
        if (!sent.sameObject(given) && !sentAsBefore(given, sent)) {
            return true;
        }
    }
    return !texCoordsAsBound();
}

bool GLRenderDevice::vertexDataAsSent(const VertexData* vertexData) const
{
    const auto& buffers = vertexData->vertexBuffers;
    if (static_cast<size_t>(buffers.size()) != sentBuffers.size() || sentProgram != lastShaderState) {
        return false;
    }
    for (int i = 0; i < buffers.size(); ++i) {
        if (!sentBuffers[static_cast<size_t>(i)].sameObject(buffers[i].get())) {
            return false;
        }
    }
    return texCoordsAsBound();
}

bool GLRenderDevice::texCoordsAsBound() const
{
    for (int unit = 0; unit < lastMaxTexCoordIndex; ++unit) {
        if (lastTexTargets[static_cast<size_t>(unit)] != 0 &&
            lastTexCoordIndexes[static_cast<size_t>(unit)] != lastBoundTexCoordIndexes[static_cast<size_t>(unit)]) {
            return false;
        }
    }
    return true;
}

bool GLRenderDevice::sentAsBefore(VertexBuffer* given, const SentBuffer& sent)
{
    VertexBuffer* root = rootOf<GLBuffer>(given, &VertexBuffer::getRootVertexBuffer);
    if (root != sent.buffer.get()) {
        return false;
    }
    // The same object made again has new storage, perhaps under the same name.
    const auto* buffer = ownResource<const GLBuffer>(root);
    return buffer == nullptr || buffer->getStorageRevision() == sent.revision;
}

void GLRenderDevice::setVertexData(VertexData* vertexData)
{
    if (lastShaderState != nullptr) {
        if (lastFixedClientStateBits != 0 || lastFixedTexCoordBits != 0) {
            dropFixedVertexData();
        }
        sendShaderVertexData(vertexData);
    } else {
        // Generic arrays left on by a program would stand in for the fixed ones.
        dropShaderVertexData();
        sendFixedVertexData(vertexData);
    }
    sentBuffers.clear();
    sentProgram = lastShaderState;
    if (vertexData == nullptr) {
        return;
    }
    for (const auto& buffer : vertexData->vertexBuffers) {
        VertexBuffer* root = buffer ? buffer->getRootVertexBuffer() : nullptr;
        const auto* glBuffer = ownResource<const GLBuffer>(root);
        SentBuffer sent;
        sent.buffer = root;
        if (glBuffer != nullptr) {
            sent.own = root == buffer.get() ? glBuffer : nullptr;
            sent.revision = glBuffer->getStorageRevision();
        }
        sentBuffers.push_back(std::move(sent));
    }
}

void GLRenderDevice::dropShaderVertexData()
{
    for (int attribute = 0; lastShaderVertexAttribBits != 0; ++attribute) {
        if ((lastShaderVertexAttribBits & (1 << attribute)) != 0) {
            glDisableVertexAttribArray(static_cast<GLuint>(attribute));
            lastShaderVertexAttribBits &= ~(1 << attribute);
        }
    }
}

void GLRenderDevice::sendFixedVertexData(VertexData* vertexData)
{
    int clientBits = 0;
    int texCoordBits = 0;
    for (int unit = 0; unit < units; ++unit) {
        lastBoundTexCoordIndexes[static_cast<size_t>(unit)] = -1;
    }
    if (vertexData != nullptr) {
        for (const auto& vertexBuffer : vertexData->vertexBuffers) {
            GLBuffer* buffer = nullptr;
            GLVertexFormat* glFormat = bindVertexBuffer(vertexBuffer.get(), buffer);
            if (glFormat == nullptr) {
                continue;
            }
            const GLsizei stride = glFormat->getVertexSize();
            const int elements = std::min(glFormat->getNumElements(), buffer->getNumElementPointers());
            for (int e = 0; e < elements; ++e) {
                const GLenum type = glFormat->getGLDataType(e);
                if (type == 0) {
                    continue;
                }
                const GLint count = glFormat->getGLElementCount(e);
                const void* pointer = reinterpret_cast<const void*>(buffer->getElementPointer(e));
                const int semantic = glFormat->getElementSemantic(e);
                switch (semantic) {
                case Semantic_POSITION:
                    glVertexPointer(count, type, stride, pointer);
                    clientBits |= 1 << Semantic_POSITION;
                    break;
                case Semantic_NORMAL:
                    glNormalPointer(type, stride, pointer);
                    clientBits |= 1 << Semantic_NORMAL;
                    break;
                case Semantic_COLOR:
                    if (glFormat->getElementIndex(e) == 0) {
                        glColorPointer(count, type, stride, pointer);
                        clientBits |= 1 << Semantic_COLOR;
                    }
                    break;
                case Semantic_TEXCOORD:
                    for (int unit = 0; unit < lastMaxTexCoordIndex; ++unit) {
                        if (lastTexCoordIndexes[static_cast<size_t>(unit)] != glFormat->getElementIndex(e)) {
                            continue;
                        }
                        if (multiTexture) {
                            glClientActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
                        }
                        glTexCoordPointer(count, type, stride, pointer);
                        texCoordBits |= 1 << unit;
                        lastBoundTexCoordIndexes[static_cast<size_t>(unit)] = static_cast<short>(glFormat->getElementIndex(e));
                    }
                    break;
                default:
                    break;
                }
            }
        }
    }
    for (const auto& a : fixedArrays) {
        const int bit = 1 << a.semantic;
        if ((clientBits & bit) != (lastFixedClientStateBits & bit)) {
            if ((clientBits & bit) != 0) {
                glEnableClientState(a.array);
            } else {
                glDisableClientState(a.array);
            }
        }
    }
    lastFixedClientStateBits = clientBits;
    for (int unit = 0; unit < units; ++unit) {
        const int bit = 1 << unit;
        if ((texCoordBits & bit) != (lastFixedTexCoordBits & bit)) {
            if (multiTexture) {
                glClientActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
            }
            if ((texCoordBits & bit) != 0) {
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            } else {
                glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            }
        }
    }
    lastFixedTexCoordBits = texCoordBits;
    if (vertexData != nullptr) {
        if ((clientBits & (1 << Semantic_NORMAL)) == 0) {
            glNormal3f(0, 0, 0);
        }
        if ((clientBits & (1 << Semantic_COLOR)) == 0) {
            glColor4f(1, 1, 1, 1);
        }
    }
}

GLVertexFormat* GLRenderDevice::bindVertexBuffer(VertexBuffer* vertexBuffer, GLBuffer*& buffer)
{
    VertexBuffer* root = vertexBuffer != nullptr ? vertexBuffer->getRootVertexBuffer() : nullptr;
    buffer = ownResource<GLBuffer>(root);
    core::IntrusivePointer<VertexFormat> format = buffer != nullptr ? buffer->getVertexFormat() : nullptr;
    auto* glFormat = format ? dynamic_cast<GLVertexFormat*>(format->getRootVertexFormat()) : nullptr;
    if (glFormat == nullptr) {
        return nullptr;
    }
    if (buffer->getHandle() != 0) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer->getHandle());
    } else if (hardwareVertexBuffers) {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    return glFormat;
}

void GLRenderDevice::sendShaderVertexData(VertexData* vertexData)
{
    int bits = 0;
    if (vertexData != nullptr && lastShaderState != nullptr) {
        for (const auto& vertexBuffer : vertexData->vertexBuffers) {
            GLBuffer* buffer = nullptr;
            GLVertexFormat* glFormat = bindVertexBuffer(vertexBuffer.get(), buffer);
            if (glFormat == nullptr) {
                continue;
            }
            GLSLVertexLayout* layout = lastShaderState->findVertexLayout(glFormat);
            const GLsizei stride = glFormat->getVertexSize();
            const int elements = std::min({glFormat->getNumElements(), buffer->getNumElementPointers(), layout->getNumLocations()});
            for (int e = 0; e < elements; ++e) {
                const GLint location = layout->getLocation(e);
                const GLenum type = glFormat->getGLDataType(e);
                if (location < 0 || location >= 32 || type == 0) {
                    continue;
                }
                const GLboolean normalized = glFormat->getElementSemantic(e) == Semantic_COLOR ? GL_TRUE : GL_FALSE;
                glVertexAttribPointer(static_cast<GLuint>(location), glFormat->getGLElementCount(e), type, normalized, stride,
                                      reinterpret_cast<const void*>(buffer->getElementPointer(e)));
                bits |= 1 << location;
            }
        }
    }
    for (int attribute = 0; attribute < 32; ++attribute) {
        const int bit = 1 << attribute;
        if ((bits & bit) != 0 && (lastShaderVertexAttribBits & bit) == 0) {
            glEnableVertexAttribArray(static_cast<GLuint>(attribute));
        } else if ((bits & bit) == 0 && (lastShaderVertexAttribBits & bit) != 0) {
            glDisableVertexAttribArray(static_cast<GLuint>(attribute));
        }
    }
    lastShaderVertexAttribBits = bits;
}

bool GLRenderDevice::copyFrameBufferToPixelBuffer(PixelBuffer* buffer)
{
    PixelBuffer* root = buffer != nullptr ? buffer->getRootPixelBuffer() : nullptr;
    if (root == nullptr) {
        return false;
    }
    if (root->castToGLFBOPixelBuffer() != nullptr) {
        core::Error::unimplemented(category(), true, "GLRenderDevice::copyToSurface: unimplemented for fbo");
    }
    if (root->castToGLBuffer() != nullptr) {
        core::Error::unimplemented(category(), true, "GLRenderDevice::copyToSurface: unimplemented for pbo");
    }
    GLTextureMipPixelBuffer* level = root->castToGLTextureMipPixelBuffer();
    GLTexture* texture = level != nullptr ? level->getTexture() : nullptr;
    if (texture == nullptr || texture->getHandle() == 0 || !renderTarget) {
        return false;
    }
    const int targetHeight = renderTarget->getHeight();
    core::IntrusivePointer<TextureFormat> format = level->getTextureFormat();
    const int width = format->getWidth();
    const int height = format->getHeight();
    glBindTexture(texture->getTarget(), texture->getHandle());
    glCopyTexSubImage2D(level->getTarget(), level->getLevel(), 0, 0, 0, targetHeight - height, width, height);
    rebindActiveTexture(texture->getTarget());
    // The frame buffer's rows run bottom up.
    core::math::Matrix4x4 flip;
    flip.setAt(1, 1, -1.0f);
    flip.setAt(1, 3, 1.0f);
    texture->setTextureMatrix(flip);
    return true;
}

bool GLRenderDevice::copyPixelBuffer(PixelBuffer* dest, PixelBuffer* source)
{
    PixelBuffer* destRoot = dest != nullptr ? dest->getRootPixelBuffer() : nullptr;
    PixelBuffer* sourceRoot = source != nullptr ? source->getRootPixelBuffer() : nullptr;
    if (destRoot != nullptr && sourceRoot != nullptr) {
        if (destRoot->castToGLBuffer() != nullptr && sourceRoot->castToGLTextureMipPixelBuffer() != nullptr) {
            return destRoot->castToGLBuffer()->readTextureLevel(sourceRoot->castToGLTextureMipPixelBuffer());
        }
        if (destRoot->castToGLTextureMipPixelBuffer() != nullptr && sourceRoot->castToGLBuffer() != nullptr) {
            return sourceRoot->castToGLBuffer()->writeTextureLevel(destRoot->castToGLTextureMipPixelBuffer());
        }
    }
    core::Error::unimplemented(category(), true, "copyPixelBuffer not implemented for these pixel buffer types");
}

void GLRenderDevice::setDefaultState()
{
    appliedTexture.valid = false;
    if (contextLost()) {
        return;
    }
    if (defaultState) {
        setRenderState(defaultState.get());
    }
    releaseSceneState();
    setAmbientColor(core::math::Vector4(1, 1, 1, 1));
    if (glVersion >= 11) {
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    }
}

bool GLRenderDevice::setRenderState(RenderState* state)
{
    RenderState* root = state != nullptr ? state->getRootRenderState() : nullptr;
    GLRenderState* glState = dynamic_cast<GLRenderState*>(root);
    if (glState == nullptr) {
        return false;
    }
    if (glState->blend() != nullptr) {
        setBlendState(glState->blend());
    }
    if (glState->depth() != nullptr) {
        setDepthState(glState->depth());
    }
    if (glState->rasterizer() != nullptr) {
        setRasterizerState(glState->rasterizer());
    }
    if (glState->fog() != nullptr) {
        setFogState(glState->fog());
    }
    if (glState->geometry() != nullptr) {
        setGeometryState(glState->geometry());
    }
    if (glState->material() != nullptr) {
        setMaterialState(glState->material());
    }
    const int samplers = std::min(glState->getNumSamplerStates(Shader::ShaderType_FRAGMENT), units);
    for (int i = 0; i < samplers; ++i) {
        setSamplerState(i, glState->sampler(i));
    }
    const int textures = glState->getNumTextureStates(Shader::ShaderType_FRAGMENT);
    for (int i = 0; i < textures; ++i) {
        setTextureState(i, glState->texture(i));
    }
    return true;
}

bool GLRenderDevice::setShaderState(ShaderState* state)
{
    if (contextLost()) {
        return false;
    }
    auto* program = dynamic_cast<GLSLShaderState*>(state != nullptr ? state->getRootShaderState() : nullptr);
    if (program == nullptr) {
        // The fixed pipeline.
        glUseProgram(0);
        lastShaderState = nullptr;
        return false;
    }
    if (program == lastShaderState && program->isLinked()) {
        return true;
    }
    const bool active = program->activate();
    // A program that did not link draws nothing: the fixed pipeline stands in.
    lastShaderState = active ? program : nullptr;
    return active;
}

void GLRenderDevice::setBuffer(Shader::ShaderType, int, VariableBuffer* buffer)
{
    auto* glBuffer = dynamic_cast<GLBuffer*>(buffer != nullptr ? buffer->getRootVariableBuffer() : nullptr);
    if (glBuffer == nullptr) {
        return;
    }
    if (glBuffer->getHandle() == 0) {
        glBuffer->activateUniforms();
        return;
    }
    if (lastShaderState != nullptr) {
        glUniformBlockBinding(lastShaderState->getProgram(), 0, 0);
    }
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, glBuffer->getHandle());
}

void GLRenderDevice::activeTexture(int unit)
{
    if (unit == lastActiveTexture) {
        return;
    }
    if (multiTexture) {
        glActiveTexture(GL_TEXTURE0 + unit);
    }
    lastActiveTexture = unit;
}

void GLRenderDevice::setTexture(Shader::ShaderType type, int unit, Texture* texture)
{
    if (texture != nullptr && unit == lastActiveTexture && appliedTexture.repeats(unit, texture, type, recordRevision)) {
        return;
    }
    bindTexture(type, unit, texture);
}

void GLRenderDevice::bindTexture(Shader::ShaderType type, int unit, Texture* texture)
{
    if (unit < 0 || unit >= units) {
        return;
    }
    activeTexture(unit);
    if (texture != nullptr) {
        auto* glTexture = ownResource<GLTexture>(rootOf<GLTexture>(texture, &Texture::getRootTexture));
        if (glTexture == nullptr || glTexture->getHandle() == 0) {
            return;
        }
        const GLenum target = glTexture->getTarget();
        const size_t u = static_cast<size_t>(unit);
        const bool newTarget = lastTexTargets[u] != target;
        if (newTarget && lastTexTargets[u] != 0) {
            glBindTexture(lastTexTargets[u], 0);
            glDisable(lastTexTargets[u]);
        }
        if (newTarget || lastTextures[u] != glTexture || boundTextureHandles[u] != glTexture->getHandle()) {
            glBindTexture(target, glTexture->getHandle());
            lastTextures[u] = glTexture;
            boundTextures[u] = glTexture;
            boundTextureHandles[u] = glTexture->getHandle();
        }
        if (newTarget) {
            glEnable(target);
            lastTexTargets[u] = target;
        }
        lastShaderTypes[u] = type;
        // The same texture bound again with the same records, nothing applied in between: its
        // parameters and the unit's coordinate state are as they were set.
        const bool hasSampler = lastSamplerStates[u] != nullptr;
        const bool hasState = lastTextureStates[u] != nullptr;
        if (!appliedTexture.matches(unit, glTexture, hasSampler, hasState, recordRevision)) {
            setSamplerStatePostTexture(unit, lastSamplerStates[u]);
            setTextureStatePostTexture(unit, lastTextureStates[u]);
            appliedTexture.remember(unit, glTexture, hasSampler, hasState, recordRevision);
        }
        appliedTexture.type = type;
        return;
    }
    appliedTexture.valid = false;
    if (lastShaderTypes[unit] != type) {
        return;
    }
    lastTextures[unit] = nullptr;
    boundTextures[unit] = nullptr;
    boundTextureHandles[unit] = 0;
    if (lastTexTargets[unit] != 0) {
        glBindTexture(lastTexTargets[unit], 0);
        glDisable(lastTexTargets[unit]);
        lastTexTargets[unit] = 0;
    }
    lastShaderTypes[unit] = type;
    setSamplerStatePostTexture(unit, lastSamplerStates[unit]);
    setTextureStatePostTexture(unit, lastTextureStates[unit]);
}

void GLRenderDevice::setMatrix(MatrixType type, const core::math::Matrix4x4& matrix)
{
    if (type == MatrixType_VIEW || type == MatrixType_MODEL) {
        if (type == MatrixType_VIEW) {
            view = matrix;
        } else {
            model = matrix;
        }
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(view.data);
        glMultMatrixf(model.data);
        return;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(matrix.data);
    glMatrixMode(GL_MODELVIEW);
}

bool GLRenderDevice::validLight(int light) const
{
    if (light < 0 || light >= caps.maxLights) {
        core::Error::errorLog(category(), core::String("no light ") + light);
        return false;
    }
    return true;
}

void GLRenderDevice::setLightEnabled(int light, bool enabled)
{
    if (validLight(light)) {
        setEnabled(GL_LIGHT0 + light, enabled);
    }
}

void GLRenderDevice::setLightState(int light, const LightState& state)
{
    if (!validLight(light)) {
        return;
    }
    const GLenum name = GL_LIGHT0 + light;
    // Positions and directions are in world space: only the view transforms them.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(view.data);
    switch (state.type) {
    case LightState::Type_DIRECTION:
        setLightVector(name, GL_POSITION, -state.direction, 0, scratch);
        glLightf(name, GL_SPOT_CUTOFF, 180.0f);
        glLightf(name, GL_SPOT_EXPONENT, 0.0f);
        break;
    case LightState::Type_SPOT:
        setLightVector(name, GL_POSITION, state.position, 1, scratch);
        setLightVector(name, GL_SPOT_DIRECTION, state.direction, 0, scratch);
        glLightf(name, GL_SPOT_CUTOFF, state.spotOuterRadius * 57.295776f * 0.5f);
        glLightf(name, GL_SPOT_EXPONENT, state.spotFalloff);
        break;
    default:
        setLightVector(name, GL_POSITION, state.position, 1, scratch);
        glLightf(name, GL_SPOT_CUTOFF, 180.0f);
        glLightf(name, GL_SPOT_EXPONENT, 0.0f);
        break;
    }
    glLightf(name, GL_CONSTANT_ATTENUATION, state.constantAttenuation);
    glLightf(name, GL_LINEAR_ATTENUATION, state.linearAttenuation);
    glLightf(name, GL_QUADRATIC_ATTENUATION, state.quadraticAttenuation);
    glLightfv(name, GL_SPECULAR, &state.specularColor.x);
    glLightfv(name, GL_DIFFUSE, &state.diffuseColor.x);
    const GLfloat none[4] = {0, 0, 0, 0};
    glLightfv(name, GL_AMBIENT, none);
    glPopMatrix();
}

void GLRenderDevice::setAmbientColor(const core::math::Vector4& color)
{
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, &color.x);
}

int GLRenderDevice::getClosePixelFormat(int pixelFormat, int usage)
{
    if (glVersion <= 11) {
        if (pixelFormat == 0x107) {
            return 0x106;
        }
        if (pixelFormat == 0x109) {
            return 0x108;
        }
    }
    if ((usage & 0x20) != 0 && pixelFormat == 0x101) {
        return 0x106;
    }
    if (pixelFormat == 0x104 || pixelFormat == 0x105) {
        return 0x106;
    }
    return pixelFormat;
}

bool GLRenderDevice::getShaderProfileSupported(const core::String& profile)
{
    return std::string(profile.c_str()) == "glsl";
}

void GLRenderDevice::getShadowBiasMatrix(const Texture*, core::math::Matrix4x4& result)
{
    result = core::math::Matrix4x4(0.5f, 0, 0, 0.5f, 0, 0.5f, 0, 0.5f, 0, 0, 0.5f, 0.5f, 0, 0, 0, 1);
}

bool GLRenderDevice::getRenderCaps(RenderCaps& out)
{
    out = caps;
    return true;
}

int GLRenderDevice::getTexCoordIndex(int unit) const
{
    return unit >= 0 && unit < units ? lastTexCoordIndexes[unit] : -1;
}

// The state setters.

void GLRenderDevice::setBlendState(const BlendState* state)
{
    if (state->source == BlendState::Operation_ONE && state->dest == BlendState::Operation_ZERO &&
        state->colorWrite == BlendState::ColorWrite_ALL) {
        glDisable(GL_BLEND);
    } else {
        const GLenum source = getGLBlendOperation(state->source);
        const GLenum dest = getGLBlendOperation(state->dest);
        glBlendFunc(source, dest);
        glEnable(GL_BLEND);
    }
    glColorMask((state->colorWrite & BlendState::ColorWrite_RED) != 0, (state->colorWrite & BlendState::ColorWrite_GREEN) != 0,
                (state->colorWrite & BlendState::ColorWrite_BLUE) != 0, (state->colorWrite & BlendState::ColorWrite_ALPHA) != 0);
}

void GLRenderDevice::setDepthState(const DepthState* state)
{
    lastDepthTest = state->test;
    lastDepthWrite = state->write;
    if (state->test == DepthState::DepthTest_ALWAYS) {
        glDisable(GL_DEPTH_TEST);
    } else {
        glDepthFunc(getGLDepthFunc(state->test));
        glEnable(GL_DEPTH_TEST);
    }
    glDepthMask(state->write ? GL_TRUE : GL_FALSE);
}

void GLRenderDevice::setRasterizerState(const RasterizerState* state)
{
    if (state->cull == RasterizerState::CullType_NONE) {
        glDisable(GL_CULL_FACE);
    } else {
        glCullFace(getGLCullFace(state->cull));
        glEnable(GL_CULL_FACE);
    }
    glPolygonMode(GL_FRONT_AND_BACK, getGLPolygonMode(state->fill));
    if (state->depthBiasConstant != 0 || state->depthBiasSlope != 0) {
        glPolygonOffset(state->depthBiasSlope, state->depthBiasConstant);
        glEnable(GL_POLYGON_OFFSET_FILL);
    } else {
        glDisable(GL_POLYGON_OFFSET_FILL);
    }
    setEnabled(GL_MULTISAMPLE, state->multisample);
    setEnabled(GL_DITHER, state->dither);
    glLineWidth(state->lineSize);
}

void GLRenderDevice::setFogState(const FogState* state)
{
    if (state->fogType == FogState::FogType_NONE) {
        glDisable(GL_FOG);
        return;
    }
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, static_cast<GLint>(getGLFogType(state->fogType)));
    glFogf(GL_FOG_START, state->nearDistance);
    glFogf(GL_FOG_END, state->farDistance);
    glFogf(GL_FOG_DENSITY, state->density);
    glFogfv(GL_FOG_COLOR, &state->color.x);
}

void GLRenderDevice::setGeometryState(const GeometryState* state)
{
    geometryState = *state;
    if (caps.pointSprites) {
        if (state->sprite) {
            glEnable(GL_POINT_SPRITE);
            glPointParameterf(GL_POINT_SIZE_MIN, state->minSize);
            glPointParameterf(GL_POINT_SIZE_MAX, state->maxSize);
            if (state->attenuated) {
                scratch[0] = state->constant;
                scratch[1] = state->linear;
                scratch[2] = state->quadratic;
            } else {
                scratch[0] = 1;
                scratch[1] = 0;
                scratch[2] = 0;
            }
            scratch[3] = 0;
            glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, scratch);
        } else {
            glDisable(GL_POINT_SPRITE);
        }
    }
    for (int unit = 0; unit < units; ++unit) {
        activeTexture(unit);
        glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, state->sprite ? GL_TRUE : GL_FALSE);
    }
    if (state->size > 0) {
        glPointSize(state->attenuated ? state->size * static_cast<float>(viewport.height) : state->size);
    }
}

void GLRenderDevice::setMaterialState(const MaterialState* state)
{
    setEnabled(GL_LIGHTING, state->light);
    if (state->trackColor) {
        glEnable(GL_COLOR_MATERIAL);
        if (glVersion > 10) {
            glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        }
    } else {
        glDisable(GL_COLOR_MATERIAL);
    }
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &state->ambient.x);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &state->diffuse.x);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &state->specular.x);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, state->shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &state->emissive.x);
    glShadeModel(getGLShadeModel(state->shade));
    setEnabled(GL_NORMALIZE, state->normalize == MaterialState::Normalize_NORMALIZE);
    setEnabled(GL_RESCALE_NORMAL, state->normalize == MaterialState::Normalize_RESCALE);
    if (state->alphaTest == MaterialState::AlphaTest_NONE) {
        glDisable(GL_ALPHA_TEST);
    } else {
        glAlphaFunc(getGLAlphaFunc(state->alphaTest), state->alphaCutoff);
        glEnable(GL_ALPHA_TEST);
    }
}

void GLRenderDevice::setSamplerState(int unit, SamplerState* state)
{
    if (unit < 0 || unit >= units) {
        return;
    }
    // A copy: the render state it came from may be released while it is still the unit's.
    if ((state != nullptr) != (lastSamplerStates[unit] != nullptr)) {
        ++recordRevision;
    }
    if (state != nullptr) {
        if (!sameSampling(samplerRecords[unit], *state)) {
            ++recordRevision;
        }
        samplerRecords[unit] = *state;
    }
    lastSamplerStates[unit] = state != nullptr ? &samplerRecords[unit] : nullptr;
}

void GLRenderDevice::setTextureState(int unit, TextureState* state)
{
    if (unit < 0 || unit >= units) {
        return;
    }
    activeTexture(unit);
    // A copy, as for the sampler.
    if ((state != nullptr) != (lastTextureStates[unit] != nullptr)) {
        ++recordRevision;
    }
    if (state != nullptr) {
        if (!sameCoordinates(textureRecords[unit], *state)) {
            ++recordRevision;
        }
        textureRecords[unit] = *state;
        state = &textureRecords[unit];
    }
    lastTextureStates[unit] = state;
    if (state == nullptr) {
        return;
    }
    const bool colorSet = state->colorOperation != TextureState::Operation_UNSPECIFIED;
    const bool alphaSet = state->alphaOperation != TextureState::Operation_UNSPECIFIED;
    const bool sources = state->colorSource1 != TextureState::Source_UNSPECIFIED ||
                         state->colorSource2 != TextureState::Source_UNSPECIFIED ||
                         state->alphaSource1 != TextureState::Source_UNSPECIFIED ||
                         state->alphaSource2 != TextureState::Source_UNSPECIFIED;
    if (sources) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        if (state->colorOperation == TextureState::Operation_DOTPRODUCT &&
            state->alphaOperation == TextureState::Operation_DOTPRODUCT) {
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGBA);
        } else {
            if (colorSet) {
                glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, static_cast<GLint>(getGLTextureBlendOperation(state->colorOperation)));
            }
            if (alphaSet) {
                if (state->alphaOperation == TextureState::Operation_DOTPRODUCT) {
                    invalid("can not use Operation_DOTPRODUCT in only alpha channel");
                }
                glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, static_cast<GLint>(getGLTextureBlendOperation(state->alphaOperation)));
            }
        }
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, &state->constantColor.x);
        const auto setSources = [](const int (&sources)[3], const GLenum (&names)[3]) {
            for (int i = 0; i < 3; ++i) {
                if (sources[i] != TextureState::Source_UNSPECIFIED) {
                    glTexEnvi(GL_TEXTURE_ENV, names[i], static_cast<GLint>(getGLTextureBlendSource(sources[i])));
                }
            }
        };
        if (colorSet) {
            setSources({state->colorSource1, state->colorSource2, state->colorSource3},
                       {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB});
        }
        if (alphaSet) {
            setSources({state->alphaSource1, state->alphaSource2, state->alphaSource3},
                       {GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA});
        }
    } else if (!colorSet) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    } else if (state->colorOperation == TextureState::Operation_DOTPRODUCT ||
               state->colorOperation == TextureState::Operation_ALPHABLEND ||
               getGLTextureBlendOperation(state->colorOperation) == 0) {
        // Only the combiner has these, and it needs the sources to combine.
        invalid("setTextureState: colour operation without sources");
    } else {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(getGLTextureBlendOperation(state->colorOperation)));
    }
    if (colorSet) {
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, getGLTextureBlendScale(state->colorOperation));
    }
    if (alphaSet) {
        glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, getGLTextureBlendScale(state->alphaOperation));
    }
}

void GLRenderDevice::setSamplerStatePostTexture(int unit, SamplerState* state)
{
    if (unit < 0 || unit >= units) {
        return;
    }
    activeTexture(unit);
    if (lastTextures[unit] == nullptr || state == nullptr || lastTexTargets[unit] == 0) {
        return;
    }
    TextureFormat* format = lastTextures[unit]->getFormat();
    applySampler(lastTexTargets[unit], format != nullptr ? format->mipMax : 1, *state);
}

bool GLRenderDevice::AppliedTexture::matches(int unit_, const GLTexture* texture_, bool hasSampler_, bool hasState_,
                                             uint32_t records_) const
{
    return valid && unit == unit_ && texture == texture_ && handle == texture_->getHandle() &&
           revision == texture_->getRevision() && matrixRevision == texture_->getMatrixRevision() &&
           records == records_ && hasSampler == hasSampler_ && hasState == hasState_;
}

bool GLRenderDevice::AppliedTexture::repeats(int unit_, const Texture* texture_, Shader::ShaderType type_,
                                             uint32_t records_) const
{
    return valid && unit == unit_ && texture_ == texture && type == type_ && records == records_ &&
           handle == texture->getHandle() && revision == texture->getRevision() &&
           matrixRevision == texture->getMatrixRevision();
}

void GLRenderDevice::AppliedTexture::remember(int unit_, const GLTexture* texture_, bool hasSampler_, bool hasState_,
                                              uint32_t records_)
{
    unit = unit_;
    texture = texture_;
    handle = texture_->getHandle();
    revision = texture_->getRevision();
    matrixRevision = texture_->getMatrixRevision();
    records = records_;
    hasSampler = hasSampler_;
    hasState = hasState_;
    valid = true;
}

void GLRenderDevice::applySampler(unsigned int target, int mipMax, const SamplerState& state)
{
    appliedTexture.valid = false;
    // A rectangle texture has one level and cannot repeat: OpenGL refuses both, so it clamps.
    const bool rectangle = target == GL_TEXTURE_RECTANGLE;
    auto wrap = [this, rectangle](int address) {
        const GLenum mode = getGLWrap(address, glVersion);
        return static_cast<GLint>(rectangle && mode != GL_CLAMP && mode != GL_CLAMP_TO_BORDER ? GL_CLAMP_TO_EDGE : mode);
    };
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap(state.uAddress));
    glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap(state.vAddress));
    if (glVersion > 11 && !rectangle) {
        glTexParameteri(target, GL_TEXTURE_WRAP_R, wrap(state.wAddress));
    }
    // A texture of one level cannot be sampled through a mipmapping filter.
    const int mipFilter =
        mipMax == 1 || rectangle ? static_cast<int>(SamplerState::FilterType_NONE) : state.mipFilter;
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(getGLMinFilter(state.minFilter, mipFilter)));
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(getGLMagFilter(state.magFilter)));
}

void GLRenderDevice::setTextureStatePostTexture(int unit, TextureState* state)
{
    if (unit < 0 || unit >= units) {
        return;
    }
    activeTexture(unit);
    if (lastTextures[unit] != nullptr) {
        // A unit without a state still needs the texture's own matrix (a rectangle texture's texel
        // scaling) in place of whatever an earlier state left on it.
        static const TextureState noState;
        applyTextureCoordinates(state != nullptr ? state : &noState, lastTextures[unit]->getUsage(),
                                getLastTexture(unit)->getTextureMatrix());
    }
    if (lastTexTargets[unit] != 0) {
        applyDepthCompare(lastTexTargets[unit], state);
    }
    lastTexCoordIndexes[unit] = static_cast<short>(state != nullptr ? state->texCoordIndex : 0);
    lastMaxTexCoordIndex = static_cast<short>(std::max<int>(lastMaxTexCoordIndex, unit + 1));
    while (lastMaxTexCoordIndex > 0 && lastTexTargets[lastMaxTexCoordIndex - 1] == 0) {
        --lastMaxTexCoordIndex;
    }
}

void GLRenderDevice::applyTextureCoordinates(const TextureState* state, int usage,
                                             const core::math::Matrix4x4& textureMatrix)
{
    appliedTexture.valid = false;
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    int calculation = state->calculation;
    if (calculation == TextureState::CalculationType_UNSPECIFIED) {
        calculation = (usage & 0x30) != 0 ? static_cast<int>(TextureState::CalculationType_NORMAL) : -1;
    }
    const GLenum coordinates[] = {GL_S, GL_T, GL_R, GL_Q};
    const GLenum generations[] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
    if (calculation == TextureState::CalculationType_NORMAL) {
        glMultMatrixf(textureMatrix.data);
        glMultMatrixf(state->matrix.data);
        for (GLenum generation : generations) {
            glDisable(generation);
        }
    } else if (calculation == TextureState::CalculationType_OBJECTSPACE ||
               calculation == TextureState::CalculationType_CAMERASPACE) {
        const bool object = calculation == TextureState::CalculationType_OBJECTSPACE;
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        for (int i = 0; i < 4; ++i) {
            // Row i of the state's matrix is the plane of coordinate i.
            for (int column = 0; column < 4; ++column) {
                scratch[column] = state->matrix.at(i, column);
            }
            glTexGeni(coordinates[i], GL_TEXTURE_GEN_MODE, object ? GL_OBJECT_LINEAR : GL_EYE_LINEAR);
            glTexGenfv(coordinates[i], object ? GL_OBJECT_PLANE : GL_EYE_PLANE, scratch);
            glEnable(generations[i]);
        }
        glPopMatrix();
    } else {
        for (GLenum generation : generations) {
            glDisable(generation);
        }
    }
    glMatrixMode(GL_MODELVIEW);
}

void GLRenderDevice::applyDepthCompare(unsigned int target, const TextureState* state)
{
    appliedTexture.valid = false;
    if (glVersion <= 13) {
        return;
    }
    if (state != nullptr && state->shadowResult != TextureState::ShadowResult_NONE) {
        glTexParameteri(target, GL_DEPTH_TEXTURE_MODE, static_cast<GLint>(getGLDepthTextureMode(state->shadowResult)));
        glTexParameteri(target, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
        glTexParameteri(target, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
    } else {
        glTexParameteri(target, GL_TEXTURE_COMPARE_MODE, GL_NONE);
    }
}

// The tables.

unsigned int GLRenderDevice::getGLBlendOperation(int operation)
{
    static const GLenum factors[] = {GL_ONE,           GL_ZERO,
                                     GL_DST_COLOR,     GL_SRC_COLOR,
                                     GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR,
                                     GL_DST_ALPHA,     GL_SRC_ALPHA,
                                     GL_ONE_MINUS_DST_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
    if (operation < 0 || operation > 9) {
        invalid("getGLBlendOperation: Invalid blend operation");
    }
    return factors[operation];
}

unsigned int GLRenderDevice::getGLDepthFunc(int test)
{
    if (test < 0 || test > 7) {
        invalid("getGLDepthFunc: Invalid depth test");
    }
    return compareFunctions[test];
}

unsigned int GLRenderDevice::getGLAlphaFunc(int test)
{
    if (test < 0 || test > 7) {
        invalid("getGLAlphaFunc: Invalid alpha test");
    }
    return compareFunctions[test];
}

unsigned int GLRenderDevice::getGLFogType(int type)
{
    switch (type) {
    case FogState::FogType_LINEAR:
        return GL_LINEAR;
    case FogState::FogType_EXP:
        return GL_EXP;
    case FogState::FogType_EXP2:
        return GL_EXP2;
    default:
        invalid("getGLFogType: Invalid fog type");
    }
}

unsigned int GLRenderDevice::getGLShadeModel(int type)
{
    switch (type) {
    case MaterialState::ShadeType_FLAT:
        return GL_FLAT;
    case MaterialState::ShadeType_GOURAUD:
    case MaterialState::ShadeType_PHONG:
        return GL_SMOOTH;
    default:
        invalid("getGLShadeModel: Invalid shade type");
    }
}

unsigned int GLRenderDevice::getGLCullFace(int type)
{
    switch (type) {
    case RasterizerState::CullType_FRONT:
        return GL_FRONT;
    case RasterizerState::CullType_BACK:
        return GL_BACK;
    default:
        invalid("getGLCullFace: Invalid cull type");
    }
}

unsigned int GLRenderDevice::getGLPolygonMode(int type)
{
    switch (type) {
    case RasterizerState::FillType_POINT:
        return GL_POINT;
    case RasterizerState::FillType_LINE:
        return GL_LINE;
    case RasterizerState::FillType_SOLID:
        return GL_FILL;
    default:
        invalid("getGLCullFace: Invalid fill type");
    }
}

unsigned int GLRenderDevice::getGLTextureBlendOperation(int operation)
{
    switch (operation) {
    case TextureState::Operation_REPLACE:
        return GL_REPLACE;
    case TextureState::Operation_ADD:
        return GL_ADD;
    case TextureState::Operation_MODULATE:
    case TextureState::Operation_MODULATE_2X:
    case TextureState::Operation_MODULATE_4X:
        return GL_MODULATE;
    case TextureState::Operation_DOTPRODUCT:
        return GL_DOT3_RGB;
    case TextureState::Operation_ALPHABLEND:
        return GL_INTERPOLATE;
    default:
        return 0;
    }
}

unsigned int GLRenderDevice::getGLTextureBlendSource(int source)
{
    switch (source) {
    case TextureState::Source_PREVIOUS:
        return GL_PREVIOUS;
    case TextureState::Source_TEXTURE:
        return GL_TEXTURE;
    case TextureState::Source_PRIMARY_COLOR:
        return GL_PRIMARY_COLOR;
    case TextureState::Source_CONSTANT_COLOR:
        return GL_CONSTANT;
    default:
        invalid("getGLTextureBlendSource: Invalid source");
    }
}

float GLRenderDevice::getGLTextureBlendScale(int operation)
{
    switch (operation) {
    case TextureState::Operation_MODULATE_2X:
        return 2.0f;
    case TextureState::Operation_MODULATE_4X:
        return 4.0f;
    default:
        return 1.0f;
    }
}

unsigned int GLRenderDevice::getGLWrap(int address, int version)
{
    switch (address) {
    case SamplerState::AddressType_REPEAT:
        return GL_REPEAT;
    case SamplerState::AddressType_CLAMP_TO_EDGE:
        return version > 11 ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    case SamplerState::AddressType_CLAMP_TO_BORDER:
        return GL_CLAMP_TO_BORDER;
    case SamplerState::AddressType_MIRRORED_REPEAT:
        return GL_MIRRORED_REPEAT;
    default:
        invalid("getGLWrap: Invalid address");
    }
}

unsigned int GLRenderDevice::getGLMinFilter(int minFilter, int mipFilter)
{
    const int nearest = SamplerState::FilterType_NEAREST;
    const int linear = SamplerState::FilterType_LINEAR;
    const int none = SamplerState::FilterType_NONE;
    const struct
    {
        int minFilter;
        int mipFilter;
        GLenum filter;
    } filters[] = {{nearest, none, GL_NEAREST},
                   {linear, none, GL_LINEAR},
                   {nearest, nearest, GL_NEAREST_MIPMAP_NEAREST},
                   {linear, nearest, GL_LINEAR_MIPMAP_NEAREST},
                   {nearest, linear, GL_NEAREST_MIPMAP_LINEAR},
                   {linear, linear, GL_LINEAR_MIPMAP_LINEAR}};
    for (const auto& f : filters) {
        if (minFilter == f.minFilter && mipFilter == f.mipFilter) {
            return f.filter;
        }
    }
    invalid("getGLMinFilter: Invalid filter");
}

unsigned int GLRenderDevice::getGLMagFilter(int filter)
{
    switch (filter) {
    case SamplerState::FilterType_NEAREST:
        return GL_NEAREST;
    case SamplerState::FilterType_LINEAR:
        return GL_LINEAR;
    default:
        invalid("getGLMagFilter: Invalid filter");
    }
}

unsigned int GLRenderDevice::getGLDepthTextureMode(int shadowResult)
{
    switch (shadowResult) {
    case TextureState::ShadowResult_LUMINANCE:
        return GL_LUMINANCE;
    case TextureState::ShadowResult_INTENSITY:
        return GL_INTENSITY;
    default:
        return 0;
    }
}

unsigned int GLRenderDevice::getGLPrimitive(int primitive)
{
    return glPrimitive(primitive);
}

unsigned int GLRenderDevice::getGLIndexType(int indexFormat)
{
    switch (indexFormat) {
    case 1:
        return GL_UNSIGNED_BYTE;
    case 2:
        return GL_UNSIGNED_SHORT;
    case 4:
        return GL_UNSIGNED_INT;
    default:
        invalid("getGLIndexType: Invalid type");
    }
}

unsigned int GLRenderDevice::getGLDataType(int elementFormat)
{
    // The packed colour.
    if (elementFormat == 8) {
        return GL_UNSIGNED_BYTE;
    }
    switch (elementFormat & 0xFF) {
    case 1:
        return GL_UNSIGNED_BYTE;
    case 2:
        return GL_BYTE;
    case 3:
        return GL_SHORT;
    case 4:
        return GL_INT;
    case 6:
        return GL_FLOAT;
    case 7:
        return GL_DOUBLE;
    default:
        invalid("getGLDataType: Invalid data type");
    }
}

int GLRenderDevice::getGLElementCount(int elementFormat)
{
    return elementFormat == 8 ? 4 : (elementFormat >> 16) & 0xFF;
}

unsigned int GLRenderDevice::getGLFormat(int pixelFormat, bool internal)
{
    const int type = pixelFormat & 0xFF00;
    switch (pixelFormat & 0xFF) {
    case TextureFormat::Layout_L:
        return GL_LUMINANCE;
    case TextureFormat::Layout_A:
        return GL_ALPHA;
    case TextureFormat::Layout_LA:
        return GL_LUMINANCE_ALPHA;
    case TextureFormat::Layout_RGB:
        return type == TextureFormat::Type_DXT1 ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT : GL_RGB;
    case TextureFormat::Layout_BGR:
        return internal ? GL_RGB : GL_BGR;
    case TextureFormat::Layout_RGBA:
        if (type >= TextureFormat::Type_DXT2 && type <= 0xDFF) {
            return GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
        }
        if (type >= TextureFormat::Type_DXT4 && type <= 0xFFF) {
            return GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
        }
        return GL_RGBA;
    case TextureFormat::Layout_BGRA:
        return internal ? GL_RGBA : GL_BGRA;
    case TextureFormat::Layout_DEPTH:
        if (internal && type == TextureFormat::Type_DEPTH24) {
            return GL_DEPTH_COMPONENT24;
        }
        if (internal && type == TextureFormat::Type_DEPTH32) {
            return GL_DEPTH_COMPONENT32;
        }
        return GL_DEPTH_COMPONENT16;
    default:
        return 0;
    }
}

unsigned int GLRenderDevice::getGLType(int pixelFormat)
{
    const int type = pixelFormat & 0xFF00;
    if (type >= TextureFormat::Type_UINT8 && type <= TextureFormat::Type_DEPTH32) {
        return GL_UNSIGNED_BYTE;
    }
    switch (type) {
    case TextureFormat::Type_FLOAT32:
        return GL_FLOAT;
    case TextureFormat::Type_UINT16_5_6_5:
        return GL_UNSIGNED_SHORT_5_6_5;
    case TextureFormat::Type_UINT16_5_5_5_1:
        return GL_UNSIGNED_SHORT_5_5_5_1;
    case TextureFormat::Type_UINT16_4_4_4_4:
        return GL_UNSIGNED_SHORT_4_4_4_4;
    default:
        return 0;
    }
}

bool GLRenderDevice::getGLTextureCompressed(int pixelFormat)
{
    return pixelFormat == 0xB06 || pixelFormat == 0xC08 || pixelFormat == 0xD08 || pixelFormat == 0xE08 ||
           pixelFormat == 0xF08;
}

int GLRenderDevice::getVariableFormat(unsigned int uniformType)
{
    switch (uniformType) {
    case GL_BOOL:
        return 0x101;
    case GL_BOOL_VEC2:
        return 0x201;
    case GL_BOOL_VEC3:
        return 0x301;
    case GL_BOOL_VEC4:
        return 0x401;
    case GL_INT:
        return 0x104;
    case GL_INT_VEC2:
        return 0x204;
    case GL_INT_VEC3:
        return 0x304;
    case GL_INT_VEC4:
        return 0x404;
    case GL_FLOAT:
        return 0x106;
    case GL_FLOAT_VEC2:
        return 0x206;
    case GL_FLOAT_VEC3:
        return 0x306;
    case GL_FLOAT_VEC4:
        return 0x406;
    case GL_FLOAT_MAT2:
        return 0x506;
    case GL_FLOAT_MAT2x3:
        return 0x606;
    case GL_FLOAT_MAT2x4:
        return 0x706;
    case GL_FLOAT_MAT3x2:
        return 0x806;
    case GL_FLOAT_MAT3:
        return 0x906;
    case GL_FLOAT_MAT3x4:
        return 0xA06;
    case GL_FLOAT_MAT4x2:
        return 0xB06;
    case GL_FLOAT_MAT4x3:
        return 0xC06;
    case GL_FLOAT_MAT4:
        return 0xD06;
    case GL_SAMPLER_1D:
    case GL_SAMPLER_2D:
    case GL_SAMPLER_3D:
    case GL_SAMPLER_CUBE:
    case GL_SAMPLER_1D_SHADOW:
    case GL_SAMPLER_2D_SHADOW:
        return 9;
    default:
        return 0;
    }
}

unsigned int GLRenderDevice::getClientStateFromSemantic(int semantic, int index)
{
    switch (semantic) {
    case Semantic_POSITION:
        return GL_VERTEX_ARRAY;
    case Semantic_NORMAL:
        return GL_NORMAL_ARRAY;
    case Semantic_COLOR:
        return index == 0 ? GL_COLOR_ARRAY : index == 1 ? GL_SECONDARY_COLOR_ARRAY : 0;
    default:
        return 0;
    }
}

int GLRenderDevice::getFixedAttribFromSemantic(int semantic, int index)
{
    switch (semantic) {
    case Semantic_POSITION:
        return 0;
    case Semantic_NORMAL:
        return 2;
    case Semantic_COLOR:
        return index == 0 ? 3 : index == 1 ? 4 : -1;
    case Semantic_TEXCOORD:
        return 5 + index;
    default:
        return -1;
    }
}

// The device's resources.

void GLRenderDevice::rebindActiveTexture(unsigned int target)
{
    const int unit = lastActiveTexture >= 0 ? lastActiveTexture : 0;
    GLTexture* texture = getLastTexture(unit);
    glBindTexture(target, texture != nullptr && texture->getTarget() == target ? texture->getHandle() : 0);
}

GLTexture* GLRenderDevice::getLastTexture(int unit) const
{
    if (unit < 0 || unit >= units) {
        return nullptr;
    }
    return static_cast<GLTexture*>(lastTextures[static_cast<size_t>(unit)]);
}

int GLRenderDevice::vertexFormatCreated(GLVertexFormat* format)
{
    // Created again: one entry only, or a destroyed format would stay listed.
    const int known = format->getDeviceIndex();
    if (known >= 0 && known < static_cast<int>(vertexFormats.size()) && vertexFormats[static_cast<size_t>(known)] == format) {
        return known;
    }
    vertexFormats.push_back(format);
    const int index = static_cast<int>(vertexFormats.size()) - 1;
    format->setDeviceIndex(index);
    return index;
}

void GLRenderDevice::vertexFormatDestroyed(GLVertexFormat* format)
{
    const int index = format->getDeviceIndex();
    if (index < 0 || index >= static_cast<int>(vertexFormats.size()) || vertexFormats[static_cast<size_t>(index)] != format) {
        return;
    }
    for (GLSLShaderState* state : shaderStates) {
        state->dropVertexLayout(index);
    }
    vertexFormats.erase(vertexFormats.begin() + index);
    for (size_t i = static_cast<size_t>(index); i < vertexFormats.size(); ++i) {
        vertexFormats[i]->setDeviceIndex(static_cast<int>(i));
    }
}

int GLRenderDevice::shaderStateCreated(GLSLShaderState* state)
{
    if (std::find(shaderStates.begin(), shaderStates.end(), state) != shaderStates.end()) {
        return static_cast<int>(shaderStates.size());
    }
    if (shaderStates.size() == shaderStates.capacity()) {
        shaderStates.reserve(shaderStates.size() * 2 + 2);
    }
    shaderStates.push_back(state);
    return static_cast<int>(shaderStates.size());
}

void GLRenderDevice::shaderStateDestroyed(GLSLShaderState* state)
{
    const auto found = std::find(shaderStates.begin(), shaderStates.end(), state);
    if (found != shaderStates.end()) {
        shaderStates.erase(found);
    }
    if (lastShaderState == state) {
        glUseProgram(0);
        lastShaderState = nullptr;
    }
    if (sentProgram == state) {
        sentProgram = nullptr;
        sentBuffers.clear();
    }
}

bool GLRenderDevice::hardwareBuffersSupported(GLBuffer* buffer) const
{
    if (buffer->getIndexFormat() > 0) {
        return hardwareIndexBuffers;
    }
    if (buffer->getVertexFormat()) {
        return hardwareVertexBuffers;
    }
    if (buffer->getTextureFormat()) {
        return hardwarePixelBuffers;
    }
    core::IntrusivePointer<VariableBufferFormat> format = buffer->getVariableBufferFormat();
    return format && hardwareUniformBuffers && !format->getPrimary();
}

bool GLRenderDevice::hardwareMappingSupported(GLBuffer* buffer) const
{
    // Only index and vertex buffers are mapped, and only large ones.
    const bool mappable = buffer->getIndexFormat() > 0 || buffer->getVertexFormat();
    return buffer->getDataSize() > 32768 && mappable && hardwareBuffersSupported(buffer);
}

} // namespace rezezaz::render

extern "C" rezezaz::render::RenderDevice* new_GLRenderDevice()
{
    return new rezezaz::render::GLRenderDevice();
}

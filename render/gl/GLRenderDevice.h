#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/Matrix4x4.h"
#include "render/RenderDevice.h"
#include "render/SamplerState.h"
#include "render/TextureState.h"
#include "render/gl/GLDeviceRef.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace rezezaz::render {

class GLBuffer;
class GLRenderState;
class GLRenderTarget;
class GLSLShaderState;
class GLTexture;
class GLVertexFormat;

// The OpenGL render device: one window target's context, drawn through the fixed-function pipeline
// (or GLSL programs), with every engine state record and enumeration mapped onto OpenGL. It remembers
// what it last set (active unit, textures and targets per unit, enabled arrays, depth and point
// state) so that redundant changes are skipped. Everything runs on the thread whose context is
// current, with no locks. Made by new_GLRenderDevice.
class GLRenderDevice : public core::Object, public RenderDevice
{
public:
    // Option bits of create.
    enum Option
    {
        Option_NO_FBO = 2,
        Option_NO_HARDWARE_BUFFERS = 4,
        Option_NO_FIXED = 8,
        Option_NO_SHADERS = 16,
    };

    GLRenderDevice();
    ~GLRenderDevice() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    bool create(RenderTarget* target, int options) override;
    void destroy() override;
    void activate() override;
    bool reset() override;
    bool activateAdditionalContext() override;

    Texture* createTexture() override;
    PixelBufferRenderTarget* createPixelBufferRenderTarget() override;
    PixelBuffer* createPixelBuffer() override;
    VertexFormat* createVertexFormat() override;
    VertexBuffer* createVertexBuffer() override;
    IndexBuffer* createIndexBuffer() override;
    VariableBuffer* createVariableBuffer() override;
    Shader* createShader() override;
    Query* createQuery() override;
    RenderState* createRenderState() override;
    ShaderState* createShaderState() override;

    RenderTarget* getPrimaryRenderTarget() override;
    bool setRenderTarget(RenderTarget* target) override;
    RenderTarget* getRenderTarget() override;
    void setViewport(const Viewport& viewport) override;
    void clear(int clearFlags, const core::math::Vector4& color) override;
    void swap() override;
    void beginScene() override;
    void endScene() override;
    void renderPrimitive(VertexData* vertexData, IndexData* indexData) override;
    bool copyFrameBufferToPixelBuffer(PixelBuffer* buffer) override;
    bool copyPixelBuffer(PixelBuffer* dest, PixelBuffer* source) override;
    void setDefaultState() override;
    bool setRenderState(RenderState* state) override;
    bool setShaderState(ShaderState* state) override;
    void setBuffer(Shader::ShaderType type, int index, VariableBuffer* buffer) override;
    void setTexture(Shader::ShaderType type, int index, Texture* texture) override;
    void setMatrix(MatrixType type, const core::math::Matrix4x4& matrix) override;
    void setLightEnabled(int light, bool enabled) override;
    void setLightState(int light, const LightState& state) override;
    void setAmbientColor(const core::math::Vector4& color) override;
    int getClosePixelFormat(int pixelFormat, int usage) override;
    bool getShaderProfileSupported(const core::String& profile) override;
    void getShadowBiasMatrix(const Texture* texture, core::math::Matrix4x4& result) override;
    bool getRenderCaps(RenderCaps& caps) override;

    // The single states, applied at once. Each throws Error::unknown for a value outside its table,
    // after the OpenGL calls that came before the bad value.
    void setBlendState(const BlendState* state);
    void setDepthState(const DepthState* state);
    void setRasterizerState(const RasterizerState* state);
    void setFogState(const FogState* state);
    // Remembered, and applied again by setViewport (an attenuated point size scales with its height).
    void setGeometryState(const GeometryState* state);
    void setMaterialState(const MaterialState* state);
    // Kept for the unit; applied when a texture is bound there.
    void setSamplerState(int unit, SamplerState* state);
    // The texture environment of the unit, at once; the state is also kept for the unit.
    void setTextureState(int unit, TextureState* state);
    // What setTexture applies after binding: the unit's sampler and its coordinate state.
    void setSamplerStatePostTexture(int unit, SamplerState* state);
    void setTextureStatePostTexture(int unit, TextureState* state);

    // The parts of those two that act on the texture bound to the active unit, given what they need
    // of it: its OpenGL target, its number of mip levels, its usage bits and its own matrix.
    void applySampler(unsigned int target, int mipMax, const SamplerState& state);
    void applyTextureCoordinates(const TextureState* state, int usage, const core::math::Matrix4x4& textureMatrix);
    void applyDepthCompare(unsigned int target, const TextureState* state);

    // OpenGL version times ten, at most 41; 0 before create.
    int getGLVersion() const { return glVersion; }
    // Texture units in use: the highest unit with a texture target, plus one.
    int getNumUsedTextureUnits() const { return lastMaxTexCoordIndex; }
    // The texture-coordinate set the unit reads (-1 when none was recorded).
    int getTexCoordIndex(int unit) const;
    const Viewport& getViewport() const { return viewport; }

    // Engine values to OpenGL values; each throws Error::unknown with its own text for a value it has
    // no entry for.
    static unsigned int getGLBlendOperation(int operation);
    static unsigned int getGLDepthFunc(int test);
    static unsigned int getGLAlphaFunc(int test);
    static unsigned int getGLFogType(int type);
    static unsigned int getGLShadeModel(int type);
    static unsigned int getGLCullFace(int type);
    static unsigned int getGLPolygonMode(int type);
    // 0 for a value without an operation.
    static unsigned int getGLTextureBlendOperation(int operation);
    static unsigned int getGLTextureBlendSource(int source);
    static float getGLTextureBlendScale(int operation);
    static unsigned int getGLWrap(int address, int glVersion);
    static unsigned int getGLMinFilter(int minFilter, int mipFilter);
    static unsigned int getGLMagFilter(int filter);
    // 0 for no result.
    static unsigned int getGLDepthTextureMode(int shadowResult);
    // Values above 5 draw points.
    static unsigned int getGLPrimitive(int primitive);
    static unsigned int getGLIndexType(int indexFormat);
    static unsigned int getGLDataType(int elementFormat);
    static int getGLElementCount(int elementFormat);
    static unsigned int getGLFormat(int pixelFormat, bool internal);
    static unsigned int getGLType(int pixelFormat);
    static bool getGLTextureCompressed(int pixelFormat);
    static int getVariableFormat(unsigned int uniformType);
    static unsigned int getClientStateFromSemantic(int semantic, int index);
    static int getFixedAttribFromSemantic(int semantic, int index);

    // Resources of this device: vertex formats and GLSL programs register while they live, buffers
    // ask which OpenGL features to use.
    int vertexFormatCreated(GLVertexFormat* format);
    void vertexFormatDestroyed(GLVertexFormat* format);
    int shaderStateCreated(GLSLShaderState* state);
    void shaderStateDestroyed(GLSLShaderState* state);
    int getNumVertexFormats() const { return static_cast<int>(vertexFormats.size()); }
    int getNumShaderStates() const { return static_cast<int>(shaderStates.size()); }
    bool hardwareBuffersSupported(GLBuffer* buffer) const;
    bool hardwareMappingSupported(GLBuffer* buffer) const;
    // The texture bound at unit, or null.
    GLTexture* getLastTexture(int unit) const;
    // The GLSL program in use, null for the fixed pipeline.
    GLSLShaderState* getShaderState() const { return lastShaderState; }
    // What the device's resources hold of it (GLDeviceRef): one link per context the device was
    // created on, cleared when that context is left (destroy, or create again) or the device goes,
    // and resolving to nothing once the target frees that context under the device.
    GLDeviceRef::Link* getLink() const { return link.get(); }
    // Makes the context of the device's target current on the calling thread when another one is;
    // false when the device's target has no context any more.
    bool makeContextCurrent();
    // Whether the context of the device's target was freed under the device (the target destroyed
    // while the device lives on). The first time it is seen the device lets go of what it kept of
    // that context and says so in the log; from then on it sends nothing to OpenGL until it is
    // created again.
    bool contextLost()
    {
        if (contextLife == nullptr || contextLife->live) {
            return false;
        }
        return forgetLostContext();
    }
    // The device binds an index buffer object for a draw only when it is not the one it knows to be
    // bound already. Whatever binds that target or deletes a buffer object behind its back (the
    // buffers, on any thread and context) calls this, and the next draw binds again; the device
    // itself forgets it on every change or loss of context and at the start of a scene. The binding
    // belongs to the vertex array object in use: nothing here binds one.
    void forgetIndexBinding() { boundIndexBuffer.store(unknownIndexBinding, std::memory_order_relaxed); }

private:
    struct SentBuffer;
    // What contextLost does the first time it sees the context gone; true.
    bool forgetLostContext();
    // setTexture for anything but the texture set last, with nothing applied since.
    void bindTexture(Shader::ShaderType type, int unit, Texture* texture);
    // Whether the buffer given now stands for what was sent, as it was (the same root, its storage
    // unchanged).
    static bool sentAsBefore(VertexBuffer* given, const SentBuffer& sent);
    // renderPrimitive for any draw its own first checks do not settle: the null, empty and lost
    // cases, then drawPrimitive.
    void checkAndDraw(VertexData* vertexData, IndexData* indexData);
    // renderPrimitive's whole checks and set-up, for any draw but one repeating the last set-up.
    void drawPrimitive(VertexData* vertexData, IndexData* indexData, GLBuffer* indices);
    // Vertex set-up of renderPrimitive.
    void setVertexData(VertexData* vertexData);
    void sendFixedVertexData(VertexData* vertexData);
    void sendShaderVertexData(VertexData* vertexData);
    // Binds a vertex buffer's storage and gives its format; null (nothing bound) for a buffer this device cannot send.
    GLVertexFormat* bindVertexBuffer(VertexBuffer* vertexBuffer, GLBuffer*& buffer);
    void dropShaderVertexData();
    inline bool vertexDataChanged(VertexData* vertexData) const;
    // Whether the vertex data is certainly as the last draw sent it, told without a call: false
    // also where only vertexDataChanged can tell.
    inline bool vertexDataAsSent(const VertexData* vertexData) const;
    // Each unit in use reads the coordinate set the arrays were bound for.
    inline bool texCoordsAsBound() const;
    // False when an index of the range start..start+count of the index buffer's local copy is at
    // or past the vertex count of the vertex data: such a range draws nothing.
    static bool indicesWithinVertices(VertexData* vertexData, GLBuffer* indices, int start, int count);
    void rebindActiveTexture(unsigned int target);
    inline void bindIndexBuffer(unsigned int handle);

    void activeTexture(int unit);
    // False, with an error logged, for a light index outside the device's lights.
    bool validLight(int light) const;
    // Disables every fixed-pipeline array that is enabled.
    void dropFixedVertexData();
    void dropVertexState();
    void unbindAllUnits();
    // What a scene leaves behind: vertex arrays, sent buffers, the program and the bound textures.
    void releaseSceneState();
    void newContextGeneration();
    void sizeUnits(int units);

    int glVersion = 0;
    float scratch[4] = {0, 0, 0, 0};
    bool pbuffersAvailable = false;
    bool fboAvailable = false;
    bool hardwareVertexBuffers = false;
    bool hardwareIndexBuffers = false;
    bool hardwarePixelBuffers = false;
    bool hardwareUniformBuffers = false;
    bool textureNonPowerOf2 = false;
    bool textureRectangle = false;
    Viewport viewport;
    int lastDepthTest = DepthState::DepthTest_LESS_EQUAL;
    bool lastDepthWrite = true;
    GeometryState geometryState;
    int units = 0;
    std::vector<Texture*> lastTextures;
    // Per unit: the sampler and texture records in force, null for none, pointing into the device's
    // own copies below (never into a render state, which may go while its records are in force).
    std::vector<SamplerState*> lastSamplerStates;
    std::vector<TextureState*> lastTextureStates;
    std::vector<SamplerState> samplerRecords;
    std::vector<TextureState> textureRecords;
    std::vector<Shader::ShaderType> lastShaderTypes;
    std::vector<short> lastTexCoordIndexes;
    short lastMaxTexCoordIndex = 0;
    std::vector<unsigned int> lastTexTargets;
    std::vector<short> lastBoundTexCoordIndexes;
    int lastShaderVertexAttribBits = 0;
    int lastActiveTexture = -1;
    core::IntrusivePointer<GLRenderState> defaultState;
    core::IntrusivePointer<RenderTarget> primaryRenderTarget;
    core::IntrusivePointer<GLRenderTarget> primaryGLRenderTarget;
    core::IntrusivePointer<RenderTarget> renderTarget;
    core::IntrusivePointer<GLRenderTarget> glRenderTarget;
    int lastFixedClientStateBits = 0;
    int lastFixedTexCoordBits = 0;
    core::math::Matrix4x4 view;
    core::math::Matrix4x4 model;
    RenderCaps caps;
    bool multiTexture = false;
    bool clampToEdge = false;

    std::vector<GLSLShaderState*> shaderStates;
    std::vector<GLVertexFormat*> vertexFormats;
    GLSLShaderState* lastShaderState = nullptr;
    // What the arrays of the last vertex data were set from: each buffer's root (kept alive while
    // it may be drawn again) with the revision of its storage, and the program. A buffer given as
    // the device's own (its own root) is known again without asking for its root.
    struct SentBuffer
    {
        core::IntrusivePointer<VertexBuffer> buffer;
        const GLBuffer* own = nullptr;
        uint32_t revision = 0;

        // The buffer given is the one sent, itself of the device's class, its storage unchanged.
        inline bool sameObject(const VertexBuffer* given) const;
    };
    std::vector<SentBuffer> sentBuffers;
    GLSLShaderState* sentProgram = nullptr;
    // Per unit: the bound texture kept alive, and its object when it was bound.
    std::vector<core::IntrusivePointer<Texture>> boundTextures;
    std::vector<unsigned int> boundTextureHandles;
    core::IntrusivePointer<GLDeviceRef::Link> link;
    // The link's context, read by every draw.
    GLRenderTarget::ContextLife* contextLife = nullptr;
    bool lostContextSeen = false;
    static constexpr unsigned int unknownIndexBinding = ~0u;
    std::atomic<unsigned int> boundIndexBuffer{unknownIndexBinding};
    // Counts the changes of what the units' sampler and texture records hold for setTexture to
    // apply, and of whether a unit has them (setting the same values again is no change).
    uint32_t recordRevision = 0;
    // What setTexture last applied after binding (the texture's sampler parameters, the unit's
    // coordinate state): the same again is skipped. The same is the same texture object with the
    // same matrix, and the unit's records unchanged since. Anything else that applies such state, or
    // changes what is bound, forgets it.
    struct AppliedTexture
    {
        bool valid = false;
        int unit = -1;
        const GLTexture* texture = nullptr;
        unsigned int handle = 0;
        uint32_t revision = 0;
        uint32_t matrixRevision = 0;
        uint32_t records = 0;
        bool hasSampler = false;
        bool hasState = false;
        // The shader stage the unit was last set for.
        Shader::ShaderType type = Shader::ShaderType_FRAGMENT;

        bool matches(int unit, const GLTexture* texture, bool hasSampler, bool hasState, uint32_t records) const;
        // The same texture given again for the same unit and stage, as the device's own object, with
        // nothing applied or bound since (the records' presence is part of their revision): the
        // whole of setTexture is as it was.
        inline bool repeats(int unit, const Texture* texture, Shader::ShaderType type, uint32_t records) const;
        void remember(int unit, const GLTexture* texture, bool hasSampler, bool hasState, uint32_t records);
    };
    AppliedTexture appliedTexture;
};

} // namespace rezezaz::render

// A new OpenGL device, not yet created.
extern "C" rezezaz::render::RenderDevice* new_GLRenderDevice();

#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "render/MaterialState.h"
#include "render/RenderState.h"
#include "render/Shader.h"
#include "render/ShaderState.h"
#include "render/Texture.h"
#include "scene/ResourceCreator.h"
#include "scene/material/Material.h"

namespace rezezaz::scene {

class Engine;
class Font;

namespace material {
class RenderPass;
}

// Makes the engine's built-in materials: the diffuse material (one light, fog, an optional texture),
// the point-sprite material and the font material (text drawn from a font's atlas, blended). Each has a shader path, drawn by the shader programs this creator
// owns, and a fixed-function path named "fixed", each only where the engine's capabilities allow
// it. The engine makes one while it installs its handlers and keeps it for its life; the materials
// share the creator's shader states.
class DiffuseMaterialCreator : public core::Object, public ResourceCreator
{
public:
    explicit DiffuseMaterialCreator(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    // Destroys the shaders and shader states; materials made earlier keep their shader states.
    void destroy() override;
    // The material of that name from the material manager.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // Either argument may be null. A given render state is shared by the passes and left unchanged.
    core::IntrusivePointer<material::Material> createDiffuseMaterial(render::Texture* texture,
                                                                     render::RenderState* renderState);
    core::IntrusivePointer<material::Material> createPointSpriteMaterial(render::Texture* texture, float size,
                                                                         bool attenuate);
    // Draws with the font's atlas, unculled, depth-tested without depth writes, blended by alpha
    // when the atlas has alpha and additively otherwise; filed with the material manager without a
    // name. Null for a null font.
    core::IntrusivePointer<material::Material> createFontMaterial(Font* font);

    // Bits of alpha in a pixel of that format: 8 for the 8-bit A, LA, RGBA and BGRA formats, 32 for
    // their float forms, 1 and 4 for the 5-5-5-1 and 4-4-4-4 ones, 0 for every other format.
    static int getAlphaBits(int pixelFormat);

    // Lit, smooth, rescaled normals, white colours, shininess 1, no emission and no alpha test.
    static render::MaterialState defaultMaterialState();

    render::Shader* getDiffuseVertexShader() const { return diffuseVertexShader.get(); }
    render::Shader* getDiffuseFragmentShader() const { return diffuseFragmentShader.get(); }
    render::Shader* getPointSpriteGeometryShader() const { return pointSpriteGeometryShader.get(); }
    render::Shader* getPointSpriteFragmentShader() const { return pointSpriteFragmentShader.get(); }
    render::ShaderState* getDiffuseShaderState() const { return diffuseShaderState.get(); }
    render::ShaderState* getPointSpriteShaderState() const { return pointSpriteShaderState.get(); }

private:
    // A shader from its "glsl" and "hlsl" sources; empty when the shader manager cannot make it.
    core::IntrusivePointer<render::Shader> createShader(render::Shader::ShaderType type, const char* glsl,
                                                        const char* hlsl);
    // The variables every shader pass of this creator binds.
    static void addVariables(material::RenderPass* pass);

    Engine* engine;
    core::IntrusivePointer<render::Shader> diffuseVertexShader;
    core::IntrusivePointer<render::Shader> diffuseFragmentShader;
    core::IntrusivePointer<render::Shader> pointSpriteGeometryShader;
    core::IntrusivePointer<render::Shader> pointSpriteFragmentShader;
    core::IntrusivePointer<render::ShaderState> diffuseShaderState;
    core::IntrusivePointer<render::ShaderState> pointSpriteShaderState;
};

} // namespace rezezaz::scene

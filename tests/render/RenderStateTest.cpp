#include "render/BlendState.h"
#include "render/GeometryState.h"
#include "render/IndexData.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderCaps.h"
#include "render/RenderDevice.h"
#include "render/TextureFormat.h"
#include "render/VariableBufferFormat.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace rezezaz::render {
namespace {

// The stored layouts: mesh files hold these records byte for byte.
static_assert(sizeof(BlendState) == 12);
static_assert(offsetof(BlendState, source) == 0);
static_assert(offsetof(BlendState, dest) == 4);
static_assert(offsetof(BlendState, colorWrite) == 8);

static_assert(sizeof(RasterizerState) == 24);
static_assert(offsetof(RasterizerState, cull) == 0);
static_assert(offsetof(RasterizerState, fill) == 4);
static_assert(offsetof(RasterizerState, depthBiasConstant) == 8);
static_assert(offsetof(RasterizerState, depthBiasSlope) == 12);
static_assert(offsetof(RasterizerState, multisample) == 16);
static_assert(offsetof(RasterizerState, dither) == 17);
static_assert(offsetof(RasterizerState, lineSize) == 20);

static_assert(sizeof(MaterialState) == 112);
static_assert(alignof(MaterialState) == 16);
static_assert(offsetof(MaterialState, light) == 0);
static_assert(offsetof(MaterialState, trackColor) == 1);
static_assert(offsetof(MaterialState, shade) == 4);
static_assert(offsetof(MaterialState, normalize) == 8);
static_assert(offsetof(MaterialState, ambient) == 16);
static_assert(offsetof(MaterialState, diffuse) == 32);
static_assert(offsetof(MaterialState, specular) == 48);
static_assert(offsetof(MaterialState, shininess) == 64);
static_assert(offsetof(MaterialState, emissive) == 80);
static_assert(offsetof(MaterialState, alphaTest) == 96);
static_assert(offsetof(MaterialState, alphaCutoff) == 100);

// Enumerations that callers fill from plain integers (stored codes, loops over types, refused
// values) hold every int, so a value outside the named ones is still a defined value to refuse.
template <class E> constexpr bool holdsInt = std::is_same_v<std::underlying_type_t<E>, int>;
static_assert(holdsInt<Query::QueryType> && holdsInt<Shader::ShaderType> && holdsInt<IndexBuffer::IndexFormat> &&
              holdsInt<PixelBufferRenderTarget::Attachment> && holdsInt<RenderDevice::MatrixType> &&
              holdsInt<RenderDevice::ClearFlag> && holdsInt<Buffer::Usage> && holdsInt<Buffer::Access> &&
              holdsInt<Texture::Usage> && holdsInt<RenderState::StateBit> && holdsInt<TextureFormat::Format> &&
              holdsInt<TextureFormat::Dimension> && holdsInt<VertexFormat::Semantic> &&
              holdsInt<VertexFormat::ElementType> && holdsInt<VariableBufferFormat::Type> &&
              holdsInt<IndexData::Primitive>);

TEST(RenderStateTest, StoredRecordsReadBackFromTheirBytes)
{
    // What a mesh file holds for a material: little-endian fields at their offsets, padding bytes
    // left as the writer had them.
    unsigned char stored[112];
    std::memset(stored, 0xA5, sizeof(stored));
    auto putInt = [&](int offset, int32_t value) { std::memcpy(stored + offset, &value, 4); };
    auto putFloat = [&](int offset, float value) { std::memcpy(stored + offset, &value, 4); };
    stored[0] = 1;
    stored[1] = 0;
    putInt(4, MaterialState::ShadeType_PHONG);
    putInt(8, MaterialState::Normalize_NORMALIZE);
    for (int i = 0; i < 4; ++i) {
        putFloat(16 + 4 * i, 0.1f * i);
        putFloat(32 + 4 * i, 0.2f * i);
        putFloat(48 + 4 * i, 0.3f * i);
        putFloat(80 + 4 * i, 0.4f * i);
    }
    putFloat(64, 12.5f);
    putInt(96, MaterialState::AlphaTest_GREATER);
    putFloat(100, 0.5f);

    MaterialState material;
    std::memcpy(&material, stored, sizeof(material));
    EXPECT_TRUE(material.light);
    EXPECT_FALSE(material.trackColor);
    EXPECT_EQ(material.shade, MaterialState::ShadeType_PHONG);
    EXPECT_EQ(material.normalize, MaterialState::Normalize_NORMALIZE);
    EXPECT_EQ(material.ambient.w, 0.1f * 3);
    EXPECT_EQ(material.diffuse.y, 0.2f);
    EXPECT_EQ(material.specular.z, 0.3f * 2);
    EXPECT_EQ(material.emissive.w, 0.4f * 3);
    EXPECT_EQ(material.shininess, 12.5f);
    EXPECT_EQ(material.alphaTest, MaterialState::AlphaTest_GREATER);
    EXPECT_EQ(material.alphaCutoff, 0.5f);

    unsigned char rasterBytes[24];
    std::memset(rasterBytes, 0x5A, sizeof(rasterBytes));
    int32_t cull = RasterizerState::CullType_FRONT;
    float lineSize = 2.5f;
    std::memcpy(rasterBytes, &cull, 4);
    rasterBytes[16] = 1;
    rasterBytes[17] = 0;
    std::memcpy(rasterBytes + 20, &lineSize, 4);
    RasterizerState raster;
    std::memcpy(&raster, rasterBytes, sizeof(raster));
    EXPECT_EQ(raster.cull, RasterizerState::CullType_FRONT);
    EXPECT_TRUE(raster.multisample);
    EXPECT_FALSE(raster.dither);
    EXPECT_EQ(raster.lineSize, 2.5f);
}

TEST(RenderStateTest, BlendingIsOffOnlyForOneZeroAndAllChannels)
{
    struct Case
    {
        BlendState state;
        bool blends;
    };
    const Case cases[] = {
        {{BlendState::Operation_ONE, BlendState::Operation_ZERO, 15}, false},
        {{BlendState::Operation_ONE, BlendState::Operation_ZERO, 7}, true},
        {{BlendState::Operation_SRC_ALPHA, BlendState::Operation_ONE_MINUS_SRC_ALPHA, 15}, true},
        {{BlendState::Operation_ONE, BlendState::Operation_ONE, 15}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.state.blends(), c.blends) << c.state.source << " " << c.state.dest << " " << c.state.colorWrite;
    }
    EXPECT_FALSE(BlendState().blends());
}

TEST(RenderStateTest, FreshCapabilitiesAreZeroExceptFloatVertexElements)
{
    RenderCaps caps;
    RenderCaps zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof(zero));
    zero.vertexElementType = 6;
    EXPECT_EQ(caps.vertexElementType, 6);
    EXPECT_EQ(caps.hardwareRendering, zero.hardwareRendering);
    EXPECT_EQ(caps.maxTextureStages, 0);
    EXPECT_EQ(caps.maxTextureSize, 0);
    EXPECT_EQ(caps.maxLights, 0);
    EXPECT_FALSE(caps.renderToTexture || caps.renderToDepthTexture || caps.renderToTextureNonPowerOf2Restricted ||
                 caps.textureDot3 || caps.textureNonPowerOf2Restricted || caps.textureNonPowerOf2 ||
                 caps.textureAutogenMipMaps || caps.hardwareBuffers || caps.triangleFan ||
                 caps.fixedPointVertices || caps.pointSprites);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(caps.hasShader[i]);
        EXPECT_FALSE(caps.hasFixed[i]);
    }
}

TEST(RenderStateTest, GeometryStateStartsAsTheDevicesPointState)
{
    GeometryState state;
    EXPECT_FALSE(state.sprite);
    EXPECT_EQ(state.size, 1.0f);
    EXPECT_EQ(state.minSize, 1.0f);
    EXPECT_EQ(state.maxSize, 1.0f);
    EXPECT_FALSE(state.attenuated);
    EXPECT_EQ(state.matrixFlags, 0);
    EXPECT_EQ(state.alignmentAxis.x, 0.0f);
}

} // namespace
} // namespace rezezaz::render

#include "content/NormalizationTextureCreator.h"

#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/TextureManager.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace rezezaz::scene {

namespace {

constexpr int FACES = 6;
constexpr int TEXEL_BYTES = 3;

unsigned char encode(float component)
{
    // Truncated toward zero, so that 0 becomes 127.
    return static_cast<unsigned char>(static_cast<int>((component * 0.5f + 0.5f) * 255.0f));
}

} // namespace

NormalizationTextureCreator::NormalizationTextureCreator(Engine* engine_) : engine(engine_) {}

core::IntrusivePointer<core::Resource> NormalizationTextureCreator::create(const core::String& name,
                                                                           ResourceData*, ProgressListener*)
{
    core::IntrusivePointer<render::Texture> texture = createNormalizationTexture(256);
    if (!texture) {
        return nullptr;
    }
    texture->setName(name);
    return texture.get();
}

core::IntrusivePointer<render::Texture> NormalizationTextureCreator::createNormalizationTexture(int size)
{
    if (size < 1) {
        return nullptr;
    }
    const int64_t bytes = int64_t(FACES) * TEXEL_BYTES * size * size;
    if (bytes > std::numeric_limits<int32_t>::max()) {
        return nullptr;
    }

    // The faces one after another, each size rows of size texels.
    std::unique_ptr<unsigned char[]> data(new unsigned char[static_cast<size_t>(bytes)]);
    unsigned char* out = data.get();
    const float h = static_cast<float>(size) / 2.0f;
    for (int face = 0; face < FACES; ++face) {
        for (int row = 0; row < size; ++row) {
            const float r = static_cast<float>(row) + 0.5f - h;
            for (int column = 0; column < size; ++column) {
                const float c = static_cast<float>(column) + 0.5f - h;
                // The direction of the texel on each face, in the order +x, -x, -y, +y, +z, -z.
                const float directions[FACES][3] = {{h, r, -c}, {-h, r, c}, {c, -h, r},
                                                    {c, h, -r}, {c, r, h},  {-c, r, -h}};
                const float* d = directions[face];
                const float scale = 1.0f / std::sqrt(c * c + r * r + h * h);
                *out++ = encode(d[0] * scale);
                *out++ = encode(d[1] * scale);
                *out++ = encode(d[2] * scale);
            }
        }
    }

    core::IntrusivePointer<render::TextureFormat> format = new render::TextureFormat(
        render::TextureFormat::Dimension_CUBE, render::TextureFormat::Format_RGB_8, size, size, FACES, 1);
    // The texture keeps a copy of its own or hands the data to the device: the faces are freed here.
    return engine->getTextureManager()->createTexture(1, format, data.get());
}

} // namespace rezezaz::scene

#include "CreatorFixture.h"

#include "content/EngineHandlers.h"
#include "content/NormalizationTextureCreator.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/TextureManager.h"

#include <array>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::render::Texture;
using rezezaz::render::TextureFormat;
using rezezaz::scene::NormalizationTextureCreator;
using Texel = std::array<int, 3>;

class NormalizationTextureCreatorTest : public contenttest::CreatorFixture
{
protected:
    NormalizationTextureCreator* creator() const { return engine->getNormalizationTextureCreator(); }

    // The texture's bytes read back, all six faces.
    static std::vector<unsigned char> bytes(Texture& texture)
    {
        TextureFormat* format = texture.getFormat();
        std::vector<unsigned char> data(static_cast<size_t>(format->getDataSize()));
        EXPECT_TRUE(texture.read(format, data.data()));
        return data;
    }

    static Texel texel(const std::vector<unsigned char>& data, int size, int face, int column, int row)
    {
        const size_t at = ((static_cast<size_t>(face) * size + row) * size + column) * 3;
        return {data[at], data[at + 1], data[at + 2]};
    }
};

TEST_F(NormalizationTextureCreatorTest, ACubeOfSizeTwoHoldsItsFormatAndTheUnitVectors)
{
    installBacked();
    IntrusivePointer<Texture> texture = creator()->createNormalizationTexture(2);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->getUsage(), 1);
    const TextureFormat& format = *texture->getFormat();
    EXPECT_EQ(format.dimension, TextureFormat::Dimension_CUBE);
    EXPECT_EQ(format.pixelFormat, TextureFormat::Format_RGB_8);
    EXPECT_EQ(format.getWidth(), 2);
    EXPECT_EQ(format.getHeight(), 2);
    EXPECT_EQ(format.getDepth(), 6);
    EXPECT_EQ(format.mipMax, 1);
    EXPECT_EQ(format.xPitch, 6);
    EXPECT_EQ(format.yPitch, 12);
    EXPECT_EQ(format.zPitch, 18 * 2 * 2);

    const std::vector<unsigned char> data = bytes(*texture);
    // (1, -0.5, 0.5) / sqrt(1.5), each component v stored as (v / 2 + 1/2) x 255 truncated.
    EXPECT_EQ(texel(data, 2, 0, 0, 0), (Texel{231, 75, 179}));
    // Face 0 looks along +x: z falls with the column, y rises with the row.
    EXPECT_EQ(texel(data, 2, 0, 1, 1), (Texel{231, 179, 75}));
    // Made by the texture manager, which keeps it unnamed.
    EXPECT_GT(texture->getUniqueHandle(), 0);
    EXPECT_EQ(engine->getTextureManager()->get(texture->getUniqueHandle()).get(),
              static_cast<rezezaz::core::Resource*>(texture.get()));
}

TEST_F(NormalizationTextureCreatorTest, TheCentreTexelOfEachFacePointsAlongItsAxis)
{
    installBacked();
    // An odd size puts a texel on each axis: the components of 0 are 127, not 128.
    IntrusivePointer<Texture> texture = creator()->createNormalizationTexture(3);
    ASSERT_NE(texture, nullptr);
    const std::vector<unsigned char> data = bytes(*texture);
    const Texel axes[6] = {
        {255, 127, 127}, {0, 127, 127},   // +x, -x
        {127, 0, 127},   {127, 255, 127}, // -y, +y
        {127, 127, 255}, {127, 127, 0},   // +z, -z
    };
    for (int face = 0; face < 6; ++face) {
        EXPECT_EQ(texel(data, 3, face, 1, 1), axes[face]) << "face " << face;
    }
    // Every texel is a unit vector, to the precision of 8-bit components.
    for (size_t i = 0; i < data.size(); i += 3) {
        double length = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double v = (data[i + k] + 0.5) / 127.5 - 1.0;
            length += v * v;
        }
        EXPECT_NEAR(length, 1.0, 0.03) << "byte " << i;
    }
}

TEST_F(NormalizationTextureCreatorTest, SizesWithoutTexelsOrBeyondThirtyTwoBitsGiveNothing)
{
    installBacked();
    const int textures = engine->getTextureManager()->getNumResourceSlots();
    // 18 x 10923 x 10923 bytes no longer fit in 32 bits; 10922 would but is not worth making here.
    for (int size : {0, -1, -256, 10923, 1 << 20}) {
        EXPECT_EQ(creator()->createNormalizationTexture(size), nullptr) << size;
    }
    EXPECT_EQ(engine->getTextureManager()->getNumResourceSlots(), textures);
}

TEST_F(NormalizationTextureCreatorTest, WithoutADeviceOrBackingThereIsNoTexture)
{
    installHandlers(*engine);
    EXPECT_EQ(creator()->createNormalizationTexture(2), nullptr);
    EXPECT_EQ(creator()->create("normals", nullptr, nullptr), nullptr);
}

TEST_F(NormalizationTextureCreatorTest, CreateMakesSize256AndNamesIt)
{
    installBacked();
    struct Case
    {
        const char* name;
    } cases[] = {{"normalisation"}, {""}};
    for (const Case& c : cases) {
        IntrusivePointer<rezezaz::core::Resource> resource = creator()->create(c.name, nullptr, nullptr);
        auto* texture = dynamic_cast<Texture*>(resource.get());
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->getFormat()->getWidth(), 256);
        EXPECT_EQ(texture->getFormat()->getDataSize(), 18 * 256 * 256);
        EXPECT_EQ(std::string(resource->getName().c_str()), c.name);
    }
    // destroy leaves the creator usable.
    creator()->destroy();
    EXPECT_NE(creator()->createNormalizationTexture(1), nullptr);
}

TEST_F(NormalizationTextureCreatorTest, TheEngineFilesItsTextureWithoutAName)
{
    EXPECT_EQ(engine->createNormalizationTexture(2), nullptr);
    EXPECT_EQ(sceneWarnings(),
              (contenttest::Names{
                  "createNormalizationTexture: no NormalizationTextureCreator before installHandlers"}));
    installBacked();
    IntrusivePointer<Texture> texture = engine->createNormalizationTexture(4);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->getFormat()->getWidth(), 4);
    EXPECT_EQ(std::string(texture->getName().c_str()), "");
    EXPECT_EQ(engine->getTextureManager()->get(texture->getUniqueHandle()).get(),
              static_cast<rezezaz::core::Resource*>(texture.get()));
    EXPECT_EQ(engine->createNormalizationTexture(0), nullptr);
}

} // namespace

// One engine that finds and lets go of the same models over and over, as a long-lived view does: every
// round ends with the managers holding what they held before the first, so nothing piles up.
#include "content/EngineHandlers.h"
#include "core/math/AABox.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/Mesh.h"
#include "scene/ResourceManager.h"
#include "support/RecordingRenderDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <tuple>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Resource;
using rezezaz::scene::Engine;
using rezezaz::scene::Mesh;
using rezezaz::scene::ResourceManager;

enum class Source { CRANK_FILE, CHAIN_FILE, BOX };
enum class Setup { BACKED_FIXED, BACKED_SHADERS, DEVICE };
enum class Ending { RELEASE, DESTROY };

struct Case
{
    const char* name;
    Source source;
    Setup setup;
    Ending ending;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

int liveResources(ResourceManager* manager)
{
    int live = 0;
    for (int handle = 0; handle < manager->getNumResourceSlots(); ++handle) {
        live += manager->get(handle) ? 1 : 0;
    }
    return live;
}

// What the managers list.
struct Counts
{
    int meshes, materials, renderStates, shaderStates, vertexFormats, vertexBuffers, indexBuffers, variableBuffers;

    auto tie() const
    {
        return std::tie(meshes, materials, renderStates, shaderStates, vertexFormats, vertexBuffers, indexBuffers,
                        variableBuffers);
    }
    bool operator==(const Counts& other) const { return tie() == other.tie(); }
};

void PrintTo(const Counts& c, std::ostream* out)
{
    *out << "meshes " << c.meshes << ", materials " << c.materials << ", render states " << c.renderStates
         << ", shader states " << c.shaderStates << ", vertex formats " << c.vertexFormats << ", vertex buffers "
         << c.vertexBuffers << ", index buffers " << c.indexBuffers << ", variable buffers " << c.variableBuffers;
}

class LongLivedEngineTest : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        device.caps.maxTextureStages = 8;
        for (int t = 0; t < 3; ++t) {
            device.caps.hasShader[t] = true;
            device.caps.hasFixed[t] = true;
        }
        switch (GetParam().setup) {
        case Setup::BACKED_SHADERS:
            engine->setHasBackableShader(true);
            [[fallthrough]];
        case Setup::BACKED_FIXED:
            engine->setHasBackableFixed(true);
            break;
        case Setup::DEVICE:
            engine->setRenderDevice(&device);
            break;
        }
        installHandlers(*engine);
    }

    void TearDown() override
    {
        engine->destroy();
        engine->setRenderDevice(nullptr);
    }

    IntrusivePointer<Resource> make()
    {
        const std::string models = std::string(PELOTUNE_RESOURCES) + "/tmsh/";
        switch (GetParam().source) {
        case Source::CRANK_FILE:
            return engine->getMeshManager()->find((models + "crank.tmsh").c_str(), nullptr);
        case Source::CHAIN_FILE:
            return engine->getMeshManager()->find((models + "bigChain.tmsh").c_str(), nullptr);
        case Source::BOX:
            break;
        }
        const rezezaz::core::math::AABox box(rezezaz::core::math::Vector3(-1, -1, -1),
                                             rezezaz::core::math::Vector3(1, 1, 1));
        return engine->createAABoxMesh(box, nullptr).get();
    }

    Counts counts() const
    {
        rezezaz::scene::BufferManager* buffers = engine->getBufferManager();
        rezezaz::scene::MaterialManager* materials = engine->getMaterialManager();
        return Counts{liveResources(engine->getMeshManager()),
                      liveResources(materials),
                      materials->getNumRenderStates(),
                      materials->getNumShaderStates(),
                      buffers->getVertexFormats().size(),
                      buffers->getVertexBuffers().size(),
                      buffers->getIndexBuffers().size(),
                      buffers->getVariableBuffers().size()};
    }

    support::RecordingRenderDevice device{std::make_shared<support::CallLog>()};
    IntrusivePointer<Engine> engine{new Engine(nullptr, nullptr)};
};

TEST_P(LongLivedEngineTest, EveryRoundEndsWhereTheFirstBegan)
{
    const Counts before = counts();
    int slots = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        IntrusivePointer<Resource> mesh = make();
        auto* made = dynamic_cast<Mesh*>(mesh.get());
        ASSERT_NE(made, nullptr);
        ASSERT_GT(made->getNumSubMeshes(), 0);
        ASSERT_NE(made->getSubMesh(0)->material, nullptr);
        // What the mesh brought in is listed while it lives.
        EXPECT_GT(counts().materials, before.materials);
        EXPECT_GT(counts().renderStates, before.renderStates);
        if (GetParam().ending == Ending::DESTROY) {
            mesh->destroy();
        }
        made = nullptr;
        mesh = nullptr;
        EXPECT_EQ(counts(), before);
        // The handle tables reuse the slots of the first round.
        const int now = engine->getMeshManager()->getNumResourceSlots() +
                        engine->getMaterialManager()->getNumResourceSlots();
        if (round == 0) {
            slots = now;
        }
        EXPECT_EQ(now, slots);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, LongLivedEngineTest,
    ::testing::Values(Case{"CrankFileReleasedOnABackedEngine", Source::CRANK_FILE, Setup::BACKED_FIXED, Ending::RELEASE},
                      Case{"CrankFileDestroyedOnABackedEngine", Source::CRANK_FILE, Setup::BACKED_FIXED, Ending::DESTROY},
                      Case{"CrankFileReleasedWithBackedShaders", Source::CRANK_FILE, Setup::BACKED_SHADERS,
                           Ending::RELEASE},
                      Case{"CrankFileDestroyedOnADevice", Source::CRANK_FILE, Setup::DEVICE, Ending::DESTROY},
                      Case{"ChainFileReleasedOnADevice", Source::CHAIN_FILE, Setup::DEVICE, Ending::RELEASE},
                      Case{"BoxReleasedOnABackedEngine", Source::BOX, Setup::BACKED_FIXED, Ending::RELEASE},
                      Case{"BoxDestroyedOnADevice", Source::BOX, Setup::DEVICE, Ending::DESTROY}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace

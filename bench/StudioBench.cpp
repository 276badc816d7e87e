// Studio model loading from memory beside assimp's reader of the same bytes, interleaved in every
// iteration, with their ratio. Ours reads the file into textures, materials and per-mesh index data
// (vertices are left to whoever animates the model). assimp runs without post-processing and with its
// reader's optional parts off (animations and their events, blend controllers, sequence transitions,
// attachments, bone controllers, hit boxes, global info); it still builds more than ours (each mesh's
// vertices with normals and texture coordinates, the bones with their weights and the node tree), and
// the label beside each ratio says so. Before timing, both must agree on meshes, triangles and
// textures; a disagreement replaces the label. Each side's time includes letting go of what it loaded.
// Files not installed are left out with a note.

#include "content/EngineHandlers.h"
#include "content/studio/StudioModel.h"
#include "content/studio/StudioStreamer.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/io/MemoryStream.h"
#include "render/IndexData.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::io::MemoryStream;
using rezezaz::scene::studio::StudioModel;
using rezezaz::scene::studio::StudioStreamer;
using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : Bytes();
}

// An engine with device-independent textures, buffers and render states: what a load costs before a
// device takes the textures.
rezezaz::scene::Engine* engine()
{
    static IntrusivePointer<rezezaz::scene::Engine> theEngine = [] {
        IntrusivePointer<rezezaz::scene::Engine> made = new rezezaz::scene::Engine(nullptr, nullptr);
        made->setHasBackableFixed(true);
        installHandlers(*made);
        return made;
    }();
    return theEngine.get();
}

IntrusivePointer<StudioModel> loadOurs(StudioStreamer& streamer, Bytes& file)
{
    IntrusivePointer<MemoryStream> stream =
        new MemoryStream(file.data(), static_cast<int>(file.size()), static_cast<int>(file.size()), false);
    auto resource = streamer.load(stream, nullptr, nullptr);
    return IntrusivePointer<StudioModel>(dynamic_cast<StudioModel*>(resource.get()));
}

// An importer that reads only what ours reads of a studio model, as far as assimp lets it.
void readLikeOurs(Assimp::Importer& importer)
{
    for (const char* part :
         {AI_CONFIG_IMPORT_MDL_HL1_READ_ANIMATIONS, AI_CONFIG_IMPORT_MDL_HL1_READ_ANIMATION_EVENTS,
          AI_CONFIG_IMPORT_MDL_HL1_READ_BLEND_CONTROLLERS, AI_CONFIG_IMPORT_MDL_HL1_READ_SEQUENCE_TRANSITIONS,
          AI_CONFIG_IMPORT_MDL_HL1_READ_ATTACHMENTS, AI_CONFIG_IMPORT_MDL_HL1_READ_BONE_CONTROLLERS,
          AI_CONFIG_IMPORT_MDL_HL1_READ_HITBOXES, AI_CONFIG_IMPORT_MDL_HL1_READ_MISC_GLOBAL_INFO}) {
        importer.SetPropertyBool(part, false);
    }
}

const aiScene* loadAssimp(Assimp::Importer& importer, const Bytes& file)
{
    return importer.ReadFileFromMemory(file.data(), file.size(), 0, "mdl");
}

// Empty when both readers give the same meshes, triangles and textures; otherwise what differs.
std::string compare(StudioModel& ours, const aiScene* peer)
{
    if (peer == nullptr) {
        return "not equal: assimp refused the file";
    }
    int faces = 0;
    for (const StudioModel::meshdata& mesh : ours.getMeshData()) {
        for (const auto& draw : mesh.indexData) {
            faces += draw->primitive == rezezaz::render::IndexData::Primitive_TRIANGLES
                         ? draw->count / 3
                         : std::max(0, draw->count - 2);
        }
    }
    unsigned peerFaces = 0;
    for (unsigned i = 0; i < peer->mNumMeshes; ++i) {
        peerFaces += peer->mMeshes[i]->mNumFaces;
    }
    if (ours.getMeshData().size() != int(peer->mNumMeshes) || faces != int(peerFaces)) {
        return "not equal: other meshes or triangles";
    }
    if (ours.getTextures().size() != int(peer->mNumTextures)) {
        return "not equal: other texture count";
    }
    for (unsigned t = 0; t < peer->mNumTextures; ++t) {
        rezezaz::render::Texture* texture = ours.getTextures()[int(t)].get();
        const aiTexture* other = peer->mTextures[t];
        rezezaz::render::TextureFormat box(texture->getFormat(), 0);
        Bytes pixels(static_cast<size_t>(box.getDataSize()));
        if (box.getWidth() != int(other->mWidth) || box.getHeight() != int(other->mHeight) ||
            !texture->read(&box, pixels.data())) {
            return "not equal: other texture size";
        }
        for (unsigned p = 0; p < other->mWidth * other->mHeight; ++p) {
            if (pixels[3 * p] != other->pcData[p].r || pixels[3 * p + 1] != other->pcData[p].g ||
                pixels[3 * p + 2] != other->pcData[p].b) {
                return "not equal: other texels";
            }
        }
    }
    return std::string();
}

using Clock = std::chrono::steady_clock;

// Ours and assimp's load of the same bytes, once each per iteration (which goes first alternates), so
// that the load of the machine falls on both alike: mean microseconds of each, MB/s of file bytes, and
// the ratio (ours / assimp's).
void benchLoad(benchmark::State& state, Bytes file, std::string label)
{
    state.SetLabel(label);
    IntrusivePointer<StudioStreamer> streamer = new StudioStreamer(engine());
    Assimp::Importer importer;
    readLikeOurs(importer);
    Clock::duration ourTime{}, assimpTime{};
    int64_t round = 0;
    for (auto _ : state) {
        const bool oursFirst = ++round % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool mine = (turn == 0) == oursFirst;
            const Clock::time_point start = Clock::now();
            if (mine) {
                IntrusivePointer<StudioModel> model = loadOurs(*streamer, file);
                benchmark::DoNotOptimize(model.get());
            } else {
                benchmark::DoNotOptimize(loadAssimp(importer, file));
                importer.FreeScene();
            }
            (mine ? ourTime : assimpTime) += Clock::now() - start;
        }
    }
    const double rounds = static_cast<double>(state.iterations());
    const double ours = std::chrono::duration<double, std::micro>(ourTime).count() / rounds;
    const double assimp = std::chrono::duration<double, std::micro>(assimpTime).count() / rounds;
    state.counters["ours_us"] = ours;
    state.counters["assimp_us"] = assimp;
    state.counters["ours_MB_per_s"] = static_cast<double>(file.size()) / ours;
    state.counters["assimp_MB_per_s"] = static_cast<double>(file.size()) / assimp;
    state.counters["ratio"] = assimp > 0 ? ours / assimp : 0;
}

int registerAll()
{
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
    const std::string models = "/usr/share/assimp/models/MDL/MDL (HL1)/";
    for (const char* name : {"alpha_test", "chrome_sphere"}) {
        Bytes file = readFile(models + name + ".mdl");
        if (file.empty()) {
            std::fprintf(stderr, "note: %s left out, its file is not installed\n", name);
            continue;
        }
        IntrusivePointer<StudioStreamer> streamer = new StudioStreamer(engine());
        IntrusivePointer<StudioModel> ours = loadOurs(*streamer, file);
        Assimp::Importer importer;
        readLikeOurs(importer);
        std::string label = compare(*ours, loadAssimp(importer, file));
        if (label.empty()) {
            label = "assimp also builds vertices, bone weights and nodes";
        }
        benchmark::RegisterBenchmark((std::string("StudioLoad/") + name).c_str(), benchLoad, file, label)
            ->Unit(benchmark::kMicrosecond);
    }
    return 0;
}

const int registered = registerAll();

} // namespace

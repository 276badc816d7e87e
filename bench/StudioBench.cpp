// Studio model loading from memory beside assimp's reader of the same bytes, without post-processing.
// Ours reads the file into textures, materials and per-mesh index data (vertices are left to whoever
// animates the model); assimp builds more (vertices, bones, animations), so its time bounds ours from
// above rather than matching it. Before timing, both must agree on meshes, triangles and textures;
// a disagreement goes into assimp's label. Bytes processed are file bytes. Files not installed are
// left out with a note.

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
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

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
        made->installHandlers();
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
            faces += draw->primitive == rezezaz::render::IndexData::Primitive_TRIANGLES ? draw->count / 3
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

void setBytes(benchmark::State& state, const Bytes& file)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}

void benchOurs(benchmark::State& state, Bytes file)
{
    IntrusivePointer<StudioStreamer> streamer = new StudioStreamer(engine());
    for (auto _ : state) {
        IntrusivePointer<StudioModel> model = loadOurs(*streamer, file);
        benchmark::DoNotOptimize(model.get());
    }
    setBytes(state, file);
}

void benchAssimp(benchmark::State& state, Bytes file, std::string label)
{
    state.SetLabel(label);
    for (auto _ : state) {
        Assimp::Importer importer;
        benchmark::DoNotOptimize(loadAssimp(importer, file));
    }
    setBytes(state, file);
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
        const std::string label = compare(*ours, loadAssimp(importer, file));
        benchmark::RegisterBenchmark((std::string("Ours/") + name).c_str(), benchOurs, file);
        benchmark::RegisterBenchmark((std::string("assimp/") + name).c_str(), benchAssimp, file, label);
    }
    return 0;
}

const int registered = registerAll();

} // namespace

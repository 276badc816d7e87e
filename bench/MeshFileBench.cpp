// The mesh file format: each calibration model found through a fresh engine's mesh manager from its
// file, the crank found and let go of again and again in one engine, and a mesh of 100k
// position+normal vertices with 300k 32-bit indices read from and written to memory beside a memcpy
// of the same bytes. Bytes processed are file bytes. Before anything is timed, the
// read mesh is checked and the written file compared with the one read. The writer writes into a
// growable stream emptied (reset) before each save, outside the timed part: the save's own growing
// of its block buffer is timed, the emptying of the caller's stream is not. The ratios to memcpy
// come from runs interleaved with the memcpy in every iteration.

#include "content/EngineHandlers.h"
#include "content/TMSHStreamer.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/io/MemoryStream.h"
#include "render/IndexData.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexData.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/Mesh.h"
#include "scene/ResourceManager.h"
#include "scene/material/Material.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::io::MemoryStream;
using rezezaz::scene::Engine;
using rezezaz::scene::Mesh;

constexpr int VERTICES = 100000;
constexpr int INDICES = 300000;

Engine* engine()
{
    static Engine* instance = [] {
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        auto* e = new Engine(nullptr, nullptr);
        e->retain();
        e->setHasBackableFixed(true);
        installHandlers(*e);
        return e;
    }();
    return instance;
}

rezezaz::scene::TMSHStreamer* streamer()
{
    static IntrusivePointer<rezezaz::scene::TMSHStreamer> instance(
        new rezezaz::scene::TMSHStreamer(engine()));
    return instance.get();
}

void fail(const char* what)
{
    std::fprintf(stderr, "MeshFileBench: %s\n", what);
    std::exit(1);
}

// Each find in an engine of its own, as the calibration page's first look-ups are: the engine is
// made before and destroyed after the timed find.
void BM_FindModel(benchmark::State& state, const std::string& name)
{
    const std::string path = std::string(PELOTUNE_SOURCE_DIR) + "/resources/tmsh/" + name + ".tmsh";
    auto freshEngine = [] {
        IntrusivePointer<Engine> e(new Engine(nullptr, nullptr));
        e->setHasBackableFixed(true);
        installHandlers(*e);
        return e;
    };
    int64_t fileBytes = 0;
    {
        IntrusivePointer<Engine> e = freshEngine();
        IntrusivePointer<Mesh> mesh(
            dynamic_cast<Mesh*>(e->getMeshManager()->find(path.c_str(), nullptr).get()));
        if (!mesh || !mesh->staticVertexData) {
            fail("a calibration model does not load");
        }
        std::FILE* file = std::fopen(path.c_str(), "rb");
        std::fseek(file, 0, SEEK_END);
        fileBytes = std::ftell(file);
        std::fclose(file);
        mesh = nullptr;
        e->destroy();
    }
    for (auto _ : state) {
        state.PauseTiming();
        IntrusivePointer<Engine> e = freshEngine();
        state.ResumeTiming();
        IntrusivePointer<rezezaz::core::Resource> mesh = e->getMeshManager()->find(path.c_str(), nullptr);
        benchmark::DoNotOptimize(mesh.get());
        state.PauseTiming();
        mesh = nullptr;
        e->destroy();
        e = nullptr;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
}

// The same model found and let go of again and again in one engine, as a long-lived view does; the
// engine must hold after each round what it held before the first, or every round gets slower.
void BM_FindModelAgain(benchmark::State& state, const std::string& name)
{
    const std::string path = std::string(PELOTUNE_SOURCE_DIR) + "/resources/tmsh/" + name + ".tmsh";
    IntrusivePointer<Engine> e(new Engine(nullptr, nullptr));
    e->setHasBackableFixed(true);
    installHandlers(*e);
    rezezaz::scene::MaterialManager* materials = e->getMaterialManager();
    const int states = materials->getNumRenderStates();
    const int formats = e->getBufferManager()->getVertexFormats().size();
    for (int round = 0; round < 3; ++round) {
        IntrusivePointer<rezezaz::core::Resource> mesh = e->getMeshManager()->find(path.c_str(), nullptr);
        if (!dynamic_cast<Mesh*>(mesh.get())) {
            fail("a calibration model does not load");
        }
    }
    if (materials->getNumRenderStates() != states ||
        e->getBufferManager()->getVertexFormats().size() != formats) {
        fail("a model let go of leaves render states or vertex formats behind");
    }
    for (auto _ : state) {
        IntrusivePointer<rezezaz::core::Resource> mesh = e->getMeshManager()->find(path.c_str(), nullptr);
        benchmark::DoNotOptimize(mesh.get());
    }
    state.counters["renderStates"] = materials->getNumRenderStates();
    e->destroy();
}

// The bytes of a file of one submesh over 100k vertices.
const std::vector<unsigned char>& largeFile()
{
    static const std::vector<unsigned char> bytes = [] {
        rezezaz::scene::BufferManager* buffers = engine()->getBufferManager();
        IntrusivePointer<rezezaz::render::VertexFormat> format = engine()->getVertexFormats().POSITION_NORMAL;
        IntrusivePointer<rezezaz::render::VertexBuffer> vertices =
            buffers->createVertexBuffer(1, 6, format, VERTICES);
        {
            rezezaz::render::VertexBufferAccessor accessor(vertices.get(), 2);
            for (int i = 0; i < VERTICES; ++i) {
                accessor.set3(i, 0, float(i % 317), float(i % 101) * 0.5f, float(i) * 0.001f);
                accessor.set3(i, 1, 0.0f, 0.0f, 1.0f);
            }
        }
        IntrusivePointer<rezezaz::render::IndexBuffer> indices =
            buffers->createIndexBuffer(1, 6, rezezaz::render::IndexBuffer::IndexFormat_UINT32, INDICES);
        std::vector<uint32_t> values(INDICES);
        for (int i = 0; i < INDICES; ++i) {
            values[size_t(i)] = uint32_t((int64_t(i) * 7919) % VERTICES);
        }
        indices->update(reinterpret_cast<unsigned char*>(values.data()), 0, INDICES * 4);
        IntrusivePointer<Mesh> mesh(new Mesh());
        mesh->setStaticVertexData(new rezezaz::render::VertexData(vertices));
        IntrusivePointer<Mesh::SubMesh> subMesh(new Mesh::SubMesh());
        subMesh->indexData =
            new rezezaz::render::IndexData(rezezaz::render::IndexData::Primitive_TRIANGLES, indices);
        mesh->addSubMesh(subMesh);
        IntrusivePointer<MemoryStream> out(new MemoryStream());
        if (!streamer()->save(out.get(), mesh.get(), nullptr, nullptr)) {
            fail("the large mesh is not written");
        }
        std::vector<unsigned char> result(out->getOriginalDataPointer(),
                                          out->getOriginalDataPointer() + out->length());
        mesh->destroy();
        return result;
    }();
    return bytes;
}

IntrusivePointer<Mesh> readLarge()
{
    const std::vector<unsigned char>& bytes = largeFile();
    IntrusivePointer<MemoryStream> in(new MemoryStream(const_cast<unsigned char*>(bytes.data()),
                                                       int(bytes.size()), int(bytes.size()), false));
    return IntrusivePointer<Mesh>(dynamic_cast<Mesh*>(streamer()->load(in.get(), nullptr, nullptr).get()));
}

void BM_ReadLarge(benchmark::State& state)
{
    {
        IntrusivePointer<Mesh> mesh = readLarge();
        if (!mesh || mesh->staticVertexData->vertexBuffers[0]->getSize() != VERTICES ||
            mesh->getSubMesh(0)->indexData->count != INDICES) {
            fail("the large mesh does not read back");
        }
        mesh->destroy();
    }
    for (auto _ : state) {
        IntrusivePointer<Mesh> mesh = readLarge();
        benchmark::DoNotOptimize(mesh.get());
        mesh->destroy();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(largeFile().size()));
}

void BM_WriteLarge(benchmark::State& state)
{
    IntrusivePointer<Mesh> mesh = readLarge();
    IntrusivePointer<MemoryStream> out(new MemoryStream());
    if (!streamer()->save(out.get(), mesh.get(), nullptr, nullptr) ||
        size_t(out->length()) != largeFile().size() ||
        std::memcmp(out->getOriginalDataPointer(), largeFile().data(), largeFile().size()) != 0) {
        fail("the large mesh is not written as read");
    }
    for (auto _ : state) {
        state.PauseTiming();
        out->reset();
        state.ResumeTiming();
        benchmark::DoNotOptimize(streamer()->save(out.get(), mesh.get(), nullptr, nullptr));
    }
    state.SetBytesProcessed(state.iterations() * int64_t(largeFile().size()));
    mesh->destroy();
}

void BM_MemcpyLarge(benchmark::State& state)
{
    const std::vector<unsigned char>& bytes = largeFile();
    std::vector<unsigned char> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    if (copy != bytes) {
        fail("memcpy copied something else");
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes.size()));
}

// Ours and a memcpy of the file's bytes, one after the other in every iteration (which goes first
// alternates), so that the load of the machine falls on both alike: the mean time of each and their
// ratio (ours / memcpy). A memcpy only moves the bytes; the reader also builds the mesh's buffers and
// the writer lays out the file's blocks.
template <class Ours> void againstMemcpy(benchmark::State& state, Ours ours)
{
    using Clock = std::chrono::steady_clock;
    const std::vector<unsigned char>& bytes = largeFile();
    std::vector<unsigned char> copy(bytes.size());
    Clock::duration ourTime{}, copyTime{};
    int64_t round = 0;
    for (auto _ : state) {
        const bool oursFirst = ++round % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool mine = (turn == 0) == oursFirst;
            Clock::duration& time = mine ? ourTime : copyTime;
            if (mine) {
                time += ours();
            } else {
                const Clock::time_point start = Clock::now();
                std::memcpy(copy.data(), bytes.data(), bytes.size());
                benchmark::ClobberMemory();
                time += Clock::now() - start;
            }
        }
    }
    if (copy != bytes) {
        fail("memcpy copied something else");
    }
    const double rounds = static_cast<double>(state.iterations());
    const double oursUs = std::chrono::duration<double, std::micro>(ourTime).count() / rounds;
    const double copyUs = std::chrono::duration<double, std::micro>(copyTime).count() / rounds;
    state.counters["ours_us"] = oursUs;
    state.counters["memcpy_us"] = copyUs;
    state.counters["x_memcpy"] = copyUs > 0 ? oursUs / copyUs : 0;
}

void BM_ReadAgainstMemcpy(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    {
        IntrusivePointer<Mesh> mesh = readLarge();
        if (!mesh || mesh->staticVertexData->vertexBuffers[0]->getSize() != VERTICES ||
            mesh->getSubMesh(0)->indexData->count != INDICES) {
            fail("the large mesh does not read back");
        }
        mesh->destroy();
    }
    againstMemcpy(state, [] {
        const Clock::time_point start = Clock::now();
        IntrusivePointer<Mesh> mesh = readLarge();
        benchmark::DoNotOptimize(mesh.get());
        const Clock::duration took = Clock::now() - start;
        mesh->destroy();
        return took;
    });
}

void BM_WriteAgainstMemcpy(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    IntrusivePointer<Mesh> mesh = readLarge();
    IntrusivePointer<MemoryStream> out(new MemoryStream());
    if (!streamer()->save(out.get(), mesh.get(), nullptr, nullptr) ||
        size_t(out->length()) != largeFile().size() ||
        std::memcmp(out->getOriginalDataPointer(), largeFile().data(), largeFile().size()) != 0) {
        fail("the large mesh is not written as read");
    }
    againstMemcpy(state, [&] {
        out->reset();
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(streamer()->save(out.get(), mesh.get(), nullptr, nullptr));
        return Clock::now() - start;
    });
    mesh->destroy();
}

BENCHMARK_CAPTURE(BM_FindModel, crank, std::string("crank"));
BENCHMARK_CAPTURE(BM_FindModel, bigChain, std::string("bigChain"));
BENCHMARK_CAPTURE(BM_FindModel, smallChain, std::string("smallChain"));
BENCHMARK_CAPTURE(BM_FindModel, backArrow, std::string("backArrow"));
BENCHMARK_CAPTURE(BM_FindModel, frontArrow, std::string("frontArrow"));
BENCHMARK_CAPTURE(BM_FindModelAgain, crank, std::string("crank"))->Iterations(20000);
BENCHMARK(BM_ReadLarge);
BENCHMARK(BM_WriteLarge);
BENCHMARK(BM_MemcpyLarge);
BENCHMARK(BM_ReadAgainstMemcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteAgainstMemcpy)->Unit(benchmark::kMicrosecond);

} // namespace

// Time per draw of 1,000 small indexed draws through the OpenGL device (its redundant texture and
// vertex set-up skipped) against a plain OpenGL loop making the same draws, side by side on Mesa's
// software renderer, and both interleaved in one run for their ratios. Run under an X server
// (xvfb-run); both loops' frames are compared pixel for pixel before anything is timed.
// The wall time of a frame includes llvmpipe's drawing (on its own threads) up to glFinish, which is
// the same for both loops and hides what the device adds; the calling thread's CPU time over the same
// frame is what submitting the draws costs (the device's work and the driver's on this thread), and is
// reported beside it with its own ratio.
#include <benchmark/benchmark.h>

#include "core/IntrusivePointer.h"
#include "render/IndexData.h"
#include "render/MaterialState.h"
#include "render/VertexData.h"
#include "render/WindowRenderTargetFormat.h"
#include "render/gl/GLBuffer.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLTexture.h"
#include "render/gl/GLXRenderTarget.h"

#include <GL/glew.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

using rezezaz::core::IntrusivePointer;
using namespace rezezaz::render;

namespace {

constexpr int width = 320;
constexpr int height = 240;
constexpr int draws = 1000;
constexpr int columns = 40;

struct Vertex
{
    float position[3];
    uint32_t color;
    float uv[2];
};

// One window, one device, and the 1,000 quads: a vertex buffer of 4,000 vertices, an index buffer
// of 6,000 indices, and one index range per draw.
struct Scene
{
    Display* display = nullptr;
    IntrusivePointer<RenderTarget> target;
    IntrusivePointer<GLRenderDevice> device;
    IntrusivePointer<VertexData> vertices;
    IntrusivePointer<IndexBuffer> indices;
    std::vector<IntrusivePointer<IndexData>> ranges;
    IntrusivePointer<Texture> texture;
    bool ready = false;

    Scene()
    {
        display = XOpenDisplay(nullptr);
        if (display == nullptr) {
            return;
        }
        XSetWindowAttributes attributes = {};
        attributes.background_pixel = 0;
        const Window window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, CopyFromParent,
                                            InputOutput, CopyFromParent, CWBackPixel, &attributes);
        XMapWindow(display, window);
        XSync(display, False);
        WindowRenderTargetFormat format;
        format.threadCount = 1;
        target = new_GLXRenderTarget(nullptr, window, &format);
        device = static_cast<GLRenderDevice*>(new_GLRenderDevice());
        device->create(target.get(), 0);

        IntrusivePointer<VertexFormat> vertexFormat = device->createVertexFormat();
        vertexFormat->create();
        vertexFormat->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
        vertexFormat->addElement(VertexFormat::Semantic_COLOR, 0, VertexFormat::Format_COLOR);
        vertexFormat->addElement(VertexFormat::Semantic_TEXCOORD, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2));
        IntrusivePointer<VertexBuffer> vertexBuffer = device->createVertexBuffer();
        vertexBuffer->create(1, 2, vertexFormat, 4 * draws);
        auto* v = reinterpret_cast<Vertex*>(vertexBuffer->lock(2));
        IntrusivePointer<IndexBuffer> indexBuffer = device->createIndexBuffer();
        indexBuffer->create(1, 2, IndexBuffer::IndexFormat_UINT16, 6 * draws);
        auto* index = reinterpret_cast<uint16_t*>(indexBuffer->lock(2));
        const float cell = 2.0f / columns;
        for (int i = 0; i < draws; ++i) {
            const float x = -1 + cell * static_cast<float>(i % columns);
            const float y = -1 + cell * static_cast<float>(i / columns);
            const uint32_t color = 0x000000FFu | (static_cast<uint32_t>(i * 37 % 256) << 24) |
                                   (static_cast<uint32_t>(i * 91 % 256) << 16) | (static_cast<uint32_t>(i % 256) << 8);
            const float xs[4] = {x, x + cell * 0.8f, x + cell * 0.8f, x};
            const float ys[4] = {y, y, y + cell * 0.8f, y + cell * 0.8f};
            for (int c = 0; c < 4; ++c) {
                v[4 * i + c] = Vertex{{xs[c], ys[c], 0}, color, {c == 1 || c == 2 ? 1.0f : 0.0f, c >= 2 ? 1.0f : 0.0f}};
            }
            const uint16_t base = static_cast<uint16_t>(4 * i);
            const uint16_t quad[6] = {base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2), base,
                                      static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3)};
            std::memcpy(index + 6 * i, quad, sizeof(quad));
        }
        vertexBuffer->unlock();
        indexBuffer->unlock();
        vertices = new VertexData(vertexBuffer);
        indices = indexBuffer;
        for (int i = 0; i < draws; ++i) {
            ranges.push_back(new IndexData(IndexData::Primitive_TRIANGLES, indexBuffer, 6 * i, 6));
        }
        std::vector<unsigned char> pixels = {255, 255, 255, 255, 160, 160, 160, 255, 200, 200, 200, 255, 90, 90, 90, 255};
        texture = device->createTexture();
        std::vector<unsigned char*> levels = {pixels.data()};
        texture->create(1, new TextureFormat(2, TextureFormat::Format_RGBA_8, 2, 2, 1, 1), levels.data());
        ready = true;
    }

    // The same frame start for both loops: the device's default state, unlit, identity matrices.
    void begin()
    {
        device->beginScene();
        device->setDefaultState();
        Viewport whole;
        whole.width = width;
        whole.height = height;
        device->setViewport(whole);
        const rezezaz::core::math::Matrix4x4 identity;
        device->setMatrix(RenderDevice::MatrixType_PROJECTION, identity);
        device->setMatrix(RenderDevice::MatrixType_VIEW, identity);
        device->setMatrix(RenderDevice::MatrixType_MODEL, identity);
        IntrusivePointer<RenderState> state = device->createRenderState();
        MaterialState material;
        state->setMaterialState(material);
        device->setRenderState(state.get());
        device->clear(1 | 2, rezezaz::core::math::Vector4(0, 0, 0, 1));
    }

    void deviceFrame()
    {
        for (int i = 0; i < draws; ++i) {
            device->setTexture(Shader::ShaderType_FRAGMENT, 0, texture.get());
            device->renderPrimitive(vertices.get(), ranges[static_cast<size_t>(i)].get());
        }
        device->endScene();
    }

    // What the device's set-up amounts to, made once, then the draws alone.
    void rawFrame()
    {
        auto* buffer = static_cast<GLBuffer*>(vertices->vertexBuffers[0].get());
        auto* indexBuffer = static_cast<GLBuffer*>(indices.get());
        const auto* glTexture = static_cast<GLTexture*>(texture.get());
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, glTexture->getHandle());
        glEnable(GL_TEXTURE_2D);
        glBindBuffer(GL_ARRAY_BUFFER, buffer->getHandle());
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), reinterpret_cast<const void*>(offsetof(Vertex, position)));
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), reinterpret_cast<const void*>(offsetof(Vertex, color)));
        glClientActiveTexture(GL_TEXTURE0);
        glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), reinterpret_cast<const void*>(offsetof(Vertex, uv)));
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer->getHandle());
        for (int i = 0; i < draws; ++i) {
            glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, reinterpret_cast<const void*>(static_cast<intptr_t>(12 * i)));
        }
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }

    static std::vector<unsigned char> read()
    {
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    // Both loops draw the same, non-empty frame.
    bool same()
    {
        begin();
        deviceFrame();
        const auto byDevice = read();
        begin();
        rawFrame();
        const auto byHand = read();
        size_t lit = 0;
        for (size_t i = 0; i < byHand.size(); i += 4) {
            lit += byHand[i] != 0 || byHand[i + 1] != 0 || byHand[i + 2] != 0;
        }
        return byDevice == byHand && lit > static_cast<size_t>(width * height / 4);
    }
};

Scene& scene()
{
    static Scene* const instance = new Scene;
    return *instance;
}

bool ready(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ready) {
        state.SkipWithError("no X display or OpenGL context (run under xvfb-run)");
        return false;
    }
    static const bool same = s.same();
    if (!same) {
        state.SkipWithError("the device and the plain loop drew different frames");
        return false;
    }
    return true;
}

void perDraw(benchmark::State& state)
{
    state.counters["per_draw"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * draws, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DeviceDraws(benchmark::State& state)
{
    if (!ready(state)) {
        return;
    }
    Scene& s = scene();
    for (auto _ : state) {
        state.PauseTiming();
        s.begin();
        glFinish();
        state.ResumeTiming();
        s.deviceFrame();
        glFinish();
    }
    perDraw(state);
}

void BM_RawGLDraws(benchmark::State& state)
{
    if (!ready(state)) {
        return;
    }
    Scene& s = scene();
    for (auto _ : state) {
        state.PauseTiming();
        s.begin();
        glFinish();
        state.ResumeTiming();
        s.rawFrame();
        glFinish();
    }
    perDraw(state);
}

// Nanoseconds of CPU time the calling thread has used.
double threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The device's frame and the plain loop's, one after the other in every iteration (which goes first
// alternates), so that the load of the machine falls on both alike: per-draw wall times of each and
// their ratio (device / raw), and per-draw CPU times of the calling thread and their ratio.
void BM_DeviceAgainstRawGL(benchmark::State& state)
{
    if (!ready(state)) {
        return;
    }
    Scene& s = scene();
    using Clock = std::chrono::steady_clock;
    Clock::duration deviceTime{}, rawTime{};
    double deviceCpu = 0, rawCpu = 0;
    int64_t round = 0;
    for (auto _ : state) {
        const bool deviceFirst = ++round % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool device = (turn == 0) == deviceFirst;
            s.begin();
            glFinish();
            const double cpuStart = threadCpuNs();
            const Clock::time_point start = Clock::now();
            if (device) {
                s.deviceFrame();
            } else {
                s.rawFrame();
            }
            glFinish();
            (device ? deviceTime : rawTime) += Clock::now() - start;
            (device ? deviceCpu : rawCpu) += threadCpuNs() - cpuStart;
        }
    }
    const double perDraw = static_cast<double>(state.iterations()) * draws;
    const double devicePerDraw = std::chrono::duration<double, std::nano>(deviceTime).count() / perDraw;
    const double rawPerDraw = std::chrono::duration<double, std::nano>(rawTime).count() / perDraw;
    state.counters["device_ns_per_draw"] = devicePerDraw;
    state.counters["raw_ns_per_draw"] = rawPerDraw;
    state.counters["ratio"] = rawPerDraw > 0 ? devicePerDraw / rawPerDraw : 0;
    state.counters["device_cpu_ns_per_draw"] = deviceCpu / perDraw;
    state.counters["raw_cpu_ns_per_draw"] = rawCpu / perDraw;
    state.counters["cpu_ratio"] = rawCpu > 0 ? deviceCpu / rawCpu : 0;
    state.SetLabel("wall: with llvmpipe's drawing; cpu: this thread's submission and driver work");
}

// One viewport change, as the render manager makes when a camera's viewport differs from the last:
// the device reads the window's size for OpenGL's bottom-left origin and the scissor. A full and a
// half viewport alternate, and both are checked first to reach OpenGL as expected.
void BM_SetViewport(benchmark::State& state)
{
    if (!ready(state)) {
        return;
    }
    Scene& s = scene();
    Viewport views[2];
    views[0].width = width;
    views[0].height = height;
    views[1].x = 10;
    views[1].y = 20;
    views[1].width = width / 2;
    views[1].height = height / 2;
    s.device->setViewport(views[1]);
    GLint half[4] = {};
    glGetIntegerv(GL_VIEWPORT, half);
    const bool halfScissored = glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
    s.device->setViewport(views[0]);
    GLint whole[4] = {};
    glGetIntegerv(GL_VIEWPORT, whole);
    if (half[0] != 10 || half[1] != height - 20 - height / 2 || half[2] != width / 2 || !halfScissored ||
        whole[2] != width || whole[3] != height || glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE) {
        state.SkipWithError("the device set another viewport than asked");
        return;
    }
    int which = 0;
    for (auto _ : state) {
        s.device->setViewport(views[which]);
        which ^= 1;
    }
    glFinish();
}

} // namespace

BENCHMARK(BM_SetViewport)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeviceDraws)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawGLDraws)->Unit(benchmark::kMicrosecond);
// Its ratios vary by some 3 % from one half-second run to the next with the scheduling of llvmpipe's
// threads: a longer run settles them.
BENCHMARK(BM_DeviceAgainstRawGL)->MinTime(5)->Unit(benchmark::kMicrosecond);

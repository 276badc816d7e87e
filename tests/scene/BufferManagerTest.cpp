#include "core/Exception.h"
#include "core/SharedPointer.h"
#include "render/VertexFormat.h"
#include "scene/BufferManager.h"
#include "scene/Engine.h"
#include "support/LogRecorder.h"
#include "support/RecordingRenderDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;
using rezezaz::core::SharedPointer;
using rezezaz::render::IndexBuffer;
using rezezaz::render::PixelBuffer;
using rezezaz::render::VariableBuffer;
using rezezaz::render::VariableBufferFormat;
using rezezaz::render::VertexBuffer;
using rezezaz::render::VertexFormat;
using rezezaz::scene::BufferManager;
using rezezaz::scene::Engine;
using Calls = std::vector<std::string>;

std::string raised(const std::function<void()>& action)
{
    try {
        action();
    } catch (const rezezaz::core::Exception& e) {
        return std::to_string(e.getError()) + " " + e.getDescription();
    }
    return "";
}

// The calls of the recording buffers only (the device's own context calls left out).
Calls bufferCalls(support::CallLog& log)
{
    Calls kept;
    for (const std::string& call : log.take()) {
        if (call.rfind("device.", 0) != 0) {
            kept.push_back(call);
        }
    }
    return kept;
}

IntrusivePointer<VariableBufferFormat> lightsFormat()
{
    IntrusivePointer<VariableBufferFormat> format(new VariableBufferFormat(false, "Lights", 64, 2));
    SharedPointer<VariableBufferFormat::Variable> ambient(new VariableBufferFormat::Variable());
    ambient->name = "ambient";
    ambient->format = 0x206;
    ambient->index = 0;
    SharedPointer<VariableBufferFormat::Variable> light(new VariableBufferFormat::Variable());
    light->name = "light";
    light->format = 0;
    light->offset = 16;
    light->index = 1;
    light->arraySize = 2;
    SharedPointer<VariableBufferFormat::Variable> color(new VariableBufferFormat::Variable());
    color->name = "color";
    color->format = 0x306;
    color->offset = 16;
    color->index = 2;
    light->structVariables.add(color);
    format->setStructVariable(0, ambient);
    format->setStructVariable(1, light);
    format->compile();
    return format;
}

class BufferManagerTest : public ::testing::Test
{
protected:
    IntrusivePointer<Engine> makeEngine(bool backed)
    {
        IntrusivePointer<Engine> engine(new Engine(nullptr, nullptr));
        engine->setHasBackableFixed(backed);
        return engine;
    }

    support::SharedCallLog calls = std::make_shared<support::CallLog>();
    support::RecordingRenderDevice device{calls};
};

TEST_F(BufferManagerTest, WithoutDeviceOrBackingOnlyVertexFormatsAreMade)
{
    IntrusivePointer<Engine> engine = makeEngine(false);
    BufferManager* buffers = engine->getBufferManager();

    IntrusivePointer<VertexFormat> format = buffers->createVertexFormat();
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->getRootVertexFormat(), nullptr);
    EXPECT_EQ(buffers->getVertexFormats().size(), 11);

    struct Case
    {
        const char* text;
        std::function<void()> create;
    };
    const Case cases[] = {
        {"unable to create IndexBuffer", [&] { buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 3); }},
        {"unable to create VertexBuffer", [&] { buffers->createVertexBuffer(1, 2, format, 3); }},
        {"unable to create PixelBuffer", [&] { buffers->createPixelBuffer(1, 2, 0x108, 4, 4, 1); }},
        {"unable to create VariableBuffer", [&] { buffers->createVariableBuffer(1, 2, lightsFormat()); }},
    };
    for (const Case& c : cases) {
        support::LogRecorder log;
        EXPECT_EQ(raised(c.create), std::string("3 ") + c.text);
        EXPECT_TRUE(log.has("", Logger::ERROR, c.text));
    }
    EXPECT_EQ(buffers->getIndexBuffers().size() + buffers->getVertexBuffers().size() +
                  buffers->getPixelBuffers().size() + buffers->getVariableBuffers().size(),
              0);
}

TEST_F(BufferManagerTest, AnUnbackedEngineUsesTheDevicesObjectsAndBacksOnlyEarlierFormats)
{
    IntrusivePointer<Engine> engine = makeEngine(false);
    BufferManager* buffers = engine->getBufferManager();
    IntrusivePointer<VertexFormat> early = buffers->createVertexFormat();
    engine->setRenderDevice(&device);
    calls->take();

    // Every standard format and the early one got a back.
    EXPECT_NE(early->getRootVertexFormat(), nullptr);
    EXPECT_NE(engine->getVertexFormats().POSITION->getRootVertexFormat(), nullptr);

    const int formatsBefore = buffers->getVertexFormats().size();
    IntrusivePointer<VertexFormat> late = buffers->createVertexFormat();
    EXPECT_EQ(buffers->getVertexFormats().size(), formatsBefore + 1);
    IntrusivePointer<IndexBuffer> indices = buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 3);
    IntrusivePointer<VertexBuffer> vertices = buffers->createVertexBuffer(4, 2, engine->getVertexFormats().POSITION, 2);
    IntrusivePointer<PixelBuffer> pixels = buffers->createPixelBuffer(1, 3, 0x108, 4, 2, 1);
    IntrusivePointer<VariableBuffer> variables = buffers->createVariableBuffer(1, 2, lightsFormat());
    EXPECT_EQ(indices->getRootIndexBuffer(), indices.get());
    EXPECT_EQ(vertices->getRootVertexBuffer(), vertices.get());
    EXPECT_EQ(pixels->getRootPixelBuffer(), pixels.get());
    EXPECT_EQ(variables->getRootVariableBuffer(), variables.get());
    EXPECT_EQ(bufferCalls(*calls), (Calls{"indexBuffer1.createIndex(1,2,2,3)", "vertexBuffer1.createVertex(4,2,12,2)",
                                          "pixelBuffer1.createPixel(1,3,0x108 4x2x1 m1)",
                                          "variableBuffer1.createVariable(1,2,64)"}));

    // Reset: storage dropped and rebuilt by kind, in two orders.
    engine->getBufferManager()->preContextReset(&device);
    engine->getBufferManager()->postContextReset(&device);
    EXPECT_EQ(bufferCalls(*calls),
              (Calls{"variableBuffer1.resetDestroy()", "pixelBuffer1.resetDestroy()", "vertexBuffer1.resetDestroy()",
                     "indexBuffer1.resetDestroy()", "vertexBuffer1.resetCreate()", "indexBuffer1.resetCreate()",
                     "pixelBuffer1.resetCreate()", "variableBuffer1.resetCreate()"}));

    // A new activation leaves device buffers alone.
    buffers->contextActivate(&device);
    buffers->contextDeactivate(&device);
    EXPECT_EQ(bufferCalls(*calls), Calls{});
    EXPECT_EQ(early->getRootVertexFormat(), nullptr);
}

// A device that makes no buffers.
class BarrenDevice : public support::RecordingRenderDevice
{
public:
    using RecordingRenderDevice::RecordingRenderDevice;
    IndexBuffer* createIndexBuffer() override { return nullptr; }
    VertexBuffer* createVertexBuffer() override { return nullptr; }
};

TEST_F(BufferManagerTest, ADeviceWithoutObjectsGivesNullAndListsNothing)
{
    BarrenDevice barren(calls);
    IntrusivePointer<Engine> engine = makeEngine(false);
    engine->setRenderDevice(&barren);
    BufferManager* buffers = engine->getBufferManager();
    EXPECT_EQ(buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 3), nullptr);
    EXPECT_EQ(buffers->createVertexBuffer(1, 2, engine->getVertexFormats().POSITION, 3), nullptr);
    EXPECT_EQ(buffers->getIndexBuffers().size() + buffers->getVertexBuffers().size(), 0);
}

TEST_F(BufferManagerTest, ABackedEngineKeepsBuffersInMemoryAndBacksThemWithEachDevice)
{
    IntrusivePointer<Engine> engine = makeEngine(true);
    BufferManager* buffers = engine->getBufferManager();
    IntrusivePointer<IndexBuffer> indices = buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 3);
    IntrusivePointer<VertexBuffer> vertices = buffers->createVertexBuffer(1, 2, engine->getVertexFormats().POSITION, 2);
    IntrusivePointer<PixelBuffer> pixels = buffers->createPixelBuffer(1, 3, 0x108, 4, 2, 1);
    IntrusivePointer<VariableBuffer> variables = buffers->createVariableBuffer(1, 2, lightsFormat());
    EXPECT_EQ(indices->getRootIndexBuffer(), nullptr);
    unsigned char* bytes = indices->lock(2);
    ASSERT_NE(bytes, nullptr);
    const uint16_t written[3] = {7, 8, 9};
    std::memcpy(bytes, written, sizeof written);
    indices->unlock();

    engine->setRenderDevice(&device);
    EXPECT_EQ(bufferCalls(*calls),
              (Calls{"indexBuffer1.createIndex(1,2,2,3)", "indexBuffer1.lock(2)", "indexBuffer1.unlock()",
                     "vertexBuffer1.createVertex(1,2,12,2)", "pixelBuffer1.createPixel(1,3,0x108 4x2x1 m1)",
                     "variableBuffer1.createVariable(1,2,64)"}));
    auto* back = static_cast<support::RecordingBuffer*>(indices->getRootIndexBuffer());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(back->bytes.data(), written, sizeof written), 0);

    // Deactivation lets the backs go in the reverse order; the wrappers keep their data.
    engine->setRenderDevice(nullptr);
    EXPECT_EQ(bufferCalls(*calls), (Calls{"variableBuffer1.destroy()", "pixelBuffer1.destroy()",
                                          "vertexBuffer1.destroy()", "indexBuffer1.destroy()"}));
    EXPECT_EQ(indices->getRootIndexBuffer(), nullptr);
    EXPECT_EQ(std::memcmp(indices->lock(1), written, sizeof written), 0);
    indices->unlock();
}

// A wrapper that refuses its size or format is not handed out: listed, it would have no kind to
// tell the manager of its end with, and the list would keep it after it was freed.
TEST_F(BufferManagerTest, ABackedEngineGivesNullAndListsNothingForARefusedBuffer)
{
    for (bool withDevice : {false, true}) {
        SCOPED_TRACE(withDevice ? "with a device" : "without a device");
        IntrusivePointer<Engine> engine = makeEngine(true);
        if (withDevice) {
            engine->setRenderDevice(&device);
        }
        BufferManager* buffers = engine->getBufferManager();
        IntrusivePointer<VertexFormat> wide = buffers->createVertexFormat();
        wide->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
        wide->addElement(VertexFormat::Semantic_NORMAL, 0, VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
        ASSERT_EQ(wide->getVertexSize(), 24);
        IntrusivePointer<VariableBufferFormat> negative(new VariableBufferFormat(false, "Negative", -16, 0));
        struct Case
        {
            const char* name;
            std::function<bool()> createsNull;
        };
        const Case cases[] = {
            {"vertex, 3 GB", [&] { return !buffers->createVertexBuffer(1, 2, wide, 0x7FFFFFFF / 16); }},
            {"vertex, negative count", [&] { return !buffers->createVertexBuffer(1, 2, wide, -1); }},
            {"vertex, no format", [&] { return !buffers->createVertexBuffer(1, 2, nullptr, 4); }},
            {"index, 4 GB",
             [&] { return !buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT32, 0x40000000); }},
            {"index, negative count",
             [&] { return !buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, -3); }},
            {"pixel, 16 GB", [&] { return !buffers->createPixelBuffer(1, 2, 0x108, 65536, 65536, 1); }},
            {"pixel, negative width", [&] { return !buffers->createPixelBuffer(1, 2, 0x108, -4, 4, 1); }},
            {"variable, negative size", [&] { return !buffers->createVariableBuffer(1, 2, negative); }},
            {"variable, no format", [&] { return !buffers->createVariableBuffer(1, 2, nullptr); }},
        };
        const int formats = buffers->getVertexFormats().size();
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            EXPECT_TRUE(c.createsNull());
            EXPECT_EQ(buffers->getIndexBuffers().size() + buffers->getVertexBuffers().size() +
                          buffers->getPixelBuffers().size() + buffers->getVariableBuffers().size(),
                      0);
        }
        // The format goes after the buffers were let go: its end walks the lists, which must hold
        // nothing freed; so does the context's loss and the engine's end.
        wide = nullptr;
        EXPECT_EQ(buffers->getVertexFormats().size(), formats - 1);
        engine->setRenderDevice(nullptr);
        engine->destroy();
    }
}

struct Vertex
{
    float position[3];
    float normal[3];
};

TEST_F(BufferManagerTest, ClonesIndicesAcrossWidthsAndSizes)
{
    IntrusivePointer<Engine> engine = makeEngine(true);
    BufferManager* buffers = engine->getBufferManager();
    struct Case
    {
        IndexBuffer::IndexFormat from;
        IndexBuffer::IndexFormat to;
        int oldSize;
        int newSize;
    };
    const Case cases[] = {
        {IndexBuffer::IndexFormat_UINT16, IndexBuffer::IndexFormat_UINT32, 4, 4},
        {IndexBuffer::IndexFormat_UINT32, IndexBuffer::IndexFormat_UINT16, 4, 4},
        {IndexBuffer::IndexFormat_UINT8, IndexBuffer::IndexFormat_UINT32, 3, 6},
        {IndexBuffer::IndexFormat_UINT32, IndexBuffer::IndexFormat_UINT8, 6, 2},
        {IndexBuffer::IndexFormat_UINT16, IndexBuffer::IndexFormat_UINT16, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to) + ", " + std::to_string(c.oldSize) +
                     " to " + std::to_string(c.newSize));
        IntrusivePointer<IndexBuffer> old = buffers->createIndexBuffer(1, 3, c.from, c.oldSize);
        unsigned char* data = old->lock(2);
        for (int i = 0; i < c.oldSize; ++i) {
            const uint32_t value = 10 + i;
            std::memcpy(data + i * c.from, &value, c.from); // little-endian: the low bytes
        }
        old->unlock();

        IntrusivePointer<IndexBuffer> clone = buffers->cloneIndexBuffer(old, 1, 3, c.to, c.newSize);
        ASSERT_EQ(clone->getSize(), c.newSize);
        const unsigned char* copied = clone->lock(1);
        for (int i = 0; i < c.newSize; ++i) {
            uint32_t value = 0;
            std::memcpy(&value, copied + i * c.to, c.to);
            EXPECT_EQ(value, i < c.oldSize ? 10u + i : 0u) << "index " << i;
        }
        clone->unlock();
    }
}

TEST_F(BufferManagerTest, ClonesVerticesIntoAnotherLayout)
{
    IntrusivePointer<Engine> engine = makeEngine(true);
    BufferManager* buffers = engine->getBufferManager();
    const auto& formats = engine->getVertexFormats();

    IntrusivePointer<VertexBuffer> old = buffers->createVertexBuffer(1, 3, formats.POSITION_NORMAL, 3);
    auto* from = reinterpret_cast<Vertex*>(old->lock(2));
    for (int v = 0; v < 3; ++v) {
        from[v] = Vertex{{v + 0.5f, v + 1.5f, v + 2.5f}, {-1, -2, -3}};
    }
    old->unlock();

    // Position, colour, texture coordinates: the positions come over, nothing else.
    IntrusivePointer<VertexBuffer> wide = buffers->cloneVertexBuffer(old, 1, 3, formats.POSITION_COLOR_TEX_COORD, 4);
    const int stride = formats.POSITION_COLOR_TEX_COORD->getVertexSize();
    ASSERT_EQ(stride, 24);
    const unsigned char* to = wide->lock(1);
    for (int v = 0; v < 4; ++v) {
        float position[3];
        std::memcpy(position, to + v * stride, sizeof position);
        EXPECT_EQ(position[0], v < 3 ? v + 0.5f : 0.0f) << v;
        EXPECT_EQ(position[2], v < 3 ? v + 2.5f : 0.0f) << v;
        for (int b = 12; b < stride; ++b) {
            EXPECT_EQ(to[v * stride + b], 0) << v;
        }
    }
    wide->unlock();

    // Two components into three: the third stays as the new buffer holds it.
    IntrusivePointer<VertexFormat> flat = buffers->createVertexFormat();
    flat->addElement(VertexFormat::Semantic_POSITION, 0, VertexFormat::makeFormat(6, 2));
    IntrusivePointer<VertexBuffer> narrow = buffers->createVertexBuffer(1, 3, flat, 2);
    auto* xy = reinterpret_cast<float*>(narrow->lock(2));
    const float points[4] = {1, 2, 3, 4};
    std::memcpy(xy, points, sizeof points);
    narrow->unlock();
    IntrusivePointer<VertexBuffer> deep = buffers->cloneVertexBuffer(narrow, 1, 3, formats.POSITION, 2);
    const auto* xyz = reinterpret_cast<const float*>(deep->lock(1));
    EXPECT_EQ(std::vector<float>(xyz, xyz + 6), (std::vector<float>{1, 2, 0, 3, 4, 0}));
    deep->unlock();

    // No vertices to copy.
    IntrusivePointer<VertexBuffer> none = buffers->cloneVertexBuffer(old, 1, 3, formats.POSITION, 0);
    EXPECT_EQ(none->getSize(), 0);
}

TEST_F(BufferManagerTest, AnUnreadableOldBufferIsClonedEmpty)
{
    IntrusivePointer<Engine> engine = makeEngine(false);
    engine->setRenderDevice(&device);
    BufferManager* buffers = engine->getBufferManager();
    IntrusivePointer<IndexBuffer> old = buffers->createIndexBuffer(1, 3, IndexBuffer::IndexFormat_UINT16, 4);
    static_cast<support::RecordingBuffer*>(old.get())->nullLock = true;
    IntrusivePointer<IndexBuffer> clone = buffers->cloneIndexBuffer(old, 1, 3, IndexBuffer::IndexFormat_UINT32, 4);
    IntrusivePointer<VertexBuffer> oldVertices = buffers->createVertexBuffer(1, 3, engine->getVertexFormats().POSITION, 2);
    static_cast<support::RecordingBuffer*>(oldVertices.get())->nullLock = true;
    buffers->cloneVertexBuffer(oldVertices, 1, 3, engine->getVertexFormats().POSITION_NORMAL, 2);
    const Calls logged = bufferCalls(*calls);
    // Both locks are given back, the new buffer's first.
    ASSERT_GE(logged.size(), 4u);
    EXPECT_EQ(Calls(logged.end() - 4, logged.end()), (Calls{"vertexBuffer1.lock(1)", "vertexBuffer2.lock(2)",
                                                            "vertexBuffer2.unlock()", "vertexBuffer1.unlock()"}));
    const auto* bytes = static_cast<support::RecordingBuffer*>(clone.get())->bytes.data();
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 16), std::vector<unsigned char>(16, 0));
}

TEST_F(BufferManagerTest, ForgetsObjectsDestroyedElsewhereAndDestroysTheRest)
{
    IntrusivePointer<Engine> engine = makeEngine(true);
    engine->setRenderDevice(&device);
    BufferManager* buffers = engine->getBufferManager();
    IntrusivePointer<IndexBuffer> indices = buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 3);
    IntrusivePointer<VertexBuffer> vertices = buffers->createVertexBuffer(1, 2, engine->getVertexFormats().POSITION, 2);
    IntrusivePointer<PixelBuffer> pixels = buffers->createPixelBuffer(1, 2, 0x108, 2, 2, 1);
    calls->take();

    indices->destroy();
    EXPECT_EQ(buffers->getIndexBuffers().size(), 0);
    EXPECT_EQ(buffers->getVertexBuffers().size(), 1);
    // One that was never listed changes nothing.
    IntrusivePointer<VertexFormat> stranger(device.createVertexFormat());
    buffers->resourceDestroyed(stranger.get());
    EXPECT_EQ(buffers->getVertexFormats().size(), 10);

    calls->take();
    buffers->destroy();
    EXPECT_EQ(bufferCalls(*calls), (Calls{"vertexBuffer1.destroy()", "pixelBuffer1.destroy()"}));
    EXPECT_EQ(buffers->getVertexFormats().size() + buffers->getVertexBuffers().size() +
                  buffers->getPixelBuffers().size(),
              0);
}

TEST_F(BufferManagerTest, TheListsDoNotKeepAnObjectAliveAfterItsLastHolder)
{
    for (bool backed : {true, false}) {
        SCOPED_TRACE(backed ? "backed" : "device objects");
        IntrusivePointer<Engine> engine = makeEngine(backed);
        engine->setRenderDevice(&device);
        BufferManager* buffers = engine->getBufferManager();
        const int formats = buffers->getVertexFormats().size();
        IntrusivePointer<VertexBuffer> kept = buffers->createVertexBuffer(1, 2, engine->getVertexFormats().POSITION, 2);
        for (int i = 0; i < 100; ++i) {
            buffers->createIndexBuffer(1, 2, IndexBuffer::IndexFormat_UINT16, 3);
            buffers->createVertexBuffer(1, 2, engine->getVertexFormats().POSITION, 2);
            buffers->createPixelBuffer(1, 2, 0x108, 2, 2, 1);
            buffers->createVariableBuffer(1, 2, lightsFormat());
            buffers->createVertexFormat();
        }
        EXPECT_EQ(buffers->getIndexBuffers().size(), 0);
        ASSERT_EQ(buffers->getVertexBuffers().size(), 1);
        EXPECT_EQ(buffers->getVertexBuffers()[0], kept.get());
        EXPECT_EQ(buffers->getPixelBuffers().size(), 0);
        EXPECT_EQ(buffers->getVariableBuffers().size(), 0);
        EXPECT_EQ(buffers->getVertexFormats().size(), formats);

        // What is still held goes through a loss of the context (an unbacked engine takes no second
        // device), and the engine's end, as before.
        engine->setRenderDevice(nullptr);
        if (backed) {
            engine->setRenderDevice(&device);
        }
        engine->destroy();
        EXPECT_EQ(buffers->getVertexBuffers().size(), 0);
    }
}

TEST_F(BufferManagerTest, WritesAVariableLayoutToTheLog)
{
    IntrusivePointer<Engine> engine = makeEngine(false);
    support::RecordingLoggerListener lines;
    rezezaz::core::Log::getInstance()->addLoggerListener(&lines);
    engine->getBufferManager()->outputVariableBufferFormat(lightsFormat());
    rezezaz::core::Log::getInstance()->removeLoggerListener(&lines);
    Calls texts;
    for (const auto& entry : lines.entries.snapshot()) {
        EXPECT_EQ(entry.level, Logger::ALERT);
        EXPECT_EQ(entry.categoryName, "rezezaz.scene");
        texts.push_back(entry.text);
    }
    // The flattened list holds the member too, so it shows twice.
    EXPECT_EQ(texts, (Calls{"VariableBufferFormat:Lights primary:0 dataSize:64 numVariables:3",
                            "\tVariable:ambient format:518 offset:0 index:0 arraySize:1 structSize:0",
                            "\tVariable:light format:0 offset:16 index:1 arraySize:2 structSize:1",
                            "\t\tVariable:color format:774 offset:16 index:2 arraySize:1 structSize:0",
                            "\tVariable:color format:774 offset:16 index:2 arraySize:1 structSize:0"}));
}

} // namespace

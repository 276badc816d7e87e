#include "render/BackableBuffer.h"

#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "core/ResourceDestroyedListener.h"
#include "core/SharedPointer.h"
#include "core/String.h"
#include "render/BackableVertexFormat.h"
#include "support/CallLog.h"
#include "support/RecordingBuffer.h"
#include "support/RecordingRenderDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rezezaz::render {
namespace {

using core::IntrusivePointer;
using support::CallLog;
using support::RecordingBuffer;
using Calls = std::vector<std::string>;

class DestroyRecorder : public core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(core::Resource* resource) override { told.push_back(resource); }
    std::vector<core::Resource*> told;
};

IntrusivePointer<VertexFormat> positionFormat()
{
    IntrusivePointer<BackableVertexFormat> format(new BackableVertexFormat());
    format->addElement(VertexFormat::Semantic_POSITION, 0,
                       VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3));
    return format;
}

IntrusivePointer<VariableBufferFormat> variableFormat(int dataSize)
{
    return IntrusivePointer<VariableBufferFormat>(
        new VariableBufferFormat(true, core::String(), dataSize, 0));
}

// One case per kind of buffer: how it is created, how a back is set, what the back's create looks like
// and which root answers.
struct KindCase
{
    const char* name;
    std::function<bool(BackableBuffer&)> create;
    std::function<void(BackableBuffer&, const IntrusivePointer<RecordingBuffer>&, RenderDevice*)> setBack;
    const char* backCreate;
    int dataSize;
    int size;
    std::function<void*(BackableBuffer&)> root;
};

std::vector<KindCase> kindCases()
{
    return {
        {"index", [](BackableBuffer& b) { return b.create(1, 3, IndexBuffer::IndexFormat_UINT16, 6); },
         [](BackableBuffer& b, const IntrusivePointer<RecordingBuffer>& back, RenderDevice*) {
             b.setBack(IntrusivePointer<IndexBuffer>(back.get()));
         },
         "createIndex(1,3,2,6)", 12, 6,
         [](BackableBuffer& b) -> void* { return dynamic_cast<void*>(b.getRootIndexBuffer()); }},
        {"vertex", [](BackableBuffer& b) { return b.create(2, 2, positionFormat(), 2); },
         [](BackableBuffer& b, const IntrusivePointer<RecordingBuffer>& back, RenderDevice*) {
             b.setBack(IntrusivePointer<VertexBuffer>(back.get()));
         },
         "createVertex(2,2,12,2)", 24, 2,
         [](BackableBuffer& b) -> void* { return dynamic_cast<void*>(b.getRootVertexBuffer()); }},
        {"pixel",
         [](BackableBuffer& b) {
             return b.create(4, 1,
                             IntrusivePointer<TextureFormat>(
                                 new TextureFormat(2, TextureFormat::Format_RGBA_8, 3, 2, 1, 1)));
         },
         [](BackableBuffer& b, const IntrusivePointer<RecordingBuffer>& back, RenderDevice* device) {
             b.setBack(IntrusivePointer<PixelBuffer>(back.get()), device);
         },
         "createPixel(4,1,0x108 3x2x1 m1)", 24, 0,
         [](BackableBuffer& b) -> void* { return dynamic_cast<void*>(b.getRootPixelBuffer()); }},
        {"variable", [](BackableBuffer& b) { return b.create(1, 2, variableFormat(32)); },
         [](BackableBuffer& b, const IntrusivePointer<RecordingBuffer>& back, RenderDevice*) {
             b.setBack(IntrusivePointer<VariableBuffer>(back.get()));
         },
         "createVariable(1,2,32)", 32, 0,
         [](BackableBuffer& b) -> void* { return dynamic_cast<void*>(b.getRootVariableBuffer()); }},
    };
}

class BackableBufferTest : public ::testing::Test
{
protected:
    IntrusivePointer<RecordingBuffer> newBack(const char* label)
    {
        return IntrusivePointer<RecordingBuffer>(new RecordingBuffer(log, label));
    }

    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    support::RecordingRenderDevice device{log};
};

TEST_F(BackableBufferTest, EveryKindIsWrittenBeforeADeviceAndUploadedToEachNewBack)
{
    for (const KindCase& c : kindCases()) {
        SCOPED_TRACE(c.name);
        log->take();
        IntrusivePointer<BackableBuffer> buffer(new BackableBuffer());
        ASSERT_TRUE(c.create(*buffer));
        EXPECT_EQ(buffer->getDataSize(), c.dataSize);
        EXPECT_EQ(buffer->getSize(), c.size);
        EXPECT_EQ(buffer->getAccess() & 4, 4);
        unsigned char* bytes = buffer->lock(Buffer::Access_WRITE);
        ASSERT_NE(bytes, nullptr);
        for (int i = 0; i < c.dataSize; ++i) {
            bytes[i] = static_cast<unsigned char>(i + 1);
        }
        EXPECT_TRUE(buffer->unlock());
        std::vector<unsigned char> written(bytes, bytes + c.dataSize);

        IntrusivePointer<RecordingBuffer> first = newBack("first");
        c.setBack(*buffer, first, &device);
        EXPECT_EQ(log->take(),
                  (Calls{std::string("first.") + c.backCreate, "first.lock(2)", "first.unlock()"}));
        EXPECT_EQ(first->bytes, written);
        EXPECT_EQ(c.root(*buffer), static_cast<void*>(first.get()));

        // The same back again is created and filled again, not destroyed.
        c.setBack(*buffer, first, &device);
        EXPECT_EQ(log->take(),
                  (Calls{std::string("first.") + c.backCreate, "first.lock(2)", "first.unlock()"}));

        // Later writes reach the back at once.
        unsigned char patch[2] = {0xAA, 0xBB};
        EXPECT_TRUE(buffer->update(patch, 2, 2));
        EXPECT_EQ(log->take(), Calls{"first.update(2,2)"});
        EXPECT_EQ(first->bytes[2], 0xAA);
        EXPECT_EQ(first->bytes[3], 0xBB);

        // A new device: the old back goes first, the new one gets everything.
        IntrusivePointer<RecordingBuffer> second = newBack("second");
        c.setBack(*buffer, second, &device);
        Calls calls = log->take();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front(), "first.destroy()");
        written[2] = 0xAA;
        written[3] = 0xBB;
        EXPECT_EQ(second->bytes, written);

        // Losing the context destroys the back and leaves the copy.
        c.setBack(*buffer, nullptr, &device);
        EXPECT_EQ(log->take(), Calls{"second.destroy()"});
        EXPECT_EQ(c.root(*buffer), nullptr);
        EXPECT_EQ(buffer->getBack(), nullptr);
        EXPECT_EQ(std::memcmp(buffer->lock(Buffer::Access_READ), written.data(), written.size()), 0);

        // Only the root of the buffer's own kind answers.
        c.setBack(*buffer, second, &device);
        int roots = (buffer->getRootIndexBuffer() != nullptr) + (buffer->getRootVertexBuffer() != nullptr) +
                    (buffer->getRootPixelBuffer() != nullptr) + (buffer->getRootVariableBuffer() != nullptr);
        EXPECT_EQ(roots, 1);
    }
}

TEST_F(BackableBufferTest, AnUnwrittenBufferCreatesItsBackWithoutFillingIt)
{
    IntrusivePointer<BackableBuffer> buffer(new BackableBuffer());
    ASSERT_TRUE(buffer->create(1, 2, IndexBuffer::IndexFormat_UINT32, 4));
    IntrusivePointer<RecordingBuffer> back = newBack("back");
    buffer->setBack(IntrusivePointer<IndexBuffer>(back.get()));
    EXPECT_EQ(log->take(), Calls{"back.createIndex(1,2,4,4)"});
    // resetCreate and resetDestroy pass the device's reset on.
    buffer->resetDestroy();
    buffer->resetCreate();
    EXPECT_EQ(log->take(), (Calls{"back.resetDestroy()", "back.resetCreate()"}));
    EXPECT_EQ(buffer->getAccess(), 2 | 4);
}

TEST_F(BackableBufferTest, APixelBackInAnotherFormatIsConvertedOnEveryWrite)
{
    device.closeFormats[TextureFormat::Format_RGB_8] = TextureFormat::Format_RGBA_8;
    IntrusivePointer<BackableBuffer> buffer(new BackableBuffer());
    ASSERT_TRUE(buffer->create(
        1, 3,
        IntrusivePointer<TextureFormat>(new TextureFormat(2, TextureFormat::Format_RGB_8, 2, 1, 1, 1))));
    const unsigned char pixels[6] = {10, 20, 30, 40, 50, 60};
    std::memcpy(buffer->lock(Buffer::Access_WRITE), pixels, sizeof pixels);
    buffer->unlock();

    IntrusivePointer<RecordingBuffer> back = newBack("back");
    buffer->setBack(IntrusivePointer<PixelBuffer>(back.get()), &device);
    EXPECT_EQ(log->take(), (Calls{"back.createPixel(1,3,0x108 2x1x1 m1)", "back.lock(2)", "back.unlock()"}));
    EXPECT_EQ(back->bytes, (std::vector<unsigned char>{10, 20, 30, 255, 40, 50, 60, 255}));
    // The own format stays as created.
    EXPECT_EQ(buffer->getTextureFormat()->pixelFormat, TextureFormat::Format_RGB_8);
    EXPECT_EQ(buffer->getDataSize(), 6);

    buffer->lock(Buffer::Access_WRITE)[0] = 99;
    buffer->unlock();
    EXPECT_EQ(back->bytes[0], 99);
    EXPECT_EQ(back->bytes[3], 255);

    // A part written by update cannot go over byte for byte: the second pixel starts at byte 3 of
    // the copy but at byte 4 of the back. The whole copy goes over, converted.
    log->take();
    unsigned char second[3] = {70, 80, 90};
    EXPECT_TRUE(buffer->update(second, 3, 3));
    EXPECT_EQ(log->take(), (Calls{"back.lock(2)", "back.unlock()"}));
    EXPECT_EQ(back->bytes, (std::vector<unsigned char>{99, 20, 30, 255, 70, 80, 90, 255}));
}

TEST_F(BackableBufferTest, APixelBackLaidOutOtherwiseInTheSamePixelFormatIsWrittenRowByRow)
{
    IntrusivePointer<BackableBuffer> buffer(new BackableBuffer());
    ASSERT_TRUE(buffer->create(
        1, 3, IntrusivePointer<TextureFormat>(new TextureFormat(2, TextureFormat::Format_L_8, 2, 2, 1, 1))));
    IntrusivePointer<RecordingBuffer> back = newBack("back");
    buffer->setBack(IntrusivePointer<PixelBuffer>(back.get()), &device);
    // The device pads its rows to four bytes.
    IntrusivePointer<TextureFormat> padded(new TextureFormat(2, TextureFormat::Format_L_8, 2, 2, 1, 1));
    padded->xPitch = 4;
    padded->yPitch = 8;
    padded->zPitch = 8;
    back->setPixels(padded);

    const unsigned char pixels[4] = {1, 2, 3, 4};
    std::memcpy(buffer->lock(Buffer::Access_WRITE), pixels, sizeof pixels);
    buffer->unlock();
    EXPECT_EQ(back->bytes, (std::vector<unsigned char>{1, 2, 0, 0, 3, 4, 0, 0}));
}

TEST_F(BackableBufferTest, EngineErrorsOfTheBackLeaveTheCopyWrittenForTheNextBack)
{
    IntrusivePointer<BackableBuffer> buffer(new BackableBuffer());
    ASSERT_TRUE(buffer->create(1, 3, IndexBuffer::IndexFormat_UINT8, 4));
    IntrusivePointer<RecordingBuffer> failing = newBack("failing");
    failing->failUpdate = true;
    failing->failLock = true;
    buffer->setBack(IntrusivePointer<IndexBuffer>(failing.get()));

    unsigned char data[4] = {1, 2, 3, 4};
    EXPECT_TRUE(buffer->update(data, 0, 4));
    EXPECT_EQ(buffer->lock(Buffer::Access_READ)[3], 4);
    EXPECT_TRUE(buffer->unlock());
    log->take();

    // A lock that answers null writes nothing and does not unlock.
    IntrusivePointer<RecordingBuffer> nullLock = newBack("nullLock");
    nullLock->nullLock = true;
    buffer->setBack(IntrusivePointer<IndexBuffer>(nullLock.get()));
    EXPECT_EQ(log->take(), (Calls{"failing.destroy()", "nullLock.createIndex(1,3,1,4)", "nullLock.lock(2)"}));

    IntrusivePointer<RecordingBuffer> good = newBack("good");
    buffer->setBack(IntrusivePointer<IndexBuffer>(good.get()));
    EXPECT_EQ(good->bytes, (std::vector<unsigned char>{1, 2, 3, 4}));
}

TEST_F(BackableBufferTest, AWriteOutsideTheBufferIsRefusedAndWritesNothing)
{
    IntrusivePointer<BackableBuffer> buffer(new BackableBuffer());
    ASSERT_TRUE(buffer->create(1, 3, IndexBuffer::IndexFormat_UINT16, 4));
    IntrusivePointer<RecordingBuffer> back = newBack("back");
    buffer->setBack(IntrusivePointer<IndexBuffer>(back.get()));
    log->take();
    std::memset(buffer->lock(Buffer::Access_WRITE), 7, 8);

    unsigned char data[16] = {};
    struct Case
    {
        int start;
        int size;
    };
    for (const Case& c : {Case{6, 4}, Case{-1, 2}, Case{0, -1}, Case{8, 1}, Case{0x7FFFFFFF, 1}}) {
        SCOPED_TRACE(::testing::Message() << c.start << "+" << c.size);
        EXPECT_FALSE(buffer->update(data, c.start, c.size));
    }
    EXPECT_FALSE(buffer->update(nullptr, 0, 2));
    EXPECT_TRUE(log->calls.empty());
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(buffer->lock(Buffer::Access_READ)[i], 7);
    }
    // The last bytes exactly are fine.
    EXPECT_TRUE(buffer->update(data, 6, 2));
    EXPECT_EQ(log->take(), Calls{"back.update(6,2)"});
}

TEST_F(BackableBufferTest, CreateRefusesSizesThatCannotBeHeld)
{
    IntrusivePointer<BackableBuffer> buffer(new BackableBuffer());
    EXPECT_FALSE(buffer->create(1, 3, IndexBuffer::IndexFormat_UINT32, -1));
    EXPECT_FALSE(buffer->create(1, 3, IndexBuffer::IndexFormat_UINT32, 0x40000000));
    EXPECT_FALSE(buffer->create(1, 3, IntrusivePointer<VertexFormat>(), 4));
    EXPECT_EQ(buffer->getDataSize(), 0);
    EXPECT_EQ(buffer->lock(Buffer::Access_WRITE), nullptr);
    EXPECT_EQ(buffer->getIndexFormat(), 0);

    // A second, larger create grows the copy and keeps what the first held.
    ASSERT_TRUE(buffer->create(1, 3, IndexBuffer::IndexFormat_UINT8, 2));
    buffer->lock(Buffer::Access_WRITE)[1] = 5;
    ASSERT_TRUE(buffer->create(1, 3, IndexBuffer::IndexFormat_UINT8, 64));
    EXPECT_EQ(buffer->getDataSize(), 64);
    EXPECT_EQ(buffer->lock(Buffer::Access_READ)[1], 5);
    unsigned char data[64] = {};
    EXPECT_TRUE(buffer->update(data, 0, 64));
}

TEST_F(BackableBufferTest, DestroyTellsTheListenerWithTheBufferSeenAsItsKind)
{
    DestroyRecorder recorder;
    IntrusivePointer<BackableBuffer> vertices(new BackableBuffer());
    ASSERT_TRUE(vertices->create(1, 3, positionFormat(), 1));
    IntrusivePointer<RecordingBuffer> back = newBack("back");
    vertices->setBack(IntrusivePointer<VertexBuffer>(back.get()));
    log->take();
    vertices->setDestroyedListener(&recorder);
    vertices->destroy();
    EXPECT_EQ(log->take(), Calls{"back.destroy()"});
    ASSERT_EQ(recorder.told.size(), 1u);
    EXPECT_EQ(recorder.told[0], static_cast<core::Resource*>(static_cast<VertexBuffer*>(vertices.get())));
    EXPECT_EQ(vertices->lock(Buffer::Access_READ), nullptr);

    // A buffer never created leaves its back and its listener alone.
    IntrusivePointer<BackableBuffer> empty(new BackableBuffer());
    IntrusivePointer<RecordingBuffer> unused = newBack("unused");
    empty->setBack(IntrusivePointer<IndexBuffer>(unused.get()));
    empty->resetCreate();
    empty->resetDestroy();
    empty->setDestroyedListener(&recorder);
    empty->destroy();
    EXPECT_TRUE(log->calls.empty());
    EXPECT_EQ(recorder.told.size(), 1u);
}

// A 4x4 matrix flagged for transposition, a 2x3 matrix without the flag and a 3x3 matrix that reaches
// past the end of the data.
class TransposeTest : public ::testing::Test
{
protected:
    using Variable = VariableBufferFormat::Variable;

    void SetUp() override
    {
        format = new VariableBufferFormat(true, core::String(), 112, 3);
        add(0, static_cast<int>(0x80000D06u), 0);
        add(1, 0x606, 64);
        add(2, static_cast<int>(0x80000906u), 80);
        format->compile();
        for (int i = 0; i < 28; ++i) {
            floats[i] = static_cast<float>(i);
        }
    }

    void add(int slot, int code, int offset)
    {
        core::SharedPointer<Variable> variable(new Variable());
        variable->name = core::String("m") + slot;
        variable->format = code;
        variable->offset = offset;
        variable->index = slot;
        format->setStructVariable(slot, variable);
    }

    unsigned char* data() { return reinterpret_cast<unsigned char*>(floats); }

    IntrusivePointer<VariableBufferFormat> format;
    float floats[28];
};

TEST_F(TransposeTest, PackingSwapsOnlyFlaggedMatricesThatFitInTheData)
{
    BackableBuffer::packVariables(format.get(), data());
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(floats[4 * row + column], static_cast<float>(4 * column + row));
        }
    }
    for (int i = 16; i < 28; ++i) {
        EXPECT_EQ(floats[i], static_cast<float>(i));
    }
    BackableBuffer::unpackVariables(format.get(), data());
    for (int i = 0; i < 28; ++i) {
        EXPECT_EQ(floats[i], static_cast<float>(i));
    }
}

TEST_F(TransposeTest, OneVariableIsTransposedWithStrideFourWhateverItsFlag)
{
    BackableBuffer::transposeVariable(format.get(), data(), 1);
    // Two rows and three columns at float 16: swaps 1 with 4 only.
    const float expected[8] = {16, 20, 18, 19, 17, 21, 22, 23};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(floats[16 + i], expected[i]) << i;
    }
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(floats[i], static_cast<float>(i));
    }
    BackableBuffer::transposeVariable(format.get(), data(), 3);
    BackableBuffer::transposeVariable(format.get(), data(), -1);
    BackableBuffer::transposeVariable(nullptr, data(), 0);
    EXPECT_EQ(floats[1], 1.0f);
}

} // namespace
} // namespace rezezaz::render

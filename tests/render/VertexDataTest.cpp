#include "render/BackableVertexFormat.h"
#include "render/IndexBufferAccessor.h"
#include "render/IndexData.h"
#include "render/VertexBufferAccessor.h"
#include "render/VertexData.h"

#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "support/LogCapture.h"
#include "support/MemoryBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace rezezaz::render {
namespace {

using core::IntrusivePointer;
using support::MemoryBuffer;

IntrusivePointer<VertexFormat> makeFormat(std::initializer_list<std::pair<int, int>> elements)
{
    IntrusivePointer<BackableVertexFormat> format(new BackableVertexFormat());
    for (const auto& element : elements) {
        format->addElement(element.first, 0, element.second);
    }
    return format;
}

IntrusivePointer<MemoryBuffer> makeVertexBuffer(IntrusivePointer<VertexFormat> format, int vertices)
{
    IntrusivePointer<MemoryBuffer> buffer(new MemoryBuffer());
    buffer->create(Buffer::Usage_STATIC, Buffer::Access_WRITE, format, vertices);
    return buffer;
}

TEST(VertexDataTest, DataMadeFromABufferHoldsThatBufferOnly)
{
    IntrusivePointer<VertexFormat> format = makeFormat({{VertexFormat::Semantic_POSITION, 0x30006}});
    IntrusivePointer<MemoryBuffer> first = makeVertexBuffer(format, 3);
    IntrusivePointer<VertexData> data(new VertexData(IntrusivePointer<VertexBuffer>(first.get())));
    EXPECT_EQ(data->vertexFormat, format);
    ASSERT_EQ(data->vertexBuffers.size(), 1);

    IntrusivePointer<MemoryBuffer> second = makeVertexBuffer(format, 3);
    support::LogCapture log;
    try {
        data->addVertexBuffer(IntrusivePointer<VertexBuffer>(second.get()));
        FAIL() << "a second buffer was accepted";
    } catch (const core::Exception& e) {
        EXPECT_EQ(e.getError(), -1);
        EXPECT_STREQ(e.getDescription(),
                     "cannot add multiple buffers to a VertexData with an unspecified VertexFormat");
    }
    EXPECT_EQ(data->vertexBuffers.size(), 1);
    ASSERT_EQ(log.listener.entries.size(), 1u);
    EXPECT_EQ(log.listener.entries[0].categoryName, "rezezaz.render");
    EXPECT_EQ(log.listener.entries[0].level, core::Logger::ERROR);

    // The refusal goes by where the format came from, not by identity: data made from the format
    // itself takes any number of buffers of that very format.
    IntrusivePointer<VertexData> shared(new VertexData(format));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(shared->addVertexBuffer(IntrusivePointer<VertexBuffer>(makeVertexBuffer(format, 1).get())));
    }
    EXPECT_EQ(shared->vertexBuffers.size(), 3);
    EXPECT_EQ(shared->vertexFormat, format);

    EXPECT_THROW(VertexData(IntrusivePointer<VertexBuffer>()), core::Exception);
}

TEST(VertexDataTest, DestroyingTheDataDestroysItsBuffers)
{
    IntrusivePointer<VertexFormat> format = makeFormat({{VertexFormat::Semantic_POSITION, 0x30006}});
    IntrusivePointer<MemoryBuffer> vertices = makeVertexBuffer(format, 4);
    IntrusivePointer<MemoryBuffer> indices(new MemoryBuffer());
    indices->create(Buffer::Usage_STATIC, Buffer::Access_WRITE, IndexBuffer::IndexFormat_UINT16, 6);
    {
        IntrusivePointer<VertexData> vertexData(new VertexData(IntrusivePointer<VertexBuffer>(vertices.get())));
        IntrusivePointer<IndexData> indexData(
            new IndexData(IndexData::Primitive_TRIANGLES, IntrusivePointer<IndexBuffer>(indices.get())));
        EXPECT_EQ(indexData->start, 0);
        EXPECT_EQ(indexData->count, 6);
        EXPECT_EQ(vertices->destroys, 0);
        EXPECT_EQ(indices->destroys, 0);
    }
    EXPECT_EQ(vertices->destroys, 1);
    EXPECT_EQ(indices->destroys, 1);
}

TEST(VertexDataTest, IndexDataRanges)
{
    IntrusivePointer<IndexData> unindexed(new IndexData(IndexData::Primitive_LINE_STRIP, nullptr, 5, 7));
    EXPECT_EQ(unindexed->primitive, IndexData::Primitive_LINE_STRIP);
    EXPECT_EQ(unindexed->indexBuffer, nullptr);
    EXPECT_EQ(unindexed->start, 5);
    EXPECT_EQ(unindexed->count, 7);
    EXPECT_THROW(IndexData(IndexData::Primitive_POINTS, nullptr), core::Exception);
}

TEST(VertexBufferAccessorTest, ViewsFollowTheFormat)
{
    using VF = VertexFormat;
    struct Case
    {
        const char* name;
        std::initializer_list<std::pair<int, int>> elements;
        bool fixed;
        bool color;
    };
    const Case cases[] = {
        {"float with colour", {{VF::Semantic_POSITION, 0x30006}, {VF::Semantic_COLOR, VF::Format_COLOR}}, false, true},
        {"fixed with colour", {{VF::Semantic_POSITION, 0x30005}, {VF::Semantic_COLOR, VF::Format_COLOR}}, true, true},
        {"colour first", {{VF::Semantic_COLOR, VF::Format_COLOR}, {VF::Semantic_POSITION, 0x30006}}, false, false},
        {"no colour", {{VF::Semantic_POSITION, 0x30006}, {VF::Semantic_NORMAL, 0x10005}}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<VertexFormat> format = makeFormat(c.elements);
        IntrusivePointer<MemoryBuffer> buffer = makeVertexBuffer(format, 2);
        VertexBufferAccessor accessor(buffer.get(), Buffer::Access_WRITE);
        ASSERT_EQ(accessor.buffer, static_cast<Buffer*>(static_cast<VertexBuffer*>(buffer.get())));
        EXPECT_EQ(accessor.data, buffer->bytes.data());
        EXPECT_EQ(accessor.fixed, c.fixed);
        EXPECT_EQ(accessor.fixedData != nullptr, c.fixed);
        EXPECT_EQ(accessor.floatData != nullptr, !c.fixed);
        EXPECT_EQ(accessor.colorData != nullptr, c.color);
        EXPECT_EQ(accessor.vertexSize, 4);
        EXPECT_EQ(accessor.elementOffsets[1], c.elements.begin()[0].second == VF::Format_COLOR ? 1 : 3);
        EXPECT_EQ(buffer->lastLockAccess, Buffer::Access_WRITE);
    }
}

TEST(VertexBufferAccessorTest, WritesFloatsFixedPointAndColours)
{
    using VF = VertexFormat;
    // 24 bytes: position at word 0, colour at word 3, texture coordinates at word 4.
    IntrusivePointer<VertexFormat> floatFormat = makeFormat(
        {{VF::Semantic_POSITION, 0x30006}, {VF::Semantic_COLOR, VF::Format_COLOR}, {VF::Semantic_TEXCOORD, 0x20006}});
    IntrusivePointer<MemoryBuffer> buffer = makeVertexBuffer(floatFormat, 2);
    {
        VertexBufferAccessor accessor(buffer.get(), Buffer::Access_WRITE);
        EXPECT_EQ(accessor.vertexSize, 6);
        EXPECT_EQ(accessor.elementOffsets[2], 4);
        accessor.set3(1, 0, 1.0f, -2.5f, 3.0f);
        accessor.setColor(1, 1, 0x11223344u);
        accessor.set(1, 2, core::math::Vector2(0.25f, 0.75f));
    }
    float floats[12];
    std::memcpy(floats, buffer->bytes.data(), sizeof(floats));
    EXPECT_EQ(floats[6], 1.0f);
    EXPECT_EQ(floats[7], -2.5f);
    EXPECT_EQ(floats[8], 3.0f);
    uint32_t color;
    std::memcpy(&color, buffer->bytes.data() + 36, 4);
    EXPECT_EQ(color, 0x11223344u);
    EXPECT_EQ(floats[10], 0.25f);
    EXPECT_EQ(floats[11], 0.75f);

    IntrusivePointer<VertexFormat> fixedFormat = makeFormat({{VF::Semantic_POSITION, 0x30005}});
    IntrusivePointer<MemoryBuffer> fixedBuffer = makeVertexBuffer(fixedFormat, 1);
    {
        VertexBufferAccessor accessor(fixedBuffer.get(), Buffer::Access_WRITE);
        accessor.set(0, 0, core::math::Vector3(1.5f, -1.5f, 0.00001f));
    }
    int32_t words[3];
    std::memcpy(words, fixedBuffer->bytes.data(), sizeof(words));
    EXPECT_EQ(words[0], 98304);
    // Truncated toward zero.
    EXPECT_EQ(words[1], -98304);
    EXPECT_EQ(words[2], 0);

    // Values that 16.16 cannot hold saturate instead of wrapping or trapping.
    {
        VertexBufferAccessor accessor(fixedBuffer.get(), Buffer::Access_WRITE);
        accessor.set3(0, 0, 40000.0f, -1e20f, std::numeric_limits<float>::quiet_NaN());
    }
    std::memcpy(words, fixedBuffer->bytes.data(), sizeof(words));
    EXPECT_EQ(words[0], INT32_MAX);
    EXPECT_EQ(words[1], INT32_MIN);
    EXPECT_EQ(words[2], 0);
}

TEST(VertexBufferAccessorTest, UnlocksOnceAndOnlyWhenLocked)
{
    IntrusivePointer<VertexFormat> format = makeFormat({{VertexFormat::Semantic_POSITION, 0x30006}});
    IntrusivePointer<MemoryBuffer> first = makeVertexBuffer(format, 1);
    IntrusivePointer<MemoryBuffer> second = makeVertexBuffer(format, 1);
    {
        VertexBufferAccessor accessor(first.get(), Buffer::Access_WRITE);
        // Locking again first unlocks the previous buffer.
        accessor.lock(static_cast<VertexBuffer*>(second.get()), format.get(), Buffer::Access_READ);
        EXPECT_EQ(first->unlocks, 1);
        accessor.unlock();
        EXPECT_EQ(second->unlocks, 1);
        EXPECT_EQ(accessor.buffer, nullptr);
        EXPECT_EQ(accessor.floatData, nullptr);
    }
    EXPECT_EQ(first->locks, 1);
    EXPECT_EQ(first->unlocks, 1);
    EXPECT_EQ(second->unlocks, 1);
    {
        VertexBufferAccessor accessor(first.get(), Buffer::Access_WRITE);
    }
    EXPECT_EQ(first->unlocks, 2);
    {
        VertexBufferAccessor unlocked(static_cast<VertexBuffer*>(nullptr), Buffer::Access_WRITE);
        EXPECT_EQ(unlocked.buffer, nullptr);
        unlocked.set3(0, 0, 1, 2, 3);
    }
}

TEST(VertexBufferAccessorTest, FormatsWithMoreElementsThanTheTableWriteNothingPastIt)
{
    IntrusivePointer<BackableVertexFormat> format(new BackableVertexFormat());
    for (int i = 0; i < 20; ++i) {
        format->addElement(VertexFormat::Semantic_TEXCOORD, i, 0x10006);
    }
    IntrusivePointer<MemoryBuffer> buffer = makeVertexBuffer(format, 1);
    VertexBufferAccessor accessor(buffer.get(), Buffer::Access_WRITE);
    EXPECT_EQ(accessor.vertexSize, 20);
    EXPECT_EQ(accessor.elementOffsets[15], 15);
    accessor.set2(0, 18, 1.0f, 2.0f);
    for (unsigned char byte : buffer->bytes) {
        EXPECT_EQ(byte, 0);
    }
}

TEST(IndexBufferAccessorTest, IndicesInTheBuffersWidth)
{
    struct Case
    {
        IndexBuffer::IndexFormat format;
        std::vector<unsigned char> expected;
    };
    const Case cases[] = {
        {IndexBuffer::IndexFormat_UINT8, {0x01, 0x34}},
        {IndexBuffer::IndexFormat_UINT16, {0x01, 0x00, 0x34, 0x12}},
        {IndexBuffer::IndexFormat_UINT32, {0x01, 0x00, 0x00, 0x00, 0x34, 0x12, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        IntrusivePointer<MemoryBuffer> buffer(new MemoryBuffer());
        buffer->create(Buffer::Usage_STATIC, Buffer::Access_WRITE, c.format, 2);
        {
            IndexBufferAccessor accessor(buffer.get(), Buffer::Access_WRITE);
            EXPECT_EQ(accessor.indexFormat, c.format);
            accessor.set(0, 1);
            accessor.set(1, 0x11234);
        }
        EXPECT_EQ(buffer->bytes, c.expected);
        EXPECT_EQ(buffer->unlocks, 1);
    }
    IndexBufferAccessor unlocked;
    EXPECT_EQ(unlocked.indexFormat, IndexBuffer::IndexFormat_UINT8);
    EXPECT_EQ(unlocked.data, nullptr);
}

TEST(IndexBufferAccessorTest, WidthsOtherThanOneTwoAndFourStayInsideTheBuffer)
{
    // Three bytes a slot cannot take a 32-bit index: the last one would reach past the buffer. Wider
    // slots take it at the start of the slot.
    struct Case
    {
        int format;
        std::vector<unsigned char> expected;
    };
    const Case cases[] = {
        {3, std::vector<unsigned char>(6, 0)},
        {8, {0x01, 0, 0, 0, 0, 0, 0, 0, 0x34, 0x12, 0x01, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        IntrusivePointer<MemoryBuffer> buffer(new MemoryBuffer());
        buffer->create(Buffer::Usage_STATIC, Buffer::Access_WRITE, static_cast<IndexBuffer::IndexFormat>(c.format), 2);
        IndexBufferAccessor accessor(buffer.get(), Buffer::Access_WRITE);
        accessor.set(0, 1);
        accessor.set(1, 0x11234);
        EXPECT_EQ(buffer->bytes, c.expected);
        EXPECT_EQ(accessor.get(1), c.format == 3 ? 0u : 0x11234u);
    }
}

} // namespace
} // namespace rezezaz::render

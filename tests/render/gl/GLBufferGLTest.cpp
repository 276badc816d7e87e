// OpenGL buffers: drawn through buffer objects and through local copies, mapped above 32 KiB, the
// local-copy rule, packed colours and the faults around locking and updating.
#include "support/gl/GLDrawFixture.h"

#include "core/ResourceDestroyedListener.h"

#include <cstring>
#include <vector>

using gltest::Quad;
using rezezaz::core::IntrusivePointer;
using namespace rezezaz::render;

namespace {

constexpr int POSITION = VertexFormat::Semantic_POSITION;
constexpr int COLOR = VertexFormat::Semantic_COLOR;
constexpr int FLOAT3 = VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3);

struct ColoredVertex
{
    float position[3];
    uint32_t color;
};

// The four corners of q in one colour (0xRRGGBBAA, as the engine writes colours).
std::vector<ColoredVertex> coloredQuad(const Quad& q, uint32_t color)
{
    std::vector<ColoredVertex> vertices(4);
    for (int i = 0; i < 4; ++i) {
        q.corner(i, vertices[static_cast<size_t>(i)].position);
        vertices[static_cast<size_t>(i)].color = color;
    }
    return vertices;
}

class Recorder : public rezezaz::core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(rezezaz::core::Resource* resource) override { told.push_back(resource); }
    std::vector<rezezaz::core::Resource*> told;
};

// Runs every test once with buffer objects and once with local copies only (option 4).
class GLBufferTest : public gltest::GLDrawFixture, public ::testing::WithParamInterface<int>
{
protected:
    int options() const override { return GetParam(); }
    bool hardware() const { return GetParam() == 0; }

    IntrusivePointer<VertexFormat> colorFormat() { return makeFormat({{POSITION, 0, FLOAT3}, {COLOR, 0, 8}}); }

    // Bytes of the buffer object.
    static std::vector<unsigned char> stored(GLBuffer* buffer)
    {
        std::vector<unsigned char> bytes(static_cast<size_t>(buffer->getDataSize()));
        glBindBuffer(buffer->getTarget(), buffer->getHandle());
        glGetBufferSubData(buffer->getTarget(), 0, buffer->getDataSize(), bytes.data());
        glBindBuffer(buffer->getTarget(), 0);
        return bytes;
    }
};

INSTANTIATE_TEST_SUITE_P(Storage, GLBufferTest, ::testing::Values(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 0 ? std::string("BufferObjects") : std::string("LocalCopies");
                         });

TEST_P(GLBufferTest, TrianglesReadBackForEveryIndexSize)
{
    auto format = colorFormat();
    // Left half red, right half green: the index buffer picks the second quad's vertices.
    std::vector<ColoredVertex> vertices = coloredQuad({-1, -1, 0, 1}, 0xFF0000FFu);
    const auto green = coloredQuad({0, -1, 1, 1}, 0x00FF00FFu);
    vertices.insert(vertices.end(), green.begin(), green.end());
    auto vertexBuffer = makeVertices(format, vertices.data(), 8);
    auto* glVertices = static_cast<GLBuffer*>(vertexBuffer.get());
    EXPECT_EQ(glVertices->getHandle() != 0, hardware());
    EXPECT_FALSE(glVertices->isMapped());
    IntrusivePointer<VertexData> vertexData = new VertexData(vertexBuffer);

    for (auto indexFormat : {IndexBuffer::IndexFormat_UINT8, IndexBuffer::IndexFormat_UINT16, IndexBuffer::IndexFormat_UINT32}) {
        SCOPED_TRACE(indexFormat);
        clear();
        auto indices = makeIndices(indexFormat, {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7});
        EXPECT_EQ(indices->getDataSize(), 12 * indexFormat);
        EXPECT_EQ(static_cast<GLBuffer*>(indices.get())->getTarget(), unsigned(GL_ELEMENT_ARRAY_BUFFER));
        EXPECT_EQ(static_cast<GLBuffer*>(indices.get())->getHandle() != 0, hardware());
        IntrusivePointer<IndexData> all = new IndexData(IndexData::Primitive_TRIANGLES, indices);
        device->renderPrimitive(vertexData.get(), all.get());
        EXPECT_EQ(pixel(80, 120), 0xFF0000u);
        EXPECT_EQ(pixel(240, 120), 0x00FF00u);

        // A range of the indices: only the second quad.
        clear();
        IntrusivePointer<IndexData> second = new IndexData(IndexData::Primitive_TRIANGLES, indices, 6, 6);
        device->renderPrimitive(vertexData.get(), second.get());
        EXPECT_EQ(pixel(80, 120), 0x000000u);
        EXPECT_EQ(pixel(240, 120), 0x00FF00u);
    }

    // Without an index buffer: the vertices in order, from the start.
    clear();
    IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 4, 4);
    device->renderPrimitive(vertexData.get(), fan.get());
    EXPECT_EQ(pixel(80, 120), 0x000000u);
    EXPECT_EQ(pixel(240, 120), 0x00FF00u);
}

TEST_P(GLBufferTest, BuffersAbove32KiBAreMappedWhenTheDeviceHasBufferObjects)
{
    auto format = colorFormat();
    const int count = 3000; // 48000 bytes
    IntrusivePointer<VertexBuffer> vertices = device->createVertexBuffer();
    vertices->create(1, 2, format, count);
    auto* glVertices = static_cast<GLBuffer*>(vertices.get());
    ASSERT_EQ(glVertices->isMapped(), hardware());
    EXPECT_EQ(glVertices->getLocalCopy() == nullptr, hardware());

    auto* data = reinterpret_cast<ColoredVertex*>(vertices->lock(2));
    ASSERT_NE(data, nullptr);
    if (hardware()) {
        GLint mapped = 0;
        GLint access = 0;
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_MAPPED, &mapped);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_ACCESS, &access);
        EXPECT_EQ(mapped, GL_TRUE);
        EXPECT_EQ(access, GL_WRITE_ONLY);
    }
    const auto quad = coloredQuad({-1, -1, 1, 1}, 0x0000FFFFu);
    for (int i = 0; i < count; ++i) {
        data[i] = quad[static_cast<size_t>(i % 4)];
    }
    EXPECT_TRUE(vertices->unlock());

    std::vector<uint32_t> list;
    for (int i = 0; i < 10000; ++i) {
        list.push_back(static_cast<uint32_t>(4 * (i % 8) + (i % 4 == 3 ? 0 : i % 4)));
    }
    auto indices = makeIndices(IndexBuffer::IndexFormat_UINT32, {0, 1, 2, 0, 2, 3});
    IntrusivePointer<IndexBuffer> big = device->createIndexBuffer();
    big->create(1, 2, IndexBuffer::IndexFormat_UINT32, 10000); // 40000 bytes
    EXPECT_EQ(static_cast<GLBuffer*>(big.get())->isMapped(), hardware());
    ASSERT_TRUE(big->update(reinterpret_cast<unsigned char*>(list.data()), 0, 40000));
    // The first six of the big buffer are the quad too.
    const uint32_t six[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_TRUE(big->update(reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(six)), 0, 24));

    IntrusivePointer<VertexData> vertexData = new VertexData(vertices);
    IntrusivePointer<IndexData> draw = new IndexData(IndexData::Primitive_TRIANGLES, big, 0, 6);
    device->renderPrimitive(vertexData.get(), draw.get());
    EXPECT_EQ(pixel(160, 120), 0x0000FFu);
}

TEST_P(GLBufferTest, LocalCopyStaysUnlessStaticWriteOnlyWithABufferObject)
{
    struct Case
    {
        int usage;
        int access;
        bool keptWithBufferObject;
    } cases[] = {
        {1, 2, false}, {1, 3, true}, {1, 1, true}, {2, 2, true}, {4, 2, true}, {8, 2, false},
    };
    auto format = colorFormat();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "usage " << c.usage << " access " << c.access);
        const auto quad = coloredQuad({-1, -1, 1, 1}, 0x123456FFu);
        auto buffer = makeVertices(format, quad.data(), 4, c.usage, c.access);
        auto* glBuffer = static_cast<GLBuffer*>(buffer.get());
        EXPECT_EQ(glBuffer->getLocalCopy() != nullptr, c.keptWithBufferObject || !hardware());
        // A read-only lock uploads nothing: what is written through it does not reach OpenGL.
        if (hardware()) {
            const auto before = stored(glBuffer);
            unsigned char* bytes = buffer->lock(1);
            ASSERT_NE(bytes, nullptr);
            bytes[0] ^= 0xFF;
            buffer->unlock();
            EXPECT_EQ(stored(glBuffer), before);
        }
    }
}

TEST_P(GLBufferTest, ReadLockAfterTheCopyWasFreedShowsTheContents)
{
    auto format = colorFormat();
    const auto quad = coloredQuad({-0.5f, -0.5f, 0.5f, 0.5f}, 0xA0B0C0FFu);
    auto buffer = makeVertices(format, quad.data(), 4, 1, 2);
    // Read every frame (as skinning does): the contents each time, the colours in the engine's order.
    for (int frame = 0; frame < 2; ++frame) {
        const auto* read = reinterpret_cast<const ColoredVertex*>(buffer->lock(1));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(std::memcmp(read, quad.data(), sizeof(ColoredVertex) * 4), 0) << "frame " << frame;
        buffer->unlock();
    }
    // A partial write after the copy was freed keeps the rest of the buffer.
    auto other = makeVertices(format, quad.data(), 4, 1, 2);
    auto* bytes = reinterpret_cast<ColoredVertex*>(other->lock(2));
    ASSERT_NE(bytes, nullptr);
    bytes[1].color = 0x000000FFu;
    other->unlock();
    const auto* read = reinterpret_cast<const ColoredVertex*>(other->lock(1));
    EXPECT_EQ(read[0].color, 0xA0B0C0FFu);
    EXPECT_EQ(read[1].color, 0x000000FFu);
    EXPECT_EQ(std::memcmp(read[3].position, quad[3].position, sizeof(quad[3].position)), 0);
    other->unlock();
}

TEST_P(GLBufferTest, PackedColoursAreStoredInOpenGLOrderAndShownReversed)
{
    auto format = colorFormat();
    for (int count : {4, 3000}) { // copied and, with buffer objects, mapped
        SCOPED_TRACE(count);
        IntrusivePointer<VertexBuffer> buffer = device->createVertexBuffer();
        buffer->create(4, 3, format, count);
        auto* glBuffer = static_cast<GLBuffer*>(buffer.get());
        auto* vertices = reinterpret_cast<ColoredVertex*>(buffer->lock(2));
        ASSERT_NE(vertices, nullptr);
        const auto quad = coloredQuad({-1, -1, 1, 1}, 0x11223344u);
        for (int i = 0; i < count; ++i) {
            vertices[i] = quad[static_cast<size_t>(i % 4)];
        }
        buffer->unlock();
        const unsigned char expected[4] = {0x11, 0x22, 0x33, 0x44};
        if (glBuffer->getHandle() != 0) {
            const auto bytes = stored(glBuffer);
            EXPECT_EQ(std::memcmp(bytes.data() + 12, expected, 4), 0);
            EXPECT_EQ(std::memcmp(bytes.data() + 16 * (count - 1) + 12, expected, 4), 0);
        } else {
            EXPECT_EQ(std::memcmp(glBuffer->getLocalCopy() + 12, expected, 4), 0);
        }
        const auto* read = reinterpret_cast<const ColoredVertex*>(buffer->lock(1));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read[0].color, 0x11223344u);
        EXPECT_EQ(read[count - 1].color, 0x11223344u);
        buffer->unlock();

        // While mapped, an update is refused rather than lost; after the unlock it is taken.
        if (glBuffer->isMapped()) {
            ASSERT_NE(buffer->lock(2), nullptr);
            unsigned char four[4] = {1, 2, 3, 4};
            EXPECT_FALSE(buffer->update(four, 0, 4));
            EXPECT_TRUE(buffer->unlock());
            EXPECT_TRUE(buffer->update(four, 0, 4));
            const auto bytes = stored(glBuffer);
            EXPECT_EQ(std::memcmp(bytes.data(), four, 4), 0);
        }
        // A lock without access maps nothing: null, and neither it nor its unlock turns colours.
        if (glBuffer->isMapped()) {
            EXPECT_EQ(buffer->lock(0), nullptr);
            EXPECT_TRUE(buffer->unlock());
            const auto bytes = stored(glBuffer);
            EXPECT_EQ(std::memcmp(bytes.data() + 12, expected, 4), 0);
        }
    }
    // Drawn, the colour is what the engine wrote.
    const auto quad = coloredQuad({-1, -1, 1, 1}, 0x00FF00FFu);
    auto buffer = makeVertices(format, quad.data(), 4);
    IntrusivePointer<VertexData> vertexData = new VertexData(buffer);
    IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4);
    device->renderPrimitive(vertexData.get(), fan.get());
    EXPECT_EQ(pixel(160, 120), 0x00FF00u);
}

TEST_P(GLBufferTest, UpdatedColoursAreStoredAsALockStoresThem)
{
    auto format = colorFormat();
    for (int count : {4, 3000}) { // copied and, with buffer objects, mapped
        SCOPED_TRACE(count);
        IntrusivePointer<VertexBuffer> buffer = device->createVertexBuffer();
        buffer->create(1, 2, format, count);
        std::vector<ColoredVertex> vertices(static_cast<size_t>(count));
        const auto quad = coloredQuad({-1, -1, 1, 1}, 0xFFFF00FFu);
        for (int i = 0; i < count; ++i) {
            vertices[static_cast<size_t>(i)] = quad[static_cast<size_t>(i % 4)];
        }
        // Written in two parts; the cut runs through the third vertex's colour, which the second
        // part then writes whole.
        auto* bytes = reinterpret_cast<unsigned char*>(vertices.data());
        const int total = count * 16;
        EXPECT_TRUE(buffer->update(bytes, 0, 2 * 16 + 14));
        EXPECT_TRUE(buffer->update(bytes + 2 * 16 + 12, 2 * 16 + 12, total - (2 * 16 + 12)));
        // Drawn, the quad is the engine's yellow, not its byte reversal.
        clear();
        IntrusivePointer<VertexData> vertexData = new VertexData(buffer);
        IntrusivePointer<IndexData> fan = new IndexData(IndexData::Primitive_TRIANGLE_FAN, nullptr, 0, 4);
        device->renderPrimitive(vertexData.get(), fan.get());
        EXPECT_EQ(pixel(160, 120), 0xFFFF00u);
        // A reader sees what was written.
        const auto* read = reinterpret_cast<const ColoredVertex*>(buffer->lock(1));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read[2].color, 0xFFFF00FFu);
        EXPECT_EQ(read[count - 1].color, 0xFFFF00FFu);
        buffer->unlock();
    }
}

TEST_P(GLBufferTest, UpdateWritesInRangeAndRefusesOutside)
{
    IntrusivePointer<IndexBuffer> buffer = device->createIndexBuffer();
    buffer->create(1, 2, IndexBuffer::IndexFormat_UINT16, 8);
    unsigned char* first = buffer->lock(2);
    std::memset(first, 0, 16);
    buffer->unlock();
    auto* glBuffer = static_cast<GLBuffer*>(buffer.get());
    // With buffer objects the static write-only copy is gone now: the bytes go straight up.
    EXPECT_EQ(glBuffer->getLocalCopy() == nullptr, hardware());
    unsigned char bytes[4] = {1, 2, 3, 4};
    struct Case
    {
        int start;
        int size;
        bool accepted;
    } cases[] = {{0, 4, true}, {12, 4, true}, {13, 4, false}, {-1, 2, false}, {0, 17, false}, {16, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << "+" << c.size);
        EXPECT_EQ(buffer->update(bytes, c.start, c.size), c.accepted);
    }
    const unsigned char* read = buffer->lock(1);
    ASSERT_NE(read, nullptr);
    const unsigned char expected[16] = {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(read, expected, 16), 0);
    buffer->unlock();
}

TEST_P(GLBufferTest, SizesThatDoNotFitAreRefusedAndTheBufferKept)
{
    IntrusivePointer<IndexBuffer> indices = device->createIndexBuffer();
    ASSERT_TRUE(indices->create(1, 2, IndexBuffer::IndexFormat_UINT16, 8));
    IntrusivePointer<VertexBuffer> vertices = device->createVertexBuffer();
    IntrusivePointer<VertexFormat> format = makeFormat({{POSITION, 0, FLOAT3}});
    ASSERT_TRUE(vertices->create(1, 2, format, 4));
    struct Case
    {
        IndexBuffer::IndexFormat indexFormat;
        int count;
    } indexCases[] = {{IndexBuffer::IndexFormat_UINT32, 0x40000001}, {IndexBuffer::IndexFormat_UINT16, 0x40000000},
                      {IndexBuffer::IndexFormat_UINT16, -1}, {IndexBuffer::IndexFormat_UINT32, INT32_MIN}};
    for (const Case& c : indexCases) {
        EXPECT_FALSE(indices->create(1, 2, c.indexFormat, c.count)) << c.count;
    }
    for (int count : {0x0AAAAAAB, -1, INT32_MAX}) {
        EXPECT_FALSE(vertices->create(1, 2, format, count)) << count;
    }
    EXPECT_EQ(indices->getSize(), 8);
    EXPECT_EQ(static_cast<GLBuffer*>(indices.get())->getDataSize(), 16);
    EXPECT_EQ(vertices->getSize(), 4);
    EXPECT_EQ(static_cast<GLBuffer*>(vertices.get())->getDataSize(), 48);
}

TEST_P(GLBufferTest, CreatingAgainFreesTheOldBufferWithoutTellingTheListener)
{
    auto format = colorFormat();
    Recorder listener;
    IntrusivePointer<VertexBuffer> buffer = device->createVertexBuffer();
    buffer->setDestroyedListener(&listener);
    auto* glBuffer = static_cast<GLBuffer*>(buffer.get());
    buffer->create(1, 3, format, 4);
    const GLuint first = glBuffer->getHandle();
    buffer->create(1, 3, format, 8);
    EXPECT_EQ(glBuffer->getNumElementPointers(), 2);
    EXPECT_EQ(buffer->getDataSize(), 8 * 16);
    if (hardware()) {
        EXPECT_NE(glBuffer->getHandle(), 0u);
        EXPECT_TRUE(first == glBuffer->getHandle() || glIsBuffer(first) == GL_FALSE);
    }
    EXPECT_TRUE(listener.told.empty());

    // destroy tells the listener with the interface of the buffer's kind.
    buffer->destroy();
    ASSERT_EQ(listener.told.size(), 1u);
    EXPECT_EQ(listener.told[0], static_cast<rezezaz::core::Resource*>(static_cast<VertexBuffer*>(glBuffer)));
    EXPECT_EQ(glBuffer->getHandle(), 0u);
    EXPECT_EQ(glBuffer->getLocalCopy(), nullptr);

    IntrusivePointer<IndexBuffer> indices = device->createIndexBuffer();
    indices->create(1, 2, IndexBuffer::IndexFormat_UINT16, 4);
    indices->setDestroyedListener(&listener);
    indices->destroy();
    ASSERT_EQ(listener.told.size(), 2u);
    EXPECT_EQ(listener.told[1], static_cast<rezezaz::core::Resource*>(indices.get()));
}

TEST_P(GLBufferTest, MadeAgainAsAnotherKindItKeepsNothingOfTheFirst)
{
    // A vertex buffer of 100 vertices with a packed colour, made again as a 2 x 2 pixel buffer: its
    // lock must not reverse colours over 100 vertices of the bytes of four pixels.
    IntrusivePointer<VertexBuffer> vertices = device->createVertexBuffer();
    auto* glBuffer = static_cast<GLBuffer*>(vertices.get());
    ASSERT_TRUE(vertices->create(2, 3, colorFormat(), 100));
    PixelBuffer* pixels = glBuffer;
    ASSERT_TRUE(pixels->create(2, 3, new TextureFormat(2, TextureFormat::Format_RGBA_8, 2, 2, 1, 1)));
    EXPECT_FALSE(glBuffer->getVertexFormat());
    EXPECT_EQ(glBuffer->getSize(), 0);
    EXPECT_EQ(glBuffer->getNumElementPointers(), 0);
    EXPECT_EQ(glBuffer->resourceThis(), static_cast<rezezaz::core::Resource*>(pixels));
    const unsigned char bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    unsigned char* data = pixels->lock(Buffer::Access_WRITE);
    ASSERT_NE(data, nullptr);
    std::memcpy(data, bytes, sizeof(bytes));
    EXPECT_TRUE(pixels->unlock());
    data = pixels->lock(Buffer::Access_READ);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::memcmp(data, bytes, sizeof(bytes)), 0);
    EXPECT_TRUE(pixels->unlock());

    // And an index buffer made again as a vertex buffer is a vertex buffer.
    IntrusivePointer<IndexBuffer> indices = device->createIndexBuffer();
    auto* indexBuffer = static_cast<GLBuffer*>(indices.get());
    ASSERT_TRUE(indices->create(1, 2, IndexBuffer::IndexFormat_UINT16, 4));
    VertexBuffer* asVertices = indexBuffer;
    ASSERT_TRUE(asVertices->create(1, 2, colorFormat(), 4));
    EXPECT_EQ(indexBuffer->getIndexFormat(), 0);
    EXPECT_EQ(indexBuffer->getTarget(), static_cast<unsigned int>(GL_ARRAY_BUFFER));
    EXPECT_EQ(indexBuffer->resourceThis(), static_cast<rezezaz::core::Resource*>(asVertices));
}

TEST(GLBufferUsage, EveryUsageGetsAValidHint)
{
    struct Case
    {
        int usage;
        int access;
        unsigned int hint;
    } cases[] = {
        {1, 2, GL_STATIC_DRAW},  {1, 3, GL_STATIC_DRAW},   {1, 1, GL_STATIC_READ},  {1, 0, GL_STATIC_COPY},
        {2, 2, GL_STREAM_DRAW},  {2, 1, GL_STREAM_READ},   {2, 0, GL_STREAM_COPY},  {4, 2, GL_DYNAMIC_DRAW},
        {4, 1, GL_DYNAMIC_READ}, {8, 0, GL_DYNAMIC_COPY},
        // Combinations outside the table: dynamic wins over stream, stream over static.
        {3, 2, GL_STREAM_DRAW},  {5, 2, GL_DYNAMIC_DRAW},  {6, 1, GL_DYNAMIC_READ}, {7, 2, GL_DYNAMIC_DRAW},
        {0, 2, GL_STATIC_DRAW},  {16, 0, GL_STATIC_COPY},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GLBuffer::getGLUsage(c.usage, c.access), c.hint) << "usage " << c.usage << " access " << c.access;
    }
}

} // namespace

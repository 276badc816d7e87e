#include "render/BackableVertexFormat.h"

#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "core/ResourceDestroyedListener.h"
#include "core/String.h"

#include <gtest/gtest.h>

#include <vector>

namespace rezezaz::render {
namespace {

using core::IntrusivePointer;
using core::String;

TEST(VertexFormatTest, ElementSizes)
{
    struct Case
    {
        int format;
        int size;
    };
    const Case cases[] = {
        {VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3), 12},
        {VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 2), 8},
        {VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 0), 4},
        {VertexFormat::makeFormat(VertexFormat::Type_UINT8, 4), 4},
        {VertexFormat::makeFormat(VertexFormat::Type_INT8, 3), 3},
        {VertexFormat::makeFormat(VertexFormat::Type_INT16, 2), 4},
        {VertexFormat::makeFormat(VertexFormat::Type_INT32, 4), 16},
        {VertexFormat::makeFormat(VertexFormat::Type_FIXED32, 3), 12},
        {VertexFormat::makeFormat(VertexFormat::Type_FLOAT64, 3), 24},
        {VertexFormat::Format_COLOR, 4},
        // Only the whole code 8 is a colour: type 8 with a count is no known type.
        {0x40008, 0},
        {0x30009, 0},
        {0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VertexFormat::getFormatSize(c.format), c.size) << std::hex << c.format;
    }
    EXPECT_EQ(VertexFormat::makeFormat(VertexFormat::Type_FLOAT32, 3), 0x30006);
}

TEST(VertexFormatTest, StandardFormatOffsets)
{
    IntrusivePointer<BackableVertexFormat> format(new BackableVertexFormat());
    format->addElement(VertexFormat::Semantic_POSITION, 0, 0x30006);
    format->addElement(VertexFormat::Semantic_NORMAL, 0, 0x30006);
    format->addElement(VertexFormat::Semantic_COLOR, 0, VertexFormat::Format_COLOR);
    format->addElement(VertexFormat::Semantic_TEXCOORD, 0, 0x20006);

    ASSERT_EQ(format->getNumElements(), 4);
    const int offsets[] = {0, 12, 24, 28};
    const char* names[] = {"POSITION", "NORMAL", "COLOR", "TEXCOORD"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(format->getElementOffset(i), offsets[i]);
        EXPECT_STREQ(format->getElementName(i).c_str(), names[i]);
    }
    EXPECT_EQ(format->getVertexSize(), 36);
    EXPECT_EQ(format->findElement(VertexFormat::Semantic_COLOR), 2);
    EXPECT_EQ(format->findElement(String("TEXCOORD")), 3);
    EXPECT_EQ(format->findElement(VertexFormat::Semantic_BLEND_WEIGHTS), -1);
    EXPECT_EQ(format->findElement(String("weights")), -1);
}

TEST(VertexFormatTest, ElementsByNameAndBySemanticAgree)
{
    IntrusivePointer<BackableVertexFormat> format(new BackableVertexFormat());
    format->addElement(String("TEXCOORD"), 1, 0x20006);
    format->addElement(VertexFormat::Semantic_TEXCOORD, 1, 0x20006);
    format->addElement(String("weights"), 0, 0x40006);
    // An unknown type takes no room.
    format->addElement(VertexFormat::Semantic_BLEND_INDICES, 0, 0x40009);

    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(format->getElementSemantic(i), VertexFormat::Semantic_TEXCOORD);
        EXPECT_STREQ(format->getElementName(i).c_str(), "TEXCOORD");
        EXPECT_EQ(format->getElementIndex(i), 1);
        EXPECT_EQ(format->getElementFormat(i), 0x20006);
    }
    EXPECT_EQ(format->getElementSemantic(2), VertexFormat::Semantic_UNKNOWN);
    EXPECT_STREQ(format->getElementName(2).c_str(), "weights");
    EXPECT_EQ(format->getElementOffset(3), 32);
    EXPECT_EQ(format->getVertexSize(), 32);

    EXPECT_EQ(BackableVertexFormat::getSemanticFromName(String("BLEND_INDICES")), 2);
    EXPECT_EQ(BackableVertexFormat::getSemanticFromName(String("position")), -1);
    EXPECT_STREQ(BackableVertexFormat::getNameFromSemantic(1).c_str(), "BLEND_WEIGHTS");
    EXPECT_EQ(BackableVertexFormat::getNameFromSemantic(6).length(), 0);
    EXPECT_EQ(BackableVertexFormat::getNameFromSemantic(-1).length(), 0);
}

class DestroyRecorder : public core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(core::Resource* resource) override { told.push_back(resource); }
    std::vector<core::Resource*> told;
};

TEST(VertexFormatTest, BackableFormatReplaysOntoItsBack)
{
    IntrusivePointer<BackableVertexFormat> format(new BackableVertexFormat());
    format->addElement(VertexFormat::Semantic_POSITION, 0, 0x30006);
    format->addElement(String("weights"), 0, 0x40006);
    EXPECT_EQ(format->getRootVertexFormat(), nullptr);
    EXPECT_TRUE(format->create());

    DestroyRecorder recorder;
    IntrusivePointer<BackableVertexFormat> first(new BackableVertexFormat());
    first->setDestroyedListener(&recorder);
    format->setBack(first);
    EXPECT_EQ(format->getRootVertexFormat(), first.get());
    // Names do not reach the device: the name-only element arrives without one.
    ASSERT_EQ(first->getNumElements(), 2);
    EXPECT_EQ(first->getElementSemantic(1), VertexFormat::Semantic_UNKNOWN);
    EXPECT_EQ(first->getElementName(1).length(), 0);
    EXPECT_EQ(first->getVertexSize(), 28);

    // An element added later goes to the back with its semantic resolved from its name.
    format->addElement(String("COLOR"), 0, VertexFormat::Format_COLOR);
    ASSERT_EQ(first->getNumElements(), 3);
    EXPECT_EQ(first->getElementSemantic(2), VertexFormat::Semantic_COLOR);

    // Setting the same back again keeps it as it is; a different one destroys the old.
    format->setBack(first);
    EXPECT_TRUE(recorder.told.empty());
    EXPECT_EQ(first->getNumElements(), 3);
    EXPECT_EQ(first->getVertexSize(), 32);
    DestroyRecorder secondRecorder;
    IntrusivePointer<BackableVertexFormat> second(new BackableVertexFormat());
    second->setDestroyedListener(&secondRecorder);
    format->setBack(second);
    ASSERT_EQ(recorder.told.size(), 1u);
    EXPECT_EQ(second->getNumElements(), 3);
    EXPECT_EQ(second->getVertexSize(), 32);

    // Destroying the backable format destroys its back, then tells its own listener.
    DestroyRecorder formatRecorder;
    format->setDestroyedListener(&formatRecorder);
    format->destroy();
    EXPECT_EQ(secondRecorder.told.size(), 1u);
    EXPECT_EQ(formatRecorder.told.size(), 1u);
    EXPECT_EQ(format->getBack(), nullptr);
    EXPECT_EQ(format->getRootVertexFormat(), nullptr);
}

TEST(VertexFormatTest, EmptyBackDestroysTheHeldOne)
{
    IntrusivePointer<BackableVertexFormat> format(new BackableVertexFormat());
    DestroyRecorder recorder;
    IntrusivePointer<BackableVertexFormat> back(new BackableVertexFormat());
    back->setDestroyedListener(&recorder);
    format->setBack(back);
    format->setBack(nullptr);
    EXPECT_EQ(recorder.told.size(), 1u);
    EXPECT_EQ(format->getBack(), nullptr);
}

} // namespace
} // namespace rezezaz::render

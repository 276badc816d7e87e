#include "render/VariableBufferFormat.h"

#include "core/Exception.h"
#include "core/IntrusivePointer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rezezaz::render {
namespace {

using core::SharedPointer;
using core::String;
using Variable = VariableBufferFormat::Variable;

SharedPointer<Variable> makeVariable(const char* name, int index, int members = 0)
{
    SharedPointer<Variable> variable(new Variable());
    variable->name = String(name);
    variable->index = index;
    variable->structVariables.resize(members);
    return variable;
}

TEST(VariableBufferFormatTest, FormatSizesAndShapes)
{
    struct Case
    {
        int format;
        int size;
        int rows;
        int columns;
    };
    const Case cases[] = {
        {0x106, 16, 0, 0}, {0x206, 16, 0, 0}, {0x406, 16, 0, 0},  {0x506, 32, 2, 2},  {0x606, 32, 2, 3},
        {0x706, 32, 2, 4}, {0x806, 48, 3, 2}, {0x906, 48, 3, 3},  {0xA06, 48, 3, 4},  {0xB06, 64, 4, 2},
        {0xC06, 64, 4, 3}, {0xD06, 64, 4, 4}, {0xD07, 128, 4, 4}, {0x104, 16, 0, 0},  {0x101, 4, 0, 0},
        {0x102, 4, 0, 0},  {0x103, 8, 0, 0},  {0x105, 16, 0, 0},  {9, 0, 0, 0},       {0x109, 0, 0, 0},
        {8, 4, 0, 0},      {0x108, 0, 0, 0},  {6, 4, 0, 0},      {0xE06, 4, 0, 0},   {0x10000906, 48, 3, 3},
        // The transpose flag and a transform selector leave the size alone.
        {static_cast<int>(0x80030D06u), 64, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.format);
        EXPECT_EQ(VariableBufferFormat::getFormatSize(c.format), c.size);
        EXPECT_EQ(VariableBufferFormat::getFormatRows(c.format), c.rows);
        EXPECT_EQ(VariableBufferFormat::getFormatColumns(c.format), c.columns);
    }
    EXPECT_TRUE(VariableBufferFormat::getFormatTranspose(static_cast<int>(0x80000D06u)));
    EXPECT_EQ(VariableBufferFormat::getFormatTransform(0x30D06), 3);
}

TEST(VariableBufferFormatTest, CompileFlattensDepthFirstAndSortsByIndex)
{
    core::IntrusivePointer<VariableBufferFormat> format(new VariableBufferFormat(false, String("Lights"), 256, 3));
    EXPECT_FALSE(format->getPrimary());
    EXPECT_EQ(format->getDataSize(), 256);
    ASSERT_EQ(format->getStructVariable()->structVariables.size(), 3);

    SharedPointer<Variable> light = makeVariable("light", 5, 2);
    light->structVariables[0] = makeVariable("position", 7);
    light->structVariables[1] = makeVariable("color", 1);
    format->setStructVariable(0, makeVariable("ambient", 2));
    format->setStructVariable(1, light);
    format->setStructVariable(2, makeVariable("count", 9));
    EXPECT_THROW(format->setStructVariable(3, makeVariable("extra", 0)), core::Exception);
    EXPECT_THROW(format->setStructVariable(-1, makeVariable("extra", 0)), core::Exception);

    format->compile();
    EXPECT_STREQ(format->getStructVariable()->name.c_str(), "Lights");
    std::vector<std::string> order;
    for (int i = 0; i < format->getNumVariables(); ++i) {
        order.push_back(format->getVariable(i)->name.c_str());
        EXPECT_STREQ(format->getVariable(i)->fullName.c_str(), format->getVariable(i)->name.c_str());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"color", "ambient", "light", "position", "count"}));

    // Compiling again gives the same list, not a longer one.
    format->compile();
    EXPECT_EQ(format->getNumVariables(), 5);
}

TEST(VariableBufferFormatTest, SortKeepsEqualIndexesAsTheExchangeLeavesThem)
{
    // Exchange sort, as the programs rely on: 5 2 9 gives 2 5 9; equal entries are never swapped
    // with each other, so the first of two equal ones found at a position stays there.
    core::IntrusivePointer<VariableBufferFormat> format(new VariableBufferFormat(true, String(), 0, 4));
    format->setStructVariable(0, makeVariable("a", 3));
    format->setStructVariable(1, makeVariable("b", 1));
    format->setStructVariable(2, makeVariable("c", 3));
    format->setStructVariable(3, makeVariable("d", 1));
    format->compile();
    std::string order;
    for (int i = 0; i < format->getNumVariables(); ++i) {
        order += format->getVariable(i)->name.c_str();
    }
    EXPECT_EQ(order, "bdca");
}

TEST(VariableBufferFormatTest, TextDump)
{
    EXPECT_STREQ(VariableBufferFormat::toString(makeVariable("color", 3), String()).c_str(), "color:3\n");

    SharedPointer<Variable> root = makeVariable("block", 0, 2);
    root->structVariables[0] = makeVariable("inner", 4, 1);
    root->structVariables[0]->structVariables[0] = makeVariable("leaf", -1);
    root->structVariables[1] = makeVariable("last", 12);
    EXPECT_STREQ(VariableBufferFormat::toString(root, String("  ")).c_str(),
                 "  block:0\n  \tinner:4\n  \t\tleaf:-1\n  \tlast:12\n");
}

} // namespace
} // namespace rezezaz::render

#include "render/BlendState.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderCaps.h"

#include <gtest/gtest.h>

namespace rezezaz::render {
namespace {

TEST(RenderCapsTest, FreshRecordIsZeroExceptFloatVertexElements)
{
    RenderCaps caps;
    EXPECT_EQ(caps.vertexElementType, 6);
}

} // namespace
} // namespace rezezaz::render

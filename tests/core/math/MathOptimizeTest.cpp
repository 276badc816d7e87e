// Math::optimize: which kernels it installs for each mode and processor, and what it logs.

#include "core/Categories.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/LoggerListener.h"
#include "core/PosixSystem.h"
#include "core/SystemCaps.h"
#include "core/math/Math.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using namespace rezezaz::core;
using namespace rezezaz::core::math;

struct Entry
{
    std::string category;
    Logger::Level level;
    std::string text;
};

class RecordingListener : public LoggerListener
{
public:
    void addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long,
                     const String& text) override
    {
        entries.push_back({category ? category->getName().c_str() : "", level, text.c_str()});
    }
    void flush() override {}

    const Entry* find(const std::string& prefix) const
    {
        for (const Entry& e : entries) {
            if (e.text.compare(0, prefix.size(), prefix) == 0) {
                return &e;
            }
        }
        return nullptr;
    }

    std::vector<Entry> entries;
};

class MathOptimizeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        logger = Log::getInstance();
        logger->addLoggerListener(&listener);
    }

    void TearDown() override
    {
        logger->removeLoggerListener(&listener);
        logger->setMasterReportingLevel(Logger::ALL);
        PosixSystem::setSystemCapsOverride(nullptr);
        Math::init();
    }

    void optimizeWith(int mode, uint32_t sseLevel)
    {
        SystemCaps caps;
        caps.sseLevel = sseLevel;
        PosixSystem::setSystemCapsOverride(&caps);
        Math::optimize(mode);
    }

    static bool matrixKernelsAre(bool sse)
    {
        return mulMatrix4x4 == (sse ? mulMatrix4x4SSE : mulMatrix4x4Traditional) &&
               postMulMatrix4x4 == (sse ? postMulMatrix4x4SSE : postMulMatrix4x4Traditional) &&
               preMulMatrix4x4 == (sse ? preMulMatrix4x4SSE : preMulMatrix4x4Traditional);
    }

    static bool vectorKernelsAre(bool sse)
    {
        return mulVector4Matrix4x4Vector4 ==
                   (sse ? mulVector4Matrix4x4Vector4SSE : mulVector4Matrix4x4Vector4Traditional) &&
               mulVector4Matrix4x4 == (sse ? mulVector4Matrix4x4SSE : mulVector4Matrix4x4Traditional);
    }

    Logger* logger = nullptr;
    RecordingListener listener;
};

TEST_F(MathOptimizeTest, KernelsStartTraditional)
{
    EXPECT_TRUE(matrixKernelsAre(false));
    EXPECT_TRUE(vectorKernelsAre(false));
}

TEST_F(MathOptimizeTest, ForcedModesFollowTheProcessor)
{
    struct Case
    {
        int mode;
        uint32_t sseLevel;
        bool sse;
        const char* message;
    };
    const Case cases[] = {
        {1, 1, true, "forcing SSE math"},           {1, 4, true, "forcing SSE math"},
        {1, 0, false, "forcing Traditional math"},  {2, 4, false, "forcing Traditional math"},
        {-1, 2, false, "forcing Traditional math"}, {0, 0, false, "forcing Traditional math"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", SSE level " + std::to_string(c.sseLevel));
        // Start from the other family so that a kernel left unchanged shows.
        if (c.sse) {
            Math::init();
        } else {
            optimizeWith(1, 2);
        }
        listener.entries.clear();
        optimizeWith(c.mode, c.sseLevel);
        EXPECT_TRUE(matrixKernelsAre(c.sse));
        EXPECT_TRUE(vectorKernelsAre(c.sse));
        const Entry* choice = listener.find(c.message);
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->level, Logger::EXCESS);
        EXPECT_EQ(choice->category, "rezezaz.core");
        EXPECT_EQ(listener.find("Timings - "), nullptr);
    }
}

TEST_F(MathOptimizeTest, ReportsTheDetectedCapabilities)
{
    optimizeWith(1, 3);
    const Entry* sse = listener.find("Detected SSE version:");
    ASSERT_NE(sse, nullptr);
    EXPECT_EQ(sse->text, "Detected SSE version:3");
    EXPECT_EQ(sse->level, Logger::ALERT);
    EXPECT_EQ(sse->category, "rezezaz.core");
    const Entry* neon = listener.find("Detected NEON version:");
    ASSERT_NE(neon, nullptr);
    EXPECT_EQ(neon->text, "Detected NEON version:0");
}

// The timing itself is not under test; the choice must follow the logged timings, and each
// kernel group must come from one implementation.
TEST_F(MathOptimizeTest, TimedChoiceFollowsTheLoggedTimings)
{
    optimizeWith(0, 2);
    const Entry* timings = listener.find("Timings - ");
    ASSERT_NE(timings, nullptr);
    EXPECT_EQ(timings->level, Logger::ALERT);
    std::smatch match;
    const std::regex pattern("Timings - MatrixTraditional:(\\d+) MatrixSSE:(\\d+) "
                             "VectorTraditional:(\\d+) VectorSSE:(\\d+)");
    ASSERT_TRUE(std::regex_match(timings->text, match, pattern)) << timings->text;
    const bool matrixSSE = !(std::stoull(match[1]) < std::stoull(match[2]));
    const bool vectorSSE = !(std::stoull(match[3]) < std::stoull(match[4]));
    EXPECT_TRUE(matrixKernelsAre(matrixSSE));
    EXPECT_TRUE(vectorKernelsAre(vectorSSE));
    EXPECT_NE(listener.find(matrixSSE ? "using SSE Matrix4x4 math" : "using Traditional Matrix4x4 math"),
              nullptr);
    EXPECT_NE(listener.find(vectorSSE ? "using SSE Vector4 math" : "using Traditional Vector4 math"),
              nullptr);
}

TEST_F(MathOptimizeTest, ChoiceLinesNeedTheExcessLevel)
{
    logger->setMasterReportingLevel(Logger::DEBUG);
    listener.entries.clear();
    optimizeWith(1, 2);
    EXPECT_TRUE(matrixKernelsAre(true));
    EXPECT_NE(listener.find("Detected SSE version:"), nullptr);
    EXPECT_EQ(listener.find("forcing SSE math"), nullptr);

    logger->setMasterReportingLevel(Logger::WARNING);
    listener.entries.clear();
    optimizeWith(2, 2);
    EXPECT_TRUE(matrixKernelsAre(false));
    EXPECT_EQ(listener.find("Detected SSE version:"), nullptr);
}

} // namespace

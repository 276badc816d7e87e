#include "core/Log.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>

using rezezaz::core::Log;
using rezezaz::core::Logger;
using support::LogCapture;

TEST(LogTest, DestroyLeavesALoggerThatStartsAfresh)
{
    Log::destroy();
    Log::destroy(); // nothing to destroy: no harm

    Logger* first = Log::getInstance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Log::getInstance(), first);
    Log::initialize(false); // exists already: nothing happens
    EXPECT_EQ(Log::getInstance(), first);
    first->setMasterReportingLevel(2);
    first->setCategoryReportingLevel("vant.ant", 1);

    testing::internal::CaptureStdout();
    Log::destroy();
    Logger* second = Log::getInstance();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(second->getMasterReportingLevel(), 6);
    EXPECT_EQ(second->getCategoryReportingLevel("vant.ant"), 6);
    Log::destroy();
}

TEST(LogTest, LevelShortcutsLogWithoutCategoryWhenTheMasterAdmitsThem)
{
    LogCapture log;
    Logger* logger = Log::getInstance();
    testing::internal::CaptureStdout();
    logger->setMasterReportingLevel(3);
    Log::error("e");
    Log::warning("w");
    Log::alert("a");
    Log::debug("d");
    testing::internal::GetCapturedStdout();

    ASSERT_EQ(log.listener.texts(), (std::vector<std::string>{"Master Reporting Level is 3", "e", "w", "a"}));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(log.listener.entries[i].level, i);
        EXPECT_EQ(log.listener.entries[i].category, nullptr);
    }
}

TEST(LogTest, DefaultConsoleListenerWritesErrorsToStandardErrorAndTheRestToStandardOutput)
{
    LogCapture log;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Log::error("stick lost");
    Log::alert("Sensor::powerReceived power:250");
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_NE(err.find(": ERROR:   stick lost\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("Sensor::"), std::string::npos) << err;
    EXPECT_NE(out.find(": ALERT:   Sensor::powerReceived power:250\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("stick lost"), std::string::npos) << out;
}

#include "core/StandardListener.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using rezezaz::core::Logger;
using rezezaz::core::StandardListener;
using rezezaz::core::String;

namespace {

std::string contents(FILE* stream)
{
    std::string text;
    rewind(stream);
    char buffer[256];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), stream)) > 0)
        text.append(buffer, got);
    return text;
}

} // namespace

TEST(StandardListenerTest, ErrorsGoToTheErrorStreamAndEverythingElseToTheOutput)
{
    struct Case
    {
        Logger::Level level;
        bool toErrors;
        const char* label;
    };
    const Case cases[] = {
        {0, false, "LOGGER:  "}, {1, true, "ERROR:   "},  {2, false, "WARNING: "}, {3, false, "ALERT:   "},
        {4, false, "DEBUG:   "}, {5, false, "EXCESS:  "}, {6, false, "UNKNOWN: "}, {-1, false, "UNKNOWN: "},
    };
    for (const Case& c : cases) {
        FILE* output = tmpfile();
        FILE* errors = tmpfile();
        ASSERT_TRUE(output && errors);
        Logger logger(true);
        Logger::Category* category = logger.getCategory("vant.ant");
        {
            StandardListener listener(output, errors);
            listener.addLogEntry(category, c.level, 1400000000999ULL, "Slope::slopeReceived slope:12.500000");
        }

        std::string expected =
            std::string("2014-05-13 16:53:20: ") + c.label + "Slope::slopeReceived slope:12.500000\n";
        EXPECT_EQ(strlen(c.label), 9u);
        EXPECT_EQ(contents(c.toErrors ? errors : output), expected) << "level " << c.level;
        EXPECT_EQ(contents(c.toErrors ? output : errors), "") << "level " << c.level;
        fclose(output);
        fclose(errors);
    }
}

TEST(StandardListenerTest, ATextCutShortByItsNarrowCopyStillEndsItsLine)
{
    FILE* output = tmpfile();
    ASSERT_TRUE(output);
    {
        StandardListener listener(output, output);
        const int32_t wide[] = {'a', 'b', 0x100, 'c', 0};
        listener.addLogEntry(nullptr, Logger::ALERT, 0, String(wide));
        listener.addLogEntry(nullptr, Logger::ALERT, 0, "next");
    }
    EXPECT_EQ(contents(output), "1970-01-01 00:00:00: ALERT:   ab\n1970-01-01 00:00:00: ALERT:   next\n");
    fclose(output);
}

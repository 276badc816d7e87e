#include "core/Error.h"

#include "core/Errorer.h"
#include "core/Exception.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using rezezaz::core::Error;
using rezezaz::core::Errorer;
using rezezaz::core::Exception;
using rezezaz::core::String;
using support::LogCapture;

namespace {

typedef void (*Thrower)(const String&, bool, const String&);

struct ThrowerCase
{
    const char* name;
    Thrower thrower;
    int code;
};

const ThrowerCase throwers[] = {
    {"unknown", &Error::unknown, -1},
    {"invalidParameters", &Error::invalidParameters, 2},
    {"nullPointer", &Error::nullPointer, 3},
    {"unimplemented", &Error::unimplemented, 4},
    {"insufficientMemory", &Error::insufficientMemory, 6},
};

// Calls the thrower and returns what it threw.
Exception thrown(Thrower thrower, const String& category, bool report, const String& description)
{
    try {
        thrower(category, report, description);
    } catch (const Exception& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was thrown";
    return Exception(0);
}

} // namespace

TEST(ErrorTest, EachThrowerLogsWhenAskedRecordsAndThrowsItsCode)
{
    LogCapture log;
    testing::internal::CaptureStderr();
    for (const ThrowerCase& c : throwers) {
        for (bool report : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.name << (report ? " reported" : " quiet"));
            log.listener.entries.clear();
            std::string text = std::string(c.name) + " failed";

            Exception e = thrown(c.thrower, "rezezaz.render", report, text.c_str());

            EXPECT_EQ(e.getError(), c.code);
            EXPECT_EQ(std::string(e.what()), text);
            Errorer* errorer = Error::getInstance();
            EXPECT_EQ(errorer->getException().getError(), c.code);
            EXPECT_STREQ(errorer->getException().getDescription(), text.c_str());
            EXPECT_STREQ(errorer->getDescription(), text.c_str());
            EXPECT_EQ(errorer->getError(), c.code);
            EXPECT_EQ(errorer->getError(), 0) << "reading the code clears it";
            EXPECT_STREQ(errorer->getDescription(), text.c_str()) << "but not the description";

            if (report) {
                ASSERT_EQ(log.listener.entries.size(), 1u);
                EXPECT_EQ(log.listener.entries[0].categoryName, "rezezaz.render");
                EXPECT_EQ(log.listener.entries[0].level, 1);
                EXPECT_EQ(log.listener.entries[0].text, text);
            } else {
                EXPECT_TRUE(log.listener.entries.empty());
            }
        }
    }
    testing::internal::GetCapturedStderr();
}

TEST(ErrorTest, RecordKeepsAtMost1024CharactersWhileTheExceptionKeepsAll)
{
    struct Case
    {
        size_t length;
        size_t recorded;
    };
    const Case cases[] = {{0, 0}, {1023, 1023}, {1024, 1024}, {1025, 1024}, {5000, 1024}};
    for (const Case& c : cases) {
        std::string text(c.length, 'x');
        if (c.length > 0)
            text.back() = 'y';
        Exception e = thrown(&Error::invalidParameters, "rezezaz.core", false, text.c_str());
        EXPECT_EQ(std::string(e.getDescription()), text);
        std::string recorded = Error::getInstance()->getDescription();
        EXPECT_EQ(recorded, text.substr(0, c.recorded)) << "length " << c.length;

        Error::getInstance()->setError(9, text.c_str());
        EXPECT_EQ(std::string(Error::getInstance()->getDescription()), text.substr(0, c.recorded));
    }
    Error::getInstance()->setError(7);
    EXPECT_STREQ(Error::getInstance()->getDescription(), "");
    EXPECT_EQ(Error::getInstance()->getError(), 7);
    Error::getInstance()->setError(8, nullptr);
    EXPECT_STREQ(Error::getInstance()->getDescription(), "");
}

TEST(ErrorTest, ExceptionConstructorsFillInTheMissingHalf)
{
    Exception codeOnly(5);
    EXPECT_EQ(codeOnly.getError(), 5);
    EXPECT_STREQ(codeOnly.what(), "unknown");
    Exception textOnly("torn burst");
    EXPECT_EQ(textOnly.getError(), -1);
    EXPECT_STREQ(textOnly.getDescription(), "torn burst");
    Exception copy(textOnly);
    EXPECT_EQ(copy.getError(), -1);
    EXPECT_STREQ(copy.what(), "torn burst");
    copy = codeOnly;
    EXPECT_EQ(copy.getError(), 5);
    EXPECT_STREQ(copy.what(), "unknown");
}

TEST(ErrorTest, ThreadsFailingAtOnceShareOneRecord)
{
    Error::destroy();
    auto fail = [](Thrower thrower) {
        for (int i = 0; i < 200; ++i) {
            try {
                thrower("rezezaz.core", false, "busy");
            } catch (const Exception&) {
            }
        }
    };
    std::thread first(fail, &Error::nullPointer);
    std::thread second(fail, &Error::unimplemented);
    Errorer* seen = nullptr;
    for (int i = 0; i < 200 && seen == nullptr; ++i)
        seen = Error::getInstance();
    first.join();
    second.join();

    EXPECT_EQ(Error::getInstance(), seen);
    int last = Error::getInstance()->getError();
    EXPECT_TRUE(last == 3 || last == 4) << last;
    Error::destroy();
}

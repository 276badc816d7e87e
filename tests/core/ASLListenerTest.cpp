#include "core/ASLListener.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::core::ASLListener;
using rezezaz::core::Logger;

namespace {

// Records what the listener would send to the system log. A client is the index of its
// opening plus one, so that no client is null.
class RecordingSink : public ASLListener::Sink
{
public:
    struct Record
    {
        std::string client; // identity of the client, "" for the default one
        int priority;
        std::string message;
    };

    void* openClient(const char* identity, const char* facility) override
    {
        opened.push_back(identity);
        EXPECT_STREQ(identity, facility);
        return reinterpret_cast<void*>(opened.size());
    }
    void closeClient(void* client) override { closed.push_back(name(client)); }
    void log(void* client, int priority, const char* message) override
    {
        records.push_back(Record{client ? name(client) : "", priority, message});
    }

    std::vector<std::string> opened;
    std::vector<std::string> closed;
    std::vector<Record> records;

private:
    std::string name(void* client) { return opened.at(reinterpret_cast<size_t>(client) - 1); }
};

} // namespace

TEST(ASLListenerTest, OneClientPerCategoryKeptUntilTheListenerGoes)
{
    Logger logger(true);
    RecordingSink sink;
    {
        ASLListener listener(&sink);
        listener.addLogEntry(logger.getCategory("vant.ant"), 3, 1000, "first");
        listener.addLogEntry(logger.getCategory("rezezaz.core"), 1, 1000, "second");
        listener.addLogEntry(logger.getCategory("vant.ant"), 4, 1000, "third");
        listener.addLogEntry(nullptr, 2, 1000, "fourth");

        EXPECT_EQ(sink.opened, (std::vector<std::string>{"vant.ant", "rezezaz.core"}));
        ASSERT_EQ(sink.records.size(), 4u);
        EXPECT_EQ(sink.records[0].client, "vant.ant");
        EXPECT_EQ(sink.records[1].client, "rezezaz.core");
        EXPECT_EQ(sink.records[2].client, "vant.ant");
        EXPECT_EQ(sink.records[3].client, "");
        EXPECT_TRUE(sink.closed.empty());
    }
    ASSERT_EQ(sink.closed.size(), 2u);
    EXPECT_EQ(sink.closed, (std::vector<std::string>{"rezezaz.core", "vant.ant"}));
}

TEST(ASLListenerTest, MessageCarriesTimeLabelAndTextAtTheLevelsPriority)
{
    struct Case
    {
        Logger::Level level;
        int priority;
        const char* label;
    };
    const Case cases[] = {
        {0, 5, "LOGGER:  "}, {1, 3, "ERROR:   "}, {2, 4, "WARNING: "}, {3, 5, "ALERT:   "},
        {4, 6, "DEBUG:   "}, {5, 7, "EXCESS:  "}, {6, 5, "UNKNOWN: "}, {-2, 5, "UNKNOWN: "},
    };
    RecordingSink sink;
    ASLListener listener(&sink);
    for (const Case& c : cases) {
        sink.records.clear();
        listener.addLogEntry(nullptr, c.level, 1999, "battery low");
        ASSERT_EQ(sink.records.size(), 1u);
        EXPECT_EQ(sink.records[0].priority, c.priority) << "level " << c.level;
        EXPECT_EQ(sink.records[0].message, std::string("1970-01-01 00:00:01: ") + c.label + "battery low\n");
    }
}

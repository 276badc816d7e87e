#pragma once

#include "core/BaseLoggerListener.h"
#include "core/Map.h"
#include "core/String.h"

namespace rezezaz {
namespace core {

// The system-log listener: sends every entry to the system log, through one client per
// category (opened on the category's first entry, kept until the listener goes) and the
// default client for entries without a category.
class ASLListener : public BaseLoggerListener
{
public:
    // Where the records go. The default sink writes to syslog, with the client's category
    // before the message; tests give their own to see what would be sent.
    class Sink
    {
    public:
        virtual ~Sink() {}
        virtual void* openClient(const char* identity, const char* facility) = 0;
        virtual void closeClient(void* client) = 0;
        // A null client is the process's default client.
        virtual void log(void* client, int priority, const char* message) = 0;
    };

    ASLListener();
    // The sink is not owned and must outlive the listener.
    explicit ASLListener(Sink* sink);
    ~ASLListener() override;

    ASLListener(const ASLListener&) = delete;
    ASLListener& operator=(const ASLListener&) = delete;

    void addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long time,
                     const String& text) override;

    // Levels 1 to 5 give 3 (error) to 7 (debug); any other level 5 (notice).
    static int priority(Logger::Level level);

private:
    Sink* mSink;
    Map<String, void*> mClients;
};

} // namespace core
} // namespace rezezaz

#include "core/ASLListener.h"

#include "core/PosixSystem.h"
#include "core/StandardListener.h"

#include <syslog.h>

namespace rezezaz {
namespace core {

namespace {

// syslog has one identity per process, so a client is the category name that prefixes
// each of its messages.
class SyslogSink : public ASLListener::Sink
{
public:
    void* openClient(const char* identity, const char*) override { return new String(identity); }
    void closeClient(void* client) override { delete static_cast<String*>(client); }
    void log(void* client, int priority, const char* message) override
    {
        if (client)
            syslog(priority, "%s: %s", static_cast<String*>(client)->c_str(), message);
        else
            syslog(priority, "%s", message);
    }
};

// Never destroyed, so that a listener still alive at exit can close its clients.
SyslogSink& systemLog()
{
    static SyslogSink* sink = new SyslogSink();
    return *sink;
}

} // namespace

ASLListener::ASLListener() : mSink(&systemLog()) {}

ASLListener::ASLListener(Sink* sink) : mSink(sink) {}

ASLListener::~ASLListener()
{
    for (int i = 0; i < mClients.size(); ++i)
        mSink->closeClient(mClients.pairAt(i).value);
    mClients.clear();
}

void ASLListener::addLogEntry(Logger::Category* category, Logger::Level level, unsigned long long time,
                              const String& text)
{
    void* client = nullptr;
    if (category) {
        void*& slot = mClients[category->getName()];
        if (slot == nullptr)
            slot = mSink->openClient(category->getName().c_str(), category->getName().c_str());
        client = slot;
    }
    String message =
        PosixSystem::mtimeToString(time) + ": " + StandardListener::levelLabel(level) + text + "\n";
    mSink->log(client, priority(level), message.c_str());
}

int ASLListener::priority(Logger::Level level)
{
    switch (level) {
    case Logger::ERROR:
        return LOG_ERR;
    case Logger::WARNING:
        return LOG_WARNING;
    case Logger::ALERT:
        return LOG_NOTICE;
    case Logger::DEBUG:
        return LOG_INFO;
    case Logger::EXCESS:
        return LOG_DEBUG;
    default:
        return LOG_NOTICE;
    }
}

} // namespace core
} // namespace rezezaz

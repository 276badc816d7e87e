#pragma once

#include "ant/AntChannel.h"
#include "ant/AntChannelListener.h"

#include <functional>
#include <string>
#include <vector>

namespace vant::ant::test {

// Records what a channel tells it as short text lines ("state 1 2", "broadcast 00 51 ..."; the periodic
// update only when asked), and can run a test's action inside any callback.
class RecordingChannelListener : public AntChannelListener
{
public:
    // Data callbacks record the first `dataBytes` payload bytes in hex.
    explicit RecordingChannelListener(int dataBytes = 9) : dataBytes(dataBytes) {}

    void stateChanged(AntChannel* c, int oldState, int newState) override
    {
        record(c, "state " + std::to_string(oldState) + " " + std::to_string(newState));
    }
    void searchFinished(AntChannel* c) override { record(c, "searchFinished"); }
    void searchTimeout(AntChannel* c) override { record(c, "searchTimeout"); }
    void broadcastData(AntChannel* c, unsigned char* p) override { record(c, "broadcast" + hex(p)); }
    void acknowledgedData(AntChannel* c, unsigned char* p) override { record(c, "acknowledged" + hex(p)); }
    void burstData(AntChannel* c, unsigned char* p) override { record(c, "burst" + hex(p)); }
    void extBroadcastData(AntChannel* c, unsigned char* p) override { record(c, "extBroadcast" + hex(p)); }
    void extAcknowledgedData(AntChannel* c, unsigned char* p) override
    {
        record(c, "extAcknowledged" + hex(p));
    }
    void extBurstData(AntChannel* c, unsigned char* p) override { record(c, "extBurst" + hex(p)); }
    void transmitComplete(AntChannel* c) override { record(c, "transmitComplete"); }
    void burstProgress(AntChannel* c, int percent) override
    {
        record(c, "progress " + std::to_string(percent));
    }
    void burstComplete(AntChannel* c) override { record(c, "burstComplete"); }
    void burstFailed(AntChannel* c) override { record(c, "burstFailed"); }
    void invalidMessage(AntChannel* c, int id) override { record(c, "invalid " + std::to_string(id)); }
    void update(AntChannel* c, int ms) override
    {
        if (recordUpdates) {
            record(c, "update " + std::to_string(ms));
        } else if (onEvent) {
            onEvent(c, "update");
        }
    }

    // The lines since the last call, which forgets them.
    std::vector<std::string> take()
    {
        std::vector<std::string> taken;
        taken.swap(lines);
        return taken;
    }

    int dataBytes;
    bool recordUpdates = false;
    std::vector<std::string> lines;
    // Runs after each recorded line with the channel and the line.
    std::function<void(AntChannel*, const std::string&)> onEvent;

private:
    std::string hex(const unsigned char* payload) const
    {
        static const char digits[] = "0123456789ABCDEF";
        std::string text;
        for (int i = 0; i < dataBytes; ++i) {
            text += ' ';
            text += digits[payload[i] >> 4];
            text += digits[payload[i] & 0xF];
        }
        return text;
    }
    void record(AntChannel* c, const std::string& line)
    {
        lines.push_back(line);
        if (onEvent) {
            onEvent(c, line);
        }
    }
};

} // namespace vant::ant::test

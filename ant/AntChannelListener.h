#pragma once

namespace vant::ant {

class AntChannel;

// Told by an AntChannel what happens on it: state moves, the search result, received data, transfer
// results and a periodic tick. Registered with addChannelListener; the channel does not own it and a
// listener may remove itself (or release the channel) inside any callback.
//
// A data payload is the received message after its id: byte 0 the channel byte (for bursts with the
// sequence bits in bits 5 to 7), bytes 1 to 8 the data, and for the extended messages the extended
// bytes after them. At least 41 bytes are readable (zero past the message); valid only during the
// call.
class AntChannelListener
{
public:
    virtual void stateChanged(AntChannel* channel, int oldState, int newState) = 0;
    virtual void searchFinished(AntChannel* channel) = 0;
    virtual void searchTimeout(AntChannel* channel) = 0;
    virtual void broadcastData(AntChannel* channel, unsigned char* payload) = 0;
    virtual void acknowledgedData(AntChannel* channel, unsigned char* payload) = 0;
    virtual void burstData(AntChannel* channel, unsigned char* payload) = 0;
    virtual void extBroadcastData(AntChannel* channel, unsigned char* payload) = 0;
    virtual void extAcknowledgedData(AntChannel* channel, unsigned char* payload) = 0;
    virtual void extBurstData(AntChannel* channel, unsigned char* payload) = 0;
    virtual void transmitComplete(AntChannel* channel) = 0;
    virtual void burstProgress(AntChannel* channel, int percent) = 0;
    virtual void burstComplete(AntChannel* channel) = 0;
    virtual void burstFailed(AntChannel* channel) = 0;
    virtual void invalidMessage(AntChannel* channel, int messageId) = 0;
    virtual void update(AntChannel* channel, int ms) = 0;

protected:
    // Listeners are never deleted through this interface.
    ~AntChannelListener() = default;
};

} // namespace vant::ant

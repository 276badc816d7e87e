#pragma once

#include "core/PosixMutex.h"

#include <cstdint>
#include <memory>

namespace vant::ant {

class AntMessageResponse;
class UsbConnector;

// XOR of count bytes; 0 for a count of 0 or no bytes.
unsigned char CheckSum_Calc8(const void* bytes, unsigned short count);

// The ANT serial framing: builds the frames that go to the stick and, fed byte by byte from
// the USB reader thread, turns what the stick sends back into checksum-tested messages that
// wait in a fixed ring queue until the GUI thread takes them with getMessage. The radio owns
// the framer; the connector is not owned.
class AntMessageFramer
{
public:
    static constexpr unsigned char SYNC = 0xA4;
    static constexpr unsigned short MAX_PAYLOAD = 41;
    static constexpr int QUEUE_SIZE = 65536;

    // getMessage results besides a payload length.
    static constexpr unsigned short QUEUE_EMPTY = 0xFFFE;
    static constexpr unsigned short ERROR_REPORTED = 0xFFFF;

    // Error kinds reported by getMessage in out[0].
    static constexpr unsigned char ERROR_QUEUE_FULL = 1;
    static constexpr unsigned char ERROR_CHECKSUM = 2;
    static constexpr unsigned char ERROR_INVALID_SIZE = 3;
    static constexpr unsigned char CHECKSUM_ERROR_DETAIL = 4;

    // The queue holds queueSize - 1 messages (queueSize from 2 to QUEUE_SIZE); the radio takes
    // the full size, a test a small one that it can fill.
    explicit AntMessageFramer(UsbConnector* connector, unsigned int queueSize = QUEUE_SIZE);
    ~AntMessageFramer();

    AntMessageFramer(const AntMessageFramer&) = delete;
    AntMessageFramer& operator=(const AntMessageFramer&) = delete;

    // message = message id followed by length payload bytes; at most 41 payload bytes.
    bool writeMessage(void* message, unsigned short length);

    // One step of the receive machine; true when a frame was queued on this byte. A frame that
    // fails (a length above 41, or a bad checksum) is recorded as a serial error, and the next
    // frame is looked for from the byte after its sync byte, so a damaged or stray byte costs
    // only the frame it lands in.
    bool processByte(unsigned char byte);

    // Offers the completed frame to the waiters and queues it. Called with the mutex held.
    void processMessage();

    // Takes the oldest message: out[0] = id, out[1..n] = payload; returns n, QUEUE_EMPTY, or
    // ERROR_REPORTED with the error kind in out[0] (and its detail in out[1] for a checksum).
    // out must hold 1 + min(max, 41) bytes (42 when max is 0).
    unsigned short getMessage(void* out, unsigned short max);

    // Fills every waiting response that matches the completed frame.
    void checkResponseList();

protected:
    struct Entry
    {
        unsigned char length;
        unsigned char id;
        unsigned char payload[MAX_PAYLOAD];
    };

    // sync, length, id, payload, checksum of the longest message.
    static constexpr unsigned int MAX_FRAME = MAX_PAYLOAD + 4;

    enum class Step
    {
        MORE,   // the frame goes on, or the byte was dropped while waiting for sync
        QUEUED, // the byte completed a frame that was queued
        FAILED, // the frame was refused; mFrame[1..mFailedEnd] are to be looked at again
    };

    Step receive(unsigned char byte);
    Step fail(unsigned int lastIndex);

    rezezaz::core::PosixMutex mMutex;

    // Receive machine, touched only by the thread that handles USB events.
    unsigned int mReceiveIndex;
    unsigned char mFrame[MAX_FRAME];
    unsigned char mRunningXor;
    unsigned int mFrameEnd;
    unsigned int mFailedEnd;

    // Guarded by mMutex.
    const unsigned int mQueueSize;
    unsigned int mWriteIndex;
    unsigned int mReadIndex;
    unsigned char mErrorKind;
    unsigned char mErrorDetail;
    std::unique_ptr<Entry[]> mQueue;
    AntMessageResponse* mResponseList;

    UsbConnector* mConnector;
};

} // namespace vant::ant

#pragma once

namespace vant::ant {

// A waiter for one received message: the framer fills it in from the first frame with the
// waiter's message id whose payload starts with the waiter's pattern. Waiters are linked into
// the framer's list by their owner; the framer never owns or frees them.
class AntMessageResponse
{
public:
    static constexpr int DATA_SIZE = 41;

    AntMessageResponse() = default;
    virtual ~AntMessageResponse() = default;

    AntMessageResponse* next = nullptr;
    // The first matchLength bytes of data are the pattern; the rest receive the payload.
    unsigned char matchLength = 0;
    unsigned char receivedLength = 0;
    unsigned char messageId = 0;
    unsigned char data[DATA_SIZE] = {};
    bool filled = false;
};

} // namespace vant::ant

#pragma once

#include "ant/babel/Field.h"

namespace vbabel::data {

// A decoder of ANT+ broadcast pages. A sport device owns one, hands it every broadcast payload and
// reads the decoded values by field id (`Field`, one numbering for every decoder).
//
// `message` is the ANT payload: byte 0 is the channel number, bytes 1 to 8 the data page.
// A `getField` returns false and leaves `*out` untouched when the decoder does not serve the id as that
// type or has not received its page yet; otherwise it writes the value and returns true.
class SportData
{
public:
    virtual ~SportData() = default;
    virtual bool getField(float* out, int id) = 0;
    virtual bool getField(int* out, int id) = 0;
    // Bit mask of the fields whose pages have arrived since construction (never cleared).
    virtual int receivedFields() = 0;
    // True when the message was decoded and should be reported to listeners.
    virtual bool broadcastReceived(unsigned char* message) = 0;
};

} // namespace vbabel::data

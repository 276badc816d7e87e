#pragma once

#include "ant/babel/AccumValue.h"
#include "ant/babel/SportData.h"

namespace vbabel::data {

// Heart-rate pages of any number: event-time delta, beat-count delta and the computed heart rate
// (fields 7 to 9). The event time is a 16-bit counter and the beat count an 8-bit one; both deltas are
// taken modulo their range so that a wrap still gives the true count.
class HeartrateData : public SportData
{
public:
    bool getField(float* out, int id) override;
    bool getField(int* out, int id) override;
    int receivedFields() override;
    bool broadcastReceived(unsigned char* message) override;

private:
    bool received = false;
    AccumValue<int> eventTime{65536};
    AccumValue<int> beats{256};
    Value<int> heartRate;
};

} // namespace vbabel::data

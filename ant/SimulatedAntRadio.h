#pragma once

#include "ant/AntRadio.h"
#include "core/Collection.h"
#include "core/Object.h"

namespace vant::ant {

// A stand-alone imitation of an ANT stick with one power meter in range, used when the manager is
// given no radio. It is always up; each update answers the oldest message sent to it the way a stick
// and a meter would, and every 20th update reports a broadcast.
class SimulatedAntRadio : public rezezaz::core::Object, public AntRadio
{
public:
    SimulatedAntRadio();

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    bool create() override;
    void destroy() override;
    bool start() override;
    void stop() override;
    int version() override;
    int apVersion() override;
    bool state() override;
    void sendMessage(int id, unsigned char* payload, int length) override;
    void update() override;
    void setListener(AntRadioListener* listener) override;

    // A message waiting for its answer: the id and the first payload bytes, zero past the sent length.
    struct SentMessage
    {
        static constexpr int PayloadSize = 13;
        int id = 0;
        unsigned char payload[PayloadSize] = {};
    };

private:
    void answer(const SentMessage& sent);
    void reply(int id, int length);

    AntRadioListener* mListener = nullptr;
    rezezaz::core::Collection<SentMessage> mSent; // oldest first
    unsigned char mReply[16] = {};
    int mUpdateCount = 0;
};

} // namespace vant::ant

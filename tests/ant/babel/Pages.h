#pragma once

#include "ant/babel/SportCadenceData.h"
#include "ant/babel/SportData.h"
#include "ant/babel/SportHeartrateData.h"
#include "ant/babel/SportSpeedCadenceData.h"
#include "ant/babel/SportSpeedData.h"
#include "ant/babel/SportTorqueData.h"
#include "ant/data/VelonixPowerMeterBootloadData.h"
#include "ant/data/VelonixPowerMeterData.h"

#include <array>
#include <cassert>
#include <initializer_list>
#include <memory>
#include <vector>

namespace vbabel::data::test {

// One ANT broadcast payload: the channel number, then the eight page bytes.
using Message = std::array<unsigned char, 9>;

// Builds a payload on channel 0 from up to eight page bytes; missing bytes are 0.
inline Message page(std::initializer_list<int> pageBytes)
{
    assert(pageBytes.size() <= 8);
    Message message{};
    size_t i = 1;
    for (int b : pageBytes)
        message[i++] = static_cast<unsigned char>(b);
    return message;
}

inline bool feed(SportData& decoder, Message message)
{
    return decoder.broadcastReceived(message.data());
}

// Feeds every message and returns the last result.
inline bool feed(SportData& decoder, const std::vector<Message>& messages)
{
    bool result = false;
    for (const Message& m : messages)
        result = feed(decoder, m);
    return result;
}

// The top-level decoders a device creates.
enum class Decoder
{
    Power,
    Heartrate,
    SpeedCadence,
    Cadence,
    Speed,
    PowerMeter,
    Bootload,
};

inline std::unique_ptr<SportData> makeDecoder(Decoder kind)
{
    switch (kind) {
    case Decoder::Power:
        return std::make_unique<SportTorqueData>();
    case Decoder::Heartrate:
        return std::make_unique<SportHeartrateData>();
    case Decoder::SpeedCadence:
        return std::make_unique<SportSpeedCadenceData>();
    case Decoder::Cadence:
        return std::make_unique<SportCadenceData>();
    case Decoder::Speed:
        return std::make_unique<SportSpeedData>();
    case Decoder::PowerMeter:
        return std::make_unique<vant::data::VelonixPowerMeterData>();
    case Decoder::Bootload:
        return std::make_unique<vant::data::VelonixPowerMeterBootloadData>();
    }
    return nullptr;
}

inline const char* decoderName(Decoder kind)
{
    switch (kind) {
    case Decoder::Power:
        return "SportTorqueData";
    case Decoder::Heartrate:
        return "SportHeartrateData";
    case Decoder::SpeedCadence:
        return "SportSpeedCadenceData";
    case Decoder::Cadence:
        return "SportCadenceData";
    case Decoder::Speed:
        return "SportSpeedData";
    case Decoder::PowerMeter:
        return "VelonixPowerMeterData";
    case Decoder::Bootload:
        return "VelonixPowerMeterBootloadData";
    }
    return "?";
}

// Reads a field; the bool says whether it was served. `*out` is checked to stay untouched otherwise.
struct Reading
{
    bool served;
    double value;
    bool untouched;
};

inline Reading readFloat(SportData& decoder, int id)
{
    const float sentinel = -12345.5f;
    float out = sentinel;
    bool served = decoder.getField(&out, id);
    return {served, out, served || out == sentinel};
}

inline Reading readInt(SportData& decoder, int id)
{
    const int sentinel = -987654;
    int out = sentinel;
    bool served = decoder.getField(&out, id);
    return {served, static_cast<double>(out), served || out == sentinel};
}

} // namespace vbabel::data::test

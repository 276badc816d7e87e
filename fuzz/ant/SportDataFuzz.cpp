// Feeds random sequences of pages to every page decoder. Byte 0 of the input picks the decoder, each
// following 8 bytes are one page. After every page each field must read as a finite float, and a field
// that is not served must leave the output untouched.

#include "ant/babel/SportCadenceData.h"
#include "ant/babel/SportHeartrateData.h"
#include "ant/babel/SportSpeedCadenceData.h"
#include "ant/babel/SportSpeedData.h"
#include "ant/babel/SportTorqueData.h"
#include "ant/data/VelonixPowerMeterBootloadData.h"
#include "ant/data/VelonixPowerMeterData.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<vbabel::data::SportData> makeDecoder(std::uint8_t choice)
{
    switch (choice % 7) {
    case 0:
        return std::make_unique<vbabel::data::SportTorqueData>();
    case 1:
        return std::make_unique<vbabel::data::SportHeartrateData>();
    case 2:
        return std::make_unique<vbabel::data::SportSpeedCadenceData>();
    case 3:
        return std::make_unique<vbabel::data::SportCadenceData>();
    case 4:
        return std::make_unique<vbabel::data::SportSpeedData>();
    case 5:
        return std::make_unique<vant::data::VelonixPowerMeterData>();
    default:
        return std::make_unique<vant::data::VelonixPowerMeterBootloadData>();
    }
}

void checkFields(vbabel::data::SportData& decoder)
{
    for (int id = -1; id <= 32; ++id) {
        const float floatSentinel = -7.25f;
        float f = floatSentinel;
        if (decoder.getField(&f, id)) {
            if (!std::isfinite(f))
                __builtin_trap();
        } else if (std::memcmp(&f, &floatSentinel, sizeof f) != 0) {
            __builtin_trap();
        }
        int i = -7;
        if (!decoder.getField(&i, id) && i != -7)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    auto decoder = makeDecoder(data[0]);
    int previousMask = 0;
    for (std::size_t at = 1; at + 8 <= size; at += 8) {
        unsigned char message[9] = {0};
        std::memcpy(message + 1, data + at, 8);
        decoder->broadcastReceived(message);
        checkFields(*decoder);
        // The mask only ever grows.
        int mask = decoder->receivedFields();
        if ((mask & previousMask) != previousMask)
            __builtin_trap();
        previousMask = mask;
    }
    return 0;
}

#pragma once

#include "ant/babel/SportData.h"

namespace vant::data {

// Common base of the decoders of the maker's own power-meter pages (strain page, normal mode and
// bootload mode). The power-meter device owns one and replaces it when the meter enters or leaves
// bootload mode.
class VelonixData : public vbabel::data::SportData
{
};

} // namespace vant::data

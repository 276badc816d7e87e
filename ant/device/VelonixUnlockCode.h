#pragma once

// The five bytes that unlock the power meter's registers for writing. They come from the build
// configuration (the PELOTUNE_METER_UNLOCK_CODE cache variable); the default is a placeholder that a
// real meter refuses. Never log them.
#ifndef PELOTUNE_METER_UNLOCK_CODE
#error "PELOTUNE_METER_UNLOCK_CODE is set by ant/CMakeLists.txt"
#endif

namespace vant::device {

inline constexpr unsigned char kVelonixUnlockCode[5] = {PELOTUNE_METER_UNLOCK_CODE};

} // namespace vant::device

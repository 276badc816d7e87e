#include "calibration/view/PelotuneAnimation.h"

#include <algorithm>

float PelotuneAnimation::advance(int ms)
{
    elapsed = std::min(elapsed + std::max(ms, 0), duration);
    // An animation of no length is at its end at once.
    return duration == 0 ? 1.0f : static_cast<float>(elapsed) / static_cast<float>(duration);
}

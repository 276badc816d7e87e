#pragma once

#include <cstdint>

// A timed change of the calibration view: advanced by the view's frame in whole milliseconds until
// its time has run. The view (CalibrationScene) owns the animations it starts and deletes each one
// when it is finished.
class PelotuneAnimation
{
public:
    explicit PelotuneAnimation(int duration) : duration(duration < 0 ? 0 : duration) {}
    virtual ~PelotuneAnimation() = default;

    PelotuneAnimation(const PelotuneAnimation&) = delete;
    PelotuneAnimation& operator=(const PelotuneAnimation&) = delete;

    // Plays `ms` more, never past the duration, and applies the pose of the time reached.
    virtual void update(int ms) = 0;

    bool finished() const { return elapsed == duration; }
    int getElapsed() const { return elapsed; }
    int getDuration() const { return duration; }

protected:
    // Adds `ms` to the time played, capped at the duration; the fraction of the duration played.
    float advance(int ms);

    std::int32_t elapsed = 0;
    std::int32_t duration;
};

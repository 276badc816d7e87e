#pragma once

#include <ctime>

namespace support {

// A wall clock that only moves when the test moves it. Hand it to code that takes a clock
// function (it is callable) by reference, e.g. std::ref(clock) or [&] { return clock(); }.
class ManualClock
{
public:
    explicit ManualClock(std::time_t now = 0) : mNow(now) {}

    std::time_t operator()() const { return mNow; }
    void set(std::time_t now) { mNow = now; }
    void advance(std::time_t seconds) { mNow += seconds; }

    // Seconds since the epoch of a local date and time, as the C library's mktime reads it.
    static std::time_t local(int year, int month, int day, int hour, int minute, int second)
    {
        std::tm date{};
        date.tm_year = year - 1900;
        date.tm_mon = month - 1;
        date.tm_mday = day;
        date.tm_hour = hour;
        date.tm_min = minute;
        date.tm_sec = second;
        date.tm_isdst = -1;
        return std::mktime(&date);
    }

private:
    std::time_t mNow;
};

} // namespace support

// Where a log's local times lie in absolute time. The tracer writes the local
// time of its machine with no zone; a log platform needs the offset from UTC
// beside it. The offset is the user's, for a log copied from a machine in
// another zone, or that of this machine's zone at each time (it changes with
// daylight saving time). No platform calls: the machine's zone is asked
// through machineUtcOffset, which the console program defines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vr::vrclog {

struct CivilTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The offset of this machine's zone at a local time, in minutes east of UTC;
// false when the platform cannot tell. Defined by the console program's time
// zone layer (time_zone.cpp).
bool machineUtcOffset(const CivilTime& local, int& minutesEast) noexcept;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) noexcept;

// "+01:00", "-05:30", "+0100" or "Z" as minutes east of UTC, from -14:00 to +14:00.
std::optional<int> parseUtcOffset(std::string_view text) noexcept;

class UtcOffsets {
public:
    // With a value, every time has that offset; without, the machine's zone is asked.
    explicit UtcOffsets(std::optional<int> givenMinutes) noexcept : given_(givenMinutes) {}

    // The offset at a log time ("yyyy-mm-dd hh:mm:ss.mmm") as "+01:00",
    // "-05:30" or "+00:00"; empty when it is no time of the calendar or the
    // platform cannot place it. The machine's zone is asked once per minute
    // of the log, not once per record.
    std::string_view at(std::string_view time) noexcept;

private:
    static constexpr std::size_t kMinuteLength = 16;  // "yyyy-mm-dd hh:mm"
    static constexpr std::size_t kOffsetLength = 6;  // "+01:00"
    std::optional<int> given_;
    char minute_[kMinuteLength] = {};
    bool known_ = false;
    char offset_[kOffsetLength] = {};
    std::size_t offsetLength_ = 0;
};

}  // namespace vr::vrclog

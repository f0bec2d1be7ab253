#include "utc_offset.h"

#include <cstring>

#include "log_line.h"

namespace vr::vrclog {

namespace {

constexpr int kLargestOffsetMinutes = 14 * 60;

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

int twoDigits(std::string_view text, std::size_t at) noexcept { return (text[at] - '0') * 10 + (text[at + 1] - '0'); }

int daysInMonth(int year, int month) noexcept
{
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The fields of a log time whose places log_line has checked to be digits.
std::optional<CivilTime> civilTime(std::string_view time) noexcept
{
    if (time.size() != kTimeLength)
        return std::nullopt;
    CivilTime t;
    t.year = twoDigits(time, 0) * 100 + twoDigits(time, 2);
    t.month = twoDigits(time, 5);
    t.day = twoDigits(time, 8);
    t.hour = twoDigits(time, 11);
    t.minute = twoDigits(time, 14);
    t.second = twoDigits(time, 17);
    if (t.year < 1601 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.year, t.month) ||
        t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

// "+01:00", "-05:30", "+00:00"; the length written.
std::size_t formatOffset(int minutesEast, char (&text)[6]) noexcept
{
    const int magnitude = minutesEast < 0 ? -minutesEast : minutesEast;
    const int hours = magnitude / 60;
    const int minutes = magnitude % 60;
    text[0] = minutesEast < 0 ? '-' : '+';
    text[1] = static_cast<char>('0' + hours / 10);
    text[2] = static_cast<char>('0' + hours % 10);
    text[3] = ':';
    text[4] = static_cast<char>('0' + minutes / 10);
    text[5] = static_cast<char>('0' + minutes % 10);
    return sizeof text;
}

}  // namespace

int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) noexcept
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::optional<int> parseUtcOffset(std::string_view text) noexcept
{
    if (text == "Z")
        return 0;
    if (text.empty() || (text[0] != '+' && text[0] != '-'))
        return std::nullopt;
    const char sign = text[0];
    text.remove_prefix(1);
    // "hh:mm" or "hhmm".
    if (!(text.size() == 5 && text[2] == ':') && text.size() != 4)
        return std::nullopt;
    const std::size_t minutesAt = text.size() == 5 ? 3 : 2;
    if (!isDigit(text[0]) || !isDigit(text[1]) || !isDigit(text[minutesAt]) || !isDigit(text[minutesAt + 1]))
        return std::nullopt;
    const int minutes = twoDigits(text, minutesAt);
    const int total = twoDigits(text, 0) * 60 + minutes;
    if (minutes > 59 || total > kLargestOffsetMinutes)
        return std::nullopt;
    return sign == '-' ? -total : total;
}

std::string_view UtcOffsets::at(std::string_view time) noexcept
{
    // The cache goes by the minute: the seconds are checked on their own.
    if (time.size() != kTimeLength || !isDigit(time[17]) || twoDigits(time, 17) > 59)
        return {};
    if (!known_ || std::memcmp(minute_, time.data(), kMinuteLength) != 0) {
        const std::optional<CivilTime> local = civilTime(time);
        int minutes = 0;
        std::optional<int> offset;
        if (local && given_)
            offset = given_;
        else if (local && machineUtcOffset(*local, minutes) && minutes >= -kLargestOffsetMinutes &&
                 minutes <= kLargestOffsetMinutes)
            offset = minutes;
        offsetLength_ = offset ? formatOffset(*offset, offset_) : 0;
        std::memcpy(minute_, time.data(), kMinuteLength);
        known_ = true;
    }
    return std::string_view(offset_, offsetLength_);
}

}  // namespace vr::vrclog

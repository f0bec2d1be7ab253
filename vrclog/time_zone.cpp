// The offset from UTC of this machine's zone at a local time, by the
// platform's rules for that year.
#include "utc_offset.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace vr::vrclog {

#ifdef _WIN32

bool machineUtcOffset(const CivilTime& local, int& minutesEast) noexcept
{
    // The zone's rules for the year of the time, so that a time of an
    // earlier year gets that year's daylight saving dates; asked once per
    // year (vrclog reads on one thread).
    static int rulesYear = 0;
    static TIME_ZONE_INFORMATION rules{};
    if (rulesYear != local.year) {
        if (!GetTimeZoneInformationForYear(static_cast<USHORT>(local.year), nullptr, &rules))
            return false;
        rulesYear = local.year;
    }
    SYSTEMTIME localTime{};
    localTime.wYear = static_cast<WORD>(local.year);
    localTime.wMonth = static_cast<WORD>(local.month);
    localTime.wDay = static_cast<WORD>(local.day);
    localTime.wHour = static_cast<WORD>(local.hour);
    localTime.wMinute = static_cast<WORD>(local.minute);
    localTime.wSecond = static_cast<WORD>(local.second);
    // A time in the hour that the change to standard time repeats has two
    // offsets; the platform picks one.
    SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(&rules, &localTime, &utc))
        return false;
    const auto minutes = [](const SYSTEMTIME& t) {
        return (daysFromCivil(t.wYear, t.wMonth, t.wDay) * 24 + t.wHour) * 60 + t.wMinute;
    };
    minutesEast = static_cast<int>(minutes(localTime) - minutes(utc));
    return true;
}

#else

bool machineUtcOffset(const CivilTime& local, int& minutesEast) noexcept
{
    std::tm fields{};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;  // the zone's rules decide
    if (std::mktime(&fields) == static_cast<std::time_t>(-1))
        return false;
    minutesEast = static_cast<int>(fields.tm_gmtoff / 60);
    return true;
}

#endif

}  // namespace vr::vrclog

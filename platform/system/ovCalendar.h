#pragma once

#include <cstdint>
#include <string>

// Internal to ovSystem: proleptic Gregorian calendar arithmetic in UTC, shared by
// the variant's date-time texts and the clock texts.
namespace ov::calendar {

struct Fields {
    int64_t year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int weekDay = 4;  // 0 is Sunday
    int yearDay = 0;  // 0 is January 1st
};

// Breaks an instant down into calendar fields. Instants beyond the years
// -32767 to 32767 are clamped to the first or last day of that range.
Fields fromMilliseconds(int64_t millisecondsSinceEpoch);

// The instant of the given fields (weekDay and yearDay are not read); false
// when a field is out of its range.
bool toMilliseconds(const Fields& fields, int64_t& millisecondsSinceEpoch);

// "YYYY-MM-DDTHH:MM:SS".
std::string formatDateTime(const Fields& fields);

// "+HH:MM" / "-HH:MM" with withColon, else "+HHMM" / "-HHMM".
std::string formatOffset(int32_t offsetMinutes, bool withColon);

}  // namespace ov::calendar

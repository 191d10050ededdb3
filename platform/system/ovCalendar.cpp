#include "system/ovCalendar.h"

#include <chrono>

#include "system/ovStringUtils.h"

namespace ov::calendar {

namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr int64_t kMillisecondsPerDay = 86'400'000;
constexpr int64_t kFirstDay = sys_days{year::min() / std::chrono::January / 1}.time_since_epoch().count();
constexpr int64_t kLastDay = sys_days{year::max() / std::chrono::December / 31}.time_since_epoch().count();

std::string twoDigits(int64_t value) {
    return ovStringUtils::fromInt(value, 2);
}

}  // namespace

Fields fromMilliseconds(int64_t millisecondsSinceEpoch) {
    // Floor division written so that it cannot overflow at the ends of the range.
    int64_t dayCount = millisecondsSinceEpoch / kMillisecondsPerDay;
    int64_t millisecondOfDay = millisecondsSinceEpoch % kMillisecondsPerDay;
    if (millisecondOfDay < 0) {
        millisecondOfDay += kMillisecondsPerDay;
        --dayCount;
    }
    if (dayCount < kFirstDay) {
        dayCount = kFirstDay;
        millisecondOfDay = 0;
    } else if (dayCount > kLastDay) {
        dayCount = kLastDay;
        millisecondOfDay = kMillisecondsPerDay - 1;
    }

    const sys_days date{days{dayCount}};
    const year_month_day ymd{date};
    Fields fields;
    fields.year = static_cast<int>(ymd.year());
    fields.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    fields.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    fields.weekDay = static_cast<int>(std::chrono::weekday{date}.c_encoding());
    fields.yearDay = static_cast<int>((date - sys_days{ymd.year() / std::chrono::January / 1}).count());
    const auto millisecondInt = static_cast<int>(millisecondOfDay);
    fields.hour = millisecondInt / 3'600'000;
    fields.minute = millisecondInt / 60'000 % 60;
    fields.second = millisecondInt / 1000 % 60;
    fields.millisecond = millisecondInt % 1000;
    return fields;
}

bool toMilliseconds(const Fields& fields, int64_t& millisecondsSinceEpoch) {
    if (fields.year < static_cast<int>(year::min()) || fields.year > static_cast<int>(year::max()) ||
        fields.month < 1 || fields.month > 12 || fields.day < 1 || fields.day > 31) {
        return false;
    }
    const year_month_day ymd{year{static_cast<int>(fields.year)},
                             std::chrono::month{static_cast<unsigned>(fields.month)},
                             std::chrono::day{static_cast<unsigned>(fields.day)}};
    if (!ymd.ok() || fields.hour < 0 || fields.hour > 23 || fields.minute < 0 || fields.minute > 59 ||
        fields.second < 0 || fields.second > 59 || fields.millisecond < 0 || fields.millisecond > 999) {
        return false;
    }
    const int64_t dayCount = sys_days{ymd}.time_since_epoch().count();
    millisecondsSinceEpoch = dayCount * kMillisecondsPerDay + fields.hour * int64_t{3'600'000} +
                             fields.minute * int64_t{60'000} + fields.second * int64_t{1000} +
                             fields.millisecond;
    return true;
}

std::string formatDateTime(const Fields& fields) {
    std::string text = ovStringUtils::fromInt(fields.year, 4);
    text += '-';
    text += twoDigits(fields.month);
    text += '-';
    text += twoDigits(fields.day);
    text += 'T';
    text += twoDigits(fields.hour);
    text += ':';
    text += twoDigits(fields.minute);
    text += ':';
    text += twoDigits(fields.second);
    return text;
}

std::string formatOffset(int32_t offsetMinutes, bool withColon) {
    const int64_t magnitude = offsetMinutes < 0 ? -int64_t{offsetMinutes} : int64_t{offsetMinutes};
    std::string text(1, offsetMinutes < 0 ? '-' : '+');
    text += twoDigits(magnitude / 60);
    if (withColon) {
        text += ':';
    }
    text += twoDigits(magnitude % 60);
    return text;
}

}  // namespace ov::calendar

#include "system/ovSystemUtils.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <iomanip>
#include <locale>
#include <mutex>
#include <sstream>

#include "system/ovCalendar.h"

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#endif

namespace ov {

namespace {

struct ClockSlot {
    std::mutex mutex;
    ovSystemUtils::Clock clock;
};

ClockSlot& clockSlot() {
    static ClockSlot slot;
    return slot;
}

struct VersionSlot {
    std::mutex mutex;
    SoftwareVersionInfoForStream info{"ovSystem", "1.0"};
};

VersionSlot& versionSlot() {
    static VersionSlot slot;
    return slot;
}

int64_t secondsOfFields(const std::tm& fields) {
    calendar::Fields calendarFields;
    calendarFields.year = int64_t{fields.tm_year} + 1900;
    calendarFields.month = fields.tm_mon + 1;
    calendarFields.day = fields.tm_mday;
    calendarFields.hour = fields.tm_hour;
    calendarFields.minute = fields.tm_min;
    calendarFields.second = std::min(fields.tm_sec, 59);  // a leap second counts as the one before
    int64_t milliseconds = 0;
    calendar::toMilliseconds(calendarFields, milliseconds);
    return milliseconds / 1000;
}

// The local zone's offset from UTC at an instant, as the C library knows it.
int32_t localOffsetMinutes(std::time_t seconds) {
    std::tm local{};
    std::tm utc{};
#ifdef _WIN32
    if (localtime_s(&local, &seconds) != 0 || gmtime_s(&utc, &seconds) != 0) {
        return 0;
    }
#else
    if (!localtime_r(&seconds, &local) || !gmtime_r(&seconds, &utc)) {
        return 0;
    }
#endif
    return static_cast<int32_t>((secondsOfFields(local) - secondsOfFields(utc)) / 60);
}

ovClockReading readSystemClock() {
    using namespace std::chrono;
    const int64_t milliseconds =
        duration_cast<std::chrono::milliseconds>(system_clock::now().time_since_epoch()).count();
    return {milliseconds, localOffsetMinutes(static_cast<std::time_t>(milliseconds / 1000))};
}

// The calendar fields of a reading, in UTC or shifted into its local zone.
calendar::Fields fieldsOf(const ovClockReading& reading, bool utc) {
    const int64_t shift = utc ? 0 : int64_t{reading.localOffsetMinutes} * 60'000;
    return calendar::fromMilliseconds(reading.millisecondsSinceEpoch + shift);
}

std::tm toTm(const calendar::Fields& fields) {
    std::tm broken{};
    broken.tm_year = static_cast<int>(fields.year - 1900);
    broken.tm_mon = fields.month - 1;
    broken.tm_mday = fields.day;
    broken.tm_hour = fields.hour;
    broken.tm_min = fields.minute;
    broken.tm_sec = fields.second;
    broken.tm_wday = fields.weekDay;
    broken.tm_yday = fields.yearDay;
    return broken;
}

// The C library would fill in %z and %Z from the process's zone; they are
// replaced beforehand by the reading's own zone so that the text depends on the
// reading alone. %F and %T, which Windows' C library does not know, are spelled
// out.
std::string withZoneExpanded(const char* format, bool utc, int32_t offsetMinutes) {
    std::string expanded;
    for (const char* c = format; *c != '\0'; ++c) {
        if (*c != '%' || c[1] == '\0') {
            expanded += *c;
            continue;
        }
        ++c;
        if (*c == 'F') {
            expanded += "%Y-%m-%d";
        } else if (*c == 'T') {
            expanded += "%H:%M:%S";
        } else if (*c == 'z') {
            expanded += calendar::formatOffset(offsetMinutes, false);
        } else if (*c == 'Z') {
            expanded += utc ? "UTC" : calendar::formatOffset(offsetMinutes, true);
        } else {
            expanded += '%';
            expanded += *c;
        }
    }
    return expanded;
}

}  // namespace

void ovSystemUtils::setClock(Clock clock) {
    ClockSlot& slot = clockSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.clock = std::move(clock);
}

ovClockReading ovSystemUtils::now() {
    Clock clock;
    {
        ClockSlot& slot = clockSlot();
        std::lock_guard<std::mutex> lock(slot.mutex);
        clock = slot.clock;
    }
    return clock ? clock() : readSystemClock();
}

std::string ovSystemUtils::GetCurrentDateTimeISO(bool utc) {
    const ovClockReading reading = now();
    const std::string dateTime = calendar::formatDateTime(fieldsOf(reading, utc));
    return dateTime + (utc ? "Z" : calendar::formatOffset(reading.localOffsetMinutes, true));
}

std::string ovSystemUtils::GetCurrentTimeAsString(const char* format, bool utc) {
    if (!format) {
        return {};
    }
    const ovClockReading reading = now();
    const int32_t offset = utc ? 0 : reading.localOffsetMinutes;
    const std::tm broken = toTm(fieldsOf(reading, utc));
    // The classic locale keeps names of days and months in English whatever the host installed.
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::put_time(&broken, withZoneExpanded(format, utc, offset).c_str());
    return text.str();
}

std::string SoftwareVersionInfoForStream::toString() const {
    return version.empty() ? name : name + ' ' + version;
}

SoftwareVersionInfoForStream GetSoftwareVersionForStream() {
    VersionSlot& slot = versionSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.info;
}

void SetSoftwareVersionForStream(SoftwareVersionInfoForStream info) {
    VersionSlot& slot = versionSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.info = std::move(info);
}

void ovSystemUtils::preferLargeHeapPages() {
#if defined(__linux__) && defined(__GLIBC__)
    // The heap then grows by at least this much at a time and keeps as much
    // when it shrinks, so the region marked below stays the heap's own.
    constexpr size_t kRegion = size_t{64} << 20;
    constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
    // Below the size from which malloc maps a block of its own.
    constexpr size_t kProbe = size_t{64} << 10;
    if (mallopt(M_TOP_PAD, static_cast<int>(kRegion)) == 0) {
        return;
    }
    // A block the heap's top cannot hold makes the heap grow by about the
    // whole region now: what the top held already counts towards it.
    auto* const before = static_cast<char*>(sbrk(0));
    std::array<void*, 8> probes{};
    for (void*& probe : probes) {
        probe = std::malloc(kProbe);
        if (probe == nullptr || static_cast<char*>(sbrk(0)) != before) {
            break;
        }
    }
    for (void* probe : probes) {
        std::free(probe);
    }
    auto* const end = static_cast<char*>(sbrk(0));
    if (end - before < static_cast<ptrdiff_t>(kRegion / 2)) {
        return;  // the blocks came from elsewhere than the heap's break
    }
    const uintptr_t first = (reinterpret_cast<uintptr_t>(before) + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t last = reinterpret_cast<uintptr_t>(end) & ~(kLargePage - 1);
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

}  // namespace ov

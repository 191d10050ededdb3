#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ov {

// What a clock reads: the instant and the local zone's offset from UTC at it.
struct ovClockReading {
    int64_t millisecondsSinceEpoch = 0;
    int32_t localOffsetMinutes = 0;
};

class ovSystemUtils {
public:
    using Clock = std::function<ovClockReading()>;

    // Replaces the system clock (tests fix the time so that files compare byte
    // for byte); an empty function restores the system clock.
    static void setClock(Clock clock);
    static ovClockReading now();

    // "YYYY-MM-DDTHH:MM:SS" followed by "Z" in UTC, or by the local offset
    // "+HH:MM" / "-HH:MM" in local time.
    static std::string GetCurrentDateTimeISO(bool utc);
    // strftime-style format ("%F", "%T", "%Y" ... ) of the current time, in UTC
    // when utc, else in local time, with the names of the classic locale. The
    // zone comes from the clock reading: %z gives "+HHMM", %Z gives "UTC" in UTC
    // and "+HH:MM" in local time.
    static std::string GetCurrentTimeAsString(const char* format, bool utc);

    // For a process that builds a whole scene in memory (the tool): asks the
    // system to back the first tens of megabytes of the heap with large pages,
    // which spares most of the page faults of a conversion. Call it at the
    // start of main; it does nothing where the C library or the system offers
    // no such thing (or a checker replaces the allocator).
    static void preferLargeHeapPages();
};

// Name and version of the software that writes a file, for file headers and
// comments. The host sets it once; the default names the system library.
struct SoftwareVersionInfoForStream {
    std::string name;
    std::string version;
    // "name version", or just the name when the version is empty.
    std::string toString() const;
};

SoftwareVersionInfoForStream GetSoftwareVersionForStream();
void SetSoftwareVersionForStream(SoftwareVersionInfoForStream info);

}  // namespace ov

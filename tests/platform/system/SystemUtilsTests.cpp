#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "support/TestSupport.h"
#include "system/ovSystemUtils.h"

namespace ov {
namespace {

using test::FixedClock;

// Sets the TZ variable for a while, to prove that fixed-clock texts ignore it.
class TimeZoneVariable {
public:
    explicit TimeZoneVariable(const char* zone) {
        if (const char* previous = std::getenv("TZ")) {
            mPrevious = previous;
            mHadPrevious = true;
        }
        set(zone);
    }
    ~TimeZoneVariable() { mHadPrevious ? set(mPrevious.c_str()) : unset(); }

private:
#ifdef _WIN32
    static void set(const char* zone) {
        _putenv_s("TZ", zone);
        _tzset();
    }
    static void unset() {
        set("");
    }
#else
    static void set(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    static void unset() {
        unsetenv("TZ");
        tzset();
    }
#endif
    std::string mPrevious;
    bool mHadPrevious = false;
};

TEST(SystemClock, FixedClockGivesFixedTexts) {
    const TimeZoneVariable zone("America/St_Johns");
    const FixedClock clock;
    EXPECT_EQ(ovSystemUtils::now().millisecondsSinceEpoch, 1781526896000);
    EXPECT_EQ(ovSystemUtils::GetCurrentDateTimeISO(true), "2026-06-15T12:34:56Z");
    EXPECT_EQ(ovSystemUtils::GetCurrentDateTimeISO(false), "2026-06-15T13:34:56+01:00");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("%F %T", true), "2026-06-15 12:34:56");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("%Y%m%d-%H%M%S", false), "20260615-133456");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("%a %b %d %j", true), "Mon Jun 15 166");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("%z %Z", true), "+0000 UTC");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("%z %Z", false), "+0100 +01:00");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("100%%", true), "100%");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("", true), "");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString(nullptr, true), "");
}

TEST(SystemClock, ANegativeOffsetCanFallOnThePreviousDay) {
    // 2026-01-01T00:30:00Z read in a zone ninety minutes behind UTC.
    const FixedClock clock({1767227400000, -90});
    EXPECT_EQ(ovSystemUtils::GetCurrentDateTimeISO(false), "2025-12-31T23:00:00-01:30");
    EXPECT_EQ(ovSystemUtils::GetCurrentTimeAsString("%F %z %Z", false), "2025-12-31 -0130 -01:30");
    EXPECT_EQ(ovSystemUtils::GetCurrentDateTimeISO(true), "2026-01-01T00:30:00Z");
}

TEST(SystemClock, WithoutAFixedClockTheSystemClockIsRead) {
    {
        const FixedClock clock({0, 0});
        EXPECT_EQ(ovSystemUtils::GetCurrentDateTimeISO(true), "1970-01-01T00:00:00Z");
    }
    const TimeZoneVariable zone("UTC-05:30");  // POSIX notation: 5 h 30 min east of UTC
    const auto system = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const ovClockReading reading = ovSystemUtils::now();
    EXPECT_NEAR(static_cast<double>(reading.millisecondsSinceEpoch), static_cast<double>(system), 60'000.0);
    EXPECT_EQ(reading.localOffsetMinutes, 330);
}

TEST(SoftwareVersion, DefaultsToTheSystemLibraryAndCanBeReplaced) {
    EXPECT_EQ(GetSoftwareVersionForStream().toString(), "ovSystem 1.0");
    SetSoftwareVersionForStream({"ovmesh", "3.0.0"});
    EXPECT_EQ(GetSoftwareVersionForStream().toString(), "ovmesh 3.0.0");
    SetSoftwareVersionForStream({"bare", ""});
    EXPECT_EQ(GetSoftwareVersionForStream().toString(), "bare");
    SetSoftwareVersionForStream({"ovSystem", "1.0"});
}

}  // namespace
}  // namespace ov

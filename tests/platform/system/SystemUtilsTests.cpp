#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "support/TestSupport.h"
#include "system/ovSystemUtils.h"

namespace ov {
namespace {

using S = ovSystemUtils;

// Sets the TZ variable, or with null removes it.
void setTimeZone(const char* zone) {
#if defined(_WIN32)
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    zone ? setenv("TZ", zone, 1) : unsetenv("TZ");
    tzset();
#endif
}

TEST(SystemClock, FixedClockTextsInUtcAndLocalTimeIgnoreTheProcessZone) {
    // The zone of the process must not matter.
    const std::string savedZone = std::getenv("TZ") ? std::getenv("TZ") : "";
    setTimeZone("America/St_Johns");
    {
        const test::FixedClock clock;  // 2026-06-15T12:34:56Z, local offset +01:00
        EXPECT_EQ(S::GetCurrentDateTimeISO(true), "2026-06-15T12:34:56Z");
        EXPECT_EQ(S::GetCurrentDateTimeISO(false), "2026-06-15T13:34:56+01:00");
        EXPECT_EQ(S::GetCurrentTimeAsString("%F %T", true), "2026-06-15 12:34:56");
        EXPECT_EQ(S::GetCurrentTimeAsString("%Y%m%d-%H%M%S", false), "20260615-133456");
        EXPECT_EQ(S::GetCurrentTimeAsString("%a %b %d %j", true), "Mon Jun 15 166");
        EXPECT_EQ(S::GetCurrentTimeAsString("%z %Z", true), "+0000 UTC");
        EXPECT_EQ(S::GetCurrentTimeAsString("%z %Z 100%%", false), "+0100 +01:00 100%");
        EXPECT_EQ(S::GetCurrentTimeAsString(nullptr, true), "");
    }
    // 2026-01-01T00:30:00Z read in a zone ninety minutes behind UTC falls on the previous day.
    const test::FixedClock clock({1767227400000, -90});
    EXPECT_EQ(S::GetCurrentDateTimeISO(false), "2025-12-31T23:00:00-01:30");
    EXPECT_EQ(S::GetCurrentTimeAsString("%F %z %Z", false), "2025-12-31 -0130 -01:30");
    EXPECT_EQ(S::GetCurrentDateTimeISO(true), "2026-01-01T00:30:00Z");
    setTimeZone(savedZone.empty() ? nullptr : savedZone.c_str());
}

}  // namespace
}  // namespace ov

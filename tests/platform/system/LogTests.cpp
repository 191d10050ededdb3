#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "system/ovLibInitCounter.h"
#include "system/ovLog.h"

namespace ov {
namespace {

using test::LogCapture;
using Texts = std::vector<std::string>;

void logLine(ovLogType type, const char* text) {
    ovLogObject(type, nullptr, ovLog::msInstance, nullptr, true) << text;
}

// "type|category|context|text" of each captured line.
Texts described(const LogCapture& capture) {
    Texts lines;
    for (const ovLogLine& line : capture.lines()) {
        lines.push_back(std::to_string(line.type) + '|' + line.category + '|' + line.context + '|' +
                        line.text);
    }
    return lines;
}

TEST(Log, SinksSeeEachLineWithItsTypeCategoryContextAndLocaleFreeTextFromTheEnabledTypes) {
    LogCapture capture;
    Texts seen;
    const int id = ovLog::msInstance->addSink([&seen](const ovLogLine& line) {
        seen.push_back(line.text);
        if (line.text == "careful") {
            logLine(ovLogWarning, "echo");  // sinks run outside the log's lock
        }
    });
    std::optional<test::DecimalCommaLocale> german(std::in_place);
    ovLogObject(ovLogError, "category", ovLog::msInstance, "context", true)
        << "failed " << 1234567 << ' ' << 2.5;
    german.reset();
    logLine(ovLogWarning, "careful");
    ovLog::msInstance->removeSink(id);
    logLine(ovLogWarning, "after");
    ovLogObject(ovLogError, nullptr, nullptr, nullptr, true) << "nowhere";
    EXPECT_EQ(seen, (Texts{"failed 1234567 2.5", "careful", "echo"}));
    EXPECT_EQ(described(capture),
              (Texts{"5|category|context|failed 1234567 2.5", "4|||careful", "4|||echo", "4|||after"}));

    // Lower types are written only when enabled; warnings and errors cannot be switched off.
    capture.clear();
    ovLog& logger = *ovLog::msInstance;
    logLine(ovLogDiagnostic, "hidden");
    logLine(ovLogInfo, "hidden");
    logger.setMinimumType(ovLogDiagnostic);
    logLine(ovLogDiagnostic, "shown");
    logLine(ovLogTrace, "hidden");
    logger.setMinimumType(ovLogError);
    logLine(ovLogWarning, "warning");
    logger.setMinimumType(ovLogWarning);
    EXPECT_EQ(described(capture), (Texts{"2|||shown", "4|||warning"}));
}

// Nested starts and terminations are the library lifecycle test's.
TEST(LibInitCounter, ATerminateTooManyWarns) {
    LogCapture capture;
    LibInitCounter counter("mesh", true);
    EXPECT_FALSE(counter.decrementInitCounter());
    EXPECT_EQ(described(capture), Texts{"4|||Library mesh terminated more often than initialized"});
}

}  // namespace
}  // namespace ov

#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "system/ovLibInitCounter.h"
#include "system/ovLog.h"
#include "system/ovProgressNotifier.h"

namespace ov {
namespace {

using test::LogCapture;
using Texts = std::vector<std::string>;

// Groups thousands with a comma and writes a comma as decimal mark, as many
// host locales do.
class CommaNumbers : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class GlobalLocaleGuard {
public:
    explicit GlobalLocaleGuard(const std::locale& locale) : mPrevious(std::locale::global(locale)) {}
    ~GlobalLocaleGuard() { std::locale::global(mPrevious); }

private:
    std::locale mPrevious;
};

TEST(Log, LinesCarryTypeCategoryContextAndText) {
    LogCapture capture;
    ovLogObject(ovLogError, "category", ovLog::msInstance, "context", true) << "failed " << 3 << " times";
    ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true) << "careful";
    ASSERT_EQ(capture.lines().size(), 2u);
    const ovLogLine& first = capture.lines()[0];
    EXPECT_EQ(first.type, ovLogError);
    EXPECT_EQ(first.category, "category");
    EXPECT_EQ(first.context, "context");
    EXPECT_EQ(first.text, "failed 3 times");
    EXPECT_EQ(capture.lines()[1].category, "");
    EXPECT_EQ(capture.lines()[1].context, "");
    EXPECT_EQ(capture.texts(ovLogWarning), Texts{"careful"});
    EXPECT_EQ(capture.texts(ovLogDiagnostic), Texts{});
}

TEST(Log, LowerTypesAreWrittenOnlyWhenEnabled) {
    LogCapture capture;
    ovLog& log = *ovLog::msInstance;
    EXPECT_FALSE(log.isLogTypeEnabled(ovLogDiagnostic, "plmxml"));
    ovLogObject(ovLogDiagnostic, "plmxml", &log, nullptr, false) << "hidden";
    ovLogObject(ovLogInfo, nullptr, &log, nullptr, true) << "hidden";

    log.setMinimumType(ovLogDiagnostic);
    EXPECT_TRUE(log.isLogTypeEnabled(ovLogDiagnostic, "plmxml"));
    EXPECT_FALSE(log.isLogTypeEnabled(ovLogTrace));
    ovLogObject(ovLogDiagnostic, "plmxml", &log, nullptr, false) << "shown";
    ovLogObject(ovLogTrace, nullptr, &log, nullptr, true) << "hidden";

    // Warnings and errors cannot be switched off.
    log.setMinimumType(ovLogError);
    EXPECT_TRUE(log.isLogTypeEnabled(ovLogWarning));
    ovLogObject(ovLogWarning, nullptr, &log, nullptr, false) << "warning";
    log.setMinimumType(ovLogWarning);

    EXPECT_EQ(capture.texts(ovLogDiagnostic), Texts{"shown"});
    EXPECT_EQ(capture.texts(ovLogInfo), Texts{});
    EXPECT_EQ(capture.texts(ovLogTrace), Texts{});
    EXPECT_EQ(capture.texts(ovLogWarning), Texts{"warning"});
}

TEST(Log, NullLogWritesNothing) {
    LogCapture capture;
    ovLogObject(ovLogError, nullptr, nullptr, nullptr, true) << "nowhere";
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Log, NumbersIgnoreTheGlobalLocale) {
    LogCapture capture;
    const GlobalLocaleGuard guard(std::locale(std::locale::classic(), new CommaNumbers));
    ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true) << 1234567 << ' ' << 2.5;
    EXPECT_EQ(capture.texts(ovLogWarning), Texts{"1234567 2.5"});
}

TEST(Log, EverySinkSeesEachLineUntilRemoved) {
    LogCapture capture;
    ovLog& log = *ovLog::msInstance;
    Texts seen;
    const int id = log.addSink([&seen](const ovLogLine& line) { seen.push_back(line.text); });
    ovLogObject(ovLogError, nullptr, &log, nullptr, true) << "one";
    log.removeSink(id);
    ovLogObject(ovLogError, nullptr, &log, nullptr, true) << "two";
    EXPECT_EQ(seen, Texts{"one"});
    EXPECT_EQ(capture.texts(ovLogError), (Texts{"one", "two"}));
}

TEST(Log, ASinkMayLogItself) {
    LogCapture capture;
    ovLog& log = *ovLog::msInstance;
    const int id = log.addSink([&log](const ovLogLine& line) {
        if (line.text == "first") {
            ovLogObject(ovLogWarning, nullptr, &log, nullptr, true) << "echo";
        }
    });
    ovLogObject(ovLogWarning, nullptr, &log, nullptr, true) << "first";
    log.removeSink(id);
    EXPECT_EQ(capture.texts(ovLogWarning), (Texts{"first", "echo"}));
}

TEST(LogCaptureSupport, InstallsAndRemovesAGlobalLogOnlyWhenThereIsNone) {
    ASSERT_EQ(ovLog::msInstance, nullptr);
    {
        LogCapture outer;
        ovLog* installed = ovLog::msInstance;
        ASSERT_NE(installed, nullptr);
        {
            LogCapture inner;
            EXPECT_EQ(ovLog::msInstance, installed);
            ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true) << "both";
            EXPECT_EQ(inner.lines().size(), 1u);
        }
        EXPECT_EQ(ovLog::msInstance, installed);
        EXPECT_EQ(outer.lines().size(), 1u);
    }
    EXPECT_EQ(ovLog::msInstance, nullptr);
}

TEST(LibInitCounter, OnlyTheOutermostPairDoesTheWork) {
    LibInitCounter counter("mesh", true);
    EXPECT_EQ(counter.name(), "mesh");
    EXPECT_TRUE(counter.incrementInitCounter());
    EXPECT_FALSE(counter.incrementInitCounter());
    EXPECT_FALSE(counter.incrementInitCounter());
    EXPECT_EQ(counter.count(), 3);
    EXPECT_FALSE(counter.decrementInitCounter());
    EXPECT_FALSE(counter.decrementInitCounter());
    EXPECT_TRUE(counter.decrementInitCounter());
    EXPECT_EQ(counter.count(), 0);
    EXPECT_TRUE(counter.incrementInitCounter());
}

TEST(LibInitCounter, ATerminateTooManyStaysAtZero) {
    LogCapture capture;
    LibInitCounter warning("mesh", true);
    EXPECT_FALSE(warning.decrementInitCounter());
    EXPECT_EQ(warning.count(), 0);
    ASSERT_EQ(capture.texts(ovLogWarning).size(), 1u);
    EXPECT_NE(capture.texts(ovLogWarning)[0].find("mesh"), std::string::npos);
    EXPECT_TRUE(warning.incrementInitCounter());

    capture.clear();
    LibInitCounter silent("quiet", false);
    EXPECT_FALSE(silent.decrementInitCounter());
    EXPECT_TRUE(capture.lines().empty());
}

// Records the calls it receives.
class RecordingNotifier : public ovProgressNotifierInterface {
public:
    bool isCanceled() override { return false; }
    void beginStep(double amount, uint32_t stepIndex) override {
        events.push_back("step " + std::to_string(stepIndex) + " " +
                         std::to_string(static_cast<int>(amount)));
    }
    void advanceStep(double) override {}

    std::vector<std::string> events;

protected:
    void onStepGroupBegin(uint32_t stepCount, double totalAmount) override {
        events.push_back("begin " + std::to_string(stepCount) + " " +
                         std::to_string(static_cast<int>(totalAmount)));
    }
    void onStepGroupEnd() override { events.emplace_back("end"); }
};

TEST(ProgressNotifier, TheCloserEndsItsGroupOnEveryPath) {
    RecordingNotifier notifier;
    {
        ovProgressNotifierGroupCloser closer;
        notifier.beginStepGroup(2, 10, closer);
        notifier.beginStep(4, 0);
    }
    { ovProgressNotifierGroupCloser unused; }
    EXPECT_EQ(notifier.events, (Texts{"begin 2 10", "step 0 4", "end"}));
}

TEST(ProgressNotifier, AReusedCloserEndsTheGroupItHeld) {
    RecordingNotifier first;
    RecordingNotifier second;
    {
        ovProgressNotifierGroupCloser closer;
        first.beginStepGroup(1, 1, closer);
        second.beginStepGroup(3, 3, closer);
        EXPECT_EQ(first.events, (Texts{"begin 1 1", "end"}));
    }
    EXPECT_EQ(second.events, (Texts{"begin 3 3", "end"}));
}

}  // namespace
}  // namespace ov

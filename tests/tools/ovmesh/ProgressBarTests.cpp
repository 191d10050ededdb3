#include <gtest/gtest.h>

#include <sstream>

#include "ovmesh/ProgressBar.h"

namespace ov::test {
namespace {

using ovmesh::ProgressBar;
using Clock = std::chrono::steady_clock;

// A clock that only moves when told.
struct ManualClock {
    Clock::time_point now{};
    ProgressBar::Clock reader() {
        return [this] { return now; };
    }
    void advance(int milliseconds) { now += std::chrono::milliseconds(milliseconds); }
};

TEST(ProgressBarTest, TurnsStepsIntoAShareOfTheWhole) {
    std::ostringstream out;
    ProgressBar bar(out, "part.stl", false);
    ovProgressNotifierGroupCloser closer;
    bar.beginStepGroup(2, 10, closer);
    EXPECT_EQ(bar.fraction(), 0.0);
    bar.beginStep(100, 0);
    for (int i = 0; i < 50; ++i) {
        bar.advanceStep(1);
    }
    EXPECT_DOUBLE_EQ(bar.fraction(), 0.25);
    bar.beginStep(10, 1);
    bar.advanceStep(5);
    EXPECT_DOUBLE_EQ(bar.fraction(), 0.75);
    bar.advanceStep(50);  // more than announced stays at the end of the step
    EXPECT_DOUBLE_EQ(bar.fraction(), 1.0);
}

TEST(ProgressBarTest, ANestedGroupIsTheProgressOfItsParentsStep) {
    std::ostringstream out;
    ProgressBar bar(out, "x", false);
    ovProgressNotifierGroupCloser outer;
    bar.beginStepGroup(4, 4, outer);
    bar.beginStep(1, 2);
    {
        ovProgressNotifierGroupCloser inner;
        bar.beginStepGroup(1, 8, inner);
        bar.advanceStep(4);  // no step begun: a share of the group's amount
        EXPECT_DOUBLE_EQ(bar.fraction(), (2 + 0.5) / 4);
    }
    EXPECT_DOUBLE_EQ(bar.fraction(), 3.0 / 4);
}

TEST(ProgressBarTest, AnInvisibleBarWritesNothing) {
    std::ostringstream out;
    ManualClock clock;
    {
        ProgressBar bar(out, "x", false, clock.reader());
        ovProgressNotifierGroupCloser closer;
        bar.beginStepGroup(1, 10, closer);
        clock.advance(1000);
        bar.advanceStep(5);
    }
    EXPECT_TRUE(out.str().empty());
}

TEST(ProgressBarTest, DrawsOnlyLastingWorkAtMostOncePerInterval) {
    std::ostringstream out;
    ManualClock clock;
    ProgressBar bar(out, "part.stl", true, clock.reader());
    ovProgressNotifierGroupCloser closer;
    bar.beginStepGroup(1, 100, closer);
    bar.beginStep(100, 0);
    bar.advanceStep(10);
    EXPECT_TRUE(out.str().empty()) << "drawn before the work lasted";

    clock.advance(100);
    bar.advanceStep(10);
    EXPECT_NE(out.str().find("part.stl ["), std::string::npos);
    EXPECT_NE(out.str().find("] 20%"), std::string::npos) << out.str();

    const size_t drawn = out.str().size();
    for (int i = 0; i < 50; ++i) {
        clock.advance(1);
        bar.advanceStep(1);
    }
    EXPECT_EQ(out.str().size(), drawn) << "redrawn within the interval";
    clock.advance(100);
    bar.advanceStep(1);
    EXPECT_NE(out.str().find("] 71%"), std::string::npos) << out.str();
}

TEST(ProgressBarTest, TheEndOfTheWorkWipesTheLine) {
    std::ostringstream out;
    ManualClock clock;
    ProgressBar bar(out, "p", true, clock.reader());
    {
        ovProgressNotifierGroupCloser closer;
        bar.beginStepGroup(1, 2, closer);
        clock.advance(200);
        bar.advanceStep(1);
    }
    const std::string text = out.str();
    ASSERT_FALSE(text.empty());
    const size_t wipe = text.rfind('\r', text.size() - 2);
    EXPECT_EQ(text.back(), '\r');
    EXPECT_EQ(text.find_first_not_of(' ', wipe + 1), text.size() - 1) << "the last line is not blank";
}

}  // namespace
}  // namespace ov::test

#include "ovmesh/output/ProgressBar.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "ovmesh/Interruption.h"

namespace ov::ovmesh {

namespace {

constexpr size_t kBarWidth = 30;

double clampedRatio(double part, double whole) {
    if (!(whole > 0.0)) {
        return 0.0;
    }
    return std::clamp(part / whole, 0.0, 1.0);
}

}  // namespace

double ProgressBar::Group::ownFraction() const {
    if (!stepStarted) {
        return clampedRatio(done, totalAmount);
    }
    return (static_cast<double>(stepIndex) + clampedRatio(done, stepAmount)) / std::max(stepCount, 1u);
}

ProgressBar::ProgressBar(std::ostream& stream, std::string label, bool visible, Clock clock)
    : mStream(stream), mLabel(std::move(label)), mVisible(visible), mClock(std::move(clock)) {}

ProgressBar::~ProgressBar() {
    clearLine();
}

bool ProgressBar::isCanceled() {
    return interruptionRequested();
}

void ProgressBar::onStepGroupBegin(uint32_t stepCount, double totalAmount) {
    if (mGroups.empty()) {
        mStarted = mClock();
    }
    mGroups.push_back(Group{stepCount, totalAmount});
}

void ProgressBar::onStepGroupEnd() {
    if (mGroups.empty()) {
        return;
    }
    mGroups.pop_back();
    if (mGroups.empty()) {
        clearLine();
    } else {
        // The finished group was one step of its parent: that step is done.
        Group& parent = mGroups.back();
        parent.done = parent.stepStarted ? parent.stepAmount : parent.done;
        redrawIfDue();
    }
}

void ProgressBar::beginStep(double amount, uint32_t stepIndex) {
    if (mGroups.empty()) {
        return;
    }
    Group& group = mGroups.back();
    group.stepStarted = true;
    group.stepIndex = stepIndex;
    group.stepAmount = amount;
    group.done = 0.0;
    redrawIfDue();
}

void ProgressBar::advanceStep(double amount) {
    if (mGroups.empty()) {
        return;
    }
    mGroups.back().done += amount;
    redrawIfDue();
}

double ProgressBar::fraction() const {
    // From the innermost group out: an open inner group is the progress of
    // the step its parent is in.
    double inner = 0.0;
    for (auto group = mGroups.rbegin(); group != mGroups.rend(); ++group) {
        if (group == mGroups.rbegin()) {
            inner = group->ownFraction();
        } else if (group->stepStarted) {
            inner = (static_cast<double>(group->stepIndex) + inner) / std::max(group->stepCount, 1u);
        }
        inner = std::clamp(inner, 0.0, 1.0);
    }
    return inner;
}

void ProgressBar::redrawIfDue() {
    if (!mVisible) {
        return;
    }
    const auto now = mClock();
    if (now - mStarted < kRedrawInterval || (mDrawnWidth > 0 && now - mLastDraw < kRedrawInterval)) {
        return;
    }
    mLastDraw = now;
    draw();
}

void ProgressBar::draw() {
    const double done = fraction();
    const auto filled = static_cast<size_t>(std::floor(done * kBarWidth));
    const int percent = static_cast<int>(std::floor(done * 100.0));
    std::string line = mLabel + " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] ";
    line += std::to_string(percent) + "%";
    mStream << '\r' << line;
    if (line.size() < mDrawnWidth) {
        mStream << std::string(mDrawnWidth - line.size(), ' ');
    }
    mStream << std::flush;
    mDrawnWidth = std::max(mDrawnWidth, line.size());
}

void ProgressBar::clearLine() {
    if (mDrawnWidth == 0) {
        return;
    }
    mStream << '\r' << std::string(mDrawnWidth, ' ') << '\r' << std::flush;
    mDrawnWidth = 0;
}

}  // namespace ov::ovmesh

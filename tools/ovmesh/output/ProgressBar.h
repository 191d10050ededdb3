#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "system/ovProgressNotifier.h"

namespace ov::ovmesh {

// A one-line progress bar for the library's long work. It turns the notifier's
// groups of steps (nested groups included) into one percentage of the whole,
// and draws it only when the work lasts: not before the first redraw interval
// has passed, then at most once per interval.
class ProgressBar : public ovProgressNotifierInterface {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    // An invisible bar only keeps count.
    ProgressBar(std::ostream& stream, std::string label, bool visible,
                Clock clock = &std::chrono::steady_clock::now);
    ~ProgressBar() override;
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Cancelled once a signal asked the tool to stop.
    bool isCanceled() override;
    void beginStep(double amount, uint32_t stepIndex) override;
    void advanceStep(double amount) override;

    // How much of the outermost open group is done, from 0 to 1.
    double fraction() const;
    // Wipes the bar off its line so that a message can be printed there; the
    // next redraw brings it back.
    void clearLine();

protected:
    void onStepGroupBegin(uint32_t stepCount, double totalAmount) override;
    void onStepGroupEnd() override;

private:
    struct Group {
        uint32_t stepCount;
        double totalAmount;
        bool stepStarted = false;
        uint32_t stepIndex = 0;
        double stepAmount = 0.0;
        double done = 0.0;

        double ownFraction() const;
    };

    void redrawIfDue();
    void draw();

    std::ostream& mStream;
    std::string mLabel;
    bool mVisible;
    Clock mClock;
    std::vector<Group> mGroups;
    std::chrono::steady_clock::time_point mStarted;
    std::chrono::steady_clock::time_point mLastDraw;
    size_t mDrawnWidth = 0;
};

}  // namespace ov::ovmesh

#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "system/ovProgressNotifier.h"

namespace ov::test {

// Records the calls a saver makes as texts ("group 2 6", "step 6 1", "end")
// and answers isCanceled true from its cancelFrom-th call on (counted from 1;
// 0 never cancels).
class RecordingProgress : public ovProgressNotifierInterface {
public:
    explicit RecordingProgress(int cancelFrom = 0) : mCancelFrom(cancelFrom) {}

    bool isCanceled() override { return ++mQuestions >= mCancelFrom && mCancelFrom > 0; }
    void beginStep(double amount, uint32_t stepIndex) override { record("step", amount, stepIndex); }
    void advanceStep(double amount) override { record("advance", amount); }
    const std::vector<std::string>& calls() const { return mCalls; }
    int questions() const { return mQuestions; }

protected:
    void onStepGroupBegin(uint32_t stepCount, double totalAmount) override {
        record("group", stepCount, totalAmount);
    }
    void onStepGroupEnd() override { record("end"); }

private:
    template <typename... Numbers>
    void record(const char* name, Numbers... numbers) {
        std::ostringstream call;
        call << name;
        ((call << ' ' << numbers), ...);
        mCalls.push_back(call.str());
    }

    int mCancelFrom;
    int mQuestions = 0;
    std::vector<std::string> mCalls;
};

}  // namespace ov::test

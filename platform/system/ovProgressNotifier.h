#pragma once

#include <cstdint>

namespace ov {

class ovProgressNotifierGroupCloser;

// Progress of a long operation, reported as groups of steps with amounts.
// Also the cancel interface of long reads (the XML parser asks isCanceled).
class ovProgressNotifierInterface {
public:
    virtual ~ovProgressNotifierInterface();

    // Opens a group of stepCount steps whose amounts sum to totalAmount; the
    // closer ends the group when it is destroyed.
    void beginStepGroup(uint32_t stepCount, double totalAmount, ovProgressNotifierGroupCloser& closer);

    virtual bool isCanceled() = 0;
    virtual void beginStep(double amount, uint32_t stepIndex) = 0;
    virtual void advanceStep(double amount) = 0;

protected:
    virtual void onStepGroupBegin(uint32_t stepCount, double totalAmount) = 0;
    virtual void onStepGroupEnd() = 0;

private:
    friend class ovProgressNotifierGroupCloser;
};

// Ends the step group it was given to, if any, when it goes out of scope, so
// that every early return closes the group.
class ovProgressNotifierGroupCloser {
public:
    ovProgressNotifierGroupCloser() = default;
    ~ovProgressNotifierGroupCloser();
    ovProgressNotifierGroupCloser(const ovProgressNotifierGroupCloser&) = delete;
    ovProgressNotifierGroupCloser& operator=(const ovProgressNotifierGroupCloser&) = delete;

private:
    friend class ovProgressNotifierInterface;
    ovProgressNotifierInterface* mNotifier = nullptr;
};

// Advances the notifier, if any, by amount; answers true when the user has
// cancelled, so that a writer stops at once.
inline bool advanceAndCheckCancel(ovProgressNotifierInterface* progress, double amount = 1.0) {
    if (progress == nullptr) {
        return false;
    }
    progress->advanceStep(amount);
    return progress->isCanceled();
}

}  // namespace ov

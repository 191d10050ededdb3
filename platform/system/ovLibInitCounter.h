#pragma once

#include <string>

namespace ov {

// Nesting counter of a library's initialise/terminate pairs: only the first
// initialise and the matching last terminate do the work.
class LibInitCounter {
public:
    // With warnOnImbalance, a terminate without a matching initialise is
    // reported to the log as a warning.
    LibInitCounter(std::string name, bool warnOnImbalance);
    // True for the call that must initialise.
    bool incrementInitCounter();
    // True for the call that must terminate.
    bool decrementInitCounter();
    int count() const { return mCount; }
    const std::string& name() const { return mName; }

private:
    std::string mName;
    bool mWarnOnImbalance;
    int mCount = 0;
};

}  // namespace ov

#include "system/ovLibInitCounter.h"

#include "system/ovLog.h"

namespace ov {

LibInitCounter::LibInitCounter(std::string name, bool warnOnImbalance)
    : mName(std::move(name)), mWarnOnImbalance(warnOnImbalance) {}

bool LibInitCounter::incrementInitCounter() {
    return ++mCount == 1;
}

bool LibInitCounter::decrementInitCounter() {
    if (mCount == 0) {
        if (mWarnOnImbalance) {
            ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true)
                << "Library " << mName << " terminated more often than initialized";
        }
        return false;
    }
    return --mCount == 0;
}

}  // namespace ov

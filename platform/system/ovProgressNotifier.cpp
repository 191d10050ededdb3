#include "system/ovProgressNotifier.h"

namespace ov {

ovProgressNotifierInterface::~ovProgressNotifierInterface() = default;

void ovProgressNotifierInterface::beginStepGroup(uint32_t stepCount, double totalAmount,
                                                 ovProgressNotifierGroupCloser& closer) {
    // A closer serves one group at a time: reusing it ends the group it held.
    if (closer.mNotifier) {
        closer.mNotifier->onStepGroupEnd();
    }
    closer.mNotifier = this;
    onStepGroupBegin(stepCount, totalAmount);
}

ovProgressNotifierGroupCloser::~ovProgressNotifierGroupCloser() {
    if (mNotifier) {
        mNotifier->onStepGroupEnd();
    }
}

}  // namespace ov

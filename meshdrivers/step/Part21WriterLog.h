#pragma once

#include "system/ovLog.h"

namespace ov::step {

// A failure line on the global log; it is written when the returned object is
// destroyed, at the end of the statement that fills it.
inline ovLogObject part21ErrorLine() {
    return ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true);
}

}  // namespace ov::step

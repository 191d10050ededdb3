#pragma once

#include "system/ovLog.h"

namespace ov {

// A diagnostic line under the empty category, built only when someone reads it.
template <typename... Parts>
void logDiagnostic(const Parts&... parts) {
    ovLog* log = ovLog::msInstance;
    if (log && !log->isLogTypeEnabled(ovLogDiagnostic, "")) {
        return;
    }
    ovLogObject line(ovLogDiagnostic, "", log, nullptr, false);
    (line << ... << parts);
}

}  // namespace ov

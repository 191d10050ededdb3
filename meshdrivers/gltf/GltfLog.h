#pragma once

// The glTF driver's log lines: diagnostics under the empty category, built
// only when someone reads them, and warnings and failures.

#include "system/ovLog.h"

namespace ov::gltf {

template <typename... Parts>
void logDiagnostic(const Parts&... parts) {
    ovLog* log = ovLog::msInstance;
    if (log && !log->isLogTypeEnabled(ovLogDiagnostic, "")) {
        return;
    }
    ovLogObject line(ovLogDiagnostic, "", log, nullptr, false);
    (line << ... << parts);
}

template <typename... Parts>
void logLine(ovLogType type, const Parts&... parts) {
    ovLogObject line(type, nullptr, ovLog::msInstance, nullptr, true);
    (line << ... << parts);
}

template <typename... Parts>
void logError(const Parts&... parts) {
    logLine(ovLogError, parts...);
}

}  // namespace ov::gltf

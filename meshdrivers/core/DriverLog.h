#pragma once

// The drivers' lines on the host's log.

#include "system/ovLog.h"

namespace ov {

// A line of the given type, written when the returned object is destroyed, at
// the end of the statement that fills it: logLine(ovLogError) << ...;
inline ovLogObject logLine(ovLogType type, const char* category = nullptr) {
    return ovLogObject(type, category, ovLog::msInstance, nullptr, true);
}

template <typename... Parts>
void logError(const Parts&... parts) {
    (logLine(ovLogError) << ... << parts);
}

template <typename... Parts>
void logWarning(const Parts&... parts) {
    (logLine(ovLogWarning) << ... << parts);
}

// A diagnostic line under the category, built only when someone reads it.
template <typename... Parts>
void logDiagnosticIn(const char* category, const Parts&... parts) {
    const ovLog* log = ovLog::msInstance;
    if (log && !log->isLogTypeEnabled(ovLogDiagnostic, category)) {
        return;
    }
    (logLine(ovLogDiagnostic, category) << ... << parts);
}

template <typename... Parts>
void logDiagnostic(const Parts&... parts) {
    logDiagnosticIn("", parts...);
}

}  // namespace ov

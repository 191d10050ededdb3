#pragma once

// The glTF driver's log lines: diagnostics (core/DiagnosticLog.h), warnings and failures.

#include "core/DiagnosticLog.h"
#include "system/ovLog.h"

namespace ov::gltf {

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

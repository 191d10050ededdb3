#pragma once

#include "system/ovLog.h"

namespace ov::plmxml {

// One diagnostic line under the category "plmxml"; the text is only built
// when the log would keep it.
template <typename... Parts>
void logDiagnostic(const Parts&... parts) {
    constexpr const char* kCategory = "plmxml";
    ovLog* log = ovLog::msInstance;
    if (log && !log->isLogTypeEnabled(ovLogDiagnostic, kCategory)) {
        return;
    }
    ovLogObject line(ovLogDiagnostic, kCategory, log, nullptr, true);
    (line << ... << parts);
}

}  // namespace ov::plmxml

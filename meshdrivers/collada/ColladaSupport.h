#pragma once

// What the parts of the COLLADA writer share: the progress step that may
// cancel and the diagnostic log lines.

#include <string>

#include "core/DriverLog.h"
#include "system/ovLog.h"
#include "system/ovProgressNotifier.h"

namespace ov::collada {

// A reference to the element whose id is the given parts joined: "#" and the id.
template <typename... Parts>
std::string referenceTo(const Parts&... parts) {
    std::string reference = "#";
    (reference.append(parts), ...);
    return reference;
}

}  // namespace ov::collada

#include "ovmesh/output/DriverMessages.h"

#include "ovmesh/Paths.h"
#include "ovmesh/output/ConsoleLog.h"

namespace ov::ovmesh {

std::vector<DriverMessage> driverMessagesAbout(const std::string& path, const ovCoreMeshDriver& driver) {
    const std::string fileName = utf8Path(fsPath(path).filename());
    std::vector<DriverMessage> messages;
    for (const auto& [text, code] : driver.getErrorMessages()) {
        const bool warning = text.starts_with("W: ");
        const bool prefixed = warning || text.starts_with("E: ");
        std::string said = text.substr(prefixed ? 3 : 0);
        // The readers of model files name the file (and line) themselves.
        if (said.find(path) == std::string::npos) {
            said = fileName + ": " + said;
        }
        messages.push_back({warning, std::move(said)});
    }
    return messages;
}

void printDriverMessages(ConsoleLog& console, const std::vector<DriverMessage>& messages, bool workFailed) {
    for (const DriverMessage& message : messages) {
        if (message.warning || !workFailed) {
            console.warning(message.text);
        } else {
            console.error(message.text);
        }
    }
}

}  // namespace ov::ovmesh

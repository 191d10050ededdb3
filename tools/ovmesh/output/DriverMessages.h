#pragma once

#include <string>
#include <vector>

#include "ovmesh/ToolError.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov::ovmesh {

class ConsoleLog;

// One message a driver kept about a request, for a person.
struct DriverMessage {
    bool warning = false;
    std::string text;
};

// The driver's messages about its last request on path: those starting with
// "W: " are warnings, every other one an error. The prefix ("W: ", "E: ")
// gives way to the file's name, unless the message names path itself.
std::vector<DriverMessage> driverMessagesAbout(const std::string& path, const ovCoreMeshDriver& driver);

// One line each on the console. Errors about work that succeeded show as
// warnings, since they did not stop it.
void printDriverMessages(ConsoleLog& console, const std::vector<DriverMessage>& messages, bool workFailed);

// A load the driver refused, with what it said about it.
class LoadFailure : public ToolError {
public:
    LoadFailure(const std::string& what, std::vector<DriverMessage> messages)
        : ToolError(what), mMessages(std::move(messages)) {}
    const std::vector<DriverMessage>& messages() const { return mMessages; }

private:
    std::vector<DriverMessage> mMessages;
};

}  // namespace ov::ovmesh

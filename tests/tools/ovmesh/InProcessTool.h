#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "ovmesh/Cli.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {

// Runs the tool in this process on the arguments (after "ovmesh").
inline ToolRun ovmesh(std::vector<std::string> arguments) {
    // In a test program the tool's own folder holds no resources.
    arguments.insert(arguments.begin(), {"ovmesh", "--resources", resourcesDir().string()});
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    std::ostringstream out, err;
    const int code = ovmesh::runOvmesh(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return {code, out.str(), err.str()};
}

}  // namespace ov::test

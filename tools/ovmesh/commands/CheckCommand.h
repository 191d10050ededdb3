#pragma once

#include <cstddef>
#include <string>

#include "ovmesh/commands/Commands.h"

namespace CLI {
class App;
}

namespace ov::ovmesh {

struct CheckOptions {
    std::string input;
    // Empty: the schema the library loads from the resource folder.
    std::string schema;
    // Findings printed at most; all are counted in the summary.
    size_t maxFindings = 1000;
};

// The "check" subcommand and its options.
void addCheckCommand(CLI::App& app, CheckOptions& options);

// Checks a STEP exchange file against the EXPRESS schema: prints each finding
// with its line and a summary; 1 when there are errors, 0 otherwise.
int runCheck(Session& session, const CheckOptions& options, const std::string& resourceFolder);

}  // namespace ov::ovmesh

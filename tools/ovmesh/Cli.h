#pragma once

#include <iosfwd>

namespace ov::ovmesh {

// The whole tool: parses the command line, runs the command and answers the
// exit code (0 only on success). Messages go to out and err; progress bars
// are drawn on err only when stderrIsTerminal.
int runOvmesh(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool stderrIsTerminal);

}  // namespace ov::ovmesh

#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace ov::ovmesh {

// Exit codes besides 0 (success) and those of a signal (128 + its number).
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// What the command-line definition does not say itself: the exit codes and
// examples, closing the top-level --help.
std::string usageFooter();

// The manual page (roff, section 1) of the tool whose command line app
// defines: every command, option and positional argument --help shows, with
// the same names and texts, then the exit codes, examples and files. Built
// from the definition itself, so the two cannot disagree.
void writeManualPage(const CLI::App& app, std::ostream& out);

}  // namespace ov::ovmesh

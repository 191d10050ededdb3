#pragma once

#include <string>

#include "ovmesh/commands/Commands.h"

namespace ov::ovmesh {

// The name that stands for the standard input as an input, and for the
// standard output as an output.
constexpr const char* kStandardStream = "-";
// What the standard input is called in messages and in the scene it gives.
constexpr const char* kStandardInputName = "stdin";

// A stream has no extension to name its format: option (--from, --to) names
// it, and names it only for a stream. ToolError, in terms of role ("input",
// "output"), when path and format disagree about that.
void requireStreamFormat(const std::string& path, const std::string& format, const char* option,
                         const char* role);

// ToolError unless a driver saves files of the extension format; option names
// where it came from.
void requireSavableFormat(const std::string& format, const char* option);

// The whole standard input; Interrupted when a signal stopped the reading.
std::string readStandardInput();

// Converts as runConvert does, to the standard output in the format
// options.to names. The output is written to a private temporary folder
// first, so that a failure sends nothing; formats that write more than one
// file for the scene (COLLADA with texture images, STEP with part files) are
// refused, and nothing else is printed on the standard output.
int convertToStandardOutput(Session& session, const ConvertOptions& options);

}  // namespace ov::ovmesh

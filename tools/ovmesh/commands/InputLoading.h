#pragma once

#include <string>

#include "ovmesh/commands/Commands.h"
#include "ovmesh/input/ReadOptions.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// Has the PLM XML driver read the loads of options as reading says.
void setPlmXmlReading(LoadMeshOptions& options, PlmXmlReading reading);

// Loads a command's input with a progress bar and prints, one line each, what
// the driver said about it (as errors only when the load failed). A path "-" reads the standard input, in the
// format (an extension) that --from gave; format must be empty otherwise.
// ToolError when the input cannot be read; the driver's messages are printed
// first. A signal while the input is read ends the tool at once.
ovPointer<ovSpatial> loadInput(Session& session, const std::string& path, const std::string& format,
                               const LoadMeshOptions& options, const ReadOptions& reading = {});

}  // namespace ov::ovmesh

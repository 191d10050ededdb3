#pragma once

#include <string>

#include "ovmesh/commands/Commands.h"

namespace ov::ovmesh {

struct TreeOptions {
    std::string input;
    // The format of the standard input, when input is "-".
    std::string from;
    // One JSON document instead of one indented line per node.
    bool json = false;
    bool importMetadata = true;
    // The files the input names must lie in its folder's tree.
    bool confine = false;
    step::StepLoadSettings meshing;
    PlmXmlReading plmxml = PlmXmlReading::Auto;
};

// Prints the node tree of the input: per node its name, kind (node, external
// reference with its path, mesh, line), placement and metadata; in JSON also
// the vertices, triangles, segments and materials it holds, and at the root
// the totals of the whole tree.
int runTree(Session& session, const TreeOptions& options);

}  // namespace ov::ovmesh

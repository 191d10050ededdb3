#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ov::ovmesh {

// The key of an OBJ object or group name: trimmed, "default" when empty, as
// both the scan and the import name their nodes.
std::string objGroupKey(std::string_view name);

// A polyline of an OBJ "l" element, with 0-based position indices.
struct ObjPolyline {
    std::string group;
    std::string material;  // the material in use ("usemtl"), empty when none
    std::vector<int> vertices;
};

// What a check of an OBJ text found, line by line.
struct ObjScan {
    int positionCount = 0;
    int normalCount = 0;
    int texcoordCount = 0;
    int faceCount = 0;
    // Groups holding a face or a polyline, in order of first appearance.
    std::vector<std::string> groups;
    std::vector<ObjPolyline> polylines;
    // Names given to "usemtl", in order of first use.
    std::vector<std::string> materialsUsed;
    // The text for the reader: line for line the same, but element lines lose
    // their trailing comments, on which the reader would stumble.
    std::string readerText;
};

// Checks the OBJ statements the import relies on, which the reader lets pass
// silently: every number of a "v", "vn" or "vt" is readable and finite, every
// index of an "f" or "l" is a whole number that names an existing element,
// faces have at least 3 vertices and lines at least 2. Collects the "l"
// elements on the way. ToolError "source:line: reason" at the first fault, and
// "source: ..." for a text with nothing to draw or mesh.
ObjScan scanObj(std::string_view text, const std::string& source);

}  // namespace ov::ovmesh

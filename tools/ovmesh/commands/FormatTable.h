#pragma once

#include <string>
#include <vector>

#include "scenegraph/ovCoreMeshDriver.h"

namespace ov::ovmesh {

// Who serves a readable extension besides the library's drivers.
inline constexpr const char* kOwnReader = "ovmesh";
inline constexpr const char* kAssimpReader = "assimp";

struct FormatRow {
    // Lower case, without the dot.
    std::string extension;
    // What reads or writes it: kOwnReader, a driver's class name or kAssimpReader.
    std::string handler;
    // The format, as far as its reader names it; may be empty.
    std::string format;
};

// Every extension the tool reads and writes, each once, with what serves it:
// reads by the tool's OBJ reader, then the library's load drivers, then
// assimp's importers in their order; writes by the library's save drivers in
// registration order. The listing and the choice of a reader both walk it.
struct FormatTable {
    std::vector<FormatRow> reads;
    std::vector<FormatRow> writes;
};

FormatTable formatTable();

// The reading row of an extension; null when nothing reads it.
const FormatRow* readingRowOf(const FormatTable& table, const std::string& extension);

// The driver's class name without namespaces, as the compiler records it.
std::string driverName(const ovCoreMeshDriver& driver);

}  // namespace ov::ovmesh

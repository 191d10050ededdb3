#pragma once

#include <string>
#include <vector>

namespace ov::ovmesh {

struct FormatRow {
    // Lower case, without the dot.
    std::string extension;
    // The name of the driver that reads or writes it.
    std::string handler;
    // The format, as far as its driver describes it; may be empty.
    std::string format;
};

// Every extension the tool reads and writes, each once, with the registered
// driver that serves it: the first in registration order that announces it,
// as the driver manager picks them. .xml files are read by the PLM XML driver,
// which looks inside. The listing and the choice of a reader both walk it.
struct FormatTable {
    std::vector<FormatRow> reads;
    std::vector<FormatRow> writes;
};

FormatTable formatTable();

// The reading row of an extension; null when nothing reads it.
const FormatRow* readingRowOf(const FormatTable& table, const std::string& extension);

}  // namespace ov::ovmesh

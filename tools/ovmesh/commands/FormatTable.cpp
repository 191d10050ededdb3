#include "ovmesh/commands/FormatTable.h"

#include <algorithm>

#include "scenegraph/ovIoManager.h"

namespace ov::ovmesh {

namespace {

// PLM XML documents come as .xml files too; the tool looks inside.
constexpr const char* kXmlExtension = "xml";
constexpr const char* kPlmXmlExtension = "plmxml";

void addOnce(std::vector<FormatRow>& rows, FormatRow row) {
    if (std::none_of(rows.begin(), rows.end(),
                     [&row](const FormatRow& known) { return known.extension == row.extension; })) {
        rows.push_back(std::move(row));
    }
}

}  // namespace

FormatTable formatTable() {
    FormatTable table;
    for (const ovCoreMeshDriver* driver : ovIoManager::msInstance.getDrivers()) {
        for (const std::string& extension : driver->getLoadExtensions()) {
            addOnce(table.reads, {extension, driver->getName(), driver->describeLoadExtension(extension)});
            if (extension == kPlmXmlExtension &&
                driver == ovIoManager::msInstance.findLoadDriver(extension)) {
                addOnce(table.reads, {kXmlExtension, driver->getName(), "PLM XML documents only"});
            }
        }
        for (const std::string& extension : driver->getSaveExtensions()) {
            addOnce(table.writes, {extension, driver->getName(), {}});
        }
    }
    return table;
}

const FormatRow* readingRowOf(const FormatTable& table, const std::string& extension) {
    const auto row =
        std::find_if(table.reads.begin(), table.reads.end(),
                     [&extension](const FormatRow& known) { return known.extension == extension; });
    return row == table.reads.end() ? nullptr : &*row;
}

}  // namespace ov::ovmesh

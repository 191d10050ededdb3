#include "ovmesh/commands/FormatTable.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#if defined(__GNUG__)
#include <cxxabi.h>
#endif

#include "ovmesh/input/AssimpImport.h"
#include "scenegraph/ovIoManager.h"

namespace ov::ovmesh {

namespace {

// PLM XML documents come as .xml files too; the reader looks inside.
constexpr const char* kXmlExtension = "xml";

void addOnce(std::vector<FormatRow>& rows, FormatRow row) {
    if (std::none_of(rows.begin(), rows.end(),
                     [&row](const FormatRow& known) { return known.extension == row.extension; })) {
        rows.push_back(std::move(row));
    }
}

}  // namespace

FormatTable formatTable() {
    FormatTable table;
    table.reads.push_back({"obj", kOwnReader, "Wavefront OBJ"});
    for (const ovCoreMeshDriver* driver : ovIoManager::msInstance.getDrivers()) {
        for (const std::string& extension : driver->getLoadExtensions()) {
            addOnce(table.reads, {extension, driverName(*driver), {}});
        }
        for (const std::string& extension : driver->getSaveExtensions()) {
            addOnce(table.writes, {extension, driverName(*driver), {}});
        }
    }
    if (const ovCoreMeshDriver* plmXml = ovIoManager::msInstance.findLoadDriver("plmxml")) {
        addOnce(table.reads, {kXmlExtension, driverName(*plmXml), "PLM XML documents only"});
    }
    for (const AssimpFormat& format : assimpFormats()) {
        addOnce(table.reads, {format.extension, kAssimpReader, format.importers});
    }
    return table;
}

const FormatRow* readingRowOf(const FormatTable& table, const std::string& extension) {
    const auto row =
        std::find_if(table.reads.begin(), table.reads.end(),
                     [&extension](const FormatRow& known) { return known.extension == extension; });
    return row == table.reads.end() ? nullptr : &*row;
}

std::string driverName(const ovCoreMeshDriver& driver) {
    std::string name = typeid(driver).name();
#if defined(__GNUG__)
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), &std::free);
    if (status == 0 && readable) {
        name = readable.get();
    }
#endif
    const size_t lastScope = name.rfind("::");
    if (lastScope != std::string::npos) {
        return name.substr(lastScope + 2);
    }
    const size_t lastBlank = name.rfind(' ');
    return lastBlank == std::string::npos ? name : name.substr(lastBlank + 1);
}

}  // namespace ov::ovmesh

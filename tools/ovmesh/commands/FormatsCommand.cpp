#include "ovmesh/commands/FormatsCommand.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <vector>

#include "core/Version.h"
#include "ovmesh/commands/FormatTable.h"
#include "scenegraph/ovIoManager.h"
#include "system/ovJsonWriter.h"

namespace ov::ovmesh {

namespace {

std::string extensionList(const ovExtensionList& extensions) {
    std::string text;
    for (const std::string& extension : extensions) {
        text += (text.empty() ? "" : " ") + extension;
    }
    return text.empty() ? "-" : text;
}

std::string versionText() {
    return ovMeshDrivers::Version::GetDescStringMajorMinorReleaseRevision(false, true);
}

// One row per extension: the extension, what serves it and the format's name.
void printFormatRows(std::ostream& out, const char* title, const std::vector<FormatRow>& rows) {
    size_t extensionWidth = 0;
    size_t handlerWidth = 0;
    for (const FormatRow& row : rows) {
        extensionWidth = std::max(extensionWidth, row.extension.size());
        handlerWidth = std::max(handlerWidth, row.handler.size());
    }
    out << title << '\n';
    for (const auto& [extension, handler, format] : rows) {
        std::string line =
            "  " + extension + std::string(extensionWidth - extension.size() + 2, ' ') + handler;
        if (!format.empty()) {
            line += std::string(handlerWidth - handler.size() + 2, ' ') + format;
        }
        out << line << '\n';
    }
}

void printText(std::ostream& out, const std::vector<ovCoreMeshDriver*>& drivers, const FormatTable& table) {
    out << "ovMeshDrivers " << versionText() << '\n';
    size_t nameWidth = 0;
    for (const ovCoreMeshDriver* driver : drivers) {
        nameWidth = std::max(nameWidth, driver->getName().size());
    }
    out << "Drivers, in registration order:\n";
    for (const ovCoreMeshDriver* driver : drivers) {
        out << "  " << std::left << std::setw(static_cast<int>(nameWidth)) << driver->getName()
            << "  loads: " << std::setw(8) << extensionList(driver->getLoadExtensions())
            << "  saves: " << extensionList(driver->getSaveExtensions()) << '\n';
    }
    printFormatRows(out, "Reads:", table.reads);
    printFormatRows(out, "Writes:", table.writes);
}

void jsonRows(JsonWriter& json, const char* name, const char* handlerKey,
              const std::vector<FormatRow>& rows) {
    json.beginArray(name);
    for (const FormatRow& row : rows) {
        json.beginObject();
        json.string("extension", row.extension);
        json.string(handlerKey, row.handler);
        if (!row.format.empty()) {
            json.string("format", row.format);
        }
        json.endObject();
    }
    json.endArray();
}

void printJson(std::ostream& out, const std::vector<ovCoreMeshDriver*>& drivers, const FormatTable& table) {
    JsonWriter json(out);
    json.beginObject();
    json.string("library", "ovMeshDrivers");
    json.string("version", versionText());
    json.beginArray("drivers");
    for (const ovCoreMeshDriver* driver : drivers) {
        json.beginObject();
        json.string("name", driver->getName());
        json.strings("loads", driver->getLoadExtensions());
        json.strings("saves", driver->getSaveExtensions());
        json.endObject();
    }
    json.endArray();
    jsonRows(json, "reads", "reader", table.reads);
    jsonRows(json, "writes", "writer", table.writes);
    json.endObject();
    out << '\n';
}

}  // namespace

int runFormats(Session& session, bool json) {
    const std::vector<ovCoreMeshDriver*> drivers = ovIoManager::msInstance.getDrivers();
    const FormatTable table = formatTable();
    if (json) {
        printJson(session.out(), drivers, table);
    } else {
        printText(session.out(), drivers, table);
    }
    return 0;
}

}  // namespace ov::ovmesh

#include "ovmesh/commands/FormatsCommand.h"

#include <algorithm>
#include <cstdlib>
#include <iomanip>
#include <memory>
#include <ostream>
#include <typeinfo>

#if defined(__GNUG__)
#include <cxxabi.h>
#endif

#include "core/Version.h"
#include "ovmesh/output/JsonWriter.h"
#include "scenegraph/ovIoManager.h"

namespace ov::ovmesh {

namespace {

// The driver's class name without namespaces, as the compiler records it.
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

void printText(std::ostream& out, const std::vector<FormatReader>& readers) {
    out << "ovMeshDrivers " << versionText() << '\n';
    size_t nameWidth = 0;
    for (const FormatReader& reader : readers) {
        nameWidth = std::max(nameWidth, reader.driver ? reader.name.size() : 0);
    }
    out << "Drivers, in registration order:\n";
    for (const FormatReader& reader : readers) {
        if (reader.driver) {
            out << "  " << std::left << std::setw(static_cast<int>(nameWidth)) << reader.name
                << "  loads: " << std::setw(8) << extensionList(reader.loads)
                << "  saves: " << extensionList(reader.saves) << '\n';
        } else {
            out << reader.name << " itself loads: " << extensionList(reader.loads) << '\n';
        }
    }
}

void printJson(std::ostream& out, const std::vector<FormatReader>& readers) {
    JsonWriter json(out);
    json.beginObject();
    json.key("library");
    json.value("ovMeshDrivers");
    json.key("version");
    json.value(versionText());
    json.key("readers");
    json.beginArray();
    for (const FormatReader& reader : readers) {
        json.beginObject();
        json.key("name");
        json.value(reader.name);
        json.key("driver");
        json.value(reader.driver ? "library" : "tool");
        json.key("loads");
        json.value(reader.loads);
        json.key("saves");
        json.value(reader.saves);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

}  // namespace

std::vector<FormatReader> formatReaders() {
    std::vector<FormatReader> readers;
    for (const ovCoreMeshDriver* driver : ovIoManager::msInstance.getDrivers()) {
        readers.push_back(
            {driverName(*driver), true, driver->getLoadExtensions(), driver->getSaveExtensions()});
    }
    readers.push_back({"ovmesh", false, {"obj"}, {}});
    return readers;
}

int runFormats(Session& session, bool json) {
    const std::vector<FormatReader> readers = formatReaders();
    if (json) {
        printJson(session.out(), readers);
    } else {
        printText(session.out(), readers);
    }
    return 0;
}

}  // namespace ov::ovmesh

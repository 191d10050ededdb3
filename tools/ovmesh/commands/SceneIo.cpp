#include "ovmesh/commands/SceneIo.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "collada/ovColladaMeshDriver.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/FormatTable.h"
#include "ovmesh/input/AssimpImport.h"
#include "ovmesh/input/ObjImport.h"
#include "ovmesh/output/SafeOutputFile.h"
#include "scenegraph/ovIoManager.h"
#include "system/ovIoDevice.h"
#include "system/ovStringUtils.h"

namespace ov::ovmesh {

namespace {

// Read when their document element is PLM XML's.
constexpr const char* kXmlExtension = "xml";
constexpr size_t kSniffedBytes = 4096;

void addOnce(std::vector<std::string>& extensions, const std::string& extension) {
    if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) {
        extensions.push_back(extension);
    }
}

std::string joined(const std::vector<std::string>& texts) {
    std::string result;
    for (const std::string& text : texts) {
        result += (result.empty() ? "" : ", ") + text;
    }
    return result.empty() ? "none" : result;
}

std::string unknownFormatReason(const std::string& path, const char* verb,
                                const std::vector<std::string>& known) {
    const std::string extension = extensionOf(path);
    const std::string which =
        extension.empty() ? std::string("a file without extension") : "." + extension + " files";
    return std::string("no driver ") + verb + " " + which + " (known: " + joined(known) + ")";
}

ovPointer<ovSpatial> sceneRoot(const ovObjectList& objects, const std::string& path) {
    std::vector<ovSpatial*> spatials;
    for (const ovPointer<ovObject>& object : objects) {
        if (object && object->IsDerived(ovSpatial::TYPE)) {
            spatials.push_back(static_cast<ovSpatial*>(object.get()));
        }
    }
    if (spatials.empty()) {
        throw ToolError("cannot read '" + path + "': it holds no scene");
    }
    if (spatials.size() == 1) {
        return spatials.front();
    }
    ovPointer<ovNode> root(new ovNode);
    root->SetName(utf8Path(fsPath(path).stem()));
    for (ovSpatial* spatial : spatials) {
        root->attachChild(spatial);
    }
    return root;
}

// The name of the first element in head, past the declaration, comments,
// processing instructions and document type; empty when head holds none.
std::string documentElementOf(const std::string& head) {
    size_t at = head.find('<');
    while (at != std::string::npos && at + 1 < head.size() && (head[at + 1] == '?' || head[at + 1] == '!')) {
        const bool comment = head.compare(at, 4, "<!--") == 0;
        const size_t end = comment ? head.find("-->", at) : head.find('>', at);
        at = end == std::string::npos ? end : head.find('<', end);
    }
    if (at == std::string::npos) {
        return {};
    }
    const size_t end = head.find_first_of(" \t\r\n/>", at + 1);
    return end == std::string::npos ? std::string() : head.substr(at + 1, end - at - 1);
}

// The PLM XML driver, when the .xml file's document element is PLMXML.
ovCoreMeshDriver* plmXmlDriverFor(const std::string& path) {
    std::ifstream file(fsPath(path), std::ios::binary);
    std::string head(kSniffedBytes, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    const std::string element = documentElementOf(head);
    if (element != "PLMXML" && !ovStringUtils::endsWith(element, ":PLMXML")) {
        const std::string found =
            element.empty() ? "no document element in its first " + std::to_string(kSniffedBytes) + " bytes"
                            : "its document element is <" + element + ">";
        throw ToolError("cannot read '" + path + "': " + found +
                        ", and only PLM XML (<PLMXML>) is read from .xml files");
    }
    return ovIoManager::msInstance.findLoadDriver("plmxml");
}

LoadedScene loadThroughDriver(const std::string& path, ovProgressNotifierInterface* progress,
                              const LoadMeshOptions& options) {
    requireReadableFile(path);
    const std::string extension = extensionOf(path);
    ovCoreMeshDriver* driver = extension == kXmlExtension ? plmXmlDriverFor(path)
                                                          : ovIoManager::msInstance.findLoadDriver(extension);
    driver->clearErrorMessages();
    ovObjectList objects;
    const bool loaded = driver->loadMeshes(objects, path, progress, options);
    std::vector<DriverMessage> messages = driverMessagesAbout(path, *driver);
    if (!loaded) {
        const std::string reason = messages.empty() ? ": the " + extension + " driver failed to load it" : "";
        throw LoadFailure("cannot read '" + path + "'" + reason, std::move(messages));
    }
    return {sceneRoot(objects, path), {}, std::move(messages)};
}

uintmax_t sizeOf(const std::string& path) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(fsPath(path), error);
    return error ? 0 : size;
}

void removeFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::error_code ignored;
        std::filesystem::remove(fsPath(path), ignored);
    }
}

// The driver takes its images away itself when a save fails; a document that
// cannot take the target's place takes them along too.
void commitOrRemove(SafeOutputFile& file, const std::vector<std::string>& images) {
    try {
        file.commit();
    } catch (const ToolError&) {
        removeFiles(images);
        throw;
    }
}

bool saveThroughDevice(const ovObjectList& objects, const std::string& temporaryPath,
                       const std::string& target, ovProgressNotifierInterface* progress,
                       const SaveMeshOptions& options) {
    ovIoDeviceFileStream stream(temporaryPath, ovIoDevice::WriteOnly, true);
    if (!stream.isOpen()) {
        throw ToolError("cannot write '" + target + "'");
    }
    const bool saved =
        ovIoManager::msInstance.saveMeshes(objects, stream, extensionOf(target), progress, options);
    if (!stream.close() && saved) {
        throw ToolError("cannot write '" + target + "': not every byte reached the disk");
    }
    return saved;
}

}  // namespace

std::string extensionOf(const std::string& path) {
    return ovCoreMeshDriver::extensionOf(path);
}

std::vector<std::string> savableExtensions() {
    std::vector<std::string> extensions;
    for (const ovCoreMeshDriver* driver : ovIoManager::msInstance.getDrivers()) {
        for (const std::string& extension : driver->getSaveExtensions()) {
            addOnce(extensions, extension);
        }
    }
    return extensions;
}

std::vector<std::string> loadableExtensions() {
    std::vector<std::string> extensions;
    for (const FormatRow& row : formatTable().reads) {
        extensions.push_back(row.extension);
    }
    return extensions;
}

void requireSaveDriver(const std::string& path) {
    if (ovIoManager::msInstance.findSaveDriver(extensionOf(path)) == nullptr) {
        throw ToolError("cannot write '" + path +
                        "': " + unknownFormatReason(path, "saves", savableExtensions()));
    }
}

void requireLoadableFormat(const std::string& path) {
    if (readingRowOf(formatTable(), extensionOf(path)) == nullptr) {
        throw ToolError("cannot read '" + path +
                        "': " + unknownFormatReason(path, "reads", loadableExtensions()));
    }
}

LoadedScene loadScene(const std::string& path, ovProgressNotifierInterface* progress,
                      const LoadMeshOptions& options) {
    requireLoadableFormat(path);
    const std::string reader = readingRowOf(formatTable(), extensionOf(path))->handler;
    if (reader == kOwnReader || reader == kAssimpReader) {
        ImportedScene imported =
            reader == kOwnReader ? importObj(path, progress) : importWithAssimp(path, progress);
        return {imported.root, std::move(imported.warnings), {}};
    }
    return loadThroughDriver(path, progress, options);
}

std::vector<WrittenFile> saveScene(ovSpatial& root, const std::string& path,
                                   ovProgressNotifierInterface* progress, SaveMeshOptions options) {
    requireSaveDriver(path);
    ovCoreMeshDriver* driver = ovIoManager::msInstance.findSaveDriver(extensionOf(path));
    if (options.fileName.empty()) {
        options.fileName = utf8Path(fsPath(path).stem());
    }
    auto* collada = dynamic_cast<ovColladaMeshDriver*>(driver);
    if (collada) {
        collada->setImageFilePrefix(utf8Path(fsPath(path).stem()) + "-");
    }
    SafeOutputFile file(path);
    const ovObjectList objects{ovPointer<ovObject>(&root)};
    const bool saved =
        driver->isDeviceCapable()
            ? saveThroughDevice(objects, file.temporaryPath(), path, progress, options)
            : ovIoManager::msInstance.saveMeshes(objects, file.temporaryPath(), progress, options);
    const std::vector<std::string> images =
        collada && saved ? collada->writtenImageFiles() : std::vector<std::string>();
    // A driver may end a cancelled save early and still answer true.
    if (!saved || (progress != nullptr && progress->isCanceled())) {
        removeFiles(images);
        throw ToolError("cannot write '" + path + "': the " + extensionOf(path) +
                        " driver failed to save the scene");
    }
    commitOrRemove(file, images);
    std::vector<WrittenFile> written{{path, sizeOf(path)}};
    for (const std::string& image : images) {
        written.push_back({image, sizeOf(image)});
    }
    return written;
}

}  // namespace ov::ovmesh

#include "ovmesh/commands/SceneIo.h"

#include <algorithm>
#include <filesystem>

#include "collada/ovColladaMeshDriver.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/input/ObjImport.h"
#include "ovmesh/output/SafeOutputFile.h"
#include "scenegraph/ovIoManager.h"
#include "system/ovIoDevice.h"

namespace ov::ovmesh {

namespace {

constexpr const char* kObjExtension = "obj";

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

LoadedScene loadThroughDriver(const std::string& path, ovProgressNotifierInterface* progress,
                              const LoadMeshOptions& options) {
    requireReadableFile(path);
    const std::string extension = extensionOf(path);
    ovCoreMeshDriver* driver = ovIoManager::msInstance.findLoadDriver(extension);
    driver->clearErrorMessages();
    ovObjectList objects;
    const bool loaded = ovIoManager::msInstance.loadMeshes(objects, path, progress, options);
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
    std::vector<std::string> extensions{kObjExtension};
    for (const ovCoreMeshDriver* driver : ovIoManager::msInstance.getDrivers()) {
        for (const std::string& extension : driver->getLoadExtensions()) {
            addOnce(extensions, extension);
        }
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
    const std::string extension = extensionOf(path);
    if (extension != kObjExtension && ovIoManager::msInstance.findLoadDriver(extension) == nullptr) {
        throw ToolError("cannot read '" + path +
                        "': " + unknownFormatReason(path, "reads", loadableExtensions()));
    }
}

LoadedScene loadScene(const std::string& path, ovProgressNotifierInterface* progress,
                      const LoadMeshOptions& options) {
    requireLoadableFormat(path);
    if (extensionOf(path) == kObjExtension) {
        ObjImport imported = importObj(path, progress);
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

#include "ovmesh/commands/SceneIo.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "collada/ovColladaMeshDriver.h"
#include "core/SafeOutputFile.h"
#include "core/TextEncoding.h"
#include "gltf/GltfMeshDriver.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/FormatTable.h"
#include "ovmesh/commands/StandardStreams.h"
#include "ovmesh/input/ReadOptions.h"
#include "scenegraph/ovIoManager.h"
#include "system/ovIoDevice.h"
#include "system/ovStringUtils.h"

namespace ov::ovmesh {

namespace {

// Read when their document element is PLM XML's.
constexpr const char* kXmlExtension = "xml";
// How far a .xml file is searched for its document element: past any licence
// text in comments, short of reading a large file twice.
constexpr size_t kSniffedBytes = size_t{1} << 20;

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

// The start of a document as UTF-8 text, whether it is UTF-8 or UTF-16; a
// character cut at the end is left out.
std::string headText(std::string_view head, const std::string& source) {
    const DetectedEncoding detected = detectEncoding(head);
    head.remove_prefix(detected.markSize);
    if (detected.encoding == TextEncoding::Utf8) {
        return std::string(head);
    }
    head.remove_suffix(head.size() % 2);
    const size_t highByte = detected.encoding == TextEncoding::Utf16LittleEndian ? 1 : 2;
    const bool cutPair =
        head.size() >= 2 && (static_cast<unsigned char>(head[head.size() - highByte]) & 0xFC) == 0xD8;
    head.remove_suffix(cutPair ? 2 : 0);
    return utf16ToUtf8(head, detected.encoding, source);
}

// The PLM XML driver, when the document element in head, the start of
// source, is PLMXML.
ovCoreMeshDriver* plmXmlDriverFor(std::string_view head, const std::string& source) {
    std::string element;
    try {
        element = documentElementOf(headText(head.substr(0, kSniffedBytes), source));
    } catch (const ReadError& refused) {
        throw ToolError(refused.what());
    }
    if (element != "PLMXML" && !ovStringUtils::endsWith(element, ":PLMXML")) {
        const std::string found = element.empty() ? "no document element in its first " +
                                                        std::to_string(kSniffedBytes >> 20) + " MiB"
                                                  : "its document element is <" + element + ">";
        throw ToolError("cannot read '" + source + "': " + found +
                        ", and only PLM XML (<PLMXML>) is read from .xml files");
    }
    return ovIoManager::msInstance.findLoadDriver("plmxml");
}

std::string fileHead(const std::string& path) {
    std::ifstream file(fsPath(path), std::ios::binary);
    std::string head(kSniffedBytes, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    return head;
}

// The one error a driver gave for a load it refused, when it names the input
// itself (as the readers of model files do): the failure's own text then.
std::optional<std::string> selfContainedFailure(const std::vector<DriverMessage>& messages,
                                                const std::string& source) {
    const auto isError = [](const DriverMessage& message) { return !message.warning; };
    const auto error = std::find_if(messages.begin(), messages.end(), isError);
    if (error == messages.end() || std::count_if(messages.begin(), messages.end(), isError) != 1 ||
        error->text.find(source) == std::string::npos) {
        return std::nullopt;
    }
    return error->text;
}

// What load(driver, objects) read, as a scene; LoadFailure with the driver's
// messages when it refused.
template <typename Load>
LoadedScene loadWith(ovCoreMeshDriver& driver, const std::string& source, const std::string& format,
                     Load load) {
    driver.clearErrorMessages();
    ovObjectList objects;
    const bool loaded = load(driver, objects);
    std::vector<DriverMessage> messages = driverMessagesAbout(source, driver);
    if (!loaded) {
        if (const std::optional<std::string> failure = selfContainedFailure(messages, source)) {
            std::erase_if(messages, [](const DriverMessage& message) { return !message.warning; });
            throw LoadFailure(*failure, std::move(messages));
        }
        const std::string reason = messages.empty() ? ": the " + format + " driver failed to load it" : "";
        throw LoadFailure("cannot read '" + source + "'" + reason, std::move(messages));
    }
    return {sceneRoot(objects, source), std::move(messages)};
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

// The files a driver writes beside its document named after the target.
void nameCompanionFilesAfter(const std::string& target, SaveMeshOptions& options) {
    const std::string stem = utf8Path(fsPath(target).stem());
    auto collada = options.drivers.get<ColladaSaveSettings>();
    collada.imageFilePrefix = stem + "-";
    options.drivers.set(collada);
    auto gltf = options.drivers.get<GltfSaveSettings>();
    gltf.companionFileStem = stem;
    options.drivers.set(gltf);
}

}  // namespace

std::string extensionOf(const std::string& path) {
    return ovCoreMeshDriver::extensionOf(path);
}

std::string inputFormatOf(const std::string& input, const std::string& from) {
    return input == kStandardStream ? from : extensionOf(input);
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

FormatKind formatKindOf(const std::string& extension) {
    const ovCoreMeshDriver* driver = ovIoManager::msInstance.findSaveDriver(extension);
    if (driver != nullptr && driver->savesAssemblies()) {
        return FormatKind::Structure;
    }
    return driver != nullptr && driver->savedContent({}) == ovSavedContent::Drawing ? FormatKind::Drawing
                                                                                    : FormatKind::Geometry;
}

bool holdsGeometry(const std::string& extension, const SaveMeshOptions& options) {
    const ovCoreMeshDriver* driver = ovIoManager::msInstance.findSaveDriver(extension);
    return driver != nullptr && driver->savedContent(options) != ovSavedContent::Structure;
}

LoadedScene loadScene(const std::string& path, ovProgressNotifierInterface* progress,
                      const LoadMeshOptions& options, const ReadOptions& reading) {
    requireLoadableFormat(path);
    requireReadableFile(path);
    const std::string extension = extensionOf(path);
    ovCoreMeshDriver* driver = extension == kXmlExtension ? plmXmlDriverFor(fileHead(path), path)
                                                          : ovIoManager::msInstance.findLoadDriver(extension);
    const LoadMeshOptions withReading = withReadOptions(options, reading);
    LoadedScene loaded =
        loadWith(*driver, path, extension, [&](ovCoreMeshDriver& loader, ovObjectList& objects) {
            return loader.loadMeshes(objects, path, progress, withReading);
        });
    requireConfinedReferences(*loaded.root, fsPath(path).parent_path(), reading, path);
    return loaded;
}

bool isReadWhole(const std::string& format) {
    return format == kXmlExtension;
}

LoadedScene loadSceneFromDevice(ovIoDevice& device, const std::string& head, const std::string& format,
                                const std::string& source, ovProgressNotifierInterface* progress,
                                const LoadMeshOptions& options, const ReadOptions& reading) {
    ovCoreMeshDriver* driver = format == kXmlExtension ? plmXmlDriverFor(head, source)
                                                       : ovIoManager::msInstance.findLoadDriver(format);
    if (driver == nullptr || !driver->isDeviceCapable()) {
        throw ToolError("cannot read " + source + " as " + format +
                        ": standard input is read as a format of the Reads list of ovmesh formats");
    }
    const LoadMeshOptions withReading = withReadOptions(options, reading);
    LoadedScene loaded =
        loadWith(*driver, source, format, [&](ovCoreMeshDriver& loader, ovObjectList& objects) {
            return loader.loadMeshes(objects, device, source, progress, withReading);
        });
    requireConfinedReferences(*loaded.root, std::filesystem::current_path(), reading, source);
    return loaded;
}

std::vector<WrittenFile> saveScene(ovSpatial& root, const std::string& path,
                                   ovProgressNotifierInterface* progress, SaveMeshOptions options,
                                   TargetLinks links) {
    requireSaveDriver(path);
    ovCoreMeshDriver* driver = ovIoManager::msInstance.findSaveDriver(extensionOf(path));
    if (options.fileName.empty()) {
        options.fileName = utf8Path(fsPath(path).stem());
    }
    nameCompanionFilesAfter(path, options);
    std::vector<std::string> images;
    options.companionFiles = &images;
    SafeOutputFile file(path, links);
    const ovObjectList objects{ovPointer<ovObject>(&root)};
    const bool saved =
        driver->isDeviceCapable()
            ? saveThroughDevice(objects, file.temporaryPath(), path, progress, options)
            : ovIoManager::msInstance.saveMeshes(objects, file.temporaryPath(), progress, options);
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

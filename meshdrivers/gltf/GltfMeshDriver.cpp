#include "gltf/GltfMeshDriver.h"

#include "core/DriverLog.h"
#include "core/ImageFiles.h"
#include "core/SceneWalk.h"
#include "gltf/GltfBinary.h"
#include "gltf/GltfCollect.h"
#include "gltf/GltfJson.h"
#include "system/ovFiles.h"
#include "system/ovIoDevice.h"
#include "system/ovStringUtils.h"

namespace ov {
namespace {

using gltf::Document;

void logRepairs(size_t replacedCharacters, uint64_t patchedValues) {
    if (replacedCharacters > 0) {
        logWarning("GltfMeshDriver, ", replacedCharacters,
                   " bytes of names that are not UTF-8 were written as U+FFFD");
    }
    if (patchedValues > 0) {
        logWarning("GltfMeshDriver, ", patchedValues,
                   " vertex values that readers refuse (not finite, a normal of length 0, a colour "
                   "outside 0..1) were written as the nearest sound value");
    }
}

void beginProgress(ovProgressNotifierInterface* progress, const Document& document,
                   ovProgressNotifierGroupCloser& closer) {
    if (progress) {
        const auto views = document.vertexSources.size() + document.indexSources.size();
        progress->beginStepGroup(1, static_cast<double>(views) + 1.0, closer);
    }
}

// The .glb file: everything in one stream.
bool saveGlb(ovSpatial& root, ovIoDeviceFileStream& file, ovProgressNotifierInterface* progress,
             gltf::UpAxis up) {
    Document document;
    if (!gltf::collectDocument(root, progress, {up, nullptr}, document)) {
        return false;
    }
    ovProgressNotifierGroupCloser closer;
    beginProgress(progress, document, closer);
    JsonWriter json;
    gltf::writeDocumentJson(document, {}, json);
    uint64_t patched = 0;
    const bool written =
        !advanceAndCheckCancel(progress) && gltf::writeGlb(document, json.text(), file, progress, patched);
    logRepairs(json.replacedCharacters(), patched);
    return written;
}

bool writeBinaryFile(const Document& document, const std::filesystem::path& path,
                     ovProgressNotifierInterface* progress, uint64_t& patched) {
    if (path.empty()) {
        return false;
    }
    ovIoDeviceFileStream file(utf8OfPath(path), ovIoDevice::WriteOnly, true);
    return file.isOpen() && gltf::writeBinary(document, file, progress, patched) && file.close();
}

// The .gltf document, with its binary data and images staged beside it.
bool saveGltf(ovSpatial& root, ovIoDeviceFileStream& file, ImageFiles& files,
              ovProgressNotifierInterface* progress, gltf::UpAxis up) {
    Document document;
    if (!gltf::collectDocument(root, progress, {up, &files}, document)) {
        return false;
    }
    ovProgressNotifierGroupCloser closer;
    beginProgress(progress, document, closer);
    const std::string binaryName = document.binaryLength > 0 ? files.nameFor("buffer", ".bin") : "";
    JsonWriter json;
    gltf::writeDocumentJson(document, uriPathSegment(binaryName), json);
    uint64_t patched = 0;
    const bool written =
        file.write(json.text().data(), static_cast<int64_t>(json.text().size())) ==
            static_cast<int64_t>(json.text().size()) &&
        !advanceAndCheckCancel(progress) &&
        (binaryName.empty() || writeBinaryFile(document, files.stage(binaryName), progress, patched));
    logRepairs(json.replacedCharacters(), patched);
    if (!written) {
        return false;
    }
    for (const gltf::Image& image : document.images) {
        const bool imageWritten =
            image.sourceFile ? files.writeFile(*image.sourceFile, image.fileName)
                             : files.write(*image.image, image.fileName, gltf::imageOrientation(document));
        if (!imageWritten) {
            return false;
        }
    }
    return true;
}

}  // namespace

GltfMeshDriver::GltfMeshDriver() : ovCoreMeshDriver(false) {
    addSaveExtension("glb");
    addSaveExtension("gltf");
}

GltfMeshDriver::~GltfMeshDriver() = default;

GltfSaveSettings::~GltfSaveSettings() = default;

bool GltfMeshDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                                ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    ovSpatial* root = singleSpatialRoot(objects);
    const std::string extension = extensionOf(path);
    if (!root || (extension != "glb" && extension != "gltf")) {
        return false;
    }
    ovIoDeviceFileStream file(path, ovIoDevice::WriteOnly, true);
    if (!file.isOpen()) {
        return false;
    }
    const auto settings = options.drivers.get<GltfSaveSettings>();
    const gltf::UpAxis up =
        settings.upAxis == GltfSaveSettings::UpAxis::Y ? gltf::UpAxis::Y : gltf::UpAxis::Z;
    const std::filesystem::path filePath = pathOfUtf8(path);
    const std::string stem =
        settings.companionFileStem.empty() ? utf8OfPath(filePath.stem()) : settings.companionFileStem;
    ImageFiles files(filePath.parent_path(), stem + "-", "GltfMeshDriver");
    const bool written =
        extension == "glb" ? saveGlb(*root, file, progress, up) : saveGltf(*root, file, files, progress, up);
    const bool closed = file.close();
    if (!written || !closed || !files.commit()) {
        ovDirUtils::RemoveFileUtf8(path, nullptr);
        return false;
    }
    options.reportCompanionFiles(files.committedPaths());
    return true;
}

}  // namespace ov

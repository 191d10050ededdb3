#include "collada/ovColladaMeshDriver.h"

#include <filesystem>
#include <fstream>

#include "collada/ColladaDocumentWriter.h"
#include "collada/ColladaSupport.h"
#include "collada/XmlStreamWriter.h"
#include "core/ImageFiles.h"
#include "core/SceneWalk.h"
#include "system/ovStringUtils.h"
#include "system/ovSystemUtils.h"

namespace ov {
namespace {

void logReplacedCharacters(size_t count) {
    if (count > 0) {
        logLine(ovLogWarning)
            << "ovColladaMeshDriver, " << count
            << " characters of names that XML 1.0 cannot hold (control characters, bytes that are not "
               "UTF-8) were written as U+FFFD";
    }
}

}  // namespace

ovColladaMeshDriver::ovColladaMeshDriver() : ovCoreMeshDriver(false) {
    addSaveExtension("dae");
}

ovColladaMeshDriver::~ovColladaMeshDriver() = default;

ColladaSaveSettings::~ColladaSaveSettings() = default;

void ovColladaMeshDriver::buildCorrectId(std::string& id) {
    ovStringUtils::ReplaceAllOccurrences(id, "#", "_");
    ovStringUtils::ReplaceAllOccurrences(id, " ", "_");
    ovStringUtils::ReplaceAllOccurrences(id, ":", "_");
}

bool ovColladaMeshDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                                     ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    ovSpatial* root = singleSpatialRoot(objects);
    if (!root) {
        return false;
    }
    const std::filesystem::path filePath = pathOfUtf8(path);
    std::ofstream file(filePath, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        return false;
    }
    // The folder as the file system sees the path: a backslash separates
    // only where the system says so.
    const auto settings = options.drivers.get<ColladaSaveSettings>();
    ImageFiles images(filePath.parent_path(), settings.imageFilePrefix, "ovColladaMeshDriver");
    XmlStreamWriter writer(file);
    const bool saved =
        collada::DocumentWriter(writer, images, settings).writeDocument(*root, progress) && writer.isOk();
    writer.closeFile();
    logReplacedCharacters(writer.replacedCharacters());
    if (!saved || file.fail() || !images.commit()) {
        ovDirUtils::RemoveFileUtf8(path, nullptr);
        return false;
    }
    options.reportCompanionFiles(images.committedPaths());
    return true;
}

}  // namespace ov

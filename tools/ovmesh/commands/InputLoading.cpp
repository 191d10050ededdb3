#include "ovmesh/commands/InputLoading.h"

#include "ovmesh/Paths.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/commands/StandardStreams.h"
#include "scenegraph/ovIoManager.h"

namespace ov::ovmesh {

void setPlmXmlReading(PlmXmlReading reading) {
    if (auto* driver = dynamic_cast<ovPlmXmlMeshDriver*>(ovIoManager::msInstance.findLoadDriver("plmxml"))) {
        driver->setReading(reading);
    }
}

namespace {

LoadedScene loadStandardInput(Session& session, const std::string& format, const LoadMeshOptions& options) {
    const std::string bytes = readStandardInput();
    return session.withProgress(
        "reading " + std::string(kStandardInputName), [&](ovProgressNotifierInterface* progress) {
            return loadSceneFromBytes(bytes, format, kStandardInputName, progress, options);
        });
}

}  // namespace

ovPointer<ovSpatial> loadInput(Session& session, const std::string& path, const std::string& format,
                               const LoadMeshOptions& options) {
    requireStreamFormat(path, format, "--from", "input");
    try {
        const LoadedScene input = path == kStandardStream
                                      ? loadStandardInput(session, format, options)
                                      : session.withProgress("reading " + utf8Path(fsPath(path).filename()),
                                                             [&](ovProgressNotifierInterface* progress) {
                                                                 return loadScene(path, progress, options);
                                                             });
        printDriverMessages(session.console(), input.messages, false);
        for (const std::string& warning : input.warnings) {
            session.console().warning(warning);
        }
        return input.root;
    } catch (const LoadFailure& failure) {
        printDriverMessages(session.console(), failure.messages(), true);
        throw ToolError(failure.what());
    }
}

}  // namespace ov::ovmesh

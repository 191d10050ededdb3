#include "ovmesh/commands/InputLoading.h"

#include <iostream>

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

LoadedScene loadStandardInput(Session& session, const std::string& format, const LoadMeshOptions& options,
                              const ReadOptions& reading) {
    const std::string label = "reading " + std::string(kStandardInputName);
    if (isStreamedAsFile(format)) {
        return session.withProgress(label, [&](ovProgressNotifierInterface* progress) {
            return loadStreamedInput(std::cin, kStandardInputName, progress, reading);
        });
    }
    const std::string bytes = readStandardInput();
    return session.withProgress(label, [&](ovProgressNotifierInterface* progress) {
        return loadSceneFromBytes(bytes, format, kStandardInputName, progress, options, reading);
    });
}

// Nothing is written while an input is read: a signal ends the tool at once.
LoadedScene readInput(Session& session, const std::string& path, const std::string& format,
                      const LoadMeshOptions& options, const ReadOptions& reading) {
    const StopAtOnceScope stopAtOnce;
    if (path == kStandardStream) {
        return loadStandardInput(session, format, options, reading);
    }
    return session.withProgress(
        "reading " + utf8Path(fsPath(path).filename()),
        [&](ovProgressNotifierInterface* progress) { return loadScene(path, progress, options, reading); });
}

}  // namespace

ovPointer<ovSpatial> loadInput(Session& session, const std::string& path, const std::string& format,
                               const LoadMeshOptions& options, const ReadOptions& reading) {
    requireStreamFormat(path, format, "--from", "input");
    try {
        const LoadedScene input = readInput(session, path, format, options, reading);
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

#include "ovmesh/commands/InputLoading.h"

#include <cstdio>

#include "ovmesh/Paths.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/commands/StandardStreams.h"
#include "scenegraph/ovIoManager.h"

namespace ov::ovmesh {

void setPlmXmlReading(LoadMeshOptions& options, PlmXmlReading reading) {
    PlmXmlLoadSettings settings = options.drivers.get<PlmXmlLoadSettings>();
    settings.reading = reading;
    options.drivers.set(settings);
}

namespace {

// The standard input as a device, read as it comes: a driver that reads in
// pieces need not hold it whole.
class StandardInputDevice : public ovIoDevice {
public:
    bool good() const override { return std::ferror(stdin) == 0; }
    int64_t write(const char* /*data*/, int64_t /*length*/) override { return 0; }
    int64_t read(char* data, int64_t length) override {
        const size_t read = std::fread(data, 1, static_cast<size_t>(length), stdin);
        return std::ferror(stdin) != 0 ? -1 : static_cast<int64_t>(read);
    }
};

LoadedScene loadStandardInput(Session& session, const std::string& format, const LoadMeshOptions& options,
                              const ReadOptions& reading) {
    const std::string label = "reading " + std::string(kStandardInputName);
    if (!isReadWhole(format)) {
        return session.withProgress(label, [&](ovProgressNotifierInterface* progress) {
            StandardInputDevice device;
            return loadSceneFromDevice(device, {}, format, kStandardInputName, progress, options, reading);
        });
    }
    const std::string bytes = readStandardInput();
    return session.withProgress(label, [&](ovProgressNotifierInterface* progress) {
        ovIoDeviceMemory device(bytes);
        return loadSceneFromDevice(device, bytes, format, kStandardInputName, progress, options, reading);
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
        return input.root;
    } catch (const LoadFailure& failure) {
        printDriverMessages(session.console(), failure.messages(), true);
        throw ToolError(failure.what());
    }
}

}  // namespace ov::ovmesh

#include "ovmesh/commands/StandardStreams.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <vector>

#include "ovmesh/Interruption.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/commands/SceneIo.h"
#include "scenegraph/ovIoManager.h"
#include "system/ovFiles.h"

namespace ov::ovmesh {

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyBlock = 1 << 16;

std::string listed(const std::vector<std::string>& texts) {
    std::string result;
    for (const std::string& text : texts) {
        result += (result.empty() ? "" : ", ") + text;
    }
    return result;
}

// The name the output gets inside the file, where the format records one: the
// input's, as a conversion to a file of the input's name records it.
std::string outputStem(const std::string& input) {
    return input == kStandardStream ? std::string(kStandardInputName) : utf8Path(fsPath(input).stem());
}

std::string replacedAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

void copyToStream(const fs::path& file, std::ostream& out) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> block(kCopyBlock);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        out.write(block.data(), in.gcount());
    }
    out.flush();
    if (in.bad() || !out) {
        throw ToolError("cannot write to the standard output");
    }
}

}  // namespace

void requireStreamFormat(const std::string& path, const std::string& format, const char* option,
                         const char* role) {
    const bool stream = path == kStandardStream;
    if (stream && format.empty()) {
        throw ToolError(std::string("- as the ") + role + " needs " + option +
                        " FORMAT, the extension a file of that format would have (e.g. obj)");
    }
    if (!stream && !format.empty()) {
        throw ToolError(std::string(option) + " names the format of - (the standard " + role + ") only; '" +
                        path + "' is of the format its extension names");
    }
}

void requireSavableFormat(const std::string& format, const char* option) {
    if (ovIoManager::msInstance.findSaveDriver(format) == nullptr) {
        throw ToolError(std::string(option) + " " + format + ": no driver saves ." + format +
                        " files (known: " + listed(savableExtensions()) + ")");
    }
}

std::string readStandardInput() {
    std::string bytes;
    std::vector<char> block(kCopyBlock);
    for (size_t read = 0; (read = std::fread(block.data(), 1, block.size(), stdin)) > 0;) {
        bytes.append(block.data(), read);
    }
    if (interruptionRequested()) {
        throw Interrupted(std::string("interrupted while reading ") + kStandardInputName);
    }
    if (std::ferror(stdin)) {
        throw ToolError(std::string("cannot read ") + kStandardInputName);
    }
    return bytes;
}

int convertToStandardOutput(Session& session, const ConvertOptions& options) {
    if (!options.externalParts.empty()) {
        throw ToolError(
            "--external-parts writes part files beside the output: name an output file instead of -");
    }
    requireSavableFormat(options.to, "--to");
    const ovPrivateFolder folder;
    if (folder.creationError()) {
        throw ToolError("cannot create a temporary folder: " + folder.creationError().message());
    }
    const RemovedOnStopAtOnce removedOnStop(folder.path());
    ConvertOptions toFile = options;
    toFile.to.clear();
    toFile.output = utf8Path(folder.path() / fsPath(outputStem(options.input) + "." + options.to));
    session.keepOutputForData();
    try {
        runConvert(session, toFile);
    } catch (const ToolError& failure) {
        // The private file is no name the user knows.
        throw ToolError(replacedAll(failure.what(), "'" + toFile.output + "'", "-"));
    }
    const auto written = std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator());
    if (written != 1) {
        throw ToolError("cannot write ." + options.to +
                        " to the standard output: for this scene the format " + "writes " +
                        std::to_string(written) +
                        " files (a document and the files it refers to); name an output file instead of -");
    }
    copyToStream(fsPath(toFile.output), session.out());
    return 0;
}

}  // namespace ov::ovmesh

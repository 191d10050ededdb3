// The tool's command line with any option texts: a small scene is converted with the options
// the input spells, one per line, after its first byte has picked the output format. Whatever
// the texts, the tool answers an exit code with a message; it never crashes, hangs or throws.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ovmesh/Cli.h"

namespace {

namespace fs = std::filesystem;

// Two groups of faces and a polyline, so that every output format has something to write.
constexpr std::string_view kScene =
    "mtllib missing.mtl\n"
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\n"
    "g base\nusemtl red\nf 1 2 3 4\n"
    "g wall\nf 1 2 6 5\n"
    "g outline\nl 1 2 3 4 1\n";
constexpr const char* kOutputs[] = {"out.svg", "out.dxf", "out.stl", "out.stp", "out.dae", "out.obj"};

const fs::path& workFolder() {
    static const fs::path folder = [] {
        const fs::path made = fs::temp_directory_path() / "ovmesh-command-line-fuzz";
        fs::create_directories(made);
        std::ofstream(made / "scene.obj") << kScene;
        return made;
    }();
    return folder;
}

// A batch starts processes of the program it runs in, and what a batch's process
// converts may be the standard input or any file: the one-file conversion is
// what is fuzzed here.
bool startsBatch(const std::string& option) {
    return option.starts_with("--out-dir") || option.starts_with("--batch-");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const fs::path& folder = workFolder();
    std::vector<std::string> arguments{"ovmesh",
                                       "--quiet",
                                       "--resources",
                                       OV_RESOURCES_DIR,
                                       "convert",
                                       (folder / "scene.obj").string(),
                                       (folder / kOutputs[data[0] % std::size(kOutputs)]).string()};
    // One option text a line.
    std::istringstream options(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    for (std::string option; std::getline(options, option);) {
        if (startsBatch(option)) {
            return 0;
        }
        arguments.push_back(option);
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    ov::ovmesh::runOvmesh(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return 0;
}

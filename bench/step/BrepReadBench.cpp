// Reads the real B-rep STEP files (shared data, step/real) into scenes, their
// solids meshed by the Open CASCADE component in its child process with
// occt-import-js's default meshing, next to occt-import-js (Open CASCADE built for the
// browser, default settings) reading the same files under node once loaded.
// Prints, per file, the best time of each and its triangles, and the ratio.
//
// Usage: bench_brep_read [runs]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "core/SceneWalk.h"
#include "occt/OcctBrepMesher.h"
#include "scenegraph/ovGeometry.h"
#include "step/StepImport.h"
#include "support/Timing.h"

namespace {

namespace fs = std::filesystem;

struct Read {
    double seconds = 0;
    long triangles = 0;
};

long trianglesOf(const ov::ovSpatial& root) {
    long triangles = 0;
    ov::walkScene(root, nullptr, [&triangles](const ov::WalkStep<const ov::ovSpatial>& step) {
        if (step.object.IsDerived(ov::ovTriMesh::TYPE)) {
            triangles += static_cast<const ov::ovTriMesh&>(step.object).GetTriangleQuantity();
        }
    });
    return triangles;
}

// occt-import-js's default meshing: 0.001 of the shape's size, 0.5 rad.
ov::step::StepLoadSettings peerMeshing() {
    ov::step::StepLoadSettings settings;
    settings.angularDeflectionDegrees = 28.6479;
    return settings;
}

Read ourRead(const std::string& path, int runs) {
    const ov::occt::OcctBrepMesher mesher;
    Read read;
    read.seconds = bestSeconds(runs, [&] {
        read.triangles = trianglesOf(*ov::step::importStep(path, {true, &mesher, peerMeshing()}).root);
    });
    return read;
}

// The peer's lines "FILE SECONDS TRIANGLES", by file; none without node or the module.
std::map<std::string, Read> peerReads(const std::string& files, int runs) {
    std::map<std::string, Read> reads;
    const std::string command = "node " OV_BENCH_DIR "/occt_import_js_read.js " OV_NODE_MODULES " " +
                                std::to_string(runs) + files + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    char line[4096];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream words(line);
        std::string file;
        Read read;
        words >> file >> read.seconds >> read.triangles;
        reads[file] = read;
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return reads;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const fs::path folder = fs::path(OV_SHARED_DATA_DIR) / "step" / "real";
    if (!fs::exists(folder)) {
        std::printf("missing shared data folder %s\n", folder.string().c_str());
        return 0;
    }
    std::map<std::string, std::string> files;
    std::string arguments;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.emplace(entry.path().filename().string(), entry.path().string());
        arguments += " '" + entry.path().string() + "'";
    }
    const std::map<std::string, Read> peer = peerReads(arguments, runs);
    std::printf("%-32s %10s %10s %14s %10s %8s\n", "file", "ours ms", "triangles", "occt-import-js",
                "triangles", "ratio");
    for (const auto& [name, path] : files) {
        const Read ours = ourRead(path, runs);
        const auto other = peer.find(path);
        if (other == peer.end()) {
            std::printf("%-32s %10.1f %10ld %14s\n", name.c_str(), ours.seconds * 1e3, ours.triangles, "-");
            continue;
        }
        std::printf("%-32s %10.1f %10ld %14.1f %10ld %8.2f\n", name.c_str(), ours.seconds * 1e3,
                    ours.triangles, other->second.seconds * 1e3, other->second.triangles,
                    other->second.seconds / ours.seconds);
    }
    return 0;
}

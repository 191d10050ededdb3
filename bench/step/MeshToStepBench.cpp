// A generated 2,000,000-triangle OBJ model to STEP, whole process as a user
// runs it: `ovmesh convert` with faceted and with tessellated geometry next
// to assimp's mesh-to-STEP export of the same file, with the time, peak
// resident memory, size and instance count of each. The conversion to binary
// STL, which holds the same scene and streams its triangles, is the memory
// floor: what a STEP conversion needs beyond it is what the STEP writer adds.
//
// Usage: bench_mesh_to_step [quads per side]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/ObjGrid.h"
#include "support/TimedCommand.h"

namespace {

namespace fs = std::filesystem;

// The data instances of an exchange file: lines that start with '#'.
long long instancesIn(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    long long instances = 0;
    for (std::string line; std::getline(file, line);) {
        instances += !line.empty() && line[0] == '#' ? 1 : 0;
    }
    return instances;
}

struct Conversion {
    const char* name;
    std::string command;
    fs::path output;
    double seconds = 0;
    double peakMb = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int side = argc > 1 ? std::atoi(argv[1]) : 1000;
    const fs::path folder = fs::temp_directory_path() / "ov-bench-mesh-step";
    fs::create_directories(folder);
    const fs::path big = folder / "big.obj";
    ov::bench::writeObjGrid(big, side);
    std::printf("%s: %d triangles, %.0f MB\n", big.c_str(), 2 * side * side,
                static_cast<double>(fs::file_size(big)) / 1e6);

    const std::string ovmesh = std::string(OVMESH_EXECUTABLE) + " -q convert '" + big.string() + "' ";
    Conversion conversions[] = {
        {"ovmesh convert, faceted", ovmesh + "'" + (folder / "faceted.stp").string() + "'",
         folder / "faceted.stp"},
        {"ovmesh convert, tessellated",
         ovmesh + "'" + (folder / "tessellated.stp").string() + "' --step-geometry tessellated",
         folder / "tessellated.stp"},
        {"assimp export -fstp",
         "assimp export '" + big.string() + "' '" + (folder / "assimp.stp").string() + "' -fstp",
         folder / "assimp.stp"},
        {"ovmesh convert to STL (floor)", ovmesh + "'" + (folder / "big.stl").string() + "'",
         folder / "big.stl"},
    };
    for (Conversion& conversion : conversions) {
        std::tie(conversion.seconds, conversion.peakMb) = ov::bench::timedCommand(conversion.command, folder);
        const bool written = fs::exists(conversion.output);
        const long long instances =
            written && conversion.output.extension() == ".stp" ? instancesIn(conversion.output) : 0;
        std::printf(
            "  %-30s %7.2f s  %7.1f MB peak resident  %8.1f MB  %10lld instances  %6.2f M instances/s\n",
            conversion.name, conversion.seconds, conversion.peakMb,
            written ? static_cast<double>(fs::file_size(conversion.output)) / 1e6 : 0.0, instances,
            static_cast<double>(instances) / conversion.seconds / 1e6);
        fs::remove(conversion.output);
    }
    const Conversion& faceted = conversions[0];
    const Conversion& tessellated = conversions[1];
    const Conversion& assimp = conversions[2];
    const Conversion& floor = conversions[3];
    std::printf("time assimp / faceted:     %.1f (target >= 10)\n", assimp.seconds / faceted.seconds);
    std::printf("time assimp / tessellated: %.1f (target >= 10)\n", assimp.seconds / tessellated.seconds);
    std::printf(
        "peak beyond the STL conversion: faceted %.1f MB, tessellated %.1f MB (target: independent of "
        "the mesh's size)\n",
        faceted.peakMb - floor.peakMb, tessellated.peakMb - floor.peakMb);
    fs::remove_all(folder);
    return 0;
}

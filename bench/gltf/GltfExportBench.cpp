// glTF export of a generated OBJ grid of 2,000,000 triangles with normals
// and texture coordinates. First the whole process as a user runs it:
// `ovmesh convert big.obj big.glb` next to `assimp export big.obj big.glb
// -fglb2`, and `ovmesh tree big.obj` (the same load, no save), with the wall
// time and peak resident memory of each. Then, in this process, the
// driver's save of the loaded scene next to one plain write of the bytes it
// wrote, and the peak heap one save adds at two model sizes: it must not
// grow with the model.
//
// Usage: bench_gltf_export [quads per side] [runs] [in-process]
// (with a third argument, only the part in this process)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gltf/GltfMeshDriver.h"
#include "obj/ObjImport.h"
#include "support/CountingHeap.h"
#include "support/ObjGrid.h"
#include "support/TimedCommand.h"
#include "support/Timing.h"

namespace {

namespace fs = std::filesystem;

bool saveGlb(ov::ovSpatial& scene, const std::string& path) {
    ov::GltfSaveSettings settings;
    settings.upAxis = ov::GltfSaveSettings::UpAxis::Y;
    ov::SaveMeshOptions options;
    options.drivers.set(settings);
    return ov::GltfMeshDriver().saveMeshes({ov::ovPointer<ov::ovObject>(&scene)}, path, nullptr, options);
}

// One write(2) of the whole file's bytes into a new file.
void plainWrite(const std::string& bytes, const fs::path& path) {
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || ::write(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::printf("plain write failed\n");
    }
    ::close(file);
}

// The whole processes, as a user runs them.
void compareCommands(const fs::path& big, const fs::path& folder, int runs) {
    const std::string ours = (folder / "ovmesh.glb").string();
    using ov::bench::timedCommand;
    const auto [convertSeconds, convertPeak] = timedCommand(
        std::string(OVMESH_EXECUTABLE) + " convert '" + big.string() + "' '" + ours + "'", folder, runs);
    const auto [assimpSeconds, assimpPeak] =
        timedCommand("assimp export '" + big.string() + "' '" + (folder / "assimp.glb").string() + "' -fglb2",
                     folder, runs);
    const auto [loadSeconds, loadPeak] =
        timedCommand(std::string(OVMESH_EXECUTABLE) + " tree '" + big.string() + "'", folder, runs);
    std::printf("  ovmesh convert big.obj big.glb     %7.3f s  %7.1f MB peak resident  %6.1f MB file\n",
                convertSeconds, convertPeak, static_cast<double>(fs::file_size(ours)) / 1e6);
    std::printf("  assimp export big.obj big.glb -fglb2 %5.3f s  %7.1f MB peak resident  %6.1f MB file\n",
                assimpSeconds, assimpPeak, static_cast<double>(fs::file_size(folder / "assimp.glb")) / 1e6);
    std::printf("  ovmesh tree big.obj (load only)    %7.3f s  %7.1f MB peak resident\n", loadSeconds,
                loadPeak);
    std::printf("  time assimp / ovmesh: %.2f (target >= 4)\n", assimpSeconds / convertSeconds);
    std::printf("  peak resident ovmesh convert - load only: %.1f MB\n", convertPeak - loadPeak);
}

}  // namespace

int main(int argc, char** argv) {
    const int side = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path folder = fs::temp_directory_path() / "ov-bench-gltf";
    fs::create_directories(folder);
    const fs::path big = folder / "big.obj";
    ov::bench::writeObjGrid(big, side);
    std::printf("%s: %d triangles, %.0f MB; best of %d runs\n", big.c_str(), 2 * side * side,
                static_cast<double>(fs::file_size(big)) / 1e6, runs);

    if (argc <= 3) {
        compareCommands(big, folder, runs);
    }
    const ov::ovPointer<ov::ovSpatial> scene = ov::obj::importObj(big.string()).root;
    const std::string inProcess = (folder / "driver.glb").string();
    const double saveSeconds = bestSeconds(runs, [&] { saveGlb(*scene, inProcess); });
    std::ifstream written(inProcess, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>()};
    const double writeSeconds = bestSeconds(runs, [&] { plainWrite(bytes, folder / "plain.glb"); });
    std::printf(
        "  driver save %7.3f s, plain write of its %.1f MB %7.3f s: %.2f of the plain write's speed "
        "(target >= 0.5)\n",
        saveSeconds, static_cast<double>(bytes.size()) / 1e6, writeSeconds, writeSeconds / saveSeconds);

    std::printf("Peak extra heap of one save:\n");
    for (const int sized : {side / 4, side}) {
        const fs::path model = folder / "sized.obj";
        ov::bench::writeObjGrid(model, sized);
        const ov::ovPointer<ov::ovSpatial> loaded = ov::obj::importObj(model.string()).root;
        const int64_t heap = peakExtraHeap([&] { saveGlb(*loaded, inProcess); });
        std::printf("  %9d triangles: %8.1f KB\n", 2 * sized * sized, static_cast<double>(heap) / 1e3);
    }
    fs::remove_all(folder);
    return 0;
}

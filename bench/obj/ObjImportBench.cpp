// The tool's OBJ import (scene built) on a generated grid of 2,000,000
// triangles with normals and texture coordinates, next to tinyobjloader's
// parse alone and assimp's OBJ import of the same file: best time of a few
// runs and the peak heap each adds. Then the whole conversion to binary STL,
// `ovmesh convert` next to `assimp export`, as a user runs them. Last, the
// peak heap of many one-triangle groups (or materials) next to the same
// triangles in one group: what each group costs beyond its data.
//
// Usage: bench_obj_import [quads per side] [runs] [groups]
#include <tiny_obj_loader.h>

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "obj/ObjImport.h"
#include "support/CountingHeap.h"
#include "support/ObjGrid.h"
#include "support/TimedCommand.h"
#include "support/Timing.h"

namespace {

namespace fs = std::filesystem;

// Triangles that share no vertex, each after a statement "prefix<number>"
// of its own (a group, a material) or all in one group when prefix is empty.
void writeTriangles(const fs::path& path, int triangles, const std::string& prefix) {
    std::string text;
    for (int triangle = 0; triangle < triangles; ++triangle) {
        const double x = triangle % 1000;
        const double y = triangle / 1000;
        ov::bench::appendObjNumbers(text, "v", {x, y, 0});
        ov::bench::appendObjNumbers(text, "v", {x + 1, y, 0});
        ov::bench::appendObjNumbers(text, "v", {x, y + 1, 0});
        if (!prefix.empty()) {
            text += prefix + std::to_string(triangle) + '\n';
        }
        text += "f -3 -2 -1\n";
    }
    std::ofstream(path, std::ios::binary) << text;
}

struct Measure {
    const char* name;
    std::function<void()> work;
    double seconds = 0;
    double heapMb = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int side = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const fs::path folder = fs::temp_directory_path() / "ov-bench-obj";
    fs::create_directories(folder);
    const fs::path big = folder / "big.obj";
    ov::bench::writeObjGrid(big, side);
    std::printf("%s: %d triangles, %.0f MB\n", big.c_str(), 2 * side * side,
                static_cast<double>(fs::file_size(big)) / 1e6);

    Measure measures[] = {{"ovmesh import (scene built)", [&] { ov::obj::importObj(big.string()); }},
                          {"tinyobjloader parse",
                           [&] {
                               tinyobj::attrib_t attributes;
                               std::vector<tinyobj::shape_t> shapes;
                               std::vector<tinyobj::material_t> materials;
                               std::string warnings;
                               std::string errors;
                               tinyobj::LoadObj(&attributes, &shapes, &materials, &warnings, &errors,
                                                big.c_str());
                           }},
                          {"assimp import", [&] {
                               Assimp::Importer importer;
                               importer.ReadFile(big.string(), 0);
                           }}};
    for (Measure& measure : measures) {
        measure.seconds = bestSeconds(runs, measure.work);
        measure.heapMb = static_cast<double>(peakExtraHeap(measure.work)) / (1 << 20);
        std::printf("  %-28s %7.3f s  %7.1f MB peak heap\n", measure.name, measure.seconds, measure.heapMb);
    }
    const Measure& ours = measures[0];
    const Measure& tiny = measures[1];
    const Measure& assimp = measures[2];
    std::printf("time ours / tinyobjloader: %.2f (target <= 1.3)\n", ours.seconds / tiny.seconds);
    std::printf("time assimp / ours:        %.2f (target >= 2.5)\n", assimp.seconds / ours.seconds);
    std::printf("heap ours / tinyobjloader: %.2f (target <= 1.5)\n", ours.heapMb / tiny.heapMb);

    const auto [ovmeshSeconds, ovmeshPeak] =
        ov::bench::timedCommand(std::string(OVMESH_EXECUTABLE) + " convert '" + big.string() + "' '" +
                                    (folder / "ovmesh.stl").string() + "'",
                                folder);
    const auto [assimpSeconds, assimpPeak] = ov::bench::timedCommand(
        "assimp export '" + big.string() + "' '" + (folder / "assimp.stl").string() + "'", folder);
    std::printf("ovmesh convert big.obj big.stl: %7.3f s  %7.1f MB peak resident\n", ovmeshSeconds,
                ovmeshPeak);
    std::printf("assimp export big.obj big.stl:  %7.3f s  %7.1f MB peak resident\n", assimpSeconds,
                assimpPeak);
    std::printf("time assimp / ovmesh: %.2f\n", assimpSeconds / ovmeshSeconds);

    const int groups = argc > 3 ? std::atoi(argv[3]) : 100000;
    const struct {
        const char* name;
        const char* prefix;
    } layouts[] = {{"one group", ""}, {"as many groups", "g part"}, {"as many materials", "usemtl m"}};
    double heapMb[3] = {};
    for (size_t layout = 0; layout < 3; ++layout) {
        const fs::path file = folder / "triangles.obj";
        writeTriangles(file, groups, layouts[layout].prefix);
        const double seconds = secondsOf([&] { ov::obj::importObj(file.string()); });
        heapMb[layout] =
            static_cast<double>(peakExtraHeap([&] { ov::obj::importObj(file.string()); })) / (1 << 20);
        std::printf("%d triangles in %-17s (%4.1f MB): %7.3f s  %7.1f MB peak heap\n", groups,
                    layouts[layout].name, static_cast<double>(fs::file_size(file)) / 1e6, seconds,
                    heapMb[layout]);
    }
    std::printf("heap of %d groups: %.1f MB (target <= 300), %.0f bytes per group beyond one group's\n",
                groups, heapMb[1], (heapMb[1] - heapMb[0]) * (1 << 20) / groups);
    fs::remove_all(folder);
    return 0;
}

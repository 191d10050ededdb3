// Reads a large faceted and a large tessellated file the STEP driver writes
// (a grid of 500,000 triangles, a bumpy surface that no two points share a
// plane of) into a scene, next to the floor of lexing the same text once
// with the Part 21 reader and indexing nothing. Prints MB/s and the ratio.
//
// Usage: bench_step_read [triangles] [runs] [tessellated|faceted]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/SceneWalk.h"
#include "scenegraph/ovGeometry.h"
#include "step/Part21Reader.h"
#include "step/StepImport.h"
#include "step/StepMeshDriver.h"
#include "support/GridIndices.h"
#include "support/Timing.h"
#include "system/ovIoDevice.h"

namespace {

ov::ovPointer<ov::ovNode> gridScene(int triangles) {
    const int columns = static_cast<int>(std::sqrt(triangles / 2.0));
    const int rows = triangles / (2 * columns);
    ov::ovPointer<ov::ovVertexBuffer> vertices(
        new ov::ovVertexBuffer(ov::ovAttributes(), (columns + 1) * (rows + 1)));
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= columns; ++i) {
            vertices->Position3(j * (columns + 1) + i) = {static_cast<float>(i) * 0.5f,
                                                          static_cast<float>(j) * 0.5f,
                                                          std::sin(static_cast<float>(i * j) * 0.01f)};
        }
    }
    ov::ovPointer<ov::ovTriMesh> mesh(new ov::ovTriMesh(vertices.get(), gridIndices(columns, rows)));
    ov::ovPointer<ov::ovNode> part(new ov::ovNode);
    part->SetName("grid");
    part->attachChild(mesh.get());
    ov::ovPointer<ov::ovNode> root(new ov::ovNode);
    root->SetName("bench");
    root->attachChild(part.get());
    root->setMetadata(new ov::ovWorldUnitsMetaData(0.001));
    return root;
}

std::string saved(ov::ovNode& root, ov::step::StepGeometry form) {
    ov::step::StepMeshDriver driver(OV_RESOURCES_DIR "/step/ap242_1_36_mim_lf.exp");
    ov::SaveMeshOptions options;
    options.drivers.set(ov::step::StepSaveSettings(ov::step::StepProfile::Interop, form));
    ov::ovIoDeviceMemory device;
    driver.saveMeshes({&root}, device, "bench.stp", nullptr, options);
    return device.data();
}

class Discard : public ov::step::Part21Handler {
public:
    void headerRecord(const ov::step::Part21Record&) override {}
    void dataRecord(const ov::step::Part21Record&) override {}
    void syntaxError(uint64_t, const std::string&) override {}
    void unreadableInstance(uint64_t, uint64_t) override {}
};

void run(const char* label, const std::string& text, int runs) {
    Discard discard;
    const double floor = bestSeconds(runs, [&] { ov::step::Part21Reader(text, discard).read(); });
    size_t triangles = 0;
    const double seconds = bestSeconds(runs, [&] {
        const ov::ImportedScene scene = ov::step::importStepText(text, "bench.stp");
        triangles = 0;
        const ov::ovSpatial& root = *scene.root;
        ov::walkScene(root, nullptr, [&triangles](const ov::WalkStep<const ov::ovSpatial>& step) {
            if (step.object.IsDerived(ov::ovTriMesh::TYPE)) {
                triangles +=
                    static_cast<size_t>(static_cast<const ov::ovTriMesh&>(step.object).GetTriangleQuantity());
            }
        });
    });
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    std::printf(
        "%-12s %7.1f MB  %zu triangles  read %.3f s, %6.1f MB/s  lexing floor %.3f s, %6.1f MB/s  (%.2fx)\n",
        label, megabytes, triangles, seconds, megabytes / seconds, floor, megabytes / floor, seconds / floor);
}

}  // namespace

int main(int argc, char** argv) {
    const int triangles = argc > 1 ? std::atoi(argv[1]) : 500000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    ov::ovPointer<ov::ovNode> scene = gridScene(triangles);
    const std::string only = argc > 3 ? argv[3] : "";
    if (only != "faceted") {
        run("tessellated", saved(*scene, ov::step::StepGeometry::Tessellated), runs);
    }
    if (only != "tessellated") {
        run("faceted", saved(*scene, ov::step::StepGeometry::Faceted), runs);
    }
    return 0;
}

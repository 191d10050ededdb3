// Binary STL export of a large scene (a grid mesh under each of several placed
// nodes): our driver writing into memory and into a buffered file, assimp's
// binary STL exporter on the same triangles (built as an aiScene with the same
// placements), and the floor of writing the same number of bytes in large
// blocks to the same sinks. Also the peak heap memory each save adds, for a
// small and a large scene: ours must not grow with the scene.
//
// Usage: bench_stl_export [triangles] [runs]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>

#include "scenegraph/ovGeometry.h"
#include "stl/StlMeshDriver.h"
#include "support/AssimpScene.h"
#include "support/CountingHeap.h"
#include "support/GridIndices.h"
#include "support/Timing.h"
#include "system/ovIoDevice.h"

namespace {

using namespace ov;

constexpr int kParts = 8;

// ------------------------------------------------------------------- sinks

// Memory sized once for the whole file, as a caller that knows the size would
// give: what is measured is the writing, not the growing.
class MemorySink : public ovIoDevice {
public:
    explicit MemorySink(size_t capacity) : mBytes(capacity) {}
    bool good() const override { return true; }
    int64_t write(const char* data, int64_t length) override {
        const size_t count = std::min(static_cast<size_t>(length), mBytes.size() - mUsed);
        std::memcpy(mBytes.data() + mUsed, data, count);
        mUsed += count;
        return static_cast<int64_t>(count);
    }
    int64_t read(char*, int64_t) override { return -1; }
    void rewind() { mUsed = 0; }
    size_t used() const { return mUsed; }
    const char* bytes() const { return mBytes.data(); }

private:
    std::vector<char> mBytes;
    size_t mUsed = 0;
};

// Takes every byte and keeps none, for measuring what the writer itself holds.
class DiscardSink : public ovIoDevice {
public:
    bool good() const override { return true; }
    int64_t write(const char*, int64_t length) override {
        mCount += length;
        return length;
    }
    int64_t read(char*, int64_t) override { return -1; }
    int64_t count() const { return mCount; }

private:
    int64_t mCount = 0;
};

// ------------------------------------------------------------------- scenes

struct GridSize {
    int columns;
    int rows;
};

// Cells of about triangles / (2 parts) each, in a near-square grid.
GridSize gridFor(int64_t triangles) {
    const int64_t cells = std::max<int64_t>(1, triangles / (2 * kParts));
    const int columns = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(cells) * 2.0)));
    return {columns, static_cast<int>(std::max<int64_t>(1, cells / columns))};
}

ovTriMesh* makeGridMesh(GridSize grid, int part) {
    const int vertexColumns = grid.columns + 1;
    auto* vertices = new ovVertexBuffer(ovAttributes(), vertexColumns * (grid.rows + 1));
    for (int j = 0; j <= grid.rows; ++j) {
        for (int i = 0; i < vertexColumns; ++i) {
            const float height = 0.002f * static_cast<float>((i * 7 + j * 3 + part) % 11);
            vertices->Position3(j * vertexColumns + i) = {0.01f * static_cast<float>(i),
                                                          0.01f * static_cast<float>(j), height};
        }
    }
    auto* indices = gridIndices(grid.columns, grid.rows);
    auto* mesh = new ovTriMesh(vertices, indices);
    mesh->editMaterialState(true)->diffuse =
        Wm4::ColorRGBA(0.1f * static_cast<float>(part), 0.5f, 0.9f, 1.0f);
    return mesh;
}

// root -> two groups -> four placed parts each -> one grid mesh.
ovPointer<ovNode> buildScene(int64_t triangles) {
    const GridSize grid = gridFor(triangles);
    ovPointer<ovNode> root(new ovNode);
    for (int g = 0; g < 2; ++g) {
        auto* group = new ovNode;
        group->editLocalTransform(true).SetTranslate({0.0f, 0.0f, 10.0f * static_cast<float>(g)});
        root->attachChild(group);
        for (int p = 0; p < kParts / 2; ++p) {
            const int part = g * kParts / 2 + p;
            const float angle = 0.3f * static_cast<float>(part);
            auto* node = new ovNode;
            node->editLocalTransform(true).SetRotate(Wm4::Matrix3f(
                std::cos(angle), -std::sin(angle), 0, std::sin(angle), std::cos(angle), 0, 0, 0, 1));
            node->editLocalTransform(true).SetTranslate({3.0f * static_cast<float>(part),
                                                         1.5f * static_cast<float>(part),
                                                         -0.5f * static_cast<float>(part)});
            node->attachChild(makeGridMesh(grid, part));
            group->attachChild(node);
        }
    }
    root->UpdateGS_Flags();
    return root;
}

void collectMeshes(const ovSpatial& object, std::vector<const ovTriMesh*>& meshes) {
    if (object.IsDerived(ovTriMesh::TYPE)) {
        meshes.push_back(static_cast<const ovTriMesh*>(&object));
    } else if (object.IsDerived(ovNode::TYPE)) {
        const auto& node = static_cast<const ovNode&>(object);
        for (int i = 0; i < node.getNbChildren(); ++i) {
            if (node.getChild(i)) {
                collectMeshes(*node.getChild(i), meshes);
            }
        }
    }
}

// The same triangles and placements as an aiScene: one node per mesh under the
// root, carrying the mesh's world transformation (assimp's matrices act on
// column vectors, ours on row vectors).
aiScene* buildAssimpScene(const ovNode& root) {
    std::vector<const ovTriMesh*> meshes;
    collectMeshes(root, meshes);
    auto* scene = new aiScene;
    scene->mNumMaterials = 1;
    scene->mMaterials = new aiMaterial* [1] { new aiMaterial };
    scene->mNumMeshes = static_cast<unsigned>(meshes.size());
    scene->mMeshes = new aiMesh*[meshes.size()];
    scene->mRootNode = new aiNode("root");
    scene->mRootNode->mNumChildren = scene->mNumMeshes;
    scene->mRootNode->mChildren = new aiNode*[meshes.size()];
    for (size_t m = 0; m < meshes.size(); ++m) {
        const ovVertexBuffer& vertices = *meshes[m]->getVertexBuffer();
        auto* mesh = new aiMesh;
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mMaterialIndex = 0;
        mesh->mNumVertices = static_cast<unsigned>(vertices.GetVertexQuantity());
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const Wm4::Vector3f p = vertices.Position3(static_cast<int>(v));
            mesh->mVertices[v] = aiVector3D(p.X(), p.Y(), p.Z());
        }
        copyTriangles(*meshes[m], *mesh);
        scene->mMeshes[m] = mesh;

        Wm4::Matrix4f world;
        meshes[m]->getWorldTransform().GetHomogeneous(world);
        scene->mRootNode->mChildren[m] = placedMeshNode(scene->mRootNode, world, m);
    }
    return scene;
}

// --------------------------------------------------------------- measuring

// Best wall time of runs calls, in seconds.
uint32_t countOf(const char* stl) {
    uint32_t count;
    std::memcpy(&count, stl + 80, sizeof count);
    return count;
}

bool saveOurs(const ovNode& root, ovIoDevice& device) {
    StlMeshDriver driver;
    return driver.saveMeshes({ovPointer<ovObject>(const_cast<ovNode*>(&root))}, device, "stl", nullptr, {});
}

void writeInBlocks(ovIoDevice& device, size_t total) {
    static const std::vector<char> block(size_t{1} << 20, 'x');
    for (size_t written = 0; written < total;) {
        const size_t length = std::min(block.size(), total - written);
        device.write(block.data(), static_cast<int64_t>(length));
        written += length;
    }
}

void report(const char* what, double seconds, int64_t triangles) {
    std::printf("  %-44s %8.3f s  %7.2f M triangles/s\n", what, seconds,
                static_cast<double>(triangles) / seconds / 1e6);
}

int64_t triangleCount(const ovNode& root) {
    std::vector<const ovTriMesh*> meshes;
    collectMeshes(root, meshes);
    int64_t total = 0;
    for (const ovTriMesh* mesh : meshes) {
        total += mesh->GetTriangleQuantity();
    }
    return total;
}

struct MemoryUse {
    int64_t triangles;
    int64_t ours;
    int64_t assimp;
};

MemoryUse peakExtraMemory(int64_t requestedTriangles) {
    const ovPointer<ovNode> scene = buildScene(requestedTriangles);
    DiscardSink discard;
    MemoryUse use{};
    use.triangles = triangleCount(*scene);
    use.ours = peakExtraHeap([&] { saveOurs(*scene, discard); });
    aiScene* assimpScene = buildAssimpScene(*scene);
    {
        Assimp::Exporter exporter;
        use.assimp = peakExtraHeap([&] { exporter.ExportToBlob(assimpScene, "stlb"); });
    }
    delete assimpScene;
    return use;
}

}  // namespace

int main(int argc, char** argv) {
    const int64_t requested = argc > 1 ? std::atoll(argv[1]) : 2000000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    const ovPointer<ovNode> scene = buildScene(requested);
    const int64_t triangles = triangleCount(*scene);
    const size_t fileSize = 84 + 50 * static_cast<size_t>(triangles);
    std::printf("Binary STL export of %lld triangles in %d placed meshes (%zu bytes), best of %d runs\n",
                static_cast<long long>(triangles), kParts, fileSize, runs);

    MemorySink memory(fileSize);
    const double oursMemory = bestSeconds(runs, [&] {
        memory.rewind();
        saveOurs(*scene, memory);
    });
    if (memory.used() != fileSize || countOf(memory.bytes()) != triangles) {
        std::fprintf(stderr, "our file has %zu bytes, expected %zu\n", memory.used(), fileSize);
        return 1;
    }

    const std::string path = (std::filesystem::temp_directory_path() / "bench_stl_export.stl").string();
    const double oursFile = bestSeconds(runs, [&] {
        ovIoDeviceFileStream file(path, ovIoDevice::WriteOnly, true);
        saveOurs(*scene, file);
        file.close();
    });

    aiScene* assimpScene = buildAssimpScene(*scene);
    Assimp::Exporter exporter;
    size_t assimpSize = 0;
    const double assimp = bestSeconds(runs, [&] {
        const aiExportDataBlob* blob = exporter.ExportToBlob(assimpScene, "stlb");
        assimpSize = blob ? blob->size : 0;
    });
    exporter.FreeBlob();
    delete assimpScene;
    if (assimpSize != fileSize) {
        std::fprintf(stderr, "assimp wrote %zu bytes, expected %zu: %s\n", assimpSize, fileSize,
                     exporter.GetErrorString());
        return 1;
    }

    const double floorMemory = bestSeconds(runs, [&] {
        memory.rewind();
        writeInBlocks(memory, fileSize);
    });
    const double floorFile = bestSeconds(runs, [&] {
        ovIoDeviceFileStream file(path, ovIoDevice::WriteOnly, true);
        writeInBlocks(file, fileSize);
        file.close();
    });
    std::filesystem::remove(path);

    report("ours, into memory", oursMemory, triangles);
    report("ours, into a buffered file", oursFile, triangles);
    report("assimp \"stlb\", ExportToBlob", assimp, triangles);
    report("floor: same bytes in 1 MiB blocks, memory", floorMemory, triangles);
    report("floor: same bytes in 1 MiB blocks, file", floorFile, triangles);
    std::printf("  ours/assimp = %.1fx (target >= 5x)\n", assimp / oursMemory);
    std::printf("  ours/floor = %.2f (memory), %.2f (file)\n", floorMemory / oursMemory,
                floorFile / oursFile);

    std::printf("Peak heap added by one save (scene already built):\n");
    for (const int64_t size : {requested / 10, requested}) {
        const MemoryUse use = peakExtraMemory(size);
        std::printf("  %9lld triangles: ours %8.1f KiB, assimp %9.1f MiB\n",
                    static_cast<long long>(use.triangles), static_cast<double>(use.ours) / 1024.0,
                    static_cast<double>(use.assimp) / (1024.0 * 1024.0));
    }
    return 0;
}

// COLLADA export of a large scene: several placed grid meshes with normals,
// texture coordinates and a material each. Our driver saves it to a file;
// assimp's COLLADA exporter saves the same triangles (built as an aiScene)
// to a file of the same folder; the floor writes the same numbers (every
// float of the meshes with 6 significant digits and every index, by
// std::to_chars, each followed by a blank) through a file stream into the
// same folder. Also the peak heap
// one save adds at two scene sizes: ours must not grow with the scene.
//
// Usage: bench_collada_export [triangles] [runs]
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>

#include "collada/ovColladaMeshDriver.h"
#include "core/SceneWalk.h"
#include "scenegraph/ovGeometry.h"
#include "support/AssimpScene.h"
#include "support/CountingHeap.h"
#include "support/GridIndices.h"
#include "support/Timing.h"

namespace {

using namespace ov;

constexpr int kParts = 8;

// One grid of about triangles / kParts triangles (two per cell), with a
// normal and two texture coordinates per vertex.
ovTriMesh* makeGridMesh(int64_t triangles, int part) {
    const int64_t cells = std::max<int64_t>(1, triangles / (2 * kParts));
    const int columns = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(cells))));
    const int rows = static_cast<int>(std::max<int64_t>(1, cells / columns));
    const int vertexColumns = columns + 1;
    ovAttributes attributes;
    attributes.SetNormal(true);
    attributes.SetTCoordChannels(0, 2);
    auto* vertices = new ovVertexBuffer(attributes, vertexColumns * (rows + 1));
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i < vertexColumns; ++i) {
            const int v = j * vertexColumns + i;
            const float x = 0.01f * static_cast<float>(i), y = 0.013f * static_cast<float>(j);
            vertices->Position3(v) = {x, y, 0.002f * static_cast<float>((i * 7 + j * 3 + part) % 11)};
            vertices->Normal3(v) = {0.1f * std::sin(x), 0.1f * std::cos(y), 0.99f};
            vertices->TCoord(0, v)[0] = x / 7.0f;
            vertices->TCoord(0, v)[1] = y / 3.0f;
        }
    }
    auto* indices = gridIndices(columns, rows);
    auto* mesh = new ovTriMesh(vertices, indices);
    mesh->SetName("part " + std::to_string(part));
    ovMaterialState* material = new ovMaterialState;
    material->diffuse = Wm4::ColorRGBA(0.1f * static_cast<float>(part), 0.5f, 0.9f, 1.0f);
    mesh->setMaterialState(material);
    return mesh;
}

// root -> kParts placed nodes -> one grid mesh each.
ovPointer<ovNode> buildScene(int64_t triangles) {
    ovPointer<ovNode> root(new ovNode);
    root->SetName("bench");
    for (int part = 0; part < kParts; ++part) {
        const float angle = 0.3f * static_cast<float>(part);
        auto* node = new ovNode;
        node->editLocalTransform(true).SetRotate(Wm4::Matrix3f(std::cos(angle), -std::sin(angle), 0,
                                                               std::sin(angle), std::cos(angle), 0, 0, 0, 1));
        node->editLocalTransform(true).SetTranslate({3.0f * static_cast<float>(part), 1.5f, -0.5f});
        node->attachChild(makeGridMesh(triangles, part));
        root->attachChild(node);
    }
    return root;
}

std::vector<const ovTriMesh*> meshesOf(const ovNode& root) {
    std::vector<const ovTriMesh*> meshes;
    walkScene(root, nullptr, [&meshes](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovTriMesh::TYPE)) {
            meshes.push_back(static_cast<const ovTriMesh*>(&step.object));
        }
    });
    return meshes;
}

int64_t triangleCount(const ovNode& root) {
    int64_t total = 0;
    for (const ovTriMesh* mesh : meshesOf(root)) {
        total += mesh->GetTriangleQuantity();
    }
    return total;
}

// The same meshes, materials and placements as an aiScene.
aiScene* buildAssimpScene(const ovNode& root) {
    const std::vector<const ovTriMesh*> meshes = meshesOf(root);
    auto* scene = new aiScene;
    scene->mNumMaterials = static_cast<unsigned>(meshes.size());
    scene->mMaterials = new aiMaterial*[meshes.size()];
    scene->mNumMeshes = static_cast<unsigned>(meshes.size());
    scene->mMeshes = new aiMesh*[meshes.size()];
    scene->mRootNode = new aiNode("root");
    scene->mRootNode->mNumChildren = scene->mNumMeshes;
    scene->mRootNode->mChildren = new aiNode*[meshes.size()];
    for (size_t m = 0; m < meshes.size(); ++m) {
        auto& vertices = *const_cast<ovVertexBuffer*>(meshes[m]->getVertexBuffer());
        auto* material = new aiMaterial;
        const Wm4::ColorRGBA& diffuse = const_cast<ovTriMesh*>(meshes[m])->editMaterialState(false)->diffuse;
        const aiColor4D colour(diffuse.R(), diffuse.G(), diffuse.B(), diffuse.A());
        material->AddProperty(&colour, 1, AI_MATKEY_COLOR_DIFFUSE);
        scene->mMaterials[m] = material;

        auto* mesh = new aiMesh;
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mMaterialIndex = static_cast<unsigned>(m);
        mesh->mNumVertices = static_cast<unsigned>(vertices.GetVertexQuantity());
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        mesh->mNormals = new aiVector3D[mesh->mNumVertices];
        mesh->mTextureCoords[0] = new aiVector3D[mesh->mNumVertices];
        mesh->mNumUVComponents[0] = 2;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const int i = static_cast<int>(v);
            const Wm4::Vector3f p = vertices.Position3(i), n = vertices.Normal3(i);
            mesh->mVertices[v] = aiVector3D(p.X(), p.Y(), p.Z());
            mesh->mNormals[v] = aiVector3D(n.X(), n.Y(), n.Z());
            mesh->mTextureCoords[0][v] = aiVector3D(vertices.TCoord(0, i)[0], vertices.TCoord(0, i)[1], 0);
        }
        copyTriangles(*meshes[m], *mesh);
        scene->mMeshes[m] = mesh;

        Wm4::Matrix4f local;
        meshes[m]->getParent()->getLocalTransform().GetHomogeneous(local);
        scene->mRootNode->mChildren[m] = placedMeshNode(scene->mRootNode, local, m);
    }
    return scene;
}

// Every number of the meshes, as the document holds them, through a file stream.
void writeFloor(const ovNode& root, const std::string& path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::string text;
    text.reserve(64 * 1024 + 64);
    const auto endNumber = [&] {
        text += ' ';
        if (text.size() >= 64 * 1024) {
            file.write(text.data(), static_cast<std::streamsize>(text.size()));
            text.clear();
        }
    };
    for (const ovTriMesh* mesh : meshesOf(root)) {
        auto& vertices = *const_cast<ovVertexBuffer*>(mesh->getVertexBuffer());
        for (int v = 0; v < vertices.GetVertexQuantity(); ++v) {
            const Wm4::Vector3f p = vertices.Position3(v), n = vertices.Normal3(v);
            for (const float value : {p.X(), p.Y(), p.Z(), n.X(), n.Y(), n.Z(), vertices.TCoord(0, v)[0],
                                      vertices.TCoord(0, v)[1]}) {
                char digits[32];
                text.append(
                    digits,
                    std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr);
                endNumber();
            }
        }
        const int* indices = mesh->getIndexBuffer()->getData();
        for (int i = 0; i < mesh->getIndexBuffer()->GetIndexQuantity(); ++i) {
            char digits[16];
            text.append(digits,
                        std::to_chars(digits, digits + sizeof digits, static_cast<uint32_t>(indices[i])).ptr);
            endNumber();
        }
    }
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
}

bool saveOurs(const ovNode& root, const std::string& path) {
    ovColladaMeshDriver driver;
    return driver.saveMeshes({ovPointer<ovObject>(const_cast<ovNode*>(&root))}, path, nullptr, {});
}

void report(const char* what, double seconds, int64_t triangles, const std::string& path) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    std::printf("  %-34s %8.3f s  %7.2f M triangles/s  %6.1f MB\n", what, seconds,
                static_cast<double>(triangles) / seconds / 1e6,
                error ? 0.0 : static_cast<double>(bytes) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    const int64_t requested = argc > 1 ? std::atoll(argv[1]) : 2000000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "bench_collada_export";
    std::filesystem::create_directories(folder);
    const std::string ours = (folder / "ours.dae").string(), theirs = (folder / "assimp.dae").string(),
                      floor = (folder / "floor.txt").string();

    const ovPointer<ovNode> scene = buildScene(requested);
    const int64_t triangles = triangleCount(*scene);
    int64_t vertices = 0;
    for (const ovTriMesh* mesh : meshesOf(*scene)) {
        vertices += mesh->getVertexBuffer()->GetVertexQuantity();
    }
    std::printf(
        "COLLADA export of %lld triangles, %lld vertices with normals and texture coordinates, "
        "in %d placed meshes; best of %d runs\n",
        static_cast<long long>(triangles), static_cast<long long>(vertices), kParts, runs);

    bool saved = true;
    const double oursSeconds = bestSeconds(runs, [&] { saved = saveOurs(*scene, ours) && saved; });
    if (!saved) {
        std::fprintf(stderr, "our save failed\n");
        return 1;
    }
    aiScene* assimpScene = buildAssimpScene(*scene);
    Assimp::Exporter exporter;
    const double assimpSeconds = bestSeconds(runs, [&] {
        if (exporter.Export(assimpScene, "collada", theirs) != AI_SUCCESS) {
            std::fprintf(stderr, "assimp failed: %s\n", exporter.GetErrorString());
            std::exit(1);
        }
    });
    const double floorSeconds = bestSeconds(runs, [&] { writeFloor(*scene, floor); });

    report("ours (ovColladaMeshDriver)", oursSeconds, triangles, ours);
    report("assimp COLLADA exporter", assimpSeconds, triangles, theirs);
    report("floor (to_chars into a file)", floorSeconds, triangles, floor);
    std::printf("  ours / assimp: %.2fx the triangles per second (target >= 4)\n",
                assimpSeconds / oursSeconds);
    std::printf("  ours / floor:  %.2f of the floor's speed (target >= 0.5)\n", floorSeconds / oursSeconds);

    std::printf("Peak extra heap of one save:\n");
    for (const int64_t size : {requested / 10, requested}) {
        const ovPointer<ovNode> sized = buildScene(size);
        const int64_t oursHeap = peakExtraHeap([&] { saveOurs(*sized, ours); });
        aiScene* sizedAssimp = buildAssimpScene(*sized);
        const int64_t assimpHeap = peakExtraHeap([&] { exporter.Export(sizedAssimp, "collada", theirs); });
        delete sizedAssimp;
        std::printf("  %9lld triangles: ours %8.1f KB, assimp %8.1f MB\n",
                    static_cast<long long>(triangleCount(*sized)), static_cast<double>(oursHeap) / 1e3,
                    static_cast<double>(assimpHeap) / 1e6);
    }
    delete assimpScene;
    std::filesystem::remove_all(folder);
    return 0;
}

#include "ovmesh/input/PrimitiveTypes.h"

#include <span>

#include "ovmesh/ToolError.h"

namespace ov::ovmesh {

namespace {

unsigned primitiveTypeOf(const aiFace& face) {
    switch (face.mNumIndices) {
        case 1:
            return aiPrimitiveType_POINT;
        case 2:
            return aiPrimitiveType_LINE;
        case 3:
            return aiPrimitiveType_TRIANGLE;
        default:
            return aiPrimitiveType_POLYGON;
    }
}

}  // namespace

void statePrimitiveTypesFromFaces(aiScene& scene, const std::string& source) {
    for (aiMesh* mesh : std::span(scene.mMeshes, scene.mNumMeshes)) {
        if (mesh == nullptr || mesh->mNumFaces == 0) {
            continue;
        }
        unsigned types = 0;
        for (const aiFace& face : std::span(mesh->mFaces, mesh->mNumFaces)) {
            if (face.mNumIndices == 0) {
                throw ToolError("cannot read '" + source + "': a face has no corners");
            }
            types |= primitiveTypeOf(face);
        }
        mesh->mPrimitiveTypes = types;
    }
}

}  // namespace ov::ovmesh

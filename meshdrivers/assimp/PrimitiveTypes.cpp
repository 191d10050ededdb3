#include "assimp/PrimitiveTypes.h"

#include <span>

#include "core/InputFiles.h"

namespace ov::assimpimport {

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
                throw ReadError("cannot read '" + source + "': a face has no corners");
            }
            types |= primitiveTypeOf(face);
        }
        mesh->mPrimitiveTypes = types;
    }
}

}  // namespace ov::assimpimport

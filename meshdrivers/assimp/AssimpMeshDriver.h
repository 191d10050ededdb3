#pragma once

// The optional component that loads every format assimp's importers read.
// A host links its library (the CMake target ovMeshDrivers::ovMeshDriversAssimp)
// and initializeOvMeshDrivers registers its driver after the library's own,
// so that the library's drivers keep the extensions they read.

#include <string>

#include "assimp/AssimpMeshDriverExport.h"
#include "core/InputFiles.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// How the assimp driver reads one load: texture images, their pixel budget
// and the confinement of the files a model names (see ImportSettings).
class OVMESHDRIVERSASSIMP_API AssimpLoadSettings : public ImportSettings {
public:
    ~AssimpLoadSettings() override;
};

// Loads a model through assimp: a root node named after the file holding the
// model's node hierarchy with names and placements, triangle meshes with
// their normals, texture coordinates and first vertex colours, polylines,
// and materials with their colours and textures. The root states the units
// of formats that fix them. A header that declares more than its file can
// hold is refused before assimp sees it. Load only; announces every
// extension of assimp's importers but those of two words. Messages as the
// OBJ driver keeps them.
class OVMESHDRIVERSASSIMP_API AssimpMeshDriver : public ovCoreMeshDriver {
public:
    AssimpMeshDriver();
    ~AssimpMeshDriver() override;

    // On success appends exactly one root and answers true; on failure appends
    // nothing. A device is read whole; the extension of path names its
    // format, and image files the model names are looked for in its folder.
    bool loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const LoadMeshOptions& options) override;
    bool loadMeshes(ovObjectList& objects, const std::string& path, ovProgressNotifierInterface* progress,
                    const LoadMeshOptions& options) override;
    std::string getName() const override { return "AssimpMeshDriver"; }
    // The importers that claim the extension, as assimp names them.
    std::string describeLoadExtension(const std::string& extension) const override;
};

}  // namespace ov

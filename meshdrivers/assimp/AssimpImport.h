#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/InputFiles.h"
#include "system/ovProgressNotifier.h"

namespace ov::assimpimport {

struct AssimpFormat {
    // Lower case, without the dot.
    std::string extension;
    // The importers that claim it, as assimp names them, in its order.
    std::string importers;
};

// The extensions assimp's importers claim, each once, in the order of its
// importers. Extensions of two words ("mesh.xml") are left out: the driver
// manager picks a driver by the last one.
const std::vector<AssimpFormat>& assimpFormats();

// Reads a model through assimp into a scene: a root node named after the
// file holding the model's node hierarchy with names and placements. Each
// mesh a node refers to becomes a triangle mesh (polygons triangulated,
// vertices equal in every attribute shared) with its normals, texture
// coordinates and first set of vertex colours, and a polyline for its line
// segments. Materials carry their colours and their textures, read from
// image files beside the model or from the model itself. The root states the
// units of formats that fix them. What the scene graph cannot hold (points,
// animations, cameras, lights) is left out with a warning. Progress follows
// assimp's reports. ReadError with assimp's message when it refuses the
// file, and when the read is cancelled; before assimp sees the file, when
// its header declares more than it can hold (see requireCountsFit), and
// when it names a file that options confine the read away from.
ImportedScene importWithAssimp(const std::string& path, ovProgressNotifierInterface* progress = nullptr,
                               const ImportSettings& options = {});

// The same for a model in memory: formatHint is the extension of its format;
// source names it in messages and gives the root its name; image files it
// names are looked for in textureFolder.
ImportedScene importWithAssimpFromMemory(std::string_view bytes, const std::string& formatHint,
                                         const std::string& source,
                                         const std::filesystem::path& textureFolder,
                                         const ImportSettings& options = {});

}  // namespace ov::assimpimport

#pragma once

#include <string>

#include "core/InputFiles.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// What one read of an input may do besides reading the input itself.
struct ReadOptions {
    // Texture images are decoded; off when the output holds none.
    bool textures = true;
    // Every file the input names (material libraries, texture images,
    // buffers, part files) must lie in the input's folder or below it, links
    // resolved: for services that convert uploads.
    bool confine = false;
};

// The load options with the settings of the readers that honour reading.
LoadMeshOptions withReadOptions(LoadMeshOptions options, const ReadOptions& reading);

// With reading confined to folder: ToolError naming source when a file
// reference of the scene (a part's file, relative to the input's folder or
// absolute) lies outside it. An unconfined read costs no walk.
void requireConfinedReferences(const ovSpatial& scene, const std::filesystem::path& folder,
                               const ReadOptions& reading, const std::string& source);

}  // namespace ov::ovmesh

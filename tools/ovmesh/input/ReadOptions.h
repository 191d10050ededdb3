#pragma once

#include <string>

#include <optional>

#include "core/InputFiles.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"
#include "step/StepLoadSettings.h"

namespace ov::ovmesh {

// What one read of an input may do besides reading the input itself.
struct ReadOptions {
    // Texture images are decoded; off when the output holds none.
    bool textures = true;
    // Every file the input names (material libraries, texture images,
    // buffers, part files) must lie in the input's folder or below it, links
    // resolved: for services that convert uploads.
    bool confine = false;
    // How exact B-rep STEP shapes are meshed, and whether part files are read.
    step::StepLoadSettings meshing;
};

// The linear deflection of a --deflection text: a positive fraction of a
// shape's size ("0.001"), or of millimetres when it ends in mm ("0.1mm").
std::optional<step::StepLoadSettings> parseDeflection(const std::string& text,
                                                      step::StepLoadSettings meshing = {});

// The load options with the settings of the readers that honour reading.
LoadMeshOptions withReadOptions(LoadMeshOptions options, const ReadOptions& reading);

// With reading confined to folder: ToolError naming source when a file
// reference of the scene (a part's file, relative to the input's folder or
// absolute) lies outside it. An unconfined read costs no walk.
void requireConfinedReferences(const ovSpatial& scene, const std::filesystem::path& folder,
                               const ReadOptions& reading, const std::string& source);

}  // namespace ov::ovmesh

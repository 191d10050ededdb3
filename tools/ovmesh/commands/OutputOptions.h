#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "core/UpAxes.h"
#include "ovmesh/commands/Commands.h"
#include "ovmesh/commands/SceneIo.h"
#include "step/StepMeshDriver.h"

namespace ov::ovmesh {

// --up and --precision of the convert command.
void addOutputOptions(CLI::App& convert, ConvertOptions& options);

// The axis that points up in what convert saves from input (read as format
// from when it is "-"): up ("y" or "z") when given, else the input format's
// (sceneUpOfFormat).
SceneUp sceneUpFor(const std::string& input, const std::string& from, const std::string& up);

// What the tool's saves tell the drivers: COLLADA everything viewers need to
// show the model as it was (transparency, phong, polylines, vertex colours)
// with the up axis and the given significant digits, glTF the up axis, STEP
// the profile and the form of its meshes.
ovDriverSettingsList driverSettingsFor(SceneUp up, int significantDigits, step::StepProfile profile,
                                       step::StepGeometry geometry);

// A warning when the scene's meshes carry vertex colours and output's format
// has no place for them.
std::optional<std::string> droppedColoursWarning(const ovSpatial& scene, const std::string& input,
                                                 const std::string& output);

// How convert reads its input: the texture images only for outputs that hold
// them, in the file or in its part files; confined as --confine asks.
ReadOptions readOptionsFor(const ConvertOptions& options);

}  // namespace ov::ovmesh

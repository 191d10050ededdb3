#pragma once

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov::step {

// Which readers a STEP file is written for. Exact keeps the long-standing
// bytes that existing consumers compare against; Interop writes what strict
// schema checkers and CAD readers accept (no empty sets, typed literals,
// units and uncertainty they expect), at the cost of different bytes.
enum class StepProfile { Exact, Interop };

// What becomes of the meshes of a saved tree: None refuses them (the tree
// holds structure only); Faceted writes each as planar faces over shared
// points (a solid where the mesh is closed), which readers of boundary
// representations open; Tessellated writes each as a triangulated surface
// set, far smaller, for readers that know it.
enum class StepGeometry { None, Faceted, Tessellated };

// How one STEP save writes its file, carried in SaveMeshOptions::drivers.
// A save without them writes the exact profile and no geometry.
struct OVMESHDRIVERS_API StepSaveSettings : ovDriverSettings {
    StepSaveSettings() = default;
    StepSaveSettings(StepProfile chosenProfile, StepGeometry chosenGeometry)
        : profile(chosenProfile), geometry(chosenGeometry) {}
    ~StepSaveSettings() override;

    StepProfile profile = StepProfile::Exact;
    // Written in the Interop profile only: the Exact profile refuses meshes.
    StepGeometry geometry = StepGeometry::None;
};

}  // namespace ov::step

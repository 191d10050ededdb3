#pragma once

#include <memory>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "express/ExpressSchema.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "step/StepProfile.h"

namespace ov::step {

// What becomes of the meshes of a saved tree: None refuses them (the tree
// holds structure only); Faceted writes each as a surface model of planar
// faces, which readers of boundary representations open; Tessellated writes
// each as a triangulated surface set, far smaller, for readers that know it.
enum class StepGeometry { None, Faceted, Tessellated };

// What a STEP save is told, in its options (SaveMeshOptions::drivers); a
// save without them follows the driver's own profile and geometry form.
struct OVMESHDRIVERS_API StepSaveSettings : ovDriverSettings {
    ~StepSaveSettings() override;

    StepProfile profile = StepProfile::Exact;
    // How meshes are written, in the Interop profile only.
    StepGeometry geometry = StepGeometry::None;

    // Whether the files hold meshes: a geometry form in the Interop profile.
    bool holdsGeometry() const { return profile == StepProfile::Interop && geometry != StepGeometry::None; }
};

// Saves a tree of nodes and external-reference nodes as an AP242 assembly:
// products, definitions, placements, document references, properties and
// units, and no geometry. Every entity is laid out from the EXPRESS schema
// read at construction. Save only.
class OVMESHDRIVERS_API StepMeshDriver : public ovCoreMeshDriver {
public:
    // A schema that does not load leaves the driver without one (see isSchemaValid).
    explicit StepMeshDriver(const std::string& schemaPath);
    ~StepMeshDriver() override;

    bool isSchemaValid() const { return schema != nullptr; }

    // The profile of the files the following saves without StepSaveSettings
    // write, on an instance the host owns; Exact until set.
    void setProfile(StepProfile newProfile) { defaults.profile = newProfile; }
    StepProfile getProfile() const { return defaults.profile; }

    // How the meshes of a saved tree are written by those saves, in the
    // Interop profile only (the Exact profile refuses them); None until set.
    void setGeometry(StepGeometry form) { defaults.geometry = form; }
    StepGeometry getGeometry() const { return defaults.geometry; }

    // Structure, or Geometry when the save's settings hold meshes.
    ovSavedContent savedContent(const SaveMeshOptions& options) const override;
    bool savesAssemblies() const override { return true; }

    // Rejected whenever options.optionFlag is set.
    HandleRequestResult canSave(const std::string& path, const SaveMeshOptions& options) override;
    // Records options.fileName as the file name; the path is not read.
    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;
    // Records the file's base name as the file name.
    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;

    // objects must hold exactly one spatial; false, with nothing written, otherwise.
    bool saveMeshesToStep(const ovObjectList& objects, ovIoDevice& device,
                          ovProgressNotifierInterface* progress, const std::string& fileName,
                          const SaveMeshOptions& options) const;

private:
    std::unique_ptr<express::ExpressSchema> schema;
    StepSaveSettings settingsFor(const SaveMeshOptions& options) const;

    StepSaveSettings defaults;
};

}  // namespace ov::step

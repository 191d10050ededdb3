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

// Saves a tree of nodes and external-reference nodes as an AP242 assembly:
// products, definitions, placements, document references, properties and
// units, and no geometry. Every entity is laid out from the EXPRESS schema
// read at construction. Save only.
class OVMESHDRIVERS_API StepMeshDriver : public ovCoreMeshDriver {
public:
    // A schema that does not load leaves the driver without one (see isSchemaValid).
    explicit StepMeshDriver(const std::string& schemaPath);
    ~StepMeshDriver() override;
    std::string getName() const override { return "StepMeshDriver"; }

    bool isSchemaValid() const { return schema != nullptr; }

    // The profile of the files the following saves write; Exact until set.
    void setProfile(StepProfile newProfile) { profile = newProfile; }
    StepProfile getProfile() const { return profile; }

    // How the meshes of a saved tree are written, in the Interop profile only
    // (the Exact profile refuses them); None until set.
    void setGeometry(StepGeometry form) { geometry = form; }
    StepGeometry getGeometry() const { return geometry; }

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
    StepProfile profile = StepProfile::Exact;
    StepGeometry geometry = StepGeometry::None;
};

}  // namespace ov::step

#pragma once

#include <memory>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "express/ExpressSchema.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "step/StepSaveSettings.h"

namespace ov::step {

// Saves a tree of nodes and external-reference nodes as an AP242 assembly:
// products, definitions, placements, document references, properties and
// units, and no geometry. Every entity is laid out from the EXPRESS schema
// read at construction. Save only. Each save writes as the StepSaveSettings
// in its options say, or as the driver's own settings where they carry none.
class OVMESHDRIVERS_API StepMeshDriver : public ovCoreMeshDriver {
public:
    // A schema that does not load leaves the driver without one (see isSchemaValid).
    explicit StepMeshDriver(const std::string& schemaPath);
    ~StepMeshDriver() override;
    std::string getName() const override { return "StepMeshDriver"; }

    bool isSchemaValid() const { return schema != nullptr; }

    // The settings of saves whose options carry none, for a driver instance
    // its caller owns; the exact profile without geometry until set.
    void setProfile(StepProfile newProfile) { ownSettings.profile = newProfile; }
    StepProfile getProfile() const { return ownSettings.profile; }
    void setGeometry(StepGeometry form) { ownSettings.geometry = form; }
    StepGeometry getGeometry() const { return ownSettings.geometry; }

    // Structure, or Geometry when the save's settings write meshes.
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
    StepSaveSettings ownSettings;
};

}  // namespace ov::step

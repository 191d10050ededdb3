#include "step/StepMeshDriver.h"

#include <optional>

#include "core/SceneWalk.h"
#include "scenegraph/ovMetadata.h"
#include "step/StepExport.h"
#include "step/StepGeometryWriter.h"
#include "system/ovLog.h"
#include "system/ovStringUtils.h"
#include "system/ovSystemUtils.h"

namespace ov::step {

namespace {

// The 22 entities every file starts with: contexts, organisation, units,
// the identity placement and what document references share. Their ids are
// 1 to 22 in the exact profile.
bool writeExportFrame(StepExportContext& context, const ovSpatial& root) {
    const ovVariant application = writeNewEntity(context, {"application_context"},
                                                 stepAttributes("application", text("digital mock up")))
                                      .toVariant();
    writeNewEntity(
        context, {"application_protocol_definition"},
        stepAttributes("status", text("international standard"), "application_interpreted_model_schema_name",
                       text(context.rules.protocolSchemaName), "application_protocol_year",
                       ovVariant(context.rules.protocolYear), "application", application));
    context.productContext =
        writeNewEntity(context, {"product_context"},
                       stepAttributes("name", text("DMU"), "discipline_type", text("visualization"),
                                      "frame_of_reference", application));
    context.productDefinitionContext =
        writeNewEntity(context, {"product_definition_context"},
                       stepAttributes("name", text("part definition"), "life_cycle_stage", text("support"),
                                      "frame_of_reference", application));
    context.organization =
        writeNewEntity(context, {"organization"}, stepAttributes("name", text("OMBRE VIAN")));
    context.organizationRole =
        writeNewEntity(context, {"organization_role"}, stepAttributes("name", text("id owner")));
    if (!context.rules.ownedPartsListed) {
        writeOrganizationAssignment(context);
    }
    const auto documentType = stepAttributes("product_data_type", text("geometry"));
    const auto objectRole = stepAttributes("name", text("mandatory"));
    writeNewEntity(context, {"document_type"}, documentType);
    writeNewEntity(context, {"object_role"}, objectRole);
    context.externalSource = writeNewEntity(
        context, {"external_source"},
        stepAttributes("source_id", Part21WriterUserData(Part21WriterUserData::DotIdentifier).toVariant()));

    if (!writeUnits(context, root)) {
        return false;
    }

    const double origin[] = {0.0, 0.0, 0.0};
    context.zeroPoint =
        writeNewEntity(context, {"cartesian_point"},
                       stepAttributes("name", text("zero_3d_point"), "coordinates", ovVariant(origin, 3)));
    const Part21WriterUserData zAxis = writeNewEntity(
        context, {"direction"}, stepAttributes("name", text(""), "direction_ratios", vector3(0, 0, 1)));
    const Part21WriterUserData xAxis = writeNewEntity(
        context, {"direction"}, stepAttributes("name", text(""), "direction_ratios", vector3(1, 0, 0)));
    context.identityPlacement =
        writeNewEntity(context, {"axis2_placement_3d"},
                       stepAttributes("name", text("identity"), "location", context.zeroPoint.toVariant(),
                                      "axis", zAxis.toVariant(), "ref_direction", xAxis.toVariant()));
    context.identityTransform = writeNewEntity(
        context, {"item_defined_transformation"},
        stepAttributes("name", text(""), "transform_item_1", context.identityPlacement.toVariant(),
                       "transform_item_2", context.identityPlacement.toVariant()));
    // The document type and object role written above are never referred
    // to; references go to these repetitions.
    context.documentType = writeNewEntity(context, {"document_type"}, documentType);
    context.identificationRole =
        writeNewEntity(context, {"identification_role"},
                       stepAttributes("name", text("file system"), "description", text("access context")));
    context.objectRole = writeNewEntity(context, {"object_role"}, objectRole);
    return true;
}

}  // namespace

void writeOrganizationAssignment(StepExportContext& context) {
    const ovVariantListImpl items =
        context.rules.ownedPartsListed ? context.partProducts : ovVariantListImpl();
    writeNewEntity(context, {"applied_organization_assignment"},
                   stepAttributes("assigned_organization", context.organization.toVariant(), "role",
                                  context.organizationRole.toVariant(), "items", ovVariant(items)));
}

StepSaveSettings::~StepSaveSettings() = default;

ovSavedContent StepMeshDriver::savedContent(const SaveMeshOptions& options) const {
    const StepSaveSettings* given = options.drivers.find<StepSaveSettings>();
    const StepSaveSettings& settings = given != nullptr ? *given : ownSettings;
    return StepRules::of(settings).geometry != StepGeometry::None ? ovSavedContent::Geometry
                                                                  : ovSavedContent::Structure;
}

StepMeshDriver::StepMeshDriver(const std::string& schemaPath)
    : ovCoreMeshDriver(true), schema(std::make_unique<express::ExpressSchema>()) {
    if (!schema->loadSchema(schemaPath)) {
        schema.reset();
    }
    addSaveExtension("stp");
    addSaveExtension("step");
}

StepMeshDriver::~StepMeshDriver() = default;

HandleRequestResult StepMeshDriver::canSave(const std::string& path, const SaveMeshOptions& options) {
    if (options.optionFlag) {
        return RequestRejected;
    }
    return ovCoreMeshDriver::canSave(path, options);
}

bool StepMeshDriver::saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string&,
                                ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    return saveMeshesToStep(objects, device, progress, options.fileName, options);
}

bool StepMeshDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                                ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    if (!schema) {
        return false;
    }
    ovIoDeviceFileStream file(path, ovIoDevice::WriteOnly, true);
    if (!file.isOpen()) {
        ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true)
            << "Step driver : cannot open '" << path << "' for writing";
        return false;
    }
    const bool saved =
        saveMeshesToStep(objects, file, progress, ovDirUtils::ExtractFileBaseName(path), options);
    // The stream holds the last bytes until it is closed: a disk that refuses
    // them fails the save as a device that stopped being good does.
    const bool closed = file.close();
    return saved && closed;
}

bool StepMeshDriver::saveMeshesToStep(const ovObjectList& objects, ovIoDevice& device,
                                      ovProgressNotifierInterface* progress, const std::string& fileName,
                                      const SaveMeshOptions& options) const {
    const ovSpatial* rootObject = singleSpatialRoot(objects);
    if (!schema || !rootObject) {
        return false;
    }
    const ovSpatial& root = *rootObject;
    const StepSaveSettings* settings = options.drivers.find<StepSaveSettings>();
    StepExportContext context(StepRules::of(settings != nullptr ? *settings : ownSettings));
    context.progress = progress;
    std::optional<GeometryWriter> geometryWriter;
    if (context.rules.geometry != StepGeometry::None) {
        if (!GeometryWriter::schemaMatches(*schema, context.rules.geometry)) {
            return false;
        }
        context.geometry = &geometryWriter.emplace(context, context.rules.geometry);
    }
    const Part21Header header{fileName, options.author, GetSoftwareVersionForStream().toString(),
                              context.rules.fileSchemas, context.rules.encodedHeaderTexts};
    if (!context.writer.beginWritePart21(header, schema.get(), &device)) {
        return false;
    }
    if (!writeExportFrame(context, root)) {
        return false;
    }
    DefinitionRefs* rootDefinition = nullptr;
    if (!writeSpatialTree(context, &root, rootDefinition)) {
        ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true)
            << "Fail to save spatial tree in step " << root.GetType().GetName();
        return false;
    }
    if (context.rules.ownedPartsListed && !context.partProducts.empty()) {
        writeOrganizationAssignment(context);
    }
    if (!writeProductCategories(context) || !context.writer.endWritePart21() || !device.good()) {
        return false;
    }
    return !context.writer.isWriteError();
}

}  // namespace ov::step

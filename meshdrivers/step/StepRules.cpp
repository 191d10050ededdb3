#include "step/StepRules.h"

namespace ov::step {

StepRules StepRules::of(const StepSaveSettings& settings) {
    StepRules rules;
    if (settings.profile == StepProfile::Exact) {
        rules.fileSchemas = {"AUTOMOTIVE_DESIGN", "AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF",
                             "AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 }"};
        rules.protocolSchemaName = "automotive_design";
        rules.protocolYear = 2003;
        return rules;
    }
    // The one schema the header declares, with its object identifier.
    rules.fileSchemas = {"AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF { 1 0 10303 442 1 1 4 }"};
    rules.encodedHeaderTexts = true;
    rules.protocolSchemaName = "ap242_managed_model_based_3d_engineering";
    rules.protocolYear = 2014;
    rules.values = {true, true};
    rules.geometry = settings.geometry;
    rules.ownedPartsListed = true;
    rules.statedUnits = true;
    rules.rigidPlacements = true;
    rules.distinctSetMembers = true;
    rules.documentFileById = true;
    rules.occurrenceProperties = true;
    rules.refusalsNameTheirNode = true;
    rules.noEmptySets = true;
    rules.partNumbersAsIds = true;
    rules.readablePropertyItems = true;
    return rules;
}

}  // namespace ov::step

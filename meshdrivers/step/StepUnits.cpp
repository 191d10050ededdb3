// The units of a STEP file and, in the interop profile, its length uncertainty.
#include <cmath>
#include <optional>
#include <vector>

#include "scenegraph/ovMetadata.h"
#include "step/StepExport.h"
#include "system/ovLog.h"

namespace ov::step {

namespace {

// The SI prefix of the length unit for a scene unit of metresPerUnit. The
// tolerances narrow with the unit, and the first rule that holds decides.
std::optional<const char*> lengthUnitPrefix(double metresPerUnit) {
    struct Rule {
        double metres;
        double tolerance;
        const char* prefix;
    };
    static constexpr Rule kRules[] = {
        {1.0, 0.001, nullptr},
        {0.1, 0.0001, "DECI"},
        {0.01, 0.00001, "CENTI"},
        {0.001, 0.000001, "MILLI"},
    };
    for (const Rule& rule : kRules) {
        if (std::fabs(metresPerUnit - rule.metres) < rule.tolerance) {
            return rule.prefix;
        }
    }
    return std::nullopt;
}

// Imperial units readers know by name, defined in millimetres.
struct ConversionUnit {
    const char* name;
    double millimetres;
};
constexpr ConversionUnit kConversionUnits[] = {{"INCH", 25.4}, {"FOOT", 304.8}};

const ConversionUnit* conversionUnit(double metresPerUnit) {
    for (const ConversionUnit& unit : kConversionUnits) {
        if (std::fabs(metresPerUnit * 1000.0 / unit.millimetres - 1.0) < 1e-6) {
            return &unit;
        }
    }
    return nullptr;
}

Part21WriterUserData writeSiLengthUnit(StepExportContext& context, const char* prefix) {
    std::vector<Part21Attribute> attributes{{"name", enumeration("METRE")}};
    if (prefix != nullptr) {
        attributes.push_back({"prefix", enumeration(prefix)});
    }
    return writeNewEntity(context, {"length_unit", "si_unit"}, attributes);
}

// An inch or a foot: a named unit of length defined by its length in millimetres.
Part21WriterUserData writeConversionUnit(StepExportContext& context, const ConversionUnit& unit) {
    const Part21WriterUserData millimetre = writeSiLengthUnit(context, "MILLI");
    const Part21WriterUserData factor =
        writeNewEntity(context, {"length_measure_with_unit"},
                       stepAttributes("value_component",
                                      Part21WriterUserData("LENGTH_MEASURE", unit.millimetres).toVariant(),
                                      "unit_component", millimetre.toVariant()));
    const Part21WriterUserData lengthDimensions = writeNewEntity(
        context, {"dimensional_exponents"},
        stepAttributes("length_exponent", 1.0, "mass_exponent", 0.0, "time_exponent", 0.0,
                       "electric_current_exponent", 0.0, "thermodynamic_temperature_exponent", 0.0,
                       "amount_of_substance_exponent", 0.0, "luminous_intensity_exponent", 0.0));
    return writeNewEntity(context, {"conversion_based_unit", "length_unit"},
                          stepAttributes("name", text(unit.name), "conversion_factor", factor.toVariant(),
                                         "dimensions", lengthDimensions.toVariant()));
}

// Exact: metres with the prefix the root's world units call for; a scale the
// rule does not know stays in metres, with a warning.
Part21WriterUserData writeExactLengthUnit(StepExportContext& context,
                                          const ovWorldUnitsMetaData* worldUnits) {
    if (worldUnits == nullptr) {
        return writeSiLengthUnit(context, nullptr);
    }
    const std::optional<const char*> prefix = lengthUnitPrefix(worldUnits->getValue());
    if (!prefix) {
        ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true)
            << "Fail to deduce scene unit, file will be exported in meter";
    }
    return writeSiLengthUnit(context, prefix.value_or(nullptr));
}

// Stated units: an SI prefix, an inch or a foot as such; any other positive scale
// is written in millimetres (metres from 1 m up) with every length multiplied
// into that unit, so that sizes stay true.
Part21WriterUserData writeStatedLengthUnit(StepExportContext& context, double metresPerUnit) {
    if (const std::optional<const char*> prefix = lengthUnitPrefix(metresPerUnit)) {
        return writeSiLengthUnit(context, *prefix);
    }
    if (const ConversionUnit* unit = conversionUnit(metresPerUnit)) {
        return writeConversionUnit(context, *unit);
    }
    if (!(metresPerUnit > 0)) {
        return writeExactLengthUnit(context, nullptr);
    }
    const bool metres = metresPerUnit >= 1.0;
    context.lengthScale = metres ? metresPerUnit : metresPerUnit * 1000.0;
    return writeSiLengthUnit(context, metres ? nullptr : "MILLI");
}

}  // namespace

bool writeUnits(StepExportContext& context, const ovSpatial& root) {
    const auto* worldUnits = root.findMetadata<const ovWorldUnitsMetaData>();
    Part21WriterUserData length;
    if (!context.rules.statedUnits || worldUnits == nullptr) {
        length = writeExactLengthUnit(context, worldUnits);
    } else if (!std::isfinite(worldUnits->getValue())) {
        ovLogObject(ovLogError, nullptr, ovLog::msInstance, nullptr, true)
            << "Step driver : the world units of '" << root.GetName() << "' are not a finite number";
        return false;
    } else {
        if (worldUnits->getValue() <= 0) {
            ovLogObject(ovLogWarning, nullptr, ovLog::msInstance, nullptr, true)
                << "Fail to deduce scene unit, file will be exported in meter";
        }
        length = writeStatedLengthUnit(context, worldUnits->getValue());
    }
    context.units.push_back(length.toVariant());
    context.units.push_back(writeNewEntity(context, {"plane_angle_unit", "si_unit"},
                                           stepAttributes("name", enumeration("RADIAN")))
                                .toVariant());
    context.units.push_back(writeNewEntity(context, {"solid_angle_unit", "si_unit"},
                                           stepAttributes("name", enumeration("STERADIAN")))
                                .toVariant());
    std::vector<Part21Attribute> contextAttributes{{"context_identifier", text("")},
                                                   {"context_type", text("")},
                                                   {"coordinate_space_dimension", ovVariant(3)},
                                                   {"units", ovVariant(context.units)}};
    if (!context.rules.statedUnits) {
        context.geometricContext = writeNewEntity(
            context, {"geometric_representation_context", "global_unit_assigned_context"}, contextAttributes);
        return true;
    }
    // Readers merge points closer than this, in the file's length unit.
    const Part21WriterUserData uncertainty = writeNewEntity(
        context, {"uncertainty_measure_with_unit"},
        stepAttributes("value_component", Part21WriterUserData("LENGTH_MEASURE", 1e-7).toVariant(),
                       "unit_component", length.toVariant(), "name", text("distance_accuracy_value"),
                       "description", text("confusion accuracy")));
    contextAttributes.push_back({"uncertainty", listOf(uncertainty)});
    context.geometricContext =
        writeNewEntity(context,
                       {"geometric_representation_context", "global_uncertainty_assigned_context",
                        "global_unit_assigned_context"},
                       contextAttributes);
    return true;
}

}  // namespace ov::step

#include "ovmesh/commands/AssemblyOptions.h"

#include <map>
#include <vector>

#include "ovmesh/output/WorldUnits.h"

namespace ov::ovmesh {

void addAssemblyOptions(CLI::App& convert, ConvertOptions& options) {
    convert
        .add_option("--external-parts", options.externalParts,
                    "for .stp/.step: write each part's meshes and polylines to a file of this format "
                    "(e.g. stl) beside the output, referred to by the assembly")
        ->transform([](std::string format) {
            format = CLI::detail::to_lower(format);
            return format.starts_with('.') ? format.substr(1) : format;
        });
    const std::map<std::string, step::StepGeometry> geometryForms{
        {"faceted", step::StepGeometry::Faceted},
        {"tessellated", step::StepGeometry::Tessellated},
        {"none", step::StepGeometry::None}};
    convert
        .add_option(
            "--step-geometry", options.stepGeometry,
            "for .stp/.step: the meshes as planar faces (faceted, opened by every CAD reader), as "
            "triangulated surface sets (tessellated: smaller, for newer readers) or not at all (none)")
        ->transform(CLI::CheckedTransformer(geometryForms, CLI::ignore_case))
        ->option_text("faceted|tessellated|none (default faceted)");
    std::vector<std::string> units;
    for (const auto& [name, metres] : worldUnitsByName()) {
        units.push_back(name);
    }
    convert
        .add_option("--units", options.units, "scene units of the input, stated in the output (OBJ has none)")
        ->transform(CLI::IsMember(units, CLI::ignore_case));
}

}  // namespace ov::ovmesh

#include "ovmesh/commands/AssemblyOptions.h"

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
    std::vector<std::string> units;
    for (const auto& [name, metres] : worldUnitsByName()) {
        units.push_back(name);
    }
    convert
        .add_option("--units", options.units, "scene units of the input, stated in the output (OBJ has none)")
        ->transform(CLI::IsMember(units, CLI::ignore_case));
}

}  // namespace ov::ovmesh

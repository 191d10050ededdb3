#include "ovmesh/output/WorldUnits.h"

#include "scenegraph/ovMetadata.h"

namespace ov::ovmesh {

const std::map<std::string, double>& worldUnitsByName() {
    static const std::map<std::string, double> kUnits{{"mm", 0.001}, {"cm", 0.01}, {"dm", 0.1}, {"m", 1.0}};
    return kUnits;
}

std::optional<std::string> setWorldUnits(ovSpatial& root, const std::string& unitName) {
    if (const auto* stated = root.findMetadata<const ovWorldUnitsMetaData>()) {
        return "the input states its units already (" + std::to_string(stated->getValue()) +
               " m per unit); --units " + unitName + " is ignored";
    }
    root.setMetadata(new ovWorldUnitsMetaData(worldUnitsByName().at(unitName)));
    return std::nullopt;
}

}  // namespace ov::ovmesh

#include "ovmesh/input/ReadOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#ifdef OV_WITH_ASSIMP
#include "assimp/AssimpMeshDriver.h"
#endif
#include "core/SceneWalk.h"
#include "obj/ObjMeshDriver.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"

namespace ov::ovmesh {

namespace fs = std::filesystem;

namespace {

template <typename Settings>
void setImport(LoadMeshOptions& options, const ReadOptions& reading) {
    Settings settings = options.drivers.get<Settings>();
    settings.textures = reading.textures;
    settings.confine = reading.confine;
    options.drivers.set(settings);
}

}  // namespace

LoadMeshOptions withReadOptions(LoadMeshOptions options, const ReadOptions& reading) {
    setImport<ObjLoadSettings>(options, reading);
#ifdef OV_WITH_ASSIMP
    setImport<AssimpLoadSettings>(options, reading);
#endif
    step::StepLoadSettings step = reading.meshing;
    step.confine = reading.confine;
    options.drivers.set(step);
    return options;
}

std::optional<step::StepLoadSettings> parseDeflection(const std::string& text,
                                                      step::StepLoadSettings meshing) {
    const bool millimetres = text.ends_with("mm");
    const std::string_view number(text.data(), text.size() - (millimetres ? 2 : 0));
    double value = 0;
    const auto [end, failure] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (failure != std::errc() || end != number.data() + number.size() || !(value > 0) ||
        !std::isfinite(value) || (!millimetres && value >= 1)) {
        return std::nullopt;
    }
    meshing.linearDeflection = value;
    meshing.relativeDeflection = !millimetres;
    return meshing;
}

void requireConfinedReferences(const ovSpatial& scene, const fs::path& confinedTo, const ReadOptions& reading,
                               const std::string& source) {
    if (!reading.confine) {
        return;
    }
    const Confinement confinement(confinedTo, true);
    const fs::path parent = fsPath(source).parent_path();
    const fs::path folder = parent.empty() ? fs::path(".") : parent;
    walkScene(scene, nullptr, [&](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovXRefNode::TYPE)) {
            std::string named = static_cast<const ovXRefNode&>(step.object).getUtf8FilePath();
            std::replace(named.begin(), named.end(), '\\', '/');
            try {
                confinement.require(folder / fsPath(named), named, source);
            } catch (const ReadError& refused) {
                throw ToolError(refused.what());
            }
        }
    });
}

}  // namespace ov::ovmesh

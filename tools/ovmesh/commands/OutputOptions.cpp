#include "ovmesh/commands/OutputOptions.h"

#include <algorithm>

#include "collada/ovColladaMeshDriver.h"
#include "core/SceneWalk.h"
#include "core/UpAxes.h"
#include "gltf/GltfMeshDriver.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/commands/StandardStreams.h"
#include "scenegraph/ovBuffers.h"
#include "scenegraph/ovGeometry.h"

namespace ov::ovmesh {

namespace {

// The formats whose writers keep vertex colours and texture images.
constexpr const char* kColourFormats[] = {"dae", "gltf", "glb"};

bool holdsColours(const std::string& extension) {
    return std::find(std::begin(kColourFormats), std::end(kColourFormats), extension) !=
           std::end(kColourFormats);
}

bool hasVertexColours(const ovSpatial& scene) {
    bool found = false;
    walkScene(scene, nullptr, [&found](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovBaseGeometry::TYPE)) {
            const ovVertexBuffer* vertices =
                static_cast<const ovBaseGeometry&>(step.object).getVertexBuffer();
            found = vertices && vertices->GetAttributes().HasColor();
        }
        return found ? WalkNext::Stop : WalkNext::Children;
    });
    return found;
}

}  // namespace

void addOutputOptions(CLI::App& convert, ConvertOptions& options) {
    convert
        .add_option(
            "--up", options.up,
            "for .dae, .gltf, .glb and drawings: the axis that points up (default: the input format's, "
            "docs/formats.md lists them)")
        ->transform(CLI::IsMember({"y", "z"}, CLI::ignore_case));
    convert
        .add_option("--precision", options.precision,
                    "for .dae: significant digits of coordinates, 6 or 9 (9 gives every float back exactly)")
        ->check(CLI::IsMember({6, 9}))
        ->capture_default_str();
}

SceneUp sceneUpFor(const std::string& input, const std::string& from, const std::string& up) {
    if (!up.empty()) {
        return up == "y" ? SceneUp::Y : SceneUp::Z;
    }
    return sceneUpOfFormat(inputFormatOf(input, from));
}

ovDriverSettingsList driverSettingsFor(SceneUp up, int significantDigits, step::StepProfile profile,
                                       step::StepGeometry geometry) {
    ColladaSaveSettings collada;
    collada.upAxis = up == SceneUp::Y ? ColladaSaveSettings::UpAxis::Y : ColladaSaveSettings::UpAxis::Z;
    collada.transparency = true;
    collada.phong = true;
    collada.polylines = true;
    collada.vertexColours = true;
    collada.significantDigits = significantDigits;
    GltfSaveSettings gltf;
    gltf.upAxis = up == SceneUp::Y ? GltfSaveSettings::UpAxis::Y : GltfSaveSettings::UpAxis::Z;
    step::StepSaveSettings step;
    step.profile = profile;
    step.geometry = geometry;
    ovDriverSettingsList settings;
    settings.set(collada);
    settings.set(gltf);
    settings.set(step);
    return settings;
}

std::optional<std::string> droppedColoursWarning(const ovSpatial& scene, const std::string& input,
                                                 const std::string& output) {
    const std::string extension = extensionOf(output);
    if (holdsColours(extension) || !hasVertexColours(scene)) {
        return std::nullopt;
    }
    return input + ": the vertex colours are left out: ." + extension + " files have no place for them";
}

ReadOptions readOptionsFor(const ConvertOptions& options) {
    return {holdsColours(extensionOf(options.output)) || holdsColours(options.externalParts), options.confine,
            options.meshing};
}

}  // namespace ov::ovmesh

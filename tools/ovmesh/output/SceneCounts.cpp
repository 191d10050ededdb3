#include "ovmesh/output/SceneCounts.h"

#include <filesystem>
#include <set>
#include <sstream>

#include "core/SceneWalk.h"
#include "ovmesh/Paths.h"
#include "ovmesh/commands/SceneIo.h"
#include "scenegraph/ovBuffers.h"
#include "scenegraph/ovGeometry.h"

namespace ov::ovmesh {

namespace {

// The references of a scene to other files, which the tool does not read in.
struct References {
    size_t count = 0;
    size_t missing = 0;
    std::string first;
};

// Relative paths are looked for in folder, the input's.
References referencesIn(const ovSpatial& root, const std::filesystem::path& folder) {
    References references;
    walkScene(root, nullptr, [&](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovXRefNode::TYPE)) {
            const std::string& path = static_cast<const ovXRefNode&>(step.object).getUtf8FilePath();
            std::error_code error;
            references.missing += std::filesystem::exists(folder / fsPath(path), error) ? 0 : 1;
            if (references.count++ == 0) {
                references.first = path;
            }
        }
    });
    return references;
}

std::string referencesReason(const References& references, const std::string& inputName) {
    const std::string parts = inputName + "'s " + std::to_string(references.count) + " part" +
                              (references.count == 1 ? "" : "s") + " reference";
    const std::string first = " (the first: '" + references.first + "')";
    if (references.missing == references.count) {
        return parts + (references.count == 1 ? "s a file that was" : " files that were") + " not found" +
               first;
    }
    return parts + (references.count == 1 ? "s a file" : " files") + first +
           ", whose geometry is not read in" +
           (references.missing == 0 ? "" : "; " + std::to_string(references.missing) + " were not found");
}

// Why a drawing of input's meshes shows none of them.
std::string undrawnMeshesReason(const std::string& inputName, std::optional<double> meshEdgeDegrees) {
    if (!meshEdgeDegrees) {
        return inputName + " has no polylines, and --edges none leaves out its meshes";
    }
    std::ostringstream reason;
    reason << inputName << "'s meshes have no border and no edge where their faces fold by more than "
           << *meshEdgeDegrees << " degrees; a smaller --edges angle draws more of them";
    return reason.str();
}

// What input holds that the output could not show.
std::string emptyReason(const ovSpatial& input, const std::filesystem::path& inputFolder,
                        const std::string& extension, const std::string& inputFormat,
                        std::optional<double> meshEdgeDegrees) {
    const GeometryCounts held = totalsOf(input);
    const std::string inputName = "the ." + inputFormat + " input";
    if (formatKindOf(extension) == FormatKind::Drawing && held.triangles > 0) {
        return undrawnMeshesReason(inputName, meshEdgeDegrees);
    }
    if (held.segments > 0 && held.triangles == 0) {
        return inputName + "'s geometry is polylines, which ." + extension + " files do not hold";
    }
    const References references = referencesIn(input, inputFolder);
    if (references.count > 0) {
        return referencesReason(references, inputName);
    }
    return inputName + " holds no meshes or polylines";
}

}  // namespace

GeometryCounts countsOf(const ovSpatial& spatial) {
    GeometryCounts counts;
    if (!spatial.IsDerived(ovBaseGeometry::TYPE)) {
        return counts;
    }
    const auto& geometry = static_cast<const ovBaseGeometry&>(spatial);
    const ovVertexBuffer* vertices = geometry.getVertexBuffer();
    const ovIndexBuffer* indices = geometry.getIndexBuffer();
    counts.vertices = vertices != nullptr ? vertices->GetVertexQuantity() : 0;
    if (spatial.IsDerived(ovTriMesh::TYPE)) {
        counts.triangles = static_cast<const ovTriMesh&>(spatial).GetTriangleQuantity();
    } else if (spatial.IsDerived(ovLine::TYPE) && indices != nullptr) {
        counts.segments = indices->GetIndexQuantity() / 2;
    }
    counts.materials = geometry.getMaterialState() != nullptr ? 1 : 0;
    return counts;
}

GeometryCounts totalsOf(const ovSpatial& root) {
    GeometryCounts totals;
    std::set<const ovMaterialState*> materials;
    walkScene(root, nullptr, [&](const WalkStep<const ovSpatial>& step) {
        const GeometryCounts own = countsOf(step.object);
        totals.vertices += own.vertices;
        totals.triangles += own.triangles;
        totals.segments += own.segments;
        if (step.object.IsDerived(ovBaseGeometry::TYPE)) {
            if (const ovMaterialState* material =
                    static_cast<const ovBaseGeometry&>(step.object).getMaterialState()) {
                materials.insert(material);
            }
        }
    });
    totals.materials = static_cast<int64_t>(materials.size());
    return totals;
}

std::optional<std::string> emptyOutputReason(const ovSpatial& input, const std::filesystem::path& inputFolder,
                                             const ovSpatial& output, const std::string& extension,
                                             const std::string& inputFormat,
                                             std::optional<double> meshEdgeDegrees) {
    const FormatKind kind = formatKindOf(extension);
    const GeometryCounts shown = totalsOf(output);
    const int64_t held = kind == FormatKind::Drawing ? shown.segments
                         : extension == "stl"        ? shown.triangles
                                                     : shown.triangles + shown.segments;
    if (kind == FormatKind::Structure || held > 0) {
        return std::nullopt;
    }
    return emptyReason(input, inputFolder, extension, inputFormat, meshEdgeDegrees);
}

}  // namespace ov::ovmesh

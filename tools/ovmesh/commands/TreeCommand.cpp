#include "ovmesh/commands/TreeCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

#include "core/RigidSplit.h"
#include "core/SceneWalk.h"
#include "ovmesh/commands/InputLoading.h"
#include "ovmesh/output/SceneCounts.h"
#include "scenegraph/ovBuffers.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovMetadata.h"
#include "system/ovJsonWriter.h"
#include "system/ovStringUtils.h"

namespace ov::ovmesh {

namespace {

// Deeper levels are not indented further, so that a very deep tree still
// prints in lines of reasonable length; the line says its depth instead.
constexpr size_t kMaxIndentedDepth = 40;

using MetadataEntries = std::vector<std::pair<std::string, std::string>>;

struct NodeFacts {
    std::string name;
    std::string kind;
    std::string path;  // of an external reference
    Wm4::Vector3<float> translation;
    // The placement's turn, and its scale, mirror and shear as a matrix.
    RigidSplit placement;
    MetadataEntries metadata;
};

void addEntries(MetadataEntries& entries, const ovVariantMapImpl& map) {
    for (const auto& [key, value] : map) {
        entries.emplace_back(key, value.toString());
    }
}

// What the spatial's metadata holds, the shared part of an instance first.
MetadataEntries metadataOf(const ovSpatial& spatial) {
    MetadataEntries entries;
    for (int i = 0; i < spatial.getNbMetadata(); ++i) {
        const ovMetadataInterface& metadata = *spatial.getMetadata(i);
        if (const auto* worldUnits = metadataAs<ovWorldUnitsMetaData>(&metadata)) {
            const double metres = worldUnits->getValue();
            entries.emplace_back("world units (m)",
                                 ovStringUtils::fromFloat(metres, 9, ovStringUtils::General));
        } else if (const auto* instance = metadataAs<ovInstanceMetaData>(&metadata)) {
            const auto* definition = instance->getInstanceDefId();
            if (definition) {
                addEntries(entries, definition->getComponentMd());
            }
        }
        addEntries(entries, metadata.getMd());
    }
    return entries;
}

NodeFacts factsOf(const ovSpatial& spatial) {
    NodeFacts facts;
    facts.name = spatial.GetName();
    if (spatial.IsDerived(ovXRefNode::TYPE)) {
        facts.kind = "external reference";
        facts.path = static_cast<const ovXRefNode&>(spatial).getUtf8FilePath();
    } else if (spatial.IsDerived(ovNode::TYPE)) {
        facts.kind = "node";
    } else if (spatial.IsDerived(ovTriMesh::TYPE)) {
        facts.kind = "mesh";
    } else if (spatial.IsDerived(ovLine::TYPE)) {
        facts.kind = "line";
    } else {
        facts.kind = "spatial";
    }
    facts.translation = spatial.getLocalTransform().GetTranslate();
    facts.placement = splitRigid(linearPart(spatial.getLocalTransform()));
    facts.metadata = metadataOf(spatial);
    return facts;
}

std::string number(double value) {
    // What the split's arithmetic leaves of a zero is zero; adding zero turns -0 into 0.
    const float rounded = std::fabs(value) < 1e-9 ? 0.0f : static_cast<float>(value);
    return ovStringUtils::fromFloat(static_cast<double>(rounded + 0.0f), 6, ovStringUtils::General);
}

template <typename Real>
std::string numbers(const Real* values, size_t count, const char* separator) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            text += separator;
        }
        text += number(values[i]);
    }
    return text;
}

std::string matrixRow(const Matrix3d& matrix, size_t row, const char* separator) {
    const double values[] = {matrix(row, 0), matrix(row, 1), matrix(row, 2)};
    return numbers(values, 3, separator);
}

std::string matrixText(const Matrix3d& matrix) {
    return "(" + matrixRow(matrix, 0, " ") + " / " + matrixRow(matrix, 1, " ") + " / " +
           matrixRow(matrix, 2, " ") + ")";
}

std::string translationText(const Wm4::Vector3<float>& translation, const char* separator) {
    const float values[] = {translation.X(), translation.Y(), translation.Z()};
    return numbers(values, 3, separator);
}

// Off the diagonal, single precision's dust does not count.
bool isDiagonal(const Matrix3d& matrix) {
    const double size = std::max({std::fabs(matrix(0, 0)), std::fabs(matrix(1, 1)), std::fabs(matrix(2, 2))});
    for (size_t i = 0; i < 9; ++i) {
        if (i / 3 != i % 3 && std::fabs(matrix(i / 3, i % 3)) > 1e-6 * size) {
            return false;
        }
    }
    return true;
}

// The turn, then what a rigid placement cannot hold: a scale per axis (a
// mirrored axis negative), or the whole matrix when it shears.
std::string placementText(const RigidSplit& placement) {
    std::string text = placement.rotation == Matrix3d::Identity()
                           ? "  not turned"
                           : "  rotation " + matrixText(placement.rotation);
    if (placement.rigid) {
        return text;
    }
    const Matrix3d& residual = placement.residual;
    if (isDiagonal(residual)) {
        const double scale[] = {residual(0, 0), residual(1, 1), residual(2, 2)};
        text += "  scale (" + numbers(scale, 3, ", ") + ")";
    } else {
        text += "  scale and shear " + matrixText(residual);
    }
    return text + (placement.mirrored ? "  mirrored" : "");
}

std::string textLine(const NodeFacts& facts, size_t depth) {
    std::string line(std::min(depth, kMaxIndentedDepth) * 2, ' ');
    if (depth > kMaxIndentedDepth) {
        line += "[depth " + std::to_string(depth) + "] ";
    }
    line += (facts.name.empty() ? "(unnamed)" : facts.name) + "  " + facts.kind;
    if (!facts.path.empty()) {
        line += " " + facts.path;
    }
    line += "  at (" + translationText(facts.translation, ", ") + ")";
    line += placementText(facts.placement);
    for (size_t i = 0; i < facts.metadata.size(); ++i) {
        line += (i == 0 ? "  " : "; ") + facts.metadata[i].first + " = " + facts.metadata[i].second;
    }
    return line;
}

void writeCounts(JsonWriter& json, const GeometryCounts& counts) {
    json.integer("vertices", counts.vertices);
    json.integer("triangles", counts.triangles);
    json.integer("segments", counts.segments);
    json.integer("materials", counts.materials);
}

template <typename Real>
void writeNumbers(JsonWriter& json, std::string_view key, const Real* values, size_t count) {
    json.beginArray(key);
    for (size_t i = 0; i < count; ++i) {
        json.numberText({}, number(values[i]));
    }
    json.endArray();
}

void writeMatrix(JsonWriter& json, const char* key, const Matrix3d& matrix) {
    json.beginArray(key);
    for (size_t row = 0; row < 3; ++row) {
        const double values[] = {matrix(row, 0), matrix(row, 1), matrix(row, 2)};
        writeNumbers(json, {}, values, 3);
    }
    json.endArray();
}

// The node's members up to its opening children list.
void writeJsonOpening(JsonWriter& json, const ovSpatial& spatial, const NodeFacts& facts) {
    json.beginObject();
    json.string("name", facts.name);
    json.string("kind", facts.kind);
    if (!facts.path.empty()) {
        json.string("path", facts.path);
    }
    const float translation[] = {facts.translation.X(), facts.translation.Y(), facts.translation.Z()};
    writeNumbers(json, "translation", translation, 3);
    writeMatrix(json, "rotation", facts.placement.rotation);
    // Scale, mirror and shear: the identity for a rigid placement.
    writeMatrix(json, "scale", facts.placement.residual);
    json.boolean("mirrored", facts.placement.mirrored);
    json.beginArray("metadata");
    for (const auto& [key, value] : facts.metadata) {
        json.beginObject();
        json.string("key", key);
        json.string("value", value);
        json.endObject();
    }
    json.endArray();
    writeCounts(json, countsOf(spatial));
}

// One JSON document: each node with its children, the root with the totals.
void printJsonTree(std::ostream& out, const ovSpatial& root) {
    JsonWriter json(out);
    const auto enter = [&](const WalkStep<const ovSpatial>& step) {
        writeJsonOpening(json, step.object, factsOf(step.object));
        if (step.depth == 0) {
            json.beginObject("totals");
            writeCounts(json, totalsOf(root));
            json.endObject();
        }
        json.beginArray("children");
    };
    const auto leave = [&](const WalkStep<const ovSpatial>&) {
        json.endArray();
        json.endObject();
    };
    walkScene(root, nullptr, enter, leave);
    out << '\n';
}

void printTextTree(std::ostream& out, const ovSpatial& root) {
    walkScene(root, nullptr, [&](const WalkStep<const ovSpatial>& step) {
        out << textLine(factsOf(step.object), static_cast<size_t>(step.depth)) << '\n';
    });
}

}  // namespace

int runTree(Session& session, const TreeOptions& options) {
    LoadMeshOptions loadOptions;
    loadOptions.importMetadata = options.importMetadata;
    setPlmXmlReading(loadOptions, options.plmxml);
    // The tree shows no texture images: they are not decoded.
    const ovPointer<ovSpatial> root = loadInput(session, options.input, options.from, loadOptions,
                                                {false, options.confine, options.meshing});
    if (options.json) {
        printJsonTree(session.out(), *root);
    } else {
        printTextTree(session.out(), *root);
    }
    return 0;
}

}  // namespace ov::ovmesh

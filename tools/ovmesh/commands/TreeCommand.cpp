#include "ovmesh/commands/TreeCommand.h"

#include <cstdint>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

#include "core/SceneWalk.h"
#include "ovmesh/commands/InputLoading.h"
#include "ovmesh/output/JsonWriter.h"
#include "scenegraph/ovBuffers.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovMetadata.h"
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
    Wm4::Matrix3<float> rotation;
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
    facts.rotation = spatial.getLocalTransform().GetRotate();
    facts.metadata = metadataOf(spatial);
    return facts;
}

std::string number(float value) {
    // Adding zero turns -0 into 0.
    return ovStringUtils::fromFloat(static_cast<double>(value + 0.0f), 6, ovStringUtils::General);
}

std::string numbers(const float* values, size_t count, const char* separator) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            text += separator;
        }
        text += number(values[i]);
    }
    return text;
}

std::string rotationRow(const Wm4::Matrix3<float>& rotation, size_t row, const char* separator) {
    const float values[] = {rotation(row, 0), rotation(row, 1), rotation(row, 2)};
    return numbers(values, 3, separator);
}

std::string translationText(const Wm4::Vector3<float>& translation, const char* separator) {
    const float values[] = {translation.X(), translation.Y(), translation.Z()};
    return numbers(values, 3, separator);
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
    if (facts.rotation == Wm4::Matrix3<float>::Identity()) {
        line += "  not turned";
    } else {
        line += "  rotation (" + rotationRow(facts.rotation, 0, " ") + " / " +
                rotationRow(facts.rotation, 1, " ") + " / " + rotationRow(facts.rotation, 2, " ") + ")";
    }
    for (size_t i = 0; i < facts.metadata.size(); ++i) {
        line += (i == 0 ? "  " : "; ") + facts.metadata[i].first + " = " + facts.metadata[i].second;
    }
    return line;
}

// What a node holds itself: a mesh its vertices, triangles and material, a
// polyline its vertices and segments.
struct GeometryCounts {
    int64_t vertices = 0;
    int64_t triangles = 0;
    int64_t segments = 0;
    int64_t materials = 0;
};

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

// The whole tree's counts; a material shared by several meshes counts once.
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

void writeCounts(JsonWriter& json, const GeometryCounts& counts) {
    json.key("vertices");
    json.value(counts.vertices);
    json.key("triangles");
    json.value(counts.triangles);
    json.key("segments");
    json.value(counts.segments);
    json.key("materials");
    json.value(counts.materials);
}

void writeNumbers(JsonWriter& json, const float* values, size_t count) {
    json.beginArray();
    for (size_t i = 0; i < count; ++i) {
        json.number(number(values[i]));
    }
    json.endArray();
}

// The node's members up to its opening children list.
void writeJsonOpening(JsonWriter& json, const ovSpatial& spatial, const NodeFacts& facts) {
    json.beginObject();
    json.key("name");
    json.value(facts.name);
    json.key("kind");
    json.value(facts.kind);
    if (!facts.path.empty()) {
        json.key("path");
        json.value(facts.path);
    }
    json.key("translation");
    const float translation[] = {facts.translation.X(), facts.translation.Y(), facts.translation.Z()};
    writeNumbers(json, translation, 3);
    json.key("rotation");
    json.beginArray();
    for (size_t row = 0; row < 3; ++row) {
        const float values[] = {facts.rotation(row, 0), facts.rotation(row, 1), facts.rotation(row, 2)};
        writeNumbers(json, values, 3);
    }
    json.endArray();
    json.key("metadata");
    json.beginArray();
    for (const auto& [key, value] : facts.metadata) {
        json.beginObject();
        json.key("key");
        json.value(key);
        json.key("value");
        json.value(value);
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
            json.key("totals");
            json.beginObject();
            writeCounts(json, totalsOf(root));
            json.endObject();
        }
        json.key("children");
        json.beginArray();
    };
    const auto leave = [&](const WalkStep<const ovSpatial>&) {
        json.endArray();
        json.endObject();
    };
    walkScene(root, nullptr, enter, leave);
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
    setPlmXmlReading(options.plmxml);
    // The tree shows no texture images: they are not decoded.
    const ovPointer<ovSpatial> root =
        loadInput(session, options.input, options.from, loadOptions, {false, options.confine});
    if (options.json) {
        printJsonTree(session.out(), *root);
    } else {
        printTextTree(session.out(), *root);
    }
    return 0;
}

}  // namespace ov::ovmesh

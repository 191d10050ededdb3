#include "ovmesh/commands/TreeCommand.h"

#include <utf8.h>

#include <cstdio>
#include <ostream>
#include <utility>
#include <vector>

#include "core/SceneWalk.h"
#include "ovmesh/commands/InputLoading.h"
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

std::string jsonString(const std::string& text) {
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    std::string quoted = "\"";
    for (const char character : valid) {
        if (character == '"' || character == '\\') {
            quoted += '\\';
            quoted += character;
        } else if (static_cast<unsigned char>(character) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(character));
            quoted += escaped;
        } else {
            quoted += character;
        }
    }
    return quoted + "\"";
}

// The node's members up to its opening children list; "]}" closes it.
std::string jsonOpening(const NodeFacts& facts) {
    std::string json = "{\"name\":" + jsonString(facts.name) + ",\"kind\":" + jsonString(facts.kind);
    if (!facts.path.empty()) {
        json += ",\"path\":" + jsonString(facts.path);
    }
    json += ",\"translation\":[" + translationText(facts.translation, ",") + "],\"rotation\":[";
    for (size_t row = 0; row < 3; ++row) {
        json += (row == 0 ? "[" : ",[") + rotationRow(facts.rotation, row, ",") + "]";
    }
    json += "],\"metadata\":[";
    for (size_t i = 0; i < facts.metadata.size(); ++i) {
        json += (i == 0 ? "{\"key\":" : ",{\"key\":") + jsonString(facts.metadata[i].first) +
                ",\"value\":" + jsonString(facts.metadata[i].second) + "}";
    }
    return json + "],\"children\":[";
}

// Each node is printed before its children, and in JSON closed after them.
void printTree(std::ostream& out, const ovSpatial& root, bool json) {
    bool firstSibling = true;
    const auto enter = [&](const WalkStep<const ovSpatial>& step) {
        const NodeFacts facts = factsOf(step.object);
        if (json) {
            out << (firstSibling ? "" : ",") << jsonOpening(facts);
            firstSibling = true;
        } else {
            out << textLine(facts, static_cast<size_t>(step.depth)) << '\n';
        }
    };
    const auto leave = [&](const WalkStep<const ovSpatial>&) {
        if (json) {
            out << "]}";
            firstSibling = false;
        }
    };
    walkScene(root, nullptr, enter, leave);
    if (json) {
        out << '\n';
    }
}

}  // namespace

int runTree(Session& session, const TreeOptions& options) {
    LoadMeshOptions loadOptions;
    loadOptions.importMetadata = options.importMetadata;
    setPlmXmlReading(options.plmxml);
    const ovPointer<ovSpatial> root = loadInput(session, options.input, loadOptions);
    printTree(session.out(), *root, options.json);
    return 0;
}

}  // namespace ov::ovmesh

#include "ovmesh/ObjImport.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "ovmesh/ObjScan.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "scenegraph/ovGeometry.h"

namespace ov::ovmesh {

namespace {

std::vector<std::string> nonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

// Reads the material libraries an OBJ names from the OBJ's own folder, and
// remembers which could not be found.
class MaterialLibraries : public tinyobj::MaterialReader {
public:
    explicit MaterialLibraries(std::filesystem::path folder) : mFolder(std::move(folder)) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* indexByName, std::string* /*warn*/,
                    std::string* /*err*/) override {
        std::ifstream stream(mFolder / fsPath(name));
        if (!stream) {
            if (std::find(missing.begin(), missing.end(), name) == missing.end()) {
                missing.push_back(name);
            }
            return false;
        }
        std::string libraryWarnings;
        std::string libraryErrors;
        tinyobj::LoadMtl(indexByName, materials, &stream, &libraryWarnings, &libraryErrors);
        for (const std::string& line : nonEmptyLines(libraryWarnings + libraryErrors)) {
            warnings.push_back(name + ": " + line);
        }
        return true;
    }

    std::vector<std::string> missing;
    std::vector<std::string> warnings;

private:
    std::filesystem::path mFolder;
};

Wm4::ColorRGBA colorOf(const tinyobj::real_t (&rgb)[3], double alpha = 1.0) {
    return {static_cast<float>(rgb[0]), static_cast<float>(rgb[1]), static_cast<float>(rgb[2]),
            static_cast<float>(alpha)};
}

ovPointer<ovMaterialState> makeMaterialState(const tinyobj::material_t& material) {
    ovPointer<ovMaterialState> state(new ovMaterialState);
    state->SetName(material.name);
    state->ambient = colorOf(material.ambient);
    state->diffuse = colorOf(material.diffuse, material.dissolve);
    state->specular = colorOf(material.specular);
    state->emission = colorOf(material.emission);
    state->alpha = static_cast<float>(material.dissolve);
    state->shininess = static_cast<float>(material.shininess);
    return state;
}

// The triangles of one group that use one material, with their corners made
// into vertices (one per distinct position and normal pair).
struct MeshParts {
    explicit MeshParts(int id) : materialId(id) {}

    int materialId;
    // Keyed by the position index in the high half, the normal index + 1 in the low.
    std::unordered_map<uint64_t, int> vertexOfCorner;
    std::vector<std::pair<int, int>> corners;
    std::vector<int> triangles;
    bool everyCornerHasNormal = true;

    void addCorner(const tinyobj::index_t& corner) {
        const uint64_t key =
            static_cast<uint64_t>(corner.vertex_index) << 32 | static_cast<uint32_t>(corner.normal_index + 1);
        const auto [entry, added] = vertexOfCorner.try_emplace(key, static_cast<int>(corners.size()));
        if (added) {
            corners.emplace_back(corner.vertex_index, corner.normal_index);
            everyCornerHasNormal = everyCornerHasNormal && corner.normal_index >= 0;
        }
        triangles.push_back(entry->second);
    }
};

// The polylines of one group that use one material.
struct LineParts {
    explicit LineParts(std::string name) : material(std::move(name)) {}

    std::string material;
    std::unordered_map<int, int> vertexOfPosition;
    std::vector<int> positions;
    std::vector<int> segments;

    int vertexOf(int position) {
        const auto [entry, added] =
            vertexOfPosition.try_emplace(position, static_cast<int>(positions.size()));
        if (added) {
            positions.push_back(position);
        }
        return entry->second;
    }

    void addPolyline(const std::vector<int>& polyline) {
        for (size_t i = 1; i < polyline.size(); ++i) {
            segments.push_back(vertexOf(polyline[i - 1]));
            segments.push_back(vertexOf(polyline[i]));
        }
    }
};

struct GroupParts {
    std::vector<MeshParts> meshes;
    std::vector<LineParts> lines;

    MeshParts& meshFor(int materialId) {
        const auto found = std::find_if(meshes.begin(), meshes.end(), [materialId](const MeshParts& mesh) {
            return mesh.materialId == materialId;
        });
        return found != meshes.end() ? *found : meshes.emplace_back(materialId);
    }

    LineParts& linesFor(const std::string& material) {
        const auto found = std::find_if(lines.begin(), lines.end(), [&material](const LineParts& line) {
            return line.material == material;
        });
        return found != lines.end() ? *found : lines.emplace_back(material);
    }
};

class SceneBuilder {
public:
    SceneBuilder(const std::string& source, const tinyobj::attrib_t& attributes,
                 const std::vector<tinyobj::material_t>& materials)
        : mSource(source), mAttributes(attributes), mMaterials(materials), mStates(materials.size()) {}

    // Groups come out in this order, then any the scan did not list.
    void orderGroups(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            groupFor(name);
        }
    }

    void addShape(const tinyobj::shape_t& shape) {
        if (shape.mesh.num_face_vertices.empty()) {
            return;
        }
        GroupParts& group = groupFor(objGroupKey(shape.name));
        size_t next = 0;
        for (size_t face = 0; face < shape.mesh.num_face_vertices.size(); ++face) {
            const size_t count = shape.mesh.num_face_vertices[face];
            MeshParts& mesh = group.meshFor(shape.mesh.material_ids[face]);
            // A fan, for the rare polygon the reader leaves untriangulated.
            for (size_t k = 1; k + 1 < count; ++k) {
                for (const size_t corner : {next, next + k, next + k + 1}) {
                    mesh.addCorner(checkedCorner(shape.mesh.indices.at(corner)));
                }
            }
            next += count;
        }
    }

    void addPolyline(const ObjPolyline& polyline) {
        groupFor(polyline.group).linesFor(polyline.material).addPolyline(polyline.vertices);
    }

    ovPointer<ovNode> build(const std::string& rootName) {
        ovPointer<ovNode> root(new ovNode);
        root->SetName(rootName);
        for (const std::string& name : mOrder) {
            root->attachChild(buildGroup(name, mGroups[name]).get());
        }
        return root;
    }

private:
    GroupParts& groupFor(const std::string& name) {
        const auto [entry, added] = mGroups.try_emplace(name);
        if (added) {
            mOrder.push_back(name);
        }
        return entry->second;
    }

    const tinyobj::index_t& checkedCorner(const tinyobj::index_t& corner) const {
        const auto positions = static_cast<int>(mAttributes.vertices.size() / 3);
        const auto normals = static_cast<int>(mAttributes.normals.size() / 3);
        if (corner.vertex_index < 0 || corner.vertex_index >= positions || corner.normal_index < -1 ||
            corner.normal_index >= normals) {
            throw ToolError(mSource + ": a face names a vertex that does not exist");
        }
        return corner;
    }

    Wm4::Vector3f position(int index) const { return vectorAt(mAttributes.vertices, index); }
    Wm4::Vector3f normal(int index) const { return vectorAt(mAttributes.normals, index); }

    static Wm4::Vector3f vectorAt(const std::vector<tinyobj::real_t>& values, int index) {
        const auto at = static_cast<size_t>(index) * 3;
        return {static_cast<float>(values[at]), static_cast<float>(values[at + 1]),
                static_cast<float>(values[at + 2])};
    }

    ovMaterialState* materialState(int materialId) {
        if (materialId < 0 || static_cast<size_t>(materialId) >= mMaterials.size()) {
            return nullptr;
        }
        ovPointer<ovMaterialState>& state = mStates[static_cast<size_t>(materialId)];
        if (!state) {
            state = makeMaterialState(mMaterials[static_cast<size_t>(materialId)]);
        }
        return state.get();
    }

    int materialIdOf(const std::string& name) const {
        const auto found =
            std::find_if(mMaterials.begin(), mMaterials.end(),
                         [&name](const tinyobj::material_t& material) { return material.name == name; });
        return found == mMaterials.end() ? -1 : static_cast<int>(found - mMaterials.begin());
    }

    ovPointer<ovNode> buildGroup(const std::string& name, const GroupParts& parts) {
        ovPointer<ovNode> node(new ovNode);
        node->SetName(name);
        for (const MeshParts& mesh : parts.meshes) {
            ovPointer<ovTriMesh> triangles = buildMesh(mesh);
            triangles->SetName(name);
            node->attachChild(triangles.get());
        }
        for (const LineParts& lines : parts.lines) {
            ovPointer<ovLine> polylines = buildLines(lines);
            polylines->SetName(name);
            node->attachChild(polylines.get());
        }
        return node;
    }

    ovPointer<ovTriMesh> buildMesh(const MeshParts& parts) {
        ovAttributes layout;
        layout.SetNormal(parts.everyCornerHasNormal);
        ovPointer<ovVertexBuffer> vertices(
            new ovVertexBuffer(layout, static_cast<int>(parts.corners.size())));
        for (size_t i = 0; i < parts.corners.size(); ++i) {
            const auto [positionIndex, normalIndex] = parts.corners[i];
            vertices->Position3(static_cast<int>(i)) = position(positionIndex);
            if (parts.everyCornerHasNormal) {
                vertices->Normal3(static_cast<int>(i)) = normal(normalIndex);
            }
        }
        ovPointer<ovTriMesh> mesh(new ovTriMesh(vertices.get(), indexBuffer(parts.triangles).get()));
        mesh->setMaterialState(materialState(parts.materialId));
        return mesh;
    }

    ovPointer<ovLine> buildLines(const LineParts& parts) {
        ovPointer<ovVertexBuffer> vertices(
            new ovVertexBuffer(ovAttributes(), static_cast<int>(parts.positions.size())));
        for (size_t i = 0; i < parts.positions.size(); ++i) {
            vertices->Position3(static_cast<int>(i)) = position(parts.positions[i]);
        }
        ovPointer<ovLine> line(new ovLine(vertices.get(), indexBuffer(parts.segments).get()));
        if (ovMaterialState* state = materialState(materialIdOf(parts.material))) {
            line->setMaterialState(state);
            line->setColor(state->diffuse);
        }
        return line;
    }

    static ovPointer<ovIndexBuffer> indexBuffer(const std::vector<int>& indices) {
        ovPointer<ovIndexBuffer> buffer(new ovIndexBuffer(static_cast<int>(indices.size())));
        std::copy(indices.begin(), indices.end(), buffer->getData());
        return buffer;
    }

    const std::string& mSource;
    const tinyobj::attrib_t& mAttributes;
    const std::vector<tinyobj::material_t>& mMaterials;
    std::vector<ovPointer<ovMaterialState>> mStates;
    std::map<std::string, GroupParts> mGroups;
    std::vector<std::string> mOrder;
};

std::vector<std::string> materialWarnings(const std::string& source, const MaterialLibraries& libraries,
                                          const ObjScan& scan,
                                          const std::vector<tinyobj::material_t>& materials) {
    std::vector<std::string> warnings;
    for (const std::string& missing : libraries.missing) {
        warnings.push_back(source + ": material library '" + missing + "' not found: meshes get no material");
    }
    for (const std::string& warning : libraries.warnings) {
        warnings.push_back(source + ": " + warning);
    }
    if (!libraries.missing.empty()) {
        return warnings;
    }
    for (const std::string& used : scan.materialsUsed) {
        const bool defined =
            std::any_of(materials.begin(), materials.end(),
                        [&used](const tinyobj::material_t& material) { return material.name == used; });
        if (!defined) {
            warnings.push_back(source + ": material '" + used +
                               "' is not defined: its meshes get no material");
        }
    }
    return warnings;
}

}  // namespace

ObjImport importObj(const std::string& path) {
    return importObjText(readWholeFile(path), path, fsPath(path).parent_path());
}

ObjImport importObjText(std::string_view text, const std::string& source,
                        const std::filesystem::path& materialFolder) {
    const ObjScan scan = scanObj(text, source);

    tinyobj::attrib_t attributes;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string readerWarnings;
    std::string readerErrors;
    MaterialLibraries libraries(materialFolder);
    std::istringstream stream(scan.readerText);
    if (!tinyobj::LoadObj(&attributes, &shapes, &materials, &readerWarnings, &readerErrors, &stream,
                          &libraries, true, false)) {
        const std::vector<std::string> reasons = nonEmptyLines(readerErrors);
        throw ToolError(source + ": " +
                        (reasons.empty() ? std::string("unreadable OBJ data") : reasons.front()));
    }

    SceneBuilder builder(source, attributes, materials);
    builder.orderGroups(scan.groups);
    for (const tinyobj::shape_t& shape : shapes) {
        builder.addShape(shape);
    }
    // The reader's own polylines are left aside: it loses those of a group
    // that holds nothing else, which the scan does not.
    for (const ObjPolyline& polyline : scan.polylines) {
        builder.addPolyline(polyline);
    }
    ObjImport result;
    result.root = builder.build(utf8Path(fsPath(source).stem()));
    result.warnings = materialWarnings(source, libraries, scan, materials);
    return result;
}

}  // namespace ov::ovmesh

// Faceted and tessellated representation items as triangle meshes, and the
// placements that put them and the products in their parents.
#include <algorithm>
#include <cmath>

#include "step/StepRead.h"

namespace ov::step {

namespace {

using Vector = std::array<double, 3>;

double dot(const Vector& a, const Vector& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vector cross(const Vector& a, const Vector& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Up to three numbers of a list; missing ones are 0.
Vector readTriple(const StepFile& file, uint32_t record, const StepParams& numbers) {
    Vector value{};
    size_t i = 0;
    for (const Part21Item& number : numbers) {
        if (i == 3) {
            file.fail(record, "has more than three coordinates", &number);
        }
        value[i++] = file.real(record, number);
    }
    return value;
}

// The direction ratios of a DIRECTION, or fallback when unset.
Vector readDirection(const StepFile& file, uint32_t from, const Part21Item& item, const Vector& fallback) {
    if (file.isUnset(item)) {
        return fallback;
    }
    const uint32_t direction = file.target(from, item);
    const Vector ratios = readTriple(file, direction, file.params(direction).list(1));
    const double length = std::sqrt(dot(ratios, ratios));
    if (!(length > 0) || !std::isfinite(length)) {
        file.fail(direction, "is a direction of no length");
    }
    return {ratios[0] / length, ratios[1] / length, ratios[2] / length};
}

// Numbers scaled by scale, within a range that single precision holds even
// when placements add many of them up.
Vector inRange(const StepFile& file, uint32_t record, const Vector& value, double scale,
               const Part21Item* item = nullptr) {
    constexpr double kLargest = 1e30;
    const Vector scaled{value[0] * scale, value[1] * scale, value[2] * scale};
    if (!(std::fabs(scaled[0]) <= kLargest && std::fabs(scaled[1]) <= kLargest &&
          std::fabs(scaled[2]) <= kLargest)) {
        file.fail(record, "has a coordinate out of range", item);
    }
    return scaled;
}

Vector readPoint(const StepFile& file, uint32_t point, double scale) {
    return inRange(file, point, readTriple(file, point, file.params(point).list(1)), scale);
}

Wm4::Vector3f toFloat(const Vector& v) {
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

// The faces as one mesh; their corners are not shared, as each face has its own.
ReadMesh joinFaces(const std::vector<const BrepFaceMesh*>& faces) {
    size_t cornerCount = 0;
    size_t indexCount = 0;
    for (const BrepFaceMesh* face : faces) {
        cornerCount += face->positions.size() / 3;
        indexCount += face->triangles.size();
    }
    ReadMesh mesh;
    mesh.vertices = new ovVertexBuffer(ovAttributes(), static_cast<int>(cornerCount));
    mesh.indices = new ovIndexBuffer(static_cast<int>(indexCount));
    int corner = 0;
    int* index = mesh.indices->getData();
    for (const BrepFaceMesh* face : faces) {
        const int first = corner;
        for (size_t i = 0; i + 2 < face->positions.size(); i += 3) {
            mesh.vertices->Position3(corner++) = {face->positions[i], face->positions[i + 1],
                                                  face->positions[i + 2]};
        }
        for (const uint32_t number : face->triangles) {
            *index++ = first + static_cast<int>(number);
        }
    }
    return mesh;
}

}  // namespace

StepNames::StepNames(StepFile& file) {
#define OV_STEP_NAME_INIT(member, text) member = file.nameId(text);
    OV_STEP_NAMES(OV_STEP_NAME_INIT)
#undef OV_STEP_NAME_INIT
}

Frame Frame::after(const Frame& first) const {
    Frame result;
    for (size_t column = 0; column < 3; ++column) {
        for (size_t row = 0; row < 3; ++row) {
            result.axes[column][row] = axes[0][row] * first.axes[column][0] +
                                       axes[1][row] * first.axes[column][1] +
                                       axes[2][row] * first.axes[column][2];
        }
    }
    for (size_t row = 0; row < 3; ++row) {
        result.origin[row] = origin[row] + axes[0][row] * first.origin[0] + axes[1][row] * first.origin[1] +
                             axes[2][row] * first.origin[2];
    }
    return result;
}

// The axes are orthonormal: the inverse rotation is the transpose.
Frame Frame::inverse() const {
    Frame result;
    for (size_t column = 0; column < 3; ++column) {
        for (size_t row = 0; row < 3; ++row) {
            result.axes[column][row] = axes[row][column];
        }
        result.origin[column] = -dot(axes[column], origin);
    }
    return result;
}

bool Frame::isIdentity() const {
    return *this == Frame();
}

ovTransformation Frame::toTransformation() const {
    ovTransformation transformation;
    if (isIdentity()) {
        return transformation;
    }
    const auto at = [this](size_t row, size_t column) { return static_cast<float>(axes[column][row]); };
    transformation.SetRotate(Wm4::Matrix3f(at(0, 0), at(0, 1), at(0, 2), at(1, 0), at(1, 1), at(1, 2),
                                           at(2, 0), at(2, 1), at(2, 2)));
    transformation.SetTranslate(toFloat(origin));
    return transformation;
}

Frame readPlacement(const StepFile& file, const StepNames& names, uint32_t placement,
                    double millimetresPerUnit) {
    if (file.kindOf(placement) != names.axis2Placement3d) {
        file.fail(placement, "is not a placement this reader knows (AXIS2_PLACEMENT_3D)");
    }
    const StepParams params = file.params(placement);
    Frame frame;
    frame.origin = readPoint(file, file.target(placement, params.at(1)), millimetresPerUnit);
    const Vector z = readDirection(file, placement, params.at(2), {0, 0, 1});
    Vector x = readDirection(file, placement, params.at(3), {1, 0, 0});
    // The reference direction is taken square to the axis; one along it gives way.
    const double along = dot(x, z);
    x = {x[0] - along * z[0], x[1] - along * z[1], x[2] - along * z[2]};
    double length = std::sqrt(dot(x, x));
    if (length < 1e-9) {
        x = std::fabs(z[0]) < 0.9 ? cross({1, 0, 0}, z) : cross({0, 1, 0}, z);
        length = std::sqrt(dot(x, x));
    }
    x = {x[0] / length, x[1] / length, x[2] / length};
    frame.axes = {x, cross(z, x), z};
    return frame;
}

struct MeshReader::Build {
    double scale = 1.0;
    std::vector<Wm4::Vector3f> positions;
    std::vector<Wm4::Vector3f> normals;
    std::vector<int> indices;
    // Faceted: a point record's vertex; tessellated: a point's, by list
    // and index, or by face and index where faces give their own normals.
    std::unordered_map<uint64_t, int> vertexOf;
    // The shells of a faceted item, whose styles stand for the item's.
    std::vector<uint32_t> parts;
    std::vector<Wm4::Vector3f> corners;
    std::vector<int> cornerVertices;
};

bool MeshReader::read(uint32_t item, double millimetresPerUnit, std::vector<ReadMesh>& meshes) {
    const uint32_t kind = mFile.kindOf(item);
    Build build;
    build.scale = millimetresPerUnit;
    if (kind == mNames.triangulatedSurfaceSet || kind == mNames.complexTriangulatedSurfaceSet ||
        kind == mNames.triangulatedFace || kind == mNames.complexTriangulatedFace ||
        kind == mNames.tessellatedShell || kind == mNames.tessellatedSolid) {
        readTessellatedItem(item, build);
    } else if (kind == mNames.facetedBrep || kind == mNames.manifoldSolidBrep ||
               kind == mNames.brepWithVoids || kind == mNames.shellBasedSurfaceModel ||
               kind == mNames.faceBasedSurfaceModel || kind == mNames.openShell ||
               kind == mNames.closedShell || kind == mNames.connectedFaceSet) {
        if (!readFacetedItem(item, build)) {
            return false;
        }
    } else {
        return true;
    }
    if (build.indices.empty()) {
        return true;
    }
    ovAttributes layout;
    layout.SetNormal(!build.normals.empty());
    ReadMesh& mesh = meshes.emplace_back();
    mesh.name = mFile.text(item, mFile.params(item).at(0));
    mesh.vertices = new ovVertexBuffer(layout, static_cast<int>(build.positions.size()));
    for (size_t i = 0; i < build.positions.size(); ++i) {
        mesh.vertices->Position3(static_cast<int>(i)) = build.positions[i];
        if (layout.HasNormal()) {
            mesh.vertices->Normal3(static_cast<int>(i)) = build.normals[i];
        }
    }
    mesh.indices = new ovIndexBuffer(static_cast<int>(build.indices.size()));
    std::copy(build.indices.begin(), build.indices.end(), mesh.indices->getData());
    mesh.material = materialOf(item, build.parts);
    return true;
}

ovMaterialState* MeshReader::materialOf(uint32_t item, const std::vector<uint32_t>& parts) {
    if (ovMaterialState* own = mStyles.materialOf(item)) {
        return own;
    }
    for (const uint32_t part : parts) {
        if (ovMaterialState* material = mStyles.materialOf(part)) {
            return material;
        }
    }
    return nullptr;
}

std::vector<uint32_t> MeshReader::shellsOf(uint32_t item) const {
    const uint32_t kind = mFile.kindOf(item);
    const StepParams params = mFile.params(item);
    std::vector<uint32_t> shells;
    if (kind == mNames.facetedBrep || kind == mNames.manifoldSolidBrep || kind == mNames.brepWithVoids) {
        shells.push_back(mFile.target(item, params.at(1)));
    }
    if (kind == mNames.brepWithVoids || kind == mNames.shellBasedSurfaceModel ||
        kind == mNames.faceBasedSurfaceModel) {
        for (const Part21Item& shell : params.list(kind == mNames.brepWithVoids ? 2 : 1)) {
            shells.push_back(mFile.target(item, shell));
        }
    }
    if (shells.empty()) {
        shells.push_back(item);
    }
    return shells;
}

// False for an item with a face that is not a polygon: exact geometry.
bool MeshReader::readFacetedItem(uint32_t item, Build& build) {
    const std::vector<uint32_t> shells = shellsOf(item);
    return std::all_of(shells.begin(), shells.end(),
                       [&](uint32_t shell) { return addShell(shell, true, build); });
}

std::vector<ReadMesh> MeshReader::brepMeshes(uint32_t item, const std::vector<BrepFaceMesh>& faces) {
    ovMaterialState* const itemMaterial = materialOf(item, shellsOf(item));
    struct Colour {
        ovMaterialState* material;
        std::vector<const BrepFaceMesh*> faces;
    };
    // In the order the colours first appear, for the same scene every time.
    std::vector<Colour> colours;
    for (const BrepFaceMesh& face : faces) {
        const std::optional<uint32_t> record = mFile.recordOf(face.face);
        ovMaterialState* own = record ? mStyles.materialOf(*record) : nullptr;
        ovMaterialState* material = own != nullptr ? own : itemMaterial;
        auto colour = std::find_if(colours.begin(), colours.end(),
                                   [material](const Colour& known) { return known.material == material; });
        if (colour == colours.end()) {
            colour = colours.insert(colours.end(), Colour{material, {}});
        }
        colour->faces.push_back(&face);
    }
    std::vector<ReadMesh> meshes;
    for (const Colour& colour : colours) {
        if (std::all_of(colour.faces.begin(), colour.faces.end(),
                        [](const BrepFaceMesh* face) { return face->triangles.empty(); })) {
            continue;
        }
        meshes.push_back(joinFaces(colour.faces));
        meshes.back().name = mFile.text(item, mFile.params(item).at(0));
        meshes.back().material = colour.material;
    }
    return meshes;
}

bool MeshReader::addShell(uint32_t shell, bool forward, Build& build) {
    const uint32_t kind = mFile.kindOf(shell);
    const StepParams params = mFile.params(shell);
    if (kind == mNames.orientedClosedShell || kind == mNames.orientedOpenShell) {
        const uint32_t element = mFile.target(shell, params.at(2));
        if (mFile.kindOf(element) == kind) {
            mFile.fail(shell, "orients another oriented shell");
        }
        return addShell(element, forward == mFile.boolean(shell, params.at(3)), build);
    }
    build.parts.push_back(shell);
    for (const Part21Item& face : params.list(1)) {
        if (!addFace(mFile.target(shell, face), forward, build)) {
            return false;
        }
    }
    return true;
}

bool MeshReader::addFace(uint32_t face, bool forward, Build& build) {
    const StepParams params = mFile.params(face);
    if (mFile.kindOf(face) == mNames.orientedFace) {
        const uint32_t element = mFile.target(face, params.at(2));
        if (mFile.kindOf(element) == mNames.orientedFace) {
            mFile.fail(face, "orients another oriented face");
        }
        return addFace(element, forward == mFile.boolean(face, params.at(3)), build);
    }
    const StepParams bounds = params.list(1);
    uint32_t loop = 0;
    bool loopForward = forward;
    for (const Part21Item& boundItem : bounds) {
        const uint32_t bound = mFile.target(face, boundItem);
        const StepParams boundParams = mFile.params(bound);
        loop = mFile.target(bound, boundParams.at(1));
        if (mFile.kindOf(loop) != mNames.polyLoop) {
            return false;
        }
        loopForward = forward == mFile.boolean(bound, boundParams.at(2));
    }
    // A polygon with holes is not cut into triangles here.
    if (bounds.size() != 1) {
        ++mFacesLeftOut;
        return true;
    }
    addPolygon(loop, loopForward, build);
    return true;
}

int MeshReader::pointVertex(uint32_t point, Build& build) {
    const auto [entry, added] = build.vertexOf.try_emplace(point, static_cast<int>(build.positions.size()));
    if (added) {
        build.positions.push_back(toFloat(readPoint(mFile, point, build.scale)));
    }
    return entry->second;
}

void MeshReader::addPolygon(uint32_t loop, bool forward, Build& build) {
    build.corners.clear();
    build.cornerVertices.clear();
    for (const Part21Item& point : mFile.params(loop).list(1)) {
        const int vertex = pointVertex(mFile.target(loop, point), build);
        build.cornerVertices.push_back(vertex);
        build.corners.push_back(build.positions[static_cast<size_t>(vertex)]);
    }
    if (!forward) {
        std::reverse(build.corners.begin(), build.corners.end());
        std::reverse(build.cornerVertices.begin(), build.cornerVertices.end());
    }
    if (build.corners.size() == 3) {
        build.indices.insert(build.indices.end(), build.cornerVertices.begin(), build.cornerVertices.end());
        return;
    }
    if (build.corners.size() < 3 || PolygonTessellator::refusal(build.corners)) {
        mFacesLeftOut += build.corners.size() < 3 ? 0 : 1;
        return;
    }
    mTessellator.tessellate(build.corners, mTessellation);
    const auto firstAdded = static_cast<int>(build.positions.size());
    for (const BlendedPoint& added : mTessellation.added) {
        build.positions.push_back(added.position);
    }
    const auto cornerCount = static_cast<int>(build.corners.size());
    for (const int number : mTessellation.triangles) {
        build.indices.push_back(number < cornerCount ? build.cornerVertices[static_cast<size_t>(number)]
                                                     : firstAdded + (number - cornerCount));
    }
}

const std::vector<Wm4::Vector3f>& MeshReader::coordinates(uint32_t list, double scale) {
    const auto [entry, added] = mCoordinates.try_emplace(list);
    if (added) {
        const StepParams points = mFile.params(list).list(2);
        entry->second.reserve(points.size());
        for (const Part21Item& point : points) {
            entry->second.push_back(toFloat(
                inRange(mFile, list, readTriple(mFile, list, points.elements(point)), scale, &point)));
        }
    }
    return entry->second;
}

void MeshReader::readTessellatedItem(uint32_t item, Build& build) {
    const uint32_t kind = mFile.kindOf(item);
    std::vector<uint32_t> faces;
    if (kind == mNames.tessellatedShell || kind == mNames.tessellatedSolid) {
        for (const Part21Item& face : mFile.params(item).list(1)) {
            const uint32_t faceKind = mFile.kindOf(faces.emplace_back(mFile.target(item, face)));
            // Edges and vertices of a shell draw no surface.
            if (faceKind != mNames.triangulatedFace && faceKind != mNames.complexTriangulatedFace) {
                faces.pop_back();
            }
        }
    } else {
        faces.push_back(item);
    }
    // Normals are kept where every face gives them.
    const bool withNormals = std::all_of(
        faces.begin(), faces.end(), [this](uint32_t face) { return mFile.params(face).list(3).size() > 0; });
    for (const uint32_t face : faces) {
        addTessellatedFace(face, withNormals, build);
    }
}

void MeshReader::addTessellatedFace(uint32_t face, bool withNormals, Build& build) {
    const uint32_t kind = mFile.kindOf(face);
    const bool isFace = kind == mNames.triangulatedFace || kind == mNames.complexTriangulatedFace;
    const bool complex =
        kind == mNames.complexTriangulatedFace || kind == mNames.complexTriangulatedSurfaceSet;
    const size_t pnindexAt = isFace ? 5 : 4;
    const StepParams params = mFile.params(face);
    const uint32_t list = mFile.target(face, params.at(1));
    const std::vector<Wm4::Vector3f>& points = coordinates(list, build.scale);
    std::vector<uint32_t> pointIndex;
    for (const Part21Item& index : params.list(pnindexAt)) {
        const int64_t number = mFile.integer(face, index);
        if (number < 1 || static_cast<uint64_t>(number) > points.size()) {
            mFile.fail(
                face,
                "has a point index " + std::to_string(number) + " out of 1.." + std::to_string(points.size()),
                &index);
        }
        pointIndex.push_back(static_cast<uint32_t>(number - 1));
    }
    const size_t pointCount = pointIndex.empty() ? points.size() : pointIndex.size();
    std::vector<Wm4::Vector3f> normals;
    for (const Part21Item& normal : params.list(3)) {
        normals.push_back(
            toFloat(inRange(mFile, face, readTriple(mFile, face, params.elements(normal)), 1.0, &normal)));
    }
    if (withNormals && normals.size() != 1 && normals.size() != pointCount) {
        mFile.fail(face, "has " + std::to_string(normals.size()) + " normals for " +
                             std::to_string(pointCount) + " points");
    }
    const auto vertex = [&](const Part21Item& index) {
        const int64_t number = mFile.integer(face, index);
        if (number < 1 || static_cast<uint64_t>(number) > pointCount) {
            mFile.fail(face,
                       "has a triangle corner " + std::to_string(number) + " out of 1.." +
                           std::to_string(pointCount),
                       &index);
        }
        const auto k = static_cast<size_t>(number - 1);
        const uint32_t point = pointIndex.empty() ? static_cast<uint32_t>(k) : pointIndex[k];
        const uint64_t key = withNormals ? (uint64_t{face} << 32) | k : (uint64_t{list} << 32) | point;
        const auto [entry, added] = build.vertexOf.try_emplace(key, static_cast<int>(build.positions.size()));
        if (added) {
            build.positions.push_back(points[point]);
            if (withNormals) {
                build.normals.push_back(normals[normals.size() == 1 ? 0 : k]);
            }
        }
        return entry->second;
    };
    const auto triangle = [&build](int a, int b, int c) {
        if (a != b && b != c && a != c) {
            build.indices.insert(build.indices.end(), {a, b, c});
        }
    };
    if (!complex) {
        for (const Part21Item& corners : params.list(pnindexAt + 1)) {
            const StepParams three = params.elements(corners);
            if (three.size() != 3) {
                mFile.fail(face, "has a triangle of " + std::to_string(three.size()) + " corners", &corners);
            }
            auto it = three.begin();
            const int a = vertex(*it);
            const int b = vertex(*++it);
            triangle(a, b, vertex(*++it));
        }
        return;
    }
    // A strip turns every other triangle round to keep their winding; a fan
    // shares its first point.
    for (size_t form = 0; form < 2; ++form) {
        for (const Part21Item& sequence : params.list(pnindexAt + 1 + form)) {
            std::vector<int> strip;
            for (const Part21Item& index : params.elements(sequence)) {
                strip.push_back(vertex(index));
            }
            for (size_t j = 2; j < strip.size(); ++j) {
                if (form == 1) {
                    triangle(strip[0], strip[j - 1], strip[j]);
                } else if (j % 2 == 0) {
                    triangle(strip[j - 2], strip[j - 1], strip[j]);
                } else {
                    triangle(strip[j - 1], strip[j - 2], strip[j]);
                }
            }
        }
    }
}

}  // namespace ov::step

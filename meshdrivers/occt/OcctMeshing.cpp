#include "occt/OcctMeshing.h"

#include <cmath>
#include <istream>
#include <numbers>
#include <stdexcept>
#include <streambuf>
#include <unordered_map>

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPControl_Reader.hxx>
#include <StepData_StepModel.hxx>
#include <StepShape_Face.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <TransferBRep.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_TransferReader.hxx>
#include <XSControl_WorkSession.hxx>

namespace ov::occt {

namespace {

// The text as a stream, without a copy of it.
class TextBuffer : public std::streambuf {
public:
    explicit TextBuffer(std::string_view text) {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

// The face records' numbers by the faces they became.
using FaceNumbers = std::unordered_map<const TopoDS_TShape*, uint64_t>;

struct Transferred {
    std::unordered_map<uint64_t, TopoDS_Shape> shapes;
    FaceNumbers faces;
};

Transferred transferShapes(STEPControl_Reader& reader, const std::vector<uint64_t>& wanted) {
    reader.TransferRoots();
    const Handle(StepData_StepModel) model = reader.StepModel();
    const Handle(Transfer_TransientProcess) process = reader.WS()->TransferReader()->TransientProcess();
    std::unordered_map<uint64_t, bool> isWanted;
    for (const uint64_t number : wanted) {
        isWanted.emplace(number, true);
    }
    Transferred transferred;
    for (int i = 1; i <= model->NbEntities(); ++i) {
        const Handle(Standard_Transient) entity = model->Value(i);
        const auto number = static_cast<uint64_t>(model->IdentLabel(entity));
        const bool isFace = entity->IsKind(STANDARD_TYPE(StepShape_Face));
        if (!isFace && !isWanted.contains(number)) {
            continue;
        }
        const TopoDS_Shape shape = TransferBRep::ShapeResult(process, entity);
        if (shape.IsNull()) {
            continue;
        }
        if (isFace) {
            transferred.faces.emplace(shape.TShape().get(), number);
        } else {
            transferred.shapes.emplace(number, shape);
        }
    }
    return transferred;
}

double linearDeflection(const TopoDS_Shape& shape, const step::StepLoadSettings& settings) {
    if (!settings.relativeDeflection) {
        return settings.linearDeflection;
    }
    Bnd_Box box;
    BRepBndLib::Add(shape, box, false);
    const double diagonal = box.IsVoid() ? 0 : std::sqrt(box.SquareExtent());
    return diagonal > 0 ? settings.linearDeflection * diagonal : settings.linearDeflection;
}

// The face's triangles with its location applied, wound outwards.
step::BrepFaceMesh faceMesh(const TopoDS_Face& face, const FaceNumbers& faceNumbers) {
    step::BrepFaceMesh mesh;
    const auto number = faceNumbers.find(face.TShape().get());
    mesh.face = number == faceNumbers.end() ? 0 : number->second;
    TopLoc_Location location;
    const Handle(Poly_Triangulation) triangulation = BRep_Tool::Triangulation(face, location);
    if (triangulation.IsNull()) {
        return mesh;
    }
    const gp_Trsf& placement = location.Transformation();
    for (int node = 1; node <= triangulation->NbNodes(); ++node) {
        const gp_Pnt point = triangulation->Node(node).Transformed(placement);
        mesh.positions.insert(
            mesh.positions.end(),
            {static_cast<float>(point.X()), static_cast<float>(point.Y()), static_cast<float>(point.Z())});
    }
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int t = 1; t <= triangulation->NbTriangles(); ++t) {
        int a = 0;
        int b = 0;
        int c = 0;
        triangulation->Triangle(t).Get(a, b, c);
        if (reversed) {
            std::swap(b, c);
        }
        for (const int corner : {a, b, c}) {
            mesh.triangles.push_back(static_cast<uint32_t>(corner - 1));
        }
    }
    return mesh;
}

std::vector<step::BrepFaceMesh> meshShape(const TopoDS_Shape& shape, const FaceNumbers& faceNumbers,
                                          const step::StepLoadSettings& settings) {
    constexpr bool kRelativeToEdges = false;
    // Starting the threads of a fresh child costs more than meshing a few
    // dozen faces takes: a shape of many faces is meshed on every core.
    constexpr int kFacesWorthThreads = 256;
    int faceCount = 0;
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) {
        ++faceCount;
    }
    BRepMesh_IncrementalMesh(shape, linearDeflection(shape, settings), kRelativeToEdges,
                             settings.angularDeflectionDegrees * std::numbers::pi / 180,
                             faceCount >= kFacesWorthThreads);
    std::vector<step::BrepFaceMesh> faces;
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) {
        faces.push_back(faceMesh(TopoDS::Face(face.Current()), faceNumbers));
    }
    return faces;
}

}  // namespace

step::BrepMeshes meshWithOcct(std::string_view text, const std::vector<uint64_t>& shapes,
                              const step::StepLoadSettings& settings) {
    TextBuffer buffer(text);
    std::istream stream(&buffer);
    STEPControl_Reader reader;
    if (reader.ReadStream("input.stp", stream) != IFSelect_RetDone) {
        throw std::runtime_error("Open CASCADE cannot read its B-rep shapes");
    }
    const Transferred transferred = transferShapes(reader, shapes);
    step::BrepMeshes meshes;
    for (const auto& [number, shape] : transferred.shapes) {
        meshes.emplace(number, meshShape(shape, transferred.faces, settings));
    }
    return meshes;
}

}  // namespace ov::occt

// Loads an exchange file with Open CASCADE.
//
//   occt_step_reader [--native] --references FILE
//                                  prints, in file order, "document ID" for each
//                                  external file the model references and
//                                  "property NAME = VALUE" for each item of a
//                                  property's "value" representation (the
//                                  description of a descriptive item, else the
//                                  item's type)
//   occt_step_reader [--native] --failures FILE
//                                  prints "failed TYPE" for each record the
//                                  reader failed to load or does not know,
//                                  then "N failures"
//   occt_step_reader [--native] --assembly FILE
//                                  reads FILE into an XCAF document and prints
//                                  its assembly, one line per label, indented
//                                  by depth: a free shape's name, and for each
//                                  component "name -> product @ location" with
//                                  the twelve numbers of the location's 3x4
//                                  matrix row by row (rotation, then translation)
//   occt_step_reader [--native] --shapes FILE
//                                  reads FILE into an XCAF document and prints
//                                  one line per product that has a shape: its
//                                  name, the triangles of its faces once meshed,
//                                  its bounding box in the file's length unit
//                                  and its surface colour (red green blue alpha)
//                                  when it has one
//   occt_step_reader [--native] --leaves FILE
//                                  reads FILE into an XCAF document and prints
//                                  one line per label of its assembly, depth
//                                  first: its depth and name, and for a
//                                  product that has a shape the triangles of
//                                  its faces meshed as --shapes does and
//                                  their box placed in the world, in
//                                  millimetres
//   occt_step_reader [--native] --world FILE
//                                  reads FILE into an XCAF document and prints
//                                  the solids and open shells of the whole
//                                  model placed in the world, their volume,
//                                  the largest tolerance the reader gave a
//                                  vertex, and the box of the triangles'
//                                  corners once meshed, in millimetres
//
// Open CASCADE 7.6 crashes inside ReadFile on an APPLIED_ORGANIZATION_ASSIGNMENT
// whose items list is empty (StepAP214_AppliedOrganizationAssignment::NbItems
// dereferences a null list). Such a record refers to nothing and nothing refers
// to it, so the reader drops it from a copy of the file, written beside the
// original so that external references still resolve, and reads the copy.
// --native reads FILE itself, as a user's reader would.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <Interface_InterfaceModel.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <Quantity_ColorRGBA.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <StepBasic_DocumentFile.hxx>
#include <StepData_UndefinedEntity.hxx>
#include <StepRepr_DescriptiveRepresentationItem.hxx>
#include <StepRepr_HArray1OfRepresentationItem.hxx>
#include <StepRepr_PropertyDefinition.hxx>
#include <StepRepr_PropertyDefinitionRepresentation.hxx>
#include <StepRepr_Representation.hxx>
#include <TColStd_SequenceOfAsciiString.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Application.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

namespace {

std::string readableCopy(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    static const std::regex kEmptyAssignment(
        R"(#\d+=APPLIED_ORGANIZATION_ASSIGNMENT\(#\d+,#\d+,\(\)\);\r?\n)");
    const std::string copy = path + ".occt.stp";
    std::ofstream(copy, std::ios::binary) << std::regex_replace(content.str(), kEmptyAssignment, "");
    return copy;
}

// Whether FILE is read as it stands (--native) rather than through its readable copy.
bool gNative = false;

// A file that cannot be read ends the program with status 1.
[[noreturn]] void notRead() {
    std::cout << "not read\n";
    std::exit(1);
}

// Reads the file into reader, through its readable copy (removed again) unless native.
template <typename Reader>
void readFile(Reader& reader, const std::string& path) {
    const std::string file = gNative ? path : readableCopy(path);
    const bool done = reader.ReadFile(file.c_str()) == IFSelect_RetDone;
    if (!gNative) {
        std::filesystem::remove(file);
    }
    if (!done) {
        notRead();
    }
}

// Of the file's first length unit.
double millimetresPerFileUnit(STEPControl_Reader& reader) {
    TColStd_SequenceOfAsciiString lengths, angles, solidAngles;
    reader.FileUnits(lengths, angles, solidAngles);
    // Conversion-based units come back with the file's spelling: INCH.
    TCollection_AsciiString name = lengths.IsEmpty() ? "" : lengths.First();
    name.LowerCase();
    static const std::map<std::string, double> kMillimetres{
        {"millimetre", 1.0}, {"centimetre", 10.0}, {"decimetre", 100.0}, {"metre", 1000.0}, {"inch", 25.4}};
    const auto found = kMillimetres.find(name.ToCString());
    return found == kMillimetres.end() ? 1.0 : found->second;
}

std::string nameOf(const TDF_Label& label) {
    Handle(TDataStd_Name) name;
    if (!label.FindAttribute(TDataStd_Name::GetID(), name)) {
        return "<unnamed>";
    }
    return TCollection_AsciiString(name->Get()).ToCString();
}

// Rounded to six decimals, without a negative zero.
std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return std::string(text) == "-0.000000" ? "0.000000" : text;
}

// The box's corners, divided by unit; zeros for an empty box.
void printCorners(const Bnd_Box& box, double unit) {
    double corners[6] = {};
    if (!box.IsVoid()) {
        box.Get(corners[0], corners[1], corners[2], corners[3], corners[4], corners[5]);
    }
    for (const double corner : corners) {
        std::cout << " " << number(corner / unit);
    }
}

// The location in the file's own length unit: the reader gives millimetres.
std::string locationOf(const TDF_Label& component, double millimetresPerFileUnit) {
    const gp_Trsf transform = XCAFDoc_ShapeTool::GetLocation(component).Transformation();
    std::string text;
    for (int row = 1; row <= 3; ++row) {
        for (int column = 1; column <= 3; ++column) {
            text += " " + number(transform.Value(row, column));
        }
    }
    for (int row = 1; row <= 3; ++row) {
        text += " " + number(transform.Value(row, 4) / millimetresPerFileUnit);
    }
    return text;
}

// The file read into an XCAF document with names and colours: the document, its free shapes and the
// millimetres of its length unit.
struct FreeShapes {
    Handle(TDocStd_Document) document;
    TDF_LabelSequence roots;
    double unit = 1;
};

FreeShapes readFreeShapes(const std::string& path) {
    // External files that are not exchange files make the reader complain on
    // the standard output, which carries what is printed here.
    Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
    FreeShapes read;
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", read.document);
    STEPCAFControl_Reader reader;
    reader.SetNameMode(true);
    reader.SetColorMode(true);
    readFile(reader, path);
    if (!reader.Transfer(read.document)) {
        notRead();
    }
    read.unit = millimetresPerFileUnit(reader.ChangeReader());
    XCAFDoc_DocumentTool::ShapeTool(read.document->Main())->GetFreeShapes(read.roots);
    return read;
}

// Visits the free shapes' assembly depth first: each label, the product it
// refers to (itself unless a component), its depth and its world placement.
template <typename Visit>
void walkAssembly(const FreeShapes& read, Visit visit) {
    struct Pending {
        TDF_Label label;
        int depth;
        TopLoc_Location placement;
    };
    std::vector<Pending> pending;
    for (int i = read.roots.Length(); i >= 1; --i) {
        pending.push_back({read.roots.Value(i), 0, {}});
    }
    while (!pending.empty()) {
        const Pending item = pending.back();
        pending.pop_back();
        TDF_Label product = item.label;
        TopLoc_Location placement = item.placement;
        if (XCAFDoc_ShapeTool::IsComponent(item.label)) {
            XCAFDoc_ShapeTool::GetReferredShape(item.label, product);
            placement = placement * XCAFDoc_ShapeTool::GetLocation(item.label);
        }
        visit(item.label, product, item.depth, placement);
        TDF_LabelSequence components;
        XCAFDoc_ShapeTool::GetComponents(product, components);
        for (int i = components.Length(); i >= 1; --i) {
            pending.push_back({components.Value(i), item.depth + 1, placement});
        }
    }
}

void printAssembly(const std::string& path) {
    const FreeShapes read = readFreeShapes(path);
    walkAssembly(
        read, [&read](const TDF_Label& label, const TDF_Label& product, int depth, const TopLoc_Location&) {
            std::cout << std::string(2 * static_cast<size_t>(depth), ' ');
            if (XCAFDoc_ShapeTool::IsComponent(label)) {
                std::cout << nameOf(label) << " -> " << nameOf(product) << " @"
                          << locationOf(label, read.unit) << "\n";
            } else {
                std::cout << nameOf(product) << "\n";
            }
        });
}

// The triangles of a shape meshed at a deflection of 1, and the box of their corners.
int meshedTriangles(const TopoDS_Shape& shape, Bnd_Box& box) {
    BRepMesh_IncrementalMesh mesh(shape, 1.0);
    int count = 0;
    for (TopExp_Explorer face(shape, TopAbs_FACE); face.More(); face.Next()) {
        TopLoc_Location location;
        const Handle(Poly_Triangulation) triangles =
            BRep_Tool::Triangulation(TopoDS::Face(face.Current()), location);
        count += triangles.IsNull() ? 0 : triangles->NbTriangles();
        for (int node = 1; !triangles.IsNull() && node <= triangles->NbNodes(); ++node) {
            box.Add(triangles->Node(node).Transformed(location.Transformation()));
        }
    }
    return count;
}

void printShapes(const std::string& path) {
    const FreeShapes read = readFreeShapes(path);
    const Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(read.document->Main());
    const Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(read.document->Main());
    TDF_LabelSequence labels;
    shapes->GetShapes(labels);
    for (int i = 1; i <= labels.Length(); ++i) {
        const TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(labels.Value(i));
        if (shape.IsNull() || XCAFDoc_ShapeTool::IsAssembly(labels.Value(i))) {
            continue;
        }
        Bnd_Box corners;
        const int triangles = meshedTriangles(shape, corners);
        Bnd_Box box;
        BRepBndLib::Add(shape, box, false);
        std::cout << nameOf(labels.Value(i)) << ": " << triangles << " triangles in";
        printCorners(box, read.unit);
        Quantity_ColorRGBA colour;
        if (colours->GetColor(labels.Value(i), XCAFDoc_ColorSurf, colour)) {
            const Quantity_Color rgb = colour.GetRGB();
            std::cout << ", colour " << number(rgb.Red()) << " " << number(rgb.Green()) << " "
                      << number(rgb.Blue()) << " " << number(colour.Alpha());
        }
        std::cout << "\n";
    }
}

void printLeaves(const std::string& path) {
    const FreeShapes read = readFreeShapes(path);
    walkAssembly(read, [](const TDF_Label& label, const TDF_Label& product, int depth,
                          const TopLoc_Location& placement) {
        std::cout << depth << " " << nameOf(label);
        if (!XCAFDoc_ShapeTool::IsAssembly(product)) {
            Bnd_Box box;
            const int triangles = meshedTriangles(XCAFDoc_ShapeTool::GetShape(product).Moved(placement), box);
            std::cout << ": " << triangles << " triangles in";
            printCorners(box, 1);
        }
        std::cout << "\n";
    });
}

// The free shapes, every occurrence placed in the world: what a reader shows.
void printWorld(const std::string& path) {
    const FreeShapes read = readFreeShapes(path);
    int solids = 0, shells = 0;
    double volume = 0, tolerance = 0;
    Bnd_Box box;
    for (int i = 1; i <= read.roots.Length(); ++i) {
        const TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(read.roots.Value(i));
        for (TopExp_Explorer solid(shape, TopAbs_SOLID); solid.More(); solid.Next()) {
            ++solids;
            GProp_GProps properties;
            BRepGProp::VolumeProperties(solid.Current(), properties);
            volume += properties.Mass();
        }
        for (TopExp_Explorer shell(shape, TopAbs_SHELL, TopAbs_SOLID); shell.More(); shell.Next()) {
            ++shells;
        }
        // The box of the triangles' corners, which a tolerance the reader widened does not grow.
        meshedTriangles(shape, box);
        // How far the reader had to widen its vertices to join the faces.
        for (TopExp_Explorer vertex(shape, TopAbs_VERTEX); vertex.More(); vertex.Next()) {
            tolerance = std::max(tolerance, BRep_Tool::Tolerance(TopoDS::Vertex(vertex.Current())));
        }
    }
    std::cout << solids << " solids, " << shells << " open shells, volume " << number(volume)
              << ", tolerance " << number(tolerance) << " in";
    printCorners(box, 1);
    std::cout << "\n";
}

std::string valueOf(const Handle(StepRepr_RepresentationItem) & item) {
    const auto descriptive = Handle(StepRepr_DescriptiveRepresentationItem)::DownCast(item);
    return descriptive ? descriptive->Description()->ToCString() : item->DynamicType()->Name();
}

void printReferences(const std::string& path) {
    STEPControl_Reader reader;  // which holds the records of its model
    readFile(reader, path);
    const Handle(Interface_InterfaceModel) model = reader.Model();
    for (int i = 1; i <= model->NbEntities(); ++i) {
        const Handle(Standard_Transient) entity = model->Value(i);
        if (const auto document = Handle(StepBasic_DocumentFile)::DownCast(entity)) {
            std::cout << "document " << document->Id()->ToCString() << "\n";
        }
        const auto property = Handle(StepRepr_PropertyDefinitionRepresentation)::DownCast(entity);
        const Handle(StepRepr_Representation) values = property ? property->UsedRepresentation() : nullptr;
        const Handle(StepRepr_PropertyDefinition) definition =
            property ? property->Definition().PropertyDefinition() : nullptr;
        if (!values || !definition || std::string(values->Name()->ToCString()) != "value") {
            continue;
        }
        for (int item = 1; item <= values->NbItems(); ++item) {
            std::cout << "property " << definition->Name()->ToCString() << " = "
                      << valueOf(values->ItemsValue(item)) << "\n";
        }
    }
}

void printFailures(const std::string& path) {
    STEPControl_Reader reader;  // which holds the records of its model
    readFile(reader, path);
    const Handle(Interface_InterfaceModel) model = reader.Model();
    int failures = 0;
    for (int i = 1; i <= model->NbEntities(); ++i) {
        if (model->IsErrorEntity(i) || model->IsUnknownEntity(i)) {
            const auto unknown = Handle(StepData_UndefinedEntity)::DownCast(model->Value(i));
            std::cout << "failed " << (unknown ? unknown->StepType() : model->Value(i)->DynamicType()->Name())
                      << "\n";
            ++failures;
        }
    }
    std::cout << failures << " failures\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--native") {
        gNative = true;
        --argc;
        ++argv;
    }
    const std::pair<const char*, void (*)(const std::string&)> modes[] = {
        {"--references", printReferences}, {"--failures", printFailures}, {"--assembly", printAssembly},
        {"--shapes", printShapes},         {"--world", printWorld},       {"--leaves", printLeaves}};
    for (const auto& [mode, print] : modes) {
        if (argc == 3 && std::string(argv[1]) == mode) {
            print(argv[2]);
            return 0;
        }
    }
    std::cerr << "usage: occt_step_reader [--native] "
                 "--assembly|--failures|--references|--shapes|--leaves|--world FILE\n";
    return 64;
}

// Writes a STEP file with Open CASCADE: an assembly "table" of a named,
// coloured box placed once and a cylinder placed twice, as B-rep solids
// through an XCAF document, for tests that read what a peer writes.
//
//   occt_step_writer FILE
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopLoc_Location.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Trsf.hxx>

#include <iostream>

namespace {

TopLoc_Location movedBy(double x, double y, double z) {
    gp_Trsf move;
    move.SetTranslation(gp_Vec(x, y, z));
    return TopLoc_Location(move);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: occt_step_writer FILE\n";
        return 2;
    }
    Handle(TDocStd_Document) document;
    XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", document);
    Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(document->Main());
    Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(document->Main());
    const TDF_Label table = shapes->NewShape();
    TDataStd_Name::Set(table, "table");
    const TDF_Label top = shapes->AddShape(BRepPrimAPI_MakeBox(10., 20., 1.).Shape(), false);
    TDataStd_Name::Set(top, "top");
    colours->SetColor(top, Quantity_Color(0.8, 0.5, 0.2, Quantity_TOC_RGB), XCAFDoc_ColorSurf);
    const TDF_Label leg = shapes->AddShape(BRepPrimAPI_MakeCylinder(1., 25.).Shape(), false);
    TDataStd_Name::Set(leg, "leg");
    shapes->AddComponent(table, top, TopLoc_Location());
    shapes->AddComponent(table, leg, movedBy(1., 2., -25.));
    shapes->AddComponent(table, leg, movedBy(8., 2., -25.));
    shapes->UpdateAssemblies();
    STEPCAFControl_Writer writer;
    writer.SetColorMode(true);
    writer.SetNameMode(true);
    if (!writer.Transfer(document, STEPControl_AsIs) || writer.Write(argv[1]) != IFSelect_RetDone) {
        std::cerr << "Open CASCADE could not write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}

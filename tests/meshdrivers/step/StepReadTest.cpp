// The STEP reader: what the writer saves reads back as the scene it came
// from (real files: tests/meshdrivers/occt), hand-written AP242
// tessellations and units read as the standard has them, and bad files are
// refused with the line at fault.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>

#include "StepTestSupport.h"
#include "core/SceneWalk.h"
#include "step/StepImport.h"
#include "step/StepLoadDriver.h"

namespace ov::step {
namespace {

using testing::HasSubstr;

// One part used twice (turned, then moved) with its number, revision and
// properties; a plate of an open quad and a closed cube in two colours, one
// half transparent; a nested assembly. Without meshes for the exact profile.
ovPointer<ovNode> roundTripScene(bool withMeshes) {
    ovPointer<ovInstanceDefId> bolt(new ovInstanceDefId);
    bolt->editComponentMd().insert("mass", 2.5);
    bolt->editComponentMd().insert("material", "steel");
    bolt->editComponentMd().insert("productId", "B-100");
    bolt->editComponentMd().insert("revision", "C");
    bolt->editComponentMd().insert("checked", ovDateTime{1'700'000'000'000});
    bolt->editComponentMd().insert("approved", true);
    const auto meshes = [withMeshes](std::vector<ovSpatial*> list) {
        return withMeshes ? list : std::vector<ovSpatial*>{};
    };
    ovPointer<ovTriMesh> quad = coloured(
        test::makeGeometry<ovTriMesh>({{0, 0, 0}, {20, 0, 0}, {20, 10, 0}, {0, 10, 0}}, {0, 1, 2, 0, 2, 3}),
        {1, 0, 0, 0.5f});
    ovPointer<ovTriMesh> red = coloured(cube(), {1, 0, 0, 1});
    ovPointer<ovTriMesh> blue = coloured(cube(), {0, 0, 1, 1});
    blue->editLocalTransform(true).SetTranslate({3, 0, 0});
    ovPointer<ovNode> turned = namedNode("bolt_1", meshes({red.get()}));
    turned->editLocalTransform(true).SetRotate(Wm4::Matrix3f(0, -1, 0, 1, 0, 0, 0, 0, 1));
    turned->editLocalTransform(true).SetTranslate({1, 2, 3});
    // Nodes of one definition hold the same meshes.
    ovPointer<ovTriMesh> twin(new ovTriMesh(red->getVertexBuffer(), red->getIndexBuffer()));
    twin->setMaterialState(red->getMaterialState());
    ovPointer<ovNode> moved = translated(namedNode("bolt_2", meshes({twin.get()})), {0, 0, 5});
    ovPointer<ovNode> root = namedNode(
        "R", {instanceOf(turned.get(), bolt.get()), instanceOf(moved.get(), bolt.get()),
              namedNode("plate", meshes({quad.get(), blue.get()})).get(),
              translated(
                  namedNode("sub", {translated(namedNode("inner", meshes({cube().get()})), {0, 7, 0}).get()}),
                  {-4, 0, 0})
                  .get()});
    root->setMetadata(new ovWorldUnitsMetaData(0.001));
    return root;
}

// A line per node: depth, name, world placement, stated values.
std::vector<std::string> treeOf(const ovSpatial& root) {
    std::vector<std::string> lines;
    walkScene(root, nullptr, [&lines](const WalkStep<const ovSpatial>& step) {
        if (!step.object.IsDerived(ovNode::TYPE)) {
            return WalkNext::Skip;
        }
        std::ostringstream line;
        line << step.depth << ' ' << step.object.GetName();
        Wm4::Matrix4f m;
        step.world.GetHomogeneous(m);
        for (int i = 0; i < 16; ++i) {
            line << ' ' << std::round(m(i / 4, i % 4) * 1000) / 1000;
        }
        if (const auto* instance = step.object.findMetadata<const ovInstanceMetaData>()) {
            for (const auto& [key, value] :
                 instance->getInstanceDefId()->getComponentMd().toFlattenMap('/')) {
                line << ' ' << key << '=' << value.toString();
            }
        }
        lines.push_back(line.str());
        return WalkNext::Children;
    });
    return lines;
}

// Each triangle placed in the world (starting at its least corner, keeping
// its winding) with its colour and opacity, in order.
std::vector<std::vector<double>> worldTriangles(const ovSpatial& root) {
    std::vector<std::vector<double>> triangles;
    walkScene(root, nullptr, [&triangles](const WalkStep<const ovSpatial>& step) {
        if (!step.object.IsDerived(ovTriMesh::TYPE)) {
            return;
        }
        const auto& mesh = static_cast<const ovTriMesh&>(step.object);
        const ovMaterialState* material = mesh.getMaterialState();
        const int* index = mesh.getIndexBuffer()->getData();
        for (int t = 0; t < mesh.GetTriangleQuantity(); ++t) {
            std::array<std::vector<double>, 3> corners;
            for (int k = 0; k < 3; ++k) {
                const Wm4::Vector3f p =
                    step.world.ApplyForward(mesh.getVertexBuffer()->Position3(index[3 * t + k]), true);
                corners[k] = {p[0], p[1], p[2]};
            }
            std::rotate(corners.begin(), std::min_element(corners.begin(), corners.end()), corners.end());
            std::vector<double>& triangle = triangles.emplace_back();
            for (const auto& corner : corners) {
                triangle.insert(triangle.end(), corner.begin(), corner.end());
            }
            triangle.insert(triangle.end(),
                            {material ? material->diffuse.R() : -1.0, material ? material->diffuse.G() : -1.0,
                             material ? material->diffuse.B() : -1.0, material ? material->alpha : -1.0});
        }
    });
    for (auto& triangle : triangles) {
        for (double& value : triangle) {
            value = std::round(value * 1e5) / 1e5;
        }
    }
    std::sort(triangles.begin(), triangles.end());
    return triangles;
}

class StepReadTest : public ::testing::Test {
protected:
    test::LogCapture log;
    StepMeshDriver driver{schemaPath()};
};

// In the exact profile (structure only) and both geometry forms of the
// interop one: the same tree, names, placements and stated values, the
// part used twice sharing one definition, and the same world triangles
// and colours, read in millimetres.
TEST_F(StepReadTest, WhatTheWriterSavesReadsBackAsTheScene) {
    for (const StepSaveSettings& settings :
         {StepSaveSettings{StepProfile::Exact, StepGeometry::None},
          StepSaveSettings{StepProfile::Interop, StepGeometry::Faceted},
          StepSaveSettings{StepProfile::Interop, StepGeometry::Tessellated}}) {
        const bool withMeshes = settings.geometry != StepGeometry::None;
        ovPointer<ovNode> scene = roundTripScene(withMeshes);
        const std::string file =
            test::saveToMemory(driver, {scene.get()}, true, nullptr, stepOptions("round.stp", "", settings));
        const ImportedScene read = importStepText(file, "round.stp");
        EXPECT_EQ(read.warnings, std::vector<std::string>{});
        // Open CASCADE knows no date item: the interop profile writes an instant as its text.
        std::vector<std::string> expected = treeOf(*scene);
        for (std::string& line : expected) {
            line = settings.profile == StepProfile::Interop
                       ? std::regex_replace(line, std::regex("\\.000Z"), "Z")
                       : line;
        }
        EXPECT_EQ(treeOf(*read.root), expected);
        const auto definitionOf = [&read](int child) {
            return read.root->getChild(child)->findMetadata<const ovInstanceMetaData>()->getInstanceDefId();
        };
        EXPECT_EQ(definitionOf(0), definitionOf(1));
        EXPECT_EQ(read.root->findMetadata<const ovWorldUnitsMetaData>()->getValue(), 0.001);
        EXPECT_EQ(worldTriangles(*read.root), worldTriangles(*scene));
        EXPECT_EQ(worldTriangles(*read.root).size(), withMeshes ? 50u : 0u);
        // A stream reads as the file does, and a read that fails is said.
        StepLoadDriver loader;
        ovObjectList objects;
        ovIoDeviceMemory stream(file);
        ASSERT_TRUE(loader.loadMeshes(objects, stream, "round.stp", nullptr, LoadMeshOptions()));
        EXPECT_EQ(treeOf(static_cast<const ovSpatial&>(*objects.at(0))), expected);
        ovIoDeviceFaultInjector broken(0, 0);
        EXPECT_FALSE(loader.loadMeshes(objects, broken, "round.stp", nullptr, LoadMeshOptions()));
        EXPECT_EQ(loader.getErrorMessages().back().first, "E: cannot read 'round.stp': the read failed");
    }
}

// A PLM XML assembly of a STEP part file, saved as a STEP assembly, reads
// back with its part file followed: the same tree, the part's triangles
// where each reference places it. A missing part file stays a reference,
// with a warning; one outside a confined load's folder, one leading back to
// the file naming it, and a chain too deep refuse the load.
TEST_F(StepReadTest, PartFilesAreReadWhereTheAssemblyPutsThemOrRefused) {
    test::TempDir folder;
    const ovPointer<ovNode> plm = plmXmlAssemblyOfStepParts(driver, folder);
    const ImportedScene read = importStep(folder.file("a.stp"));
    EXPECT_EQ(treeOf(*read.root), treeOf(*plm));
    // The writer leaves out what a reference holds: the part, as expected.
    for (ovSpatial* reference :
         {plm->getChild(0), plm->getChild(1), static_cast<ovNode*>(plm->getChild(2))->getChild(0)}) {
        static_cast<ovNode*>(reference)->attachChild(importStep(folder.file("cube.stp")).root.get());
    }
    EXPECT_EQ(worldTriangles(*read.root), worldTriangles(*plm));

    std::filesystem::create_directory(folder.path() / "in");
    const auto load = [&](const std::string& file, const std::string& part, bool confine = false) {
        driver.saveMeshes({namedNode("A", {externalReference("P", part).get()}).get()}, folder.file(file),
                          nullptr, stepOptions(file));
        StepReadOptions options;
        options.meshing.confine = confine;
        try {
            return importStep(folder.file(file), options).warnings.at(0);
        } catch (const std::exception& error) {
            return std::string(error.what());
        }
    };
    EXPECT_THAT(load("missing.stp", "gone.stp"), HasSubstr("'gone.stp' is not found: its product stays an"));
    EXPECT_THAT(load("in/out.stp", "../cube.stp", true), HasSubstr("to which the read is confined"));
    load("in/back.stp", "../loop.stp");
    EXPECT_THAT(load("loop.stp", "in/back.stp"), HasSubstr("part file '../loop.stp' leads back"));
    for (int level = 20; level > 0; --level) {
        load("level" + std::to_string(level) + ".stp", "level" + std::to_string(level + 1) + ".stp");
    }
    EXPECT_THAT(load("level0.stp", "level1.stp"), HasSubstr("'level17.stp' lies more than 16"));
}

// A hand-written AP242 file (step/hand_tessellations.stp) in inches, named in a Windows code page: a shell of
// two faces (one through a point index, with normals), a complex set of a strip and a fan, a mapped copy
// moved 1 inch, a polygon of a surface model cut in two, a predefined colour, and an exact solid left out
// with a warning.
TEST_F(StepReadTest, TessellationsUnitsAndMappedItemsReadAsWritten) {
    const ImportedScene read = importStepText(
        std::regex_replace(test::readFile(test::testDataDir() / "step" / "hand_tessellations.stp"),
                           std::regex("\\?NAME\\?"), "p\xE4rt \x80"),
        "hand.stp");
    EXPECT_THAT(read.warnings, testing::ElementsAre(testing::HasSubstr("1 shapes of exact geometry")));
    EXPECT_EQ(
        treeOf(*read.root),
        std::vector<std::string>{"0 p\xC3\xA4rt \xE2\x82\xAC 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 productId=P-1 "
                                 "revision=B"});
    const double i = 25.4, g = -1;
    const std::vector<std::vector<double>> expected{
        // The quad turned round (its bound runs backwards), in two; again
        // in a solid that turns it twice more.
        {0, 0, 0, 0, 2 * i, 0, 2 * i, 2 * i, 0, g, g, g, g},
        {0, 0, 0, 2 * i, 2 * i, 0, 2 * i, 0, 0, g, g, g, g},
        {0, 0, 0, 0, 2 * i, 0, 2 * i, 2 * i, 0, g, g, g, g},
        {0, 0, 0, 2 * i, 2 * i, 0, 2 * i, 0, 0, g, g, g, g},
        // The shell, green.
        {0, 0, 0, i, 0, 0, i, i, 0, 0, 1, 0, 1},
        {0, 0, 0, i, i, 0, 0, i, 0, 0, 1, 0, 1},
        // Strip (1,2,4) and (4,2,3) wound alike, fan (1,2,3) and (1,3,4), an inch up.
        {0, 0, i, i, 0, i, 0, i, i, g, g, g, g},
        {0, 0, i, i, 0, i, i, i, i, g, g, g, g},
        {0, 0, i, i, i, i, 0, i, i, g, g, g, g},
        {0, i, i, i, 0, i, i, i, i, g, g, g, g},
    };
    std::vector<std::vector<double>> sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(worldTriangles(*read.root), sorted);
}

// Each bad file is refused naming the line at fault.
TEST(StepReadErrorTest, BadFilesAreRefusedWithTheLine) {
    const std::string head = "ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\nDATA;\n";
    const std::string product =
        "#1=PRODUCT('a','a','',());\n#2=PRODUCT_DEFINITION_FORMATION('','',#1);\n"
        "#3=PRODUCT_DEFINITION('','',#2,$);\n#4=PRODUCT_DEFINITION('','',#2,$);\n";
    const std::string tail = "ENDSEC;\nEND-ISO-10303-21;\n";
    const auto shaped = [&](const std::string& items, const std::string& unit) {
        return head + product +
               "#5=PRODUCT_DEFINITION_SHAPE('','',#3);\n#6=SHAPE_DEFINITION_REPRESENTATION(#5,#100);\n"
               "#100=SHAPE_REPRESENTATION('',(#10),#11);\n#7=CARTESIAN_POINT('',(0.,0.,0.));\n"
               "#8=CARTESIAN_POINT('',(1.,0.,0.));\n#9=CARTESIAN_POINT('',(0.,1.,0.));\n"
               "#11=(GEOMETRIC_REPRESENTATION_CONTEXT(3) GLOBAL_UNIT_ASSIGNED_CONTEXT((#12)) "
               "REPRESENTATION_CONTEXT('',''));\n#12=(LENGTH_UNIT() NAMED_UNIT(*) SI_UNIT(" +
               unit + ",.METRE.));\n" + items + tail;
    };
    const std::string triangle = "#13=COORDINATES_LIST('',3,((0.,0.,0.),(1.,0.,0.),(0.,1.,0.)));\n";
    const std::string triangleSet = "#10=TRIANGULATED_SURFACE_SET('',#13,3,(),(),((1,2,3)));\n";
    const std::string polygon = "#10=SHELL_BASED_SURFACE_MODEL('',(#14));\n#14=OPEN_SHELL('',(#15));\n";
    const std::pair<std::string, std::string> cases[] = {
        {"solid cube\nfacet normal 0 0 1\n", "bad.stp:1: the file does not start with ISO-10303-21;"},
        {"ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('IFC2X3'));\nENDSEC;\nDATA;\n" + tail,
         "bad.stp:3: unknown schema 'IFC2X3'"},
        {head +
             "#1=PRODUCT('a','a','',());\n#2=PRODUCT_DEFINITION_FORMATION('','',#9);\n"
             "#3=PRODUCT_DEFINITION('','',#2,$);\n" +
             tail,
         "bad.stp:7: #2 PRODUCT_DEFINITION_FORMATION: refers to #9, which the file does not define"},
        {head + product +
             "#5=NEXT_ASSEMBLY_USAGE_OCCURRENCE('','','',#3,#4,$);\n"
             "#6=NEXT_ASSEMBLY_USAGE_OCCURRENCE('','','',#4,#3,$);\n" +
             tail,
         "places product 'a' inside itself"},
        {head + "#1=PRODUCT('a','a','',());\n#1=PRODUCT('b','b','',());\n" + tail,
         "bad.stp:7: instance #1 is defined a second time (first at line 6)"},
        {head + "#1=PRODUCT('a','a','',());\n#2=PRODUCT('b','b',);\n" + tail,
         "bad.stp:7: expected a parameter"},
        {head + product + tail, "bad.stp: the file holds no product with a shape or parts"},
        {shaped(triangle + triangleSet, ".EXA."),
         "bad.stp:17: #12 LENGTH_UNIT: has a prefix this reader does not know"},
        {shaped(triangle + triangleSet, "5"), "#12 LENGTH_UNIT: expected an enumeration but found '5'"},
        {shaped(
             "#13=COORDINATES_LIST('',1,(\n(0.,0.,0.,0.)));\n#10=TRIANGULATED_SURFACE_SET('',#13,1,(),(),(("
             "1,1,1)));\n",
             "$"),
         "bad.stp:19: #13 COORDINATES_LIST: has more than three coordinates"},
        {shaped(triangle + "#10=TRIANGULATED_SURFACE_SET('',#13,3,((0.,0.,1.),(0.,0.,1.)),(),((1,2,3)));\n",
                "$"),
         "#10 TRIANGULATED_SURFACE_SET: has 2 normals for 3 points"},
        {shaped(polygon + "#15=ORIENTED_FACE('',*,#16,.F.);\n#16=ORIENTED_FACE('',*,#15,.F.);\n", "$"),
         "#15 ORIENTED_FACE: orients another oriented face"},
        {shaped(polygon + "#15=FACE_SURFACE('',(#16,#17),$,.T.);\n#16=FACE_OUTER_BOUND('',#18,.T.);\n"
                          "#17=FACE_BOUND('',#18,.F.);\n#18=POLY_LOOP('',(#7,#8,#9));\n",
                "$"),
         "1 polygon faces have holes"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_THAT([&] { importStepText(text, "bad.stp"); },
                    testing::ThrowsMessage<ReadError>(HasSubstr(message)));
    }
    // A part used ten times by each of twelve levels would be a trillion nodes.
    std::string bomb = head + "#1=PRODUCT('a','a','',());\n#2=PRODUCT_DEFINITION_FORMATION('','',#1);\n";
    for (int level = 0; level < 13; ++level) {
        bomb += "#" + std::to_string(100 + level) + "=PRODUCT_DEFINITION('','',#2,$);\n";
        for (int use = 0; level > 0 && use < 10; ++use) {
            bomb += "#" + std::to_string(1000 + level * 10 + use) +
                    "=NEXT_ASSEMBLY_USAGE_OCCURRENCE('','','',#" + std::to_string(100 + level) + ",#" +
                    std::to_string(99 + level) + ",$);\n";
        }
    }
    EXPECT_THROW(importStepText(bomb + tail, "bomb.stp"), ReadError);
    // A shape mapping another ten times, nine levels down, would be a billion meshes.
    std::string mapped =
        head + product + "#5=PRODUCT_DEFINITION_SHAPE('','',#3);\n" +
        "#6=SHAPE_DEFINITION_REPRESENTATION(#5,#100);\n#7=CARTESIAN_POINT('',(0.,0.,0.));\n" +
        "#8=AXIS2_PLACEMENT_3D('',#7,$,$);\n#9=COORDINATES_LIST('',3,((0.,0.,0.),(1.,0.,0.),(0.,1.,0.)));\n" +
        "#109=SHAPE_REPRESENTATION('',(#10),#11);\n#11=REPRESENTATION_CONTEXT('','');\n#10=TRIANGULATED_"
        "SURFACE_SET('',#9,3,(),(),((1,2,3)));\n";
    for (int level = 0; level < 9; ++level) {
        const std::string at = std::to_string(200 + level);
        mapped += "#" + at + "=REPRESENTATION_MAP(#8,#" + std::to_string(101 + level) + ");\n#" +
                  std::to_string(100 + level) + "=SHAPE_REPRESENTATION('',(";
        for (int use = 0; use < 10; ++use) {
            mapped += std::string(use > 0 ? "," : "") + "#" + std::to_string(1000 + level * 10 + use);
        }
        mapped += "),#11);\n";
        for (int use = 0; use < 10; ++use) {
            mapped += "#" + std::to_string(1000 + level * 10 + use) + "=MAPPED_ITEM('',#" + at + ",#8);\n";
        }
    }
    EXPECT_THAT([&] { importStepText(mapped + tail, "mapped.stp"); },
                testing::ThrowsMessage<ReadError>(HasSubstr("is mapped so many times over")));
}

}  // namespace
}  // namespace ov::step

// The road of a PLM XML assembly to STEP: loaded by our driver, saved by the
// STEP driver, and read back by Open CASCADE, which must find the tree, the
// names and the placements (in millimetres) of the PLM XML input, each
// Representation file as a document and the shared metadata as properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "meshdrivers/core/LineDrawingTestSupport.h"
#include "meshdrivers/plmxml/PlmXmlTestSupport.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "step/StepMeshDriver.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

// Car holds an axle, placed 0.5 m up, with two wheels 0.8 m to either side
// (the second turned a quarter about z), and a body; wheels and body are
// files of their own.
std::string carWithAxle() {
    const PlmXmlSchema& s = kPlmXmlV6;
    return plmXmlDocument(
        s, "i1",
        xmlElement(s.instance, R"(id="i1" partRef="#p1" name="Car")") +
            xmlElement(s.instance, R"(id="i2" partRef="#p2" name="Axle")",
                       plmXmlTransform("1 0 0 0 0 1 0 0 0 0 1 0 0 0 0.5 1")) +
            xmlElement(s.instance, R"(id="i3" partRef="#p3" name="Wheel" colour="red")",
                       plmXmlTransform("1 0 0 0 0 1 0 0 0 0 1 0 -0.8 0 0 1")) +
            xmlElement(s.instance, R"(id="i4" partRef="#p3" name="Wheel" colour="black")",
                       plmXmlTransform("0 1 0 0 -1 0 0 0 0 0 1 0 0.8 0 0 1")) +
            xmlElement(s.instance, R"(id="i5" partRef="#p4" name="Body")") +
            xmlElement(s.part, R"(id="p1" name="Car" type="assembly" instanceRefs="i2 i5")") +
            xmlElement(s.part, R"(id="p2" name="Axle" type="assembly" instanceRefs="i3 i4")") +
            xmlElement(s.part, R"(id="p3" name="Wheel" type="solid")",
                       R"(<Representation format="JT" location="parts/wheel.jt"/>)") +
            xmlElement(
                s.part, R"(id="p4" name="Body" type="solid")",
                xmlElement("UserData", "", xmlElement("UserValue", R"(title="material" value="steel")")) +
                    R"(<Representation location="parts/body.jt"/>)"),
        R"( author="me")");
}

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(PlmXmlToStep, OpenCascadeReadsTheAssemblyTheDocumentsAndTheProperties) {
#ifndef OV_OCCT_STEP_READER
    GTEST_SKIP() << "Open CASCADE's reader is not built";
#else
    ovPlmXmlMeshDriver plmXml;
    ovIoDeviceMemory input(carWithAxle());
    ovObjectList objects;
    ASSERT_TRUE(plmXml.loadMeshes(objects, input, "plmxml", nullptr, LoadMeshOptions()));
    step::StepMeshDriver stepDriver((resourcesDir() / "step" / "ap242_1_36_mim_lf.exp").string());
    ASSERT_TRUE(stepDriver.isSchemaValid());
    TempDir folder;
    const std::string path = folder.file("car.stp");
    ASSERT_TRUE(stepDriver.saveMeshes(objects, path, nullptr, SaveMeshOptions()));

    EXPECT_EQ(runCommand("\"" OV_OCCT_STEP_READER "\" --assembly " + path), R"(Car
  Axle -> Axle @ 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 500.000000
    Wheel -> Wheel @ 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 -800.000000 0.000000 0.000000
    Wheel -> Wheel @ 0.000000 -1.000000 0.000000 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 800.000000 0.000000 0.000000
  Body -> Body @ 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000
)");
    EXPECT_EQ(sortedLines(runCommand("\"" OV_OCCT_STEP_READER "\" --references " + path)),
              sortedLines("document parts/wheel.jt\n"
                          "document parts/body.jt\n"
                          "property author = me\n"
                          "property schemaVersion = 6\n"
                          "property name = Car\nproperty type = assembly\n"
                          "property name = Axle\nproperty type = assembly\n"
                          "property name = Wheel\nproperty type = solid\nproperty format = JT\n"
                          "property name = Body\nproperty type = solid\nproperty material = steel\n"));
#endif
}

}  // namespace
}  // namespace ov::test

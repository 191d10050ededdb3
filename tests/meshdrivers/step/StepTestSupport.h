#pragma once

// Scenes of the STEP driver's tests, and the bundled schema it writes by.

#include <string>
#include <vector>

#include "../core/LineDrawingTestSupport.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "scenegraph/ovMetadata.h"
#include "step/Part21Checker.h"
#include "step/StepMeshDriver.h"

namespace ov::step {

// A node (or external reference, with a path) named name, with the children attached in order.
inline ovPointer<ovNode> namedNode(const std::string& name, const std::vector<ovSpatial*>& children = {}) {
    ovPointer<ovNode> node = test::makeRoot(nullptr, children);
    node->SetName(name);
    return node;
}

inline ovPointer<ovNode> externalReference(const std::string& name, const std::string& path) {
    ovPointer<ovXRefNode> node(new ovXRefNode);
    node->SetName(name);
    node->setUtf8FilePath(path);
    return node;
}

// Marks node as an instance of definition; answers node.
inline ovNode* instanceOf(ovNode* node, ovInstanceDefId* definition) {
    node->setMetadata(new ovInstanceMetaData(definition));
    return node;
}

inline ovPointer<ovNode> translated(ovPointer<ovNode> node, Wm4::Vector3f translation) {
    node->editLocalTransform(true).SetTranslate(translation);
    return node;
}

// A closed unit cube named cube, its triangles facing outwards.
inline ovPointer<ovTriMesh> cube() {
    ovPointer<ovTriMesh> mesh(test::makeGeometry<ovTriMesh>(
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
         1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7}));
    mesh->SetName("cube");
    return mesh;
}

// Gives mesh a material of the colour, whose alpha is its opacity; answers mesh.
inline ovPointer<ovTriMesh> coloured(ovPointer<ovTriMesh> mesh, Wm4::ColorRGBA colour) {
    mesh->setMaterialState(new ovMaterialState);
    mesh->getMaterialState()->diffuse = colour;
    mesh->getMaterialState()->alpha = colour[3];
    return mesh;
}

// The worked example: a root A with the part B moved by (10, 0, 0) and the
// external reference C (identity placement, file c.stp).
inline ovPointer<ovNode> exampleScene() {
    return namedNode("A",
                     {translated(namedNode("B"), {10, 0, 0}).get(), externalReference("C", "c.stp").get()});
}

// Two parts naming one definition (with nested component metadata), a
// quarter turn about z, a null child slot before an unnamed node with two
// identity children, and an external reference whose own child is not written.
inline ovPointer<ovNode> sharedDefinitionScene() {
    ovPointer<ovInstanceDefId> bolt(new ovInstanceDefId);
    bolt->editComponentMd().insert("mass", 2.5);
    ovVariantMapImpl size;
    size.insert("length", 40);
    bolt->editComponentMd().insert("size", ovVariant(size));
    ovPointer<ovNode> turned = namedNode("bolt_1");
    turned->editLocalTransform(true).SetRotate(Wm4::Matrix3f(0, -1, 0, 1, 0, 0, 0, 0, 1));
    turned->editLocalTransform(true).SetTranslate({1, 2, 3});
    ovPointer<ovNode> root = namedNode("R", {instanceOf(turned.get(), bolt.get())});
    root->setMetadata(new ovWorldUnitsMetaData(0.001));
    root->setChild(2, namedNode("", {namedNode("I1").get(), namedNode("I2").get()}).get());
    root->attachChild(instanceOf(translated(namedNode("bolt_2"), {0, 0, 5}).get(), bolt.get()));
    ovPointer<ovNode> reference = externalReference("X", "parts/x.stl");
    reference->attachChild(namedNode("hidden").get());
    root->attachChild(reference.get());
    return root;
}

// The options of a save that records fileName and author, with settings.
inline SaveMeshOptions stepOptions(const std::string& fileName, const std::string& author = "",
                                   const StepSaveSettings& settings = {}) {
    SaveMeshOptions options;
    options.fileName = fileName;
    options.author = author;
    options.drivers.set(settings);
    return options;
}

inline std::string schemaPath() {
    return (test::resourcesDir() / "step" / "ap242_1_36_mim_lf.exp").string();
}

// The checker finds nothing in text against the bundled schema.
inline void expectChecksClean(const std::string& text) {
    Part21Checker checker;
    std::string error;
    EXPECT_TRUE(checker.loadSchema(schemaPath(), error)) << error;
    const Part21CheckReport report = checker.checkText(text);
    EXPECT_EQ(report.errors + report.warnings, 0u)
        << (report.findings.empty() ? "" : report.findings[0].message);
}

#ifdef OV_OCCT_STEP_READER
// What Open CASCADE's test reader prints, in mode ("--native --world" and so on), of a file's text.
inline std::string occtReading(const std::string& mode, const std::string& text) {
    const test::TempDir folder;
    test::writeFile(folder.file("read.stp"), text);
    return test::runCommand("\"" OV_OCCT_STEP_READER "\" " + mode + " " + folder.file("read.stp"));
}
#endif

// In folder: cube.stp, a faceted triangle, the PLM XML assembly of it in
// the test data, and that assembly saved as a.stp; answers the assembly as
// the PLM XML driver reads it, its parts references to cube.stp.
inline ovPointer<ovNode> plmXmlAssemblyOfStepParts(StepMeshDriver& driver, const test::TempDir& folder) {
    const SaveMeshOptions interop = stepOptions("a.stp", "", {StepProfile::Interop, StepGeometry::Faceted});
    const ovPointer<ovNode> part =
        namedNode("cube", {test::makeGeometry<ovTriMesh>({{0, 0, 0}, {1, 0, 0}, {0, 1, 2}}, {0, 1, 2})});
    EXPECT_TRUE(driver.saveMeshes({part.get()}, folder.file("cube.stp"), nullptr, interop));
    std::filesystem::copy_file(test::testDataDir() / "plmxml" / "step_parts.plmxml", folder.file("a.plmxml"));
    ovObjectList objects;
    EXPECT_TRUE(
        ovPlmXmlMeshDriver().loadMeshes(objects, folder.file("a.plmxml"), nullptr, LoadMeshOptions()));
    const ovPointer<ovNode> assembly(static_cast<ovNode*>(objects.at(0).get()));
    EXPECT_TRUE(driver.saveMeshes({assembly.get()}, folder.file("a.stp"), nullptr, interop));
    return assembly;
}

}  // namespace ov::step

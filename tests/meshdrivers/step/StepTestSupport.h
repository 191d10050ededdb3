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

// In folder: a cube and a plate as faceted STEP files of their own, and a
// PLM XML assembly (in metres) of the plate, the cube twice (once turned)
// and a sub-assembly holding the cube again; answers the assembly as the PLM
// XML driver reads it, its parts external references to those files.
inline ovPointer<ovNode> plmXmlAssemblyOfStepParts(StepMeshDriver& driver, const test::TempDir& folder) {
    ovPointer<ovTriMesh> cube = test::makeGeometry<ovTriMesh>(
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
         1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3, 0, 4, 3, 4, 7});
    cube->setMaterialState(new ovMaterialState);
    cube->getMaterialState()->diffuse = {0, 0, 1, 1};
    const ovPointer<ovTriMesh> plate =
        test::makeGeometry<ovTriMesh>({{0, 0, 0}, {20, 0, 0}, {20, 10, 0}, {0, 10, 0}}, {0, 1, 2, 0, 2, 3});
    const SaveMeshOptions faceted =
        stepOptions("part.stp", "", {StepProfile::Interop, StepGeometry::Faceted});
    for (const auto& [name, mesh] : {std::pair{"cube", cube}, std::pair{"plate", plate}}) {
        const ovPointer<ovNode> part = namedNode(name, {mesh.get()});
        part->setMetadata(new ovWorldUnitsMetaData(0.001));
        EXPECT_TRUE(
            driver.saveMeshes({part.get()}, folder.file(std::string(name) + ".stp"), nullptr, faceted));
    }
    test::writeFile(folder.file("assembly.plmxml"), R"(<?xml version="1.0" encoding="utf-8"?>
<PLMXML xmlns="http://www.plmxml.org/Schemas/PLMXMLSchema" schemaVersion="6">
  <ProductDef id="d"><InstanceGraph id="g" rootRefs="i1">
    <ProductInstance id="i1" name="frame" partRef="#a"/>
    <ProductInstance id="i2" name="plate" partRef="#p"/>
    <ProductInstance id="i3" name="cube_1" partRef="#c"><Transform>1 0 0 0 0 1 0 0 0 0 1 0 0.01 0 0 1</Transform></ProductInstance>
    <ProductInstance id="i4" name="cube_2" partRef="#c"><Transform>0 1 0 0 -1 0 0 0 0 0 1 0 0 0.005 0.002 1</Transform></ProductInstance>
    <ProductInstance id="i5" name="sub" partRef="#s"><Transform>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0.03 1</Transform></ProductInstance>
    <ProductInstance id="i6" name="cube_3" partRef="#c"/>
    <ProductRevisionView id="a" name="frame" type="assembly" instanceRefs="i2 i3 i4 i5"/>
    <ProductRevisionView id="s" name="sub" type="assembly" instanceRefs="i6"/>
    <ProductRevisionView id="p" name="plate" type="solid"><Representation format="STEP" location="plate.stp"/></ProductRevisionView>
    <ProductRevisionView id="c" name="cube" type="solid"><Representation format="STEP" location="cube.stp"/></ProductRevisionView>
  </InstanceGraph></ProductDef>
</PLMXML>
)");
    ovPlmXmlMeshDriver reader;
    ovObjectList objects;
    LoadMeshOptions asInstances;
    PlmXmlLoadSettings reading;
    reading.reading = PlmXmlReading::Instances;
    asInstances.drivers.set(reading);
    EXPECT_TRUE(reader.loadMeshes(objects, folder.file("assembly.plmxml"), nullptr, asInstances));
    return objects.empty() ? namedNode("unread") : ovPointer<ovNode>(static_cast<ovNode*>(objects[0].get()));
}

}  // namespace ov::step

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "meshdrivers/core/LineDrawingTestSupport.h"
#include "meshdrivers/plmxml/PlmXmlTestSupport.h"
#include "meshdrivers/step/StepTestSupport.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "scenegraph/ovSpatial.h"
#include "support/TestSupport.h"
#include "tools/ovmesh/TestHelpers.h"

namespace ov::test {
namespace {

// "key=value" for every entry, in the map's order.
std::string describe(const ovVariantMapImpl& map) {
    std::string text;
    for (const auto& [key, value] : map) {
        text += (text.empty() ? "" : " ") + key + "=" + value.toString();
    }
    return text;
}

const ovInstanceMetaData& instanceMetadataOf(const ovSpatial& node) {
    const auto* metadata = node.findMetadata(ovInstanceMetaData::MetadataTypeId);
    EXPECT_NE(metadata, nullptr) << node.GetName();
    return *static_cast<const ovInstanceMetaData*>(metadata);
}

const ovInstanceDefId* definitionOf(const ovSpatial& node) {
    return instanceMetadataOf(node).getInstanceDefId();
}

std::filesystem::path plmXmlDataDir() {
    return test::testDataDir() / "plmxml";
}

// A document of the test data, which must load (its root throws when it did not).
Loaded loadDataFile(const std::string& name) {
    Loaded loaded = load(test::readFile(plmXmlDataDir() / name));
    EXPECT_TRUE(loaded.loaded) << name << ": " << testing::PrintToString(loaded.messages);
    return loaded;
}

// Root instance i1 of the empty part p1 named A, followed by extra content.
std::string singlePart(const PlmXmlSchema& schema, const std::string& instanceContent,
                       const std::string& extra = "") {
    return plmXmlDocument(schema, "i1",
                          xmlElement(schema.instance, R"(id="i1" partRef="#p1" name="A")", instanceContent) +
                              xmlElement(schema.part, R"(id="p1" name="A")") + extra);
}

// Instance i<n> of part p<n> named N<n>, whose part holds the instances refs.
std::string chainLink(const PlmXmlSchema& s, const std::string& n, const std::string& refs) {
    return xmlElement(s.instance, "id=\"i" + n + "\" partRef=\"#p" + n + "\" name=\"N" + n + "\"") +
           xmlElement(s.part, "id=\"p" + n + "\" name=\"N" + n + "\" instanceRefs=\"" + refs + "\"");
}

// Instance i0 holds instance i1 twice, and so on down to i<levels>, whose
// part holds lastRefs: 2^(levels + 1) - 1 nodes and the leaves.
std::string doubling(const PlmXmlSchema& s, int levels, const std::string& lastRefs = "") {
    std::string content;
    for (int level = 0; level < levels; ++level) {
        const std::string next = 'i' + std::to_string(level + 1);
        content += chainLink(s, std::to_string(level), next + " " + next);
    }
    return plmXmlDocument(s, "i0", content + chainLink(s, std::to_string(levels), lastRefs));
}

TEST(PlmXmlStructure, InstancesOfOneNameShareWhatTheyHoldAlike) {
    const Loaded loaded = loadDataFile("bolts_by_lot.plmxml");
    ASSERT_EQ(loaded.root().getNbChildren(), 3);
    // The part's colour differs from the instances' and is added beside theirs.
    EXPECT_EQ(describe(definitionOf(child(loaded.root(), 0))->getComponentMd()),
              "colour=red colour=blue grade=8.8 name=Bolt type=component");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(describe(instanceMetadataOf(child(loaded.root(), i)).getMd()), i == 0 ? "lot=1" : "lot=2");
    }
    EXPECT_EQ(definitionOf(child(loaded.root(), 0))->nodeType, ovInstanceDefId::Unknown);
}

// Parts of one name may differ in type: the instance with the smallest id,
// not the first in the document, gives its definition's node type.
TEST(PlmXmlStructure, ADefinitionTakesItsTypeFromTheSmallestId) {
    const Loaded loaded = loadDataFile("bolt_types.plmxml");
    EXPECT_EQ(definitionOf(child(loaded.root(), 0))->nodeType, ovInstanceDefId::Assembly);
}

// A part used twice has its instances built twice, alike.
TEST(PlmXmlStructure, APartUsedTwiceGivesEachUseItsOwnAlikeNodes) {
    const Loaded loaded = loadDataFile("part_used_twice.plmxml");
    ASSERT_EQ(loaded.root().getNbChildren(), 3);
    for (int use = 0; use < 2; ++use) {
        const ovNode& sub = child(loaded.root(), use);
        ASSERT_EQ(sub.getNbChildren(), 1);
        EXPECT_EQ(describe(instanceMetadataOf(child(sub, 0)).getMd()), "lot=7");
    }
    EXPECT_NE(child(child(loaded.root(), 0), 0).GetID(), child(child(loaded.root(), 1), 0).GetID());
}

// Several product definitions hang under one unnamed node. They are read into
// the records of earlier ones; with the same ids, a plain one must not inherit
// the placements, texts, links or shared definition of the richer one before it.
TEST(PlmXmlStructure, ALaterProductDefKeepsNothingOfAnEarlierOne) {
    const Loaded loaded = loadDataFile("two_product_defs.plmxml");
    const ovNode& group = loaded.root();
    EXPECT_EQ(group.GetName(), "");
    EXPECT_EQ(describe(definitionOf(group)->getComponentMd()), "schemaVersion=6");
    EXPECT_NE(group.findMetadata(ovWorldUnitsMetaData::MetadataTypeId), nullptr);
    ASSERT_EQ(group.getNbChildren(), 2);
    EXPECT_EQ(child(group, 0).GetName(), "Car");
    const ovNode& top = child(group, 1);
    EXPECT_EQ(top.GetName(), "Top");
    ASSERT_EQ(top.getNbChildren(), 1);
    const ovNode& wheel = child(top, 0);
    EXPECT_FALSE(wheel.IsDerived(ovXRefNode::TYPE));
    EXPECT_EQ(wheel.getNbChildren(), 0);
    EXPECT_TRUE(wheel.getLocalTransform().IsIdentity());
    EXPECT_EQ(describe(instanceMetadataOf(wheel).getMd()), "");
    EXPECT_EQ(describe(definitionOf(wheel)->getComponentMd()), "name=Wheel");
    EXPECT_EQ(definitionOf(wheel)->nodeType, ovInstanceDefId::Unknown);
}

TEST(PlmXmlStructure, AStructure100000LevelsDeepLoads) {
    const PlmXmlSchema& s = kPlmXmlV6;
    constexpr int kLevels = 100000;
    std::string content;
    for (int level = 0; level < kLevels; ++level) {
        content +=
            chainLink(s, std::to_string(level), level + 1 < kLevels ? 'i' + std::to_string(level + 1) : "");
    }
    const Loaded loaded = load(plmXmlDocument(s, "i0", content));
    ASSERT_TRUE(loaded.loaded) << testing::PrintToString(loaded.messages);
    const ovSpatial* node = &loaded.root();
    int depth = 1;
    while (static_cast<const ovNode*>(node)->getNbChildren() == 1) {
        node = static_cast<const ovNode*>(node)->getChild(0);
        ++depth;
    }
    EXPECT_EQ(depth, kLevels);
    EXPECT_EQ(node->GetName(), "N99999");
}

// Each document ends the load with exactly these messages, and no root.
struct BadDocument {
    const char* what;
    std::string document;
    std::vector<std::string> messages;
};

std::vector<BadDocument> badDocuments() {
    const PlmXmlSchema& s = kPlmXmlV6;
    const std::string a = xmlElement(s.instance, R"(id="i1" partRef="#p1" name="A")");
    const std::string aPart = xmlElement(s.part, R"(id="p1" name="A")");
    auto withTransform = [&](const std::string& numbers) { return singlePart(s, plmXmlTransform(numbers)); };
    // Text, trailing units, NaN and values beyond a float.
    auto unparsable = [&](const char* numbers) {
        return BadDocument{
            numbers, withTransform(numbers), {std::string("Fail to parse Transform value ") + numbers}};
    };
    const std::string doubled = doubling(s, 30);
    const std::string car = plmXmlDocument(s, "i1", plmXmlCar(s));
    return {
        {"version 5",
         plmXmlDocument({"5", "Part", "Instance"}, "i1", a + aPart),
         {"Unsupported plmxl schema version 5"}},
        {"double part", plmXmlDocument(s, "i1", a + aPart + aPart), {"Got double part definition p1"}},
        {"double instance", plmXmlDocument(s, "i1", a + a + aPart), {"Got double instance definition i1"}},
        {"second graph",
         plmXmlDocument(s, "i1", a + aPart + "<InstanceGraph/>"),
         {"Unexpected Instance Graph"}},
        {"15 numbers",
         withTransform("1 0 0 0 0 1 0 0 0 0 1 0 0 0 0"),
         {"Unexpected Transform value 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0"}},
        unparsable("1 0 0 0 0 1 0 0 0 0 1 0 0 x 0 1"),
        unparsable("1 0 0 0 0 1 0 0 0 0 1 0 0 2m 0 1"),
        unparsable("1 0 0 0 0 1 0 0 0 0 1 0 0 0 \t 1"),
        unparsable("1 0 0 0 0 1 0 0 0 0 1 0 - 0 0 1"),
        unparsable("1 0 0 0 0 1 0 0 0 0 1 0 7\t 0 0 1"),
        // The count of pieces is looked at before any of them is read.
        {"17 pieces",
         withTransform("x 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"),
         {"Unexpected Transform value x 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"}},
        unparsable("1 0 0 0 0 1 0 0 0 0 1 0 nan 0 0 1"),
        unparsable("1 0 0 0 0 1 0 0 0 0 1 0 0,5 0 0 1"),
        {"two roots", plmXmlDocument(s, "i1 i2", a + aPart), {"fail to find root i1 i2"}},
        {"ref without #",
         plmXmlDocument(s, "i1", xmlElement(s.instance, R"(id="i1" partRef="p1" name="A")") + aPart),
         {"Unexpected instance ref p1"}},
        {"unknown part", plmXmlDocument(s, "i1", a), {"fail to find part #p1"}},
        {"no name",
         plmXmlDocument(
             s, "i1", xmlElement(s.instance, R"(id="i1" partRef="#p1")") + xmlElement(s.part, R"(id="p1")")),
         {"empty instance name"}},
        {"other name",
         plmXmlDocument(s, "i1", a + xmlElement(s.part, R"(id="p1" name="B")")),
         {"Unexpected part and instance name mismatch"}},
        {"weird",
         plmXmlDocument(s, "i1",
                        a + xmlElement(s.part, R"(id="p1" name="A" instanceRefs="i1")",
                                       R"(<Representation location="a.jt"/>)")),
         {"Weird part p1"}},
        {"unknown child",
         plmXmlDocument(s, "i1", a + xmlElement(s.part, R"(id="p1" name="A" instanceRefs="i9")")),
         {"fail to find instance i9"}},
        // Records are checked in id order, whatever their order in the document.
        {"instances by id",
         plmXmlDocument(s, "i1",
                        a + xmlElement(s.instance, R"(id="i9" partRef="#p9" name="A")") +
                            xmlElement(s.instance, R"(id="i2" partRef="x" name="A")") + aPart),
         {"Unexpected instance ref x"}},
        {"cycle below",
         plmXmlDocument(s, "i1", chainLink(s, "1", "i2") + chainLink(s, "2", "i3") + chainLink(s, "3", "i2")),
         {"Instance N2 (id i2) contains itself"}},
        {"doubling",
         doubled,
         {"The product structure would take more than 64.0 MB as a scene, the most allowed for " +
          std::to_string(doubled.size()) +
          " bytes of document (256 times their size, at least 64 MB); "
          "ovPlmXmlMeshDriver::setMaxExpansion raises it"}},
        {"no product", R"(<PLMXML schemaVersion="6"><Header/></PLMXML>)", {"No ProductDef in the document"}},
        {"malformed", singlePart(s, "<Transform></Bound>"), {"E: line 3, column 112: mismatched tag"}},
        {"entity",
         "<!DOCTYPE PLMXML [<!ENTITY a \"aaaa\">]>" + car,
         {"E: line 1, column 30: entity declarations are not accepted (a)"}},
        // An external subset is never fetched: its entities stay unknown and are skipped.
        {"external DTD",
         "<!DOCTYPE PLMXML SYSTEM \"/etc/passwd\"><PLMXML schemaVersion=\"6\">&x;</PLMXML>",
         {"No ProductDef in the document"}},
    };
}

TEST(PlmXmlBadInput, EndsTheLoadWithItsMessageAndNoRoot) {
    // Numbers are read in the C locale whatever the process's: a decimal comma is refused.
    const test::DecimalCommaLocale german;
    for (const BadDocument& bad : badDocuments()) {
        const Loaded loaded = load(bad.document);
        EXPECT_FALSE(loaded.loaded) << bad.what;
        EXPECT_TRUE(loaded.objects.empty()) << bad.what;
        EXPECT_EQ(loaded.messages, bad.messages) << bad.what;
    }
}

// A part used by several others is built once per use: a few kilobytes could
// describe billions of nodes, or copy a large attribute into each of them.
// Before any node is made, the scene's estimated size over all product
// definitions is held to a multiple of the document's, which a host may raise.
TEST(PlmXmlExpansion, AScenePastItsShareOfTheDocumentIsRefused) {
    const PlmXmlSchema& s = kPlmXmlV6;
    std::string twice = doubling(s, 16), largeLeaves = doubling(s, 9, "ia ib");
    const size_t productDef = twice.find("<ProductDef");
    twice.insert(productDef, twice.substr(productDef, twice.find("</PLMXML>") - productDef));
    auto leaf = [&s](char id) {
        return xmlElement(s.instance, std::string("id=\"i") + id + "\" partRef=\"#pl\" name=\"Leaf\" big=\"" +
                                          std::string(100000, id) + "\"");
    };
    largeLeaves.insert(largeLeaves.find("</InstanceGraph>"),
                       leaf('a') + leaf('b') + xmlElement(s.part, R"(id="pl" name="Leaf")"));
    // The document, the factor the host allows, whether it loads.
    const std::tuple<std::string, double, bool> rows[] = {{doubling(s, 16), 256, true},
                                                          {doubling(s, 17), 256, false},
                                                          {doubling(s, 17), 1e5, true},
                                                          {twice, 256, false},
                                                          {largeLeaves, 256, false}};
    for (const auto& [document, maxExpansion, loads] : rows) {
        EXPECT_EQ(load(document, true, nullptr, maxExpansion).loaded, loads) << document.size();
    }
}

TEST(PlmXmlTransform, OnlyProperRotationsAreTaken) {
    const test::DecimalCommaLocale german;  // which must not change how numbers are read
    struct Row {
        const char* numbers;
        std::vector<std::string> messages;
        Wm4::Vector3<float> xGoesTo;
        Wm4::Vector3<float> translation;
    };
    const Row rows[] = {
        // A mirror keeps the identity rotation but still moves the instance.
        {"-1 0 0 0 0 1 0 0 0 0 1 0 0.5 0 0 1", {"W: Invalid rotation for A"}, {1, 0, 0}, {500, 0, 0}},
        {"2 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1", {"W: Invalid rotation for A"}, {1, 0, 0}, {0, 0, 0}},
        {"1.005  0 0 0 0 1 0 0 0 0 1 0 +0.001 -2e-3 \r\n3 1", {}, {1.005f, 0, 0}, {1, -2, 3000}},
        {"0 0 1 9 0 1 0 9 -1 0 0 9 1 2 3 9", {}, {0, 0, 1}, {1000, 2000, 3000}},
        {"0 -1 0 0 1 0 0 0 0 0 1 0 -5 7 -0 1", {}, {0, -1, 0}, {-5000, 7000, 0}},
    };
    for (const Row& row : rows) {
        const Loaded loaded = load(singlePart(kPlmXmlV4, plmXmlTransform(row.numbers)));
        ASSERT_TRUE(loaded.loaded) << row.numbers << testing::PrintToString(loaded.messages);
        EXPECT_EQ(loaded.messages, row.messages) << row.numbers;
        const ovTransformation& transform = loaded.root().getLocalTransform();
        EXPECT_EQ(transform.ApplyForward({1, 0, 0}, false), row.xGoesTo) << row.numbers;
        EXPECT_EQ(transform.GetTranslate(), row.translation) << row.numbers;
    }
}

TEST(PlmXmlLoader, ReadsOnlyWhatTheDocumentStructureAllows) {
    test::LogCapture log;
    ovLog::msInstance->setMinimumType(ovLogDiagnostic);
    const PlmXmlSchema& s = kPlmXmlV6;
    const std::string userValues = xmlElement("UserValue", R"(title="ok" value="yes" type="boolean")") +
                                   xmlElement("UserValue", R"(title="bad" value="maybe" type="boolean")") +
                                   xmlElement("UserValue", R"(title="n" value="7" type="int" unit="mm")") +
                                   xmlElement("UserValue", R"(title="lonely")") +
                                   xmlElement("UserValue", R"(title="n" value="8")");
    const std::string document = plmXmlDocument(
        s, "i1",
        // The instance's text "true" is not the part's boolean true: both are kept.
        xmlElement(s.instance, R"(id="i1" partRef="#p1" name="A" ok="true")",
                   xmlElement("UserValue", R"(title="x" value="1")")) +
            "<ProductView><InstanceGraph/><Whatever/></ProductView><Extra/><ext:Thing/>" +
            // A second document element's attributes replace the first one's.
            R"(<ext:PLMXML schemaVersion="6" author="b"/>)" +
            xmlElement(s.part, R"(id="p1" name="A")",
                       userValues + R"(<Representation id="r" format="JT" location="first.jt" kind="k"/>)" +
                           R"(<Representation location="a.jt"/>)"),
        R"( author="a")");
    const Loaded loaded = load(document);
    ASSERT_TRUE(loaded.loaded) << testing::PrintToString(loaded.messages);
    const ovNode& root = loaded.root();
    EXPECT_EQ(static_cast<const ovXRefNode&>(root).getUtf8FilePath(), "a.jt");
    const ovVariantMapImpl& component = definitionOf(root)->getComponentMd();
    EXPECT_EQ(describe(component), "author=b bad=maybe format=JT n=8 name=A ok=true ok=true schemaVersion=6");
    EXPECT_EQ(std::next(component.find("ok"))->second.getType(), ovVariant::Boolean);
    EXPECT_EQ(component.find("bad")->second.getType(), ovVariant::String);
    const std::vector<std::string> expected = {"Unexpected UserValue",
                                               "Unhandled element Extra",
                                               "Unexpected UserValue boolean value maybe",
                                               "Unexpected UserValue attribute unit",
                                               "Unexpected UserValue type value int",
                                               "Unexpected UserValue format",
                                               "Unexpected attribute kind in Representation",
                                               "Unhandled node type "};
    std::vector<std::string> diagnostics;
    for (const ovLogLine& line : log.lines()) {
        EXPECT_EQ(line.category, "plmxml");
        diagnostics.push_back(line.text);
    }
    EXPECT_EQ(diagnostics, expected);
}

TEST(PlmXmlCancellation, AnyQuestionAnsweredYesEndsTheLoadSilently) {
    const std::string document = plmXmlDocument(kPlmXmlV4, "i1", plmXmlCar(kPlmXmlV4));
    RecordingProgress counting;
    ASSERT_TRUE(load(document, true, &counting).loaded);
    // Asked while parsing, after it, before each instance, part and name
    // group, and before each node built: cancel at each of those.
    EXPECT_GE(counting.questions(), 3 + 2 + 2 + 3);
    for (int cancelFrom = 1; cancelFrom <= counting.questions(); ++cancelFrom) {
        RecordingProgress progress(cancelFrom);
        const Loaded loaded = load(document, true, &progress);
        EXPECT_FALSE(loaded.loaded) << cancelFrom;
        EXPECT_TRUE(loaded.objects.empty());
        EXPECT_TRUE(loaded.messages.empty()) << testing::PrintToString(loaded.messages);
    }
}

// Registration, extensions and device support are pinned with the other drivers'; the tool
// loads by path.
TEST(PlmXmlDriver, AMissingFileLoadsNothingAndNothingIsSaved) {
    ovPlmXmlMeshDriver driver;
    ovObjectList objects;
    EXPECT_FALSE(driver.loadMeshes(objects, "/nonexistent/car.plmxml", nullptr, LoadMeshOptions()));
    EXPECT_FALSE(driver.saveMeshes(objects, "/nonexistent/out.plmxml", nullptr, SaveMeshOptions()));
    EXPECT_TRUE(objects.empty());
}

// The road of a PLM XML assembly to STEP: loaded by our driver, saved by the
// STEP driver, and read back by Open CASCADE, which must find the tree, the
// names and the placements (in millimetres) of the PLM XML input, each
// Representation file as a document and the shared metadata as properties.

[[maybe_unused]] std::vector<std::string> sortedLines(const std::string& text) {
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
    ovIoDeviceMemory input(test::readFile(plmXmlDataDir() / "car_with_axle.plmxml"));
    ovObjectList objects;
    ASSERT_TRUE(plmXml.loadMeshes(objects, input, "plmxml", nullptr, LoadMeshOptions()));
    step::StepMeshDriver stepDriver(step::schemaPath());
    const std::string file = test::saveToMemory(stepDriver, objects, true);
    EXPECT_EQ(step::occtReading("--assembly", file),
              test::readFile(plmXmlDataDir() / "car_with_axle.step_assembly.txt"));
    EXPECT_EQ(sortedLines(step::occtReading("--references", file)),
              sortedLines(test::readFile(plmXmlDataDir() / "car_with_axle.step_references.txt")));
#endif
}

}  // namespace
}  // namespace ov::test

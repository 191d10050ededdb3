// The occurrence reader, against the real exports and small documents.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

#include "meshdrivers/core/LineDrawingTestSupport.h"
#include "meshdrivers/plmxml/PlmXmlTestSupport.h"
#include "meshdrivers/step/StepTestSupport.h"
#include "scenegraph/ovMetadata.h"
#include "step/StepMeshDriver.h"
#include "support/TestSupport.h"
#include "xml/ovXml.h"

namespace ov {
namespace {

using Matrix = std::array<double, 16>;  // row-vector form, as in the file
constexpr Matrix kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// What the file says, read by a pass of its own: each Occurrence's Transform
// (metres), children and the name of what it places.
struct FileOccurrence {
    Matrix transform{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<std::string> children;
    std::string placed;
};
struct FileStructure : xml::XmlSaxParserHandler {
    std::map<std::string, FileOccurrence> occurrences;
    std::map<std::string, std::string> names, views;
    std::vector<std::string> roots;
    std::string open, text;

    bool documentBoundary() override { return true; }
    bool characters(const char* data, int length) override { return text.append(data, length), true; }
    bool message(const std::string&, int) override { return false; }
    int startElement(std::string_view name, const xml::XmlAttributes& attributes) override {
        std::map<std::string_view, std::string> a(attributes.begin(), attributes.end());
        std::istringstream refs(a["occurrenceRefs"] + a["rootRefs"]);
        std::vector<std::string> ids{std::istream_iterator<std::string>(refs), {}};
        if (name == "Occurrence") {
            open = a["id"];
            occurrences[open].children = ids;
            occurrences[open].placed = a["instancedRef"].substr(1);
        } else if (name == "ProductView") {
            roots = ids;
        } else if (a.count("revisionRef")) {
            views[a["id"]] = a["revisionRef"].substr(1);
        } else if (a.count("name")) {
            names[a["id"]] = a["name"];
        }
        text.clear();
        return xml::Continue;
    }
    bool endElement(std::string_view name) override {
        std::istringstream numbers(text);
        if (name == "Transform" && !open.empty()) {
            for (double& number : occurrences[open].transform)
                numbers >> number;
        }
        open = name == "Occurrence" ? "" : open;
        return true;
    }
    std::string nameOf(const FileOccurrence& occurrence) {
        return names[views.count(occurrence.placed) ? views[occurrence.placed] : occurrence.placed];
    }
};

Matrix product(const Matrix& left, const Matrix& right) {
    Matrix result{};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            for (int k = 0; k < 4; ++k)
                result[row * 4 + column] += left[row * 4 + k] * right[k * 4 + column];
    return result;
}

// The node's placement in the root's frame, in metres: its local placements composed.
Matrix worldOf(const ovSpatial& node, const Matrix& parentWorld) {
    Wm4::Matrix4<float> local;
    node.getLocalTransform().GetHomogeneous(local);
    Matrix matrix{};
    for (int index = 0; index < 16; ++index)
        matrix[index] = local(index / 4, index % 4) / (index >= 12 ? 1000 : 1);
    matrix[15] = 1;
    return product(matrix, parentWorld);
}

// Walks scene and file together: names, children and world placements.
size_t expectSameTree(const ovSpatial& node, const std::string& id, FileStructure& file,
                      const Matrix& parentWorld) {
    const FileOccurrence& occurrence = file.occurrences.at(id);
    EXPECT_EQ(node.GetName(), file.nameOf(occurrence)) << id;
    const Matrix world = worldOf(node, parentWorld);
    for (int index = 0; index < 16; ++index)
        EXPECT_NEAR(world[index], occurrence.transform[index], 1e-6) << id;
    const auto* group = dynamic_cast<const ovNode*>(&node);
    EXPECT_EQ(group->getNbChildren(), static_cast<int>(occurrence.children.size())) << id;
    size_t count = 1;
    for (int child = 0; child < group->getNbChildren(); ++child)
        count += expectSameTree(*group->getChild(child), occurrence.children[child], file, world);
    return count;
}

TEST(PlmXmlOccurrences, RealExportsLoadAsTheirOccurrenceTrees) {
    const struct {
        const char* file;
        size_t occurrences;
        PlmXmlReading reading;
        const char* strictMessage;
    } samples[] = {
        {"krusty84_PLMXMLFile_v5_1.xml", 23, PlmXmlReading::Auto, "Unsupported plmxl schema version 5.1"},
        {"krusty84_PLMXMLFile_v6_a.xml", 28, PlmXmlReading::Auto, "fail to find root "},
        {"krusty84_PLMXMLFile_v6_b.xml", 6, PlmXmlReading::Occurrences, nullptr},
    };
    for (const auto& sample : samples) {
        OV_SHARED_DATA_OR_SKIP(path, std::string("plmxml/samples/") + sample.file);
        FileStructure file;
        ovIoDeviceFileStream device(path.string(), ovIoDevice::ReadOnly, true);
        ASSERT_TRUE(xml::ParseXmlStream(device, file, nullptr)) << sample.file;
        ovPlmXmlMeshDriver driver;
        driver.setReading(sample.reading);
        ovObjectList objects;
        ASSERT_TRUE(driver.loadMeshes(objects, path.string(), nullptr, LoadMeshOptions())) << sample.file;
        const auto& messages = driver.getErrorMessages();
        ASSERT_EQ(messages.size(), sample.strictMessage ? 1u : 0u) << sample.file;
        EXPECT_TRUE(!sample.strictMessage ||
                    messages[0].first.find(sample.strictMessage) != std::string::npos);
        ASSERT_EQ(file.roots.size(), 1u);
        EXPECT_EQ(
            expectSameTree(*static_cast<ovSpatial*>(objects.at(0).get()), file.roots[0], file, kIdentity),
            sample.occurrences)
            << sample.file;
#ifdef OV_OCCT_STEP_READER
        // Open CASCADE finds the same tree in the STEP assembly: a line per node.
        step::StepMeshDriver stepDriver((test::resourcesDir() / "step" / "ap242_1_36_mim_lf.exp").string());
        test::TempDir folder;
        const std::string stepPath = folder.file("assembly.stp");
        ASSERT_TRUE(stepDriver.saveMeshes(objects, stepPath, nullptr, SaveMeshOptions())) << sample.file;
        const std::string tree = test::runCommand("\"" OV_OCCT_STEP_READER "\" --assembly " + stepPath);
        EXPECT_EQ(static_cast<size_t>(std::count(tree.begin(), tree.end(), '\n')), sample.occurrences)
            << sample.file;
        // The interop file, read as it stands, gives the same names, tree and placements, and checks clean.
        stepDriver.setProfile(step::StepProfile::Interop);
        const std::string interopPath = folder.file("interop.stp");
        ASSERT_TRUE(stepDriver.saveMeshes(objects, interopPath, nullptr, SaveMeshOptions())) << sample.file;
        EXPECT_EQ(test::runCommand("\"" OV_OCCT_STEP_READER "\" --native --assembly " + interopPath), tree);
        step::expectChecksClean(test::readFile(interopPath));
#endif
    }
}

// Small occurrence documents: occurrence(id, what it places, children).
std::string occurrence(const std::string& id, const std::string& placed, const std::string& children = "",
                       const std::string& content = "") {
    return test::xmlElement(
        "Occurrence",
        "id=\"" + id + "\" instancedRef=\"#" + placed + "\" occurrenceRefs=\"" + children + "\"", content);
}
std::string revision(const std::string& id, const std::string& name, const std::string& content = "") {
    return test::xmlElement("ProductRevision", "id=\"" + id + "\" name=\"" + name + "\" revision=\"A\"",
                            content);
}
std::string dataSet(const std::string& id, const std::string& role = "IMAN_specification") {
    return "<AssociatedDataSet dataSetRef=\"#" + id + "\" role=\"" + role + "\"/>";
}
std::string occurrenceDocument(const std::string& content, const std::string& version = "6") {
    return "<PLMXML schemaVersion=\"" + version + "\"><ProductView rootRefs=\"o1\"/>" + content + "</PLMXML>";
}

// Names, with "@" before an external reference's path, children in brackets.
std::string treeText(const ovSpatial& node) {
    const auto* reference = dynamic_cast<const ovXRefNode*>(&node);
    std::string text = node.GetName() + (reference ? "@" + reference->getUtf8FilePath() : "");
    const auto& group = dynamic_cast<const ovNode&>(node);
    for (int child = 0; child < group.getNbChildren(); ++child)
        text += (child ? ' ' : '[') + treeText(*group.getChild(child)) +
                (child + 1 == group.getNbChildren() ? "]" : "");
    return text;
}

test::Loaded loadAs(const std::string& document, PlmXmlReading reading = PlmXmlReading::Occurrences) {
    return test::load(document, true, nullptr, ovPlmXmlMeshDriver::kDefaultMaxExpansion, reading);
}

TEST(PlmXmlOccurrences, SmallDocumentsGiveTheirTreeOrTheirReason) {
    // Windows programs write single-byte encodings other than ISO-8859-1.
    auto encoded = [](const char* encoding, const char* name) {
        return "<?xml version=\"1.0\" encoding=\"" + std::string(encoding) + "\"?>" +
               occurrenceDocument(occurrence("o1", "r1") + revision("r1", name));
    };
    const struct {
        std::string document;
        std::string tree;  // empty when the load fails
        std::vector<std::string> messages;
    } cases[] = {
        {occurrenceDocument(occurrence("o1", "r1", "o2 x o2 o3") + occurrence("o2", "r1") +
                            occurrence("o3", "x") + revision("r1", "A")),
         "A[A]",
         {"W: Occurrence o1 lists x, which is no occurrence; skipped",
          "W: Occurrence o2 is listed again under o1; skipped",
          "W: Occurrence o3 places #x, which is no named product revision; skipped"}},
        {occurrenceDocument(occurrence("o1", "r1", "o2") + occurrence("o2", "r1", "o1") +
                            revision("r1", "A")),
         "",
         {"Occurrence o1 contains itself"}},
        // A leaf's file: the first of a rendering data set if any, Windows paths turned; an assembly has
        // none.
        {occurrenceDocument(
             occurrence("o1", "r1", "o2") + occurrence("o2", "r2") + revision("r1", "A", dataSet("d1")) +
             revision("r2", "B", dataSet("d1") + dataSet("d2", "IMAN_Rendering")) +
             R"(<DataSet id="d1" memberRefs="#f1"/><DataSet id="d2" memberRefs="#f2 #f1"/>)"
             R"(<ExternalFile id="f1" locationRef="a\x.prt"/><ExternalFile id="f2" locationRef="b\y.jt"/>)"),
         "A[B@b/y.jt]",
         {}},
        {occurrenceDocument(occurrence("o1", "r1"), "3"), "", {"Unsupported plmxl schema version 3"}},
        {"<PLMXML schemaVersion=\"6\"/>", "", {"No ProductView names a root occurrence"}},
        {encoded("windows-1252", "\x80\xE9\x8A"), "\u20AC\u00E9\u0160", {}},
        {encoded("ISO-8859-15", "\xA4\xE9\xA6"), "\u20AC\u00E9\u0160", {}},
    };
    for (const auto& row : cases) {
        const test::Loaded loaded = loadAs(row.document);
        EXPECT_EQ(loaded.loaded, !row.tree.empty()) << row.document;
        EXPECT_EQ(loaded.messages, row.messages) << row.document;
        EXPECT_EQ(loaded.loaded ? treeText(loaded.root()) : "", row.tree) << row.document;
    }
}

// The files not chosen go into metadata, and so does the rest of what the
// revision says; revisions of one name stay apart, occurrences of one share.
TEST(PlmXmlOccurrences, RevisionsAreDefinitionsWithTheirFilesAndValues) {
    const test::Loaded loaded = loadAs(occurrenceDocument(
        occurrence("o1", "r1", "o2 o3 o4") + occurrence("o2", "r2") + occurrence("o3", "r2") +
        occurrence("o4", "r3") + revision("r1", "Car") + revision("r3", "Bolt") +
        revision(
            "r2", "Bolt",
            R"(<AssociatedDataSet dataSetRef="#d1"/><AssociatedDataSet dataSetRef="#d2" role="IMAN_Rendering"/>)"
            R"(<UserData><UserValue title="ok" type="boolean" value="true"/></UserData>)") +
        R"(<DataSet id="d1" memberRefs="#f1"/><DataSet id="d2" memberRefs="#f2 #f3"/>)"
        R"(<ExternalFile id="f1" locationRef="a.prt" format="prt"/><ExternalFile id="f2" locationRef="b.jt" format="jt"/>)"
        R"(<ExternalFile id="f3" locationRef="c.jt"/>)"));
    ASSERT_TRUE(loaded.loaded);
    auto definitionOf = [&loaded](int child) {
        return loaded.root().getChild(child)->findMetadata<ovInstanceMetaData>()->getInstanceDefId();
    };
    EXPECT_EQ(definitionOf(0), definitionOf(1));
    EXPECT_NE(definitionOf(0), definitionOf(2));
    std::vector<std::string> entries;
    for (const auto& [key, value] : definitionOf(0)->getComponentMd())
        entries.push_back(key + "=" + value.toString());
    EXPECT_EQ(entries, (std::vector<std::string>{"file=b.jt", "format=jt", "name=Bolt", "ok=true",
                                                 "otherFiles=a.prt", "otherFiles=c.jt", "revision=A"}));
}

TEST(PlmXmlOccurrences, DataSetsSharedByManyRevisionsMeetTheExpansionLimit) {
    std::string document, members, children;
    for (int index = 0; index < 1000; ++index) {
        const std::string n = std::to_string(index);
        members += " #f" + n;
        children += " p" + n;
        document += "<ExternalFile id=\"f" + n + "\" locationRef=\"file" + n + ".jt\"/>" +
                    occurrence("p" + n, "r" + n) +
                    revision("r" + n, "P", R"(<AssociatedDataSet dataSetRef="#d"/>)");
    }
    const test::Loaded loaded = loadAs(occurrenceDocument(
        occurrence("o1", "r0", children) + document + "<DataSet id=\"d\" memberRefs=\"" + members + "\"/>"));
    EXPECT_FALSE(loaded.loaded);
    ASSERT_EQ(loaded.messages.size(), 1u);
    EXPECT_EQ(loaded.messages[0].rfind("The product structure would take more than", 0), 0u);
}

// Exports wrap long transforms (the strict reader's table has them too).
TEST(PlmXmlOccurrences, TransformsOverSeveralLinesLoad) {
    const std::string transform = test::plmXmlTransform("1 0 0 0\n0 1 0 0\r\n0 0 1 0\n  0.5 0 0 1\n");
    const test::Loaded loaded =
        loadAs(occurrenceDocument(occurrence("o1", "r1", "", transform) + revision("r1", "A")));
    ASSERT_TRUE(loaded.loaded) << testing::PrintToString(loaded.messages);
    EXPECT_EQ(loaded.root().getLocalTransform().GetTranslate()[0], 500.0f);
}

// A document of random shape: revisions shared by occurrences and sharing
// names, placed directly or through a revision view, elements in random order.
std::string randomOccurrences(std::mt19937& random) {
    auto pick = [&random](int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); };
    std::vector<std::string> elements;
    const int revisions = 5 + pick(4);
    for (int r = 0; r < revisions; ++r) {
        const std::string id = std::to_string(r);
        elements.push_back(revision("r" + id, std::string("Part") + "ABC"[pick(3)]));
        elements.push_back(
            test::xmlElement("ProductRevisionView", "id=\"v" + id + "\" revisionRef=\"#r" + id + "\""));
    }
    const int count = 1 + pick(25);
    std::vector<Matrix> world(count);
    std::vector<std::string> children(count);
    for (int o = 0; o < count; ++o) {
        const int parent = o == 0 ? -1 : pick(o);
        const double angle = pick(8) * 0.785398163397448, c = std::cos(angle), s = std::sin(angle);
        Matrix local{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, pick(100) * 0.01, pick(100) * -0.01, 0.5, 1};
        if (pick(2))
            local = Matrix{1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0.1, 0, 1};
        world[o] = o == 0 ? local : product(local, world[parent]);
        if (o > 0)
            children[parent] += " o" + std::to_string(o);
    }
    for (int o = 0; o < count; ++o) {
        std::ostringstream numbers;
        numbers.precision(17);
        for (double number : world[o])
            numbers << number << ' ';
        elements.push_back(occurrence('o' + std::to_string(o),
                                      (pick(2) ? 'v' : 'r') + std::to_string(pick(revisions)), children[o],
                                      test::plmXmlTransform(numbers.str())));
    }
    std::shuffle(elements.begin(), elements.end(), random);
    std::string content;
    for (const std::string& element : elements)
        content += element;
    return "<PLMXML schemaVersion=\"" + std::string(pick(2) ? "6" : "5.1") +
           "\"><ProductView rootRefs=\"o0\"/>" + content + "</PLMXML>";
}

// Each document's tree is checked against the separate pass over the file.
TEST(PlmXmlOccurrences, RandomDocumentsGiveTheirTrees) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 200; ++round) {
        const std::string document = randomOccurrences(random);
        const test::Loaded loaded = loadAs(document);
        ASSERT_TRUE(loaded.loaded) << document;
        EXPECT_TRUE(loaded.messages.empty()) << document;
        FileStructure file;
        ovIoDeviceMemory device(document);
        ASSERT_TRUE(xml::ParseXmlStream(device, file, nullptr));
        expectSameTree(loaded.root(), "o0", file, kIdentity);
    }
}

}  // namespace
}  // namespace ov

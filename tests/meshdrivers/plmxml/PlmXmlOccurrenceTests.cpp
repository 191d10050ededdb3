// The occurrence reader, against the real exports and small documents.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iterator>
#include <map>
#include <sstream>

#include "meshdrivers/plmxml/PlmXmlTestSupport.h"
#include "scenegraph/ovMetadata.h"
#include "support/TestSupport.h"
#include "xml/ovXml.h"

namespace ov {
namespace {

using Matrix = std::array<double, 16>;  // row-vector form, as in the file

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
        std::vector<std::string> messages;
        for (const auto& [text, code] : driver.getErrorMessages())
            messages.push_back(text);
        EXPECT_EQ(messages.size(), sample.strictMessage ? 1u : 0u) << sample.file;
        if (sample.strictMessage) {
            EXPECT_NE(messages.at(0).find(sample.strictMessage), std::string::npos) << messages.at(0);
        }
        ASSERT_EQ(file.roots.size(), 1u);
        const Matrix identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        EXPECT_EQ(
            expectSameTree(*static_cast<ovSpatial*>(objects.at(0).get()), file.roots[0], file, identity),
            sample.occurrences)
            << sample.file;
    }
}

}  // namespace
}  // namespace ov

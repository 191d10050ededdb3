#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>

#include "StlTestSupport.h"
#include "core/ovMeshDrivers.h"
#include "scenegraph/ovIoManager.h"
#include "stl/StlMeshDriver.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

ovObjectList listOf(ovObject* object) {
    return {ovPointer<ovObject>(object)};
}

TEST(StlDriverTest, AnnouncesSavingOfStlOnly) {
    StlMeshDriver driver;
    EXPECT_EQ(driver.getSaveExtensions(), ovExtensionList{"stl"});
    EXPECT_TRUE(driver.getLoadExtensions().empty());
    EXPECT_TRUE(driver.isDeviceCapable());
    EXPECT_EQ(driver.canSave("part.STL", {}), RequestAccepted);
    EXPECT_EQ(driver.canLoad({nullptr, "part.stl"}, {}), RequestRejected);

    ovObjectList loaded;
    ovIoDeviceMemory device("solid x\nendsolid x\n");
    EXPECT_FALSE(driver.loadMeshes(loaded, device, "part.stl", nullptr, {}));
    EXPECT_FALSE(driver.loadMeshes(loaded, "part.stl", nullptr, {}));
    EXPECT_TRUE(loaded.empty());
}

TEST(StlDriverTest, RefusesAnythingButOneSpatialAndWritesNothing) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    const ovPointer<ovObject> notSpatial(new ovMaterialState);
    const std::vector<ovObjectList> refused = {
        {},
        {ovPointer<ovObject>(scene), ovPointer<ovObject>(scene)},
        {ovPointer<ovObject>()},
        {notSpatial},
    };
    StlMeshDriver driver;
    for (const ovObjectList& objects : refused) {
        ovIoDeviceMemory device;
        EXPECT_FALSE(driver.saveMeshes(objects, device, "stl", nullptr, {})) << objects.size() << " objects";
        EXPECT_TRUE(device.data().empty());
    }
}

TEST(StlDriverTest, DataThatWasNotResidentIsReleasedAgain) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    const std::string resident = saveStl(scene.get());
    std::vector<ovBufferResource*> buffers;
    for (ovNode* part :
         {static_cast<ovNode*>(scene->getChild(0)), static_cast<ovNode*>(scene->getChild(1))}) {
        auto* mesh = static_cast<ovTriMesh*>(part->getChild(0));
        buffers.push_back(mesh->getVertexBuffer());
        buffers.push_back(mesh->getIndexBuffer());
    }
    for (ovBufferResource* buffer : buffers) {
        ovRendererInterface::DeleteCPUData(buffer, false);
    }
    const uint64_t loadsBefore = ovRendererInterface::loadCount();
    const uint64_t deletesBefore = ovRendererInterface::deleteCount();

    EXPECT_EQ(saveStl(scene.get()), resident);

    // Per mesh: the vertices for the minimum, then vertices and indices for
    // the records, each dropped again after use.
    EXPECT_EQ(ovRendererInterface::loadCount() - loadsBefore, 6u);
    EXPECT_EQ(ovRendererInterface::deleteCount() - deletesBefore, 6u);
    for (const ovBufferResource* buffer : buffers) {
        EXPECT_FALSE(buffer->hasCPUData());
    }
}

TEST(StlDriverTest, ResidentDataIsLeftAsItWas) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    const uint64_t loadsBefore = ovRendererInterface::loadCount();
    const uint64_t deletesBefore = ovRendererInterface::deleteCount();
    saveStl(scene.get());
    EXPECT_EQ(ovRendererInterface::loadCount(), loadsBefore);
    EXPECT_EQ(ovRendererInterface::deleteCount(), deletesBefore);
    const auto* mesh = static_cast<const ovTriMesh*>(static_cast<ovNode*>(scene->getChild(0))->getChild(0));
    EXPECT_TRUE(mesh->getVertexBuffer()->hasCPUData());
    EXPECT_TRUE(mesh->getIndexBuffer()->hasCPUData());
}

TEST(StlDriverTest, DataThatCannotBeLoadedKeepsTheFileConsistent) {
    LogCapture log;
    ovTriMesh* mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2, 2, 1, 0});
    mesh->SetName("Paged out");
    const ovPointer<ovNode> root(new ovNode);
    root->attachChild(mesh);
    ovRendererInterface::DeleteCPUData(mesh->getVertexBuffer(), false);
    mesh->getVertexBuffer()->setReloadable(false);

    const StlFile file = decodeStl(saveStl(root.get()));
    EXPECT_EQ(file.count, 2u);
    ASSERT_EQ(file.facets.size(), 2u);
    for (const StlFacet& facet : file.facets) {
        EXPECT_EQ(facet.corners[1].X(), 0.0f);
        EXPECT_EQ(facet.normal.Z(), 0.0f);
    }
    EXPECT_EQ(log.texts(ovLogWarning).size(), 1u);
    EXPECT_FALSE(mesh->getVertexBuffer()->hasCPUData());
    EXPECT_TRUE(mesh->getIndexBuffer()->hasCPUData()) << "the resident index buffer stays resident";
}

TEST(StlDriverTest, ReportsProgressOverTwoSteps) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    RecordingNotifier progress;
    saveStl(scene.get(), &progress);

    // 8 vertices, 6 triangles.
    ASSERT_EQ(progress.groups.size(), 1u);
    EXPECT_EQ(progress.groups[0], (std::pair<uint32_t, double>{2, 6.0}));
    EXPECT_EQ(progress.steps, (std::vector<RecordingNotifier::Step>{{8.0, 0}, {6.0, 1}}));
    EXPECT_EQ(progress.advanced, 8.0 + 6.0);
    EXPECT_EQ(progress.groupsEnded, 1);
    // Five objects per walk, three walks.
    EXPECT_EQ(progress.questions, 15);
}

TEST(StlDriverTest, CancellationStopsTheWalkAndKeepsWhatWasWritten) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    const std::string full = saveStl(scene.get());

    // Walk order: root, part A, tetrahedron, part B, quad. Thirteen questions
    // let the first two walks through and the third as far as the
    // tetrahedron, whose four records are written; part B is cancelled.
    RecordingNotifier progress(13);
    const ovPointer<ovObject> root(scene);
    StlMeshDriver driver;
    ovIoDeviceMemory device;
    EXPECT_TRUE(driver.saveMeshes({root}, device, "stl", &progress, {}));
    EXPECT_EQ(device.data(), full.substr(0, 84 + 4 * 50));
    EXPECT_EQ(decodeStl(device.data()).count, 6u) << "the count comes from the first walk";
    EXPECT_EQ(progress.groupsEnded, 1);
}

TEST(StlDriverTest, CancellationBeforeTheFirstObjectWritesAnEmptyFile) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    RecordingNotifier progress(0);
    const std::string bytes = saveStl(scene.get(), &progress);
    EXPECT_EQ(bytes.size(), 84u);
    EXPECT_EQ(decodeStl(bytes).count, 0u);
}

TEST(StlDriverTest, DeviceFailuresDoNotChangeTheAnswer) {
    const ovPointer<ovNode> scene = buildTwoPartScene();
    const std::string full = saveStl(scene.get());
    StlMeshDriver driver;

    for (int64_t limit : {0, 50, 83, 84, 133, 200}) {
        ovIoDeviceFaultInjector shortDevice(limit, ovIoDeviceFaultInjector::kNoLimit);
        EXPECT_TRUE(driver.saveMeshes(listOf(scene.get()), shortDevice, "stl", nullptr, {}));
        EXPECT_EQ(shortDevice.data(), full.substr(0, static_cast<size_t>(limit)));
    }
    ovIoDeviceFaultInjector badDevice(ovIoDeviceFaultInjector::kNoLimit, 0);
    EXPECT_TRUE(driver.saveMeshes(listOf(scene.get()), badDevice, "stl", nullptr, {}));
}

TEST(StlDriverTest, SavesThroughTheManagerByPath) {
    LogCapture log;
    TempDir dir;
    initializeOvMeshDrivers(dir.path().string());
    const ovPointer<ovNode> scene = buildTwoPartScene();

    EXPECT_TRUE(
        ovIoManager::msInstance.saveMeshes(listOf(scene.get()), dir.file("Assembly.STL"), nullptr, {}));
    EXPECT_EQ(readFile(dir.file("Assembly.STL")), readFile(testDataDir() / "stl" / "two_parts.stl"));
    EXPECT_FALSE(ovIoManager::msInstance.saveMeshes(listOf(scene.get()), dir.file("no/such/folder/a.stl"),
                                                    nullptr, {}));
    terminateOvMeshDrivers();
}

// ---------------------------------------------------------------- readers

// Output of a command, or nullopt when it could not run or failed.
std::optional<std::string> runCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>/dev/null").c_str(), "r"), pclose);
    if (!pipe) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        output.append(buffer, read);
    }
    const int status = pclose(pipe.release());
    if (status != 0) {
        return std::nullopt;
    }
    return output;
}

class StlReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ovPointer<ovNode> scene = buildTwoPartScene();
        StlMeshDriver driver;
        ASSERT_TRUE(driver.saveMeshes(listOf(scene.get()), path, nullptr, {}));
        expected = decodeStl(readFile(path));
    }

    TempDir dir;
    const std::string path = dir.file("two_parts.stl");
    StlFile expected;
};

TEST_F(StlReaderTest, NumpyStlReadsTheRecords) {
    // Normals as written (not recomputed), corners and attribute words.
    const char* script =
        "import sys\n"
        "from stl import mesh\n"
        "m = mesh.Mesh.from_file(sys.argv[1], calculate_normals=False)\n"
        "print(len(m.vectors))\n"
        "for n, v, a in zip(m.normals, m.vectors, m.attr):\n"
        "    print(' '.join(repr(float(x)) for x in list(n) + list(v.flatten())), int(a[0]))\n";
    const std::optional<std::string> output =
        runCommand("/usr/bin/python3 -c \"" + std::string(script) + "\" '" + path + "'");
    if (!output) {
        GTEST_SKIP() << "numpy-stl is not available";
    }
    std::istringstream lines(*output);
    size_t count = 0;
    lines >> count;
    ASSERT_EQ(count, expected.facets.size());
    for (const StlFacet& facet : expected.facets) {
        float values[12];
        unsigned attribute = 0;
        for (float& value : values) {
            lines >> value;
        }
        lines >> attribute;
        ASSERT_TRUE(lines) << *output;
        EXPECT_EQ(values[0], facet.normal.X());
        EXPECT_EQ(values[1], facet.normal.Y());
        EXPECT_EQ(values[2], facet.normal.Z());
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(values[3 + 3 * k], facet.corners[k].X());
            EXPECT_EQ(values[4 + 3 * k], facet.corners[k].Y());
            EXPECT_EQ(values[5 + 3 * k], facet.corners[k].Z());
        }
        EXPECT_EQ(attribute, facet.colour);
    }
}

// The number after label (and an optional ":" or "=") in a report, or NaN.
double numberAfter(const std::string& report, const std::string& label) {
    const size_t at = report.find(label);
    if (at == std::string::npos) {
        return std::nan("");
    }
    const char* text = report.c_str() + at + label.size();
    while (*text == ' ' || *text == ':' || *text == '=') {
        ++text;
    }
    return std::strtod(text, nullptr);
}

TEST_F(StlReaderTest, AdmeshReadsTheFacetsAndTheBoundingBox) {
    // Only the exact check: no repair may change the counts.
    const std::optional<std::string> output = runCommand("admesh --exact '" + path + "'");
    if (!output) {
        GTEST_SKIP() << "admesh is not available";
    }
    EXPECT_EQ(numberAfter(*output, "Number of facets"), 6.0) << *output;
    EXPECT_EQ(numberAfter(*output, "Min X"), 0.0);
    EXPECT_EQ(numberAfter(*output, "Max X"), 12.0);
    EXPECT_EQ(numberAfter(*output, "Min Y"), 0.0);
    EXPECT_EQ(numberAfter(*output, "Max Y"), 7.0);
    EXPECT_EQ(numberAfter(*output, "Min Z"), 0.0);
    EXPECT_EQ(numberAfter(*output, "Max Z"), 3.0);
    EXPECT_EQ(numberAfter(*output, "Degenerate facets"), 0.0);
}

}  // namespace
}  // namespace ov::test

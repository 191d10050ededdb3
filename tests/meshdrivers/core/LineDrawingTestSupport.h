#pragma once

// Scenes, notifiers and outside readers for the tests of the line-drawing
// writers, and the tests that every one of those writers passes.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <locale>

#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovGeometry.h"
#include "support/RecordingProgress.h"
#include "support/TestSupport.h"

namespace ov::test {

// A line (unless asked for a triangle mesh) through points, its segments or
// triangles given by indices, owned by whatever holds it first. Normals and
// texture coordinates, when the attributes ask for them, hold values that
// must never show up as positions.
template <typename Geometry = ovLine>
Geometry* makeGeometry(const std::vector<Wm4::Vector3f>& points, const std::vector<int>& indices,
                       const ovAttributes& attributes = {}) {
    ovPointer<ovVertexBuffer> vertices(new ovVertexBuffer(attributes, static_cast<int>(points.size())));
    for (int i = 0; i < vertices->GetVertexQuantity(); ++i) {
        vertices->Position3(i) = points[static_cast<size_t>(i)];
        if (attributes.HasNormal()) {
            vertices->Normal3(i) = {99, 99, 99};
        }
        if (attributes.HasTCoord(0)) {
            std::fill_n(vertices->TCoord(0, i), attributes.GetTCoordChannels(0), -99.0f);
        }
    }
    ovPointer<ovIndexBuffer> indexBuffer(new ovIndexBuffer(static_cast<int>(indices.size())));
    std::copy(indices.begin(), indices.end(), indexBuffer->getData());
    return new Geometry(vertices.get(), indexBuffer.get());
}

// A node carrying page (when not null) with the children attached in order.
inline ovPointer<ovNode> makeRoot(ovVectorialMetadata* page, const std::vector<ovSpatial*>& children = {}) {
    ovPointer<ovNode> root(new ovNode);
    root->setMetadata(page);
    for (ovSpatial* child : children) {
        EXPECT_GE(root->attachChild(child), 0);
    }
    return root;
}

// The drawing of the golden files: a page with a perspective projection, a
// 2-D mapping that uses all six of its numbers, a title and a description; a
// strip of three segments under a moved node, a line of two separate
// segments, and a triangle mesh that drawings ignore.
inline ovPointer<ovNode> makeSampleDrawing() {
    ovPointer<ovVectorialMetadata> page(new ovVectorialMetadata);
    page->title = "Sample drawing";
    page->description = "Two lines and a mesh";
    // X = (2x + 10) / W, Y = (2y + 20) / W, W = z / 2 + 1
    const float projection[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0.5f, 10, 20, 0, 1};
    std::copy(std::begin(projection), std::end(projection), page->projection);
    const float pageMatrix[4] = {1, 0.25f, -0.5f, 1};
    std::copy(std::begin(pageMatrix), std::end(pageMatrix), page->pageMatrix);
    page->pageOffset[0] = 5;
    page->pageOffset[1] = 7;

    ovPointer<ovLine> strip = makeGeometry({{0, 0, 0}, {1, 0, 0}, {1, 1, 2}, {0, 1, 2}}, {0, 1, 1, 2, 2, 3});
    strip->setColor({1, 0, 0, 1});
    ovPointer<ovNode> moved(new ovNode);
    moved->editLocalTransform(true).SetTranslate({10, 0, 0});
    moved->attachChild(strip.get());

    ovPointer<ovLine> pair = makeGeometry({{0.1f, 0.2f, 0.3f}, {-5, 7.25f, 1e-3f}, {3, 3, 3}}, {0, 1, 2, 0});
    pair->setColor({0.2f, 0.5f, 1, 1});
    pair->setWidth(2.5f);

    const ovPointer<ovTriMesh> mesh = makeGeometry<ovTriMesh>({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 0, 0});
    return makeRoot(page.get(), {moved.get(), pair.get(), mesh.get()});
}

// Drops the CPU copies of a geometry's buffers, optionally making the store
// unable to give them back.
inline void makeNonResident(const ovBaseGeometry& geometry, bool reloadable) {
    for (ovBufferResource* buffer : {static_cast<ovBufferResource*>(geometry.getVertexBuffer()),
                                     static_cast<ovBufferResource*>(geometry.getIndexBuffer())}) {
        ovRendererInterface::DeleteCPUData(buffer, false);
        buffer->setReloadable(reloadable);
    }
}

// Saves objects through the driver's device form onto a memory device,
// expecting the driver to answer saves, and gives back what it wrote.
inline std::string saveToMemory(ovCoreMeshDriver& driver, const ovObjectList& objects, bool saves,
                                ovProgressNotifierInterface* progress = nullptr,
                                const SaveMeshOptions& options = {}) {
    ovIoDeviceMemory device;
    EXPECT_EQ(driver.saveMeshes(objects, device, "ignored.path", progress, options), saves);
    return device.data();
}

// The outside readers that tests hold files against are Linux programs, run through its shell: the
// Windows build's tests go without them.
#if defined(_WIN32)
constexpr bool kOutsideReadersRun = false;
#else
constexpr bool kOutsideReadersRun = true;
#endif
#define OV_OUTSIDE_READERS_OR_SKIP()     \
    if (!::ov::test::kOutsideReadersRun) \
    GTEST_SKIP() << "the outside readers run on Linux only"

// Runs a shell command, expecting it to succeed, and gives back what it wrote
// on its standard output and error together.
inline std::string runCommand(const std::string& command) {
    const TempDir dir;
    const int status = std::system(("(" + command + ") >" + dir.file("output") + " 2>&1").c_str());
    std::string output = readFile(dir.file("output"));
    EXPECT_EQ(status, 0) << command << ":\n" << output;
    return output;
}

// Segments (u0, v0, u1, v1) on the page, each drawn alone by a black line of
// width 1.
using Segments = std::vector<std::array<int, 4>>;

// A writer under test. Format gives its Driver; kName, how its log lines
// start; kGoldens, the golden files of the sample drawing by line breaks;
// kReaders, the outside programs that must accept every file a test saves
// through save() (each is run in a folder holding those files, named by
// numbers, with their names as arguments); the progress calls of a root
// without page; and file(segments), the whole file of an A4 identity page
// drawing segments.
template <typename Format>
class LineDrawingTest : public ::testing::Test {
protected:
    // Headers carry the time and the software version: both are fixed.
    void SetUp() override { SetSoftwareVersionForStream({"ovmesh-test", "1.0"}); }

    void TearDown() override {
        SetSoftwareVersionForStream(previousVersion);
        TempDir folder;
        for (size_t i = 0; i < written.size(); ++i) {
            writeFile(folder.path() / std::to_string(i), written[i]);
        }
        const bool read = kOutsideReadersRun && !written.empty();
        for (const std::string& reader : read ? Format::kReaders : std::vector<std::string>{}) {
            runCommand("cd " + folder.path().string() + " && " + reader + " [0-9]*");
        }
    }

    std::string save(ovSpatial* root, ovProgressNotifierInterface* progress = nullptr,
                     bool lineBreaks = true) {
        SaveMeshOptions options;
        options.lineBreaks = lineBreaks;
        written.push_back(saveToMemory(driver, {root}, true, progress, options));
        return written.back();
    }

    std::string drawLine(const std::vector<Wm4::Vector3f>& points, const std::vector<int>& indices) {
        return save(makeRoot(page.get(), {makeGeometry(points, indices)}).get());
    }

    // A page whose projection and page matrix are identity and whose offset
    // is zero: the world point (x, y, z) lands at (x, y).
    static ovPointer<ovVectorialMetadata> makeIdentityPage() {
        ovPointer<ovVectorialMetadata> identity(new ovVectorialMetadata);
        for (int i = 0; i < 4; ++i) {
            identity->projection[5 * i] = 1.0f;
        }
        identity->pageMatrix[0] = identity->pageMatrix[3] = 1.0f;
        return identity;
    }

    FixedClock clock;
    const SoftwareVersionInfoForStream previousVersion = GetSoftwareVersionForStream();
    LogCapture log;
    typename Format::Driver driver;
    ovPointer<ovVectorialMetadata> page = makeIdentityPage();
    std::vector<std::string> written;
};

TYPED_TEST_SUITE_P(LineDrawingTest);
// Only the writers' test programs instantiate these tests.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(LineDrawingTest);

TYPED_TEST_P(LineDrawingTest, SampleDrawingMatchesGoldenFilesUnderAGermanLocale) {
    const DecimalCommaLocale german;
    for (const auto& [lineBreaks, golden] : TypeParam::kGoldens) {
        expectMatchesGolden(golden, this->save(makeSampleDrawing().get(), nullptr, lineBreaks));
    }
}

// Lines are drawn from their whole segments (an odd last index belongs to
// none) where their data can be had; the others are reported once each.
TYPED_TEST_P(LineDrawingTest, DrawsTheWholeSegmentsOfLinesWhoseDataCanBeHad) {
    ovPointer<ovLine> resident = makeGeometry({{0, 0, 5}, {1, 1, -5}}, {0, 1});
    ovPointer<ovLine> paged = makeGeometry({{2, 2, 0}, {3, 3, 0}, {4, 4, 0}}, {0, 1, 2});
    ovPointer<ovLine> lost = makeGeometry({{5, 5, 0}, {6, 6, 0}}, {0, 1});
    makeNonResident(*paged, true);
    makeNonResident(*lost, false);
    // After the lost line: indices beyond the vertices, a negative index, too
    // few indices, no buffers at all, and an empty slot.
    ovPointer<ovNode> root =
        makeRoot(this->page.get(), {resident.get(), lost.get(), makeGeometry({{5, 5, 0}}, {0, 1}),
                                    makeGeometry({{5, 5, 0}}, {-1, 0}), makeGeometry({{5, 5, 0}}, {0}),
                                    makeGeometry({{5, 5, 0}}, {}), new ovLine});
    root->setChild(8, paged.get());
    const uint64_t loads = ovRendererInterface::loadCount(), deletes = ovRendererInterface::deleteCount();
    RecordingProgress progress;

    EXPECT_EQ(this->save(root.get(), &progress), TypeParam::file({{0, 0, 1, 1}, {2, 2, 3, 3}}));
    EXPECT_EQ(progress.calls(), (std::vector<std::string>{"group 2 2", "step 2 1", "end"}));
    EXPECT_FALSE(paged->getVertexBuffer()->hasCPUData() || paged->getIndexBuffer()->hasCPUData());
    EXPECT_TRUE(resident->getVertexBuffer()->hasCPUData() && resident->getIndexBuffer()->hasCPUData());
    EXPECT_EQ(ovRendererInterface::loadCount() - loads, ovRendererInterface::deleteCount() - deletes);
    const std::string name = TypeParam::kName;
    const std::string notLoaded =
        name + " driver failed to load line data. The output will likely be corrupt.";
    const std::string outside =
        name + " driver found a line index outside its vertex buffer. The line is left out.";
    EXPECT_EQ(this->log.texts(ovLogError), (std::vector<std::string>{notLoaded, outside, outside}));
}

// Lists other than one spatial are refused by every writer's fault sweep.
TYPED_TEST_P(LineDrawingTest, RootsWithoutAPageWriteNothing) {
    ovPointer<ovNode> withForeignPage = makeRoot(nullptr);
    withForeignPage->setMetadata(new ovMetadataInterface(ovVectorialMetadata::MetadataTypeId));
    for (const ovPointer<ovNode>& root : {makeRoot(nullptr), withForeignPage}) {
        RecordingProgress progress;
        EXPECT_EQ(saveToMemory(this->driver, {root}, false, &progress), "");
        EXPECT_EQ(progress.calls(), TypeParam::kProgressWithoutPage);
    }
    EXPECT_TRUE(this->log.lines().empty());
}

REGISTER_TYPED_TEST_SUITE_P(LineDrawingTest, SampleDrawingMatchesGoldenFilesUnderAGermanLocale,
                            DrawsTheWholeSegmentsOfLinesWhoseDataCanBeHad, RootsWithoutAPageWriteNothing);

}  // namespace ov::test

#include <gtest/gtest.h>

#include <string>

#include "../core/LineDrawingTestSupport.h"
#include "dxf/DxfDriver.h"

namespace ov::test {
namespace {

const std::string kFileStart =
    "0\nCOMMENT\n1\nExporter : ovmesh-test 1.0\n"
    "0\nCOMMENT\n1\nDatetime : 2026-06-15T12:34:56Z\n"
    "0\nSECTION\n2\nENTITIES\n";
const std::string kFileEnd = "0\nENDSEC\n0\nEOF\n";

std::string lineEntity(const std::string& startU, const std::string& startV, const std::string& endU,
                       const std::string& endV) {
    return "0\nLINE\n8\n0\n10\n" + startU + "\n20\n" + startV + "\n30\n0.0\n11\n" + endU + "\n21\n" + endV +
           "\n31\n0.0\n";
}

bool ezdxfInstalled() {
    static const bool installed = runCommand("/usr/bin/python3 -c 'import ezdxf'").status == 0;
    return installed;
}

// Every file a test writes is read again by ezdxf when the test ends: it must
// pass the audit with every LINE entity found.
class DxfDriverTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (!written.empty() && ezdxfInstalled()) {
            expectEzdxfReadsWrittenFiles();
        }
    }

    SaveResult save(ovSpatial* root, ovProgressNotifierInterface* progress = nullptr) {
        SaveResult result = saveToMemory(driver, listOf(root), progress);
        if (result.saved) {
            written.push_back(result.text);
        }
        return result;
    }

    // The entities of a file, checking that the file around them is the fixed
    // start and end.
    std::string entitiesOf(const SaveResult& result) {
        EXPECT_TRUE(result.saved);
        const std::string& text = result.text;
        if (text.size() < kFileStart.size() + kFileEnd.size() || text.rfind(kFileStart, 0) != 0 ||
            text.compare(text.size() - kFileEnd.size(), kFileEnd.size(), kFileEnd) != 0) {
            ADD_FAILURE() << "not a whole drawing file:\n" << text;
            return {};
        }
        return text.substr(kFileStart.size(), text.size() - kFileStart.size() - kFileEnd.size());
    }

    std::string entitiesOfLine(const std::vector<Wm4::Vector3f>& points, const std::vector<int>& indices) {
        ovPointer<ovLine> line = makeLine(points, indices);
        return entitiesOf(save(makeRoot(page.get(), {line.get()}).get()));
    }

    void expectEzdxfReadsWrittenFiles() {
        TempDir folder;
        std::string arguments;
        std::vector<std::string> expected;
        for (size_t i = 0; i < written.size(); ++i) {
            const std::string path = folder.file("drawing" + std::to_string(i) + ".dxf");
            writeFile(path, written[i]);
            arguments += " " + path;
            expected.push_back(path + " lines=" + std::to_string(countOf(written[i], "0\nLINE\n")) +
                               " errors=0");
        }
        const CommandResult check = runCommand("/usr/bin/python3 " OV_DXF_CHECK_SCRIPT + arguments);
        EXPECT_EQ(check.status, 0) << check.output;
        for (const std::string& line : expected) {
            EXPECT_NE(check.output.find(line), std::string::npos) << line << " not in:\n" << check.output;
        }
    }

    std::vector<std::string> written;
    FixedWriterIdentity identity;
    LogCapture log;
    DxfDriver driver;
    ovPointer<ovVectorialMetadata> page = makeIdentityPage();
};

TEST_F(DxfDriverTest, AnnouncesSavingDxfOnly) {
    EXPECT_TRUE(driver.isDeviceCapable());
    EXPECT_EQ(driver.getSaveExtensions(), ovExtensionList{"dxf"});
    EXPECT_TRUE(driver.getLoadExtensions().empty());
    ovObjectList loaded;
    ovIoDeviceMemory device("0\nEOF\n");
    EXPECT_FALSE(driver.loadMeshes(loaded, device, "a.dxf", nullptr, {}));
    EXPECT_FALSE(driver.loadMeshes(loaded, "a.dxf", nullptr, {}));
    EXPECT_TRUE(loaded.empty());
}

TEST_F(DxfDriverTest, SampleDrawingMatchesGoldenFile) {
    ovPointer<ovNode> root = makeSampleDrawing();
    const SaveResult result = save(root.get());
    ASSERT_TRUE(result.saved);
    expectGolden(result.text, "dxf/sample.dxf");
}

TEST_F(DxfDriverTest, NumbersKeepTheirPointUnderAGermanLocale) {
    const GlobalLocale german("de_DE.UTF-8");
    if (!german.available()) {
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    }
    ovPointer<ovNode> root = makeSampleDrawing();
    expectGolden(save(root.get()).text, "dxf/sample.dxf");
}

TEST_F(DxfDriverTest, EzdxfIsThereToReadTheFiles) {
    if (!ezdxfInstalled()) {
        GTEST_SKIP() << "ezdxf is not installed for /usr/bin/python3: written files are not read back";
    }
    ovPointer<ovNode> root = makeSampleDrawing();
    EXPECT_TRUE(save(root.get()).saved);
}

TEST_F(DxfDriverTest, SceneWithoutLinesGivesOnlyTheFrame) {
    ovPointer<ovNode> inner(new ovNode);
    ovPointer<ovNode> root = makeRoot(page.get(), {inner.get()});
    const SaveResult result = save(root.get());
    ASSERT_TRUE(result.saved);
    EXPECT_EQ(result.text, kFileStart + kFileEnd);
    EXPECT_EQ(countOf(result.text, "\n"), 16u);
}

TEST_F(DxfDriverTest, IdentityPagePutsWorldXAndYOnThePage) {
    EXPECT_EQ(entitiesOfLine({{1, 2, 3}, {-0.5f, 1234567, 1e-5f}}, {0, 1}),
              lineEntity("1", "2", "-0.5", "1.23457e+06"));
}

TEST_F(DxfDriverTest, WorldTransformOfEveryAncestorMovesThePoints) {
    ovPointer<ovLine> line = makeLine({{1, 2, 3}, {4, 5, 6}}, {0, 1});
    ovPointer<ovNode> middle(new ovNode);
    middle->editLocalTransform(true).SetTranslate({100, 0, 0});
    middle->attachChild(line.get());
    line->editLocalTransform(true).SetScale({2, 2, 2});
    ovPointer<ovNode> root = makeRoot(page.get(), {middle.get()});
    root->editLocalTransform(true).SetTranslate({0, 10, 0});
    EXPECT_EQ(entitiesOf(save(root.get())), lineEntity("102", "14", "108", "20"));
}

TEST_F(DxfDriverTest, EverySegmentIsASeparateLineEvenWhenVerticesAreShared) {
    const std::string entities = entitiesOfLine({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {0, 1, 1, 2, 2, 0});
    EXPECT_EQ(entities, lineEntity("0", "0", "1", "0") + lineEntity("1", "0", "1", "1") +
                            lineEntity("1", "1", "0", "0"));
    EXPECT_EQ(countOf(entities, "POLYLINE"), 0u);
}

TEST_F(DxfDriverTest, OddLastIndexIsIgnoredAndTooFewIndicesWriteNothing) {
    EXPECT_EQ(entitiesOfLine({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 1, 2}), lineEntity("0", "0", "1", "0"));
    EXPECT_EQ(entitiesOfLine({{0, 0, 0}}, {0}), "");
    EXPECT_EQ(entitiesOfLine({{0, 0, 0}}, {}), "");
}

TEST_F(DxfDriverTest, ProjectionDividesByWAndPageMappingUsesAllSixNumbers) {
    // W = 2 for z = 2; X = (x + 1) / W, Y = (y - 1) / W.
    const float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0.5f, 1, -1, 0, 1};
    std::copy(std::begin(projection), std::end(projection), page->projection);
    const float pageMatrix[4] = {2, 3, 5, 7};
    std::copy(std::begin(pageMatrix), std::end(pageMatrix), page->pageMatrix);
    page->pageOffset[0] = 0.5f;
    page->pageOffset[1] = -0.25f;
    // (3, 5, 2): X = 2, Y = 2, u = 4 + 6 + 0.5, v = 10 + 14 - 0.25
    // (1, 1, 0): X = 2, Y = 0, u = 4.5, v = 9.75
    EXPECT_EQ(entitiesOfLine({{3, 5, 2}, {1, 1, 0}}, {0, 1}), lineEntity("10.5", "23.75", "4.5", "9.75"));
}

TEST_F(DxfDriverTest, PointsAtWZeroAreWrittenAsInfiniteOrUndefined) {
    // W is always 0; X = x / 0 and Y = x / 0, summed by the page mapping.
    float projection[16] = {};
    projection[0] = 1;
    projection[1] = 1;
    std::copy(std::begin(projection), std::end(projection), page->projection);
    const float pageMatrix[4] = {1, 1, 1, 1};
    std::copy(std::begin(pageMatrix), std::end(pageMatrix), page->pageMatrix);
    std::string entities = entitiesOfLine({{1, 0, 0}, {-1, 0, 0}, {0, 0, 0}}, {0, 1, 2, 2});
    // 0 / 0 may carry either sign; the stream writes the sign it has.
    for (size_t at = entities.find("-nan"); at != std::string::npos; at = entities.find("-nan")) {
        entities.erase(at, 1);
    }
    EXPECT_EQ(entities, lineEntity("inf", "inf", "-inf", "-inf") + lineEntity("nan", "nan", "nan", "nan"));
}

TEST_F(DxfDriverTest, DataThatWasNotResidentIsLoadedForTheSaveAndDroppedAgain) {
    ovPointer<ovLine> resident = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovLine> paged = makeLine({{2, 2, 0}, {3, 3, 0}}, {0, 1});
    makeNonResident(*paged, true);
    ovPointer<ovNode> root = makeRoot(page.get(), {resident.get(), paged.get()});
    const uint64_t loadsBefore = ovRendererInterface::loadCount();
    const uint64_t deletesBefore = ovRendererInterface::deleteCount();

    EXPECT_EQ(entitiesOf(save(root.get())), lineEntity("0", "0", "1", "1") + lineEntity("2", "2", "3", "3"));
    EXPECT_FALSE(paged->getVertexBuffer()->hasCPUData());
    EXPECT_FALSE(paged->getIndexBuffer()->hasCPUData());
    EXPECT_TRUE(resident->getVertexBuffer()->hasCPUData());
    EXPECT_TRUE(resident->getIndexBuffer()->hasCPUData());
    EXPECT_EQ(ovRendererInterface::loadCount() - loadsBefore,
              ovRendererInterface::deleteCount() - deletesBefore);
}

TEST_F(DxfDriverTest, LineWhoseDataCannotBeLoadedIsLeftOutWithAnError) {
    ovPointer<ovLine> lost = makeLine({{5, 5, 0}, {6, 6, 0}}, {0, 1});
    makeNonResident(*lost, false);
    ovPointer<ovLine> kept = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {lost.get(), kept.get()});
    EXPECT_EQ(entitiesOf(save(root.get())), lineEntity("0", "0", "1", "1"));
    ASSERT_FALSE(log.texts(ovLogError).empty());
    for (const std::string& text : log.texts(ovLogError)) {
        EXPECT_EQ(text, "Dxf driver failed to load line data. The output will likely be corrupt.");
    }
}

TEST_F(DxfDriverTest, LineWithAnIndexOutsideItsVerticesIsLeftOutWithAnError) {
    ovPointer<ovLine> broken = makeLine({{5, 5, 0}, {6, 6, 0}}, {0, 1, 1, 2});
    ovPointer<ovLine> negative = makeLine({{5, 5, 0}, {6, 6, 0}}, {-1, 0});
    ovPointer<ovLine> kept = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {broken.get(), negative.get(), kept.get()});
    EXPECT_EQ(entitiesOf(save(root.get())), lineEntity("0", "0", "1", "1"));
    ASSERT_FALSE(log.texts(ovLogError).empty());
    for (const std::string& text : log.texts(ovLogError)) {
        EXPECT_EQ(text, "Dxf driver found a line index outside its vertex buffer. The line is left out.");
    }
}

TEST_F(DxfDriverTest, LinesWithoutBuffersAndOtherObjectsContributeNothing) {
    ovPointer<ovLine> empty(new ovLine);
    ovPointer<ovLine> kept = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {empty.get()});
    root->setChild(3, kept.get());  // slots 1 and 2 stay empty
    EXPECT_EQ(entitiesOf(save(root.get())), lineEntity("0", "0", "1", "1"));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DxfDriverTest, LineAsTheRootIsDrawn) {
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    line->setMetadata(page.get());
    EXPECT_EQ(entitiesOf(save(line.get())), lineEntity("0", "0", "1", "1"));
}

TEST_F(DxfDriverTest, ProgressCountsSegmentsInTwoSteps) {
    ovPointer<ovLine> first = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1, 1, 0});
    ovPointer<ovLine> second = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1, 0});
    ovPointer<ovNode> root = makeRoot(page.get(), {first.get(), second.get()});
    RecordingProgress progress;
    EXPECT_TRUE(save(root.get(), &progress).saved);
    EXPECT_EQ(progress.calls(), (std::vector<std::string>{"group 2 3", "step 3 1", "end"}));
    EXPECT_EQ(progress.cancelQuestions(), 6);  // three objects, two walks
}

TEST_F(DxfDriverTest, CancellationSkipsTheRestButFinishesTheFile) {
    ovPointer<ovLine> first = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovLine> second = makeLine({{2, 2, 0}, {3, 3, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {first.get(), second.get()});

    // Questions 1-3 are the counting walk; the writing walk is cancelled at
    // its third object, the second line.
    RecordingProgress lateCancel(6);
    EXPECT_EQ(entitiesOf(save(root.get(), &lateCancel)), lineEntity("0", "0", "1", "1"));
    EXPECT_EQ(lateCancel.calls(), (std::vector<std::string>{"group 2 2", "step 2 1", "end"}));

    RecordingProgress earlyCancel(1);
    const SaveResult result = save(root.get(), &earlyCancel);
    EXPECT_EQ(result.text, kFileStart + kFileEnd);
    EXPECT_EQ(earlyCancel.calls(), (std::vector<std::string>{"group 2 0", "step 0 1", "end"}));
}

TEST_F(DxfDriverTest, RootsThatAreNotOneSpatialWithAPageWriteNothing) {
    ovPointer<ovNode> withPage = makeRoot(page.get());
    ovPointer<ovNode> withoutPage = makeRoot(nullptr);
    ovPointer<ovNode> withForeignPage = makeRoot(nullptr);
    withForeignPage->setMetadata(new ovMetadataInterface(ovVectorialMetadata::MetadataTypeId));
    ovPointer<ovMaterialState> notSpatial(new ovMaterialState);

    const std::vector<ovObjectList> refused = {
        {},
        {ovPointer<ovObject>()},
        {withPage, withPage},
        listOf(notSpatial.get()),
        listOf(withoutPage.get()),
        listOf(withForeignPage.get()),
    };
    for (const ovObjectList& objects : refused) {
        RecordingProgress progress;
        const SaveResult result = saveToMemory(driver, objects, &progress);
        EXPECT_FALSE(result.saved);
        EXPECT_EQ(result.text, "");
        EXPECT_TRUE(progress.calls().empty());
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DxfDriverTest, DeviceThatRefusesBytesIsReportedButTheSaveSucceeds) {
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {line.get()});
    ovIoDeviceFaultInjector device(100, ovIoDeviceFaultInjector::kNoLimit);
    EXPECT_TRUE(driver.saveMeshes(listOf(root.get()), device, "", nullptr, {}));
    EXPECT_EQ(device.data(), kFileStart.substr(0, 100));
    EXPECT_EQ(
        log.texts(ovLogError),
        std::vector<std::string>{"Dxf driver could not write the whole drawing: the device refused bytes."});
}

TEST_F(DxfDriverTest, SavesByPathThroughAFile) {
    ovPointer<ovNode> root = makeSampleDrawing();
    TempDir folder;
    ASSERT_TRUE(driver.saveMeshes(listOf(root.get()), folder.file("drawing.dxf"), nullptr, {}));
    expectGolden(readFile(folder.path() / "drawing.dxf"), "dxf/sample.dxf");
    EXPECT_FALSE(driver.saveMeshes(listOf(root.get()), folder.file("missing/drawing.dxf"), nullptr, {}));
}

TEST_F(DxfDriverTest, DeepScenesDoNotExhaustTheStack) {
    ovPointer<ovNode> root = makeRoot(page.get());
    ovNode* parent = root.get();
    for (int depth = 0; depth < 100000; ++depth) {
        ovPointer<ovNode> child(new ovNode);
        parent->attachChild(child.get());
        parent = child.get();
    }
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    parent->attachChild(line.get());
    EXPECT_EQ(entitiesOf(save(root.get())), lineEntity("0", "0", "1", "1"));
}

}  // namespace
}  // namespace ov::test

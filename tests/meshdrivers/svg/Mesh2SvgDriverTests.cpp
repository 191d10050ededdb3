#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "../core/LineDrawingTestSupport.h"
#include "svg/Mesh2SvgDriver.h"

namespace ov::test {
namespace {

const std::string kA4Start =
    "<?xml version=\"1.0\"?>\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"210mm\" height=\"297mm\" viewBox=\"0 0 210 297\" >\n";
const std::string kEnd = "</svg>\n";

// The group of a black line of width 1 under the default width scale, with
// its paths given as their d texts.
std::string blackGroup(const std::vector<std::string>& paths, const std::string& newLine = "\n") {
    std::string group =
        "<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\" stroke=\"rgb(0,0,0)\" "
        "stroke-width=\"0.846667\">";
    for (const std::string& path : paths) {
        group += newLine + "  <path d=\"" + path + "\"/>";
    }
    return group + newLine + "</g>" + newLine;
}

bool toolInstalled(const char* name) {
    return commandExists(name);
}

// Every file a test writes is rendered by rsvg-convert and checked by
// xmllint when the test ends, unless the test marks it as not well formed.
class Mesh2SvgDriverTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& text : written) {
            expectReadersAccept(text);
        }
    }

    SaveResult save(ovSpatial* root, ovProgressNotifierInterface* progress = nullptr,
                    bool lineBreaks = true) {
        SaveMeshOptions options;
        options.lineBreaks = lineBreaks;
        SaveResult result = saveToMemory(driver, listOf(root), progress, options);
        if (result.saved && checkWrittenFiles) {
            written.push_back(result.text);
        }
        return result;
    }

    // The groups of an A4 file without title and description, checking the
    // document around them.
    std::string groupsOf(const SaveResult& result) {
        EXPECT_TRUE(result.saved);
        const std::string& text = result.text;
        if (text.size() < kA4Start.size() + kEnd.size() || text.rfind(kA4Start, 0) != 0 ||
            text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) != 0) {
            ADD_FAILURE() << "not a whole A4 drawing:\n" << text;
            return {};
        }
        return text.substr(kA4Start.size(), text.size() - kA4Start.size() - kEnd.size());
    }

    std::string groupsOfLine(const std::vector<Wm4::Vector3f>& points, const std::vector<int>& indices) {
        ovPointer<ovLine> line = makeLine(points, indices);
        return groupsOf(save(makeRoot(page.get(), {line.get()}).get()));
    }

    // The stroke attribute and width of a line drawn alone.
    std::string strokeOf(const ovLine& line) {
        const std::string groups = groupsOf(save(makeRoot(page.get(), {const_cast<ovLine*>(&line)}).get()));
        const size_t start = groups.find(" stroke=\"");
        return groups.substr(start + 1, groups.find('>') - start - 1);
    }

    void expectReadersAccept(const std::string& text) {
        TempDir folder;
        const std::string svg = folder.file("drawing.svg");
        writeFile(svg, text);
        if (toolInstalled("rsvg-convert")) {
            const CommandResult render =
                runCommand("rsvg-convert -o " + folder.file("drawing.png") + " " + svg);
            EXPECT_EQ(render.status, 0) << render.output << "\n" << text;
        }
        if (toolInstalled("xmllint")) {
            const CommandResult lint = runCommand("xmllint --noout " + svg);
            EXPECT_EQ(lint.status, 0) << lint.output << "\n" << text;
        }
    }

    FixedWriterIdentity identity;
    LogCapture log;
    Mesh2SvgDriver driver;
    ovPointer<ovVectorialMetadata> page = makeIdentityPage();
    std::vector<std::string> written;
    bool checkWrittenFiles = true;
};

TEST_F(Mesh2SvgDriverTest, AnnouncesSavingSvgOnly) {
    EXPECT_TRUE(driver.isDeviceCapable());
    EXPECT_EQ(driver.getSaveExtensions(), ovExtensionList{"svg"});
    EXPECT_TRUE(driver.getLoadExtensions().empty());
    ovObjectList loaded;
    ovIoDeviceMemory device("<svg/>");
    EXPECT_FALSE(driver.loadMeshes(loaded, device, "a.svg", nullptr, {}));
    EXPECT_FALSE(driver.loadMeshes(loaded, "a.svg", nullptr, {}));
    EXPECT_TRUE(loaded.empty());
}

TEST_F(Mesh2SvgDriverTest, ReadersAreThereToCheckTheFiles) {
    for (const char* tool : {"rsvg-convert", "xmllint"}) {
        if (!toolInstalled(tool)) {
            GTEST_SKIP() << tool << " is not installed: written files are not checked by it";
        }
    }
}

TEST_F(Mesh2SvgDriverTest, SampleDrawingMatchesGoldenFiles) {
    ovPointer<ovNode> root = makeSampleDrawing();
    expectGolden(save(root.get(), nullptr, true).text, "svg/sample.svg");
    const std::string singleLine = save(root.get(), nullptr, false).text;
    expectGolden(singleLine, "svg/sample_single_line.svg");
    EXPECT_EQ(singleLine.find('\n'), std::string::npos);
}

TEST_F(Mesh2SvgDriverTest, NumbersKeepTheirPointUnderAGermanLocale) {
    const GlobalLocale german("de_DE.UTF-8");
    if (!german.available()) {
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    }
    ovPointer<ovNode> root = makeSampleDrawing();
    expectGolden(save(root.get()).text, "svg/sample.svg");
}

TEST_F(Mesh2SvgDriverTest, PageYGrowsDownward) {
    EXPECT_EQ(groupsOfLine({{1, 2, 3}, {-0.5f, 1234567, 0}}, {0, 1}),
              blackGroup({"M1,295 L-0.5,-1.23427e+06"}));
}

TEST_F(Mesh2SvgDriverTest, ConnectedSegmentsShareAPath) {
    const std::vector<Wm4::Vector3f> points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 2, 0}};
    EXPECT_EQ(groupsOfLine(points, {0, 1, 1, 2, 2, 3}), blackGroup({"M0,297 L1,297 L1,296 L0,296"}));
    EXPECT_EQ(groupsOfLine(points, {0, 1, 2, 3}), blackGroup({"M0,297 L1,297", "M1,296 L0,296"}));
    EXPECT_EQ(groupsOfLine(points, {0, 1, 1, 0}), blackGroup({"M0,297 L1,297 L0,297"}));
    EXPECT_EQ(groupsOfLine(points, {0, 1, 2, 3, 3, 4, 4, 0}),
              blackGroup({"M0,297 L1,297", "M1,296 L0,296 L0,295 L0,297"}));
    // Continuing means the same vertex index, not the same place.
    EXPECT_EQ(groupsOfLine({{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 1, 2, 3}),
              blackGroup({"M0,297 L1,297", "M1,297 L2,297"}));
}

TEST_F(Mesh2SvgDriverTest, WithoutLineBreaksPathsFollowEachOtherOnOneLine) {
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 3});
    ovPointer<ovNode> root = makeRoot(page.get(), {line.get()});
    const std::string text = save(root.get(), nullptr, false).text;
    EXPECT_EQ(
        text,
        "<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"210mm\" height=\"297mm\" "
        "viewBox=\"0 0 210 297\" >" +
            blackGroup({"M0,297 L1,297", "M1,296 L0,296"}, "") + "</svg>");
}

TEST_F(Mesh2SvgDriverTest, OddLastIndexIsIgnoredAndTooFewIndicesWriteNoGroup) {
    EXPECT_EQ(groupsOfLine({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 1, 2}), blackGroup({"M0,297 L1,297"}));
    EXPECT_EQ(groupsOfLine({{0, 0, 0}}, {0}), "");
    EXPECT_EQ(groupsOfLine({{0, 0, 0}}, {}), "");
}

TEST_F(Mesh2SvgDriverTest, ColourComponentsAreScaledAndTruncatedWithoutClamping) {
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 0, 0}}, {0, 1});
    line->setColor({1, 0, 0, 1});
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(255,0,0)\" stroke-width=\"0.846667\"");
    line->setColor({0.5f, 0.999f, 0.0039f, 0});
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(127,254,0)\" stroke-width=\"0.846667\"");

    // Out of range: a negative product wraps as a 32-bit unsigned number, a
    // product without an integer value gives 0.
    line->setColor({-0.5f, 2, 1e30f, 1});
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(4294967169,510,0)\" stroke-width=\"0.846667\"");
    line->setColor({std::numeric_limits<float>::quiet_NaN(), 33554432, -16843008, 1});
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(0,4261412864,256)\" stroke-width=\"0.846667\"");
}

TEST_F(Mesh2SvgDriverTest, StrokeWidthIsTheLineWidthOverTheWidthScale) {
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 0, 0}}, {0, 1});
    line->setWidth(0);
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(0,0,0)\" stroke-width=\"0\"");
    page->widthScale = 0.5f;
    line->setWidth(3);
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(0,0,0)\" stroke-width=\"6\"");

    line->setWidth(-2);
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(0,0,0)\" stroke-width=\"-4\"");
    page->widthScale = 0;
    EXPECT_EQ(strokeOf(*line), "stroke=\"rgb(0,0,0)\" stroke-width=\"-inf\"");
}

TEST_F(Mesh2SvgDriverTest, TitleAndDescriptionAreWrittenAsTheyAre) {
    page->title = "Plan";
    page->description = "Ground floor";
    page->pageWidth = 420;
    page->pageHeight = -5;
    ovPointer<ovNode> root = makeRoot(page.get());
    checkWrittenFiles = false;  // a page of negative height cannot be rendered
    EXPECT_EQ(
        save(root.get()).text,
        "<?xml version=\"1.0\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"420mm\" height=\"-5mm\" viewBox=\"0 0 420 -5\" >\n"
        "<title>Plan</title>\n<desc>Ground floor</desc>\n</svg>\n");
}

TEST_F(Mesh2SvgDriverTest, TitleWithALessThanSignIsNotEscaped) {
    page->title = "a<b & c";
    ovPointer<ovNode> root = makeRoot(page.get());
    checkWrittenFiles = false;
    const std::string text = save(root.get()).text;
    EXPECT_EQ(text, kA4Start + "<title>a<b & c</title>\n" + kEnd);
    if (toolInstalled("xmllint")) {
        TempDir folder;
        writeFile(folder.path() / "drawing.svg", text);
        EXPECT_NE(runCommand("xmllint --noout " + folder.file("drawing.svg")).status, 0);
    }
}

TEST_F(Mesh2SvgDriverTest, SceneWithoutLinesGivesTheBareDocument) {
    ovPointer<ovNode> inner(new ovNode);
    ovPointer<ovNode> root = makeRoot(page.get(), {inner.get()});
    EXPECT_EQ(groupsOf(save(root.get())), "");
}

TEST_F(Mesh2SvgDriverTest, DataThatWasNotResidentIsLoadedForTheSaveAndDroppedAgain) {
    ovPointer<ovLine> paged = makeLine({{2, 2, 0}, {3, 3, 0}}, {0, 1});
    makeNonResident(*paged, true);
    ovPointer<ovNode> root = makeRoot(page.get(), {paged.get()});
    const uint64_t loadsBefore = ovRendererInterface::loadCount();
    const uint64_t deletesBefore = ovRendererInterface::deleteCount();

    EXPECT_EQ(groupsOf(save(root.get())), blackGroup({"M2,295 L3,294"}));
    EXPECT_FALSE(paged->getVertexBuffer()->hasCPUData());
    EXPECT_FALSE(paged->getIndexBuffer()->hasCPUData());
    EXPECT_EQ(ovRendererInterface::loadCount() - loadsBefore,
              ovRendererInterface::deleteCount() - deletesBefore);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(Mesh2SvgDriverTest, LineWhoseDataCannotBeLoadedIsLeftOutWithTheLogLine) {
    ovPointer<ovLine> lost = makeLine({{5, 5, 0}, {6, 6, 0}}, {0, 1});
    makeNonResident(*lost, false);
    ovPointer<ovLine> kept = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {lost.get(), kept.get()});
    RecordingProgress progress;
    EXPECT_EQ(groupsOf(save(root.get(), &progress)), blackGroup({"M0,297 L1,296"}));
    EXPECT_EQ(progress.calls(), (std::vector<std::string>{"group 2 1", "step 1 1", "end"}));
    // Once in the counting walk, once in the writing walk.
    const std::string expected = "Svg driver failed to load line data. The output will likely be corrupt.";
    EXPECT_EQ(log.texts(ovLogError), (std::vector<std::string>{expected, expected}));
    EXPECT_FALSE(lost->getVertexBuffer()->hasCPUData());
}

TEST_F(Mesh2SvgDriverTest, LineWithAnIndexOutsideItsVerticesIsLeftOutWithAnError) {
    ovPointer<ovLine> broken = makeLine({{5, 5, 0}, {6, 6, 0}}, {0, 2});
    ovPointer<ovLine> kept = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {broken.get(), kept.get()});
    EXPECT_EQ(groupsOf(save(root.get())), blackGroup({"M0,297 L1,296"}));
    ASSERT_FALSE(log.texts(ovLogError).empty());
    for (const std::string& text : log.texts(ovLogError)) {
        EXPECT_EQ(text, "Svg driver found a line index outside its vertex buffer. The line is left out.");
    }
}

TEST_F(Mesh2SvgDriverTest, ProgressStepIsLeftOutWhenThereIsNothingToDraw) {
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1, 1, 0});
    RecordingProgress drawing;
    EXPECT_TRUE(save(makeRoot(page.get(), {line.get()}).get(), &drawing).saved);
    EXPECT_EQ(drawing.calls(), (std::vector<std::string>{"group 2 2", "step 2 1", "end"}));

    RecordingProgress empty;
    EXPECT_TRUE(save(makeRoot(page.get()).get(), &empty).saved);
    EXPECT_EQ(empty.calls(), (std::vector<std::string>{"group 2 0", "end"}));
}

TEST_F(Mesh2SvgDriverTest, CancellationSkipsTheRestButFinishesTheDocument) {
    ovPointer<ovLine> first = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovLine> second = makeLine({{2, 2, 0}, {3, 3, 0}}, {0, 1});
    ovPointer<ovNode> root = makeRoot(page.get(), {first.get(), second.get()});

    RecordingProgress lateCancel(6);  // the writing walk stops at the second line
    EXPECT_EQ(groupsOf(save(root.get(), &lateCancel)), blackGroup({"M0,297 L1,296"}));

    RecordingProgress earlyCancel(1);
    EXPECT_EQ(groupsOf(save(root.get(), &earlyCancel)), "");
    EXPECT_EQ(earlyCancel.calls(), (std::vector<std::string>{"group 2 0", "end"}));
}

TEST_F(Mesh2SvgDriverTest, RootsThatAreNotOneSpatialWithAPageWriteNothing) {
    ovPointer<ovNode> withPage = makeRoot(page.get());
    ovPointer<ovMaterialState> notSpatial(new ovMaterialState);
    const std::vector<ovObjectList> notOneSpatial = {
        {}, {ovPointer<ovObject>()}, {withPage, withPage}, listOf(notSpatial.get())};
    for (const ovObjectList& objects : notOneSpatial) {
        RecordingProgress progress;
        const SaveResult result = saveToMemory(driver, objects, &progress);
        EXPECT_FALSE(result.saved);
        EXPECT_EQ(result.text, "");
        EXPECT_TRUE(progress.calls().empty());
    }

    // The page is looked for after the counting walk has opened the progress.
    ovPointer<ovLine> line = makeLine({{0, 0, 0}, {1, 1, 0}}, {0, 1});
    ovPointer<ovNode> withoutPage = makeRoot(nullptr, {line.get()});
    ovPointer<ovNode> withForeignPage = makeRoot(nullptr);
    withForeignPage->setMetadata(new ovMetadataInterface(ovVectorialMetadata::MetadataTypeId));
    for (ovNode* root : {withoutPage.get(), withForeignPage.get()}) {
        RecordingProgress progress;
        const SaveResult result = saveToMemory(driver, listOf(root), &progress);
        EXPECT_FALSE(result.saved);
        EXPECT_EQ(result.text, "");
        EXPECT_EQ(progress.calls().back(), "end");
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(Mesh2SvgDriverTest, DeviceThatRefusesBytesIsReportedButTheSaveSucceeds) {
    ovPointer<ovNode> root = makeSampleDrawing();
    ovIoDeviceFaultInjector device(ovIoDeviceFaultInjector::kNoLimit, 10);
    EXPECT_TRUE(driver.saveMeshes(listOf(root.get()), device, "", nullptr, {}));
    EXPECT_EQ(
        log.texts(ovLogError),
        std::vector<std::string>{"Svg driver could not write the whole drawing: the device refused bytes."});
}

TEST_F(Mesh2SvgDriverTest, SavesByPathThroughAFile) {
    ovPointer<ovNode> root = makeSampleDrawing();
    TempDir folder;
    SaveMeshOptions options;
    options.lineBreaks = true;
    ASSERT_TRUE(driver.saveMeshes(listOf(root.get()), folder.file("drawing.svg"), nullptr, options));
    expectGolden(readFile(folder.path() / "drawing.svg"), "svg/sample.svg");
    EXPECT_FALSE(driver.saveMeshes(listOf(root.get()), folder.file("missing/drawing.svg"), nullptr, options));
}

}  // namespace
}  // namespace ov::test

// The STEP driver: whole files against goldens, the export frame, product
// structure and properties record by record, failures, and deep and wide
// trees. Every file a test saves through save() is read back by Open CASCADE
// into an XCAF document whose assembly must be the one the golden file
// step/readings/<test>.txt holds: per file, the root's name then one line per
// occurrence, indented by depth, "name -> product @" and the placement's 3x4
// matrix row by row.
#include <gtest/gtest.h>

#include <limits>

#include "StepTestSupport.h"
#include "scenegraph/ovMetadata.h"
#include "step/StepExport.h"
#include "step/StepMeshDriver.h"

namespace ov::step {
namespace {

using Strings = std::vector<std::string>;

// A driver on the bundled schema under a fixed clock and version.
class StepDriverTest : public ::testing::Test {
protected:
    void SetUp() override { SetSoftwareVersionForStream({"ovmesh-test", "1.0"}); }
    void TearDown() override {
        SetSoftwareVersionForStream(previousVersion);
#ifdef OV_OCCT_STEP_READER
        std::string assemblies;
        for (const std::string& file : written) {
            assemblies += occtReading("--assembly", file);
        }
        if (!written.empty()) {
            const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
            test::expectMatchesGolden("step/readings/" + test + ".txt", assemblies);
        }
#endif
    }

    std::string save(ovSpatial* root) {
        return written.emplace_back(test::saveToMemory(driver, {root}, true, nullptr, options));
    }

    test::FixedClock clock;
    const SoftwareVersionInfoForStream previousVersion = GetSoftwareVersionForStream();
    test::LogCapture log;
    StepMeshDriver driver{schemaPath()};
    SaveMeshOptions options = stepOptions("example.stp", "tester");
    std::vector<std::string> written;
};

// The worked example, and shared definitions with occurrences and references.
TEST_F(StepDriverTest, ScenesAreWrittenAsTheirGoldens) {
    const std::pair<const char*, ovPointer<ovNode>> cases[] = {
        {"step/driver_example.stp", exampleScene()}, {"step/driver_structure.stp", sharedDefinitionScene()}};
    for (const auto& [golden, scene] : cases) {
        test::expectMatchesGolden(golden, save(scene.get()));
    }
    EXPECT_TRUE(log.lines().empty());
}

constexpr const char* kUnitWarning = "Fail to deduce scene unit, file will be exported in meter";

// The first rule whose strict double comparison holds decides; 1.001 - 1.0 is
// just below 0.001 in double precision.
TEST_F(StepDriverTest, LengthUnitFollowsTheRootsWorldUnitsAtAndAroundEachThreshold) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* prefix;  // null: metres with the warning
        std::vector<std::optional<double>> metresPerUnit;
    } cases[] = {
        {"$", {std::nullopt, 1.0, 1.0005, 1.001}},
        {".DECI.", {0.1, 0.1001}},
        {".CENTI.", {0.01, 0.00999}},
        {".MILLI.", {0.001, 0.0010000005, 0.001001}},
        {nullptr, {0.999, 0.0999, 0.009989, 0.0010011, 0.0254, 0.0, -0.001, nan}},
    };
    for (const auto& [prefix, values] : cases) {
        for (const std::optional<double>& metresPerUnit : values) {
            const ovPointer<ovNode> root = namedNode("R");
            if (metresPerUnit) {
                root->setMetadata(new ovWorldUnitsMetaData(*metresPerUnit));
            }
            log.clear();
            const std::string file = test::saveToMemory(driver, {root.get()}, true, nullptr, options);
            SCOPED_TRACE(metresPerUnit.value_or(-1));
            EXPECT_NE(file.find("\n#11=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(" +
                                std::string(prefix ? prefix : "$") + ",.METRE.));\r\n"),
                      std::string::npos);
            EXPECT_EQ(log.texts(ovLogWarning), prefix ? Strings{} : Strings{kUnitWarning});
        }
    }
}

ovTriMesh* mesh() {
    return test::makeGeometry<ovTriMesh>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
}

// The captured log lines, each as its type and text: "5 text".
Strings typedLines(const test::LogCapture& log) {
    Strings lines;
    for (const ovLogLine& line : log.lines()) {
        lines.push_back(std::to_string(line.type) + " " + line.text);
    }
    return lines;
}

const std::string kTreeFailure = "Fail to save spatial tree in step ovNode";

// Each failure answers false with its log lines, and the file stops where it
// failed: no record past it, no closing lines.
TEST_F(StepDriverTest, FailuresStopTheFileWhereTheyHappenWithTheirLogLines) {
    const auto warning = [](const std::string& text) { return "4 " + text; };
    const auto error = [](const std::string& text) { return "5 " + text; };
    const std::string badUtf8 = error("Utf8ToPart21Encoding, exception Invalid UTF-8");
    ovPointer<ovInstanceDefId> badProperty(new ovInstanceDefId);
    badProperty->editComponentMd().insert("note", "\xC3(");
    ovPointer<ovInstanceDefId> badListProperty(new ovInstanceDefId);
    ovVariantListImpl badList;
    badList.push_back(1);
    badList.push_back("\xC3(");
    badListProperty->editComponentMd().insert("note", ovVariant(badList));
    ovPointer<ovInstanceDefId> loop(new ovInstanceDefId);
    const struct {
        ovPointer<ovNode> scene;
        const char* lastRecord;  // how the file ends
        Strings logged;          // type and text
    } cases[] = {
        // A mesh or a line fails its parent, and so the save.
        {namedNode("R", {namedNode("A").get(), mesh()}),
         "#37=CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(#36,#35);\r\n",
         {warning("Step driver : Unsupported spatial ovTriMesh"), error(kTreeFailure)}},
        // Invalid UTF-8 in a name fails its record; the next node's walk notices.
        {namedNode("R", {namedNode("\xFF").get(), namedNode("B").get()}),
         "#28=PRODUCT('",
         {badUtf8, error(kTreeFailure)}},
        // With no node after it, the categories and the closing lines are refused.
        {namedNode("R", {externalReference("X", "x\xFF.stl").get()}), "#33=DOCUMENT_FILE('", {badUtf8}},
        // A property the writer refuses fails its node.
        {namedNode("R", {instanceOf(namedNode("P").get(), badProperty.get())}),
         "#33=DESCRIPTIVE_REPRESENTATION_ITEM('note','",
         {badUtf8, error(kTreeFailure)}},
        // So does an item of a list property.
        {namedNode("R", {instanceOf(namedNode("P").get(), badListProperty.get())}),
         "#34=DESCRIPTIVE_REPRESENTATION_ITEM('note','",
         {badUtf8, error(kTreeFailure)}},
        // A definition met again inside itself is named.
        {namedNode("R", {instanceOf(namedNode("A", {instanceOf(namedNode("B").get(), loop.get())}).get(),
                                    loop.get())}),
         "#31=PRODUCT_DEFINITION_SHAPE('A',$,#30);\r\n",
         {error("Step driver : the definition of 'B' contains itself"), error(kTreeFailure)}},
    };
    for (const auto& [scene, lastRecord, logged] : cases) {
        log.clear();
        const std::string file = test::saveToMemory(driver, {scene.get()}, false, nullptr, options);
        EXPECT_TRUE(file.ends_with(lastRecord))
            << file.substr(file.size() - std::min<size_t>(file.size(), 300));
        EXPECT_EQ(typedLines(log), logged);
    }
}

// The shared fault sweep checks the file at every offset and question; here
// what the log says of each stage: the header, a node's walk (until the last
// node, C, starts; or cancelled), nothing (then the refused categories and
// closing lines fail the save), the footer.
TEST_F(StepDriverTest, AFailureInEachStageLogsWhatFailed) {
    const ovPointer<ovNode> scene = exampleScene();
    const std::string full = test::saveToMemory(driver, {scene.get()}, true, nullptr, options);
    const std::pair<size_t, Strings> stages[] = {{0, {"Fail to write header"}},
                                                 {full.find("#28="), {kTreeFailure}},
                                                 {full.find("#43=") + 1, {}},
                                                 {full.find("ENDSEC;\r\nEND") + 1, {"Fail to write footer"}}};
    for (const auto& [limit, expected] : stages) {
        log.clear();
        ovIoDeviceFaultInjector device(static_cast<int64_t>(limit), ovIoDeviceFaultInjector::kNoLimit);
        EXPECT_FALSE(driver.saveMeshes({scene.get()}, device, "", nullptr, options)) << limit;
        EXPECT_EQ(log.texts(ovLogError), expected) << limit;
    }
    log.clear();
    test::RecordingProgress cancel(2);
    test::saveToMemory(driver, {scene.get()}, false, &cancel, options);
    EXPECT_EQ(log.texts(ovLogError), Strings{kTreeFailure});
}

// A root R in world units (none when 0) with one child C, translated by x and scaled.
ovPointer<ovNode> placedChild(double metresPerUnit, Wm4::Vector3f scale = {1, 1, 1}, float x = 10) {
    ovPointer<ovNode> child = translated(namedNode("C"), {x, 0, 0});
    child->editLocalTransform(true).SetScale(scale);
    ovPointer<ovNode> root = namedNode("R", {child.get()});
    if (metresPerUnit != 0) {
        root->setMetadata(new ovWorldUnitsMetaData(metresPerUnit));
    }
    return root;
}

// The interop profile rule by rule: what the file holds ("-" first: must not
// hold) and the log lines (type and text; an error fails the save). Every file
// it writes checks clean, and Open CASCADE reads it as it stands, in its unit,
// failing on no record.
TEST_F(StepDriverTest, InteropFilesFollowEachRuleAndCheckClean) {
    options.drivers.set(StepSaveSettings(StepProfile::Interop, StepGeometry::None));
    options.author = "DOMAIN\\it's \xC3\xA9";
    ovPointer<ovInstanceDefId> values(new ovInstanceDefId);
    for (const auto& [key, value] :
         std::initializer_list<std::pair<const char*, ovVariant>>{{"bought", true},
                                                                  {"big", 1e20},
                                                                  {"tenth", 0.1},
                                                                  {"none", ovVariant(ovVariantListImpl())},
                                                                  {"released", ovDateTime{1767225600000}},
                                                                  {"blank", ovVariant()},
                                                                  {"productId", "P-7"},
                                                                  {"revision", "B"}}) {
        values->editComponentMd().insert(key, value);
    }
    const ovPointer<ovNode> inches = placedChild(0.0254, {1, 1, 1}, 0.1f);
    inches->getChild(0)->setMetadata(new ovInstanceMetaData(values.get()));
    inches->getChild(0)->findMetadata<ovInstanceMetaData>()->editMd().insert("lot", 2);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        ovPointer<ovNode> scene;
        Strings inFile;
        Strings logged;
        std::string reading = "";
    } cases[] = {
        {exampleScene(),
         {"FILE_NAME('example.stp','2026-06-15T12:34:56',('DOMAIN\\\\it''s \\X2\\00E9\\X0\\'),",
          "FILE_SCHEMA(('AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF { 1 0 10303 442 1 1 4 }'));",
          "=DOCUMENT_FILE('c.stp','',$,#", "GLOBAL_UNCERTAINTY_ASSIGNED_CONTEXT((#",
          "=APPLIED_ORGANIZATION_ASSIGNMENT(#5,#6,(#", "CARTESIAN_POINT('',(10.,0.,0.))", "-('assembly'"},
         {}},
        {inches,
         {"=(CONVERSION_BASED_UNIT('INCH',#", "(LENGTH_MEASURE(25.4),#", "(0.10000000149011612,0.,0.)",
          "=DESCRIPTIVE_REPRESENTATION_ITEM('bought','true')", "('big',COUNT_MEASURE(1.E+20))",
          "=VALUE_REPRESENTATION_ITEM('tenth',COUNT_MEASURE(0.1))", "-PROPERTY_DEFINITION('none'",
          "INTEGER_REPRESENTATION_ITEM('lot',2)", "('released','2026-01-01T00:00:00Z')", "('blank','')",
          "=PRODUCT('P-7','C',", "=PRODUCT_DEFINITION_FORMATION('B',", "=PRODUCT('R','R',"},
         {},
         " 1.000000 0.100000 0.000000 0.000000\n"},
        {placedChild(0.005), {"SI_UNIT(.MILLI.,.METRE.)", "(50.,0.,0.)"}, {}},
        // Two occurrences of one part under one name: ids of their own, and
        // the identity placement once in the parent's set of items.
        {namedNode("R", {instanceOf(namedNode("bolt").get(), values.get()),
                         instanceOf(namedNode("bolt").get(), values.get())}),
         {"=NEXT_ASSEMBLY_USAGE_OCCURRENCE('bolt','bolt',",
          "=NEXT_ASSEMBLY_USAGE_OCCURRENCE('bolt_1','bolt',", "=SHAPE_REPRESENTATION('R',(#18),"},
         {}},
        // A mirror is left to the geometry: the placement keeps the shift.
        {placedChild(0.001, {-1, 1, 1}),
         {"CARTESIAN_POINT('',(10.,0.,0.))"},
         {},
         " 1.000000 10.000000 0.000000 0.000000\n"},
        {placedChild(0.001, {1, 1, 1}, nan),
         {},
         {"5 A real is not a finite number and has no exchange-file form",
          "5 Step driver : fail to write node 'C'"}},
        {placedChild(nan), {}, {"5 Step driver : the world units of 'R' are not a finite number"}},
    };
    for (const auto& [scene, inFile, logged, reading] : cases) {
        SCOPED_TRACE(testing::PrintToString(inFile) + testing::PrintToString(logged));
        log.clear();
        const bool saves =
            std::none_of(logged.begin(), logged.end(), [](auto& line) { return line[0] == '5'; });
        const std::string file = test::saveToMemory(driver, {scene.get()}, saves, nullptr, options);
        for (const std::string& text : inFile) {
            EXPECT_EQ(file.find(text.substr(text[0] == '-')) == std::string::npos, text[0] == '-') << text;
        }
        EXPECT_EQ(typedLines(log), logged);
        if (!saves) {
            continue;
        }
        expectChecksClean(file);
#ifdef OV_OCCT_STEP_READER
        const std::string read = occtReading("--native --assembly", file);
        EXPECT_TRUE(read.starts_with(scene->GetName() + "\n") && read.find(reading) != std::string::npos)
            << read;
        EXPECT_EQ(occtReading("--native --failures", file), "0 failures\n");
#endif
    }
}

TEST_F(StepDriverTest, DriverAnswersAsItsSlotsSayAndSavesToAPathOrADevice) {
    SaveMeshOptions flagged = options;
    flagged.optionFlag = true;
    EXPECT_EQ((std::vector{driver.canSave("a.STEP", options), driver.canSave("a.stl", options),
                           driver.canSave("a.stp", flagged)}),
              (std::vector{RequestAccepted, RequestRejected, RequestRejected}));

    const ovPointer<ovNode> scene = namedNode("R");
    // A spatial that is not a node gives the frame and empty categories.
    const ovPointer<ovTriMesh> alone(mesh());
    const std::string file = test::saveToMemory(driver, {alone.get()}, true, nullptr, options);
    EXPECT_NE(
        file.find("#22=OBJECT_ROLE('mandatory',$);\r\n#23=PRODUCT_RELATED_PRODUCT_CATEGORY('part',$,());"),
        std::string::npos);
    EXPECT_EQ(log.texts(ovLogWarning), Strings{"Step driver : Unsupported spatial ovTriMesh"});

    // The path form records the file's base name (the device form the options' one, as in the goldens).
    test::TempDir dir;
    ASSERT_TRUE(driver.saveMeshes({scene.get()}, dir.file("part.one.stp"), nullptr, options));
    EXPECT_NE(test::readFile(dir.file("part.one.stp")).find("FILE_NAME('part.one',"), std::string::npos);
    EXPECT_FALSE(driver.saveMeshes({scene.get()}, dir.file("missing/x.stp"), nullptr, options));

    // Without a schema nothing is saved, and no file is made.
    StepMeshDriver withoutSchema(dir.file("missing.exp"));
    EXPECT_FALSE(withoutSchema.isSchemaValid());
    EXPECT_FALSE(withoutSchema.saveMeshes({scene.get()}, dir.file("none.stp"), nullptr, options));
    EXPECT_EQ(test::saveToMemory(withoutSchema, {scene.get()}, false), "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.stp")));
    EXPECT_EQ(log.texts(ovLogError),
              Strings{"Step driver : cannot open '" + dir.file("missing/x.stp") + "' for writing"});
}

// The walk keeps its state on the heap: neither depth nor breadth reaches the
// call stack (the sanitizer build runs this with the default stack). Each node
// but the root is one occurrence in its parent.
TEST_F(StepDriverTest, DeepChainsAndWideNodesSave) {
    constexpr int kSize = 100000;
    for (const int depth : {3, kSize}) {
        const ovPointer<ovNode> root = namedNode("c");
        ovNode* last = root.get();
        for (int level = 1; level < depth; ++level) {
            last = static_cast<ovNode*>(last->getChild(last->attachChild(namedNode("c").get())));
        }
        const std::string file = test::saveToMemory(driver, {root.get()}, true, nullptr, options);
        if (depth < kSize) {
            test::expectMatchesGolden("step/driver_chain.stp", file);
        }
    }
    const ovPointer<ovNode> wide = namedNode("w");
    for (int i = 0; i < kSize; ++i) {
        wide->attachChild(namedNode("").get());
    }
    const std::string fan = test::saveToMemory(driver, {wide.get()}, true, nullptr, options);
    EXPECT_NE(fan.find("NEXT_ASSEMBLY_USAGE_OCCURRENCE('NAUO_99999','NAUO_99999',"), std::string::npos);
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace ov::step

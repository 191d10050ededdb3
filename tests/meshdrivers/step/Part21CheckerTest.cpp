// The exchange-file checker: what the driver writes in its exact profile
// shows exactly that profile's known breaks, and each kind of finding is
// reported at its line on small hand-written files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <regex>

#include "StepTestSupport.h"
#include "step/Part21Checker.h"

namespace ov::step {
namespace {

// The breaks of the exact profile: empty SET [1:?] lists (the organization
// assignment, the 'assembly' category, an empty-list property), REALs written
// as integers and BOOLEANs as 1/0.
const std::regex kKnownBreaks[] = {
    std::regex(R"(^#\d+ SHAPE_REPRESENTATION\.items: '#\d+' more than once in a SET)"),
    std::regex(R"(APPLIED_ORGANIZATION_ASSIGNMENT\.items: 0 elements where SET \[1:\?\])"),
    std::regex(R"(PRODUCT_RELATED_PRODUCT_CATEGORY\.products: 0 elements where SET \[1:\?\])"),
    std::regex(R"(^#\d+ REPRESENTATION\.items: 0 elements where SET \[1:\?\])"),
    std::regex(R"(: -?\d+ is not a value of \w+: a REAL needs a decimal point)"),
    std::regex(R"(BOOLEAN_REPRESENTATION_ITEM\.the_value: [01] is not a value of BOOLEAN$)"),
};

Part21CheckReport check(const std::string& schema, const std::string& text) {
    Part21Checker checker;
    std::string error;
    EXPECT_TRUE(checker.loadSchema(schema, error)) << error;
    return checker.checkText(text);
}

// Every finding is a known break; answers how often each was met.
std::vector<int> knownBreaks(const Part21CheckReport& report) {
    std::vector<int> met(std::size(kKnownBreaks));
    for (const Part21Finding& finding : report.findings) {
        const auto known = std::find_if(
            std::begin(kKnownBreaks), std::end(kKnownBreaks),
            [&](const std::regex& pattern) { return std::regex_search(finding.message, pattern); });
        EXPECT_NE(known, std::end(kKnownBreaks)) << finding.line << ": " << finding.message;
        if (known != std::end(kKnownBreaks)) {
            ++met[static_cast<size_t>(known - std::begin(kKnownBreaks))];
        }
    }
    return met;
}

// A part with a property of every kind the driver writes: lists give an item
// each, other values one, and dates are cut to whole seconds toward zero and
// held to the years 1 to 9999.
ovPointer<ovNode> sceneWithProperties() {
    ovPointer<ovInstanceDefId> part(new ovInstanceDefId);
    ovVariantMapImpl& values = part->editComponentMd();
    const double xyz[] = {1, 2.5, -3};
    ovVariantListImpl numbers, mixed;
    for (const ovVariant& value : {ovVariant(3), ovVariant(1), ovVariant(2)}) {
        numbers.push_back(value);
    }
    for (const ovVariant& value : {ovVariant(numbers), ovVariant(ovDateTime{-1001}), ovVariant(true)}) {
        mixed.push_back(value);
    }
    for (const auto& [key, value] : std::initializer_list<std::pair<const char*, ovVariant>>{
             {"count", 7},
             {"mass", 2.5},
             {"whole", 3.0},
             {"bought", true},
             {"made", false},
             {"note", "it's"},
             {"point", ovVariant(xyz, 3)},
             {"unset", ovVariant()},
             {"none", ovVariant(ovVariantListImpl())},
             {"numbers", ovVariant(numbers)},
             {"mixed", ovVariant(mixed)},
             {"released", ovDateTime{1767225600000}},
             {"epoch", ovDateTime{-1}},
             {"renewal", ovDateTime{4102444800123}},  // 2100-01-01T00:00:00.123Z, past 32-bit seconds
             {"first", ovDateTime{std::numeric_limits<int64_t>::min()}}}) {
        values.insert(key, value);
    }
    return namedNode("A", {instanceOf(namedNode("P").get(), part.get()), namedNode("B").get()});
}

TEST(Part21CheckerTest, FilesTheDriverWritesShowOnlyTheExactProfilesKnownBreaks) {
    test::LogCapture log;
    StepMeshDriver driver{schemaPath()};
    const std::string saved = test::saveToMemory(driver, {sceneWithProperties().get()}, true, nullptr,
                                                 stepOptions("p.stp", "tester"));
    // From the data section on: the header carries the clock and the version.
    test::expectMatchesGolden("step/driver_properties_data.stp", saved.substr(saved.find("DATA;")));
    std::vector<std::string> schemas{schemaPath()};
    const std::filesystem::path full = test::sharedDataDir() / "step/ap242_1_36_mim_lf.exp";
    if (std::filesystem::exists(full)) {
        schemas.push_back(full.string());
    }
    for (const std::string& schema : schemas) {
        SCOPED_TRACE(schema);
        for (const char* golden : {"step/driver_example.stp", "step/driver_structure.stp"}) {
            SCOPED_TRACE(golden);
            knownBreaks(check(schema, test::readFile(test::testDataDir() / golden)));
        }
        const Part21CheckReport report = check(schema, saved);
        EXPECT_EQ(report.warnings, 0u);
        for (const int met : knownBreaks(report)) {
            EXPECT_GT(met, 0);
        }
    }
}

#ifdef OV_OCCT_STEP_WRITER
// What a peer writes (B-rep solids, names, colours, an assembly) checks clean
// against the full schema.
TEST(Part21CheckerTest, AFileOpenCascadeWritesChecksClean) {
    OV_SHARED_DATA_OR_SKIP(full, "step/ap242_1_36_mim_lf.exp");
    test::TempDir folder;
    ASSERT_EQ(std::system(("\"" OV_OCCT_STEP_WRITER "\" " + folder.file("peer.stp") + " >/dev/null").c_str()),
              0);
    const Part21CheckReport report = check(full.string(), test::readFile(folder.file("peer.stp")));
    EXPECT_GT(report.instances, 300u);
    for (const Part21Finding& finding : report.findings) {
        ADD_FAILURE() << finding.line << ": " << finding.message;
    }
}
#endif

// A small schema with a type or entity for each kind of finding.
const std::string kSchemaPath = (test::testDataDir() / "step" / "checker_kinds.exp").string();

constexpr const char* kHeader =
    "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
    "FILE_NAME('','',(''),(''),'','','');\nFILE_SCHEMA(('T'));\nENDSEC;\nDATA;\n";
constexpr uint64_t kHeaderLines = 7;
constexpr const char* kFooter = "ENDSEC;\nEND-ISO-10303-21;\n";

struct Expected {
    uint64_t line;  // of the data section, from 1
    const char* message;
};

TEST(Part21CheckerTest, EachKindOfFindingIsReportedAtItsLine) {
    const struct {
        const char* data;
        std::vector<Expected> findings;
    } cases[] = {
        {"#1=LINE(#2,$);\n#2=STYLED('p',(1.,2.E3,-3.),.GREEN.,.T.,.U.);\n"
         "#3=HOLDER((#1,#2,LABEL('x'),MEASURE(1.)),($,()));\n#4=(BASE(*)DERIVED_X());\n"
         "#5=(BASE(1.)OTHER(2));\n#6=DERIVED_X(*);\n/* remark */ #7=POINT('it''s \\X2\\00E9\\X0\\',(0.));\n",
         {}},
        {"#1=POINT('a',(1.));\n#2=SPOT(#1);\n#3=SPOT(#1);\n#4=HOLDER((#1,#3,#1,LABEL('x'),LABEL('y'),LABEL('"
         "y')),($,$));\n",
         {{2, "#2: a geometric item that nothing refers to"},
          {4, "#4 HOLDER.items: '#1' more than once in a SET"},
          {4, "#4 HOLDER.items: 'LABEL('y')' more than once in a SET"}}},
        {"#1=NOPE();\n#2=POINT('a');\n",
         {{1, "#1: unknown entity NOPE"}, {2, "#2 POINT: 1 parameters, the schema has 2 (name, xyz)"}}},
        {"#1=POINT('a',(1.,2,3));\n#2=POINT('b',());\n#3=POINT($,(1.,2.,3.,4.));\n",
         {{1,
           "#1 POINT.xyz: 2 is not a value of MEASURE: a REAL needs a decimal point (1 more such value in"},
          {2, "#2 POINT.xyz: 0 elements where LIST [1:3] OF MEASURE is declared"},
          {3, "#3 POINT.name: '$' for a mandatory attribute"},
          {3, "#3 POINT.xyz: 4 elements where LIST [1:3] OF MEASURE is declared"}}},
        {"#1=STYLED('p',(1.),.BLUE.,1,.U.);\n#2=STYLED('p',(1.),.RED.,.U.,.X.);\n",
         {{1, "#1 STYLED.c: .BLUE. is not a value of COLOUR"},
          {1, "#1 STYLED.flag: 1 is not a value of BOOLEAN"},
          {2, "#2 STYLED.flag: .U. is not a value of BOOLEAN"},
          {2, "#2 STYLED.known: .X. is not a value of LOGICAL"}}},
        {"#1=BASE(#1);\n#2=AMOUNT(#1);\n",
         {{1, "#1 BASE.x: #1 is not a value of MEASURE"}, {2, "#2 AMOUNT.n: #1 is not a value of NUMBER"}}},
        {"#1=LINE(#2,#3);\n#2=HOLDER((#3),($,$));\n#3=BASE(1.);\n#4=LINE(#9,$);\n",
         {{1, "#1 LINE.a: #2 is not a value of POINT"},
          {1, "#1 LINE.b: #3 is not a value of POINT"},
          {2, "#2 HOLDER.items: #3 is not a value of ITEM_SELECT"},
          {4, "#4 LINE.a: #9 is not defined"}}},
        {"#1=HOLDER((COUNT_VALUE(1),'x',(1.)),((1,$)));\n",
         {{1, "#1 HOLDER.items: COUNT_VALUE(...) is not a value of ITEM_SELECT: not one of its types"},
          {1,
           "#1 HOLDER.items: 'x' is not a value of ITEM_SELECT: a value of a SELECT that is not an instance"},
          {1, "#1 HOLDER.items: a list is not a value of ITEM_SELECT"},
          {1, "#1 HOLDER.grid: 1 element where ARRAY [1:2] OF LIST [0:?] OF INTEGER is declared"},
          {1, "#1 HOLDER.grid: '$' where a value is required"}}},
        {"#1=DERIVED_X(1.);\n#2=BASE(*);\n#3=(OTHER(1)BASE(1.));\n#4=(OTHER(1));\n#5=(BASE(*)BASE(*));\n",
         {{1, "#1 DERIVED_X.x: a subtype derives this attribute: expected '*'"},
          {2, "#2 BASE.x: '*' for an attribute that is not derived"},
          {3, "#3: partial value BASE comes after OTHER: complex instances list them alphabetically"},
          {4, "#4: the complex instance lacks the partial value BASE of a supertype"},
          {5, "#5: partial value BASE appears twice"}}},
        // A rule counts its entity's subtypes too, complex instances among them; a
        // tuple with an unset value takes no part; references compare by number.
        {"#1=POINT('a',(1.));\n#2=TAGGED('t',#1);\n#3=TAGGED('t',#1);\n#4=TAGGED('t',$);\n#5=TAGGED('t',$);\n"
         "#6=(BASE(2.)TAGGED('t',#01)TAGGED_TWICE());\n#7=TAGGED_TWICE('u',#1,2.);\n#8=TAGGED('T',#1);\n",
         {{3, "#3: UNIQUE rule TAGGED.UR1 broken: the same tag, owner as #2"},
          {6, "#6: UNIQUE rule TAGGED.UR1 broken: the same tag, owner as #2"},
          {7, "#7: UNIQUE rule TAGGED_TWICE.UR2 broken: the same x as #6"}}},
        {"#1=BASE(1.);\n#1=BASE(2.);\n#2=POINT('a\\b',(1.));\n#3=POINT('\x01',(1.));\n#4=POINT('\xC3\xA9',(1."
         "));\n",
         {{2, "#1 is defined twice"},
          {3, "#2: string 'a\\b': a reverse solidus that starts no control directive"},
          {4, "#3: string '\x01': a control character"},
          {5, "#4: string '\xC3\xA9': bytes outside the basic alphabet"}}},
        {"#1=POINT('a',(1.);\n#2=POINT('a',(nan));\n#3=BASE(1.) #4=BASE(2.);\n#5=BASE(1.);\n",
         {{1, "expected ',' or ')' but found ';'"},
          {2, "expected '(' after a type name but found ')'"},
          {3, "expected ';' but found '#4'"}}},
    };
    for (const auto& [data, findings] : cases) {
        SCOPED_TRACE(data);
        const Part21CheckReport report = check(kSchemaPath, std::string(kHeader) + data + kFooter);
        ASSERT_EQ(report.findings.size(), findings.size());
        for (size_t i = 0; i < findings.size(); ++i) {
            EXPECT_EQ(report.findings[i].line, kHeaderLines + findings[i].line);
            EXPECT_EQ(report.findings[i].message.substr(0, std::string(findings[i].message).size()),
                      findings[i].message);
        }
    }
}

// A partial schema counts what it lacks in another system's file instead of
// calling it an error; the library's own files get no such allowance.
TEST(Part21CheckerTest, APartialSchemaCountsWhatItLacksInForeignFiles) {
    Part21Checker checker;
    std::string error;
    ASSERT_TRUE(checker.loadSchema(kSchemaPath, error)) << error;
    const std::string foreign = std::string(kHeader) +
                                "#1=NOPE();\n#2=HOLDER((UNHEARD(1),COUNT_VALUE(1)),($,$));\n#3=NOPE();\n" +
                                kFooter;
    const Part21CheckReport lenient = checker.checkText(foreign, {100, true});
    EXPECT_EQ(lenient.undeclared, 3u);
    EXPECT_EQ(lenient.undeclaredEntities, (std::vector<std::string>{"NOPE", "UNHEARD"}));
    EXPECT_EQ(lenient.errors, 1u);                     // COUNT_VALUE is declared, and no member of the SELECT
    EXPECT_EQ(checker.checkText(foreign).errors, 3u);  // both typed values make one finding
    const std::string own = std::regex_replace(foreign, std::regex("''\\),''"), "''),'Part21 Writer'");
    EXPECT_EQ(checker.checkText(own, {100, true}).errors, 3u);
}

// The UNIQUE messages of a check, each at its line.
std::vector<std::string> uniqueFindings(const Part21CheckReport& report) {
    std::vector<std::string> found;
    for (const Part21Finding& finding : report.findings) {
        if (finding.message.find("UNIQUE") != std::string::npos) {
            found.push_back(std::to_string(finding.line) + ": " + finding.message);
        }
    }
    return found;
}

// The rules of the newer long form that bear on what the driver writes: the
// occurrences (each relating-related pair once per id, each reference
// designator once per assembly), one formation per id and product, one shape
// per definition. Two occurrences of one part under one name in one parent
// break the first in the exact profile; the interop profile gives them ids of
// their own.
TEST(Part21CheckerTest, UniqueRulesOfTheLongForm) {
    OV_SHARED_DATA_OR_SKIP(newer, "step/extra/ap242_1_51_n8593_mim_lf.exp");
    const std::string data =
        "#1=PRODUCT('p','p',$,(#2));\n#2=PRODUCT_CONTEXT('',#3,'mechanical');\n#3=APPLICATION_CONTEXT('');\n"
        "#4=PRODUCT_DEFINITION_FORMATION('1',$,#1);\n#5=PRODUCT_DEFINITION_FORMATION('1','',#1);\n"
        "#6=PRODUCT_DEFINITION_CONTEXT('',#3,'design');\n#7=PRODUCT_DEFINITION('a',$,#4,#6);\n"
        "#8=PRODUCT_DEFINITION('b',$,#4,#6);\n#9=NEXT_ASSEMBLY_USAGE_OCCURRENCE('1','x',$,#7,#8,$);\n"
        "#10=NEXT_ASSEMBLY_USAGE_OCCURRENCE('1','y',$,#7,#8,$);\n"
        "#11=NEXT_ASSEMBLY_USAGE_OCCURRENCE('2','x',$,#7,#8,'r');\n"
        "#12=NEXT_ASSEMBLY_USAGE_OCCURRENCE('3','x',$,#7,#8,'r');\n"
        "#13=NEXT_ASSEMBLY_USAGE_OCCURRENCE('4','x',$,#7,#8,'R');\n#14=PRODUCT_DEFINITION_SHAPE('',$,#7);\n"
        "#15=PRODUCT_DEFINITION_SHAPE('s',$,#7);\n#16=PRODUCT_DEFINITION_SHAPE('',$,#9);\n";
    EXPECT_EQ(
        uniqueFindings(check(newer.string(), std::string(kHeader) + data + kFooter)),
        (std::vector<std::string>{
            "12: #5: UNIQUE rule PRODUCT_DEFINITION_FORMATION.UR1 broken: the same id, of_product as #4",
            "17: #10: UNIQUE rule PRODUCT_DEFINITION_USAGE.UR1 broken: the same id, "
            "relating_product_definition, "
            "related_product_definition as #9",
            "19: #12: UNIQUE rule NEXT_ASSEMBLY_USAGE_OCCURRENCE.UR1 broken: the same reference_designator, "
            "relating_product_definition as #11",
            "22: #15: UNIQUE rule PRODUCT_DEFINITION_SHAPE.UR1 broken: the same definition as #14"}));

    ovPointer<ovInstanceDefId> bolt(new ovInstanceDefId);
    const ovPointer<ovNode> twins = namedNode("A", {instanceOf(namedNode("bolt").get(), bolt.get()),
                                                    instanceOf(namedNode("bolt").get(), bolt.get())});
    for (const StepProfile profile : {StepProfile::Exact, StepProfile::Interop}) {
        StepMeshDriver driver{schemaPath()};
        const std::string saved = test::saveToMemory(driver, {twins.get()}, true, nullptr,
                                                     stepOptions("t.stp", "", {profile, StepGeometry::None}));
        const std::vector<std::string> found = uniqueFindings(check(newer.string(), saved));
        EXPECT_EQ(found.size(), profile == StepProfile::Exact ? 1u : 0u) << ::testing::PrintToString(found);
    }
}

// Broken frames and deep nesting end in a finding with a line, never a crash.
TEST(Part21CheckerTest, MalformedFilesGiveAFindingAtTheirLine) {
    const std::string deep = std::string(kHeader) + "#1=HOLDER(" + std::string(200000, '(') + ");\n";
    const std::pair<std::string, Expected> cases[] = {
        {"", {1, "the file ends before END-ISO-10303-21;"}},
        {"HEADER;\n", {1, "the file does not start with ISO-10303-21;"}},
        {"ISO-10303-21;\nHEADER;\nFILE_NAME('','',('DOMAIN\\user'),(''),'','','');\nENDSEC;\nEND-ISO-10303-"
         "21;\n",
         {3,
          "FILE_NAME: string 'DOMAIN\\user': a reverse solidus that starts no control directive (write \\\\ "
          "for one)"}},
        {std::string(kHeader) + "#1=POINT('a,(1.));\n", {8, "string not closed"}},
        {std::string(kHeader) + "/* open\n", {8, "comment not closed"}},
        {std::string(kHeader) + kFooter + "#1=BASE(1.);\n", {10, "text after END-ISO-10303-21;"}},
        {deep, {8, "expected ',' or ')' but found ';'"}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.substr(0, 80));
        const Part21CheckReport report = check(kSchemaPath, text);
        ASSERT_FALSE(report.findings.empty());
        EXPECT_EQ(report.findings.front().line, expected.line);
        EXPECT_EQ(report.findings.front().message, expected.message);
    }
}

}  // namespace
}  // namespace ov::step

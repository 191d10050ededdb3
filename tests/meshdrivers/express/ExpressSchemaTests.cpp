// Schema loading and instance layouts: small texts for the rules and the
// failures, the full AP242 long form and the bundled trimmed one against it.
#include <gtest/gtest.h>

#include <string_view>

#include "express/ExpressSchema.h"
#include "support/TestSupport.h"

namespace ov::express::test {
namespace {

using Names = std::list<std::string>;
using Lines = std::vector<std::string>;
using Layout = std::map<std::string, Lines>;

// "entity.name" and the flags set, so that a failing comparison shows the whole layout.
Lines describe(const std::vector<Attribute>& attributes) {
    Lines lines;
    for (const Attribute& a : attributes) {
        lines.push_back(a.entity + "." + a.name + (a.redeclared ? " redeclares " + a.supertype : "") +
                        (a.optional ? " optional" : "") + (a.derived ? " derived" : "") +
                        (a.derivedInSubtype ? " derivedInSubtype" : "") +
                        (a.superseded ? " superseded" : ""));
    }
    return lines;
}

Layout layoutOf(const ExpressSchema& schema, const Names& names) {
    std::map<std::string, std::vector<Attribute>> result;
    EXPECT_TRUE(schema.getAttributeList(names, result)) << ::testing::PrintToString(names);
    Layout layout;
    for (const auto& [key, attributes] : result) {
        layout[key] = describe(attributes);
    }
    return layout;
}

// The pattern once for each number, '#' standing for the number and '@' for the one before.
std::string numbered(const std::string& pattern, int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) {
        const std::string number = std::to_string(i), previous = std::to_string(i - 1);
        for (const char& c : pattern) {
            text += c == '#' ? std::string_view(number) : c == '@' ? previous : std::string_view(&c, 1);
        }
    }
    return text;
}

class SchemaText : public ::testing::Test {
protected:
    // Under a non-ASCII name: paths are UTF-8.
    bool load(const std::string& text) {
        ov::test::writeFile(pathOfUtf8(mPath), text);
        return mSchema.loadSchema(mPath);
    }
    // Error texts as they are, warnings marked.
    Lines log() const {
        Lines lines;
        for (const ovLogLine& line : mLog.lines()) {
            lines.push_back((line.type == ovLogWarning ? "warning: " : "") + line.text);
        }
        return lines;
    }
    ov::test::TempDir mFolder;
    const std::string mPath = mFolder.file("sch\xC3\xA9ma \xE2\x82\xAC.exp");
    ov::test::LogCapture mLog;
    ExpressSchema mSchema;
};

// Comments end at their first closing mark, "--" remarks stay. Keywords are
// capitals only: a lower-case one reads as part of an attribute name. Searches
// restart one character after a declaration's start, so nested ones are found;
// keywords after the last declaration, however many, take part in no match.
TEST_F(SchemaText, DeclarationsAsParsed) {
    ASSERT_TRUE(load("ENTITY stale; END_ENTITY;"));
    ASSERT_TRUE(load(ov::test::readFile(ov::test::testDataDir() / "express" / "declarations.exp") +
                     numbered("ENTITY b ", 1, 1 << 17) + "; x : REAL;"));
    Layout parsed;
    for (const auto& [name, entity] : mSchema.entities) {
        parsed[name] = describe(entity.attributes);  // after the supertypes, which have no full stop
        parsed[name].insert(parsed[name].begin(), entity.supertypes.begin(), entity.supertypes.end());
    }
    const Layout expected = {{"Mixed", {}},
                             {"a", {"a.x optional", "a.p, q optional", "a.-- z"}},
                             {"b", {"a", "Mixed", "b.where wr1"}},
                             {"c", {"a", "c.y redeclares a", "c.w", "c.x redeclares a optional derived"}},
                             {"inner", {}},
                             {"outer", {}},
                             {"u", {"u.x"}}};
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(log(), Lines{});
}

// A chain with redeclarations (c derives a.x, d redeclares a.y), and a diamond
// with names in mixed case.
TEST_F(SchemaText, Layouts) {
    ASSERT_TRUE(load(ov::test::readFile(ov::test::testDataDir() / "express" / "layouts.exp")));
    // One name: the whole inherited list, where a redeclaration supersedes the
    // original. Several: one entry per entity, ancestors included; a derived
    // redeclaration marks the original and is not written itself.
    const std::vector<std::pair<Names, Layout>> cases = {
        {{"b", "d"}, {{"A", {"a.x", "a.y optional"}}, {"B", {"b.z"}}, {"D", {"d.y redeclares a", "d.v"}}}},
        {{"c"}, {{"C", {"a.x superseded", "a.y optional", "c.w", "c.x redeclares a derived"}}}},
        {{"c", "a"},
         {{"A", {"a.x derivedInSubtype", "a.y optional"}},
          {"C", {"c.w", "c.x redeclares a derived superseded"}}}},
        {{"d"}, {{"D", {"a.x", "a.y optional superseded", "d.y redeclares a", "d.v"}}}},
        {{"d", "a"}, {{"A", {"a.x", "a.y optional"}}, {"D", {"d.y redeclares a", "d.v"}}}},
        {{"bottom"}, {{"BOTTOM", {"top.t", "Left.l", "top.t", "right.r"}}}},
        {{"bottom", "Left"},
         {{"BOTTOM", {}}, {"LEFT", {"Left.l"}}, {"RIGHT", {"right.r"}}, {"TOP", {"top.t"}}}},
    };
    std::map<std::string, std::vector<Attribute>> result;
    for (const auto& [names, expected] : cases) {
        EXPECT_EQ(layoutOf(mSchema, names), expected) << ::testing::PrintToString(names);
        ASSERT_TRUE(mSchema.getAttributeList(names, result));  // into a result that held another layout
        EXPECT_EQ(result.size(), expected.size());
    }
}

// Any spelling EXPRESS allows reads as its long form would: remarks of both
// kinds, keywords and names in any case, blanks anywhere between tokens. UNIQUE
// rules follow the INVERSE clause, with or without a label; an aggregate OF
// UNIQUE is no rule.
TEST_F(SchemaText, AnySpellingReadsAsTheLongForm) {
    ov::test::writeFile(pathOfUtf8(mPath), R"(entity Base; -- a remark: with ; and END_ENTITY;
  X : optional REAL ; p : LIST [1:?] OF UNIQUE Base;
  inverse q : SET OF Base FOR p; Unique Ur1: x ; end_entity ;
ENTITY Derived subtype of(BASE) ; y:REAL; derive SELF \ Base . x : REAL := 1.0;
  UNIQUE y, self\base.p; UR2 : SELF\Base . X; WHERE wr1 : y > 0; END_ENTITY ;)");
    ASSERT_TRUE(mSchema.loadSchema(mPath, SchemaSpelling::Any));
    const Layout expected = {
        {"DERIVED",
         {"base.x optional superseded", "base.p", "derived.y", "derived.x redeclares base derived"}}};
    EXPECT_EQ(layoutOf(mSchema, {"derived"}), expected);
    Lines rules;
    for (const auto& [name, entity] : mSchema.entities) {
        for (const UniqueRule& rule : entity.uniqueRules) {
            rules.push_back(name + " " + rule.label + ":");
            for (const AttributeReference& attribute : rule.attributes) {
                rules.back() += " " + attribute.supertype + "\\" + attribute.name;
            }
        }
    }
    EXPECT_EQ(rules, (Lines{"base ur1: \\x", "derived : \\y base\\p", "derived ur2: base\\x"}));
    EXPECT_EQ(log(), Lines{});
}

TEST_F(SchemaText, DeepChainDoesNotExhaustTheStack) {
    ASSERT_TRUE(load("ENTITY e0; a0 : REAL; END_ENTITY;" +
                     numbered("ENTITY e# SUBTYPE OF (e@); a# : REAL; END_ENTITY;\n", 1, 99'999)));
    std::map<std::string, std::vector<Attribute>> result;
    ASSERT_TRUE(mSchema.getAttributeList({"e99999"}, result));
    ASSERT_EQ(result["E99999"].size(), 100'000u);
    EXPECT_EQ(result["E99999"].front().name + " " + result["E99999"].back().name, "a0 a99999");
    EXPECT_TRUE(mSchema.getAttributeList({"e99999", "e0"}, result));
    EXPECT_EQ(result.size(), 100'000u);
}

struct Failure {
    std::string name;
    std::string text;  // "file:" and a name: that file of the test folder instead
    Names names;       // laid out after the text loaded; none: the load fails
    std::string line;  // "" for none; the path follows for a file
    size_t kept = 0;   // entities a failed load leaves
    friend void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.name; }
};

const std::string kCycle = R"(ENTITY a SUBTYPE OF (c); END_ENTITY; ENTITY b SUBTYPE OF (a); END_ENTITY;
ENTITY c SUBTYPE OF (b); END_ENTITY; ENTITY own SUBTYPE OF (own); END_ENTITY;
ENTITY outside SUBTYPE OF (b); END_ENTITY; ENTITY orphan SUBTYPE OF (missing); END_ENTITY;)";
const std::string kMisplaced = R"(ENTITY a; x : REAL; END_ENTITY; ENTITY b SUBTYPE OF (a); END_ENTITY;
ENTITY c SUBTYPE OF (b); DERIVE SELF\b.x : REAL := 1.0; END_ENTITY;
ENTITY e; SELF\a.x : REAL; END_ENTITY; ENTITY f; END_ENTITY;)";
const std::string kUnterminated = "ENTITY a; END_ENTITY;" + numbered("ENTITY b ", 1, 1 << 17) + "END_ENTITY;";
const std::string kOverlapping = numbered("ENTITY e#; WHERE ", 0, 19'999) + "END_ENTITY;";
// Each level names its supertype twice, doubling the walk at every level.
const std::string kExponential =
    "ENTITY e0; END_ENTITY;" + numbered("ENTITY e# SUBTYPE OF (e@, e@); END_ENTITY;", 1, 40);
const std::string kDuplicated = "ENTITY a;END_ENTITY;ENTITY a;END_ENTITY;ENTITY c;END_ENTITY;";
const std::string kBad = "ENTITY ok; END_ENTITY; ENTITY bad;", kBadLine = "Fail to parse entity bad";
const std::string kParse = "Fail to parse express schema: ", kDerived = "Fail to analyze derived attribute ";
const std::string kUnique = "Fail to parse UNIQUE rule of entity e: ";
const std::string kCyclic = "Cyclic SUBTYPE OF relation at entity ";
const std::string kNotFound = "Fail to find original attribute 'x' declared in supertype ";

class SchemaFailure : public SchemaText, public ::testing::WithParamInterface<Failure> {};

TEST_P(SchemaFailure, LogsOneLine) {
    const Failure& failure = GetParam();
    ASSERT_TRUE(load("ENTITY stale; END_ENTITY;"));
    const bool fromFile = failure.text.starts_with("file:");
    const std::string path = fromFile ? mFolder.file(failure.text.substr(5)) : "";
    const bool loaded = fromFile ? mSchema.loadSchema(path) : load(failure.text);
    if (failure.names.empty()) {
        EXPECT_FALSE(loaded);
        EXPECT_EQ(mSchema.entities.size(), failure.kept);
    } else {
        ASSERT_TRUE(loaded);
        std::map<std::string, std::vector<Attribute>> result;
        EXPECT_FALSE(mSchema.getAttributeList(failure.names, result));
    }
    EXPECT_EQ(log(), failure.line.empty() ? Lines{} : Lines{failure.line + path});
}

// Linux opens a folder and then cannot read it; Windows cannot open one.
#if defined(_WIN32)
const std::string kFolderFailure = "warning: Fail to open ";
#else
const std::string kFolderFailure = "warning: Fail to read ";
#endif

INSTANTIATE_TEST_SUITE_P(
    Express, SchemaFailure,
    ::testing::ValuesIn(std::vector<Failure>{
        {"MissingFile", "file:missing.exp", {}, "warning: Fail to open "},
        {"Folder", "file:.", {}, kFolderFailure},
        {"Unterminated", kUnterminated, {}, kParse + "unterminated ENTITY declarations from index 21"},
        {"Overlap", kOverlapping, {}, kParse + "ENTITY declarations overlap too much at index 728", 41},
        {"Duplicated", kDuplicated, {}, "Duplicated ENTITY a", 1},
        {"NoColon", kBad + " x REAL; END_ENTITY;", {}, kBadLine, 1},
        {"NoName", kBad + " : REAL; END_ENTITY;", {}, kBadLine, 1},
        {"NoSemicolon", kBad + " x : REAL; garbage END_ENTITY;", {}, kBadLine, 1},
        {"TwoFullStops", "ENTITY e; SELF\\a.b.c : REAL; END_ENTITY;", {}, kDerived + "a.b.c of entity e"},
        {"NoFullStop", "ENTITY e; SELF\\x : REAL; END_ENTITY;", {}, kDerived + "x of entity e"},
        {"UniqueRule", "ENTITY e; x : REAL; UNIQUE UR1 : x y; END_ENTITY;", {}, kUnique + "UR1 : x y"},
        {"UniqueLabel", "ENTITY e; x : REAL; UNIQUE U R : x; END_ENTITY;", {}, kUnique + "U R : x"},
        {"UniqueQualifier", "ENTITY e; x : REAL; UNIQUE SELF\\x; END_ENTITY;", {}, kUnique + "SELF\\x"},
        {"Cycle", kCycle, {"a"}, kCyclic + "a"},
        {"OwnSupertype", kCycle, {"own"}, kCyclic + "own"},
        {"CycleAbove", kCycle, {"outside", "a"}, kCyclic + "b"},
        {"UnknownName", kMisplaced, {"a", "missing"}, ""},
        {"UnknownSupertype", kCycle, {"orphan"}, ""},
        {"NameInOtherCase", kMisplaced, {"A"}, ""},
        {"ExponentialWalk", kExponential, {"e40"}, "Too many supertypes to walk from entity e40"},
        {"RedeclaredAbove", kMisplaced, {"c"}, kNotFound + "'b' and redeclared in 'c'"},
        {"RedeclaredOutside", kMisplaced, {"e", "f"}, kNotFound + "'a' and redeclared in 'e'"}}),
    [](const auto& row) { return row.param.name; });

TEST(FullSchema, LoadsAndLaysOutLikeTheBundledOne) {
    ov::test::LogCapture log;
    ExpressSchema full, bundled;
    OV_SHARED_DATA_OR_SKIP(fullSchema, "step/ap242_1_36_mim_lf.exp");
    ASSERT_TRUE(full.loadSchema(fullSchema.string()));
    ASSERT_TRUE(bundled.loadSchema((ov::test::resourcesDir() / "step/ap242_1_36_mim_lf.exp").string()));
    EXPECT_EQ(full.entities.size(), 1726u);
    EXPECT_TRUE(log.lines().empty());

    // Every entity of the bundled schema alone, and the complex instances the STEP driver writes.
    std::vector<Names> instances = {
        {"length_unit", "si_unit"},
        {"plane_angle_unit", "si_unit"},
        {"solid_angle_unit", "si_unit"},
        {"geometric_representation_context", "global_unit_assigned_context"},
        {"geometric_representation_context", "global_uncertainty_assigned_context",
         "global_unit_assigned_context"},
        {"conversion_based_unit", "length_unit"},
        {"representation_relationship_with_transformation", "shape_representation_relationship"}};
    for (const auto& [name, entity] : bundled.entities) {
        instances.push_back({name});
    }
    for (const Names& names : instances) {
        EXPECT_EQ(layoutOf(bundled, names), layoutOf(full, names)) << ::testing::PrintToString(names);
    }
}

}  // namespace
}  // namespace ov::express::test

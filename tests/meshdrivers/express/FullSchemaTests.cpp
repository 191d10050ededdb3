// The full AP242 long form from the shared data, and the bundled trimmed one
// against it.
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DriverEntityLists.h"
#include "ExpressTestSupport.h"

namespace ov::express::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

constexpr const char* kSchemaFile = "step/ap242_1_36_mim_lf.exp";

std::unique_ptr<ExpressSchema> loadOrNull(const std::string& path) {
    auto schema = std::make_unique<ExpressSchema>();
    if (!schema->loadSchema(path)) {
        return nullptr;
    }
    return schema;
}

class FullSchemaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ov::test::LogCapture log;
        sFull = loadOrNull((ov::test::sharedDataDir() / kSchemaFile).string());
        sBundled = loadOrNull((ov::test::resourcesDir() / kSchemaFile).string());
        sLoadLog = log.lines();
    }
    static void TearDownTestSuite() {
        sFull.reset();
        sBundled.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(sFull) << "the full schema did not load";
        ASSERT_TRUE(sBundled) << "the bundled schema did not load";
    }

    static Layout layoutOf(const ExpressSchema& schema, const std::list<std::string>& names) {
        std::map<std::string, std::vector<Attribute>> result;
        EXPECT_TRUE(schema.getAttributeList(names, result)) << ::testing::PrintToString(names);
        return describe(result);
    }

    static inline std::unique_ptr<ExpressSchema> sFull;
    static inline std::unique_ptr<ExpressSchema> sBundled;
    static inline std::vector<ovLogLine> sLoadLog;
};

TEST_F(FullSchemaTest, LoadsEveryEntitySilently) {
    EXPECT_EQ(sFull->entities.size(), 1726u);
    EXPECT_THAT(sLoadLog, IsEmpty());
}

TEST_F(FullSchemaTest, DeclarationsAsWritten) {
    const EntityTemplate& documentFile = sFull->entities.at("document_file");
    EXPECT_THAT(documentFile.supertypes, ElementsAre("document", "characterized_object"));
    EXPECT_THAT(documentFile.attributes, IsEmpty());
    // Its header starts with a SUPERTYPE OF expression.
    EXPECT_THAT(sFull->entities.at("geometric_representation_context").supertypes,
                ElementsAre("representation_context"));
    // Plain derived attributes are dropped; the redeclaration is kept.
    EXPECT_THAT(describe(sFull->entities.at("si_unit").attributes),
                ElementsAre("si_unit.prefix optional", "si_unit.name",
                            "si_unit.dimensions redeclares named_unit derived"));
    EXPECT_THAT(describe(sFull->entities.at("application_context").attributes),
                ElementsAre("application_context.application"));
}

TEST_F(FullSchemaTest, SimpleInstances) {
    EXPECT_THAT(layoutOf(*sFull, {"next_assembly_usage_occurrence"}),
                ElementsAre(Pair(
                    "NEXT_ASSEMBLY_USAGE_OCCURRENCE",
                    ElementsAre("product_definition_relationship.id", "product_definition_relationship.name",
                                "product_definition_relationship.description optional",
                                "product_definition_relationship.relating_product_definition",
                                "product_definition_relationship.related_product_definition",
                                "assembly_component_usage.reference_designator optional"))));
    EXPECT_THAT(
        layoutOf(*sFull, {"shape_definition_representation"}),
        ElementsAre(Pair(
            "SHAPE_DEFINITION_REPRESENTATION",
            ElementsAre(
                "property_definition_representation.definition superseded",
                "property_definition_representation.used_representation superseded",
                "shape_definition_representation.definition redeclares property_definition_representation",
                "shape_definition_representation.used_representation redeclares "
                "property_definition_representation"))));
    EXPECT_THAT(
        layoutOf(*sFull, {"integer_representation_item"}),
        ElementsAre(Pair("INTEGER_REPRESENTATION_ITEM",
                         ElementsAre("representation_item.name", "literal_number.the_value superseded",
                                     "int_literal.the_value redeclares literal_number"))));
    EXPECT_THAT(layoutOf(*sFull, {"document_file"}),
                ElementsAre(Pair("DOCUMENT_FILE",
                                 ElementsAre("document.id", "document.name", "document.description optional",
                                             "document.kind", "characterized_object.name",
                                             "characterized_object.description optional"))));
    EXPECT_THAT(
        layoutOf(*sFull, {"axis2_placement_3d"}),
        ElementsAre(Pair("AXIS2_PLACEMENT_3D", ElementsAre("representation_item.name", "placement.location",
                                                           "axis2_placement_3d.axis optional",
                                                           "axis2_placement_3d.ref_direction optional"))));
}

TEST_F(FullSchemaTest, ComplexInstances) {
    EXPECT_THAT(
        layoutOf(*sFull, {"length_unit", "si_unit"}),
        ElementsAre(
            Pair("LENGTH_UNIT", IsEmpty()),
            Pair("NAMED_UNIT", ElementsAre("named_unit.dimensions derivedInSubtype")),
            Pair("SI_UNIT", ElementsAre("si_unit.prefix optional", "si_unit.name",
                                        "si_unit.dimensions redeclares named_unit derived superseded"))));
    EXPECT_THAT(
        layoutOf(*sFull, {"geometric_representation_context", "global_unit_assigned_context"}),
        ElementsAre(Pair("GEOMETRIC_REPRESENTATION_CONTEXT",
                         ElementsAre("geometric_representation_context.coordinate_space_dimension")),
                    Pair("GLOBAL_UNIT_ASSIGNED_CONTEXT", ElementsAre("global_unit_assigned_context.units")),
                    Pair("REPRESENTATION_CONTEXT", ElementsAre("representation_context.context_identifier",
                                                               "representation_context.context_type"))));
    EXPECT_THAT(
        layoutOf(*sFull,
                 {"representation_relationship_with_transformation", "shape_representation_relationship"}),
        ElementsAre(
            Pair("REPRESENTATION_RELATIONSHIP",
                 ElementsAre("representation_relationship.name",
                             "representation_relationship.description optional",
                             "representation_relationship.rep_1", "representation_relationship.rep_2")),
            Pair("REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION",
                 ElementsAre("representation_relationship_with_transformation.transformation_operator")),
            Pair("SHAPE_REPRESENTATION_RELATIONSHIP", IsEmpty())));
}

TEST_F(FullSchemaTest, BundledSchemaLaysOutEveryDriverInstanceTheSame) {
    for (const std::list<std::string>& names : driverEntityLists()) {
        EXPECT_EQ(layoutOf(*sBundled, names), layoutOf(*sFull, names)) << ::testing::PrintToString(names);
    }
}

// The bundled file holds the entities the exporter writes and their ancestors,
// nothing else.
TEST_F(FullSchemaTest, BundledSchemaHoldsOnlyWhatTheDriverNeeds) {
    std::set<std::string> needed;
    std::vector<std::string> pending;
    for (const std::list<std::string>& names : driverEntityLists()) {
        pending.insert(pending.end(), names.begin(), names.end());
    }
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        if (needed.insert(name).second) {
            const auto& supertypes = sFull->entities.at(name).supertypes;
            pending.insert(pending.end(), supertypes.begin(), supertypes.end());
        }
    }
    std::set<std::string> bundled;
    for (const auto& [name, entity] : sBundled->entities) {
        bundled.insert(name);
        const auto full = sFull->entities.find(name);
        if (full != sFull->entities.end()) {
            EXPECT_EQ(entity.supertypes, full->second.supertypes) << name;
        }
    }
    EXPECT_EQ(bundled, needed);
}

}  // namespace
}  // namespace ov::express::test

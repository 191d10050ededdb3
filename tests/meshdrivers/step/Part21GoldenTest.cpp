// Whole files compared byte for byte with the files under tests/data/step, and
// loaded by an independent reader where they use real AP242 entities.
#include <gtest/gtest.h>

#include "StepTestSupport.h"

namespace ov::step::test {
namespace {

const Part21WriterUserData kUnset;

// Writes records of the AP242 schema with ids taken right before each write.
class Ap242Records {
public:
    explicit Ap242Records(Part21Writer& writer) : mWriter(writer) {}

    Part21WriterUserData add(std::initializer_list<std::string> names, const ovVariantMapImpl& values,
                             const Part21WriterUserData& reservedId = kUnset) {
        const Part21WriterUserData id = reservedId == kUnset ? mWriter.generateEntityId() : reservedId;
        EXPECT_TRUE(mWriter.writeEntity(names, values, id)) << *names.begin();
        return id;
    }

private:
    Part21Writer& mWriter;
};

// The shared entities of an assembly file: contexts, organisation, units and
// the identity placement.
struct Ap242Frame {
    Part21WriterUserData productContext;
    Part21WriterUserData definitionContext;
    Part21WriterUserData geometricContext;
    Part21WriterUserData identityPlacement;
    Part21WriterUserData identityTransform;
    Part21WriterUserData documentType;
    Part21WriterUserData identificationRole;
    Part21WriterUserData externalSource;
    Part21WriterUserData objectRole;
};

Ap242Frame writeFrame(Ap242Records& file) {
    Ap242Frame frame;
    const auto application =
        file.add({"application_context"}, valuesOf({{"application", "assembly export test"}}));
    file.add(
        {"application_protocol_definition"},
        valuesOf({{"status", "international standard"},
                  {"application_interpreted_model_schema_name", "ap242_managed_model_based_3d_engineering"},
                  {"application_protocol_year", 2014},
                  {"application", ref(application)}}));
    frame.productContext = file.add(
        {"product_context"},
        valuesOf(
            {{"name", "test"}, {"discipline_type", "mechanical"}, {"frame_of_reference", ref(application)}}));
    frame.definitionContext =
        file.add({"product_definition_context"}, valuesOf({{"name", "part definition"},
                                                           {"life_cycle_stage", "design"},
                                                           {"frame_of_reference", ref(application)}}));
    const auto millimetre = file.add(
        {"length_unit", "si_unit"}, valuesOf({{"prefix", enumValue("MILLI")}, {"name", enumValue("METRE")}}));
    const auto radian = file.add({"plane_angle_unit", "si_unit"}, valuesOf({{"name", enumValue("RADIAN")}}));
    const auto steradian =
        file.add({"solid_angle_unit", "si_unit"}, valuesOf({{"name", enumValue("STERADIAN")}}));
    frame.geometricContext =
        file.add({"geometric_representation_context", "global_unit_assigned_context"},
                 valuesOf({{"context_identifier", ""},
                           {"context_type", "3D"},
                           {"coordinate_space_dimension", 3},
                           {"units", list({ref(millimetre), ref(radian), ref(steradian)})}}));
    const auto origin =
        file.add({"cartesian_point"}, valuesOf({{"name", ""}, {"coordinates", vec3(0, 0, 0)}}));
    const auto zAxis = file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(0, 0, 1)}}));
    const auto xAxis = file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(1, 0, 0)}}));
    frame.identityPlacement = file.add({"axis2_placement_3d"}, valuesOf({{"name", "identity"},
                                                                         {"location", ref(origin)},
                                                                         {"axis", ref(zAxis)},
                                                                         {"ref_direction", ref(xAxis)}}));
    frame.identityTransform = file.add({"item_defined_transformation"},
                                       valuesOf({{"name", ""},
                                                 {"transform_item_1", ref(frame.identityPlacement)},
                                                 {"transform_item_2", ref(frame.identityPlacement)}}));
    frame.documentType = file.add({"document_type"}, valuesOf({{"product_data_type", "geometry"}}));
    frame.identificationRole = file.add(
        {"identification_role"}, valuesOf({{"name", "file system"}, {"description", "access context"}}));
    frame.externalSource = file.add(
        {"external_source"},
        valuesOf({{"source_id", Part21WriterUserData(Part21WriterUserData::DotIdentifier).toVariant()}}));
    frame.objectRole = file.add({"object_role"}, valuesOf({{"name", "mandatory"}}));
    return frame;
}

struct ProductRefs {
    Part21WriterUserData product;
    Part21WriterUserData definition;
    Part21WriterUserData shape;
    Part21WriterUserData representation;
};

// A product with its formation, definition and shape; the representation's id
// is reserved, it is written by writeRepresentation.
ProductRefs writeProduct(Ap242Records& file, const Ap242Frame& frame, Part21Writer& writer,
                         const char* name) {
    ProductRefs refs;
    refs.product = file.add(
        {"product"},
        valuesOf({{"id", name}, {"name", name}, {"frame_of_reference", list({ref(frame.productContext)})}}));
    const auto formation = file.add({"product_definition_formation"},
                                    valuesOf({{"id", name}, {"of_product", ref(refs.product)}}));
    refs.definition =
        file.add({"product_definition"}, valuesOf({{"id", name},
                                                   {"formation", ref(formation)},
                                                   {"frame_of_reference", ref(frame.definitionContext)}}));
    refs.shape = file.add({"product_definition_shape"},
                          valuesOf({{"name", name}, {"definition", ref(refs.definition)}}));
    refs.representation = writer.generateEntityId();
    return refs;
}

void writeRepresentation(Ap242Records& file, const Ap242Frame& frame, const ProductRefs& refs,
                         const char* name, const ovVariantListImpl& items) {
    file.add(
        {"shape_representation"},
        valuesOf(
            {{"name", name}, {"items", ovVariant(items)}, {"context_of_items", ref(frame.geometricContext)}}),
        refs.representation);
    file.add({"shape_definition_representation"},
             valuesOf({{"definition", ref(refs.shape)}, {"used_representation", ref(refs.representation)}}));
}

// An occurrence of child in parent, placed by transform.
void writeOccurrence(Ap242Records& file, const ProductRefs& parent, const ProductRefs& child,
                     const char* name, const Part21WriterUserData& transform) {
    const auto usage = file.add({"next_assembly_usage_occurrence"},
                                valuesOf({{"id", name},
                                          {"name", name},
                                          {"relating_product_definition", ref(parent.definition)},
                                          {"related_product_definition", ref(child.definition)}}));
    const auto link = file.add({"product_definition_shape"},
                               valuesOf({{"name", std::string("Link_") + name}, {"definition", ref(usage)}}));
    const auto relationship =
        file.add({"representation_relationship_with_transformation", "shape_representation_relationship"},
                 valuesOf({{"name", ""},
                           {"rep_1", ref(child.representation)},
                           {"rep_2", ref(parent.representation)},
                           {"transformation_operator", ref(transform)}}));
    file.add({"context_dependent_shape_representation"},
             valuesOf({{"representation_relation", ref(relationship)},
                       {"represented_product_relation", ref(link)}}));
}

void writeExternalReference(Ap242Records& file, const Ap242Frame& frame, const ProductRefs& refs,
                            const char* path) {
    const auto document = file.add(
        {"document_file"},
        valuesOf({{"id", path}, {"name", path}, {"description", path}, {"kind", ref(frame.documentType)}}));
    file.add({"document_representation_type"},
             valuesOf({{"name", "digital"}, {"represented_document", ref(document)}}));
    file.add({"applied_external_identification_assignment"},
             valuesOf({{"assigned_id", path},
                       {"role", ref(frame.identificationRole)},
                       {"source", ref(frame.externalSource)},
                       {"items", list({ref(document)})}}));
    const auto reference =
        file.add({"applied_document_reference"}, valuesOf({{"source", path},
                                                           {"assigned_document", ref(document)},
                                                           {"items", list({ref(refs.definition)})}}));
    file.add({"role_association"},
             valuesOf({{"role", ref(frame.objectRole)}, {"item_with_role", ref(reference)}}));
    const auto property = file.add({"property_definition"},
                                   valuesOf({{"name", "external ref"}, {"definition", ref(document)}}));
    file.add({"property_definition_representation"},
             valuesOf({{"definition", ref(property)}, {"used_representation", ref(refs.representation)}}));
}

// An assembly "Root" holding the part "Bracket d'angle é" moved by (10, 0, 2.5)
// and the external reference "bolt.stp" in place.
void writeAssembly(Part21Writer& writer) {
    Ap242Records file(writer);
    const Ap242Frame frame = writeFrame(file);

    const ProductRefs root = writeProduct(file, frame, writer, "Root");
    ovVariantListImpl rootItems = listOf({ref(frame.identityPlacement)});

    const char* const bracketName = "Bracket d'angle \xC3\xA9";
    const ProductRefs bracket = writeProduct(file, frame, writer, bracketName);
    writeRepresentation(file, frame, bracket, bracketName, listOf({ref(frame.identityPlacement)}));
    const auto xAxis = file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(1, 0, 0)}}));
    const auto zAxis = file.add({"direction"}, valuesOf({{"name", ""}, {"direction_ratios", vec3(0, 0, 1)}}));
    const auto location =
        file.add({"cartesian_point"}, valuesOf({{"name", ""}, {"coordinates", vec3(10, 0, 2.5)}}));
    const auto placement = file.add({"axis2_placement_3d"}, valuesOf({{"name", ""},
                                                                      {"location", ref(location)},
                                                                      {"axis", ref(zAxis)},
                                                                      {"ref_direction", ref(xAxis)}}));
    const auto transform = file.add({"item_defined_transformation"},
                                    valuesOf({{"name", ""},
                                              {"transform_item_1", ref(frame.identityPlacement)},
                                              {"transform_item_2", ref(placement)}}));
    rootItems.push_back(ref(placement));
    writeOccurrence(file, root, bracket, "Bracket", transform);

    const ProductRefs bolt = writeProduct(file, frame, writer, "Bolt");
    writeExternalReference(file, frame, bolt, "bolt.stp");
    writeRepresentation(file, frame, bolt, "Bolt", listOf({ref(frame.identityPlacement)}));
    rootItems.push_back(ref(frame.identityPlacement));
    writeOccurrence(file, root, bolt, "Bolt", frame.identityTransform);

    writeRepresentation(file, frame, root, "Root", rootItems);
    const auto parts = file.add(
        {"product_related_product_category"},
        valuesOf({{"name", "part"},
                  {"products", list({ref(root.product), ref(bracket.product), ref(bolt.product)})}}));
    const auto details = file.add({"product_related_product_category"},
                                  valuesOf({{"name", "detail"}, {"products", list({ref(bracket.product)})}}));
    file.add({"product_category_relationship"},
             valuesOf({{"name", ""}, {"category", ref(parts)}, {"sub_category", ref(details)}}));
}

class GoldenFileTest : public ::testing::Test {
protected:
    // Writes the file through a buffered file stream, as the drivers do, and
    // answers its bytes.
    template <typename WriteContent>
    std::string writeFile(const std::string& name, express::ExpressSchema& schema, WriteContent content,
                          bool expectClosed = true) {
        path = folder.file(name);
        ovIoDeviceFileStream stream(path, ovIoDevice::WriteOnly, true);
        EXPECT_TRUE(stream.isOpen());
        Part21Writer writer;
        EXPECT_TRUE(writer.beginWritePart21(name, options, &schema, &stream));
        content(writer);
        EXPECT_EQ(writer.endWritePart21(), expectClosed);
        EXPECT_TRUE(stream.close());
        ids = writer.generateEntityId().getRef() - 1;
        return ov::test::readFile(path);
    }

    // Also checks that the reader found every record.
    void expectIndependentReaderAccepts() {
        if (!independentReaderAvailable()) {
            GTEST_SKIP() << "no independent reader was built";
        }
        int entityCount = 0;
        std::string report;
        EXPECT_TRUE(loadWithIndependentReader(path, entityCount, report)) << report;
        EXPECT_EQ(entityCount, static_cast<int>(ids)) << report;
    }

    ov::test::FixedClock clock;
    SoftwareVersionGuard version{{"ovmesh-test", "1.0"}};
    ov::test::LogCapture log;
    ov::test::TempDir folder;
    const SaveMeshOptions options{"", "tester", false, false};
    express::ExpressSchema toySchema = loadToySchema();
    std::string path;
    uint64_t ids = 0;
};

TEST_F(GoldenFileTest, Ap242AssemblyIsReadBack) {
    const std::string file = writeFile("assembly.stp", ap242Schema(), writeAssembly);
    expectMatchesGolden(file, "ap242_assembly.stp");
    EXPECT_TRUE(log.lines().empty());
    expectIndependentReaderAccepts();
}

TEST_F(GoldenFileTest, EmptyDataSection) {
    const std::string file = writeFile("empty.stp", ap242Schema(), [](Part21Writer&) {});
    // Not given to the independent reader: it refuses a data section without
    // records, which the exchange-file grammar allows.
    EXPECT_EQ(file, expectedHeader("empty.stp") + "ENDSEC;\r\nEND-ISO-10303-21;\r\n");
}

void writeToyRecords(Part21Writer& writer) {
    const auto first = writer.generateEntityId();
    const auto second = writer.generateEntityId();
    EXPECT_TRUE(writer.writeEntity(
        "thing", valuesOf({{"label", "It's a\\b \xF0\x9F\x98\x80"}, {"target", ref(second)}}), first));
    EXPECT_TRUE(writer.writeEntity("thing", valuesOf({{"label", "second"}, {"target", ref(first)}}), second));
    EXPECT_TRUE(writer.writeEntity("all_optional", valuesOf({{"c", -0.1}}), writer.generateEntityId()));
    EXPECT_TRUE(writer.writeEntity({"right_part", "left_part"}, valuesOf({{"y", 1e-7}, {"l", -1}, {"r", 1}}),
                                   writer.generateEntityId()));
    EXPECT_TRUE(
        writer.writeEntity("right_part", valuesOf({{"x", 1e300}, {"r", 2}}), writer.generateEntityId()));
    EXPECT_TRUE(writer.writeEntity(
        "holder",
        valuesOf({{"v", list({list({}), enumValue("T"), ovVariant(false), ref(first),
                              Part21WriterUserData(Part21WriterUserData::DotIdentifier).toVariant()})}}),
        writer.generateEntityId()));
}

TEST_F(GoldenFileTest, ToyRecords) {
    expectMatchesGolden(writeFile("toy.stp", toySchema, writeToyRecords), "toy_records.stp");
}

TEST_F(GoldenFileTest, FailedRecordLeavesTheFileUnfinished) {
    const std::string file = writeFile(
        "failed.stp", toySchema,
        [](Part21Writer& writer) {
            writeToyRecords(writer);
            const auto id = writer.generateEntityId();
            EXPECT_FALSE(writer.writeEntity("thing", valuesOf({{"target", ref(id)}}), id));
            EXPECT_FALSE(writer.writeEntity("empty_one", {}, writer.generateEntityId()));
        },
        false);
    expectMatchesGolden(file, "toy_failed_record.stp");
    EXPECT_EQ(log.texts(ovLogError),
              std::vector<std::string>{"Missing value for attribute 'label' while writing entity '[thing]'"});
}

TEST_F(GoldenFileTest, UnwrittenIdLeavesTheFileWithoutFooter) {
    const std::string file = writeFile(
        "unwritten.stp", toySchema,
        [](Part21Writer& writer) {
            writeToyRecords(writer);
            writer.generateEntityId();
        },
        false);
    expectMatchesGolden(file, "toy_unwritten_id.stp");
    EXPECT_EQ(log.texts(ovLogError), std::vector<std::string>{"Entities were not streamed"});
}

}  // namespace
}  // namespace ov::step::test

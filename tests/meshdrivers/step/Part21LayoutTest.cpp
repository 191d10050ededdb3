// How the writer finds a record's layout and values: the layout cached for each
// name list, and the attribute values found in one walk over the value map.
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "express/ExpressSchema.h"
#include "step/Part21Writer.h"
#include "support/TestSupport.h"
#include "system/ovIoDevice.h"
#include "system/ovVariantContainers.h"

namespace ov::step {
namespace {

express::ExpressSchema schemaOf(const std::string& text) {
    test::TempDir folder;
    const std::string path = folder.file("schema.exp");
    test::writeFile(path, text);
    express::ExpressSchema schema;
    EXPECT_TRUE(schema.loadSchema(path));
    return schema;
}

// Attribute names sharing long prefixes, to be found among keys that differ
// from them in every place and length.
constexpr char kLongNamesSchema[] = R"(SCHEMA lookup_schema;
ENTITY long_names;
  attribute_one : OPTIONAL INTEGER;
  attribute_one_more : OPTIONAL INTEGER;
  attribute_onf : OPTIONAL INTEGER;
  an_attribute_whose_name_is_long : OPTIONAL INTEGER;
  an_attribute_whose_name_is_longer : OPTIONAL INTEGER;
  b : OPTIONAL INTEGER;
  bb : OPTIONAL INTEGER;
END_ENTITY;
END_SCHEMA;
)";

TEST(Part21WriterLayout, ValuesAreFoundWhateverElseTheMapHolds) {
    test::LogCapture log;
    express::ExpressSchema schema = schemaOf(kLongNamesSchema);
    // clang-format off
    const std::vector<std::string> attributes = {"attribute_one", "attribute_one_more", "attribute_onf",
        "an_attribute_whose_name_is_long", "an_attribute_whose_name_is_longer", "b", "bb"};
    std::vector<std::string> keys = {"", "a", "attribute_on", "attribute_onee", "attribute_one_mord",
        "an_attribute_whose_name_is_lonf", "an_attribute_whose_name_is_longe",
        "an_attribute_whose_name_is_longerr", "b\xC3\xA9", "ba", "c"};
    // clang-format on
    keys.insert(keys.end(), attributes.begin(), attributes.end());
    ovIoDeviceMemory device;
    Part21Writer writer;
    ASSERT_TRUE(writer.beginWritePart21("lookup.stp", SaveMeshOptions{}, &schema, &device));
    std::string expected = device.data();

    std::mt19937 random(20261204);
    for (int round = 0; round < 600; ++round) {
        ovVariantMapImpl values;
        std::map<std::string, int> firstValues;
        for (size_t index = 0; index < keys.size(); ++index) {
            if (random() % 2 == 0) {
                const int value = round * 100 + static_cast<int>(index);
                values.multiInsert(keys[index], value, true);
                firstValues.emplace(keys[index], value);
                // A second value under the key is not the one written.
                if (random() % 8 == 0) {
                    values.multiInsert(keys[index], -1, true);
                }
            }
        }
        // A map far larger than the attribute list is searched rather than walked.
        if (round % 4 == 0) {
            for (int filler = 0; filler < 100; ++filler) {
                values.insert("filler_" + std::to_string(filler), filler);
            }
        }
        const Part21WriterUserData id = writer.generateEntityId();
        ASSERT_TRUE(writer.writeEntity("long_names", values, id));
        std::string record = "#" + std::to_string(id.getRef()) + "=LONG_NAMES(";
        for (const std::string& attribute : attributes) {
            const auto found = firstValues.find(attribute);
            record += attribute == attributes.front() ? "" : ",";
            record += found != firstValues.end() ? std::to_string(found->second) : "$";
        }
        expected += record + ");\r\n";
    }
    EXPECT_EQ(device.data(), expected);
    EXPECT_TRUE(log.lines().empty());
}

// More name lists than the first size of the layout table, each in every
// form a caller may give it.
TEST(Part21WriterLayout, EveryNameListFindsItsOwnLayout) {
    constexpr int kEntities = 120;
    std::string schemaText = "SCHEMA many;\n";
    for (int index = 0; index < kEntities; ++index) {
        const std::string number = std::to_string(index);
        schemaText += "ENTITY e" + number + ";\n  v" + number + " : INTEGER;\nEND_ENTITY;\n";
    }
    express::ExpressSchema schema = schemaOf(schemaText + "END_SCHEMA;\n");
    ovIoDeviceMemory device;
    Part21Writer writer;
    ASSERT_TRUE(writer.beginWritePart21("many.stp", SaveMeshOptions{}, &schema, &device));
    std::string expected = device.data();
    uint64_t lastId = 0;
    const auto expectRecord = [&](bool written, const std::string& body) {
        EXPECT_TRUE(written) << body;
        expected += "#" + std::to_string(++lastId) + "=" + body + ";\r\n";
    };

    // Each name alone, in each of the three forms, and with the next name in
    // both orders; twice, so that the second round finds what the first resolved.
    for (int round = 0; round < 2; ++round) {
        for (int index = 0; index < kEntities; ++index) {
            const std::string number = std::to_string(index);
            const std::string nextNumber = std::to_string((index + 1) % kEntities);
            const std::string name = "e" + number;
            const std::string next = "e" + nextNumber;
            ovVariantMapImpl values;
            values["v" + number] = index;
            values["v" + nextNumber] = -index;
            const std::string own = "E" + number + "(" + std::to_string(index) + ")";
            const std::string other = "E" + nextNumber + "(" + std::to_string(-index) + ")";
            const std::string complex = "(" + (own < other ? own + other : other + own) + ")";

            expectRecord(writer.writeEntity(name, values, writer.generateEntityId()), own);
            expectRecord(writer.writeEntity(std::initializer_list<std::string>{name}, values,
                                            writer.generateEntityId()),
                         own);
            expectRecord(writer.writeEntity(std::list<std::string>{name}, values, writer.generateEntityId()),
                         own);
            expectRecord(writer.writeEntity({name, next}, values, writer.generateEntityId()), complex);
            expectRecord(writer.writeEntity({next, name}, values, writer.generateEntityId()), complex);
        }
    }
    EXPECT_EQ(device.data(), expected);
}

}  // namespace
}  // namespace ov::step

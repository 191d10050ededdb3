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

constexpr int kEntities = 120;

// Values among keys that differ from the attribute names, which share long
// prefixes, in every place and length; and layouts among more name lists than
// the table first holds; all written to one file.
TEST(Part21WriterLayout, ValuesAndLayoutsAreFoundWhateverElseTheMapAndTheTableHold) {
    // clang-format off
    const std::vector<std::string> attributes = {"attribute_one", "attribute_one_more", "attribute_onf",
        "an_attribute_whose_name_is_long", "an_attribute_whose_name_is_longer", "b", "bb"};
    std::vector<std::string> keys = {"", "a", "attribute_on", "attribute_onee", "attribute_one_mord",
        "an_attribute_whose_name_is_lonf", "an_attribute_whose_name_is_longe",
        "an_attribute_whose_name_is_longerr", "b\xC3\xA9", "ba", "c"};
    // clang-format on
    std::string text = "SCHEMA lookup;\nENTITY long_names;\n";
    for (const std::string& attribute : attributes) {
        text += "  " + attribute + " : OPTIONAL INTEGER;\n";
    }
    text += "END_ENTITY;\n";
    for (int index = 0; index < kEntities; ++index) {
        const std::string number = std::to_string(index);
        text += "ENTITY e" + number + ";\n  v" + number + " : INTEGER;\nEND_ENTITY;\n";
    }
    test::LogCapture log;
    test::TempDir folder;
    test::writeFile(folder.file("schema.exp"), text + "END_SCHEMA;\n");
    express::ExpressSchema schema;
    ASSERT_TRUE(schema.loadSchema(folder.file("schema.exp")));
    ovIoDeviceMemory device;
    Part21Writer writer;
    ASSERT_TRUE(writer.beginWritePart21("lookup.stp", SaveMeshOptions{}, &schema, &device));
    std::string expected = device.data();
    keys.insert(keys.end(), attributes.begin(), attributes.end());
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
        std::string record = '#' + std::to_string(id.getRef()) + "=LONG_NAMES(";
        for (const std::string& attribute : attributes) {
            const auto found = firstValues.find(attribute);
            record += attribute == attributes.front() ? "" : ",";
            record += found != firstValues.end() ? std::to_string(found->second) : "$";
        }
        expected += record + ");\r\n";
    }

    // Each name alone, in each of the three forms a caller may give it, and
    // with the next name in both orders; twice, so that the second round finds
    // what the first resolved.
    using Names = std::initializer_list<std::string>;
    const auto expectRecord = [&](const auto& names, const ovVariantMapImpl& values,
                                  const std::string& body) {
        const Part21WriterUserData id = writer.generateEntityId();
        EXPECT_TRUE(writer.writeEntity(names, values, id)) << body;
        expected += '#' + std::to_string(id.getRef()) + "=" + body + ";\r\n";
    };
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
            const std::string complex = '(' + (own < other ? own + other : other + own) + ")";

            expectRecord(name, values, own);
            expectRecord(Names{name}, values, own);
            expectRecord(std::list<std::string>{name}, values, own);
            expectRecord(Names{name, next}, values, complex);
            expectRecord(Names{next, name}, values, complex);
        }
    }
    EXPECT_EQ(device.data(), expected);
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace ov::step

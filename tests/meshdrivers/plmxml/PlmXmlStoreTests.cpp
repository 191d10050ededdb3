#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plmxml/PlmXmlRecordTable.h"

namespace ov::plmxml {
namespace {

struct Named {
    std::string id;
    int value = 0;
    void clear() { value = 0; }
};

// Ids that share their text and their number, told apart only by leading
// zeros ("a7", "a07", "a007"...): the serial hash gives them all one run of
// slots, so that probes grow long and the index must turn to scattering.
std::vector<std::string> crowdingIds() {
    std::vector<std::string> ids;
    for (int number = 1; number <= 200; ++number) {
        for (int zeros = 0; zeros < 10; ++zeros) {
            ids.push_back('a' + std::string(zeros, '0') + std::to_string(number));
        }
    }
    return ids;
}

TEST(PlmXmlRecordTable, FindsEveryRecordWhateverItsIdsDoToTheHash) {
    PlmXmlRecordTable<Named> table;
    for (int round = 0; round < 2; ++round) {
        const std::vector<std::string> ids = crowdingIds();
        for (size_t index = 0; index < ids.size(); ++index) {
            const auto [record, made] = table.tryEmplace(ids[index]);
            ASSERT_TRUE(made) << ids[index];
            // A record of the first round comes back as new.
            EXPECT_EQ(record->value, 0) << ids[index];
            record->value = static_cast<int>(index) + 1;
        }
        ASSERT_EQ(table.size(), ids.size());
        for (size_t index = 0; index < ids.size(); ++index) {
            const auto [record, made] = table.tryEmplace(ids[index]);
            EXPECT_FALSE(made) << ids[index];
            EXPECT_EQ(record, table.find(ids[index]));
            EXPECT_EQ(record->value, static_cast<int>(index) + 1) << ids[index];
            EXPECT_EQ(&table[index], record);
        }
        EXPECT_EQ(table.find("a0000000000001"), nullptr);
        EXPECT_EQ(table.find("b1"), nullptr);
        // A recycled table starts again from the serial hash.
        table.recycle();
        EXPECT_EQ(table.size(), 0U);
        EXPECT_EQ(table.find(ids.front()), nullptr);
    }
}

}  // namespace
}  // namespace ov::plmxml

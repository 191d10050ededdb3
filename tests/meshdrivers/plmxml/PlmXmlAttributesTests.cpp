#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "plmxml/PlmXmlAttributes.h"

namespace ov::plmxml {
namespace {

// Texts of every size, among them some longer than a block and some that
// end a block exactly, kept in one store for two rounds.
TEST(PlmXmlTextStore, EveryViewHoldsItsTextAcrossBlocksAndRounds) {
    PlmXmlTextStore store;
    for (char fill : {'a', 'b'}) {
        std::vector<std::string> texts;
        for (size_t size : {0, 1, 65535, 1, 70000, 3, 65536, 12}) {
            texts.push_back(std::string(size, fill) + std::to_string(texts.size()));
        }
        for (int count = 0; count < 20000; ++count) {
            texts.push_back(std::string(1 + count % 17, fill));
        }
        std::vector<std::string_view> views;
        for (const std::string& text : texts) {
            views.push_back(store.add(text));
        }
        for (size_t index = 0; index < texts.size(); ++index) {
            ASSERT_EQ(views[index], texts[index]) << index;
        }
        store.clear();
    }
}

}  // namespace
}  // namespace ov::plmxml

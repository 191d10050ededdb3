#pragma once

#include <list>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "express/ExpressSchema.h"
#include "support/TestSupport.h"

namespace ov::express::test {

// One line per attribute, "entity.name" followed by its set flags, so that a
// failing comparison shows the whole layout.
inline std::string describe(const Attribute& attribute) {
    std::string text = attribute.entity + "." + attribute.name;
    if (attribute.redeclared) {
        text += " redeclares " + attribute.supertype;
    } else if (!attribute.supertype.empty()) {
        text += " supertype " + attribute.supertype;
    }
    if (attribute.optional) {
        text += " optional";
    }
    if (attribute.derived) {
        text += " derived";
    }
    if (attribute.derivedInSubtype) {
        text += " derivedInSubtype";
    }
    if (attribute.superseded) {
        text += " superseded";
    }
    return text;
}

inline std::vector<std::string> describe(const std::vector<Attribute>& attributes) {
    std::vector<std::string> lines;
    for (const Attribute& attribute : attributes) {
        lines.push_back(describe(attribute));
    }
    return lines;
}

using Layout = std::map<std::string, std::vector<std::string>>;

inline Layout describe(const std::map<std::string, std::vector<Attribute>>& result) {
    Layout layout;
    for (const auto& [key, attributes] : result) {
        layout[key] = describe(attributes);
    }
    return layout;
}

// Loads schema texts written to a fresh folder, with the log captured.
class SchemaTextTest : public ::testing::Test {
protected:
    bool load(const std::string& text) {
        const std::string path = mFolder.file("schema.exp");
        ov::test::writeFile(path, text);
        return mSchema.loadSchema(path);
    }

    // The layout of one instance; fails the test when the call answers false.
    Layout layoutOf(const std::list<std::string>& names) {
        std::map<std::string, std::vector<Attribute>> result;
        EXPECT_TRUE(mSchema.getAttributeList(names, result));
        return describe(result);
    }

    std::vector<std::string> errors() const { return mLog.texts(ovLogError); }
    std::vector<std::string> warnings() const { return mLog.texts(ovLogWarning); }

    ov::test::TempDir mFolder;
    ov::test::LogCapture mLog;
    ExpressSchema mSchema;
};

}  // namespace ov::express::test

#pragma once

// Small PLM XML documents written by the tests, in either schema version,
// and their loading.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plmxml/ovPlmXmlMeshDriver.h"
#include "scenegraph/ovSpatial.h"

namespace ov::test {

struct PlmXmlSchema {
    const char* version;
    const char* part;
    const char* instance;
};

inline const PlmXmlSchema kPlmXmlV4{"4", "Part", "Instance"};
inline const PlmXmlSchema kPlmXmlV6{"6", "ProductRevisionView", "ProductInstance"};

inline std::string xmlElement(const std::string& name, const std::string& attributes,
                              const std::string& content = "") {
    const std::string start = "<" + name + (attributes.empty() ? "" : " " + attributes);
    return content.empty() ? start + "/>" : start + ">" + content + "</" + name + ">";
}

// One product definition whose instance graph holds content.
inline std::string plmXmlDocument(const PlmXmlSchema& schema, const std::string& rootRefs,
                                  const std::string& content, const std::string& documentAttributes = "") {
    return R"(<?xml version="1.0" encoding="utf-8"?>)"
           "\n<PLMXML xmlns=\"http://www.plmxml.org/Schemas/PLMXMLSchema\" schemaVersion=\"" +
           std::string(schema.version) + "\"" + documentAttributes + ">\n<ProductDef id=\"pd1\">" +
           xmlElement("InstanceGraph", "rootRefs=\"" + rootRefs + "\"", content) +
           "</ProductDef>\n</PLMXML>\n";
}

// A transform of the file's form: 16 numbers, the rotation's rows in columns,
// the translation (metres) in the 13th to 15th.
inline std::string plmXmlTransform(const std::string& numbers) {
    return "<Transform id=\"t\">" + numbers + "</Transform>";
}

// An assembly "Car" (root instance i1, part p1) holding two instances of the
// part "Wheel", whose geometry is the file wheel.jt: i2 moved by 0.5 m along
// x, i3 turned a quarter about z and moved by 0.25 m along y.
inline std::string plmXmlCar(const PlmXmlSchema& schema) {
    return xmlElement(schema.instance, R"(id="i1" partRef="#p1" name="Car")") +
           xmlElement(schema.instance, R"(id="i2" partRef="#p2" name="Wheel" colour="red")",
                      plmXmlTransform("1 0 0 0 0 1 0 0 0 0 1 0 0.5 0 0 1")) +
           xmlElement(schema.instance, R"(id="i3" partRef="#p2" name="Wheel" colour="black")",
                      plmXmlTransform("0 1 0 0 -1 0 0 0 0 0 1 0 0 0.25 0 1")) +
           xmlElement(schema.part, R"(id="p1" name="Car" type="assembly" instanceRefs="i2 i3")",
                      xmlElement("UserData", "", xmlElement("UserValue", R"(title="mass" value="1200")"))) +
           xmlElement(schema.part, R"(id="p2" name="Wheel" type="solid" maker="acme")",
                      xmlElement("Representation", R"(format="JT" location="wheel.jt")"));
}

// What a load from memory answered, appended and said (messages of code -1).
struct Loaded {
    bool loaded = false;
    ovObjectList objects;
    std::vector<std::string> messages;

    ovNode& root() const { return *static_cast<ovNode*>(objects.at(0).get()); }
};

inline Loaded load(const std::string& document, bool importMetadata = true,
                   ovProgressNotifierInterface* progress = nullptr,
                   double maxExpansion = ovPlmXmlMeshDriver::kDefaultMaxExpansion,
                   PlmXmlReading reading = PlmXmlReading::Strict) {
    ovPlmXmlMeshDriver driver;
    driver.setMaxExpansion(maxExpansion);
    driver.setReading(reading);
    ovIoDeviceMemory device(document);
    LoadMeshOptions options;
    options.importMetadata = importMetadata;
    Loaded result;
    result.loaded = driver.loadMeshes(result.objects, device, "plmxml", progress, options);
    for (const auto& [text, code] : driver.getErrorMessages()) {
        EXPECT_EQ(code, -1) << text;
        result.messages.push_back(text);
    }
    return result;
}

}  // namespace ov::test

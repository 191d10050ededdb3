// Loads arbitrary bytes as a schema file, then lays out the first entities
// found, each alone and all together as a complex instance, and checks
// instances of them against the file's declared types.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "express/ExpressSchema.h"
#include "step/Part21Checker.h"
#include "system/ovStringUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One file per process, so that parallel fuzzing jobs do not share it.
    static const auto path =
        std::filesystem::temp_directory_path() / ("express_fuzz_" + std::to_string(getpid()));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
    ov::express::ExpressSchema schema;
    schema.loadSchema(path.string());
    // The checker reads the same file for its types, then checks a few
    // instances of the entities found, simple and complex.
    ov::step::Part21Checker checker;
    std::string error;
    const bool checks = checker.loadSchema(path.string(), error);
    std::filesystem::remove(path);

    std::list<std::string> found;
    std::map<std::string, std::vector<ov::express::Attribute>> layout;
    for (auto it = schema.entities.begin(); it != schema.entities.end() && found.size() < 4; ++it) {
        found.push_back(it->first);
        schema.getAttributeList({it->first}, layout);
    }
    schema.getAttributeList(found, layout);
    if (checks && !found.empty()) {
        std::string text = "ISO-10303-21;HEADER;ENDSEC;DATA;";
        std::string complex;
        int id = 0;
        for (const std::string& spelled : found) {
            const std::string name = ov::ovStringUtils::uppered(spelled);
            const std::string values = "('a',1,2.5,.T.,(#1,#2),$,*,X('b'))";
            text += '#' + std::to_string(++id) + "=" + name + values + ";";
            complex += name + values;
        }
        text += "#9=(" + complex + ");ENDSEC;END-ISO-10303-21;";
        checker.checkText(text, {10});
    }
    return 0;
}

// Loads arbitrary bytes as a schema file, then lays out a few of the entities
// found, alone and as complex instances.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "express/ExpressSchema.h"

#include <unistd.h>

namespace {

// One file per process, so that parallel fuzzing jobs do not share it.
const std::filesystem::path& inputPath() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("express_load_schema_" + std::to_string(getpid()) + ".exp");
    return path;
}

constexpr size_t kNamesTried = 4;

void layOut(const ov::express::ExpressSchema& schema, const std::list<std::string>& names) {
    std::map<std::string, std::vector<ov::express::Attribute>> result;
    schema.getAttributeList(names, result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream file(inputPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ov::express::ExpressSchema schema;
    schema.loadSchema(inputPath().string());

    std::list<std::string> found;
    for (const auto& [name, entity] : schema.entities) {
        if (found.size() == kNamesTried) {
            break;
        }
        found.push_back(name);
        layOut(schema, {name});
        if (!entity.supertypes.empty()) {
            layOut(schema, {entity.supertypes.front()});
        }
    }
    layOut(schema, found);
    layOut(schema, {"missing"});
    std::filesystem::remove(inputPath());
    return 0;
}
